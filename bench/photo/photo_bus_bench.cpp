// Converts photos through Module.Photo on the real bus, as the workbench
// asks for them, side by side with heif-dec (one process per photo, as its
// users run it, one at a time and two at a time) on the same photos at the
// same settings, in rounds taken in turn; prints the medians, the ratios and
// how many cores each kept busy (CPU time / wall time). Then a long batch in
// one request: the memory of the program and of the codec's helper after
// 50 files and at the end, and the throughput of the first and last 100.
// With JPEG, the module at the photos' own size and with a longest side
// side by side, in rounds taken in turn: the smaller JPEG must not cost more.
//
//   photo_bus_bench [--format jpeg|png] [--quality 90] [--rounds 3]
//                   [--long-batch N] [--repeat N] [--max-size N]
//                   [--module-only] [photo...]
//
// Without photos: the eight 12-megapixel phone photos of the test set.
// Without --format: JPEG, then PNG (heif-dec at --png-compression-level 3).
// --long-batch: photos in the long batch (default 1000, JPEG; 0 skips it).
// --max-size: the longest side set against the full size (default 2048;
// 0 skips that); with --module-only, the one run's.
// --module-only: the module alone, one line (for bench/cli.sh).
#include "plugin_util.h"

#include "../photo_bench_support.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <pixbridge/command_names.h>
#include <pixbridge/photo_results.h>

#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>

namespace fs = std::filesystem;
using photobench::Clock;
using photobench::Run;

