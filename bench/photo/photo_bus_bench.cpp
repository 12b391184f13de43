// Converts photos through Module.Photo on the real bus, as the workbench
// asks for them, and times the same photos with heif-dec (one process per
// file, as its users run it) at the same settings. Prints photos per second
// and the ratios.
//
//   photo_bus_bench [--format jpeg|png] [--quality 90] [--repeat N] [--module-only] photo...
//   (no photos: the eight 12-megapixel phone photos of the test set;
//   --module-only leaves heif-dec out, for bench/cli.sh)
#include "plugin_util.h"

#include <bedrock/bas_utility_string.h>
#include <bedrock/vo_task_pool.h>
#include <pixbridge/command_names.h>
#include <pixbridge/photo_results.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

std::mutex mutex;
std::condition_variable ended;
bool done = false;
int converted = 0, failed = 0;

int32_t OnReply(ModuleCommand* c) {
    const auto* r = static_cast<const ConvertResult*>(c->data);
    std::lock_guard<std::mutex> lock(mutex);
    if (r->resultKind == kPhotoResultEnd) {
        done = true;
        ended.notify_all();
    } else if (r->status == kPhotoStatusConverted) {
        ++converted;
    } else {
        ++failed;
    }
    return 0;
}

double RunModule(const std::vector<std::string>& photos, const fs::path& out, bool jpeg, int quality) {
    std::string json = "{\"heic_array\": [";
    for (size_t i = 0; i < photos.size(); ++i) json += (i ? ",\"" : "\"") + photos[i] + "\"";
    json += "], \"output_dir\": \"" + out.string() + "/\", \"format\": " + (jpeg ? "0" : "1") +
            ", \"quality\": " + std::to_string(quality) + ", \"keep_exif_data\": 1}";
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = false;
    }
    char id[] = "bench";
    ModuleCommand c{};
    c.command = LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE;
    c.id = id;
    c.data = json.data();
    c.dataSize = static_cast<int32_t>(json.size());
    const auto start = Clock::now();
    plugin_util::PostFromHost(&c);
    if (c.id != id) free(c.id);
    std::unique_lock<std::mutex> lock(mutex);
    ended.wait(lock, [] { return done; });
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double RunHeifDec(const std::vector<std::string>& photos, const fs::path& out, bool jpeg, int quality) {
    const auto start = Clock::now();
    int n = 0;
    for (const std::string& photo : photos) {
        const std::string target = (out / ("h" + std::to_string(n++) + (jpeg ? ".jpg" : ".png"))).string();
        const pid_t pid = fork();
        if (pid == 0) {
            const std::string q = std::to_string(quality);
            if (jpeg) {
                execlp("heif-dec", "heif-dec", "-q", q.c_str(), photo.c_str(), target.c_str(), nullptr);
            } else {
                execlp("heif-dec", "heif-dec", "--png-compression-level", "3", photo.c_str(), target.c_str(), nullptr);
            }
            _exit(127);
        }
        int status = 0;
        waitpid(pid, &status, 0);
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    bool jpeg = true;
    int quality = 90, repeat = 1;
    bool moduleOnly = false;
    std::vector<std::string> photos;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--format" && i + 1 < argc) jpeg = std::string(argv[++i]) != "png";
        else if (a == "--quality" && i + 1 < argc) quality = atoi(argv[++i]);
        else if (a == "--repeat" && i + 1 < argc) repeat = atoi(argv[++i]);
        else if (a == "--module-only") moduleOnly = true;
        else photos.push_back(fs::absolute(a).string());
    }
    if (photos.empty()) {
        for (const char* name : {"tifig_1_portrait", "tifig_2_landscape", "tifig_3_frontcam", "tifig_4_city",
                                 "tifig_7_animal_farm", "crab_yuv420_image_with_yuv400_gainmap",
                                 "immich_samsung-one-ui-6", "immich_IMG_2682"}) {
            photos.push_back(std::string(PIXBRIDGE_PHOTOS_DIR) + "/" + name + ".heic");
        }
    }
    std::vector<std::string> batch;
    for (int r = 0; r < repeat; ++r) batch.insert(batch.end(), photos.begin(), photos.end());

    VoTaskPool::Get()->Activate(5);
    if (!plugin_util::LoadModule(BASUtilityString::Utf8ToUtf16(std::string(PIXBRIDGE_APP_DIR) + "/Plugins/Module.Photo/"))) {
        fprintf(stderr, "cannot load Module.Photo from %s\n", PIXBRIDGE_APP_DIR);
        return 1;
    }
    plugin_util::SubscribeHandler(LIBPHOTO_COMMAND_CONVERT_HEIC_TO_IMAGE, &OnReply);

    const fs::path out = fs::temp_directory_path() / ("photo_bench_" + std::to_string(getpid()));
    fs::create_directories(out / "module");
    fs::create_directories(out / "heif-dec");
    const double module = RunModule(batch, out / "module", jpeg, quality);
    if (moduleOnly) {
        printf("module: %6.2f s  %5.2f photos/s  converted %d failed %d\n", module,
               static_cast<double>(batch.size()) / module, converted, failed);
        fs::remove_all(out);
        VoTaskPool::Get()->Deactivate();
        return failed == 0 ? 0 : 1;
    }
    const double reference = RunHeifDec(batch, out / "heif-dec", jpeg, quality);

    uintmax_t moduleBytes = 0, referenceBytes = 0;
    for (const auto& e : fs::directory_iterator(out / "module")) moduleBytes += e.file_size();
    for (const auto& e : fs::directory_iterator(out / "heif-dec")) referenceBytes += e.file_size();
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);

    const double n = static_cast<double>(batch.size());
    printf("cores: %ld, photos: %zu, format: %s%s\n", sysconf(_SC_NPROCESSORS_ONLN), batch.size(), jpeg ? "JPEG q" : "PNG",
           jpeg ? std::to_string(quality).c_str() : " (heif-dec at --png-compression-level 3)");
    printf("module:   %6.2f s  %5.2f photos/s  converted %d failed %d  %.1f MB\n", module, n / module, converted, failed,
           moduleBytes / 1e6);
    printf("heif-dec: %6.2f s  %5.2f photos/s  %.1f MB\n", reference, n / reference, referenceBytes / 1e6);
    printf("throughput ratio (module / heif-dec): %.2f x; size ratio: %.3f\n", reference / module,
           referenceBytes ? static_cast<double>(moduleBytes) / static_cast<double>(referenceBytes) : 0.0);
    printf("peak RSS of the largest child process: %.0f MB\n", children.ru_maxrss / 1024.0);
    fs::remove_all(out);
    VoTaskPool::Get()->Deactivate();
    return 0;
}
