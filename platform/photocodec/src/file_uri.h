// The file: URI of a local path, spelt byte for byte as GLib spells it
// (g_filename_to_uri), which is how the desktop's thumbnail cache names
// its entries: a different spelling would be a different entry.
#ifndef PHOTOCODEC_FILE_URI_H
#define PHOTOCODEC_FILE_URI_H

#include <string>

namespace photocodec {

// `absolutePath` starts with "/"; "." and ".." steps and doubled slashes
// are taken out first, as GLib does for a path it is given.
std::string fileUri(const std::string& absolutePath);

// The path without "." and ".." steps or doubled slashes, without
// resolving links.
std::string lexicallyNormal(const std::string& absolutePath);

}  // namespace photocodec

#endif  // PHOTOCODEC_FILE_URI_H
