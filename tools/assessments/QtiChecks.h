#pragma once
// Checks of a QTI file that the page maker and the installation checker share: idents that
// would let the answers of two questions overwrite each other, and an XML declaration that
// names another encoding than the bytes are in.
#include <string>
#include <vector>

#include "platform/xml/XmlDocument.h"

namespace vedris::assessments {

struct Finding {
    xml::Node item;   // the item it concerns; none for the assessment itself
    int line = 0;     // of the element it names
    std::string text; // one Ukrainian line naming file and line
};

// Every item and response whose answers the client could not keep apart, read as the client
// reads them: an assessment, item or response without ident, two items of one ident, and two
// responses whose controls would share a name (item ident + "." + response ident).
// assessmentIdent: whether the assessment's own ident is checked too.
std::vector<Finding> IdentityProblems(const xml::Document& doc, const std::string& fileName,
                                      bool assessmentIdent = true);

// A warning when the file's declaration names an 8-bit encoding while the whole file is
// valid UTF-8 with multi-byte sequences in it (it would read as mojibake); empty otherwise.
std::string MisdeclaredEncoding(const std::string& bytes, const std::string& fileName);

} // namespace vedris::assessments
