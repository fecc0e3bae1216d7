#include "platform/desktop/AssessmentFolder.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include <glib.h>

#include "Texts.h"
#include "platform/text/AsciiCase.h"

namespace vedris {

namespace {

namespace stdfs = std::filesystem;

struct GFreeDeleter {
    void operator()(char* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<char, GFreeDeleter>;

using text::asciiLower;

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (true) {
        auto pos = text.find(sep, start);
        parts.push_back(text.substr(start, pos - start));
        if (pos == std::string::npos)
            break;
        start = pos + 1;
    }
    return parts;
}

std::optional<std::string> realPath(const std::string& path) {
    char buffer[PATH_MAX];
    if (!::realpath(path.c_str(), buffer))
        return std::nullopt;
    return std::string(buffer);
}

} // namespace

AssessmentFolder::AssessmentFolder(const std::string& folder) {
    stdfs::path p = stdfs::absolute(stdfs::path(folder)).lexically_normal();
    root_ = p.string();
    if (root_.empty() || root_.back() != '/')
        root_ += '/';
}

std::string AssessmentFolder::urlForFile(const std::string& path) const {
    std::string full = stdfs::absolute(stdfs::path(path)).lexically_normal().string();
    if (full.compare(0, root_.size(), root_) != 0)
        throw AddressError(texts::FileWord + path + texts::OutsideAssessments + root_);
    std::string url = std::string(SchemeName) + "://" + SchemeHost + "/";
    auto segments = split(full.substr(root_.size()), '/');
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i)
            url += '/';
        GCharPtr escaped(g_uri_escape_string(segments[i].c_str(), nullptr, FALSE));
        url += escaped.get();
    }
    return url;
}

std::optional<std::string> AssessmentFolder::pathForUrl(const std::string& url) const {
    const std::string prefix = std::string(SchemeName) + "://";
    if (url.size() < prefix.size() || asciiLower(url.substr(0, prefix.size())) != prefix)
        return std::nullopt;
    std::string rest = url.substr(prefix.size());
    auto hostEnd = rest.find_first_of("/?#");
    std::string host = rest.substr(0, hostEnd);
    if (asciiLower(host) != SchemeHost)
        return std::nullopt;
    std::string path = hostEnd == std::string::npos ? std::string() : rest.substr(hostEnd);
    path = path.substr(0, path.find_first_of("?#"));

    std::string relative;
    for (const std::string& segment : split(path, '/')) {
        // g_uri_unescape_string refuses an escaped NUL or any of the illegal characters,
        // so "..%2F" cannot smuggle a separator past the segment check below.
        GCharPtr decoded(g_uri_unescape_string(segment.c_str(), "/\\"));
        if (!decoded)
            return std::nullopt;
        std::string text = decoded.get();
        if (text.empty() || text == ".")
            continue;
        if (text == "..")
            return std::nullopt;
        if (!relative.empty())
            relative += '/';
        relative += text;
    }
    if (!path.empty() && path.back() == '/' && !relative.empty())
        relative += '/';
    return root_ + relative;
}

std::optional<std::string> AssessmentFolder::fileToServe(const std::string& url) const {
    auto path = pathForUrl(url);
    if (!path)
        return std::nullopt;
    auto rootReal = realPath(root_);
    auto fileReal = realPath(*path);
    if (!rootReal || !fileReal)
        return std::nullopt;
    std::string base = *rootReal;
    if (base.empty() || base.back() != '/')
        base += '/';
    if (fileReal->compare(0, base.size(), base) != 0)
        return std::nullopt;
    std::error_code ec;
    if (!stdfs::is_regular_file(*fileReal, ec))
        return std::nullopt;
    return *fileReal;
}

std::string AssessmentFolder::mimeTypeFor(const std::string& path) {
    std::string name = stdfs::path(path).filename().string();
    auto dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : asciiLower(name.substr(dot + 1));
    static const std::pair<const char*, const char*> table[] = {
        {"html", "text/html"},
        {"htm", "text/html"},
        {"xhtml", "application/xhtml+xml"},
        {"css", "text/css"},
        {"js", "text/javascript"},
        {"mjs", "text/javascript"},
        {"json", "application/json"},
        {"xml", "application/xml"},
        {"xsl", "application/xml"},
        {"xslt", "application/xml"},
        {"txt", "text/plain"},
        {"png", "image/png"},
        {"jpg", "image/jpeg"},
        {"jpeg", "image/jpeg"},
        {"gif", "image/gif"},
        {"bmp", "image/bmp"},
        {"svg", "image/svg+xml"},
        {"ico", "image/x-icon"},
        {"webp", "image/webp"},
        {"pdf", "application/pdf"},
        {"woff", "font/woff"},
        {"woff2", "font/woff2"},
        {"ttf", "font/ttf"},
        {"otf", "font/otf"},
        {"mp3", "audio/mpeg"},
        {"ogg", "audio/ogg"},
        {"wav", "audio/wav"},
        {"mp4", "video/mp4"},
        {"webm", "video/webm"},
    };
    for (const auto& [e, type] : table)
        if (ext == e)
            return type;
    return "application/octet-stream";
}

} // namespace vedris
