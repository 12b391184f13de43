// An EXIF block (a TIFF structure) as a converted photo needs it: its
// orientation read and reset, its pixel dimensions set to the output's, its
// embedded thumbnail dropped, and the whole made small enough for one JPEG
// segment. Every offset is checked against the buffer, whatever it holds.
#ifndef PHOTOCODEC_EXIF_BLOCK_H
#define PHOTOCODEC_EXIF_BLOCK_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace photocodec {

class ExifBlock {
public:
    // `tiff` starts with "II*\0" or "MM\0*". Null when it is not a TIFF
    // structure with a readable first directory.
    static std::optional<ExifBlock> parse(std::vector<uint8_t> tiff);

    // 1..8, or 0 when the tag is missing or holds nonsense.
    int orientation() const { return orientation_; }
    bool hasThumbnail() const { return nextIfdField_ != 0 && thumbnailLinked_; }
    // Where the thumbnail's JPEG lies in bytes(): its offset and length,
    // when IFD1 points at one that lies wholly inside the block.
    std::optional<std::pair<size_t, size_t>> thumbnailJpeg() const;

    // The pixels were turned already: viewers must not turn them again.
    void setOrientationUpright();
    // PixelXDimension / PixelYDimension (and ImageWidth / ImageLength where
    // a writer put them in the first directory) to the output's size.
    void setPixelDimensions(uint32_t width, uint32_t height);
    // Unlinks the thumbnail's directory (IFD1).
    void dropThumbnail();
    // Drops the thumbnail and cuts off everything that only it used, if
    // that brings the block within `maxBytes`. False when it cannot.
    bool shrinkTo(size_t maxBytes);

    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    struct Range {
        uint64_t begin;
        uint64_t end;
    };
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        size_t position;  // of the 12-byte entry
    };

    bool readU16(uint64_t offset, uint16_t& value) const;
    bool readU32(uint64_t offset, uint32_t& value) const;
    void writeU16(size_t offset, uint16_t value);
    void writeU32(size_t offset, uint32_t value);
    // Reads one directory, noting the ranges it and its values occupy.
    bool readDirectory(uint32_t offset, std::vector<Entry>& entries, uint32_t& next, size_t& nextField,
                       std::vector<Range>& ranges) const;
    void setInlineNumber(const Entry& entry, uint32_t value);
    const Entry* find(const std::vector<Entry>& entries, uint16_t tag) const;

    std::vector<uint8_t> bytes_;
    bool bigEndian_ = false;
    int orientation_ = 0;
    std::vector<Entry> ifd0_;
    std::vector<Entry> exifIfd_;
    std::vector<Range> mainRanges_;  // everything but the thumbnail
    size_t nextIfdField_ = 0;        // where IFD0 links to IFD1
    bool thumbnailLinked_ = false;
};

// The TIFF structure inside libheif's Exif item: a 4-byte big-endian offset
// to the TIFF header, then the data (some writers put "Exif\0\0" there too).
std::optional<std::vector<uint8_t>> tiffFromHeifExif(const uint8_t* data, size_t size);

// The TIFF structure in a JPEG APP1 payload ("Exif\0\0" + TIFF).
std::optional<std::vector<uint8_t>> tiffFromJpegApp1(const uint8_t* data, size_t size);

// The largest TIFF structure one JPEG APP1 segment holds.
constexpr size_t kMaxJpegExifTiffBytes = 65533 - 6;

}  // namespace photocodec

#endif  // PHOTOCODEC_EXIF_BLOCK_H
