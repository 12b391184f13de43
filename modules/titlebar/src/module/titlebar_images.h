// The title bar's own pictures: the four caption buttons (and the restore
// picture that replaces maximise), each normal and pressed. Loaded once from
// the module's Resources folder and kept until the process ends.
#ifndef TITLEBAR_TITLEBAR_IMAGES_H
#define TITLEBAR_TITLEBAR_IMAGES_H

#include <module_kit/image_table.h>

#include <string>
#include <vector>

class TitlebarImages : public ImageTable {
public:
    // The keys (paths below Resources/), in the order they are loaded.
    static const std::vector<std::string>& Keys();

    TitlebarImages() : ImageTable(Keys(), "title-bar") {}
};

#endif  // TITLEBAR_TITLEBAR_IMAGES_H
