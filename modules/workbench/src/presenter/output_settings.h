// What the output panel holds for a conversion request.
#ifndef WORKBENCH_OUTPUT_SETTINGS_H
#define WORKBENCH_OUTPUT_SETTINGS_H

#include <string>

struct OutputSettings {
    int format = 0;  // 0 JPEG, 1 PNG
    bool keepExif = true;
    int quality = 100;  // percent
    int maxEdge = 0;    // the results' longest side in pixels; 0 the photo's own size
    std::u16string folder;
};

#endif  // WORKBENCH_OUTPUT_SETTINGS_H
