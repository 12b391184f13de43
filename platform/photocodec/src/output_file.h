// A new output file that nobody sees until it is complete: written as an
// anonymous file in the output folder and linked in under its name at the
// end, never over an existing file. Dropped without a trace on failure.
#ifndef PHOTOCODEC_OUTPUT_FILE_H
#define PHOTOCODEC_OUTPUT_FILE_H

#include <ctime>
#include <memory>
#include <string>

#include "unique_fd.h"

namespace photocodec {

class OutputFile {
public:
    // Null, with `error` set, when the folder is missing, is not a folder,
    // cannot be written, or the destination already exists.
    static std::unique_ptr<OutputFile> create(const std::string& destination, std::string& error);

    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int fd() const { return fd_.get(); }

    // Gives the file the source's modification time, flushes it to disk and
    // puts it in place. False (and nothing left behind) when the name was
    // taken meanwhile or the file system refused.
    bool commit(const timespec& modified, std::string& error);

    // Removes every trace of the file; also done by the destructor.
    void discard();

private:
    OutputFile() = default;
    bool publish(std::string& error);

    UniqueFd folder_;
    UniqueFd fd_;
    std::string name_;
    std::string tempName_;  // empty for an anonymous (O_TMPFILE) file
    bool done_ = false;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_OUTPUT_FILE_H
