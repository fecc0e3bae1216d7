// vedris-assessments: the pages it writes must bind exactly as the client binds, the HTML it
// copies out of QTI material must not carry scripts or outside addresses into the client, and
// its checks must catch the mistakes that lose answers.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/wait.h>

#include "HtmlScan.h"
#include "Installation.h"
#include "PageMaker.h"
#include "QTIDomain/uStorageManager.h"
#include "QtiChecks.h"
#include "Resources.h"
#include "Wrap.h"
#include "platform/fs/AtomicFile.h"
#include "platform/html/MemoryFormDocument.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

using namespace vedris;
using namespace vedris::assessments;
using test::readFile;
using test::TempDir;

namespace {

const std::string Samples = VEDRIS_SOURCE_DIR "/tests/data/qti/";

std::string joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines)
        out += l + "\n";
    return out;
}

void replaceIn(const std::string& path, const std::string& from, const std::string& to) {
    std::string text = readFile(path);
    size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    fs::writeFileAtomically(path, text.replace(at, from.size(), to));
}

int run(const std::string& arguments) {
    int status = std::system(
        (VEDRIS_BIN_DIR "/vedris-assessments " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(HtmlMaterial, OnlyHarmlessMarkupSurvives) {
    const std::string hostile =
        "<p onclick=\"x()\" style=\"background:url(http://a)\">Текст <b>жирний</p>"
        "<script>alert(1)</script><SCRIPT src=x></SCRIPT><style>*{}</style>"
        "<a href=\"javascript:alert(1)\">a</a><a href=\" jav&#x61;script&#58;x\">b</a>"
        "<a href=\"//zlo.example/\">c</a><a href=\"http://zlo.example/\">d</a>"
        "<img src=\"https://zlo.example/t.png\" onerror=\"x()\"><img src=\"img/ok.png\" alt=\"ok\">"
        "<input name=\"I1.R1\"><form><iframe src=\"x\">inner</iframe><svg onload=\"x()\">"
        "<a href=\"dalі.html\" name=\"I1.R1\" id=\"z\">e</a><table><tr><td colspan=2>1<!-- c -->"
        "&lt;script&gt; &amp; 2 > 1 caf&eacute; & co<textarea/>x</textarea>y";
    std::string safe = SanitizeHtml(hostile);
    for (const char* banned :
         {"<script", "onclick", "onerror", "onload", "style", "http", "//", "javascript", "<input",
          "<form", "<iframe", "<svg", "name=", "id=", "inner", "<!--"})
        EXPECT_EQ(safe.find(banned), std::string::npos) << banned << " in " << safe;
    for (const char* kept :
         {"Текст <b>жирний</b></p>", "<img src=\"img/ok.png\" alt=\"ok\">",
          "<a href=\"dalі.html\">e</a>", "<td colspan=\"2\">1",
          "&lt;script&gt; &amp; 2 &gt; 1 caf&eacute; &amp; coy</td></tr></table>"})
        EXPECT_NE(safe.find(kept), std::string::npos) << kept << " not in " << safe;
    EXPECT_EQ(HtmlToText("<b>Київ</b> &amp; Львів"), "Київ & Львів");
}

TEST(InstallationFolder, NamesAreSafeUniqueAndNeverTheStartPage) {
    EXPECT_EQ(AssessmentNames(
                  {"a/Анкета.XML", "b/anketa.xml", "Index.xml", "c/Q 1 (v2).xml", "d/q_1_v2.xml"}),
              (std::vector<std::string>{"anketa", "anketa_2", "index_2", "q_1_v2", "q_1_v2_2"}));
}

TEST(InstallationFolder, MadeFolderPassesItsCheckAndTheCheckCatchesWhatLosesAnswers) {
    TempDir dir;
    std::string out = dir.file("install");
    Report made = MakeFolder(out, {Samples + "ims12.xml", Samples + "latin1.xml"});
    EXPECT_EQ(joined(made.problems), "");
    // The slider is noted, not made into a control the client would not store.
    EXPECT_NE(joined(made.warnings).find("I4.R8"), std::string::npos) << joined(made.warnings);
    EXPECT_EQ(readFile(out + "/vedris.ini").find("ClientAssessments=ims12, latin1\n") !=
                  std::string::npos,
              true);
    EXPECT_EQ(readFile(out + "/Assessments/img/mapa.png"), readFile(Samples + "img/mapa.png"));
    EXPECT_EQ(readFile(out + "/Assessments/latin1.xml"), readFile(Samples + "latin1.xml"));
    std::string page = readFile(out + "/Assessments/ims12.html");
    for (const char* control :
         {"<input type=\"radio\" name=\"I1.R1\" value=\"A\">", "type=\"checkbox\" name=\"I2.R3\"",
          "<select name=\"I3.R4\"", "<input type=\"text\" name=\"I3.R5\"",
          "<textarea name=\"I3.R6\"", "<input type=\"text\" name=\"I3.R7\""})
        EXPECT_NE(page.find(control), std::string::npos) << control;
    EXPECT_EQ(page.find("I4.R8"), std::string::npos);
    EXPECT_EQ(joined(CheckFolder(out).problems), "");

    // A second run would overwrite the installation: refused, nothing touched.
    EXPECT_FALSE(MakeFolder(out, {Samples + "latin1.xml"}).problems.empty());
    EXPECT_EQ(readFile(out + "/Assessments/ims12.html"), page);

    // What a hand-edited installation gets wrong.
    const std::string a = out + "/Assessments/";
    replaceIn(a + "ims12.html", "<textarea name=\"I3.R6\"", "<input name=\"I3.R6\"><x");
    replaceIn(a + "ims12.html", "name=\"I3.R5\"", "name=\"I3.R55\"");
    replaceIn(a + "latin1.html", "</form>", "</form><form></form>");
    replaceIn(a + "ims12.html", "<select name=\"I3.R4\" aria-label=\"Список і поля\" size=\"2\"",
              "<select name=\"I3.R4\"");
    replaceIn(a + "index.html", "name=\"form_frame\"", "name=\"frame\"");
    replaceIn(a + "ims12.html", "</form>",
              "</form><input name=\"I3.R7\">\n<iframe src=\"video.html\"></iframe>");
    replaceIn(a + "ims_qtiasi2res.xslt", "<response ident_ref=\"{@ident}\"/>", "");
    std::filesystem::remove(a + "latin1.xml");
    int checked = 0;
    Report check = CheckFolder(out, &checked);
    std::string problems = joined(check.problems);
    EXPECT_EQ(checked, 2);
    const std::string warnings = joined(check.warnings);
    EXPECT_NE(warnings.find(a + "ims12.html: рядок "), std::string::npos) << warnings;
    for (const char* expected : {"поле «I3.R7» стоїть поза формою", ": фрейм усередині"})
        EXPECT_NE(warnings.find(expected), std::string::npos) << expected << "\n" << warnings;
    for (const std::string& expected :
         {a + "ims12.html: рядок 41: поле «I3.R6» — однорядкове текстове поле, а клієнт",
          a + "ims12.html: рядок 40: поле «I3.R55» не відповідає",
          a + "ims12.html: немає полів з назвою «I3.R5» для відповіді з рядка 60",
          a + "latin1.html: на сторінці має бути одна форма, а їх 2",
          a + "ims12.html: рядок 36: список «I3.R4» розкривний",
          a + "index.html: немає фрейму з назвою «form_frame»",
          a + "ims12.xml: рядок 19: результат, створений ims_qtiasi2res.xslt, не містить "
              "item_result «I1» з response «R1»",
          a + ": немає файла з описом анкети «latin1»"})
        EXPECT_NE(problems.find(expected), std::string::npos) << expected << "\n" << problems;
}

TEST(InstallationFolder, AssessmentsSharingAnswerNamesAreReported) {
    // A submission rewrites every response of its name in results.xml, whichever assessment
    // it belongs to.
    TempDir dir;
    Report made = MakeFolder(dir.file("two"), {Samples + "latin1.xml", Samples + "latin1.xml"});
    EXPECT_NE(joined(made.problems)
                  .find("latin1_2.xml: рядок 8: відповідь «L1.R» має таку саму "
                        "назву, як у файлі"),
              std::string::npos)
        << joined(made.problems);
}

TEST(Command, ExitStatusesTellDoneProblemsAndWrongUse) {
    TempDir dir;
    std::string broken = dir.write("broken.xml", "<questestinterop><assessment>");
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(run("page " + Samples + "ims12.xml -o " + dir.file("p.html")), 0);
    EXPECT_NE(readFile(dir.file("p.html")).find("<form"), std::string::npos);
    EXPECT_EQ(run("page " + broken), 1);
    EXPECT_EQ(run("folder " + dir.file("f") + " " + broken), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("f/vedris.ini")));
    EXPECT_EQ(run("check " + dir.file("nothing")), 1);
    // A page that cannot store every answer is written all the same, and said so.
    EXPECT_EQ(run("page " + Samples + "bb_pool.xml -o " + dir.file("bb.html")), 1);
    EXPECT_NE(readFile(dir.file("bb.html")).find("</form>"), std::string::npos);
    EXPECT_EQ(run("check " + Samples + "ims12.xml"), 0);
    EXPECT_EQ(run("check " + Samples + "d2l_quiz.xml"), 1);
    EXPECT_EQ(run("wrap " + Samples + "canvas_bank.xml -o " + dir.file("bank.xml")), 0);
    EXPECT_EQ(run("page " + dir.file("bank.xml") + " --preview -o " + dir.file("bank.html")), 0);
    EXPECT_EQ(run("wrap " + Samples + "ims12.xml -o " + dir.file("not.xml")), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("not.xml")));
    EXPECT_EQ(run("wrap " + Samples + "canvas_bank.xml --ident 'a\"b'"), 2);
    EXPECT_EQ(run(""), 2);
    EXPECT_EQ(run("pages x.xml"), 2);
    EXPECT_EQ(run("page"), 2);
    EXPECT_EQ(run("check a b"), 2);
}

TEST(OtherToolsExports, ItemsThatCannotBeToldApartAreProblemsNamingFileAndLine) {
    const std::map<std::string, std::vector<std::string>> expected = {
        // A Blackboard pool: no idents anywhere, every response named "response".
        {"bb_pool.xml",
         {"bb_pool.xml: рядок 5: assessment не має ident", "bb_pool.xml: рядок 10: item не має",
          "bb_pool.xml: рядок 41: item не має",
          "bb_pool.xml: рядок 45: поля відповіді «.response» матимуть ту саму назву, що й поля "
          "відповіді з рядка 19"}},
        // Brightspace: one library question placed twice under one ident.
        {"d2l_quiz.xml", {"d2l_quiz.xml: рядок 20: item має ident «OBJ_10», як і item з рядка 8"}},
        // One item in two sections; a choice without choices.
        {"ims_two_sections.xml",
         {"рядок 14: item має ident «Q1», як і item з рядка 6",
          "рядок 15: поля відповіді «Q1.R» матимуть ту саму назву, що й поля відповіді з рядка 7",
          "рядок 21: відповідь Q2.R не має жодного варіанта"}}};
    for (const auto& [file, lines] : expected) {
        Page page = MakePage(LoadAssessmentDocument(Samples + file), Samples + file);
        Report checked = CheckFile(Samples + file);
        EXPECT_EQ(joined(checked.problems), joined(page.problems)) << file;
        for (const std::string& line : lines)
            EXPECT_NE(joined(page.problems).find(line), std::string::npos) << line << "\n"
                                                                           << joined(page.problems);
    }
    EXPECT_EQ(joined(CheckFile(Samples + "ims12.xml").problems), "");
}

TEST(OtherToolsExports, BanksAndBareItemsAreWrappedIntoAnAssessmentTheClientCanUse) {
    TempDir dir;
    Wrapped bank = WrapItems(LoadAssessmentDocument(Samples + "canvas_bank.xml"),
                             Samples + "canvas_bank.xml", "", "");
    EXPECT_EQ(bank.ident + "|" + bank.title + "|" + std::to_string(bank.items),
              "canvas_bank|Банк: Арифметика|2");
    std::string file = dir.file("bank.xml");
    bank.document.save(file);
    Report made = MakeFolder(dir.file("inst"), {file});
    EXPECT_EQ(joined(made.problems) + joined(made.warnings), "");
    // The client answers the two items apart, though both responses are "response1".
    dir.write("inst/Results/results.xml", "<?xml version=\"1.0\"?>\n<qti_result_report/>\n");
    CreateClientRegistry(dir.file("inst/vedris.ini"));
    html::MemoryFormDocument form;
    form.addInput("i100.response1", "radio", "4", true);
    form.addTextArea("i101.response1", "Додаванням");
    EXPECT_TRUE(TStorageManager(dir.file("inst/Assessments/bank.xml"),
                                dir.file("inst/Results/results.xml"), &form)
                    .SubmitResponses());
    DestroyClientRegistry();
    xml::Document results = xml::Document::load(dir.file("inst/Results/results.xml"));
    std::string stored;
    for (xml::Node v : results.selectAll("//assessment_result[@ident_ref = 'canvas_bank']/.."
                                         "//item_result/response/response_value"))
        stored += v.text() + ";";
    EXPECT_EQ(stored, "4;Додаванням;");

    Wrapped bare = WrapItems(LoadAssessmentDocument(Samples + "fronter_items.xml"),
                             Samples + "fronter_items.xml", "F-1", "Слон");
    EXPECT_TRUE(bare.document.selectFirst("/questestinterop/assessment[@ident = 'F-1' and @title "
                                          "= 'Слон']/section/item[@ident = 'test_5_question_1']"));
    EXPECT_NE(joined(bare.warnings).find("fronter_items.xml: рядок 14: посилання itemref"),
              std::string::npos);
    xml::Document twoBlank = xml::Document::parse(
        "<questestinterop><item><response_str ident=\"r\"/></item>\n<item><response_str "
        "ident=\"r\"/></item></questestinterop>");
    EXPECT_NE(joined(WrapItems(twoBlank, "p.xml", "", "").problems)
                  .find("p.xml: рядок 2: поля відповіді «.r» матимуть ту саму назву"),
              std::string::npos);
    EXPECT_THROW(WrapItems(LoadAssessmentDocument(Samples + "ims12.xml"), "x.xml", "", ""),
                 std::runtime_error);
}

TEST(OtherToolsExports, FormattedTextIsSanitisedAndTechnicalNotesStayWithTheAuthor) {
    std::string pool =
        MakePage(LoadAssessmentDocument(Samples + "bb_pool.xml"), "bb_pool.xml").html;
    for (const char* kept : {"<p>Яке місто <b>столиця</b>?</p>", "value=\"a1\">Київ</label>",
                             "Скільки річок &lt;довжиною&gt; понад", "rows=\"4\" cols=\"60\""})
        EXPECT_NE(pool.find(kept), std::string::npos) << kept;
    for (const char* gone : {"<script", "x()", "role=\"note\"", "rows=\"0\""})
        EXPECT_EQ(pool.find(gone), std::string::npos) << gone;

    xml::Document ims = LoadAssessmentDocument(Samples + "ims12.xml");
    std::string candidate = MakePage(ims, "ims12.xml").html;
    for (const char* technical : {"render_", "response_num", "ims12.xml"})
        EXPECT_EQ(candidate.find(technical), std::string::npos) << technical;
    EXPECT_NE(candidate.find("На це питання тут відповісти не можна."), std::string::npos);
    std::string preview = MakePage(ims, "ims12.xml", true).html;
    size_t item4 = preview.find("<legend>4."), item5 = preview.find("<legend>5.");
    size_t note = preview.find("ims12.xml: рядок 68: render_hotspot");
    EXPECT_TRUE(item4 < note && note < item5) << preview;
}

TEST(OtherToolsExports, TemplatePlacesAreFilledOnceAndUnknownOnesKept) {
    EXPECT_EQ(FillTemplate("<a href=\"{{page}}\">{{label}}</a>{{other}}",
                           {{"page", "x.html"}, {"label", "{{page}}"}}),
              "<a href=\"x.html\">{{page}}</a>{{other}}");
}

TEST(OtherToolsExports, Utf8UnderAnEightBitDeclarationIsWarnedAtItsFirstLine) {
    EXPECT_NE(MisdeclaredEncoding(readFile(Samples + "latin1_as_utf8.xml"), "m.xml")
                  .find("m.xml: рядок 3: файл оголошено в кодуванні iso-8859-1"),
              std::string::npos);
    EXPECT_EQ(MisdeclaredEncoding(readFile(Samples + "latin1.xml"), "l.xml"), "");
    // Real windows-1251 text has pairs that happen to be UTF-8 ("ВІ"), never all of them.
    EXPECT_EQ(MisdeclaredEncoding("<?xml version='1.0' encoding='windows-1251'?>\n<a>"
                                  "\xC2\xB2\xC4\xCF\xCE\xC2\xB2\xC4\xDC</a>",
                                  "w.xml"),
              "");
    EXPECT_EQ(MisdeclaredEncoding(readFile(Samples + "ims12.xml"), "u.xml"), "");
}
