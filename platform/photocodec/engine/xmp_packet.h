// XMP as a converted photo needs it: the orientation says "upright" and the
// pixel dimensions are the output's, like the EXIF block beside it.
#ifndef PHOTOCODEC_XMP_PACKET_H
#define PHOTOCODEC_XMP_PACKET_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace photocodec {

// Rewrites tiff:Orientation to 1 and exif:PixelXDimension,
// exif:PixelYDimension, tiff:ImageWidth and tiff:ImageLength to the given
// size, written either as attributes or as elements. Everything else is
// left byte for byte.
std::string adjustXmp(const std::string& xmp, uint32_t width, uint32_t height);

// What one JPEG APP1 segment holds after its namespace header.
constexpr size_t kMaxJpegXmpBytes = 65533 - 29;

}  // namespace photocodec

#endif  // PHOTOCODEC_XMP_PACKET_H
