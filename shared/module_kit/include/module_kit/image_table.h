// A module's own pictures: a fixed list of keys (paths below its Resources
// folder), loaded once and kept until the process ends. Read-only after
// loading, so any thread may look an image up.
#ifndef MODULE_KIT_IMAGE_TABLE_H
#define MODULE_KIT_IMAGE_TABLE_H

#include <QImage>

#include <map>
#include <string>
#include <vector>

class ImageTable {
public:
    // `keys` outlives the table (a module's static list); `owner` names the
    // module in the log.
    ImageTable(const std::vector<std::string>& keys, const char* owner) : keys_(&keys), owner_(owner) {}

    // Loads every key from `resourcesFolder` (ending in "/"), the "@2x"
    // pictures where `deviceScale` is above 1. A file that cannot be read
    // still gets its entry, holding a null image. Returns the number of
    // images that loaded. Loading again replaces the pictures in place: the
    // addresses that Find gave stay valid.
    size_t LoadAll(const std::u16string& resourcesFolder, double deviceScale = 1.0);

    // The image of `key`; null for a key that is not in the table and for
    // an entry whose file did not load. Never adds an entry.
    const QImage* Find(const std::string& key) const;
    bool Contains(const std::string& key) const { return images_.count(key) != 0; }
    size_t Count() const { return images_.size(); }

private:
    const std::vector<std::string>* keys_;
    const char* owner_;
    std::map<std::string, QImage> images_;
};

#endif  // MODULE_KIT_IMAGE_TABLE_H
