#include "heif_photo.h"

#include <libheif/heif_items.h>
#include <libheif/heif_properties.h>

#include <algorithm>
#include <cstring>

#include "failure_kind.h"
#include "heif_decoding.h"

namespace photocodec {

bool isHevcItem(heif_context* context, heif_item_id id)
{
    uint32_t type = heif_item_get_item_type(context, id);
    if (type == heif_fourcc('h', 'v', 'c', '1')) {
        return true;
    }
    if (type != heif_fourcc('g', 'r', 'i', 'd')) {
        return false;
    }
    heif_image_handle* raw = nullptr;
    if (heif_context_get_image_handle(context, id, &raw).code != heif_error_Ok) {
        return false;
    }
    HeifHandlePtr handle(raw);
    heif_item_id tile = 0;
    if (heif_image_handle_get_grid_image_tile_id(handle.get(), 0, 0, 0, &tile).code != heif_error_Ok) {
        return false;
    }
    return heif_item_get_item_type(context, tile) == heif_fourcc('h', 'v', 'c', '1');
}

std::unique_ptr<HeifPhoto> HeifPhoto::open(std::shared_ptr<const SourceBytes> file, uint64_t memoryBytes, int threads,
                                           std::string& error, Reading reading)
{
    std::unique_ptr<HeifPhoto> photo(new HeifPhoto());
    photo->file_ = std::move(file);
    photo->context_.reset(heif_context_alloc());
    if (!photo->context_) {
        error = kShortOfMemory;
        return nullptr;
    }
    // libheif's default limits refuse very large photos (a 200-megapixel
    // one needs blocks of 600 MB); raise them to what this machine can hold
    // and let our own memory check refuse what it cannot.
    if (heif_security_limits* limits = heif_context_get_security_limits(photo->context_.get())) {
        limits->max_memory_block_size = std::max<uint64_t>(limits->max_memory_block_size, memoryBytes / 4 * 3);
        limits->max_image_size_pixels = std::max<uint64_t>(limits->max_image_size_pixels, memoryBytes / 3);
    }
    heif_context_set_max_decoding_threads(photo->context_.get(), std::max(1, threads));
    heif_error e = heif_context_read_from_memory_without_copy(photo->context_.get(), photo->file_->data(),
                                                              photo->file_->size(), nullptr);
    if (e.code != heif_error_Ok) {
        error = "not a readable HEIF file: " + heifMessage(e);
        return nullptr;
    }
    heif_image_handle* primary = nullptr;
    e = heif_context_get_primary_image_handle(photo->context_.get(), &primary);
    photo->primary_.reset(primary);
    if (e.code != heif_error_Ok || !photo->primary_) {
        error = "the file has no primary image: " + heifMessage(e);
        return nullptr;
    }
    photo->readFacts();
    if (photo->width_ == 0 || photo->height_ == 0) {
        error = "the primary image has no size";
        return nullptr;
    }
    photo->readMetadata();
    photo->layout_ = layoutFor(photo->context_.get(), photo->primary_.get(), photo->extraOrientation());
    if (reading == Reading::ToDecode) {
        photo->checkGrid();
    }
    return photo;
}

void HeifPhoto::readFacts()
{
    heif_image_handle* h = primary_.get();
    heif_context* ctx = context_.get();
    const heif_item_id id = heif_image_handle_get_item_id(h);
    width_ = static_cast<uint32_t>(std::max(0, heif_image_handle_get_width(h)));
    height_ = static_cast<uint32_t>(std::max(0, heif_image_handle_get_height(h)));
    hasAlpha_ = heif_image_handle_has_alpha_channel(h) != 0;
    premultiplied_ = heif_image_handle_is_premultiplied_alpha(h) != 0;
    bitDepth_ = std::max(8, heif_image_handle_get_luma_bits_per_pixel(h));
    hevc_ = isHevcItem(ctx, id);

    int count = heif_item_get_transformation_properties(ctx, id, nullptr, 0);
    std::vector<heif_property_id> properties(static_cast<size_t>(std::max(0, count)));
    count = heif_item_get_transformation_properties(ctx, id, properties.data(), count);
    for (int i = 0; i < count; ++i) {
        heif_item_property_type type = heif_item_get_property_type(ctx, id, properties[static_cast<size_t>(i)]);
        if (type == heif_item_property_type_transform_rotation || type == heif_item_property_type_transform_mirror) {
            hasRotationOrMirror_ = true;
        }
    }

    heif_colorspace space = heif_colorspace_undefined;
    heif_chroma chroma = heif_chroma_undefined;
    heif_image_handle_get_preferred_decoding_colorspace(h, &space, &chroma);
    if (space == heif_colorspace_monochrome) {
        native_.kind = PixelKind::Gray;
    } else if (space == heif_colorspace_YCbCr) {
        native_.kind = PixelKind::YCbCr;
        native_.chromaX = chroma == heif_chroma_444 ? 1 : 2;
        native_.chromaY = chroma == heif_chroma_420 ? 2 : 1;
    } else {
        native_.kind = PixelKind::Rgb;
    }

    heif_color_profile_type profile = heif_image_handle_get_color_profile_type(h);
    if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
        size_t size = heif_image_handle_get_raw_color_profile_size(h);
        if (size > 0 && size < (64u << 20)) {
            color_.icc.resize(size);
            if (heif_image_handle_get_raw_color_profile(h, color_.icc.data()).code != heif_error_Ok ||
                !isIccProfile(color_.icc)) {
                color_.icc.clear();
            }
        }
    }
    heif_color_profile_nclx* raw = nullptr;
    if (heif_image_handle_get_nclx_color_profile(h, &raw).code == heif_error_Ok && raw != nullptr) {
        HeifNclxPtr nclx(raw);
        color_.hasNclx = true;
        color_.primaries = nclx->color_primaries;
        color_.transfer = nclx->transfer_characteristics;
        color_.matrix = nclx->matrix_coefficients;
        color_.fullRange = nclx->full_range_flag != 0;
        color_.chromaticities = chromaticitiesFromCode(nclx->color_primaries);
    }
}

