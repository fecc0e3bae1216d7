#include "platform/ini/IniFile.h"

#include <filesystem>
#include <optional>
#include <string_view>
#include <utility>

#include "Texts.h"
#include "platform/fs/AtomicFile.h"
#include "platform/text/AsciiCase.h"

namespace vedris::ini {

bool sameNameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return text::sameIgnoringAsciiCase(a, b);
}
namespace {

// Longest value a read hands out, in characters, as the private-profile functions do
// with the usual 2048-character buffer.
constexpr std::size_t MaxValueChars = 2047;

// Blanks as the profile functions see them: ASCII white space and the old end-of-file mark.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '\x1a';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// One line of the file, with offsets into the whole text so that a write can change
// exactly the bytes it means to and leave everything else as it was.
struct Line {
    enum Kind { Blank, Comment, Section, Entry, Other };
    Kind kind = Blank;
    std::size_t begin = 0;      // first byte of the line
    std::size_t contentEnd = 0; // first byte of the line terminator (or the end of the text)
    std::size_t end = 0;        // first byte after the terminator
    std::string_view name;      // section name or key
    std::size_t valueBegin = 0; // for an entry: first byte of the value after the blanks
    std::string_view value;     // for an entry: the value without surrounding blanks
};

// Splits the text into lines at "\n", "\r\n" and a lone "\r" (old Mac files, or one stray in
// a hand-edited file). A value therefore never holds a line break, so whatever a read gives
// can be written back, and writing it back leaves the rest of the line as it was.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {
        // A UTF-8 byte order mark is not part of the first line.
        if (text_.substr(0, 3) == "\xEF\xBB\xBF")
            pos_ = 3;
    }

    bool next(Line& line) {
        if (pos_ >= text_.size())
            return false;
        line = Line{};
        line.begin = pos_;
        std::size_t brk = text_.find_first_of("\r\n", pos_);
        if (brk == std::string_view::npos) {
            line.contentEnd = line.end = text_.size();
        } else {
            line.contentEnd = brk;
            line.end = brk + 1;
            if (text_[brk] == '\r' && line.end < text_.size() && text_[line.end] == '\n')
                ++line.end;
        }
        pos_ = line.end;
        classify(line);
        return true;
    }

