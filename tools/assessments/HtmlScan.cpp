#include "HtmlScan.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <set>

namespace vedris::assessments {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        cp = 0xFFFD;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the references every browser knows the same way; any other "&" stays a plain "&",
// which is the safe reading: it can only make a value longer, never produce a ":" or "<".
std::string decodeReferences(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '&') {
            out += text[i++];
            continue;
        }
        size_t semi = text.find(';', i);
        if (semi != std::string::npos && semi - i <= 10) {
            std::string ref = text.substr(i + 1, semi - i - 1);
            static const std::pair<const char*, uint32_t> named[] = {
                {"amp", '&'},  {"lt", '<'},    {"gt", '>'},
                {"quot", '"'}, {"apos", '\''}, {"nbsp", 0xA0}};
            bool done = false;
            for (const auto& [name, cp] : named)
                if (ref == name) {
                    appendUtf8(out, cp);
                    done = true;
                }
            if (!done && ref.size() > 1 && ref[0] == '#') {
                bool hex = ref[1] == 'x' || ref[1] == 'X';
                std::string digits = ref.substr(hex ? 2 : 1);
                bool ok = !digits.empty() && digits.size() <= 7 &&
                          std::all_of(digits.begin(), digits.end(), [&](char c) {
                              return hex ? std::isxdigit(static_cast<unsigned char>(c))
                                         : (c >= '0' && c <= '9');
                          });
                if (ok) {
                    appendUtf8(out,
                               static_cast<uint32_t>(std::stoul(digits, nullptr, hex ? 16 : 10)));
                    done = true;
                }
            }
            if (done) {
                i = semi + 1;
                continue;
            }
        }
        out += text[i++];
    }
    return out;
}

// Text between tags: "<" and ">" escaped, references kept as written (exports are full of
// &eacute; and &rsquo;, and in text a reference can only ever stand for characters), any
// other "&" escaped.
std::string escapeText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '&') {
            size_t j = i + 1;
            bool numeric = j < text.size() && text[j] == '#';
            bool hex = numeric && j + 1 < text.size() && (text[j + 1] == 'x' || text[j + 1] == 'X');
            j += numeric ? (hex ? 2 : 1) : 0;
            size_t start = j;
            while (j < text.size() && j - start < 32 &&
                   (numeric
                        ? (hex ? std::isxdigit(static_cast<unsigned char>(text[j])) != 0
                               : (text[j] >= '0' && text[j] <= '9'))
                        : (isAlpha(text[j]) || (j > start && text[j] >= '0' && text[j] <= '9'))))
                ++j;
            bool reference = j > start && j < text.size() && text[j] == ';';
            out += reference ? "&" : "&amp;";
        } else {
            out += c;
        }
    }
    return out;
}

int linesIn(const std::string& text, size_t from, size_t to) {
    return static_cast<int>(std::count(text.begin() + static_cast<long>(from),
                                       text.begin() + static_cast<long>(std::min(to, text.size())),
                                       '\n'));
}

const std::set<std::string>& rawTextElements() {
    static const std::set<std::string> names = {"script",   "style",    "textarea", "title",
                                                "xmp",      "iframe",   "noembed",  "noframes",
                                                "noscript", "plaintext"};
    return names;
}

} // namespace

const std::string* HtmlTag::attribute(const std::string& name) const {
    for (const auto& [key, value] : attributes)
        if (key == name)
            return &value;
    return nullptr;
}

void ScanHtml(const std::string& html, const std::function<void(const HtmlTag&)>& onTag,
              const std::function<void(const std::string&)>& onText) {
    size_t i = 0, textStart = 0;
    int line = 1;
    size_t lineCountedTo = 0;
    auto lineAt = [&](size_t pos) {
        line += linesIn(html, lineCountedTo, pos);
        lineCountedTo = pos;
        return line;
    };
    auto flushText = [&](size_t end) {
        if (onText && end > textStart)
            onText(html.substr(textStart, end - textStart));
    };
    const size_t n = html.size();
    while (i < n) {
        if (html[i] != '<') {
            ++i;
            continue;
        }
        if (html.compare(i, 4, "<!--") == 0) {
            flushText(i);
            size_t end = html.find("-->", i + 4);
            i = end == std::string::npos ? n : end + 3;
            textStart = i;
            continue;
        }
        if (i + 1 < n && (html[i + 1] == '!' || html[i + 1] == '?')) {
            flushText(i);
            size_t end = html.find('>', i);
            i = end == std::string::npos ? n : end + 1;
            textStart = i;
            continue;
        }
        bool end = i + 1 < n && html[i + 1] == '/';
        size_t p = i + (end ? 2 : 1);
        if (p >= n || !isAlpha(html[p])) {
            ++i; // a lone "<" is text
            continue;
        }
        flushText(i);
        HtmlTag tag;
        tag.end = end;
        tag.line = lineAt(i);
        size_t nameStart = p;
        while (p < n && !isSpace(html[p]) && html[p] != '/' && html[p] != '>')
            ++p;
        tag.name = asciiLower(html.substr(nameStart, p - nameStart));
        // Attributes, as the tokenizer reads them.
        while (p < n && html[p] != '>') {
            if (isSpace(html[p]) || html[p] == '/') {
                if (html[p] == '/' && p + 1 < n && html[p + 1] == '>')
                    tag.selfClosing = true;
                ++p;
                continue;
            }
            size_t a = p;
            while (p < n && !isSpace(html[p]) && html[p] != '/' && html[p] != '>' &&
                   (html[p] != '=' || p == a))
                ++p;
            std::string name = asciiLower(html.substr(a, p - a));
            while (p < n && isSpace(html[p]))
                ++p;
            std::string value;
            if (p < n && html[p] == '=') {
                ++p;
                while (p < n && isSpace(html[p]))
                    ++p;
                if (p < n && (html[p] == '"' || html[p] == '\'')) {
                    char q = html[p++];
                    size_t close = html.find(q, p);
                    if (close == std::string::npos)
                        close = n;
                    value = html.substr(p, close - p);
                    p = close < n ? close + 1 : n;
                } else {
                    size_t v = p;
                    while (p < n && !isSpace(html[p]) && html[p] != '>')
                        ++p;
                    value = html.substr(v, p - v);
                }
            }
            if (!tag.attribute(name))
                tag.attributes.emplace_back(name, decodeReferences(value));
        }
        i = p < n ? p + 1 : n;
        textStart = i;
        if (!tag.end)
            lineAt(i);
        onTag(tag);
        // A "/>" does not end these elements in a browser either.
        if (!tag.end && rawTextElements().count(tag.name)) {
            // Raw text runs to the element's own end tag; nothing in it is markup.
            std::string lowered = asciiLower(html.substr(i));
            size_t close = lowered.find("</" + tag.name);
            i = close == std::string::npos ? n : i + close;
            textStart = i;
        }
    }
    flushText(n);
}

