#include "Names.h"

#include <cmath>
#include <cstdio>
#include <string_view>

namespace vedris::results {

namespace {

constexpr size_t MaxSheetName = 31;
constexpr size_t MaxFileStem = 100;

bool continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Lower case of ASCII and of the Cyrillic capitals (А–Я, Ѐ–Џ, Ґ) for comparing names.
std::string foldCase(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c + 32);
        } else if ((c == 0xD0 || c == 0xD2) && i + 1 < text.size()) {
            unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
            if (code >= 0x410 && code <= 0x42F)
                code += 0x20;
            else if (code >= 0x400 && code <= 0x40F)
                code += 0x50;
            else if (code == 0x490)
                code = 0x491;
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string replaceChars(const std::string& text, std::string_view banned) {
    std::string out;
    for (char c : text)
        out += (static_cast<unsigned char>(c) < ' ' || banned.find(c) != std::string_view::npos)
                   ? '_'
                   : c;
    return out;
}

// Characters beyond the Basic Multilingual Plane (emoji) count twice in Excel's limit of 31.
std::string replaceAstral(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0xF0) {
            out += '_';
            while (i + 1 < text.size() && continuation(static_cast<unsigned char>(text[i + 1])))
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Tries the name, then "name (2)", "name (3)"..., each cut so that it stays within limit.
std::string firstFree(const std::string& base, size_t limit, const std::string& extension,
                      std::set<std::string>& taken) {
    for (int n = 1;; ++n) {
        std::string suffix = n == 1 ? "" : " (" + std::to_string(n) + ")";
        std::string name = utf8Prefix(base, limit - utf8Length(suffix)) + suffix + extension;
        std::string key = foldCase(name);
        if (key != "history" && taken.insert(key).second)
            return name;
    }
}

} // namespace

size_t utf8Length(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        n += continuation(c) ? 0 : 1;
    return n;
}

std::string utf8Prefix(const std::string& text, size_t count) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!continuation(static_cast<unsigned char>(text[i])) && seen++ == count)
            return text.substr(0, i);
    }
    return text;
}

std::string uniqueSheetName(const std::string& wanted, std::set<std::string>& taken) {
    std::string base = replaceChars(wanted, "[]:*?/\\");
    base = replaceAstral(base);
    while (!base.empty() && base.front() == '\'')
        base.erase(0, 1);
    while (!base.empty() && base.back() == '\'')
        base.pop_back();
    if (base.empty())
        base = "_";
    std::string name = firstFree(base, MaxSheetName, "", taken);
    while (!name.empty() && name.back() == '\'')
        name.back() = '_';
    return name;
}

std::string uniqueFileName(const std::string& wanted, const std::string& extension,
                           std::set<std::string>& taken) {
    std::string base = replaceChars(wanted, "/\\:*?\"<>|");
    while (!base.empty() && (base.back() == '.' || base.back() == ' '))
        base.pop_back();
    if (base.empty() || base.front() == '.')
        base = "_" + base;
    return firstFree(base, MaxFileStem, extension, taken);
}

std::string percentText(double share) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.1f", std::round(share * 1000) / 10);
    std::string out = buffer;
    for (char& c : out)
        if (c == '.')
            c = ',';
    return out + " %";
}

} // namespace vedris::results
