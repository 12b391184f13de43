// The thumbnails of the photos an add brings, asked of the photo module in
// streams side by side, one per core (at most kMaxStreams): the module
// decodes each stream in a helper process of its own. Counts what has come
// back over all the streams, for the loading dialog.
#ifndef WORKBENCH_THUMBNAIL_STREAMS_H
#define WORKBENCH_THUMBNAIL_STREAMS_H

#include "work/heic_work.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ThumbnailStreams {
public:
    static constexpr size_t kMaxStreams = 2;

    explicit ThumbnailStreams(ModuleBus bus);
    // Waits for callbacks still running elsewhere.
    ~ThumbnailStreams();

    // Asks for thumbnails of `paths` (UTF-8), `sizePx` device pixels high,
    // the earlier paths first. `callback` runs on the photo module's threads.
    void Request(const std::vector<std::string>& paths, int sizePx, const HeicWork::ThumbnailCallback& callback);
    // One stream's end reply: true when it was the last of those under way
    // (the counts then start afresh).
    bool StreamEnded();
    // One thumbnail came, the `index`th of a stream of `total`: the loading
    // dialog's position and total, counted over every stream.
    struct Progress {
        int32_t current = 0;
        int32_t total = 0;
    };
    Progress Arrived(int32_t index, int32_t total);
    void Stop();

private:
    std::vector<std::unique_ptr<HeicWork>> works_;
    int pendingEnds_ = 0;
    int arrived_ = 0;
    int requested_ = 0;
};

#endif  // WORKBENCH_THUMBNAIL_STREAMS_H
