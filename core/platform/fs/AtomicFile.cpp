#include "platform/fs/AtomicFile.h"

#include "Texts.h"
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace vedris::fs {
namespace {

std::string reason(int err) {
    return std::strerror(err);
}

// Owns a file descriptor and closes it on every path.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (a delayed write error shows here).
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

private:
    int fd_;
};

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

void writeAll(int fd, std::string_view data, const std::string& path) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            const int err = errno;
            if (err == EINTR)
                continue;
            throw WriteError(texts::FileNotWritten + path + ": " + reason(err), err);
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
}

// The temporary of a write is the target's name with this and mkstemp's six characters.
constexpr std::string_view TemporaryMark = ".tmp-";
constexpr std::size_t TemporaryRandomChars = 6;

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

} // namespace

void writeFileAtomically(const std::string& path, std::string_view data) {
    const std::string folder = folderOf(path);
    std::string tmpl = path + std::string(TemporaryMark) + std::string(TemporaryRandomChars, 'X');
    int raw = ::mkstemp(tmpl.data());
    if (raw < 0)
        throw WriteError(texts::FileNotWritten + path + ": " + reason(errno));
    Fd fd(raw);
    const std::string tmp = tmpl;
    try {
        // Keep the permissions of the file being replaced; a new file gets the usual 0644.
        struct stat st {};
        mode_t mode = 0644;
        if (::stat(path.c_str(), &st) == 0)
            mode = st.st_mode & 07777;
        ::fchmod(fd.get(), mode);

        writeAll(fd.get(), data, path);
        if (::fsync(fd.get()) != 0)
            throw WriteError(texts::FileNotWritten + path + ": " + reason(errno));
        if (!fd.close())
            throw WriteError(texts::FileNotWritten + path + ": " + reason(errno));
        if (::rename(tmp.c_str(), path.c_str()) != 0)
            throw WriteError(texts::FileNotWritten + path + ": " + reason(errno));
    } catch (...) {
        ::unlink(tmp.c_str());
        throw;
    }
    // The rename is durable only once the folder entry is on disk.
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

std::vector<std::string> removeLeftoverTemporaries(const std::string& path) {
    std::vector<std::string> removed;
    const std::string folder = folderOf(path);
    const auto slash = path.find_last_of('/');
    const std::string prefix =
        (slash == std::string::npos ? path : path.substr(slash + 1)) + std::string(TemporaryMark);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return removed;
    std::vector<std::string> names;
    while (dirent* entry = ::readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (name.size() != prefix.size() + TemporaryRandomChars || !name.starts_with(prefix))
            continue;
        bool random = true;
        for (char c : name.substr(prefix.size()))
            random = random && isAsciiAlnum(c);
        if (random)
            names.emplace_back(name);
    }
    for (const std::string& name : names) {
        // Only a plain file: a link or a folder of that name is not one of ours.
        struct stat st {};
        if (::fstatat(::dirfd(dir.get()), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode))
            continue;
        if (::unlinkat(::dirfd(dir.get()), name.c_str(), 0) == 0)
            removed.push_back(name);
    }
    return removed;
}

std::vector<std::string> removeLeftoverTemporariesIn(const std::string& folder,
                                                     std::string_view extension) {
    const std::string mark = std::string(extension) + std::string(TemporaryMark);
    std::vector<std::string> bases;
    if (std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir); dir) {
        while (dirent* entry = ::readdir(dir.get())) {
            std::string_view name = entry->d_name;
            auto at = name.rfind(mark);
            if (at != std::string_view::npos && at > 0)
                bases.emplace_back(name.substr(0, at + extension.size()));
        }
    }
    std::vector<std::string> removed;
    for (const std::string& base : bases)
        for (std::string& name : removeLeftoverTemporaries(folder + "/" + base))
            removed.push_back(std::move(name));
    return removed;
}

namespace {

// 0 with the content in data, or the error number of what failed.
int readWhole(const std::string& path, std::string& data) {
    Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0)
        return errno;
    struct stat st {};
    if (::fstat(in.get(), &st) == 0 && S_ISDIR(st.st_mode))
        return EISDIR;
    if (st.st_size > 0)
        data.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return 0;
        data.append(buf, static_cast<size_t>(n));
    }
}

WriteError readError(const std::string& path, int err) {
    return WriteError(texts::FileNotRead + path + ": " + reason(err), err);
}

} // namespace

std::string readFile(const std::string& path) {
    std::string data;
    if (int err = readWhole(path, data))
        throw readError(path, err);
    return data;
}

std::optional<std::string> readFileIfPresent(const std::string& path) {
    std::string data;
    int err = readWhole(path, data);
    if (err == ENOENT || err == ENOTDIR)
        return std::nullopt;
    if (err)
        throw readError(path, err);
    return data;
}

bool createFileAtomically(const std::string& path, std::string_view data, unsigned mode) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        return false;
    // The data go to a temporary file first and are then linked in under the real name:
    // link() never replaces an existing file, so a file made meanwhile by another process
    // survives, and no reader ever sees a half-written one.
    std::string temp = path + ".XXXXXX";
    Fd file(::mkostemp(temp.data(), O_CLOEXEC));
    if (file.get() < 0) {
        const int failed = errno;
        throw WriteError(texts::FileNotCreated + path + ": " + reason(failed), failed);
    }
    int err = 0;
    try {
        writeAll(file.get(), data, path);
    } catch (const WriteError& e) {
        err = e.code();
    }
    if (!err && ::fchmod(file.get(), static_cast<mode_t>(mode & 07777)) != 0) {
        err = errno;
    } else if (!err && ::fsync(file.get()) != 0) {
        err = errno;
    } else if (!err && ::link(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        // A file system without hard links still gets a whole file, only without the
        // guard against a file made in the same instant.
        if ((err == EPERM || err == ENOTSUP || err == EOPNOTSUPP) &&
            ::rename(temp.c_str(), path.c_str()) == 0)
            err = 0;
    }
    ::unlink(temp.c_str());
    if (err == EEXIST)
        return false;
    if (err != 0)
        throw WriteError(texts::FileNotCreated + path + ": " + reason(err), err);
    Fd dir(::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return true;
}

void copyFileAtomically(const std::string& from, const std::string& to) {
    writeFileAtomically(to, readFile(from));
}

} // namespace vedris::fs
