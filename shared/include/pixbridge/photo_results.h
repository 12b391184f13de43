// Reply records of the photo module. They live on the sender's stack and are
// valid only while a reply is being delivered; the receiver copies what it
// keeps. A ThumbnailResult's image passes into the receiver's ownership.
#ifndef PIXBRIDGE_PHOTO_RESULTS_H
#define PIXBRIDGE_PHOTO_RESULTS_H

#include <cstdint>
#include <string>

class QImage;

// resultKind: 2 for one file, 1 for the end of the request.
enum : int32_t {
    kPhotoResultEnd = 1,
    kPhotoResultItem = 2
};

// status of a converted file.
enum : int32_t {
    kPhotoStatusConverted = 1,
    kPhotoStatusFailed = 6
};

struct ConvertResult {
    std::u16string sourcePath;
    int32_t status = 0;
    int32_t resultKind = 0;
};

struct ThumbnailResult {
    std::u16string sourcePath;
    QImage* image = nullptr;
    int32_t resultKind = 0;
    int32_t imageWidth = 0;
    int32_t imageHeight = 0;
    int32_t photoIndex = 0;
    int32_t photoCount = 0;
};

#endif  // PIXBRIDGE_PHOTO_RESULTS_H