std::string EscapeHtml(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool IsRelativeAddress(const std::string& address) {
    std::string a;
    for (char c : address)
        if (static_cast<unsigned char>(c) > ' ')
            a += c; // browsers ignore blanks and controls inside a scheme
    if (a.empty() || a[0] == '/' || a[0] == '\\')
        return false;
    size_t end = a.find_first_of("/?#");
    if (a.substr(0, end).find(':') != std::string::npos)
        return false;
    std::string path = a.substr(0, a.find_first_of("?#"));
    std::replace(path.begin(), path.end(), '\\', '/');
    return path != ".." && path.rfind("../", 0) != 0 && path.find("/../") == std::string::npos &&
           (path.size() < 3 || path.compare(path.size() - 3, 3, "/..") != 0);
}

std::string SanitizeHtml(const std::string& html) {
    static const std::set<std::string> allowed = {
        "p",          "br",         "b",     "strong", "i",     "em",    "u",    "s",
        "sub",        "sup",        "span",  "div",    "ul",    "ol",    "li",   "dl",
        "dt",         "dd",         "table", "thead",  "tbody", "tfoot", "tr",   "td",
        "th",         "caption",    "h3",    "h4",     "h5",    "h6",    "pre",  "code",
        "blockquote", "img",        "a",     "small",  "hr",    "q",     "abbr", "cite",
        "figure",     "figcaption", "mark",  "del",    "ins",   "kbd",   "samp", "var"};
    static const std::set<std::string> voids = {"br", "img", "hr"};
    static const std::set<std::string> commonAttributes = {"title", "lang", "dir"};
    static const std::set<std::string> cellAttributes = {"colspan", "rowspan", "scope"};

    std::string out;
    std::vector<std::string> open;
    auto keep = [&](const HtmlTag& tag, const std::string& name, const std::string& value) {
        if (commonAttributes.count(name))
            return true;
        if ((tag.name == "td" || tag.name == "th") && cellAttributes.count(name))
            return true;
        if (tag.name == "img" && (name == "alt" || name == "width" || name == "height"))
            return true;
        if (tag.name == "ol" && (name == "start" || name == "type"))
            return true;
        if ((tag.name == "img" && name == "src") || (tag.name == "a" && name == "href"))
            return IsRelativeAddress(value);
        return false;
    };
    ScanHtml(
        html,
        [&](const HtmlTag& tag) {
            if (!allowed.count(tag.name))
                return;
            if (tag.end) {
                auto it = std::find(open.rbegin(), open.rend(), tag.name);
                if (it == open.rend())
                    return;
                size_t keepOpen = static_cast<size_t>(open.rend() - it) - 1;
                while (open.size() > keepOpen) {
                    out += "</" + open.back() + ">";
                    open.pop_back();
                }
                return;
            }
            out += "<" + tag.name;
            for (const auto& [name, value] : tag.attributes)
                if (keep(tag, name, value))
                    out += " " + name + "=\"" + EscapeHtml(value) + "\"";
            out += ">";
            if (!voids.count(tag.name))
                open.push_back(tag.name);
        },
        [&](const std::string& text) { out += escapeText(text); });
    while (!open.empty()) {
        out += "</" + open.back() + ">";
        open.pop_back();
    }
    return out;
}

std::string HtmlToText(const std::string& html) {
    std::string out;
    ScanHtml(
        html, [](const HtmlTag&) {},
        [&](const std::string& text) { out += decodeReferences(text); });
    return out;
}

} // namespace vedris::assessments
