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
    // What happens when the destination's name is taken.
    enum class NameTaken {
        Fail,            // the file is not written
        NextFreeNumber,  // "stem (1).ext", "stem (2).ext" …: the first free one,
                         // looked for again at the final link if another
                         // writer took the name meanwhile
    };

    // Null, with `error` set, when the folder is missing, is not a folder,
    // cannot be written, or (with NameTaken::Fail) the destination already
    // exists.
    static std::unique_ptr<OutputFile> create(const std::string& destination, std::string& error,
                                              NameTaken rule = NameTaken::Fail);
    // The name "stem (n).ext" of `name` for n > 0 (n == 0: the name itself).
    // The extension is what follows the last dot, unless that dot starts
    // the name.
    static std::string numberedName(const std::string& name, unsigned n);

    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int fd() const { return fd_.get(); }

    // Gives the file the source's modification time, flushes it to disk and
    // puts it in place. False (and nothing left behind) when the name was
    // taken meanwhile (with NameTaken::Fail) or the file system refused.
    bool commit(const timespec& modified, std::string& error);

    // The path the file is (after commit) or will be put at.
    std::string path() const { return folderPath_ + "/" + numberedName(name_, number_); }
    // True when the destination was taken and a numbered name is used.
    bool tookAnotherName() const { return number_ != 0; }

    // Removes every trace of the file; also done by the destructor.
    void discard();

private:
    OutputFile() = default;
    bool publish(std::string& error);
    // Puts the file in place under `name`; `taken` says the name existed.
    bool publishAs(const std::string& name, bool& taken, std::string& error);

    UniqueFd folder_;
    std::string folderPath_;
    NameTaken rule_ = NameTaken::Fail;
    unsigned number_ = 0;  // 0: the name itself, else "stem (number).ext"
    UniqueFd fd_;
    std::string name_;
    std::string tempName_;  // empty for an anonymous (O_TMPFILE) file
    bool done_ = false;
};

}  // namespace photocodec

#endif  // PHOTOCODEC_OUTPUT_FILE_H
