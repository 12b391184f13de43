#include "swscale_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <mutex>

// Only for the prototypes and flag values: nothing here links libswscale or
// libavutil. The four functions have kept these signatures from libswscale
// 6 through 8, and the flags their values since long before.
extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace photocodec {

struct SwscaleLibrary::Functions {
    decltype(&::sws_getContext) getContext = nullptr;
    decltype(&::sws_scale) scale = nullptr;
    decltype(&::sws_freeContext) freeContext = nullptr;
    decltype(&::av_get_pix_fmt) pixelFormat = nullptr;
};

namespace {

// Newest first; each is the runtime package's own file (libswscale8,
// libswscale7, libswscale6), never the -dev package's unversioned link.
constexpr const char* kSonames[] = {"libswscale.so.8", "libswscale.so.7", "libswscale.so.6"};

template <typename Pointer>
bool bind(void* handle, const char* name, Pointer& target)
{
    target = reinterpret_cast<Pointer>(::dlsym(handle, name));
    return target != nullptr;
}

// Fills `functions` from the first library that loads and has them all.
bool load(SwscaleLibrary::Functions& functions, std::string& error)
{
    const char* chosen = std::getenv("PIXBRIDGE_SWSCALE");
    std::string tried;
    for (const char* name : kSonames) {
        if (chosen != nullptr && *chosen != '\0') {
            name = chosen;
        }
        void* handle = ::dlopen(name, RTLD_NOW | RTLD_LOCAL);
        if (handle != nullptr) {
            // av_get_pix_fmt is libavutil's, found through libswscale's own
            // dependency on it.
            if (bind(handle, "sws_getContext", functions.getContext) && bind(handle, "sws_scale", functions.scale) &&
                bind(handle, "sws_freeContext", functions.freeContext) &&
                bind(handle, "av_get_pix_fmt", functions.pixelFormat)) {
                return true;  // kept open for the life of the process
            }
            ::dlclose(handle);
        }
        tried += (tried.empty() ? "" : ", ") + std::string(name);
        if (chosen != nullptr && *chosen != '\0') {
            break;
        }
    }
    error = "resizing needs libswscale, which is not installed (tried " + tried + ")";
    return false;
}

}  // namespace

const SwscaleLibrary* SwscaleLibrary::get(std::string& error)
{
    static std::mutex lock;
    static SwscaleLibrary::Functions functions;
    static bool loaded = false;
    static const SwscaleLibrary library(&functions);
    std::lock_guard<std::mutex> guard(lock);
    if (!loaded) {
        loaded = load(functions, error);
    }
    return loaded ? &library : nullptr;
}

int SwscaleLibrary::pixelFormat(const char* name) const
{
    return static_cast<int>(functions_->pixelFormat(name));
}

SwsContext* SwscaleLibrary::newContext(int srcWidth, int srcHeight, int dstWidth, int dstHeight, int format) const
{
    // Accurate rounding keeps the vertical pass from shifting the levels by
    // a fraction.
    const int flags = SWS_LANCZOS | SWS_ACCURATE_RND;
    const auto pixelFormat = static_cast<AVPixelFormat>(format);
    return functions_->getContext(srcWidth, srcHeight, pixelFormat, dstWidth, dstHeight, pixelFormat, flags, nullptr,
                                  nullptr, nullptr);
}

int SwscaleLibrary::scale(SwsContext* context, const uint8_t* src, int srcStride, int srcSliceY, int srcSliceHeight,
                          uint8_t* dst, int dstStride) const
{
    const uint8_t* const sources[4] = {src, nullptr, nullptr, nullptr};
    const int sourceStrides[4] = {srcStride, 0, 0, 0};
    uint8_t* const destinations[4] = {dst, nullptr, nullptr, nullptr};
    const int destinationStrides[4] = {dstStride, 0, 0, 0};
    return functions_->scale(context, sources, sourceStrides, srcSliceY, srcSliceHeight, destinations,
                             destinationStrides);
}

void SwscaleLibrary::freeContext(SwsContext* context) const
{
    if (context != nullptr) {
        functions_->freeContext(context);
    }
}

}  // namespace photocodec
