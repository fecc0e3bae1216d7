#include "printing/uPrinterSettings.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "platform/ini/IniFile.h"
#include "platform/xml/XmlDocument.h"
#include "support/TempDir.h"

using namespace vedris;
using vedris::test::readFile;
using vedris::test::TempDir;

namespace {

// Points XDG_CONFIG_HOME at a sandbox for the test and puts the old value back after.
class PrinterSettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            savedXdg_ = old;
        if (const char* old = std::getenv("HOME"))
            savedHome_ = old;
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        store = dir.file("config/vedris/pagesetup.ini");
    }
    void TearDown() override {
        restore("XDG_CONFIG_HOME", savedXdg_);
        restore("HOME", savedHome_);
    }
    static void restore(const char* name, const std::optional<std::string>& value) {
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }

    std::string value(const std::string& name) const {
        return ini::IniFile(store).readString(PageSetupSection, name, "<absent>");
    }
    void writeStore(const std::string& text) const {
        dir.write("config/vedris/pagesetup.ini", text);
    }
    std::string assessment(const std::string& name, const std::string& fields) const {
        return dir.write(name, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                               "<questestinterop><assessment ident=\"A1\" title=\"Анкета\">"
                               "<qtimetadata>" +
                                   fields +
                                   "</qtimetadata><section ident=\"S1\"/></assessment>"
                                   "</questestinterop>\n");
    }
    static std::string field(const std::string& label, const std::string& entry) {
        return "<qtimetadatafield><fieldlabel>" + label + "</fieldlabel><fieldentry>" + entry +
               "</fieldentry></qtimetadatafield>";
    }
    static xml::Document metadata(const std::string& fields) {
        return xml::Document::parse("<questestinterop><assessment><qtimetadata>" + fields +
                                    "</qtimetadata></assessment></questestinterop>");
    }

    TempDir dir;
    std::string store;

private:
    std::optional<std::string> savedXdg_, savedHome_;
};

const char* UserStore = "[PageSetup]\n"
                        "header=&w&bPage &p of &P\n"
                        "footer=&u&b&d\n"
                        "margin_left=0.750000\n"
                        "margin_top=0.750000\n"
                        "margin_right=0.5\n"
                        "margin_bottom=1\n";

// Switches LC_NUMERIC to an installed locale whose decimal separator is a comma, for the
// scope; active() is false when the machine has none.
class CommaLocale {
public:
    CommaLocale() : saved_(std::setlocale(LC_NUMERIC, nullptr)) {
        for (const char* name : {"uk_UA.UTF-8", "uk_UA.utf8", "ru_RU.UTF-8", "de_DE.UTF-8",
                                 "fr_FR.UTF-8", "uk_UA", "de_DE"}) {
            if (std::setlocale(LC_NUMERIC, name) &&
                std::string(localeconv()->decimal_point) == ",") {
                active_ = true;
                return;
            }
        }
        std::setlocale(LC_NUMERIC, saved_.c_str());
    }
    ~CommaLocale() { std::setlocale(LC_NUMERIC, saved_.c_str()); }
    bool active() const { return active_; }

private:
    std::string saved_;
    bool active_ = false;
};

} // namespace

TEST_F(PrinterSettingsTest, StorePathFollowsXdgConfigHome) {
    EXPECT_EQ(PageSetupStorePath(), store);
    EXPECT_EQ(TPrinterSettings().StorePath(), store);
    EXPECT_EQ(TPrinterSettings("/elsewhere/ps.ini").StorePath(), "/elsewhere/ps.ini");

    setenv("HOME", "/home/candidate", 1);
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(PageSetupStorePath(), "/home/candidate/.config/vedris/pagesetup.ini");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(PageSetupStorePath(), "/home/candidate/.config/vedris/pagesetup.ini");
    setenv("XDG_CONFIG_HOME", "relative/config", 1); // not an absolute path: ignored
    EXPECT_EQ(PageSetupStorePath(), "/home/candidate/.config/vedris/pagesetup.ini");
}

