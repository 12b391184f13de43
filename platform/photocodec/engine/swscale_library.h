// FFmpeg's libswscale, loaded when a photo is first resized. It is not
// linked: the package installs on releases that ship different sonames of
// it (6 on Debian 12, 8 on Debian 13), and conversions that keep the
// photo's size never need it.
#ifndef PHOTOCODEC_SWSCALE_LIBRARY_H
#define PHOTOCODEC_SWSCALE_LIBRARY_H

#include <cstdint>
#include <string>

struct SwsContext;

namespace photocodec {

class SwscaleLibrary {
public:
    // The loaded library, or null with `error` saying it is missing. The
    // first load that succeeds serves the life of the process; a failed one
    // is tried again next time (the library may have been installed since).
    // PIXBRIDGE_SWSCALE, when set, names the only file tried.
    static const SwscaleLibrary* get(std::string& error);

    // Pixel formats are looked up by FFmpeg's name ("gray", "rgb24",
    // "rgba"), never by enum value, which FFmpeg versions need not share:
    // -1 for a name this FFmpeg does not know.
    int pixelFormat(const char* name) const;
    // A Lanczos scaler between two sizes of one format; null when libswscale
    // refuses them.
    SwsContext* newContext(int srcWidth, int srcHeight, int dstWidth, int dstHeight, int format) const;
    // Feeds the next rows of the source (slices top to bottom); the rows of
    // the destination they complete are written at their place in `dst`.
    // Returns how many destination rows this slice completed, or < 0.
    int scale(SwsContext* context, const uint8_t* src, int srcStride, int srcSliceY, int srcSliceHeight,
              uint8_t* dst, int dstStride) const;
    void freeContext(SwsContext* context) const;

    struct Functions;

private:
    explicit SwscaleLibrary(const Functions* functions) : functions_(functions) {}
    const Functions* functions_;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_SWSCALE_LIBRARY_H
