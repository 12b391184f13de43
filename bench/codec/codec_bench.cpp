// Times libPhotoCodec against heif-dec, libheif's own converter run once
// per photo as its users run it (one at a time and two at a time), on the
// same photos at the same settings, in rounds taken in turn, and prints the
// medians, the ratios and the cores each kept busy (CPU time / wall time).
// The codec converts a batch as the photo module does: overlapped, the next
// photo decoded while the one before is encoded and written. Also the
// thumbnail speed against a full conversion and the helper's peak memory,
// for one photo and for an overlapped batch, at the photos' own size and
// with a longest side of 2048 (resized band by band, so no more memory).
//
//   codec_bench [--runs N] [photo.heic ...]
//
// Without photos it uses the eight 12-megapixel phone photos of the test
// set; the 200-megapixel one is always measured on its own.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "../photo_bench_support.h"
#include "photocodec/heic_decoder.h"

namespace fs = std::filesystem;
using photobench::Clock;
using photobench::Run;

namespace {

std::u16string u16(const std::string& s)
{
    std::u16string out;
    for (unsigned char c : s) {
        out += static_cast<char16_t>(c);  // the photo paths are ASCII
    }
    return out;
}

double selfCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The photos through `decoder`, overlapped as the photo module runs a batch.
Run timeCodec(HeicDecoder* decoder, const std::vector<std::string>& photos, const fs::path& out, bool png)
{
    fs::remove_all(out);
    fs::create_directories(out);
    JpegEncoder* jpeg = decoder->newJpegEncoder();
    PngEncoder* pngEncoder = decoder->newPngEncoder();
    photobench::settleDisk();
    Run run;
    const double cpuBefore = selfCpuSeconds() + photobench::helperCpuSeconds();
    const auto start = Clock::now();
    size_t started = 0;
    size_t finished = 0;
    while (finished < photos.size()) {
        while (started < photos.size() && started - finished < static_cast<size_t>(HeicDecoder::kConversionsAtOnce)) {
            const std::string& photo = photos[started];
            const std::string target =
                (out / (std::to_string(started) + "_" + fs::path(photo).stem().string() + (png ? ".PNG" : ".JPG")))
                    .string();
            if (png) {
                decoder->startConvertToPng(pngEncoder, u16(photo).c_str(), u16(target).c_str(),
                                           HeicDecoder::NameTaken::Fail);
            } else {
                decoder->startConvertToJpeg(jpeg, u16(photo).c_str(), u16(target).c_str(), 90, true,
                                            HeicDecoder::NameTaken::Fail);
            }
            ++started;
        }
        run.failed += decoder->finishConversion() ? 0 : 1;
        ++finished;
    }
    run.wall = photobench::seconds(start);
    run.cpu = selfCpuSeconds() + photobench::helperCpuSeconds() - cpuBefore;
    run.bytes = photobench::folderBytes(out);
    decoder->destroyJpegEncoder(jpeg);
    decoder->destroyPngEncoder(pngEncoder);
    return run;
}

struct Medians {
    double wall = 0;
    double cores = 0;
    uint64_t bytes = 0;
};

Medians summarise(const std::vector<Run>& runs, int& failures)
{
    std::vector<double> walls, cores;
    for (const Run& r : runs) {
        walls.push_back(r.wall);
        cores.push_back(r.coresBusy());
        failures += r.failed;
    }
    return {photobench::median(walls), photobench::median(cores), runs.empty() ? 0 : runs.back().bytes};
}

void printLine(const char* what, const Medians& m, size_t n)
{
    std::printf("  %-28s %6.3f s (%.3f s a photo)  %6.2f photos/s  cores busy %4.2f  %6.1f MB\n", what, m.wall,
                m.wall / n, n / m.wall, m.cores, m.bytes / 1e6);
}

// The codec and heif-dec one and two at a time, `runs` times in turn.
void compare(HeicDecoder* decoder, const std::vector<std::string>& photos, const fs::path& scratch, bool png, int runs,
             int& failures)
{
    std::vector<Run> codec, one, two;
    for (int r = 0; r < runs; ++r) {
        for (int k = 0; k < 3; ++k) {
            switch ((r + k) % 3) {
            case 0:
                codec.push_back(timeCodec(decoder, photos, scratch / "codec", png));
                break;
            case 1:
                one.push_back(photobench::runHeifDec(HEIF_DEC_PROGRAM, photos, scratch / "one", !png, 90, 1));
                break;
            default:
                two.push_back(photobench::runHeifDec(HEIF_DEC_PROGRAM, photos, scratch / "two", !png, 90, 2));
                break;
            }
        }
    }
    const Medians c = summarise(codec, failures), a = summarise(one, failures), b = summarise(two, failures);
    const size_t n = photos.size();
    std::printf(png ? "\nPNG (heif-dec --png-compression-level 3)\n" : "\nJPEG, quality 90, EXIF kept (heif-dec -q 90)\n");
    printLine("libPhotoCodec, overlapped", c, n);
    printLine("heif-dec one at a time", a, n);
    printLine("heif-dec two at a time", b, n);
    std::printf("  libPhotoCodec / heif-dec: %.2fx one at a time, %.2fx two at a time\n", a.wall / c.wall,
                b.wall / c.wall);
    if (png && b.bytes > 0) {
        std::printf("  size: %.1f MB against heif-dec's %.1f MB (%+.1f %%)\n", c.bytes / 1e6, b.bytes / 1e6,
                    100.0 * (static_cast<double>(c.bytes) / static_cast<double>(b.bytes) - 1.0));
    }
    std::fflush(stdout);
}

// A fresh helper for `photos` alone: its peak resident memory, in MB.
double peakMb(const std::vector<std::string>& photos, const fs::path& scratch, bool png, double& wall, int& failures,
              int32_t maxEdge = 0)
{
    // Named in the environment, the helper is started for this decoder
    // alone instead of being the one kept from the decoders before.
    ::setenv("PIXBRIDGE_HEIF_WORKER", PIXBRIDGE_HEIF_WORKER_PROGRAM, 1);
    const std::vector<pid_t> before = photobench::helperPids();
    HeicDecoder* fresh = HeicDecoder::NewHeicDecoder();
    fresh->setMaxEdge(maxEdge);
    const Run run = timeCodec(fresh, photos, scratch / "mem", png);
    long peakKib = 0;
    for (pid_t pid : photobench::helperPids()) {
        if (std::find(before.begin(), before.end(), pid) == before.end()) {
            peakKib = std::max(peakKib, photobench::statusKib(std::to_string(pid), "VmHWM:"));
        }
    }
    const double peak = peakKib / 1024.0;
    HeicDecoder::Destroy(fresh);
    ::unsetenv("PIXBRIDGE_HEIF_WORKER");
    failures += run.failed;
    wall = run.wall;
    return peak;
}

}  // namespace