private:
    void classify(Line& line) const {
        std::string_view raw = text_.substr(line.begin, line.contentEnd - line.begin);
        std::string_view content = trim(raw);
        if (content.empty()) {
            line.kind = Line::Blank;
            return;
        }
        if (content.front() == ';') {
            line.kind = Line::Comment;
            return;
        }
        if (content.front() == '[') {
            // The name runs to the last "]"; anything after it is ignored. Without a "]"
            // the line is no section header.
            std::size_t close = content.rfind(']');
            if (close != std::string_view::npos) {
                line.kind = Line::Section;
                line.name = trim(content.substr(1, close - 1));
                return;
            }
        }
        std::size_t eq = content.find('=');
        if (eq == std::string_view::npos) {
            line.kind = Line::Other;
            return;
        }
        line.kind = Line::Entry;
        line.name = trim(content.substr(0, eq));
        std::string_view value = content.substr(eq + 1);
        while (!value.empty() && isBlank(value.front()))
            value.remove_prefix(1);
        line.value = value;
        line.valueBegin = static_cast<std::size_t>(value.data() - text_.data());
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// Where a section and a key lie in the text. Only the first section of the name is
// searched, and the first entry of the key in it wins.
struct Location {
    bool sectionFound = false;
    std::size_t sectionLastLineEnd = 0;    // end of the last non-blank line of the section
    bool sectionLastLineTerminated = true; // whether that line has a line terminator
    bool entryFound = false;
    Line entry;
};

Location locate(std::string_view text, std::string_view section, std::string_view key) {
    Location loc;
    LineReader reader(text);
    Line line;
    bool inSection = false;
    while (reader.next(line)) {
        if (line.kind == Line::Section) {
            if (inSection)
                break;
            if (!loc.sectionFound && sameNameIgnoringAsciiCase(line.name, section)) {
                inSection = true;
                loc.sectionFound = true;
                loc.sectionLastLineEnd = line.end;
                loc.sectionLastLineTerminated = line.end != line.contentEnd;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (line.kind != Line::Blank) {
            loc.sectionLastLineEnd = line.end;
            loc.sectionLastLineTerminated = line.end != line.contentEnd;
        }
        if (line.kind == Line::Entry && sameNameIgnoringAsciiCase(line.name, key)) {
            loc.entryFound = true;
            loc.entry = line;
            return loc;
        }
    }
    return loc;
}

// The line terminator the file already uses, so that added lines match the rest.
std::string lineBreakOf(std::string_view text) {
    std::size_t nl = text.find('\n');
    if (nl != std::string_view::npos)
        return (nl > 0 && text[nl - 1] == '\r') ? "\r\n" : "\n";
    if (text.find('\r') != std::string_view::npos)
        return "\r";
    return "\n";
}

// Removes one pair of matching quotes and cuts the value to MaxValueChars characters of
// UTF-8 text (counting characters, not bytes, so that no character is cut in half).
std::string finishValue(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value.remove_prefix(1);
        value.remove_suffix(1);
    }
    std::size_t chars = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        bool continuation = (static_cast<unsigned char>(value[i]) & 0xC0) == 0x80;
        if (!continuation && ++chars > MaxValueChars) {
            value = value.substr(0, i);
            break;
        }
    }
    return std::string(value);
}

enum class ReadResult { Ok, Missing, Failed };

// The whole file. Missing covers an absent file or folder; a folder at the path, or a
// file that cannot be read, is Failed.
ReadResult readWhole(const std::string& path, std::string& out) {
    out.clear();
    try {
        std::optional<std::string> text = fs::readFileIfPresent(path);
        if (!text)
            return ReadResult::Missing;
        out = std::move(*text);
        return ReadResult::Ok;
    } catch (const fs::WriteError&) {
        return ReadResult::Failed;
    }
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

bool IniFile::exists() const {
    std::error_code ec;
    return std::filesystem::is_regular_file(path_, ec);
}

std::optional<std::string> IniFile::read(const std::string& section, const std::string& key) const {
    std::string_view sectionName = trim(section);
    std::string_view keyName = trim(key);
    if (sectionName.empty() || keyName.empty())
        return std::nullopt;
    // Whatever keeps the file from being read counts as a missing file, as with the
    // profile functions: the caller's default applies.
    std::string text;
    if (readWhole(path_, text) != ReadResult::Ok)
        return std::nullopt;
    Location loc = locate(text, sectionName, keyName);
    if (!loc.entryFound)
        return std::nullopt;
    return finishValue(loc.entry.value);
}

std::string IniFile::readString(const std::string& section, const std::string& key,
                                const std::string& def) const {
    std::optional<std::string> value = read(section, key);
    return value ? *value : def;
}

void IniFile::writeString(const std::string& section, const std::string& key,
                          const std::string& value) {
    writeStrings(section, {{key, value}});
}

namespace {

bool isQuote(char c) {
    return c == '"' || c == '\'';
}

bool enclosedInQuotes(std::string_view s) {
    return s.size() >= 2 && isQuote(s.front()) && s.back() == s.front();
}

// The value as it goes into the file, so that a read gives it back unchanged: a value with
// blanks at either end, or one that is itself enclosed in quotes, is put between quotes
// (the read strips exactly one pair). A value that was quoted in the file keeps its quotes,
// so the administrator's spelling survives a change and a change back.
std::string spelled(std::string_view value, std::string_view old) {
    char quote = 0;
    if (enclosedInQuotes(old))
        quote = old.front();
    else if (!value.empty() &&
             (isBlank(value.front()) || isBlank(value.back()) || enclosedInQuotes(value)))
        quote = '"';
    if (!quote)
        return std::string(value);
    return quote + std::string(value) + quote;
}

// The file's text with one key of section set to value, created as needed.
std::string withValue(const std::string& text, std::string_view sectionName,
                      std::string_view keyName, const std::string& raw) {
    Location loc = locate(text, sectionName, keyName);
    const std::string lineBreak = lineBreakOf(text);
    const std::string value = spelled(raw, loc.entryFound ? loc.entry.value : std::string_view());
    std::string updated;
    if (loc.entryFound) {
        // Only the value changes; the key's spelling, the blanks before the value and the
        // line terminator stay.
        updated = text.substr(0, loc.entry.valueBegin) + value + text.substr(loc.entry.contentEnd);
    } else if (loc.sectionFound) {
        std::string entry = std::string(keyName) + "=" + value + lineBreak;
        if (!loc.sectionLastLineTerminated)
            entry = lineBreak + entry;
        updated = text;
        updated.insert(loc.sectionLastLineEnd, entry);
    } else {
        updated = text;
        bool onlyMark = updated == "\xEF\xBB\xBF";
        if (!updated.empty() && !onlyMark && updated.back() != '\n' && updated.back() != '\r')
            updated += lineBreak;
        updated += "[" + std::string(sectionName) + "]" + lineBreak;
        updated += std::string(keyName) + "=" + value + lineBreak;
    }
    return updated;
}

} // namespace

void IniFile::writeStrings(const std::string& section,
                           const std::vector<std::pair<std::string, std::string>>& values) {
    std::string_view sectionName = trim(section);
    // A line break would split the entry and plant lines of the caller's making in the
    // file; a "]" or "=" in the names, or a leading ";" or "[" in the key, would make a line
    // that reads back as something else.
    if (sectionName.empty() || hasLineBreak(sectionName) ||
        sectionName.find(']') != std::string_view::npos)
        throw IniError(texts::IniBadSection + section + "\"");
    for (const auto& [key, value] : values) {
        std::string_view keyName = trim(key);
        if (keyName.empty() || hasLineBreak(keyName) ||
            keyName.find('=') != std::string_view::npos || keyName.front() == ';' ||
            keyName.front() == '[')
            throw IniError(texts::IniBadKey + key + "\"");
        if (hasLineBreak(value))
            throw IniError(texts::IniValueOfKey + key + texts::IniLineBreak);
    }
    if (values.empty())
        return;

    std::error_code ec;
    const std::string failure =
        "Unable to write to " + std::filesystem::absolute(path_, ec).string();

    // Write through a symbolic link to the file it names instead of replacing the link.
    std::string target = path_;
    if (std::filesystem::is_symlink(path_, ec)) {
        auto resolved = std::filesystem::weakly_canonical(path_, ec);
        if (ec)
            throw IniError(failure);
        target = resolved.string();
    }

    std::string text;
    if (readWhole(target, text) == ReadResult::Failed)
        throw IniError(failure);
    for (const auto& [key, value] : values)
        text = withValue(text, sectionName, trim(key), value);

    try {
        fs::writeFileAtomically(target, text);
    } catch (const fs::WriteError& e) {
        throw IniError(failure, e.what());
    }
}

} // namespace vedris::ini
