// pixbridge-heif-worker: the helper process of libPhotoCodec. It reads
// requests from the socket it was started with, decodes and encodes each
// photo itself and answers with a short result. Whatever a damaged photo
// does to libheif or a decoder plug-in happens here, not in the program.
#include <dlfcn.h>
#include <malloc.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libheif/heif.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cached_thumbnail.h"
#include "conversion_job.h"
#include "request_pipeline.h"
#include "source_bytes.h"
#include "unique_fd.h"
#include "wire_protocol.h"

namespace {

using photocodec::UniqueFd;
namespace wire = photocodec::wire;

// Photos worked on at once: one being encoded and written while the next
// is decoded. The library sends no more than this ahead.
constexpr int kRequestsAtOnce = 2;

// Above this the helper hands memory back to the system between photos;
// below it the next photo reuses it.
constexpr size_t kTrimAboveBytes = 256u << 20;

// A helper that waits (between batches, or as the spare) gives back what
// its heap kept for the next photo once it has had nothing to do this long.
constexpr int kRestAfterMs = 3000;

// Every photo allocates and frees the same buffers again and again: decoded
// tiles, planes, the HEVC decoder's state. With glibc's defaults most of
// them come fresh from the kernel each time and leave again when freed, so
// every photo pays for zero-filled page faults. The heap now keeps up to
// the trim threshold of free memory for the next photo (kTrimAboveBytes
// still bounds what an idle helper holds): on a batch of phone photos the
// helper's system time fell by three quarters and the batch took about a
// fifth less time. Blocks of the mmap threshold and more (bands, whole
// pictures: a few a photo, each of a size of its own) still come from the
// kernel, so that they never leave holes in the heap that make it grow
// over a long batch. Threads come and go with every photo, and each new
// one would otherwise get an arena of its own holding memory of its own:
// one arena a core keeps the peak of two PNG photos under way a fifth lower
// at no measurable cost.
void keepFreedMemoryForTheNextPhoto(int cores)
{
    mallopt(M_ARENA_MAX, cores);
    mallopt(M_MMAP_THRESHOLD, 2 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    mallopt(M_TOP_PAD, 8 << 20);
}

// What the library sends of the thumbnail cache; anything larger is no
// thumbnail.
constexpr size_t kMaxEntryBytes = 8u << 20;

// The folder of decoder plug-ins that a packaged tree carries beside the
// helper, with the libheif they were built for.
constexpr const char* kBundledPluginFolder = "heif-plugins";

// A package bundles libheif 1.19 because Debian 12's own 1.15 refuses many
// current phone photos; its plug-ins must come from the same bundle, not
// from the system's folder, where 1.15's would be. libheif reads the
// variable when heif_init() loads plug-ins. A tree without the folder (a
// build, a distribution's own package) keeps the system's plug-ins.
void useBundledPlugins()
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (n <= 0) {
        return;
    }
    std::string folder(self, static_cast<size_t>(n));
    folder = folder.substr(0, folder.find_last_of('/') + 1) + kBundledPluginFolder;
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        ::setenv("LIBHEIF_PLUGIN_PATH", folder.c_str(), 1);
    }
}

// Loads libheif's plug-ins for the life of the helper. There is no
// heif_deinit(): it would unload the plug-ins, and libheif 1.19 loses their
// registration records on the way (LeakSanitizer flags it in every test
// run); the process ends right after, which frees everything anyway.
class HeifLibrary {
public:
    HeifLibrary() { heif_init(nullptr); }
    ~HeifLibrary() = default;
    HeifLibrary(const HeifLibrary&) = delete;
    HeifLibrary& operator=(const HeifLibrary&) = delete;
};

// Progress and log lines of one request, sent as they come.
class SocketReporter : public photocodec::JobReporter {
public:
    SocketReporter(photocodec::SocketWriter& writer, uint32_t sequence) : writer_(writer), sequence_(sequence) {}
    void progress(uint64_t pixelCount) override
    {
        wire::Progress p;
        p.sequence = sequence_;
        p.pixelCount = pixelCount;
        writer_.send(wire::MessageType::Progress, wire::encode(p));
    }
    void log(const std::string& line) override { writer_.send(wire::MessageType::Log, wire::encodeLog(line)); }

private:
    photocodec::SocketWriter& writer_;
    uint32_t sequence_;
};