int main(int argc, char** argv)
{
    // The codec's own speed: the desktop's thumbnail cache would answer
    // every thumbnail after the first from its entry. No folder can be made
    // below a file, so the cache stays out of the way.
    setenv("XDG_CACHE_HOME", "/dev/null/no-cache", 1);
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
        photos = photobench::phoneSet(PIXBRIDGE_PHOTOS_DIR);
    }
    const std::string huge = std::string(PIXBRIDGE_PHOTOS_DIR) + "/ph_200MP.heic";
    const fs::path scratch = fs::temp_directory_path() / ("codec_bench_" + std::to_string(getpid()));
    fs::create_directories(scratch);

    std::printf("codec_bench: %zu photos, median of %d runs, %ld cores (nproc), load average at the start %s\n",
                photos.size(), runs, photobench::coreCount(), photobench::loadAverage().c_str());

    HeicDecoder* decoder = HeicDecoder::NewHeicDecoder();
    // Start the helper before timing, as a running program has it.
    int failures = 0;
    failures += timeCodec(decoder, {photos.front()}, scratch / "warm", false).failed;
    compare(decoder, photos, scratch, false, runs, failures);
    compare(decoder, photos, scratch, true, runs, failures);

    std::printf("\nThumbnails (256 px) against a full JPEG conversion of the same photo\n");
    JpegEncoder* jpegEncoder = decoder->newJpegEncoder();
    double worstRatio = 1e9;
    for (const std::string& photo : photos) {
        const int repeats = 20;
        const auto start = Clock::now();
        int32_t w = 0, h = 0;
        for (int i = 0; i < repeats; ++i) {
            uint8_t* buffer = nullptr;
            uint32_t length = 0;
            if (!decoder->extractJpegThumbnailToBuffer(jpegEncoder, u16(photo).c_str(), &buffer, &length, 256, &w, &h)) {
                ++failures;
            }
            HeicDecoder::FreeBuffer(buffer);
        }
        const double thumb = photobench::seconds(start) / repeats;
        const Run full = timeCodec(decoder, {photo}, scratch / "one", false);
        worstRatio = std::min(worstRatio, full.wall / thumb);
        std::printf("  %-44s %6.1f ms vs %6.1f ms  ->  %5.1fx\n", fs::path(photo).filename().c_str(), thumb * 1000,
                    full.wall * 1000, full.wall / thumb);
    }
    std::printf("  slowest ratio %.1fx\n", worstRatio);
    decoder->destroyJpegEncoder(jpegEncoder);
    HeicDecoder::Destroy(decoder);

    std::printf("\nPeak memory of the helper (a fresh helper each), against the decoded RGB size\n");
    // The pixel counts: the two photos measured on their own are known.
    const double phoneRgbMb = 4032.0 * 3024.0 * 3 / 1e6;
    const double hugeRgbMb = 16320.0 * 12240.0 * 3 / 1e6;
    for (bool png : {false, true}) {
        double wall = 0;
        const double one = peakMb({photos.front()}, scratch, png, wall, failures);
        std::printf("  %-30s %s  %6.2f s  peak %6.1f MB = %.2f x its %.0f MB RGB\n",
                    fs::path(photos.front()).filename().c_str(), png ? "PNG " : "JPEG", wall, one, one / phoneRgbMb,
                    phoneRgbMb);
        // JPEG may take twice one photo's memory for its overlap; PNG must
        // stay within 2.5 times the RGB size of a photo.
        const double batch = peakMb(photos, scratch, png, wall, failures);
        std::printf("  %-30s %s  %6.2f s  peak %6.1f MB = %.2f x one photo's, %.2f x its RGB (target %s)\n",
                    "the photos, overlapped", png ? "PNG " : "JPEG", wall, batch, batch / one, batch / phoneRgbMb,
                    png ? "<= 2.5 x RGB" : "<= 2 x one photo's");
        const double big = peakMb({huge}, scratch, png, wall, failures);
        std::printf("  %-30s %s  %6.2f s  peak %6.1f MB = %.2f x its %.0f MB RGB\n", "ph_200MP.heic", png ? "PNG " : "JPEG",
                    wall, big, big / hugeRgbMb, hugeRgbMb);
    }
    constexpr int32_t kMaxEdge = 2048;
    std::printf("\nThe same with a longest side of %d (against the own-size figures above)\n", kMaxEdge);
    for (bool png : {false, true}) {
        double wall = 0;
        const double one = peakMb({photos.front()}, scratch, png, wall, failures, kMaxEdge);
        std::printf("  %-30s %s  %6.2f s  peak %6.1f MB\n", fs::path(photos.front()).filename().c_str(),
                    png ? "PNG " : "JPEG", wall, one);
        const double batch = peakMb(photos, scratch, png, wall, failures, kMaxEdge);
        std::printf("  %-30s %s  %6.2f s  peak %6.1f MB = %.2f x one photo's, %.2f x its RGB\n",
                    "the photos, overlapped", png ? "PNG " : "JPEG", wall, batch, batch / one, batch / phoneRgbMb);
        const double big = peakMb({huge}, scratch, png, wall, failures, kMaxEdge);
        std::printf("  %-30s %s  %6.2f s  peak %6.1f MB = %.2f x its %.0f MB RGB\n", "ph_200MP.heic",
                    png ? "PNG " : "JPEG", wall, big, big / hugeRgbMb, hugeRgbMb);
    }
    std::printf("\nload average at the end %s\n", photobench::loadAverage().c_str());

    fs::remove_all(scratch);
    if (failures != 0) {
        std::printf("\n%d conversions FAILED\n", failures);
        return 1;
    }
    return 0;
}
