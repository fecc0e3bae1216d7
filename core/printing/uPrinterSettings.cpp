#include "printing/uPrinterSettings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/fs/AtomicFile.h"
#include "platform/ini/IniFile.h"
#include "platform/xml/XmlDocument.h"

namespace vedris {

namespace {

// Selects the entries of one metadata field; the label goes in as an XPath literal, so a
// label holding quotes cannot change the expression.
constexpr const char* MetadataFieldFormat =
    "//qtimetadata/qtimetadatafield[./fieldlabel = \"%s\"]/fieldentry";

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    std::vector<char> buf(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buf.data(), buf.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
        return found->pw_dir;
    return {};
}

std::string CreateError(const std::string& path, int err) {
    return "Не вдалося створити файл параметрів сторінки " + path + ": " + std::strerror(err);
}

// Closes a descriptor on every path out of CreatePageSetupStore.
struct FdCloser {
    int fd;
    ~FdCloser() {
        if (fd >= 0)
            ::close(fd);
    }
};

// False with errno set when the data cannot be written whole.
bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno != EINTR)
            return false;
        if (n > 0)
            data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string DefaultStoreText() {
    std::string text = std::string("[") + PageSetupSection + "]\n";
    text += std::string(PageSetupHeaderName) + "=\n";
    text += std::string(PageSetupFooterName) + "=\n";
    for (const char* name : {PageSetupMarginLeftName, PageSetupMarginTopName,
                             PageSetupMarginRightName, PageSetupMarginBottomName})
        text += std::string(name) + "=" + DefaultPageSetupMargin + "\n";
    return text;
}

// Writes a value only when the store does not already hold exactly that text, so that an
// assessment page loaded again does not rewrite the file for nothing.
// Collects the values whose text differs from the store's, so that showing another page of
// the same assessment does not rewrite and sync the file.
void Put(const ini::IniFile& store, std::vector<std::pair<std::string, std::string>>& changed,
         const char* name, const std::string& text) {
    if (store.read(PageSetupSection, name) != text)
        changed.emplace_back(name, text);
}

// The store is used only when it exists and can be both read and written, as a registry
// key opened with full access; otherwise a load leaves the snapshot alone and a save
// writes nothing.
bool CanOpen(const ini::IniFile& store) {
    return store.exists() && ::access(store.path().c_str(), R_OK | W_OK) == 0;
}

} // namespace

std::string PageSetupStorePath() {
    std::string base;
    // Relative values are invalid for XDG_CONFIG_HOME and must be ignored.
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && config[0] == '/') {
        base = config;
    } else {
        std::string home = HomeFolder();
        if (home.empty())
            return {};
        base = home + "/.config";
    }
    return base + "/vedris/pagesetup.ini";
}

bool CreatePageSetupStore(const std::string& path) {
    if (path.empty())
        return false;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return false;
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
        if (ec)
            throw fs::WriteError(CreateError(path, ec.value()));
    }

    // The defaults go to a temporary file first and are then linked in under the real
    // name: link() never replaces an existing file, so a store made meanwhile by another
    // instance survives, and the browser never reads a half-written one.
    std::string temp = path + ".XXXXXX";
    FdCloser file{::mkostemp(temp.data(), O_CLOEXEC)};
    if (file.fd < 0)
        throw fs::WriteError(CreateError(path, errno));
    int err = 0;
    if (!WriteAll(file.fd, DefaultStoreText()) || ::fsync(file.fd) != 0) {
        err = errno;
    } else if (::link(temp.c_str(), path.c_str()) != 0) {
        err = errno;
        // A file system without hard links still gets a whole file, only without the
        // guard against a store made in the same instant.
        if ((err == EPERM || err == ENOTSUP || err == EOPNOTSUPP) &&
            ::rename(temp.c_str(), path.c_str()) == 0)
            err = 0;
    }
    ::unlink(temp.c_str());
    if (err == EEXIST)
        return false;
    if (err != 0)
        throw fs::WriteError(CreateError(path, err));

    FdCloser dir{::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY)};
    if (dir.fd >= 0)
        ::fsync(dir.fd);
    return true;
}

