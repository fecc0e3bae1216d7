#include "platform/fs/InstanceLock.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace vedris::desktop {

InstanceLock::InstanceLock(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error("Не вдалося створити папку результатів " + folder + ": " +
                                 ec.message());
    // A folder the client cannot write in would lose every answer at the first save; say so
    // now, before anything in it is made.
    if (::access(folder.c_str(), W_OK) != 0)
        throw std::runtime_error(FolderNotWritableMessage(folder, std::strerror(errno)));
    path_ = (std::filesystem::path(folder) / ".lock").string();
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 && (errno == EACCES || errno == EPERM || errno == EROFS))
        throw std::runtime_error(FolderNotWritableMessage(folder, std::strerror(errno)));
    if (fd_ < 0)
        throw std::runtime_error("Не вдалося відкрити файл " + path_ + ": " + std::strerror(errno));
    // flock belongs to the open file description, so the lock goes with the process and
    // is released even when the client is killed.
    // A file system without locks (ENOLCK, EINVAL) cannot tell; the client then runs.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
        held_ = true;
    else
        held_ = errno != EWOULDBLOCK;
}

std::string FolderNotWritableMessage(const std::string& folder, const std::string& reason) {
    return "У папку результатів " + folder +
           " неможливо записувати, тож відповіді не буде де зберегти. Причина: " + reason;
}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

} // namespace vedris::desktop
