#include "platform/fs/InstanceLock.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Texts.h"

namespace vedris::fs {

InstanceLock::InstanceLock(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error(texts::ResultsFolderNotCreated + folder + ": " + ec.message());
    // A folder the client cannot write in would lose every answer at the first save; say so
    // now, before anything in it is made.
    if (::access(folder.c_str(), W_OK) != 0)
        throw std::runtime_error(FolderNotWritableMessage(folder, std::strerror(errno)));
    path_ = (std::filesystem::path(folder) / ".lock").string();
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    // Users of one group take turns on a shared results folder: the lock file another of
    // them made may be read-only for us, and flock needs no more than that to lock it.
    if (fd_ < 0 && errno == EACCES)
        fd_ = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        throw std::runtime_error(FolderNotWritableMessage(folder, std::strerror(errno)));
    if (fd_ < 0)
        throw std::runtime_error(texts::FileNotOpened + path_ + ": " + std::strerror(errno));
    // A strict umask would make the file unreadable for the next user, who would then
    // see an error instead of a working lock; a lock file holds nothing worth hiding.
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && st.st_uid == ::geteuid() && (st.st_mode & 0044) != 0044)
        ::fchmod(fd_, (st.st_mode & 07777) | 0044);
    // flock belongs to the open file description, so the lock goes with the process and
    // is released even when the client is killed.
    // A file system without locks (ENOLCK, EINVAL) cannot tell; the client then runs.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
        held_ = true;
    else
        held_ = errno != EWOULDBLOCK;
}

std::string FolderNotWritableMessage(const std::string& folder, const std::string& reason) {
    return texts::FolderNotWritable1 + folder + texts::FolderNotWritable2 + reason;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace vedris::fs
