#include "platform/ini/IniFile.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <vector>

#include "support/TempDir.h"

using vedris::ini::IniError;
using vedris::ini::IniFile;
using vedris::test::readFile;
using vedris::test::TempDir;

namespace {

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// Lowers the largest file this process may write, so that a write fails midway even for
// root; restores the old limit when it goes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = old_;
        lower.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lower);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

std::vector<std::string> filesIn(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(IniFileRead, SectionAndKeyIgnoreAsciiCaseAndFirstMatchWins) {
    TempDir tmp;
    IniFile ini(tmp.write("a.ini", "Orphan=before any section\n"
                                   "[general]\n"
                                   "clientid=first\n"
                                   "CLIENTID=second\n"
                                   "[Other]\n"
                                   "Only=other\n"
                                   "[GENERAL]\n"
                                   "ClientId=third\n"
                                   "Late=in the second General\n"));
    EXPECT_EQ(ini.read("General", "ClientId"), "first");
    EXPECT_EQ(ini.read("gEnErAl", "cLiEnTiD"), "first");
    EXPECT_EQ(ini.read("OTHER", "only"), "other");
    EXPECT_EQ(ini.read("General", "Only"), std::nullopt);
    // Only the first section of a name is searched.
    EXPECT_EQ(ini.read("General", "Late"), std::nullopt);
    EXPECT_EQ(ini.read("General", "Orphan"), std::nullopt);
    // Names asked for with blanks around them are the same names.
    EXPECT_EQ(ini.read(" General ", " ClientId\t"), "first");
}

TEST(IniFileRead, NonAsciiLettersCompareExactly) {
    TempDir tmp;
    IniFile ini(tmp.write("a.ini", "[Розділ]\nНазва=Тест\n"));
    EXPECT_EQ(ini.read("Розділ", "Назва"), "Тест");
    EXPECT_EQ(ini.read("розділ", "Назва"), std::nullopt);
}

TEST(IniFileRead, BlanksAndOnePairOfMatchingQuotesAreDropped) {
    TempDir tmp;
    IniFile ini(tmp.write("a.ini", "[General]\n"
                                   "  Spaced  =  \t value with  inner  blanks \t \n"
                                   "Double=\"quoted value\"\n"
                                   "Single='single'\n"
                                   "Padded=\"  kept inside  \"\n"
                                   "Mismatched=\"open'\n"
                                   "Lone=\"\n"
                                   "EmptyQuotes=\"\"\n"
                                   "Nested=\"\"twice\"\"\n"
                                   "Inner=a \"b\" c\n"
                                   "Equals=a=b=c\n"
                                   "Semicolon=value ; not a comment\n"));
    EXPECT_EQ(ini.read("General", "Spaced"), "value with  inner  blanks");
    EXPECT_EQ(ini.read("General", "Double"), "quoted value");
    EXPECT_EQ(ini.read("General", "Single"), "single");
    EXPECT_EQ(ini.read("General", "Padded"), "  kept inside  ");
    EXPECT_EQ(ini.read("General", "Mismatched"), "\"open'");
    EXPECT_EQ(ini.read("General", "Lone"), "\"");
    EXPECT_EQ(ini.read("General", "EmptyQuotes"), "");
    EXPECT_EQ(ini.read("General", "Nested"), "\"twice\"");
    EXPECT_EQ(ini.read("General", "Inner"), "a \"b\" c");
    EXPECT_EQ(ini.read("General", "Equals"), "a=b=c");
    EXPECT_EQ(ini.read("General", "Semicolon"), "value ; not a comment");
}

TEST(IniFileRead, MissingFileSectionOrKeyDiffersFromEmptyValue) {
    TempDir tmp;
    IniFile none(tmp.file("missing.ini"));
    EXPECT_FALSE(none.exists());
    EXPECT_EQ(none.read("General", "Key"), std::nullopt);
    EXPECT_EQ(none.readString("General", "Key", "def"), "def");
    IniFile inFolderThatIsAFile(tmp.write("plain", "x") + "/a.ini");
    EXPECT_EQ(inFolderThatIsAFile.readString("General", "Key", "def"), "def");

    IniFile ini(tmp.write("a.ini", "[General]\n"
                                   "Empty=\n"
                                   "Blank=   \n"
                                   "NoEquals\n"
                                   "=no key\n"));
    EXPECT_TRUE(ini.exists());
    EXPECT_EQ(ini.readString("Other", "Empty", "def"), "def");
    EXPECT_EQ(ini.readString("General", "Absent", "def"), "def");
    EXPECT_EQ(ini.read("General", "Empty"), "");
    EXPECT_EQ(ini.readString("General", "Empty", "def"), "");
    EXPECT_EQ(ini.readString("General", "Blank", "def"), "");
    EXPECT_EQ(ini.readString("General", "NoEquals", "def"), "def");
    EXPECT_EQ(ini.readString("General", "", "def"), "def");

    IniFile folder(tmp.path().string());
    EXPECT_FALSE(folder.exists());
    EXPECT_EQ(folder.readString("General", "Key", "def"), "def");
}

TEST(IniFileRead, CommentLinesAreSkipped) {
    TempDir tmp;
    IniFile ini(tmp.write("a.ini", "; settings of the client\n"
                                   "[General]\n"
                                   ";Key=commented out\n"
                                   "  ; [Other]\n"
                                   "Key=real\n"
                                   ";After=x\n"
                                   "Next=still General\n"));
    EXPECT_EQ(ini.read("General", "Key"), "real");
    EXPECT_EQ(ini.read("General", "Next"), "still General");
    EXPECT_EQ(ini.read("Other", "Next"), std::nullopt);
    EXPECT_EQ(ini.read("General", "After"), std::nullopt);
}

TEST(IniFileRead, WindowsAndOldMacLineEndsAndByteOrderMark) {
    TempDir tmp;
    IniFile crlf(tmp.write("crlf.ini", "\xEF\xBB\xBF[General]\r\n"
                                       "Key=value\r\n"
                                       "Empty=\r\n"
                                       "Quoted=\"q\"\r\n"
                                       "\r\n"
                                       "[Other]\r\n"
                                       "Last=no line end"));
    EXPECT_EQ(crlf.read("General", "Key"), "value");
    EXPECT_EQ(crlf.read("General", "Empty"), "");
    EXPECT_EQ(crlf.read("General", "Quoted"), "q");
    EXPECT_EQ(crlf.read("Other", "Last"), "no line end");

    IniFile cr(tmp.write("cr.ini", "[General]\rKey=value\rNext=2\r"));
    EXPECT_EQ(cr.read("General", "Key"), "value");
    EXPECT_EQ(cr.read("General", "Next"), "2");

    // A stray carriage return in a file of "\n" lines ends its line too, as an editor shows it.
    IniFile mixed(tmp.write("mixed.ini", "[ General ]\nKey=one\rtwo\nAfter=x\r\rLast=y\n"));
    EXPECT_EQ(mixed.read("General", "Key"), "one");
    EXPECT_EQ(mixed.read("General", "After"), "x");
    EXPECT_EQ(mixed.read("General", "Last"), "y");
    // Blanks inside the brackets are not part of the section's name.
    IniFile spaced(tmp.write("spaced.ini", "[\tgeneral  ]\nClientAssessments=a, b\n"));
    EXPECT_EQ(spaced.read("General", "ClientAssessments"), "a, b");
    spaced.writeString("General", "ClientId", "7");
    EXPECT_EQ(readFile(spaced.path()), "[\tgeneral  ]\nClientAssessments=a, b\nClientId=7\n");
}

TEST(IniFileRead, Utf8TextsAndTheLengthLimitInCharacters) {
    TempDir tmp;
    const std::string longAscii = repeat("x", 3000);
    const std::string longCyrillic = repeat("ж", 3000);
    IniFile ini(tmp.write("a.ini", "[General]\n"
                                   "Name=Тестування знань: ґ, є, ї — 😀\n"
                                   "LongAscii=" +
                                       longAscii + "\nLongCyrillic=" + longCyrillic +
                                       "\nLongQuoted=\"" + longAscii +
                                       "\"\n"
                                       "Exact=" +
                                       repeat("я", 2047) + "\n"));
    EXPECT_EQ(ini.read("General", "Name"), "Тестування знань: ґ, є, ї — 😀");
    EXPECT_EQ(ini.read("General", "LongAscii"), repeat("x", 2047));
    // Characters are counted, so no two-byte letter is cut in half.
    EXPECT_EQ(ini.read("General", "LongCyrillic"), repeat("ж", 2047));
    EXPECT_EQ(ini.read("General", "LongQuoted"), repeat("x", 2047));
    EXPECT_EQ(ini.read("General", "Exact"), repeat("я", 2047));
}

TEST(IniFileRead, EveryReadSeesTheFileAsItIsNow) {
    TempDir tmp;
    IniFile ini(tmp.write("a.ini", "[General]\nKey=old\n"));
    EXPECT_EQ(ini.read("General", "Key"), "old");
    tmp.write("a.ini", "[General]\nKey=new\n");
    EXPECT_EQ(ini.read("General", "Key"), "new");
    std::filesystem::remove(ini.path());
    EXPECT_EQ(ini.read("General", "Key"), std::nullopt);
}

TEST(IniFileWrite, CreatesFileSectionAndKey) {
    TempDir tmp;
    IniFile ini(tmp.file("new.ini"));
    ini.writeString("General", "Key", "value");
    EXPECT_EQ(readFile(ini.path()), "[General]\nKey=value\n");

    ini.writeString("General", "Second", "2");
    ini.writeString("Other", "Third", "3");
    EXPECT_EQ(readFile(ini.path()), "[General]\nKey=value\nSecond=2\n[Other]\nThird=3\n");
    EXPECT_EQ(ini.read("general", "second"), "2");
    EXPECT_EQ(ini.read("OTHER", "third"), "3");
}

TEST(IniFileWrite, ReplacesOnlyTheValueAndKeepsEveryOtherByte) {
    TempDir tmp;
    const std::string before = "; comment kept\r\n"
                               "[general]\r\n"
                               "  CONNECTIONSTRING = old value  \r\n"
                               "ConnectionString=second, never read\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "ConnectionString=other\r\n";
    IniFile ini(tmp.write("a.ini", before));
    ini.writeString("General", "ConnectionString", "нове значення");
    EXPECT_EQ(readFile(ini.path()), "; comment kept\r\n"
                                    "[general]\r\n"
                                    "  CONNECTIONSTRING = нове значення\r\n"
                                    "ConnectionString=second, never read\r\n"
                                    "\r\n"
                                    "[Other]\r\n"
                                    "ConnectionString=other\r\n");
    EXPECT_EQ(ini.read("General", "ConnectionString"), "нове значення");

    ini.writeString("General", "ConnectionString", "");
    EXPECT_EQ(ini.read("General", "ConnectionString"), "");
}

TEST(IniFileWrite, NewKeyGoesAtTheEndOfTheFirstSectionInTheFilesLineEnds) {
    TempDir tmp;
    IniFile crlf(tmp.write("crlf.ini", "[General]\r\nA=1\r\n;note\r\n\r\n[Other]\r\nB=2\r\n"
                                       "[General]\r\nC=3\r\n"));
    crlf.writeString("GENERAL", "New", "x");
    EXPECT_EQ(readFile(crlf.path()), "[General]\r\nA=1\r\n;note\r\nNew=x\r\n\r\n[Other]\r\nB=2\r\n"
                                     "[General]\r\nC=3\r\n");

    IniFile unterminated(tmp.write("u.ini", "[General]\nA=1"));
    unterminated.writeString("General", "B", "2");
    unterminated.writeString("Other", "C", "3");
    EXPECT_EQ(readFile(unterminated.path()), "[General]\nA=1\nB=2\n[Other]\nC=3\n");

    IniFile headerOnly(tmp.write("h.ini", "\xEF\xBB\xBF[General]"));
    headerOnly.writeString("General", "Key", "v");
    EXPECT_EQ(readFile(headerOnly.path()), "\xEF\xBB\xBF[General]\nKey=v\n");
}

TEST(IniFileWrite, LongAndCyrillicValuesAreStoredWhole) {
    TempDir tmp;
    IniFile ini(tmp.file("a.ini"));
    const std::string value = repeat("ї", 3000);
    ini.writeString("Загальні", "Значення", value);
    EXPECT_EQ(readFile(ini.path()), "[Загальні]\nЗначення=" + value + "\n");
    EXPECT_EQ(ini.read("Загальні", "Значення"), repeat("ї", 2047));
}

TEST(IniFileWrite, WhatIsReadCanBeWrittenBackUnchanged) {
    TempDir tmp;
    const std::string before = "[PageSetup]\nheader=&w\r&b\nquoted='  inner blanks  '\n";
    IniFile ini(tmp.write("a.ini", before));
    const std::string header = *ini.read("PageSetup", "header");
    const std::string quoted = *ini.read("PageSetup", "quoted");
    // Emptied and put back, the file is as it was; its quotes stay.
    ini.writeStrings("PageSetup", {{"header", ""}, {"quoted", ""}});
    ini.writeStrings("PageSetup", {{"header", header}, {"quoted", quoted}});
    EXPECT_EQ(readFile(ini.path()), before);

    // Values that a plain line would change go between quotes.
    for (const std::string value : {" lead", "trail\t", "\"both\"", "'x'", "\"", "a \"b\" c"}) {
        ini.writeString("Other", "Key", value);
        EXPECT_EQ(ini.read("Other", "Key"), value) << value;
    }
}

TEST(IniFileWrite, RefusesTextsThatWouldChangeTheFilesStructure) {
    TempDir tmp;
    const std::string before = "[General]\nKey=old\n";
    IniFile ini(tmp.write("a.ini", before));
    EXPECT_THROW(ini.writeString("General", "Key", "line\n[Evil]\nKey=x"), IniError);
    EXPECT_THROW(ini.writeString("General", "Key", "carriage\rreturn"), IniError);
    EXPECT_THROW(ini.writeString("General", "A=B", "v"), IniError);
    EXPECT_THROW(ini.writeString("General", ";Key", "v"), IniError);
    EXPECT_THROW(ini.writeString("General", "", "v"), IniError);
    EXPECT_THROW(ini.writeString("Gen]eral", "Key", "v"), IniError);
    EXPECT_THROW(ini.writeString("Gen\neral", "Key", "v"), IniError);
    EXPECT_EQ(readFile(ini.path()), before);
}

TEST(IniFileWrite, FailureNamesTheAbsolutePathAndLeavesTheFileAlone) {
    TempDir tmp;
    // The folder of the file is a regular file.
    const std::string plain = tmp.write("plain", "not a folder");
    IniFile underFile(plain + "/a.ini");
    try {
        underFile.writeString("General", "Key", "v");
        FAIL() << "no error";
    } catch (const IniError& e) {
        EXPECT_STREQ(e.what(), ("Unable to write to " + plain + "/a.ini").c_str());
    }
    EXPECT_EQ(readFile(plain), "not a folder");

    // The path is a folder.
    std::filesystem::create_directory(tmp.file("dir.ini"));
    tmp.write("dir.ini/inside", "x");
    IniFile folder(tmp.file("dir.ini"));
    EXPECT_THROW(folder.writeString("General", "Key", "v"), IniError);
    EXPECT_EQ(filesIn(tmp.file("dir.ini")), std::vector<std::string>{"inside"});

    // A relative name is reported as an absolute path.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(tmp.path());
    IniFile relative("plain/b.ini");
    std::string message;
    try {
        relative.writeString("General", "Key", "v");
    } catch (const IniError& e) {
        message = e.what();
    }
    std::filesystem::current_path(cwd);
    EXPECT_EQ(message, "Unable to write to " + plain + "/b.ini");
}

TEST(IniFileWrite, AWriteThatFailsMidwayLeavesTheOldFileAndNoLeftovers) {
    TempDir tmp;
    const std::string before = "[General]\nConnectionString=old\n";
    IniFile ini(tmp.write("a.ini", before));
    {
        FileSizeLimit limit(64);
        EXPECT_THROW(ini.writeString("General", "ConnectionString", repeat("z", 200)), IniError);
    }
    EXPECT_EQ(readFile(ini.path()), before);
    EXPECT_EQ(filesIn(tmp.path()), std::vector<std::string>{"a.ini"});
}

TEST(IniFileWrite, WritesThroughASymbolicLink) {
    TempDir tmp;
    const std::string real = tmp.write("real.ini", "[General]\nKey=old\n");
    std::filesystem::create_symlink(real, tmp.file("link.ini"));
    IniFile ini(tmp.file("link.ini"));
    ini.writeString("General", "Key", "new");
    EXPECT_TRUE(std::filesystem::is_symlink(tmp.file("link.ini")));
    EXPECT_EQ(readFile(real), "[General]\nKey=new\n");
}

TEST(IniFileWrite, SeveralKeysGoInOneWriteOrNotAtAll) {
    TempDir dir;
    auto path = dir.write("store.ini", "[PageSetup]\r\nheader=old\r\n");
    IniFile ini(path);
    ini.writeStrings("PageSetup", {{"header", ""}, {"margin_left", "0.5"}, {"margin_top", "1"}});
    EXPECT_EQ(readFile(path), "[PageSetup]\r\nheader=\r\nmargin_left=0.5\r\nmargin_top=1\r\n");

    // One bad value refuses the whole batch: the keys before it are not written either.
    EXPECT_THROW(ini.writeStrings("PageSetup", {{"header", "new"}, {"footer", "a\nb"}}), IniError);
    EXPECT_EQ(ini.readString("PageSetup", "header", "?"), "");
    EXPECT_FALSE(ini.read("PageSetup", "footer"));
}
