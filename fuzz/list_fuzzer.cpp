// The assessment list and page names: no crash, and no entry that passes the name check
// can lead out of the assessments folder.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "session/AssessmentList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (const std::string& entry : vedris::ParseAssessmentList(text)) {
        (void)vedris::PageNameFromPath(entry);
        try {
            std::string file = vedris::AssessmentFileFor("/nonexistent-vedris/", entry);
            if (file.find('/', 20) != std::string::npos || file.find('\0') != std::string::npos)
                std::abort();
        } catch (const std::runtime_error&) {
            if (vedris::IsAssessmentName(entry))
                std::abort();
        }
    }
    if (size > 2)
        (void)vedris::ParseDelimitedText(text.substr(2), text[0], text[1]);
    (void)vedris::PageNameFromPath(text);
    return 0;
}
