#pragma once
// Question banks and bare items made into an assessment the client can use.
#include <string>
#include <vector>

#include "platform/xml/XmlDocument.h"

namespace vedris::assessments {

struct Wrapped {
    xml::Document document = xml::Document::create(); // UTF-8, no namespace
    std::string ident, title;
    size_t items = 0;
    std::vector<std::string> warnings;
    std::vector<std::string> problems; // items and responses whose answers would mix
};

// One assessment with one section holding every item of source (an objectbank, its
// sections, or items right under the root), in document order. ident and title when empty:
// the file's name, and the bank's bank_title (or the file's name). Raises std::runtime_error
// naming fileName when source already holds an assessment or holds no item.
Wrapped WrapItems(const xml::Document& source, const std::string& fileName, std::string ident,
                  std::string title);

// Whether the client can look an assessment of this ident up: not empty once trimmed, no
// double quotation mark.
bool UsableIdent(const std::string& ident);

} // namespace vedris::assessments
