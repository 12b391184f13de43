// Images made from encoded bytes in memory.
#ifndef MEMIMAGE_BAS_MEM_IMAGE_H
#define MEMIMAGE_BAS_MEM_IMAGE_H

#include <cstdint>

class QImage;

class BASMemImage {
public:
    // A new image decoded from JPEG or PNG bytes, owning its pixels (the
    // bytes may be freed at once), or null when they do not decode.
    static QImage* mi_from_memory(const uint8_t* bytes, uint32_t length);
};

#endif  // MEMIMAGE_BAS_MEM_IMAGE_H
