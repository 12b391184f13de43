#include "memimage/bas_mem_image.h"

#include <QImage>

#include <memory>

QImage* BASMemImage::mi_from_memory(const uint8_t* bytes, uint32_t length) {
    if (!bytes || length == 0 || length > static_cast<uint32_t>(INT32_MAX)) return nullptr;
    auto image = std::make_unique<QImage>();
    // loadFromData decodes into the image's own buffer; nothing refers back
    // to `bytes` afterwards.
    if (!image->loadFromData(bytes, static_cast<int>(length)) || image->isNull()) return nullptr;
    return image.release();
}
