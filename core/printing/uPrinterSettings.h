#pragma once
// The browser's page setup (header, footer and margins) as a snapshot that is loaded from
// and saved to the per-user page-setup store, and the margins an assessment prescribes in
// its QTI metadata.
//
// The store is an INI file that the browser layer creates with defaults the first time it
// starts and reads whenever it prints; this class only reads and rewrites an existing one.
// Its six values, in section "PageSetup", are texts: "header" and "footer" unchanged, and
// "margin_left", "margin_top", "margin_right", "margin_bottom" in inches, in the number
// format of PageSetupNumber.h (always with ".").
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

#include "printing/PageSetupNumber.h"

namespace vedris {

namespace xml {
class Document;
}

inline constexpr const char* PageSetupSection = "PageSetup";
inline constexpr const char* PageSetupHeaderName = "header";
inline constexpr const char* PageSetupFooterName = "footer";
inline constexpr const char* PageSetupMarginLeftName = "margin_left";
inline constexpr const char* PageSetupMarginTopName = "margin_top";
inline constexpr const char* PageSetupMarginRightName = "margin_right";
inline constexpr const char* PageSetupMarginBottomName = "margin_bottom";

// The margins a freshly created store holds, as text.
inline constexpr const char* DefaultPageSetupMargin = "0.75";

// The store of the current user: $XDG_CONFIG_HOME/vedris/pagesetup.ini, with ~/.config in
// place of an unset, empty or relative XDG_CONFIG_HOME. Reads the environment at each call.
// The empty text when no home folder can be found at all.
std::string PageSetupStorePath();

// Creates the store at path (folders included) holding an empty header and footer and
// margins of 0.75 in, unless a file is already there, which is never touched. The file
// appears whole or not at all. True when this call created it. Raises
// fs::WriteError when it cannot be written. An empty path does nothing.
bool CreatePageSetupStore(const std::string& path);
bool CreatePageSetupStore();

// The store is there but refused a write. The message names the file and the system's
// reason, and says so when the file may be written but its folder may not (every write
// goes through a temporary file beside the store).
class PageSetupStoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TPrinterSettings {
public:
    // The store of PageSetupStorePath(), looked up at each load and save.
    TPrinterSettings() = default;
    // A snapshot over the store at StorePath instead.
    explicit TPrinterSettings(std::string StorePath) : FStorePath(std::move(StorePath)) {}

    std::string Header;
    std::string Footer;
    double MarginLeft = 0;
    double MarginTop = 0;
    double MarginRight = 0;
    double MarginBottom = 0;

    // Fills all six fields from the store when it exists; otherwise they keep their values.
    // A missing value gives the empty text or 0, and so does a margin that is not a number.
    // A failing read raises the INI accessor's error and leaves every field as it was.
    void LoadFromRegistry();
    // Writes all six fields to the store when it exists; an absent store is not created
    // and nothing is written. A refused write raises PageSetupStoreError and writes none
    // of them.
    void SaveToRegistry() const;
    // A save of this snapshot was refused by the store.
    bool StoreRefused() const { return FStoreRefused; }

    // The store this snapshot reads and writes.
    std::string StorePath() const;

private:
    std::string FStorePath;
    mutable bool FStoreRefused = false;
};

// The number in the first fieldentry, in document order, of a qtimetadatafield whose
// fieldlabel is exactly Label: the value of its first child read by the conversion rule of
// PageSetupNumber.h, with "." and the locale's decimal separator (LocaleDecimalSeparator)
// both accepted. 0 for a text that is not a number, a missing field and an empty entry.
double ReadMetadataNumber(const std::string& Label, const xml::Document& Document);
// The same with localSeparator accepted beside "." instead of the locale's separator.
double ReadMetadataNumber(const std::string& Label, const xml::Document& Document,
                          std::string_view localSeparator);

// Loads the assessment's QTI file, puts the four margins of its metadata into PageSetup
// (margin_left, margin_top, margin_right, margin_bottom, in this order) and saves PageSetup
// to its store. A missing or malformed file raises xml::Error before anything changes.
// Once the store has refused PageSetup's save (PageSetupStoreError, reported by the
// caller), later calls leave it alone instead of raising the same error for every page.
void SaveAssessmentMargins(const std::string& AssessmentFileName, TPrinterSettings& PageSetup);

} // namespace vedris
