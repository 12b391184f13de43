#include "module/module_images.h"

const std::vector<std::string>& ModuleImages::Keys() {
    static const std::vector<std::string> keys = {
        "converting.png",
        "complete.png",
        "entry/main-add-image.png",
        "entry/batch-image-conversion.png",
        "entry/single-image-conversion.png",
        "operator/add-file-normal.png",
        "operator/add-file-pressed.png",
        "operator/add-folder-normal.png",
        "operator/add-folder-pressed.png",
        "operator/delete-normal.png",
        "operator/delete-pressed.png",
        "operator/clear-all-normal.png",
        "operator/clear-all-pressed.png",
        "operator/operate-search.png",
        "check-yes.png",
        "check-no.png",
        "content-photo-thumbnail.png",
        "right/on.png",
        "right/off.png",
    };
    return keys;
}
