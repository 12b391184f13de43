// The host's images by name relative to the install's "Resources/" folder.
// Looked up from any thread; an image, once made, lives until the process ends.
#ifndef PIXBRIDGE_HOST_IMAGE_CACHE_H
#define PIXBRIDGE_HOST_IMAGE_CACHE_H

#include <QImage>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class ImageCache {
public:
    ImageCache();
    ~ImageCache();
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;
    // The host's instance (owned by the host application).
    static ImageCache& Get();

    // The cached image, loading it on a miss. A file that is missing or
    // unreadable still gets an (empty) image, so every later lookup returns
    // the same object.
    QImage* Find(const std::string& name);
    void Preload(const std::vector<std::string>& names);
    void SetResourceFolder(const std::u16string& folder);
    // Device pixels per layout pixel: above 1 the "@2x" pictures are loaded.
    // Set before the first lookup; images already made keep their files.
    void SetDeviceScale(double scale);

    static const std::vector<std::string>& StartupImages();

private:
    std::mutex mutex_;
    std::u16string folder_;
    double deviceScale_ = 1.0;
    std::map<std::string, std::unique_ptr<QImage>> images_;
};

#endif  // PIXBRIDGE_HOST_IMAGE_CACHE_H
