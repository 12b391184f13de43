// The workbench's gateway to the photo module: turns a thumbnail or a
// conversion request into a scheduled task that posts it on the bus, and
// forwards the photo module's replies to a callback.
#ifndef WORKBENCH_HEIC_WORK_H
#define WORKBENCH_HEIC_WORK_H

#include "work/base_work.h"

#include <module_kit/module_bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QImage;

class HeicWork : public BaseWork {
public:
    // One thumbnail reply: the image (null in the end reply) now belongs to
    // the callee; kind 2 one photo, 1 end of the stream (6 ends it too);
    // index is 1-based within the request, total its number of photos.
    using ThumbnailCallback = std::function<void(std::shared_ptr<QImage> image, const std::u16string& path,
                                                 int32_t kind, int32_t width, int32_t height, int32_t index,
                                                 int32_t total)>;
    // One conversion reply: status 1 converted, 6 failed (0 in the end
    // reply); kind 2 one file, 1 the whole request.
    using ConvertCallback = std::function<void(const std::u16string& path, int32_t status, int32_t kind)>;

    explicit HeicWork(ModuleBus bus);
    // Stops the last request, then waits for callbacks still running on
    // other threads; replies that come later are dropped. A callback must
    // therefore never wait for the thread that destroys the work.
    ~HeicWork() override;

    // Both return at once with the id of the posted event. Callbacks run on
    // the photo module's threads, never on the caller's. Each call replaces
    // the callback of its kind, also for replies to earlier requests.
    std::string QueryThumbnails(ThumbnailCallback callback, const std::string& requestJson);
    std::string ConvertPhotos(ConvertCallback callback, const std::string& requestJson);

    // Stops the event of the last request and the photo module's event for
    // it. Stopping what has already ended does nothing.
    void Stop();

    // The event of the last request, and the photo module's event for it
    // (empty until the photo module has taken the request).
    std::string LastEventId() const;
    std::string RemoteTaskId() const;

    struct State;

private:
    std::shared_ptr<State> state_;
};

#endif  // WORKBENCH_HEIC_WORK_H
