// Decoders for the JPEG and PNG files that come in under a HEIC name (a
// phone or a user renamed them), and for JPEG-coded HEIF thumbnails.
#ifndef PHOTOCODEC_PICTURE_READERS_H
#define PHOTOCODEC_PICTURE_READERS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "photo_metadata.h"
#include "pixel_format.h"

namespace photocodec {

struct DecodedPicture {
    std::shared_ptr<Raster> raster;  // Rgb, Rgba, Gray or GrayAlpha, 8 bits
    PhotoMetadata metadata;
    int orientation = 1;  // from its EXIF block
};

// `minSide` > 0 lets the decoder shrink by a power of two while the longer
// side stays at least that long (for thumbnails). A file cut short fails:
// a picture with a grey lower half is no conversion.
bool decodeJpeg(const uint8_t* data, size_t size, uint32_t minSide, uint64_t maxBytes, DecodedPicture& picture,
                std::string& error);

bool decodePng(const uint8_t* data, size_t size, uint64_t maxBytes, DecodedPicture& picture, std::string& error);

// What a PNG file says before its pixels: its size and its text keys
// (tEXt, zTXt and iTXt alike).
struct PngFacts {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<std::pair<std::string, std::string>> text;
};
bool readPngFacts(const uint8_t* data, size_t size, PngFacts& facts, std::string& error);

// Both readers: an EXIF block (its TIFF data) kept when it parses, with the
// orientation it tells.
void takeExif(std::vector<uint8_t> tiff, DecodedPicture& picture);

}  // namespace photocodec

#endif  // PHOTOCODEC_PICTURE_READERS_H