int availableThreads()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) {
        return std::max(1, CPU_COUNT(&set));
    }
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

// The HEVC decoders libheif loaded, by id.
std::vector<std::string> hevcDecoderIds()
{
    std::vector<std::string> ids;
    const heif_decoder_descriptor* descriptors[16] = {};
    int n = heif_get_decoder_descriptors(heif_compression_HEVC, descriptors, 16);
    for (int i = 0; i < n; ++i) {
        const char* id = heif_decoder_descriptor_get_id_name(descriptors[i]);
        if (id != nullptr) {
            ids.emplace_back(id);
        }
    }
    return ids;
}

// FFmpeg prints a line for every damaged slice; the failure reaches the
// program through the result, so its console stays quiet.
void silenceFfmpeg()
{
    for (const char* name : {"libavutil.so.57", "libavutil.so.58", "libavutil.so.59", "libavutil.so.56"}) {
        void* lib = dlopen(name, RTLD_NOW | RTLD_NOLOAD);
        if (lib == nullptr) {
            continue;
        }
        using SetLevel = void (*)(int);
        if (auto setLevel = reinterpret_cast<SetLevel>(dlsym(lib, "av_log_set_level"))) {
            setLevel(-8);  // AV_LOG_QUIET
        }
        dlclose(lib);
        return;
    }
}

photocodec::EntryKeys keysOf(const wire::Request& request)
{
    photocodec::EntryKeys keys;
    keys.uri = request.keys.uri;
    keys.modifiedSeconds = request.keys.modifiedSeconds;
    keys.fileBytes = request.keys.fileBytes;
    keys.software = request.keys.software;
    return keys;
}

// How many descriptors each operation comes with, at least and at most.
bool descriptorsFit(const wire::Request& request, size_t count)
{
    switch (request.operation) {
    case wire::Operation::ConvertJpeg:
    case wire::Operation::ConvertPng:
        return count == 2;
    case wire::Operation::Thumbnail:
        return count == (request.entrySize > 0 ? 2u : 1u);
    case wire::Operation::CachedThumbnail:
        return count == 1 || count == 2;
    case wire::Operation::MatchEntry:
        return count == 1;
    }
    return false;
}

