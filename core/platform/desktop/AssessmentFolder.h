#pragma once
// The assessments folder as the browser sees it: a URI scheme of its own,
// vedris://assessments/, that stands for the files of that folder and nothing else. Every
// page and frame then has the same origin, so the bridge can reach the form frame from the
// top page, while a page can reach no file outside the folder.
#include <optional>
#include <stdexcept>
#include <string>

namespace vedris {

// A path or address that the folder refuses.
class AddressError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* SchemeName = "vedris";
inline constexpr const char* SchemeHost = "assessments";

class AssessmentFolder {
public:
    // folder: the assessments folder (absolute or relative to the current folder; need
    // not exist yet).
    explicit AssessmentFolder(const std::string& folder);

    // The folder, absolute and normalised, ending with "/".
    const std::string& root() const { return root_; }

    // The URL of a file inside the folder: vedris://assessments/ followed by the path
    // relative to the folder, each segment percent-encoded. Raises AddressError for a path
    // outside the folder.
    std::string urlForFile(const std::string& path) const;

    // The file path a URL of the scheme stands for, taken from the URL alone (query and
    // fragment dropped, segments decoded): root() + relative path. None for a URL of
    // another scheme or host, and for a path that would leave the folder (a ".."
    // segment, an encoded "/" or "\" or NUL, invalid escapes).
    std::optional<std::string> pathForUrl(const std::string& url) const;

    // The file to serve for a URL: pathForUrl with symbolic links resolved, when it is a
    // regular file that still lies inside the folder. None otherwise.
    std::optional<std::string> fileToServe(const std::string& url) const;

    // MIME type by extension ("text/html" for .html and .htm, "application/xml" for .xml,
    // .xsl and .xslt, ...); "application/octet-stream" when unknown.
    static std::string mimeTypeFor(const std::string& path);

private:
    std::string root_;
};

} // namespace vedris
