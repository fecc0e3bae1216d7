#pragma once
// Keeps a second client away from a results folder that a running client writes: two
// clients on one results.xml would each save their own in-memory copy over the other's.
#include <string>

namespace vedris::fs {

class InstanceLock {
public:
    // Creates the folder when it is missing and takes an exclusive lock on the file
    // ".lock" in it without waiting. held() tells whether the lock was taken; a folder
    // or lock file that cannot be made raises std::runtime_error with the reason, and a
    // folder the program may not write in (read-only, no permission) raises it with
    // FolderNotWritableMessage before anything in it is touched.
    explicit InstanceLock(const std::string& folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    bool held() const { return fd_ >= 0 && held_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    int fd_ = -1;
    bool held_ = false;
};

// Text shown when the results folder cannot be written: its path and the system's reason.
std::string FolderNotWritableMessage(const std::string& folder, const std::string& reason);

} // namespace vedris::fs
