#include "printing/uPrinterSettings.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <pwd.h>
#include <unistd.h>
#include <vector>

#include "Texts.h"
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
    return texts::PageSetupStoreNotCreated + path + ": " + std::strerror(err);
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
std::optional<ini::IniFile> OpenStore(const std::string& path) {
    if (path.empty())
        return std::nullopt;
    ini::IniFile store(path);
    if (!store.exists() || ::access(store.path().c_str(), R_OK | W_OK) != 0)
        return std::nullopt;
    return store;
}

std::string StoreRefusedMessage(const std::string& path, const ini::IniError& error) {
    std::error_code ec;
    std::filesystem::path file = std::filesystem::weakly_canonical(path, ec);
    if (ec)
        file = path;
    const std::string folder = file.parent_path().string();
    std::string text = texts::StoreNotWritten + path;
    if (::access(file.c_str(), W_OK) == 0 && ::access(folder.c_str(), W_OK | X_OK) != 0)
        text += texts::StoreFolderNotWritable1 + folder + texts::StoreFolderNotWritable2;
    return text + " (" + (error.cause().empty() ? error.what() : error.cause()) + ")";
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
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) {
        std::filesystem::create_directories(folder, ec);
        if (ec)
            throw fs::WriteError(CreateError(path, ec.value()));
    }

    // Created whole or not at all, and never over a store another instance made meanwhile;
    // the browser never reads a half-written one.
    try {
        return fs::createFileAtomically(path, DefaultStoreText());
    } catch (const fs::WriteError& e) {
        throw fs::WriteError(CreateError(path, e.code()), e.code());
    }
}

bool CreatePageSetupStore() {
    return CreatePageSetupStore(PageSetupStorePath());
}

std::string TPrinterSettings::StorePath() const {
    return FStorePath.empty() ? PageSetupStorePath() : FStorePath;
}

void TPrinterSettings::LoadFromRegistry() {
    std::optional<ini::IniFile> opened = OpenStore(StorePath());
    if (!opened)
        return;
    const ini::IniFile& store = *opened;
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
    const std::string path = StorePath();
    std::optional<ini::IniFile> opened = OpenStore(path);
    if (!opened)
        return;
    ini::IniFile& store = *opened;
    std::vector<std::pair<std::string, std::string>> changed;
    Put(store, changed, PageSetupHeaderName, Header);
    Put(store, changed, PageSetupFooterName, Footer);
    Put(store, changed, PageSetupMarginLeftName, FormatPageSetupNumber(MarginLeft));
    Put(store, changed, PageSetupMarginTopName, FormatPageSetupNumber(MarginTop));
    Put(store, changed, PageSetupMarginRightName, FormatPageSetupNumber(MarginRight));
    Put(store, changed, PageSetupMarginBottomName, FormatPageSetupNumber(MarginBottom));
    // One write: the browser never prints with half the values of one setup and half of
    // another.
    try {
        store.writeStrings(PageSetupSection, changed);
    } catch (const ini::IniError& e) {
        FStoreRefused = true;
        throw PageSetupStoreError(StoreRefusedMessage(path, e));
    }
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
            throw xml::Error(texts::StepReadMargins + AssessmentFileName + ".\n" + e.what());
        }
    }();
    // Read as the storage manager reads it: the metadata of a namespaced export too.
    document.dropElementNamespaces();
    std::string separator = LocaleDecimalSeparator();
    PageSetup.MarginLeft = ReadMetadataNumber(PageSetupMarginLeftName, document, separator);
    PageSetup.MarginTop = ReadMetadataNumber(PageSetupMarginTopName, document, separator);
    PageSetup.MarginRight = ReadMetadataNumber(PageSetupMarginRightName, document, separator);
    PageSetup.MarginBottom = ReadMetadataNumber(PageSetupMarginBottomName, document, separator);
    if (!PageSetup.StoreRefused())
        PageSetup.SaveToRegistry();
}

} // namespace vedris
