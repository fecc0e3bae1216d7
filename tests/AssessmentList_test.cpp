// The assessment list of the settings and the recognition of a page's name.
#include <gtest/gtest.h>

#include "session/AssessmentList.h"
#include "support/TempDir.h"

using namespace vedris;
using List = std::vector<std::string>;

namespace {

TEST(AssessmentList, SeparatorsAndBlanks) {
    EXPECT_EQ(ParseAssessmentList("test1,test2,test3"), (List{"test1", "test2", "test3"}));
    EXPECT_EQ(ParseAssessmentList("test1, test2,  test3"), (List{"test1", "test2", "test3"}));
    EXPECT_EQ(ParseAssessmentList("test1 test2"), (List{"test1", "test2"}));
    EXPECT_EQ(ParseAssessmentList("\t test1 \r\n"), (List{"test1"}));
    EXPECT_EQ(ParseAssessmentList("test1,,test2"), (List{"test1", "", "test2"}));
    EXPECT_EQ(ParseAssessmentList("test1,"), (List{"test1", ""}));
    // Blanks after the final comma: no final empty entry.
    EXPECT_EQ(ParseAssessmentList("test1, "), (List{"test1"}));
    EXPECT_EQ(ParseAssessmentList(","), (List{"", ""}));
    EXPECT_EQ(ParseAssessmentList(""), List{});
    EXPECT_EQ(ParseAssessmentList("   "), List{});
    EXPECT_EQ(ParseAssessmentList("a , b"), (List{"a", "b"}));
}

TEST(AssessmentList, QuotedNames) {
    EXPECT_EQ(ParseAssessmentList("#test one#"), (List{"test one"}));
    EXPECT_EQ(ParseAssessmentList("#a, b#,c"), (List{"a, b", "c"}));
    EXPECT_EQ(ParseAssessmentList("#it##s#"), (List{"it#s"}));
    EXPECT_EQ(ParseAssessmentList("#open to the end"), (List{"open to the end"}));
    EXPECT_EQ(ParseAssessmentList("##"), (List{""}));
    // Text right after a closing quote starts the next entry.
    EXPECT_EQ(ParseAssessmentList("#a#b"), (List{"a", "b"}));
    // A quote character inside a name is ordinary.
    EXPECT_EQ(ParseAssessmentList("a#b"), (List{"a#b"}));
}

TEST(AssessmentList, WholeSettingIsLowerCasedIncludingCyrillic) {
    EXPECT_EQ(ParseAssessmentList("Test1, АНКЕТА_Школа, #Їжак Ґонта#"),
              (List{"test1", "анкета_школа", "їжак ґонта"}));
    // Letters above 127 are ordinary characters of a name.
    EXPECT_EQ(ParseAssessmentList("тест1 тест2"), (List{"тест1", "тест2"}));
    // Duplicates stay.
    EXPECT_EQ(ParseAssessmentList("a,A,a"), (List{"a", "a", "a"}));
}

TEST(PageName, FileNameWithoutExtensionLowerCased) {
    EXPECT_EQ(PageNameFromPath("/srv/Assessments/Test1.HTM"), "test1");
    EXPECT_EQ(PageNameFromPath("/srv/Assessments/test1.html"), "test1");
    EXPECT_EQ(PageNameFromPath("/srv/Assessments/test1"), "test1");
    EXPECT_EQ(PageNameFromPath("/srv/Assessments/archive.tar.gz"), "archive.tar");
    EXPECT_EQ(PageNameFromPath("/srv/Assessments/ОПИТУВАННЯ.html"), "опитування");
    EXPECT_EQ(PageNameFromPath("C:\\Data\\Test2.html"), "test2");
    EXPECT_EQ(PageNameFromPath("about:blank"), "blank");
    EXPECT_EQ(PageNameFromPath("/srv/Assessments/"), "");
    EXPECT_EQ(PageNameFromPath("/srv/v1.0/page"), "page");
}

TEST(PageName, FirstEqualEntryWins) {
    List list = ParseAssessmentList("a, b, a, ");
    EXPECT_EQ(IndexOfName(list, "a"), 0);
    EXPECT_EQ(IndexOfName(list, "b"), 1);
    EXPECT_EQ(IndexOfName(list, "c"), -1);
    EXPECT_EQ(IndexOfName(List{}, ""), -1);
    EXPECT_EQ(IndexOfName(ParseAssessmentList("a,,b"), ""), 1);
}

} // namespace

TEST(AssessmentFiles, AFileWithCapitalsIsFoundUnderItsLowerCasedName) {
    vedris::test::TempDir dir;
    dir.write("Anketa.XML", "<a/>");
    dir.write("ТЕСТ.xml", "<a/>");
    dir.write("exact.xml", "<a/>");
    dir.write("EXACT.xml", "<a/>");
    const std::string folder = dir.path().string() + "/";
    EXPECT_EQ(FileInFolderIgnoringCase(folder, "anketa.xml"), folder + "Anketa.XML");
    EXPECT_EQ(FileInFolderIgnoringCase(folder, "тест.xml"), folder + "ТЕСТ.xml");
    // The exact name wins over another spelling.
    EXPECT_EQ(FileInFolderIgnoringCase(folder, "exact.xml"), folder + "exact.xml");
    // Nothing matching: the name as asked, so the missing-file message names it.
    EXPECT_EQ(FileInFolderIgnoringCase(folder, "missing.xml"), folder + "missing.xml");
    EXPECT_EQ(FileInFolderIgnoringCase(folder + "no-folder/", "a.xml"), folder + "no-folder/a.xml");
}

TEST(AssessmentFiles, AnEntryWithAFolderInItIsNeverAPath) {
    vedris::test::TempDir dir;
    dir.write("Assessments/anketa.xml", "<a/>");
    dir.write("secret.xml", "<a/>");
    const std::string folder = dir.file("Assessments") + "/";
    EXPECT_EQ(AssessmentFileFor(folder, "anketa"), folder + "anketa.xml");
    for (const std::string& bad : {std::string("../secret"), std::string("../../etc/passwd"),
                                   std::string("a/b"), std::string("..\\secret"), std::string("."),
                                   std::string(".."), std::string("anketa\0/../../secret", 20)}) {
        try {
            AssessmentFileFor(folder, bad);
            ADD_FAILURE() << bad << " was used as a path";
        } catch (const std::runtime_error& e) {
            std::string shown =
                bad.find('\0') == std::string::npos ? bad : "anketa\\0/../../secret";
            EXPECT_NE(std::string(e.what()).find("«" + shown + "»"), std::string::npos) << e.what();
        }
    }
    // The settings text ends at a NUL: what follows it is no entry (and no endless loop).
    EXPECT_EQ(ParseAssessmentList(std::string("a, b\0, ../c", 11)), (List{"a", "b"}));
    EXPECT_EQ(ParseAssessmentList(std::string("\0a", 2)), List{});
}
