// The work of one run, gathered before anything is converted: the photos to
// send with their output folders, the files skipped in folders and the
// photos that cannot be sent at all. Every check that can refuse the whole
// run (a missing input, an output folder that cannot be written) happens
// here, so a usage error never leaves half a batch behind.
#ifndef PIXBRIDGE_CLI_PHOTO_BATCH_H
#define PIXBRIDGE_CLI_PHOTO_BATCH_H

#include "convert_options.h"

#include <string>
#include <vector>

struct PhotoJob {
    std::string source;     // absolute, UTF-8
    std::string outputDir;  // absolute, UTF-8, ending in "/"
    // With -r and -o, the folders between the -o folder and the photo
    // ("" or ending in "/"), so that the tree the photo came from is kept.
    std::string subfolder;
    // Set when the photo cannot go to the module; it then counts as failed.
    std::string refusal;
};

struct PhotoBatch {
    std::vector<PhotoJob> jobs;          // in the order they are converted
    std::vector<std::string> skipped;    // files in folders that are not ".heic"
    std::vector<std::string> warnings;   // sub-folders that could not be read
};

// True when the name ends in ".heic", in any case.
bool HasHeicSuffix(const std::string& name);
bool IsValidUtf8(const std::string& text);
// The text with every byte that is not part of valid UTF-8 replaced by
// U+FFFD, for output that must be text (JSON, the terminal).
std::string ToValidUtf8(const std::string& text);

// Gathers the batch; false with a message for the user when the run must
// not start. Creates the -o folder when it is missing.
bool CollectPhotoBatch(const ConvertOptions& options, PhotoBatch& batch, std::string& error);

// Makes the folder a job's results go to, when the folder tree is kept and
// the folder is not there yet; false with a message otherwise.
bool MakeOutputFolder(const std::string& folder, std::string& error);

// Jobs [begin, end) that go to the module as one request: neighbours with
// the same output folder that can be sent.
struct JobRange {
    size_t begin = 0;
    size_t end = 0;
};
std::vector<JobRange> GroupRequests(const std::vector<PhotoJob>& jobs);

#endif  // PIXBRIDGE_CLI_PHOTO_BATCH_H