namespace {

// What the replies of the request under way have told.
struct Progress {
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    int converted = 0;
    int failed = 0;
    // Called on the module's thread with the number of files answered.
    std::function<void(int answered, const std::u16string& source)> onFile;
};
Progress progress;

int32_t OnReply(ModuleCommand* c) {
    const auto* r = static_cast<const ConvertResult*>(c->data);
    std::unique_lock<std::mutex> lock(progress.mutex);
    if (r->resultKind == kPhotoResultEnd) {
        progress.done = true;
        progress.ended.notify_all();
        return 0;
    }
    ++(r->status == kPhotoStatusConverted ? progress.converted : progress.failed);
    const int answered = progress.converted + progress.failed;
    auto onFile = progress.onFile;
    lock.unlock();
    if (onFile) onFile(answered, r->sourcePath);
    return 0;
}

std::string Request(const std::vector<std::string>& photos, const fs::path& out, bool jpeg, int quality,
                    int maxEdge) {
    std::string json = "{\"heic_array\": [";
    for (size_t i = 0; i < photos.size(); ++i) json += (i ? ",\"" : "\"") + photos[i] + "\"";
    json += "], \"output_dir\": \"" + out.string() + "/\", \"format\": " + (jpeg ? "0" : "1") +
            ", \"quality\": " + std::to_string(quality) + ", \"keep_exif_data\": 1";
    if (maxEdge > 0) json += ", \"max_edge\": " + std::to_string(maxEdge);
    return json + "}";
}

// One request through the bus, timed from the post to the end reply.
Run RunModule(const std::vector<std::string>& photos, const fs::path& out, bool jpeg, int quality, int maxEdge = 0) {
    fs::remove_all(out);
    fs::create_directories(out);
    std::string json = Request(photos, out, jpeg, quality, maxEdge);
    {
        std::lock_guard<std::mutex> lock(progress.mutex);
        progress.done = false;
        progress.converted = progress.failed = 0;
    }
    photobench::settleDisk();
    char id[] = "bench";
    ModuleCommand c{};
    c.command = LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE;
    c.id = id;
    c.data = json.data();
    c.dataSize = static_cast<int32_t>(json.size());
    Run run;
    // The codec keeps its helper between requests: its CPU time is read
    // from /proc while it runs, and joins the children's when it ends.
    const double cpuBefore = photobench::cpuSeconds() + photobench::helperCpuSeconds();
    const auto start = Clock::now();
    plugin_util::PostFromHost(&c);
    if (c.id != id) free(c.id);
    {
        std::unique_lock<std::mutex> lock(progress.mutex);
        progress.ended.wait(lock, [] { return progress.done; });
        run.failed = progress.failed;
    }
    run.wall = photobench::seconds(start);
    run.cpu = photobench::cpuSeconds() + photobench::helperCpuSeconds() - cpuBefore;
    run.bytes = photobench::folderBytes(out);
    return run;
}

struct Medians {
    double wall, cores;
    uint64_t bytes;
    int failed;
};

Medians Summarise(const std::vector<Run>& runs) {
    std::vector<double> walls, cores;
    int failed = 0;
    for (const Run& r : runs) {
        walls.push_back(r.wall);
        cores.push_back(r.coresBusy());
        failed += r.failed;
    }
    return {photobench::median(walls), photobench::median(cores), runs.empty() ? 0 : runs.back().bytes, failed};
}

void PrintLine(const char* what, const Medians& m, size_t photos) {
    printf("  %-24s %6.2f s  %6.2f photos/s  cores busy %4.2f  %6.1f MB%s\n", what, m.wall, photos / m.wall, m.cores,
           m.bytes / 1e6, m.failed ? "  SOME FAILED" : "");
}

// The module and heif-dec one and two at a time, `rounds` times in turn.
bool Compare(const std::vector<std::string>& photos, const fs::path& scratch, bool jpeg, int quality, int rounds) {
    std::vector<Run> module, one, two;
    for (int r = 0; r < rounds; ++r) {
        // A different one goes first each round, so a slow spell of the
        // machine does not always fall on the same one.
        for (int k = 0; k < 3; ++k) {
            switch ((r + k) % 3) {
            case 0: module.push_back(RunModule(photos, scratch / "module", jpeg, quality)); break;
            case 1: one.push_back(photobench::runHeifDec("heif-dec", photos, scratch / "one", jpeg, quality, 1)); break;
            default: two.push_back(photobench::runHeifDec("heif-dec", photos, scratch / "two", jpeg, quality, 2)); break;
            }
        }
    }
    const Medians m = Summarise(module), a = Summarise(one), b = Summarise(two);
    const size_t n = photos.size();
    if (jpeg) {
        printf("\nJPEG q%d, EXIF kept (heif-dec -q %d, its default decoder)\n", quality, quality);
    } else {
        printf("\nPNG (heif-dec --png-compression-level 3)\n");
    }
    PrintLine("module", m, n);
    PrintLine("heif-dec one at a time", a, n);
    PrintLine("heif-dec two at a time", b, n);
    printf("  module / heif-dec: %.2fx one at a time, %.2fx two at a time (target %s); module's cores busy %.2f%s\n",
           a.wall / m.wall, b.wall / m.wall, jpeg ? ">= 3.0x" : ">= 2.0x", m.cores, jpeg ? " (target >= 1.9)" : "");
    if (!jpeg && b.bytes > 0) {
        printf("  size: module %.1f MB against heif-dec's %.1f MB: %+.1f %% (target <= +2 %%)\n", m.bytes / 1e6,
               b.bytes / 1e6, 100.0 * (static_cast<double>(m.bytes) / static_cast<double>(b.bytes) - 1.0));
    }
    fflush(stdout);
    return m.failed == 0 && a.failed == 0 && b.failed == 0;
}

// JPEG through the module at the photos' own size and at `maxEdge`,
// `rounds` times in turn.
bool CompareSizes(const std::vector<std::string>& photos, const fs::path& scratch, int quality, int rounds,
                  int maxEdge) {
    std::vector<Run> full, smaller;
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 2; ++k) {
            if ((r + k) % 2 == 0) {
                full.push_back(RunModule(photos, scratch / "full", true, quality));
            } else {
                smaller.push_back(RunModule(photos, scratch / "smaller", true, quality, maxEdge));
            }
        }
    }
    const Medians f = Summarise(full), s = Summarise(smaller);
    printf("\nJPEG q%d through the module: the photos' own size against \"max_edge\": %d\n", quality, maxEdge);
    PrintLine("own size", f, photos.size());
    const std::string label = "longest side " + std::to_string(maxEdge);
    PrintLine(label.c_str(), s, photos.size());
    printf("  %d / own size: %.2fx the time (target <= 1.00x), %.2fx the CPU time\n", maxEdge,
           s.wall / f.wall, (s.wall * s.cores) / (f.wall * f.cores));
    fflush(stdout);
    return f.failed == 0 && s.failed == 0;
}

