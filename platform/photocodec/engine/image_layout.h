// How an image item of a HEIF file is shown: its transformations (rotation,
// mirror, crop) and the EXIF orientation, read as our geometry where we can.
#ifndef PHOTOCODEC_IMAGE_LAYOUT_H
#define PHOTOCODEC_IMAGE_LAYOUT_H

#include <cstdint>

#include "geometry.h"
#include "heif_handles.h"

namespace photocodec {

// How a decoded image becomes what the viewer sees. When we can read the
// image's transformations ourselves, it is decoded as stored and turned by
// our geometry (one consistent reading for grids, single images and
// thumbnails, and a decoded picture larger than its declared size is cut to
// it); otherwise libheif applies them and only the EXIF orientation is ours.
struct ImageLayout {
    bool ownTransformations = false;
    uint32_t canvasWidth = 0;   // the stored image, when ownTransformations
    uint32_t canvasHeight = 0;
    Geometry geometry;          // over the canvas, or over libheif's result
};

ImageLayout layoutFor(heif_context* context, const heif_image_handle* handle, int extraOrientation);

// The item's transformations in their order, each on the image as the ones
// before left it. False for one we do not know.
bool applyTransformations(heif_context* ctx, heif_item_id id, Geometry& g);

// Whether two sizes are the same reading: libheif rounds a crop one way for
// the size it reports and another way when it decodes.
bool closeTo(uint32_t a, uint32_t b);

}  // namespace photocodec

#endif  // PHOTOCODEC_IMAGE_LAYOUT_H