void HeifPhoto::readMetadata()
{
    heif_image_handle* h = primary_.get();
    auto blocks = [&](const char* type) {
        int n = heif_image_handle_get_number_of_metadata_blocks(h, type);
        std::vector<heif_item_id> ids(static_cast<size_t>(std::max(0, n)));
        n = heif_image_handle_get_list_of_metadata_block_IDs(h, type, ids.data(), n);
        ids.resize(static_cast<size_t>(std::max(0, n)));
        return ids;
    };
    auto read = [&](heif_item_id id, std::vector<uint8_t>& data) {
        size_t size = heif_image_handle_get_metadata_size(h, id);
        if (size == 0 || size > (16u << 20)) {
            return false;
        }
        data.resize(size);
        return heif_image_handle_get_metadata(h, id, data.data()).code == heif_error_Ok;
    };
    for (heif_item_id id : blocks("Exif")) {
        std::vector<uint8_t> data;
        if (!read(id, data)) {
            continue;
        }
        if (auto tiff = tiffFromHeifExif(data.data(), data.size())) {
            exif_ = ExifBlock::parse(std::move(*tiff));
            if (exif_) {
                exifOrientation_ = exif_->orientation() != 0 ? exif_->orientation() : 1;
                break;
            }
        }
    }
    for (heif_item_id id : blocks("mime")) {
        const char* type = heif_image_handle_get_metadata_content_type(h, id);
        if (type == nullptr || std::strcmp(type, "application/rdf+xml") != 0) {
            continue;
        }
        std::vector<uint8_t> data;
        if (read(id, data)) {
            xmp_.assign(data.begin(), data.end());
            // Some writers end the packet with a zero byte.
            while (!xmp_.empty() && xmp_.back() == '\0') {
                xmp_.pop_back();
            }
            break;
        }
    }
}

std::vector<heif_item_id> HeifPhoto::thumbnailIds() const
{
    int n = heif_image_handle_get_number_of_thumbnails(primary_.get());
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(0, n)));
    n = heif_image_handle_get_list_of_thumbnail_IDs(primary_.get(), ids.data(), n);
    ids.resize(static_cast<size_t>(std::max(0, n)));
    return ids;
}

}  // namespace photocodec
