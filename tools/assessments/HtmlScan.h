#pragma once
// A small HTML reader for the pages this tool writes and checks: it splits a page into tags
// and text the way a browser's tokenizer does (attribute values decoded, script and style
// content skipped as raw text), and rebuilds untrusted HTML from an allow-list.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/text/AsciiCase.h"

namespace vedris::assessments {

struct HtmlTag {
    std::string name; // lower-cased
    bool end = false; // </name>
    bool selfClosing = false;
    std::vector<std::pair<std::string, std::string>>
        attributes; // names lower-cased, values decoded
    int line = 1;

    // The first attribute of that name (browsers ignore repeats); nullptr when absent.
    const std::string* attribute(const std::string& name) const;
};

// Calls onTag for every start and end tag, in order; onText (when given) for the text between
// them, entity references left as written. Comments, doctypes and the content of raw-text
// elements (script, style, textarea, title, ...) are not reported as text.
void ScanHtml(const std::string& html, const std::function<void(const HtmlTag&)>& onTag,
              const std::function<void(const std::string&)>& onText = {});

// ASCII letters lower-cased, as HTML compares tag, attribute and keyword names.
using text::asciiLower;

// & < > " ' as character references, for text and attribute values.
std::string EscapeHtml(const std::string& text);

// Keeps only harmless markup of material written as HTML: an allow-list of formatting,
// list, table and image tags with a few attributes each; no scripts, no event handlers, no
// styles, no form controls or names that could clash with the page's own; links and images
// only to relative addresses (no scheme, no "//"). Text is kept, and every tag left open is
// closed, so the fragment cannot spill into the rest of the page.
std::string SanitizeHtml(const std::string& html);

// The text of an HTML fragment, tags dropped and references decoded (for option labels).
std::string HtmlToText(const std::string& html);

// True for an address that stays beside the page: no scheme, not rooted, no "..".
bool IsRelativeAddress(const std::string& address);

} // namespace vedris::assessments
