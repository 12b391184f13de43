#include "image_cache.h"

#include "app/host_instance.h"

#include <bedrock/bas_utility_app.h>
#include <bedrock/bas_utility_string.h>
#include <canvas/pictures.h>

ImageCache::ImageCache() { host_instance::Install(this); }
ImageCache::~ImageCache() { host_instance::Remove(this); }

ImageCache& ImageCache::Get() { return host_instance::Current<ImageCache>(); }

const std::vector<std::string>& ImageCache::StartupImages() {
    static const std::vector<std::string> names = {
        "close-normal.png",           "close-pressed.png",           "alert.png",
        "loading.gif",                "preview-edit.png",            "backup-restore.png",
        "super-toolkit.png",          "application128x128.png",      "application128x128-2.png",
        "dialog/slide-down-normal.png", "dialog/slide-down-pressed.png", "dialog/take-back-normal.png",
        "dialog/take-back-pressed.png"};
    return names;
}

void ImageCache::SetResourceFolder(const std::u16string& folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    folder_ = folder;
}

void ImageCache::SetDeviceScale(double scale) {
    std::lock_guard<std::mutex> lock(mutex_);
    deviceScale_ = scale;
}

QImage* ImageCache::Find(const std::string& name) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto& slot = images_[name];
    if (!slot) {
        if (folder_.empty()) folder_ = BASUtilityApp::GetProductInstallDir() + u"Resources/";
        const std::string path = BASUtilityString::Utf16ToUtf8(folder_) + name;
        slot = std::make_unique<QImage>(Utils::LoadPicture(QString::fromStdString(path), deviceScale_));
    }
    return slot.get();
}

void ImageCache::Preload(const std::vector<std::string>& names) {
    for (const std::string& name : names) Find(name);
}
