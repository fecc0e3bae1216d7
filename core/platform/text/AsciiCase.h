#pragma once
// Letter case of ASCII only: names in files, URLs and markup compare this way, whatever
// the locale, and bytes above 127 (UTF-8) are left as they are.
#include <string>
#include <string_view>

namespace vedris::text {

inline char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLower(std::string s) {
    for (char& c : s)
        c = asciiLower(c);
    return s;
}

inline bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

} // namespace vedris::text
