#include "session/AssessmentList.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include <glib.h>

#include "Texts.h"
#include "platform/text/AsciiCase.h"

namespace vedris {

namespace {

bool isBlank(unsigned char c) {
    return c >= 1 && c <= 32;
}

} // namespace

std::vector<std::string> ParseDelimitedText(const std::string& text, char quoteChar,
                                            char delimiter) {
    std::vector<std::string> list;
    // The text ends at a NUL, as a C string does; past one, no entry would ever advance.
    const std::size_t n = std::min(text.size(), text.find('\0'));
    std::size_t p = 0;
    auto at = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    while (p < n && isBlank(at(p)))
        ++p;
    while (p < n) {
        std::string entry;
        if (text[p] == quoteChar) {
            ++p;
            while (p < n) {
                if (text[p] == quoteChar) {
                    if (p + 1 < n && text[p + 1] == quoteChar) {
                        entry += quoteChar;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                entry += text[p++];
            }
        } else {
            std::size_t start = p;
            while (p < n && at(p) > 32 && text[p] != delimiter)
                ++p;
            entry = text.substr(start, p - start);
        }
        list.push_back(entry);
        while (p < n && isBlank(at(p)))
            ++p;
        if (p < n && text[p] == delimiter) {
            if (p + 1 == n)
                list.emplace_back();
            ++p;
            while (p < n && isBlank(at(p)))
                ++p;
        }
    }
    return list;
}

std::string LowerCase(const std::string& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        gchar* lower = g_utf8_strdown(text.data(), static_cast<gssize>(text.size()));
        std::string result = lower;
        g_free(lower);
        return result;
    }
    return text::asciiLower(text);
}

std::vector<std::string> ParseAssessmentList(const std::string& setting) {
    return ParseDelimitedText(LowerCase(setting), '#', ',');
}

std::string PageNameFromPath(const std::string& path) {
    auto slash = path.find_last_of("/\\:");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    auto dot = name.rfind('.');
    if (dot != std::string::npos)
        name.erase(dot);
    return LowerCase(name);
}

bool IsAssessmentName(const std::string& name) {
    return name != "." && name != ".." &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string AssessmentFileFor(const std::string& folder, const std::string& name) {
    if (!IsAssessmentName(name)) {
        // A NUL would end the text the message box shows; it is written out instead.
        std::string shown;
        for (char c : name)
            shown += c == '\0' ? std::string("\\0") : std::string(1, c);
        throw std::runtime_error(texts::NotAFileName1 + shown + texts::NotAFileName2);
    }
    return FileInFolderIgnoringCase(folder, name + ".xml");
}

int IndexOfName(const std::vector<std::string>& list, const std::string& name) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == name)
            return static_cast<int>(i);
    return -1;
}

std::string FileInFolderIgnoringCase(const std::string& folder, const std::string& fileName) {
    const std::string exact = folder + fileName;
    std::error_code ec;
    if (std::filesystem::exists(exact, ec))
        return exact;
    const std::string wanted = LowerCase(fileName);
    std::vector<std::string> matches;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string name = entry.path().filename().string();
        if (LowerCase(name) == wanted)
            matches.push_back(name);
    }
    if (matches.empty())
        return exact;
    std::sort(matches.begin(), matches.end());
    return folder + matches.front();
}

} // namespace vedris
