// The workbench's own pictures, loaded once from its Resources folder and
// kept until the process ends. Read-only after loading, so any thread may
// look an image up.
#ifndef WORKBENCH_MODULE_IMAGES_H
#define WORKBENCH_MODULE_IMAGES_H

#include <module_kit/image_table.h>

#include <string>
#include <vector>

class ModuleImages : public ImageTable {
public:
    // The keys (paths below Resources/), in the order they are loaded.
    static const std::vector<std::string>& Keys();

    ModuleImages() : ImageTable(Keys(), "workbench") {}
};

#endif  // WORKBENCH_MODULE_IMAGES_H
