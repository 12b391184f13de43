#include "exif_block.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace photocodec {

namespace {

constexpr uint16_t kTagImageWidth = 0x0100;
constexpr uint16_t kTagImageLength = 0x0101;
constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagExifIfd = 0x8769;
constexpr uint16_t kTagGpsIfd = 0x8825;
constexpr uint16_t kTagInteropIfd = 0xA005;
constexpr uint16_t kTagPixelX = 0xA002;
constexpr uint16_t kTagPixelY = 0xA003;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint32_t kMaxEntries = 1024;

uint64_t typeSize(uint16_t type)
{
    switch (type) {
    case 1:  // BYTE
    case 2:  // ASCII
    case 6:  // SBYTE
    case 7:  // UNDEFINED
        return 1;
    case 3:  // SHORT
    case 8:  // SSHORT
        return 2;
    case 4:   // LONG
    case 9:   // SLONG
    case 11:  // FLOAT
    case 13:  // IFD
        return 4;
    case 5:   // RATIONAL
    case 10:  // SRATIONAL
    case 12:  // DOUBLE
        return 8;
    default:
        return 0;
    }
}

bool isTiffHeader(const uint8_t* p, size_t size)
{
    return size >= 8 && ((p[0] == 'I' && p[1] == 'I' && p[2] == 42 && p[3] == 0) ||
                         (p[0] == 'M' && p[1] == 'M' && p[2] == 0 && p[3] == 42));
}

}  // namespace

bool ExifBlock::readU16(uint64_t offset, uint16_t& value) const
{
    if (offset > bytes_.size() || bytes_.size() - offset < 2) {
        return false;
    }
    const uint8_t* p = bytes_.data() + offset;
    value = bigEndian_ ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
    return true;
}

bool ExifBlock::readU32(uint64_t offset, uint32_t& value) const
{
    if (offset > bytes_.size() || bytes_.size() - offset < 4) {
        return false;
    }
    const uint8_t* p = bytes_.data() + offset;
    value = bigEndian_ ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                       : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    return true;
}

void ExifBlock::writeU16(size_t offset, uint16_t value)
{
    if (offset > bytes_.size() || bytes_.size() - offset < 2) {
        return;
    }
    uint8_t* p = bytes_.data() + offset;
    if (bigEndian_) {
        p[0] = static_cast<uint8_t>(value >> 8);
        p[1] = static_cast<uint8_t>(value);
    } else {
        p[0] = static_cast<uint8_t>(value);
        p[1] = static_cast<uint8_t>(value >> 8);
    }
}

void ExifBlock::writeU32(size_t offset, uint32_t value)
{
    if (offset > bytes_.size() || bytes_.size() - offset < 4) {
        return;
    }
    uint8_t* p = bytes_.data() + offset;
    for (int i = 0; i < 4; ++i) {
        int shift = bigEndian_ ? 24 - 8 * i : 8 * i;
        p[i] = static_cast<uint8_t>(value >> shift);
    }
}

bool ExifBlock::readDirectory(uint32_t offset, std::vector<Entry>& entries, uint32_t& next, size_t& nextField,
                              std::vector<Range>& ranges) const
{
    uint16_t count = 0;
    if (offset < 8 || !readU16(offset, count) || count > kMaxEntries) {
        return false;
    }
    uint64_t end = uint64_t{offset} + 2 + uint64_t{count} * 12;
    if (end + 4 > bytes_.size()) {
        return false;
    }
    ranges.push_back({offset, end + 4});
    for (uint16_t i = 0; i < count; ++i) {
        size_t position = static_cast<size_t>(offset + 2 + uint64_t{i} * 12);
        Entry e{};
        e.position = position;
        uint32_t valueOffset = 0;
        readU16(position, e.tag);
        readU16(position + 2, e.type);
        readU32(position + 4, e.count);
        readU32(position + 8, valueOffset);
        entries.push_back(e);
        uint64_t size = typeSize(e.type) * uint64_t{e.count};
        // Values beyond four bytes live elsewhere; keep those that lie
        // inside the block so a cut never takes them away.
        if (size > 4 && valueOffset <= bytes_.size() && size <= bytes_.size() - valueOffset) {
            ranges.push_back({valueOffset, valueOffset + size});
        }
    }
    nextField = static_cast<size_t>(end);
    readU32(end, next);
    return true;
}

const ExifBlock::Entry* ExifBlock::find(const std::vector<Entry>& entries, uint16_t tag) const
{
    for (const Entry& e : entries) {
        if (e.tag == tag) {
            return &e;
        }
    }
    return nullptr;
}

