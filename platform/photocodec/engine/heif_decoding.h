// Decoding with libheif: a whole image, or one tile of a grid, into 8-bit
// planes of the format asked for (bringing deeper ones down, or through the
// HDR tone mapper).
#ifndef PHOTOCODEC_HEIF_DECODING_H
#define PHOTOCODEC_HEIF_DECODING_H

#include <memory>
#include <string>

#include "hdr_tone_mapper.h"
#include "heif_handles.h"
#include "image_layout.h"
#include "pixel_format.h"
#include "tile_source.h"

namespace photocodec {

// What to decode an image into.
struct DecodeRequest {
    PixelFormat format;           // the 8-bit format the pipeline gets
    const char* decoderId = nullptr;  // libheif decoder plug-in, null: libheif's choice
    const HdrToneMapper* toneMapper = nullptr;  // PQ/HLG: decode 16-bit RGB and map
};

// Decodes a whole image (the primary or a thumbnail) as `layout` says.
// Should the decoded picture not hold what our geometry needs, libheif's
// transformations are used after all and `layout` says so on return.
// `needsRgb` is set when YCbCr was asked for but the image's YCbCr is not
// the JPEG kind (other matrix, limited range).
std::unique_ptr<TileSource> decodeWholeImage(const heif_image_handle* handle, const DecodeRequest& request,
                                             ImageLayout& layout, bool& needsRgb, std::string& error);

// libheif's error in our words: the file's faults told from the machine's.
std::string heifMessage(const heif_error& e);

// The colour space and chroma libheif is asked for.
void decodingColorspace(const DecodeRequest& r, heif_colorspace& space, heif_chroma& chroma);

HeifOptionsPtr makeOptions(const DecodeRequest& r, bool ignoreTransformations);

// Turns a decoded libheif image into 8-bit planes of the requested format,
// without copying where it is 8-bit already. `needsRgb` as for
// decodeWholeImage.
bool toPlanes(HeifImagePtr decoded, const DecodeRequest& r, DecodedTile& tile, bool& needsRgb, std::string& error);

}  // namespace photocodec

#endif  // PHOTOCODEC_HEIF_DECODING_H