// `count` photos in one request, as links to the eight under names of
// their own. Each output is removed as its reply comes, so the batch needs
// no more disk than a few photos.
bool LongBatch(const std::vector<std::string>& photos, const fs::path& scratch, int count, int quality) {
    const fs::path in = scratch / "long_in";
    const fs::path out = scratch / "long_out";
    fs::create_directories(in);
    // The first and the last hundred hold the same photos, so their rates
    // compare like with like.
    std::vector<std::string> batch;
    for (int k = 0; k < count; ++k) {
        const int firstOfLast = std::max(0, count - 100);
        const size_t which = static_cast<size_t>(k < firstOfLast ? k : k - firstOfLast) % photos.size();
        char name[32];
        snprintf(name, sizeof name, "p%05d_", k);
        const fs::path link = in / (name + fs::path(photos[which]).filename().string());
        fs::create_symlink(photos[which], link);
        batch.push_back(link.string());
    }

    std::vector<Clock::time_point> answeredAt;
    answeredAt.reserve(static_cast<size_t>(count));
    // Resident memory moves with the photos under way (their files are
    // mapped while they are read): each figure is the mean of ten files,
    // those up to the 50th and the last ten.
    double programAfter50 = 0, helperAfter50 = 0, programAtEnd = 0, helperAtEnd = 0;
    std::vector<long> helperEvery100;
    std::vector<double> cpuEvery100;  // this process's and the helper's
    progress.onFile = [&](int answered, const std::u16string& source) {
        answeredAt.push_back(Clock::now());
        fs::remove(out / (fs::path(BASUtilityString::Utf16ToUtf8(source)).stem().string() + ".JPG"));
        if (answered % 100 == 0) {
            helperEvery100.push_back(photobench::helperKib("VmRSS:"));
            cpuEvery100.push_back(photobench::cpuSeconds() + photobench::helperCpuSeconds());
        }
        const bool early = answered > 40 && answered <= 50;
        if (early || answered > count - 10) {
            const double program = photobench::statusKib("self", "VmRSS:") / 10.0;
            const double helper = photobench::helperKib("VmRSS:") / 10.0;
            (early ? programAfter50 : programAtEnd) += program;
            (early ? helperAfter50 : helperAtEnd) += helper;
        }
    };
    const auto start = Clock::now();
    const double cpuAtStart = photobench::cpuSeconds() + photobench::helperCpuSeconds();
    const Run run = RunModule(batch, out, true, quality);
    progress.onFile = nullptr;

    printf("\nLong batch: %d photos (the eight, repeated) in one request, JPEG q%d: %.1f s, %.2f photos/s, "
           "cores busy %.2f%s\n",
           count, quality, run.wall, count / run.wall, run.coresBusy(), run.failed ? ", SOME FAILED" : "");
    auto change = [](double now, double then) { return then > 0 ? 100.0 * (now / then - 1.0) : 0.0; };
    printf("  resident memory after 50 files (files 41-50): program %.1f MB, helper %.1f MB\n",
           programAfter50 / 1024.0, helperAfter50 / 1024.0);
    printf("  resident memory at the end (the last 10 files): program %.1f MB (%+.1f %%), helper %.1f MB (%+.1f %%) "
           "(target within 10 %%)\n",
           programAtEnd / 1024.0, change(programAtEnd, programAfter50), helperAtEnd / 1024.0,
           change(helperAtEnd, helperAfter50));
    if (count >= 200 && answeredAt.size() == static_cast<size_t>(count)) {
        const double first = std::chrono::duration<double>(answeredAt[99] - start).count();
        const double last = std::chrono::duration<double>(answeredAt.back() - answeredAt[answeredAt.size() - 101]).count();
        printf("  first 100: %.2f photos/s; last 100: %.2f photos/s (%+.1f %%) (target within 5 %%)\n", 100 / first,
               100 / last, 100.0 * (first / last - 1.0));
        // A machine shared with others runs faster and slower by turns; the
        // line through all hundreds tells a drift from such spells.
        printf("  each hundred, photos/s:");
        std::vector<double> rates;
        for (size_t k = 100; k <= answeredAt.size(); k += 100) {
            const auto from = k == 100 ? start : answeredAt[k - 101];
            rates.push_back(100 / std::chrono::duration<double>(answeredAt[k - 1] - from).count());
            printf(" %.2f", rates.back());
        }
        double meanX = 0, meanY = 0, sxy = 0, sxx = 0;
        for (size_t k = 0; k < rates.size(); ++k) {
            meanX += k;
            meanY += rates[k];
        }
        meanX /= rates.size();
        meanY /= rates.size();
        for (size_t k = 0; k < rates.size(); ++k) {
            sxy += (k - meanX) * (rates[k] - meanY);
            sxx += (k - meanX) * (k - meanX);
        }
        const double slope = sxx > 0 ? sxy / sxx : 0;
        printf("\n  drift over the batch (least-squares line through the hundreds): %+.1f %%",
               100.0 * slope * (rates.size() - 1) / meanY);
        // CPU time a photo tells the program's own slowing from the machine's.
        printf("\n  each hundred, CPU ms a photo:");
        double cpuBefore = cpuAtStart;
        for (double cpu : cpuEvery100) {
            printf(" %.0f", (cpu - cpuBefore) * 10);
            cpuBefore = cpu;
        }
        printf("\n  helper's resident memory at each hundred, MB:");
        for (long kib : helperEvery100) printf(" %.1f", kib / 1024.0);
        printf("\n");
    }
    fs::remove_all(in);
    fs::remove_all(out);
    return run.failed == 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<bool> formats = {true, false};
    int quality = 90, repeat = 1, rounds = 3, longBatch = 1000, maxSize = -1;
    bool moduleOnly = false;
    std::vector<std::string> photos;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--format" && i + 1 < argc) formats = {std::string(argv[++i]) != "png"};
        else if (a == "--quality" && i + 1 < argc) quality = atoi(argv[++i]);
        else if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, atoi(argv[++i]));
        else if (a == "--rounds" && i + 1 < argc) rounds = std::max(1, atoi(argv[++i]));
        else if (a == "--long-batch" && i + 1 < argc) longBatch = std::max(0, atoi(argv[++i]));
        else if (a == "--max-size" && i + 1 < argc) maxSize = std::max(0, atoi(argv[++i]));
        else if (a == "--module-only") moduleOnly = true;
        else photos.push_back(fs::absolute(a).string());
    }
    // The long batch's figures compare its first and last hundred.
    if (longBatch > 0) longBatch = std::max(longBatch, 200);
    if (photos.empty()) photos = photobench::phoneSet(PIXBRIDGE_PHOTOS_DIR);
    std::vector<std::string> batch;
    for (int r = 0; r < repeat; ++r) batch.insert(batch.end(), photos.begin(), photos.end());

    VoTaskPool::Get()->Activate(5);
    if (!plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(std::string(PIXBRIDGE_APP_DIR) + "/Plugins/Module.Photo/"))) {
        fprintf(stderr, "cannot load Module.Photo from %s\n", PIXBRIDGE_APP_DIR);
        return 1;
    }
    plugin_util::SubscribeHandler(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, &OnReply);
    const fs::path scratch = fs::temp_directory_path() / ("photo_bench_" + std::to_string(getpid()));
    fs::create_directories(scratch);

    bool ok = true;
    if (moduleOnly) {
        const Run run = RunModule(batch, scratch / "module", formats.front(), quality, std::max(0, maxSize));
        printf("module: %6.2f s  %5.2f photos/s  converted %zu failed %d  cores busy %.2f\n", run.wall,
               static_cast<double>(batch.size()) / run.wall, batch.size() - static_cast<size_t>(run.failed),
               run.failed, run.coresBusy());
        ok = run.failed == 0;
    } else {
        printf("photo_bus_bench: %zu photos, median of %d rounds; %ld cores (nproc); load average at the start %s\n",
               batch.size(), rounds, photobench::coreCount(), photobench::loadAverage().c_str());
        fflush(stdout);
        for (bool jpeg : formats) ok = Compare(batch, scratch, jpeg, quality, rounds) && ok;
        if (formats.front() && maxSize != 0) {
            ok = CompareSizes(batch, scratch, quality, rounds, maxSize > 0 ? maxSize : 2048) && ok;
        }
        if (longBatch > 0) ok = LongBatch(photos, scratch, longBatch, quality) && ok;
        printf("\nload average at the end %s\n", photobench::loadAverage().c_str());
    }
    fs::remove_all(scratch);
    VoTaskPool::Get()->Deactivate();
    return ok ? 0 : 1;
}
