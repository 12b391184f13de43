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

    // False when another process holds the lock.
    bool IsFirst() const { return fd_ >= 0; }
    // $XDG_RUNTIME_DIR, else the temporary folder, + name + ".lock".
    static std::string LockPath(const std::string& name);

private:
    int fd_ = -1;
};

#endif  // PIXBRIDGE_HOST_SINGLE_INSTANCE_H
