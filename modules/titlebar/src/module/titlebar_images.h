// The title bar's own pictures: the four caption buttons (and the restore
// picture that replaces maximise), each normal and pressed. Loaded once from
// the module's Resources folder and kept until the process ends.
#ifndef TITLEBAR_TITLEBAR_IMAGES_H
#define TITLEBAR_TITLEBAR_IMAGES_H

#include <QImage>

#include <map>
#include <string>
#include <vector>

class TitlebarImages {
public:
    // The keys (paths below Resources/), in the order they are loaded.
    static const std::vector<std::string>& Keys();

    // Loads every key from `resourcesFolder` (ending in "/"), the "@2x"
    // pictures where `deviceScale` is above 1. A file that cannot be read
    // still gets its entry, holding a null image. Returns the number of
    // images that loaded. Loading again replaces the pictures in place: the
    // addresses that Find gave stay valid.
    size_t LoadAll(const std::u16string& resourcesFolder, double deviceScale = 1.0);

    // The image of `key`; null for an unknown key or one whose file did not load.
    const QImage* Find(const std::string& key) const;
    size_t Count() const { return images_.size(); }

private:
    std::map<std::string, QImage> images_;
};

#endif  // TITLEBAR_TITLEBAR_IMAGES_H
