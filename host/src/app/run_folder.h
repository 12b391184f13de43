// Where the instance lock and the hand-over socket live: a folder no other
// user can make first. The user's runtime folder ($XDG_RUNTIME_DIR) when it
// is a private folder of this user's; else a folder of the program's own in
// the user's cache folder ($XDG_CACHE_HOME, else ~/.cache):
// "quillmarsh-pix-bridge/run", made and checked as the log folder is (0700,
// this user's, no link on the way). Never the shared temporary folder, and
// never a random name: the next launch must find the same place.
#ifndef PIXBRIDGE_HOST_RUN_FOLDER_H
#define PIXBRIDGE_HOST_RUN_FOLDER_H

#include <string>

namespace run_folder {

// The folder with a trailing "/"; empty, with why in `problem`, when neither
// place can be used.
std::string Path(std::string* problem = nullptr);

}  // namespace run_folder

#endif  // PIXBRIDGE_HOST_RUN_FOLDER_H