bool CreatePageSetupStore() {
    return CreatePageSetupStore(PageSetupStorePath());
}

std::string TPrinterSettings::StorePath() const {
    return FStorePath.empty() ? PageSetupStorePath() : FStorePath;
}

void TPrinterSettings::LoadFromRegistry() {
    std::string path = StorePath();
    if (path.empty())
        return;
    ini::IniFile store(path);
    if (!CanOpen(store))
        return;
    // Everything is read before anything is assigned, so a failing read leaves the
    // snapshot whole.
    auto text = [&](const char* name) { return store.readString(PageSetupSection, name, ""); };
    auto margin = [&](const char* name) { return PageSetupNumberOrZero(text(name)); };
    std::string header = text(PageSetupHeaderName);
    std::string footer = text(PageSetupFooterName);
    double left = margin(PageSetupMarginLeftName);
    double top = margin(PageSetupMarginTopName);
    double right = margin(PageSetupMarginRightName);
    double bottom = margin(PageSetupMarginBottomName);
    Header = std::move(header);
    Footer = std::move(footer);
    MarginLeft = left;
    MarginTop = top;
    MarginRight = right;
    MarginBottom = bottom;
}

void TPrinterSettings::SaveToRegistry() const {
    std::string path = StorePath();
    if (path.empty())
        return;
    ini::IniFile store(path);
    if (!CanOpen(store))
        return;
    std::vector<std::pair<std::string, std::string>> changed;
    Put(store, changed, PageSetupHeaderName, Header);
    Put(store, changed, PageSetupFooterName, Footer);
    Put(store, changed, PageSetupMarginLeftName, FormatPageSetupNumber(MarginLeft));
    Put(store, changed, PageSetupMarginTopName, FormatPageSetupNumber(MarginTop));
    Put(store, changed, PageSetupMarginRightName, FormatPageSetupNumber(MarginRight));
    Put(store, changed, PageSetupMarginBottomName, FormatPageSetupNumber(MarginBottom));
    // One write: the browser never prints with half the values of one setup and half of
    // another.
    store.writeStrings(PageSetupSection, changed);
}

double ReadMetadataNumber(const std::string& Label, const xml::Document& Document) {
    return ReadMetadataNumber(Label, Document, LocaleDecimalSeparator());
}

double ReadMetadataNumber(const std::string& Label, const xml::Document& Document,
                          std::string_view localSeparator) {
    xml::Node entry = Document.selectFirst(xml::formatXPath(MetadataFieldFormat, {Label}));
    if (!entry)
        return 0;
    return PageSetupNumberOrZero(entry.firstChildValue(), localSeparator);
}

void SaveAssessmentMargins(const std::string& AssessmentFileName, TPrinterSettings& PageSetup) {
    xml::Document document = [&] {
        try {
            return xml::Document::load(AssessmentFileName);
        } catch (const xml::Error& e) {
            // The step first, then every line of the engine's own text.
            throw xml::Error("Не вдалося прочитати поля друку з файлу з описом анкети " +
                             AssessmentFileName + ".\n" + e.what());
        }
    }();
    std::string separator = LocaleDecimalSeparator();
    PageSetup.MarginLeft = ReadMetadataNumber(PageSetupMarginLeftName, document, separator);
    PageSetup.MarginTop = ReadMetadataNumber(PageSetupMarginTopName, document, separator);
    PageSetup.MarginRight = ReadMetadataNumber(PageSetupMarginRightName, document, separator);
    PageSetup.MarginBottom = ReadMetadataNumber(PageSetupMarginBottomName, document, separator);
    PageSetup.SaveToRegistry();
}

} // namespace vedris
