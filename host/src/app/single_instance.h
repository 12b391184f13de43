// Refuses a second copy of the same product version: an exclusive lock on a
// file named after the instance name, held for the life of the process.
#ifndef PIXBRIDGE_HOST_SINGLE_INSTANCE_H
#define PIXBRIDGE_HOST_SINGLE_INSTANCE_H

#include <string>

class SingleInstance {
public:
    explicit SingleInstance(const std::string& name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False only when another running copy holds the lock. A lock that cannot
    // be taken for any other reason (the path is a folder, a link, another
    // user's file, a file with a second link, no private folder for it …)
    // lets this copy start: see Problem().
    bool IsFirst() const { return !heldElsewhere_; }
    // Why the lock could not be taken although no other copy holds it; empty
    // when it was taken or another copy holds it. For the log.
    const std::string& Problem() const { return problem_; }
    // The run folder (run_folder::Path) + name + ".lock"; empty, with why in
    // `problem`, when there is no such folder: the program then starts
    // without the lock.
    static std::string LockPath(const std::string& name, std::string* problem = nullptr);

private:
    int fd_ = -1;
    bool heldElsewhere_ = false;
    std::string problem_;
};

#endif  // PIXBRIDGE_HOST_SINGLE_INSTANCE_H