std::optional<ExifBlock> ExifBlock::parse(std::vector<uint8_t> tiff)
{
    if (!isTiffHeader(tiff.data(), tiff.size()) || tiff.size() > 0xFFFFFFFFu) {
        return std::nullopt;
    }
    ExifBlock block;
    block.bytes_ = std::move(tiff);
    block.bigEndian_ = block.bytes_[0] == 'M';
    block.mainRanges_.push_back({0, 8});

    uint32_t ifd0 = 0;
    block.readU32(4, ifd0);
    uint32_t next = 0;
    if (!block.readDirectory(ifd0, block.ifd0_, next, block.nextIfdField_, block.mainRanges_)) {
        return std::nullopt;
    }

    if (const Entry* o = block.find(block.ifd0_, kTagOrientation)) {
        uint32_t value = 0;
        if (o->count >= 1 && o->type == kTypeShort) {
            uint16_t narrow = 0;
            if (block.readU16(o->position + 8, narrow)) {
                value = narrow;
            }
        } else if (o->count >= 1 && o->type == kTypeLong) {
            block.readU32(o->position + 8, value);
        }
        block.orientation_ = value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
    }

    // The directories that hang off IFD0 stay; a loop of links is cut.
    std::set<uint32_t> seen{ifd0};
    auto follow = [&](const std::vector<Entry>& from, uint16_t tag, std::vector<Entry>* keep) {
        const Entry* link = block.find(from, tag);
        uint32_t offset = 0;
        if (link == nullptr || (link->type != kTypeLong && link->type != 13) || !block.readU32(link->position + 8, offset) ||
            !seen.insert(offset).second) {
            return;
        }
        std::vector<Entry> entries;
        uint32_t ignoredNext = 0;
        size_t ignoredField = 0;
        if (block.readDirectory(offset, entries, ignoredNext, ignoredField, block.mainRanges_) && keep != nullptr) {
            *keep = std::move(entries);
        }
    };
    follow(block.ifd0_, kTagExifIfd, &block.exifIfd_);
    follow(block.ifd0_, kTagGpsIfd, nullptr);
    follow(block.exifIfd_, kTagInteropIfd, nullptr);

    if (next != 0 && seen.count(next) == 0) {
        block.thumbnailLinked_ = true;
    }
    return block;
}

void ExifBlock::setInlineNumber(const Entry& entry, uint32_t value)
{
    if (entry.count < 1) {
        return;
    }
    if (entry.type == kTypeShort && value <= 0xFFFF) {
        writeU16(entry.position + 8, static_cast<uint16_t>(value));
    } else if (entry.type == kTypeLong) {
        writeU32(entry.position + 8, value);
    }
}

void ExifBlock::setOrientationUpright()
{
    if (const Entry* o = find(ifd0_, kTagOrientation)) {
        setInlineNumber(*o, 1);
        orientation_ = 1;
    }
}

void ExifBlock::setPixelDimensions(uint32_t width, uint32_t height)
{
    if (const Entry* e = find(exifIfd_, kTagPixelX)) {
        setInlineNumber(*e, width);
    }
    if (const Entry* e = find(exifIfd_, kTagPixelY)) {
        setInlineNumber(*e, height);
    }
    if (const Entry* e = find(ifd0_, kTagImageWidth)) {
        setInlineNumber(*e, width);
    }
    if (const Entry* e = find(ifd0_, kTagImageLength)) {
        setInlineNumber(*e, height);
    }
}

std::optional<std::pair<size_t, size_t>> ExifBlock::thumbnailJpeg() const
{
    uint32_t ifd1 = 0;
    if (!hasThumbnail() || !readU32(nextIfdField_, ifd1)) {
        return std::nullopt;
    }
    std::vector<Entry> entries;
    std::vector<Range> ignoredRanges;
    uint32_t ignoredNext = 0;
    size_t ignoredField = 0;
    if (!readDirectory(ifd1, entries, ignoredNext, ignoredField, ignoredRanges)) {
        return std::nullopt;
    }
    auto number = [&](uint16_t tag) -> std::optional<uint32_t> {
        const Entry* e = find(entries, tag);
        if (e == nullptr || e->count != 1) {
            return std::nullopt;
        }
        uint32_t value = 0;
        if (e->type == kTypeLong && readU32(e->position + 8, value)) {
            return value;
        }
        uint16_t narrow = 0;
        if (e->type == kTypeShort && readU16(e->position + 8, narrow)) {
            return narrow;
        }
        return std::nullopt;
    };
    const std::optional<uint32_t> offset = number(kTagThumbnailOffset);
    const std::optional<uint32_t> length = number(kTagThumbnailLength);
    if (!offset || !length || *length < 4 || *offset > bytes_.size() || *length > bytes_.size() - *offset ||
        bytes_[*offset] != 0xFF || bytes_[*offset + 1] != 0xD8) {
        return std::nullopt;
    }
    return std::make_pair(static_cast<size_t>(*offset), static_cast<size_t>(*length));
}

void ExifBlock::dropThumbnail()
{
    if (thumbnailLinked_) {
        writeU32(nextIfdField_, 0);
        thumbnailLinked_ = false;
    }
}

bool ExifBlock::shrinkTo(size_t maxBytes)
{
    if (bytes_.size() <= maxBytes) {
        return true;
    }
    uint64_t keep = 0;
    for (const Range& r : mainRanges_) {
        keep = std::max(keep, r.end);
    }
    if (keep > maxBytes) {
        return false;
    }
    dropThumbnail();
    bytes_.resize(static_cast<size_t>(keep));
    return true;
}

std::optional<std::vector<uint8_t>> tiffFromHeifExif(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < 4) {
        return std::nullopt;
    }
    uint32_t offset = uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3];
    const uint8_t* body = data + 4;
    size_t bodySize = size - 4;
    std::vector<size_t> candidates;
    if (offset < bodySize) {
        candidates.push_back(offset);
    }
    // Writers disagree on what the offset counts from; look near it too.
    for (size_t i = 0; i < std::min<size_t>(bodySize, 64); ++i) {
        candidates.push_back(i);
    }
    for (size_t start : candidates) {
        if (start < bodySize && isTiffHeader(body + start, bodySize - start)) {
            return std::vector<uint8_t>(body + start, body + bodySize);
        }
    }
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> tiffFromJpegApp1(const uint8_t* data, size_t size)
{
    static const uint8_t kExifId[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (data == nullptr || size < 6 + 8 || std::memcmp(data, kExifId, 6) != 0 || !isTiffHeader(data + 6, size - 6)) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(data + 6, data + size);
}

}  // namespace photocodec
