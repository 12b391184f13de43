// Where the program's logs and crash reports go: a folder private to the
// user (mode 0700, owned by the user, no link anywhere on its path), so that
// nobody else can read the logs or steer the crash helper's deletions.
#ifndef PIXBRIDGE_HOST_LOG_FOLDER_H
#define PIXBRIDGE_HOST_LOG_FOLDER_H

#include <string>
#include <vector>

namespace log_folder {

struct Folders {
    // The day's log folder, without a trailing "/"; the crash dump goes here.
    std::string logFolder;
    // The folder that holds the days ("/"-terminated): the only place the
    // crash report helper may act in.
    std::string reportRoot;
    // Why earlier candidates were passed over; empty when the first one served.
    std::vector<std::string> notes;
};

// The day's folder (`day` is "YYYYMMDD"), made or checked in this order, the
// first private one winning:
//   <temporary folder>/Quillmarsh/<day>         (the usual place)
//   <temporary folder>/Quillmarsh-<uid>/<day>   (another user owns the first)
//   $XDG_STATE_HOME (else ~/.local/state)/Quillmarsh/logs/<day>
//   a fresh mkdtemp folder in the temporary folder (last resort: the crash
//   helper cannot find it again, so a crash is dumped but not packed).
// A folder of ours that is open to others is closed to 0700; a folder of
// someone else's, or a link, is passed over.
Folders MakePrivateLogFolder(const std::string& day);

// One candidate: `base` (an existing folder; its real path is used) then each
// of `components`, made 0700 where missing and checked where present.
// Returns the real path of the last one, or empty with `error` set.
std::string MakePrivateFolder(const std::string& base, const std::vector<std::string>& components, std::string* error);

}  // namespace log_folder

#endif  // PIXBRIDGE_HOST_LOG_FOLDER_H