wire::Result serve(const wire::Request& request, std::vector<UniqueFd>& fds, const std::vector<std::string>& hevc,
                   int threads, photocodec::SocketWriter& writer)
{
    wire::Result result;
    if (!descriptorsFit(request, fds.size())) {
        result.message = "the request came with the wrong descriptors";
        return result;
    }
    const bool thumbnail = request.operation == wire::Operation::Thumbnail ||
                           request.operation == wire::Operation::CachedThumbnail;
    photocodec::JobSettings settings;
    settings.kind = thumbnail ? photocodec::JobKind::Thumbnail
                              : request.operation == wire::Operation::ConvertPng ? photocodec::JobKind::Png
                                                                                 : photocodec::JobKind::Jpeg;
    settings.quality = std::max(1, std::min(100, request.quality));
    settings.keepExif = request.keepExif;
    settings.maxEdge = static_cast<uint32_t>(request.maxEdge);
    settings.thumbnailSize = static_cast<uint32_t>(std::max(1, request.thumbnailSize));
    settings.entrySize = static_cast<uint32_t>(std::max(0, request.entrySize));
    settings.entryKeys = keysOf(request);
    settings.threads = threads;
    auto has = [&](const char* id) { return std::find(hevc.begin(), hevc.end(), id) != hevc.end(); };
    if (request.decoders == wire::DecoderChoice::PreferFfmpeg && has("ffmpeg")) {
        settings.hevcDecoders.push_back("ffmpeg");
    }
    if (has("libde265")) {
        settings.hevcDecoders.push_back("libde265");
    }
    if (settings.hevcDecoders.empty()) {
        settings.hevcDecoders.push_back(nullptr);
    }

    // A cache entry is small and read whole; a photo is mapped, and only
    // the parts a thumbnail needs are ever read.
    const bool entry = request.operation == wire::Operation::CachedThumbnail ||
                       request.operation == wire::Operation::MatchEntry;
    std::shared_ptr<const photocodec::SourceBytes> file =
        entry ? photocodec::SourceBytes::read(fds[0].get(), kMaxEntryBytes, result.message)
              : photocodec::SourceBytes::map(fds[0].get(), result.message);
    if (!file) {
        return result;
    }
    SocketReporter reporter(writer, request.sequence);
    photocodec::JobResult job;
    switch (request.operation) {
    case wire::Operation::MatchEntry:
        result.ok = photocodec::entryMatches(*file, settings.entryKeys, result.message);
        return result;
    case wire::Operation::CachedThumbnail: {
        // The photo is read only when the entry does not tell its size.
        const photocodec::PhotoBytes photo = [&]() -> std::shared_ptr<const photocodec::SourceBytes> {
            std::string ignored;
            return fds.size() > 1 ? photocodec::SourceBytes::map(fds[1].get(), ignored) : nullptr;
        };
        job = photocodec::thumbnailFromEntry(settings, *file, photo, reporter);
        break;
    }
    default:
        // A thumbnail's second descriptor is the cache entry to write.
        job = photocodec::runJob(settings, std::move(file), fds.size() > 1 ? fds[1].get() : -1, reporter);
        break;
    }
    result.ok = job.ok;
    result.flags = static_cast<uint8_t>((job.fileAtFault ? wire::Result::kFileAtFault : 0) |
                                        (job.entryWritten ? wire::Result::kEntryWritten : 0));
    result.width = static_cast<int32_t>(job.width);
    result.height = static_cast<int32_t>(job.height);
    result.message = job.error;
    result.payload = std::move(job.thumbnail);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    int socket = -1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--socket-fd=", 12) == 0) {
            socket = std::atoi(argv[i] + 12);
        }
    }
    if (socket < 0) {
        const char* usage = "pixbridge-heif-worker is started by libPhotoCodec, not by hand\n";
        ssize_t ignored = ::write(STDERR_FILENO, usage, std::strlen(usage));
        (void)ignored;
        return 2;
    }
    // Descriptors the program left open are none of the helper's business.
    if (socket > 3) {
        ::close_range(3, static_cast<unsigned>(socket - 1), 0);
    }
    ::close_range(static_cast<unsigned>(socket + 1), ~0u, 0);
    // A program that went away must not kill the helper with SIGPIPE; the
    // failed write says enough.
    ::signal(SIGPIPE, SIG_IGN);
    const int threads = availableThreads();
    keepFreedMemoryForTheNextPhoto(threads);

    useBundledPlugins();
    HeifLibrary heif;
    silenceFfmpeg();
    const std::vector<std::string> hevc = hevcDecoderIds();

    wire::Hello hello;
    hello.processId = static_cast<uint32_t>(::getpid());
    for (const std::string& id : hevc) {
        hello.decoders += (hello.decoders.empty() ? "" : ",") + id;
    }
    photocodec::SocketWriter writer(socket);
    if (!writer.send(wire::MessageType::Hello, wire::encode(hello))) {
        return 1;
    }

    photocodec::RequestPipeline pipeline(
        writer, kRequestsAtOnce,
        [&](const wire::Request& request, std::vector<UniqueFd>& fds) {
            return serve(request, fds, hevc, threads, writer);
        },
        [] {
            // Give a large photo's memory back while the helper waits.
            struct mallinfo2 heap = mallinfo2();
            if (heap.arena + heap.hblkhd > kTrimAboveBytes) {
                malloc_trim(0);
            }
        });
    bool rested = true;  // nothing to give back before the first photo
    for (;;) {
        if (!rested) {
            pollfd waiting{socket, POLLIN, 0};
            if (::poll(&waiting, 1, kRestAfterMs) == 0) {
                if (pipeline.idle()) {
                    malloc_trim(0);
                    rested = true;
                }
                continue;
            }
        }
        wire::Frame frame;
        wire::ReadStatus status = wire::readFrame(socket, std::nullopt, frame);
        if (status == wire::ReadStatus::Closed) {
            return 0;  // the library let go of us
        }
        if (status != wire::ReadStatus::Ok || frame.type != wire::MessageType::Request) {
            return 3;
        }
        std::optional<wire::Request> request = wire::decodeRequest(frame.payload);
        if (!request) {
            return 3;
        }
        pipeline.submit(*request, std::move(frame.fds));
        rested = false;
    }
}
