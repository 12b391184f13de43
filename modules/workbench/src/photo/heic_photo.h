// One photo of the list, and the running totals of the status line.
#ifndef WORKBENCH_HEIC_PHOTO_H
#define WORKBENCH_HEIC_PHOTO_H

#include <cstdint>
#include <memory>
#include <string>

class QImage;

struct HeicPhoto {
    // The length of the full list when the photo was added; kept as it was.
    int32_t index = 0;
    bool checked = false;
    // The file-name part of the path.
    std::u16string name;
    int64_t sizeBytes = 0;
    std::u16string sizeText;
    // Last modification, local time, "YYYY-MM-DD hh:mm:ss"; empty when the
    // file's status cannot be read.
    std::u16string dateText;
    // "<width>x<height>" once the thumbnail has arrived.
    std::u16string dimensionsText;
    int32_t width = 0;
    int32_t height = 0;
    // The full path as added ("/" separators): the photo's identity.
    std::u16string path;
    std::shared_ptr<QImage> thumbnail;
};

// What the status line shows: the photos of the shown list and the checked
// ones among them.
struct PhotoTotals {
    int32_t shownCount = 0;
    int64_t shownBytes = 0;
    int32_t checkedCount = 0;
    int64_t checkedBytes = 0;

    bool operator==(const PhotoTotals& o) const {
        return shownCount == o.shownCount && shownBytes == o.shownBytes && checkedCount == o.checkedCount &&
               checkedBytes == o.checkedBytes;
    }
    bool operator!=(const PhotoTotals& o) const { return !(*this == o); }
};

// The date text of a file, from its status (so a read-only or busy file
// still has one); empty when the status cannot be read.
std::u16string FileDateText(const std::u16string& path);

#endif  // WORKBENCH_HEIC_PHOTO_H
