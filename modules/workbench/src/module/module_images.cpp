#include "module/module_images.h"

#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>

#include <glog/logging.h>

#include <QString>

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

size_t ModuleImages::LoadAll(const std::u16string& resourcesFolder, double deviceScale) {
    size_t loaded = 0;
    const std::string folder = BASUtilityString::Utf16ToUtf8(resourcesFolder);
    for (const std::string& key : Keys()) {
        const std::string path = folder + key;
        QImage image = Utils::LoadPicture(QString::fromStdString(path), deviceScale);
        if (!image.isNull()) {
            ++loaded;
        } else {
            LOG(WARNING) << "workbench image did not load: " << path;
        }
        images_[key] = std::move(image);
    }
    return loaded;
}

const QImage* ModuleImages::Find(const std::string& key) const {
    auto it = images_.find(key);
    if (it == images_.end() || it->second.isNull()) return nullptr;
    return &it->second;
}