TEST_F(PrinterSettingsTest, AbsentStoreIsNeitherReadNorCreated) {
    TPrinterSettings settings;
    settings.Header = "h";
    settings.Footer = "f";
    settings.MarginLeft = 1.5;
    settings.MarginBottom = 2;
    settings.LoadFromRegistry();
    EXPECT_EQ(settings.Header, "h");
    EXPECT_EQ(settings.Footer, "f");
    EXPECT_EQ(settings.MarginLeft, 1.5);
    EXPECT_EQ(settings.MarginTop, 0);
    EXPECT_EQ(settings.MarginBottom, 2);

    settings.SaveToRegistry();
    EXPECT_FALSE(std::filesystem::exists(dir.file("config")));
}

TEST_F(PrinterSettingsTest, PresentStoreIsReadWhole) {
    writeStore("; the user's own setup\n"
               "[Other]\nheader=wrong\n"
               "[pagesetup]\n"
               "Header = \"  quoted  \"\n"
               "footer=Сторінка &p\n"
               "margin_left=0.750000\n"
               "margin_top=none\n"
               "margin_right=\t1\n" // blanks around a value are the INI file's, not ours
               "margin_bottom=1,5\n");
    TPrinterSettings settings;
    settings.MarginTop = 9; // a value that is not a number replaces it with 0
    settings.LoadFromRegistry();
    EXPECT_EQ(settings.Header, "  quoted  ");
    EXPECT_EQ(settings.Footer, "Сторінка &p");
    EXPECT_EQ(settings.MarginLeft, 0.75);
    EXPECT_EQ(settings.MarginTop, 0);
    EXPECT_EQ(settings.MarginRight, 1);
    EXPECT_EQ(settings.MarginBottom, 0); // the store always uses "."

    writeStore("[PageSetup]\nmargin_top=2\n");
    settings.LoadFromRegistry();
    EXPECT_EQ(settings.Header, "");
    EXPECT_EQ(settings.Footer, "");
    EXPECT_EQ(settings.MarginLeft, 0);
    EXPECT_EQ(settings.MarginTop, 2);
}

TEST_F(PrinterSettingsTest, SaveWritesTheNumberFormatWithAPoint) {
    writeStore("[PageSetup]\nmargin_left=7\n");
    TPrinterSettings settings(store);
    settings.Header = "&w";
    settings.MarginLeft = 0.75;
    settings.MarginTop = 1e-5;
    settings.MarginRight = 1234567890123456.0;
    settings.MarginBottom = -0.0001;
    {
        CommaLocale comma; // the store gets "." even under a comma locale
        settings.SaveToRegistry();
    }
    EXPECT_EQ(value("header"), "&w");
    EXPECT_EQ(value("footer"), "");
    EXPECT_EQ(value("margin_left"), "0.75");
    EXPECT_EQ(value("margin_top"), "1E-5");
    EXPECT_EQ(value("margin_right"), "1.23456789012346E15");
    EXPECT_EQ(value("margin_bottom"), "-0.0001");

    // Saving the same values again leaves the file alone rather than rewriting it.
    struct stat before {};
    ASSERT_EQ(stat(store.c_str(), &before), 0);
    settings.SaveToRegistry();
    struct stat after {};
    ASSERT_EQ(stat(store.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST_F(PrinterSettingsTest, CreatedStoreHoldsDefaultsAndAnExistingOneIsKept) {
    EXPECT_TRUE(CreatePageSetupStore());
    EXPECT_EQ(value("header"), "");
    EXPECT_EQ(value("footer"), "");
    for (const char* name : {"margin_left", "margin_top", "margin_right", "margin_bottom"})
        EXPECT_EQ(value(name), "0.75") << name;
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("config/vedris")),
                            std::filesystem::directory_iterator()),
              1);

    writeStore(UserStore);
    EXPECT_FALSE(CreatePageSetupStore());
    EXPECT_EQ(readFile(store), UserStore);
    EXPECT_FALSE(CreatePageSetupStore(""));
}

