#pragma once
// INI files read and written the way the Windows private-profile functions do it:
// case-insensitive section and key names, the first match wins, blanks around a value
// dropped, one pair of matching quotes removed, at most 2047 characters returned.
// Nothing is cached: every read goes to the file.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vedris::ini {

class IniError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    IniError(const std::string& message, std::string cause)
        : std::runtime_error(message), cause_(std::move(cause)) {}
    // For a failed write: the system's account of it (which file, and why), or empty.
    const std::string& cause() const { return cause_; }

private:
    std::string cause_;
};

// Section, key and setting names compare this way: ASCII letters without regard to case,
// everything else exactly.
bool sameNameIgnoringAsciiCase(std::string_view a, std::string_view b);

class IniFile {
public:
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }
    bool exists() const;

    // The value of key in section; nullopt when the file, the section or the key is
    // missing. A key present with an empty value gives the empty text.
    std::optional<std::string> read(const std::string& section, const std::string& key) const;
    // read(), with def for a missing file, section or key.
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def) const;
    // Creates the file, the section and the key as needed and replaces an existing value.
    // The value is quoted where needed (blanks at its ends, quotes around it, or quotes
    // around the value it replaces), so that read() gives back exactly what was written.
    // A line break in it is refused. Raises IniError "Unable to write to <path>" when the
    // file cannot be written.
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    // Several keys of one section in a single durable write: either all of them reach the
    // file or none does.
    void writeStrings(const std::string& section,
                      const std::vector<std::pair<std::string, std::string>>& values);

private:
    std::string path_;
};

} // namespace vedris::ini
