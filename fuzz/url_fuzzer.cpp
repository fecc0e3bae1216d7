// The browser scheme's URL-to-path mapping: no crash, and a path it gives lies inside the
// assessments folder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/desktop/AssessmentFolder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const vedris::AssessmentFolder folder("/srv/vedris/Assessments");
    const std::string url(reinterpret_cast<const char*>(data), size);
    auto path = folder.pathForUrl(url);
    if (!path)
        return 0;
    const std::string& root = folder.root();
    if (path->compare(0, root.size(), root) != 0 || path->find('\0') != std::string::npos)
        std::abort();
    const std::string relative = "/" + path->substr(root.size()) + "/";
    if (relative.find("/../") != std::string::npos)
        std::abort();
    return 0;
}
