#include "module_kit/image_table.h"

#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>

#include <glog/logging.h>

#include <QString>

size_t ImageTable::LoadAll(const std::u16string& resourcesFolder, double deviceScale) {
    size_t loaded = 0;
    const std::string folder = BASUtilityString::Utf16ToUtf8(resourcesFolder);
    for (const std::string& key : *keys_) {
        const std::string path = folder + key;
        QImage image = Utils::LoadPicture(QString::fromStdString(path), deviceScale);
        if (!image.isNull()) {
            ++loaded;
        } else {
            LOG(WARNING) << owner_ << " image did not load: " << path;
        }
        images_[key] = std::move(image);
    }
    return loaded;
}

const QImage* ImageTable::Find(const std::string& key) const {
    auto it = images_.find(key);
    if (it == images_.end() || it->second.isNull()) return nullptr;
    return &it->second;
}
