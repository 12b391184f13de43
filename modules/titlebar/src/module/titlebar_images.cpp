#include "module/titlebar_images.h"

#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>

#include <glog/logging.h>

#include <QString>

const std::vector<std::string>& TitlebarImages::Keys() {
    static const std::vector<std::string> keys = {
        "caption/menu-normal.png",     "caption/menu-pressed.png",     "caption/minimize-normal.png",
        "caption/minimize-pressed.png", "caption/maximize-normal.png", "caption/maximize-pressed.png",
        "caption/restore-normal.png",  "caption/restore-pressed.png",  "caption/close-normal.png",
        "caption/close-pressed.png",
    };
    return keys;
}

size_t TitlebarImages::LoadAll(const std::u16string& resourcesFolder, double deviceScale) {
    size_t loaded = 0;
    const std::string folder = BASUtilityString::Utf16ToUtf8(resourcesFolder);
    for (const std::string& key : Keys()) {
        const std::string path = folder + key;
        QImage image = Utils::LoadPicture(QString::fromStdString(path), deviceScale);
        if (!image.isNull()) {
            ++loaded;
        } else {
            LOG(WARNING) << "title-bar image did not load: " << path;
        }
        images_[key] = std::move(image);
    }
    return loaded;
}

const QImage* TitlebarImages::Find(const std::string& key) const {
    auto it = images_.find(key);
    if (it == images_.end() || it->second.isNull()) return nullptr;
    return &it->second;
}