TEST_F(PrinterSettingsTest, LoadApplyRestoreRoundTrip) {
    writeStore(UserStore);
    std::string qti =
        assessment("Test.xml", field("margin_left", "0.5") + field("margin_top", "1") +
                                   field("margin_right", "0.5") + field("margin_bottom", "1"));

    TPrinterSettings saved;
    saved.LoadFromRegistry();
    EXPECT_EQ(saved.Header, "&w&bPage &p of &P");
    EXPECT_EQ(saved.MarginLeft, 0.75);

    TPrinterSettings page;
    SaveAssessmentMargins(qti, page);
    EXPECT_EQ(page.MarginTop, 1);
    EXPECT_EQ(value("header"), "");
    EXPECT_EQ(value("footer"), "");
    EXPECT_EQ(value("margin_left"), "0.5");
    EXPECT_EQ(value("margin_top"), "1");
    EXPECT_EQ(value("margin_right"), "0.5");
    EXPECT_EQ(value("margin_bottom"), "1");

    SaveAssessmentMargins(qti, page); // a second page of the same assessment
    saved.SaveToRegistry();
    EXPECT_EQ(value("header"), "&w&bPage &p of &P");
    EXPECT_EQ(value("footer"), "&u&b&d");
    EXPECT_EQ(value("margin_left"), "0.75");
    EXPECT_EQ(value("margin_top"), "0.75");
    EXPECT_EQ(value("margin_right"), "0.5");
    EXPECT_EQ(value("margin_bottom"), "1");
}

TEST_F(PrinterSettingsTest, AwkwardHeadersComeBackAsTheyWere) {
    std::string qti =
        assessment("Test.xml", field("margin_left", "0.5") + field("margin_top", "1") +
                                   field("margin_right", "0.5") + field("margin_bottom", "1"));
    const std::vector<std::string> names = {"header",     "footer",       "margin_left",
                                            "margin_top", "margin_right", "margin_bottom"};
    // A stray carriage return, blanks around a value, quotes kept or needed.
    for (const std::string& text :
         {std::string("[PageSetup]\nheader=&w\r&bPage\nfooter=\"  &d  \"\n"),
          std::string("[PageSetup]\r\nheader=  &w&b  \r\nfooter='\"quoted\"'\r\n"),
          std::string("[ PageSetup ]\nheader=\"\"\nfooter=' '\n")}) {
        writeStore(text + "margin_left=0.75\nmargin_top=0.75\nmargin_right=0.5\nmargin_bottom=1\n");
        std::vector<std::string> before;
        for (const auto& name : names)
            before.push_back(value(name));

        TPrinterSettings saved;
        saved.LoadFromRegistry();
        TPrinterSettings page;
        SaveAssessmentMargins(qti, page);
        ASSERT_EQ(value("margin_top"), "1") << text;
        saved.SaveToRegistry();

        std::vector<std::string> after;
        for (const auto& name : names)
            after.push_back(value(name));
        EXPECT_EQ(after, before) << text;
    }
}

TEST_F(PrinterSettingsTest, StoreAbsentAtStartPresentAtEndGetsEmptyValues) {
    TPrinterSettings saved;
    saved.LoadFromRegistry();
    ASSERT_TRUE(CreatePageSetupStore());
    saved.SaveToRegistry();
    EXPECT_EQ(value("header"), "");
    EXPECT_EQ(value("footer"), "");
    for (const char* name : {"margin_left", "margin_top", "margin_right", "margin_bottom"})
        EXPECT_EQ(value(name), "0") << name;
}

TEST_F(PrinterSettingsTest, UnreadableAssessmentLeavesTheStoreAlone) {
    writeStore(UserStore);
    TPrinterSettings page;
    EXPECT_THROW(SaveAssessmentMargins(dir.file("Missing.xml"), page), xml::Error);
    std::string broken = dir.write("Broken.xml", "<questestinterop><qtimetadata>");
    try {
        SaveAssessmentMargins(broken, page);
        ADD_FAILURE() << "a broken assessment was read";
    } catch (const xml::Error& e) {
        // Which file, in which step, then the engine's own line.
        std::string msg = e.what();
        EXPECT_EQ(msg.rfind("Не вдалося прочитати поля друку з файлу з описом анкети " + broken +
                                ".\n" + broken + ":1:",
                            0),
                  0u)
            << msg;
    }
    EXPECT_EQ(readFile(store), UserStore);
}

