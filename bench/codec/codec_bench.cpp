// Times libPhotoCodec against heif-dec, libheif's own converter run once
// per photo as its users run it, on the same photos at the same settings,
// and prints the ratios. Also the thumbnail speed against a full
// conversion and the helper's peak memory per photo.
//
//   codec_bench [--runs N] [photo.heic ...]
//
// Without photos it uses the eight 12-megapixel phone photos of the test
// set; the 200-megapixel one is always measured on its own.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "photocodec/heic_decoder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

const char* kPhoneSet[] = {"tifig_1_portrait.heic",        "tifig_2_landscape.heic",
                           "tifig_3_frontcam.heic",        "tifig_4_city.heic",
                           "tifig_7_animal_farm.heic",     "crab_yuv420_image_with_yuv400_gainmap.heic",
                           "immich_samsung-one-ui-6.heic", "immich_IMG_2682.heic"};

std::u16string u16(const std::string& s)
{
    std::u16string out;
    for (unsigned char c : s) {
        out += static_cast<char16_t>(c);  // the photo paths are ASCII
    }
    return out;
}

double seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

double childCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

uint64_t folderBytes(const fs::path& folder)
{
    uint64_t total = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        total += fs::file_size(e.path());
    }
    return total;
}

// Runs heif-dec on each photo, one process each, and returns the wall time.
double timeHeifDec(const std::vector<std::string>& photos, const fs::path& out, const std::vector<std::string>& options,
                   const char* extension, double& cpu)
{
    fs::remove_all(out);
    fs::create_directories(out);
    double cpuBefore = childCpuSeconds();
    auto start = Clock::now();
    for (const std::string& photo : photos) {
        std::string target = (out / (fs::path(photo).stem().string() + extension)).string();
        std::fflush(stdout);
        pid_t pid = fork();
        if (pid == 0) {
            std::vector<const char*> argv = {HEIF_DEC_PROGRAM, "--quiet"};
            for (const std::string& o : options) {
                argv.push_back(o.c_str());
            }
            argv.push_back(photo.c_str());
            argv.push_back(target.c_str());
            argv.push_back(nullptr);
            freopen("/dev/null", "w", stdout);
            execvp(argv[0], const_cast<char* const*>(argv.data()));
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    double wall = seconds(start);
    cpu = childCpuSeconds() - cpuBefore;
    return wall;
}

struct CodecRun {
    double wall = 0;
    int failed = 0;
};

CodecRun timeCodec(HeicDecoder* decoder, const std::vector<std::string>& photos, const fs::path& out, bool png)
{
    fs::remove_all(out);
    fs::create_directories(out);
    JpegEncoder* jpeg = decoder->newJpegEncoder();
    PngEncoder* pngEncoder = decoder->newPngEncoder();
    CodecRun run;
    auto start = Clock::now();
    for (const std::string& photo : photos) {
        std::string target = (out / (fs::path(photo).stem().string() + (png ? ".PNG" : ".JPG"))).string();
        bool ok = png ? decoder->convertToPng(pngEncoder, u16(photo).c_str(), u16(target).c_str())
                      : decoder->convertToJpeg(jpeg, u16(photo).c_str(), u16(target).c_str(), 90, true);
        run.failed += ok ? 0 : 1;
    }
    run.wall = seconds(start);
    decoder->destroyJpegEncoder(jpeg);
    decoder->destroyPngEncoder(pngEncoder);
    return run;
}

// The helper of this process with the highest peak RSS right now, in KiB.
long helperPeakKib()
{
    long peak = 0;
    const std::string self = std::to_string(getpid());
    for (const auto& e : fs::directory_iterator("/proc")) {
        std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream status(e.path() / "status");
        std::string line;
        std::string command;
        std::string parent;
        long hwm = 0;
        while (std::getline(status, line)) {
            if (line.rfind("Name:", 0) == 0) {
                command = line.substr(5);
            } else if (line.rfind("PPid:", 0) == 0) {
                parent = std::to_string(std::atol(line.c_str() + 5));
            } else if (line.rfind("VmHWM:", 0) == 0) {
                hwm = std::atol(line.c_str() + 6);
            }
        }
        if (parent == self && command.find("pixbridge-heif") != std::string::npos) {
            peak = std::max(peak, hwm);
        }
    }
    return peak;
}

std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

void printRatio(const char* what, double codecPerSecond, double referencePerSecond)
{
    std::printf("  %-44s %6.2f photos/s vs %6.2f  ->  %.2fx\n", what, codecPerSecond, referencePerSecond,
                codecPerSecond / referencePerSecond);
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 3;
    std::vector<std::string> photos;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            photos.emplace_back(argv[i]);
        }
    }
    if (photos.empty()) {
        for (const char* name : kPhoneSet) {
            photos.push_back(std::string(PIXBRIDGE_PHOTOS_DIR) + "/" + name);
        }
    }
    const std::string huge = std::string(PIXBRIDGE_PHOTOS_DIR) + "/ph_200MP.heic";
    const fs::path scratch = fs::temp_directory_path() / ("codec_bench_" + std::to_string(getpid()));
    fs::create_directories(scratch);

    std::printf("codec_bench: %zu photos, best of %d runs, %u cores, load average %s\n", photos.size(), runs,
                std::thread::hardware_concurrency(), loadAverage().c_str());

    HeicDecoder* decoder = HeicDecoder::NewHeicDecoder();
    // Start the helper before timing, as a running program has it.
    timeCodec(decoder, {photos.front()}, scratch / "warm", false);

    double bestCodecJpeg = 1e9, bestCodecPng = 1e9, bestRefJpeg = 1e9, bestRefPng3 = 1e9, refCpu = 0, refPngCpu = 0;
    int failures = 0;
    for (int r = 0; r < runs; ++r) {
        CodecRun jpeg = timeCodec(decoder, photos, scratch / "codec_jpg", false);
        failures += jpeg.failed;
        bestCodecJpeg = std::min(bestCodecJpeg, jpeg.wall);
        double cpu = 0;
        bestRefJpeg = std::min(bestRefJpeg, timeHeifDec(photos, scratch / "ref_jpg", {"-q", "90"}, ".jpg", cpu));
        refCpu = cpu;
    }
    for (int r = 0; r < runs; ++r) {
        CodecRun png = timeCodec(decoder, photos, scratch / "codec_png", true);
        failures += png.failed;
        bestCodecPng = std::min(bestCodecPng, png.wall);
        double cpu = 0;
        bestRefPng3 = std::min(bestRefPng3, timeHeifDec(photos, scratch / "ref_png3", {"--png-compression-level", "3"},
                                                        ".png", cpu));
        refPngCpu = cpu;
    }
    double cpu = 0;
    double refPngDefault = timeHeifDec(photos, scratch / "ref_png", {}, ".png", cpu);

    const double n = static_cast<double>(photos.size());
    std::printf("\nJPEG, quality 90, EXIF kept\n");
    std::printf("  libPhotoCodec %.3f s (%.3f s a photo); heif-dec -q 90 %.3f s (%.3f s a photo, %.3f s CPU)\n",
                bestCodecJpeg, bestCodecJpeg / n, bestRefJpeg, bestRefJpeg / n, refCpu / n);
    printRatio("throughput", n / bestCodecJpeg, n / bestRefJpeg);

    std::printf("\nPNG\n");
    uint64_t codecBytes = folderBytes(scratch / "codec_png");
    uint64_t refBytes = folderBytes(scratch / "ref_png");
    uint64_t ref3Bytes = folderBytes(scratch / "ref_png3");
    std::printf("  libPhotoCodec %.3f s a photo; heif-dec --png-compression-level 3 %.3f s (%.3f s CPU); "
                "heif-dec default %.3f s\n",
                bestCodecPng / n, bestRefPng3 / n, refPngCpu / n, refPngDefault / n);
    printRatio("throughput vs heif-dec level 3", n / bestCodecPng, n / bestRefPng3);
    std::printf("  size: %.1f MB vs heif-dec default %.1f MB (%+.1f %%), level 3 %.1f MB\n", codecBytes / 1e6,
                refBytes / 1e6, 100.0 * (static_cast<double>(codecBytes) / refBytes - 1.0), ref3Bytes / 1e6);

    std::printf("\nThumbnails (256 px) against a full JPEG conversion of the same photo\n");
    JpegEncoder* jpegEncoder = decoder->newJpegEncoder();
    double worstRatio = 1e9;
    for (const std::string& photo : photos) {
        const int repeats = 20;
        auto start = Clock::now();
        int32_t w = 0, h = 0;
        for (int i = 0; i < repeats; ++i) {
            uint8_t* buffer = nullptr;
            uint32_t length = 0;
            if (!decoder->extractJpegThumbnailToBuffer(jpegEncoder, u16(photo).c_str(), &buffer, &length, 256, &w, &h)) {
                ++failures;
            }
            HeicDecoder::FreeBuffer(buffer);
        }
        double thumb = seconds(start) / repeats;
        CodecRun full = timeCodec(decoder, {photo}, scratch / "one", false);
        worstRatio = std::min(worstRatio, full.wall / thumb);
        std::printf("  %-44s %6.1f ms vs %6.1f ms  ->  %5.1fx\n", fs::path(photo).filename().c_str(), thumb * 1000,
                    full.wall * 1000, full.wall / thumb);
    }
    std::printf("  slowest ratio %.1fx\n", worstRatio);
    decoder->destroyJpegEncoder(jpegEncoder);
    HeicDecoder::Destroy(decoder);

    std::printf("\nPeak memory of the helper for one photo (a fresh helper each), against the decoded RGB size\n");
    std::vector<std::string> memoryPhotos = {photos.front(), huge};
    for (const std::string& photo : memoryPhotos) {
        for (bool png : {false, true}) {
            HeicDecoder* fresh = HeicDecoder::NewHeicDecoder();
            auto start = Clock::now();
            CodecRun run = timeCodec(fresh, {photo}, scratch / "mem", png);
            double wall = seconds(start);
            long peakKib = helperPeakKib();
            HeicDecoder::Destroy(fresh);
            failures += run.failed;
            // The pixel count from the output file's own header would need a
            // decoder; the two photos measured here are known.
            double megapixels = photo == huge ? 16320.0 * 12240.0 / 1e6 : 4032.0 * 3024.0 / 1e6;
            double rgbMb = megapixels * 3.0;
            std::printf("  %-28s %s  %6.2f s  peak %7.1f MB  = %.2f x its %.0f MB RGB\n", fs::path(photo).filename().c_str(),
                        png ? "PNG " : "JPEG", wall, peakKib / 1024.0, peakKib / 1024.0 / rgbMb, rgbMb);
        }
    }

    fs::remove_all(scratch);
    if (failures != 0) {
        std::printf("\n%d conversions FAILED\n", failures);
        return 1;
    }
    return 0;
}
