#include "Resources.h"

namespace vedris::assessments {

std::string FillTemplate(const std::string& text,
                         const std::vector<std::pair<std::string, std::string>>& values) {
    std::string out;
    size_t start = 0;
    // One pass: a value that happens to hold "{{" is never read as a place.
    for (size_t at; (at = text.find("{{", start)) != std::string::npos;) {
        size_t end = text.find("}}", at + 2);
        if (end == std::string::npos)
            break;
        std::string name = text.substr(at + 2, end - at - 2);
        const std::string* value = nullptr;
        for (const auto& [key, v] : values)
            if (key == name)
                value = &v;
        out.append(text, start, at - start);
        out += value ? *value : text.substr(at, end + 2 - at);
        start = end + 2;
    }
    return out + text.substr(start);
}

} // namespace vedris::assessments
