#include "StagedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/fs/AtomicFile.h"

namespace vedris::results {

namespace {

// The caller names the file; the message is the system's reason.
[[noreturn]] void fail(const std::string&, int error) {
    throw fs::WriteError(std::strerror(error), error);
}

void syncPath(const std::string& path, int flags) {
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

StagedFile::StagedFile(std::string path) : path_(std::move(path)) {
    std::string pattern = path_ + ".tmp-XXXXXX";
    int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        fail(path_, errno);
    temporary_ = pattern;
    // A replaced file keeps its permissions; a new one gets the usual 0644.
    struct stat st {};
    ::fchmod(fd, ::stat(path_.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644);
    stream_ = ::fdopen(fd, "wb");
    if (!stream_) {
        int error = errno;
        ::close(fd);
        ::unlink(temporary_.c_str());
        fail(path_, error);
    }
}

StagedFile::~StagedFile() {
    if (stream_)
        std::fclose(stream_);
    if (!committed_)
        ::unlink(temporary_.c_str());
}

void StagedFile::write(std::string_view bytes) {
    if (stream_ && !error_ && std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size())
        error_ = errno ? errno : EIO;
}

void StagedFile::release() {
    if (stream_ && std::fclose(stream_) != 0 && !error_)
        error_ = errno;
    stream_ = nullptr;
}

void StagedFile::commit() {
    if (stream_) {
        if (!error_ && (std::fflush(stream_) != 0 || ::fsync(::fileno(stream_)) != 0))
            error_ = errno;
        if (std::fclose(stream_) != 0 && !error_)
            error_ = errno;
        stream_ = nullptr;
    } else {
        syncPath(temporary_, O_RDONLY);
    }
    if (error_)
        fail(path_, error_);
    if (::rename(temporary_.c_str(), path_.c_str()) != 0)
        fail(path_, errno);
    committed_ = true;
    std::string folder = std::filesystem::path(path_).parent_path().string();
    syncPath(folder.empty() ? "." : folder, O_RDONLY | O_DIRECTORY);
}

} // namespace vedris::results
