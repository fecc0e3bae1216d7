#include "QtiChecks.h"

#include <algorithm>
#include <map>

#include "HtmlScan.h"
#include "Messages.h"
#include "QTIDomain/uStorageManager.h"

namespace vedris::assessments {

namespace {

std::string lineOf(xml::Node n) {
    return std::to_string(n.line());
}

// The items of one ident after the first: the client binds each of them, and the results of
// all but the first cannot be found (or are written twice).
void sharedItems(const std::vector<xml::Node>& items, const std::string& file,
                 std::vector<Finding>& out) {
    std::map<std::string, xml::Node> first;
    for (xml::Node item : items) {
        std::string ident = item.attribute("ident");
        if (ident.empty()) {
            out.push_back(
                {item, item.line(), text::format(msg::ItemWithoutIdent, {file, lineOf(item)})});
            continue;
        }
        auto [at, added] = first.emplace(ident, item);
        if (!added)
            out.push_back({item, item.line(),
                           text::format(msg::SharedItemIdent,
                                       {file, lineOf(item), ident, lineOf(at->second)})});
    }
}

// Responses whose controls would carry one name: a submission writes the last control's
// value into both, so one question's answer overwrites the other's.
void sharedNames(const std::vector<xml::Node>& items, const std::string& file,
                 std::vector<Finding>& out) {
    std::map<std::string, xml::Node> first;
    for (xml::Node item : items) {
        for (xml::Node r : item.selectAll(".//response_lid | .//response_str | .//response_num")) {
            std::string name = item.attribute("ident") + "." + r.attribute("ident");
            if (r.attribute("ident").empty())
                out.push_back(
                    {item, r.line(),
                     text::format(msg::ResponseWithoutIdent, {file, lineOf(r), r.name(), name})});
            auto [at, added] = first.emplace(name, r);
            if (!added)
                out.push_back({item, r.line(),
                               text::format(msg::SharedResponseName,
                                           {file, lineOf(r), name, lineOf(at->second)})});
        }
    }
}

bool continuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the valid multi-byte UTF-8 sequence at i; 0 when there is none.
size_t utf8Sequence(const std::string& s, size_t i) {
    auto at = [&](size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    unsigned char c = at(i);
    size_t length = c >= 0xC2 && c <= 0xDF   ? 2
                    : c >= 0xE0 && c <= 0xEF ? 3
                    : c >= 0xF0 && c <= 0xF4 ? 4
                                             : 0;
    if (length == 0)
        return 0;
    // No overlong forms, no surrogates, nothing past U+10FFFF.
    unsigned char second = at(i + 1);
    if ((c == 0xE0 && second < 0xA0) || (c == 0xED && second > 0x9F) ||
        (c == 0xF0 && second < 0x90) || (c == 0xF4 && second > 0x8F))
        return 0;
    for (size_t k = 1; k < length; ++k)
        if (!continuation(at(i + k)))
            return 0;
    return length;
}

// The encoding the XML declaration names, lower-cased; empty when it names none.
std::string declaredEncoding(const std::string& bytes) {
    if (bytes.compare(0, 5, "<?xml") != 0)
        return {};
    std::string declaration = bytes.substr(0, bytes.find("?>"));
    size_t at = declaration.find("encoding");
    if (at == std::string::npos)
        return {};
    size_t open = declaration.find_first_of("\"'", at);
    if (open == std::string::npos)
        return {};
    size_t close = declaration.find(declaration[open], open + 1);
    return asciiLower(declaration.substr(open + 1, close - open - 1));
}

bool eightBit(const std::string& encoding) {
    for (const char* prefix : {"iso-8859", "iso8859", "iso_8859", "latin", "windows-12", "cp12",
                               "koi8", "cp866", "ibm866", "macintosh", "x-mac"})
        if (encoding.rfind(prefix, 0) == 0)
            return true;
    return false;
}

} // namespace

std::vector<Finding> IdentityProblems(const xml::Document& doc, const std::string& fileName,
                                      bool assessmentIdent) {
    std::vector<Finding> out;
    xml::Node root = doc.documentElement();
    xml::Node assessment = root ? root.selectFirst("assessment") : xml::Node();
    if (assessmentIdent && assessment && AssessmentIdentOf(doc, fileName).empty())
        out.push_back({{},
                       assessment.line(),
                       text::format(msg::AssessmentWithoutIdent, {fileName, lineOf(assessment)})});
    std::vector<xml::Node> items = doc.selectAll("//item");
    sharedItems(items, fileName, out);
    sharedNames(items, fileName, out);
    // In the order of the file, as the author reads it.
    std::stable_sort(out.begin(), out.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return out;
}

std::string MisdeclaredEncoding(const std::string& bytes, const std::string& fileName) {
    if (!eightBit(declaredEncoding(bytes)))
        return {};
    size_t first = std::string::npos;
    for (size_t i = 0; i < bytes.size();) {
        if (static_cast<unsigned char>(bytes[i]) < 0x80) {
            ++i;
            continue;
        }
        size_t length = utf8Sequence(bytes, i);
        // One byte that is not UTF-8 and the file really is in its 8-bit encoding: any text
        // in it reads the way the author wrote it.
        if (length == 0)
            return {};
        if (first == std::string::npos)
            first = i;
        i += length;
    }
    if (first == std::string::npos)
        return {};
    int line = 1;
    for (size_t i = 0; i < first; ++i)
        line += bytes[i] == '\n';
    return text::format(msg::MisdeclaredEncoding,
                       {fileName, std::to_string(line), declaredEncoding(bytes)});
}

} // namespace vedris::assessments
