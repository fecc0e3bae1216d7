#include "Sources.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Messages.h"

namespace fs = std::filesystem;

namespace vedris::results {

namespace {

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

std::string firstBytes(const std::string& path, size_t count) {
    std::ifstream in(path, std::ios::binary);
    std::string head(count, '\0');
    in.read(head.data(), std::streamsize(count));
    head.resize(size_t(in.gcount()));
    return head;
}

bool startsWith(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A message begins with header fields: "Name: value" lines.
bool looksLikeMail(const std::string& head) {
    static const char* const fields[] = {
        "Return-Path:",  "Received:", "From:",    "Date:",         "Message-ID:",
        "MIME-Version:", "To:",       "Subject:", "Delivered-To:", "X-"};
    std::string start = head.substr(0, 64);
    for (const char* field : fields)
        if (lower(start).rfind(lower(field), 0) == 0)
            return true;
    return false;
}

SourceKind kindOfFile(const std::string& path) {
    std::string ext = lower(fs::path(path).extension().string());
    if (ext == ".zip")
        return SourceKind::Zip;
    if (ext == ".eml")
        return SourceKind::Eml;
    if (ext == ".mbox" || ext == ".mbx")
        return SourceKind::Mbox;
    if (ext == ".xml")
        return SourceKind::File;
    std::string head = firstBytes(path, 256);
    if (startsWith(head, "PK\x03\x04") || startsWith(head, "PK\x05\x06"))
        return SourceKind::Zip;
    if (startsWith(head, "From "))
        return SourceKind::Mbox;
    if (looksLikeMail(head))
        return SourceKind::Eml;
    return SourceKind::File;
}

// The results files of a folder, sorted so that places and progress come in the same order
// on every run: in the order of their paths' parts, as if '/' came before every other
// character. Links to folders are not followed: a loop cannot trap the walk. Plain strings:
// a stick may hold tens of thousands of files, and a path object keeps each of its parts.
std::vector<std::string> folderFiles(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    if (error)
        throw SourceError(text::format(msg::SourceUnreadable, {folder, error.message()}));
    for (; it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (error)
            break;
        std::error_code typeError;
        if (it->is_regular_file(typeError) && hasXmlName(it->path().filename().string()))
            files.push_back(it->path().string());
    }
    auto rank = [](char c) { return c == '/' ? 0 : int(static_cast<unsigned char>(c)) + 1; };
    std::sort(files.begin(), files.end(), [&rank](const std::string& a, const std::string& b) {
        return std::lexicographical_compare(
            a.begin(), a.end(), b.begin(), b.end(),
            [&rank](char x, char y) { return rank(x) < rank(y); });
    });
    return files;
}

void readOne(const std::string& path, CandidateSink& sink, const SourceLimits& limits, bool named) {
    Candidate candidate;
    candidate.place = path;
    candidate.folder = folderOf(path);
    candidate.named = named;
    try {
        candidate.bytes = readWholeFile(path, limits.file.maxBytes);
    } catch (const SourceError& e) {
        sink.refuse(path, e.what());
        return;
    }
    sink.take(candidate);
}

} // namespace

SourceKind detectKind(const std::string& path) {
    std::error_code error;
    fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status))
        throw SourceError(text::format(msg::SourceMissing, {path}));
    if (fs::is_directory(status))
        return SourceKind::Folder;
    return kindOfFile(path);
}

const char* kindName(SourceKind kind) {
    switch (kind) {
    case SourceKind::File:
        return "file";
    case SourceKind::Folder:
        return "folder";
    case SourceKind::Zip:
        return "zip";
    case SourceKind::Eml:
        return "eml";
    case SourceKind::Mbox:
        return "mbox";
    }
    return "file";
}

// Plain system calls: a source is thousands of small files, and a stream's buffer for each
// costs more than reading it.
std::string readWholeFile(const std::string& path, size_t maxBytes) {
    auto unreadable = [&path](int code) {
        return SourceError(text::format(msg::SourceUnreadable, {path, std::strerror(code)}));
    };
    // Not blocking: a named pipe put in a file's place is refused rather than waited on.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw unreadable(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        throw unreadable(errno);
    if (!S_ISREG(info.st_mode))
        throw unreadable(S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    auto size = uintmax_t(info.st_size);
    if (size > maxBytes)
        throw SourceError(text::format(
            msg::TooLarge, {std::to_string((size >> 20) + 1), std::to_string(maxBytes >> 20)}));
    std::string bytes(size, '\0');
    size_t got = 0;
    while (got < bytes.size()) {
        ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw unreadable(errno);
        if (n == 0)
            break; // shrank while read: what is there is what the file holds now
        got += size_t(n);
    }
    bytes.resize(got);
    return bytes;
}

std::string folderOf(const std::string& place) {
    size_t slash = place.rfind('/');
    return slash == std::string::npos ? std::string() : place.substr(0, slash);
}

bool hasXmlName(const std::string& name) {
    return name.size() > 4 && lower(name.substr(name.size() - 4)) == ".xml";
}

void readSource(SourceKind kind, const std::string& path, CandidateSink& sink,
                const SourceLimits& limits) {
    switch (kind) {
    case SourceKind::File:
        sink.expect(1);
        readOne(path, sink, limits, true);
        break;
    case SourceKind::Folder: {
        std::vector<std::string> files = folderFiles(path);
        sink.expect(files.size());
        for (const std::string& file : files)
            readOne(file, sink, limits, false);
        break;
    }
    case SourceKind::Zip:
        readZip(path, sink, limits);
        break;
    case SourceKind::Eml:
    case SourceKind::Mbox:
        readMail(path, kind == SourceKind::Mbox, sink, limits);
        break;
    }
}

} // namespace vedris::results
