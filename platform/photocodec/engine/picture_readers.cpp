#include "picture_readers.h"

#include "exif_block.h"

namespace photocodec {

void takeExif(std::vector<uint8_t> tiff, DecodedPicture& picture)
{
    if (auto block = ExifBlock::parse(tiff)) {
        picture.orientation = block->orientation() != 0 ? block->orientation() : 1;
        picture.metadata.exifTiff = std::move(tiff);
    }
}

}  // namespace photocodec
