// What the photo benchmarks share: the machine's state, CPU time, heif-dec
// as its users run it (one process per photo, one or two at a time), and
// the memory of this process and of the codec's helper.
#ifndef PIXBRIDGE_BENCH_PHOTO_BENCH_SUPPORT_H
#define PIXBRIDGE_BENCH_PHOTO_BENCH_SUPPORT_H

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace photobench {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// The eight 12-megapixel phone photos of the test set.
inline std::vector<std::string> phoneSet(const std::string& folder)
{
    std::vector<std::string> photos;
    for (const char* name : {"tifig_1_portrait", "tifig_2_landscape", "tifig_3_frontcam", "tifig_4_city",
                             "tifig_7_animal_farm", "crab_yuv420_image_with_yuv400_gainmap", "immich_samsung-one-ui-6",
                             "immich_IMG_2682"}) {
        photos.push_back(folder + "/" + name + ".heic");
    }
    return photos;
}

inline std::string loadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

inline long coreCount() { return sysconf(_SC_NPROCESSORS_ONLN); }

inline double seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

// CPU time of this process and of its children that have ended (the
// codec's helper is reaped when its decoder goes).
inline double cpuSeconds()
{
    double total = 0;
    for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        rusage u{};
        getrusage(who, &u);
        total += u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

inline double median(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline uint64_t folderBytes(const fs::path& folder)
{
    uint64_t total = 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        total += e.is_regular_file() ? e.file_size() : 0;
    }
    return total;
}

// Writes out what earlier runs left in the page cache, so that a run's
// own flushes (the codec syncs each file before it shows it) do not pay
// for another run's files.
inline void settleDisk() { ::sync(); }

struct Run {
    double wall = 0;
    double cpu = 0;
    uint64_t bytes = 0;
    int failed = 0;
    double coresBusy() const { return wall > 0 ? cpu / wall : 0; }
};

// heif-dec on every photo, one process each, `atOnce` processes at a time,
// into a fresh `out`.
inline Run runHeifDec(const std::string& program, const std::vector<std::string>& photos, const fs::path& out,
                      bool jpeg, int quality, int atOnce)
{
    fs::remove_all(out);
    fs::create_directories(out);
    settleDisk();
    Run run;
    const double cpuBefore = cpuSeconds();
    const auto start = Clock::now();
    size_t next = 0;
    std::vector<pid_t> running;
    while (next < photos.size() || !running.empty()) {
        if (next < photos.size() && static_cast<int>(running.size()) < atOnce) {
            const std::string& photo = photos[next];
            const std::string target =
                (out / (std::to_string(next) + "_" + fs::path(photo).stem().string() + (jpeg ? ".jpg" : ".png")))
                    .string();
            ++next;
            std::fflush(stdout);
            const pid_t pid = fork();
            if (pid == 0) {
                const std::string q = std::to_string(quality);
                if (!std::freopen("/dev/null", "w", stdout)) {
                    _exit(126);
                }
                if (jpeg) {
                    execlp(program.c_str(), program.c_str(), "--quiet", "-q", q.c_str(), photo.c_str(), target.c_str(),
                           nullptr);
                } else {
                    execlp(program.c_str(), program.c_str(), "--quiet", "--png-compression-level", "3", photo.c_str(),
                           target.c_str(), nullptr);
                }
                _exit(127);
            }
            running.push_back(pid);
            continue;
        }
        // Only our own heif-dec processes: a codec helper of this process
        // is its decoder's to reap.
        for (auto it = running.begin(); it != running.end();) {
            int status = 0;
            if (waitpid(*it, &status, WNOHANG) == *it) {
                run.failed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
                it = running.erase(it);
            } else {
                ++it;
            }
        }
        usleep(500);
    }
    run.wall = seconds(start);
    run.cpu = cpuSeconds() - cpuBefore;
    run.bytes = folderBytes(out);
    return run;
}

// The codec helpers this process started and that are still running.
inline std::vector<pid_t> helperPids()
{
    std::vector<pid_t> pids;
    const std::string self = std::to_string(getpid());
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream status(e.path() / "status");
        std::string line, command, parent;
        while (std::getline(status, line)) {
            if (line.rfind("Name:", 0) == 0) {
                command = line.substr(5);
            } else if (line.rfind("PPid:", 0) == 0) {
                parent = std::to_string(std::atol(line.c_str() + 5));
            }
        }
        if (parent == self && command.find("pixbridge-heif") != std::string::npos) {
            pids.push_back(static_cast<pid_t>(std::atol(name.c_str())));
        }
    }
    return pids;
}

// A field of /proc/<pid>/status in KiB ("VmRSS:", "VmHWM:"); 0 when gone.
inline long statusKib(const std::string& pid, const char* field)
{
    std::ifstream status("/proc/" + pid + "/status");
    std::string line;
    const size_t n = std::char_traits<char>::length(field);
    while (std::getline(status, line)) {
        if (line.compare(0, n, field) == 0) {
            return std::atol(line.c_str() + n);
        }
    }
    return 0;
}

// CPU time of the codec helpers that are running now (those that ended
// count among the children in cpuSeconds()).
inline double helperCpuSeconds()
{
    double total = 0;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    for (pid_t pid : helperPids()) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t close = text.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        // After the name: state is field 3, utime 14 and stime 15.
        std::istringstream fields(text.substr(close + 2));
        std::string field;
        double ticks = 0;
        for (int n = 3; n <= 15 && fields >> field; ++n) {
            if (n >= 14) {
                ticks += std::atof(field.c_str());
            }
        }
        total += ticks / tick;
    }
    return total;
}

// The largest of the helpers' values of `field`.
inline long helperKib(const char* field)
{
    long most = 0;
    for (pid_t pid : helperPids()) {
        most = std::max(most, statusKib(std::to_string(pid), field));
    }
    return most;
}

}  // namespace photobench

#endif  // PIXBRIDGE_BENCH_PHOTO_BENCH_SUPPORT_H
