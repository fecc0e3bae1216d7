#pragma once
// Names the exports make from assessment idents and titles, and numbers as a Ukrainian
// reader writes them.
#include <set>
#include <string>

namespace vedris::results {

// A worksheet name Excel accepts: none of []:*?/\, no apostrophe at either end, at most 31
// characters, and unlike every name in taken (letter case of Latin and Cyrillic ignored, as
// Excel compares them). The name is added to taken.
std::string uniqueSheetName(const std::string& wanted, std::set<std::string>& taken);

// A file name that every file system of a USB stick takes (no /\:*?"<>|, no control
// characters, no dot at the end), unlike every name in taken regardless of letter case, with
// extension added. The name is added to taken.
std::string uniqueFileName(const std::string& wanted, const std::string& extension,
                           std::set<std::string>& taken);

// The first count characters (code points) of UTF-8 text.
std::string utf8Prefix(const std::string& text, size_t count);
size_t utf8Length(const std::string& text);

// "12,5 %": a share of one with a decimal comma.
std::string percentText(double share);

} // namespace vedris::results
