#include "image_layout.h"

#include <libheif/heif_items.h>
#include <libheif/heif_properties.h>

#include <algorithm>
#include <vector>

namespace photocodec {

bool closeTo(uint32_t a, uint32_t b)
{
    return (a > b ? a - b : b - a) <= 1;
}

bool applyTransformations(heif_context* ctx, heif_item_id id, Geometry& g)
{
    int count = heif_item_get_transformation_properties(ctx, id, nullptr, 0);
    std::vector<heif_property_id> properties(static_cast<size_t>(std::max(0, count)));
    count = heif_item_get_transformation_properties(ctx, id, properties.data(), count);
    for (int i = 0; i < count; ++i) {
        heif_property_id p = properties[static_cast<size_t>(i)];
        switch (heif_item_get_property_type(ctx, id, p)) {
        case heif_item_property_type_transform_rotation:
            if (!g.rotateCounterClockwise(heif_item_get_property_transform_rotation_ccw(ctx, id, p))) {
                return false;
            }
            break;
        case heif_item_property_type_transform_mirror: {
            heif_transform_mirror_direction d = heif_item_get_property_transform_mirror(ctx, id, p);
            if (d == heif_transform_mirror_direction_horizontal) {
                g.mirrorLeftRight();
            } else if (d == heif_transform_mirror_direction_vertical) {
                g.mirrorTopBottom();
            } else {
                return false;
            }
            break;
        }
        case heif_item_property_type_transform_crop: {
            int left = 0, top = 0, right = 0, bottom = 0;
            heif_item_get_property_transform_crop_borders(ctx, id, p, static_cast<int>(g.width()),
                                                          static_cast<int>(g.height()), &left, &top, &right, &bottom);
            if (!g.crop(left, top, right, bottom)) {
                return false;
            }
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

ImageLayout layoutFor(heif_context* context, const heif_image_handle* handle, int extraOrientation)
{
    ImageLayout layout;
    const uint32_t shownW = static_cast<uint32_t>(std::max(0, heif_image_handle_get_width(handle)));
    const uint32_t shownH = static_cast<uint32_t>(std::max(0, heif_image_handle_get_height(handle)));
    const int ispeW = heif_image_handle_get_ispe_width(handle);
    const int ispeH = heif_image_handle_get_ispe_height(handle);
    if (ispeW > 0 && ispeH > 0) {
        Geometry g(static_cast<uint32_t>(ispeW), static_cast<uint32_t>(ispeH));
        // Our reading of the transformations must come out at libheif's
        // size, or libheif's own applies. libheif rounds a crop one way for
        // the size it reports and another way when it decodes: a pixel
        // either way is the same reading.
        if (applyTransformations(context, heif_image_handle_get_item_id(handle), g) && closeTo(g.width(), shownW) &&
            closeTo(g.height(), shownH) && g.applyExifOrientation(extraOrientation)) {
            layout.ownTransformations = true;
            layout.canvasWidth = static_cast<uint32_t>(ispeW);
            layout.canvasHeight = static_cast<uint32_t>(ispeH);
            layout.geometry = g;
            return layout;
        }
    }
    layout.geometry = Geometry(shownW, shownH);
    layout.geometry.applyExifOrientation(extraOrientation);
    return layout;
}

}  // namespace photocodec