TEST_F(PrinterSettingsTest, MetadataNumbers) {
    xml::Document doc = metadata(
        field("margin_left", "0.5") + field("margin_left", "2") + field("margin_top", "none") +
        field("margin_right", " 1.25 ") + field("margin_bottom", "") + field("margin_top ", "3") +
        field("gutter", "\n0.5\n") + field("a\"b'c", "4") +
        "<qtimetadatafield><fieldlabel>odd</fieldlabel><fieldentry><![CDATA[6]]></fieldentry>"
        "</qtimetadatafield>");
    EXPECT_EQ(ReadMetadataNumber("margin_left", doc, ""), 0.5); // first in document order
    EXPECT_EQ(ReadMetadataNumber("margin_top", doc, ""), 0);    // not a number
    EXPECT_EQ(ReadMetadataNumber("margin_right", doc, ""), 1.25);
    EXPECT_EQ(ReadMetadataNumber("margin_bottom", doc, ""), 0); // empty entry
    EXPECT_EQ(ReadMetadataNumber("margin_gutter", doc, ""), 0); // no such field
    EXPECT_EQ(ReadMetadataNumber("gutter", doc, ""), 0);        // line breaks fail
    EXPECT_EQ(ReadMetadataNumber("a\"b'c", doc, ""), 4);        // quotes are quoted
    EXPECT_EQ(ReadMetadataNumber("\"] | //fieldentry | x[\"", doc, ""), 0);
    EXPECT_EQ(ReadMetadataNumber("odd", doc, ""), 6);

    // The first field may stand in another metadata block.
    xml::Document two = xml::Document::parse(
        "<questestinterop><assessment><qtimetadata>" + field("margin_left", "0.25") +
        "</qtimetadata><section><qtimetadata>" + field("margin_left", "3") +
        "</qtimetadata></section></assessment></questestinterop>");
    EXPECT_EQ(ReadMetadataNumber("margin_left", two), 0.25);
}

TEST_F(PrinterSettingsTest, MetadataTakesThePointAndTheLocaleSeparator) {
    xml::Document doc =
        metadata(field("point", "0.5") + field("comma", "0,5") + field("both", "1.5,5"));
    EXPECT_EQ(ReadMetadataNumber("point", doc, ","), 0.5);
    EXPECT_EQ(ReadMetadataNumber("comma", doc, ","), 0.5);
    EXPECT_EQ(ReadMetadataNumber("both", doc, ","), 0);
    EXPECT_EQ(ReadMetadataNumber("comma", doc, "."), 0);
    EXPECT_EQ(ReadMetadataNumber("comma", doc, ""), 0);

    // The program's own locale here is "C", whose separator is the point.
    EXPECT_EQ(LocaleDecimalSeparator(), ".");
    EXPECT_EQ(ReadMetadataNumber("point", doc), 0.5);
    EXPECT_EQ(ReadMetadataNumber("comma", doc), 0);
}

TEST_F(PrinterSettingsTest, CommaLocaleReadsBothSeparatorsAndStoresAPoint) {
    writeStore(UserStore);
    std::string qti =
        assessment("Test.xml", field("margin_left", "0.5") + field("margin_top", "0,25") +
                                   field("margin_right", "1") + field("margin_bottom", "1,5E-5"));
    CommaLocale comma;
    if (!comma.active())
        GTEST_SKIP() << "no locale with a decimal comma is installed";
    EXPECT_EQ(LocaleDecimalSeparator(), ",");
    EXPECT_EQ(FormatPageSetupNumber(0.5), "0.5");

    TPrinterSettings page;
    SaveAssessmentMargins(qti, page);
    EXPECT_EQ(value("margin_left"), "0.5");
    EXPECT_EQ(value("margin_top"), "0.25");
    EXPECT_EQ(value("margin_right"), "1");
    EXPECT_EQ(value("margin_bottom"), "1.5E-5");

    // The store itself is read with "." only, so a restore is exact under any locale.
    TPrinterSettings saved;
    saved.LoadFromRegistry();
    EXPECT_EQ(saved.MarginTop, 0.25);
    EXPECT_EQ(saved.MarginBottom, 1.5e-5);
}
