// HEIF test files made with libheif's encoder (x265), for the cases the
// public photos do not cover on their own: a known orientation with or
// without irot, a thumbnail that differs from the photo, alpha, EXIF.
#ifndef PHOTOCODEC_HEIF_FIXTURE_H
#define PHOTOCODEC_HEIF_FIXTURE_H

#include <libheif/heif.h>

#include <functional>
#include <string>
#include <vector>

#include "test_support.h"

namespace testsupport {

struct HeifFixture {
    struct Thumbnail {
        int width = 0;
        int height = 0;
        Rgb color;
    };

    int width = 64;
    int height = 48;
    PixelFunction pixel = [](int, int) { return Rgb{128, 128, 128}; };
    std::function<int(int, int)> alpha;  // empty: no alpha
    // Stored as irot/imir, so libheif turns the picture for display.
    heif_orientation orientation = heif_orientation_normal;
    std::vector<uint8_t> exifTiff;
    std::vector<Thumbnail> thumbnails;
    // Tiles of this size make a grid image; 0 makes a single image.
    int tileSize = 0;
    // An nclx colour description with these primaries (H.273), 0: none.
    int nclxPrimaries = 0;

    // Throws on failure.
    void write(const std::string& path) const;
};

// A HEIF whose primary image and preview are coded as JPEG, laid out box
// by box (libheif has no JPEG encoder here): one colour each.
struct JpegCodedHeif {
    int width = 64;
    int height = 48;
    Rgb color;
    int previewWidth = 32;
    int previewHeight = 24;
    Rgb previewColor;

    void write(const std::string& path) const;
};

}  // namespace testsupport

#endif  // PHOTOCODEC_HEIF_FIXTURE_H
