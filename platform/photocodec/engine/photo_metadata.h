// What travels with the pixels into the output file.
#ifndef PHOTOCODEC_PHOTO_METADATA_H
#define PHOTOCODEC_PHOTO_METADATA_H

#include <cstdint>
#include <string>
#include <vector>

namespace photocodec {

struct PhotoMetadata {
    std::vector<uint8_t> iccProfile;  // empty: untagged, read as sRGB
    std::vector<uint8_t> exifTiff;    // a TIFF structure, ready for APP1
    std::string xmp;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_PHOTO_METADATA_H
