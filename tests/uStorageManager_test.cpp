#include "QTIDomain/uStorageManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <regex>

#include "../fuzz/BinderRoundTrip.h"
#include "platform/html/MemoryFormDocument.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

using namespace vedris;
using html::MemoryFormDocument;
using html::OptionState;
using test::readFile;
using test::TempDir;

namespace {

const std::string EmptyReport =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report/>\n";
const std::string FireEventPrefix =
    "Помилка при виконанні метода fireEvent. Можливо, на сторінці немає форми анкети.\r\n";

// Assessment building blocks. Idents go in as attribute text, already escaped.
std::string Assessment(const std::string& ident, const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<questestinterop><assessment ident=\"" +
           ident + "\" title=\"Опитування\"><section ident=\"S\">" + items +
           "</section></assessment></questestinterop>";
}
std::string Item(const std::string& ident, const std::string& responses) {
    return "<item ident=\"" + ident + "\"><presentation><flow>" + responses +
           "</flow></presentation></item>";
}
std::string Lid(const std::string& ident) {
    return "<response_lid ident=\"" + ident +
           "\"><render_choice><response_label ident=\"a\"/></render_choice></response_lid>";
}
std::string Str(const std::string& ident) {
    return "<response_str ident=\"" + ident + "\"><render_choice/></response_str>";
}
std::string Fib(const std::string& ident, const std::string& rows,
                const std::string& kind = "response_str") {
    return "<" + kind + " ident=\"" + ident + "\"><flow><render_fib" +
           (rows.empty() ? "" : " rows=\"" + rows + "\"") + "/></flow></" + kind + ">";
}

// One item Q1 with a response of every kind: R radio/check, L list, T line, A area.
std::string Survey(const std::string& ident = "A") {
    return Assessment(ident, Item("Q1", Lid("R") + Str("L") + Fib("T", "1") + Fib("A", "4")));
}

using Stored = std::vector<std::pair<std::string, std::string>>;

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("vedris.ini", "[General]\n");
        dir.write("Assessments/ims_qtiasi2res.xslt",
                  readFile(VEDRIS_SOURCE_DIR "/tests/data/qti_ims_qtiasi2res.xslt"));
        dir.write("Results/results.xml", EmptyReport);
        CreateClientRegistry(dir.file("vedris.ini"));
    }
    void TearDown() override { DestroyClientRegistry(); }

    std::string assessment(const std::string& name, const std::string& xml) {
        return dir.write("Assessments/" + name + ".xml", xml);
    }
    std::string results() const { return dir.file("Results/results.xml"); }
    void setResults(const std::string& body) {
        dir.write("Results/results.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report>" + body +
                      "</qti_result_report>\n");
    }
    void setStylesheet(const std::string& templateBody) {
        dir.write("Assessments/ims_qtiasi2res.xslt",
                  "<xsl:stylesheet version=\"1.0\" "
                  "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\"><xsl:template "
                  "match=\"/\">" +
                      templateBody + "</xsl:template></xsl:stylesheet>");
    }

    // What the file on disk holds for a response of the n-th result of an assessment: its
    // values with their status, and "<name>" for any other child element.
    Stored stored(const std::string& assessmentIdent, const std::string& item,
                  const std::string& response, size_t nth = 0) const {
        auto doc = xml::Document::load(results());
        auto found = doc.selectAll(
            xml::formatXPath("/qti_result_report/result[assessment_result[@ident_ref = \"%s\"]]",
                             {assessmentIdent}));
        if (found.size() <= nth)
            return {{"no result", ""}};
        auto node = found[nth].selectFirst(xml::formatXPath(
            ".//item_result[@ident_ref = \"%s\"]/response[@ident_ref = \"%s\"]", {item, response}));
        if (!node)
            return {{"no response", ""}};
        Stored out;
        for (auto c = node.firstChild(); c; c = c.nextSibling()) {
            if (c.name() == "response_value")
                out.emplace_back(c.text(), c.attribute("response_status"));
            else if (c.isElement())
                out.emplace_back("<" + c.name() + ">", "");
        }
        return out;
    }

    TempDir dir;
};

std::vector<std::string> Kinds(const TStorageManager& m) {
    std::vector<std::string> out;
    for (const auto& b : m.Binders()) {
        if (dynamic_cast<const TInputTextManager*>(b.get()))
            out.push_back("text");
        else if (dynamic_cast<const TTextAreaManager*>(b.get()))
            out.push_back("area");
        else if (dynamic_cast<const TInputRadioCheckManager*>(b.get()))
            out.push_back("radio/check");
        else if (dynamic_cast<const TSelectManager*>(b.get()))
            out.push_back("list");
    }
    return out;
}

std::vector<bool> Selection(html::Element& list) {
    std::vector<bool> out;
    for (int j = 0; j < list.options().length(); ++j)
        out.push_back(list.options().item(j).selected());
    return out;
}

std::vector<OptionState> Options(const std::vector<std::string>& values,
                                 const std::vector<std::string>& selected = {}) {
    std::vector<OptionState> out;
    for (const auto& v : values)
        out.push_back({v, std::find(selected.begin(), selected.end(), v) != selected.end()});
    return out;
}

} // namespace

// ---- Results: finding and deriving ----

TEST_F(StorageTest, DerivesAMissingResultOnceAndAppendsInListOrder) {
    auto a = assessment("a", Survey("A"));
    auto b = assessment("b", Survey("B"));
    {
        TStorageManager m(a, results(), nullptr);
        EXPECT_TRUE(m.Binders().empty());
        EXPECT_EQ(m.GetDateTimeNode().text(), "не подано");
        m.LoadResponses();
    }
    const std::string once = readFile(results());
    { TStorageManager m(a, results(), nullptr); }
    EXPECT_EQ(readFile(results()), once) << "an existing result is not derived again";
    { TStorageManager m(b, results(), nullptr); }
    { TStorageManager m(a, results(), nullptr); }

    auto doc = xml::Document::load(results());
    std::vector<std::string> order;
    for (auto r : doc.selectAll("/qti_result_report/result/assessment_result"))
        order.push_back(r.attribute("ident_ref"));
    EXPECT_EQ(order, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(doc.version(), "1.0");
    EXPECT_EQ(stored("B", "Q1", "L"), (Stored{{"<response_form>", ""}}))
        << "the skeleton is copied whole";
}

TEST_F(StorageTest, AssessmentIdentIsTrimmedForTheLookup) {
    auto a = assessment("a", Survey(" \tA1 &#10;"));
    // A result carrying the untrimmed ident is not this assessment's.
    setResults("<result><context><date><datetime/></date></context>"
               "<assessment_result ident_ref=\" &#9;A1 &#10;\"/></result>");
    {
        TStorageManager m(a, results(), nullptr);
        EXPECT_EQ(m.GetAssessmentIdent(), "A1");
        EXPECT_EQ(m.FindResult().selectFirst("assessment_result").attribute("ident_ref"), "A1");
    }
    const std::string after = readFile(results());
    { TStorageManager m(a, results(), nullptr); }
    EXPECT_EQ(readFile(results()), after);
    EXPECT_EQ(xml::Document::load(results()).selectAll("//result").size(), 2u);
}

TEST_F(StorageTest, MissingFilesReportTheirOwnErrors) {
    auto a = assessment("a", Survey());
    const std::string missing = dir.file("Assessments/немає.xml");
    try {
        TStorageManager m(missing, results(), nullptr);
        FAIL();
    } catch (const EStorageError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Не знайдено файл з описом анкети. Можливо пошкоджено інсталяцію.\n\rФайл: " +
                      missing);
    }
    std::filesystem::create_directory(dir.file("Assessments/folder.xml"));
    EXPECT_THROW(TStorageManager(dir.file("Assessments/folder.xml"), results(), nullptr),
                 EStorageError);
    EXPECT_THROW(TStorageManager(a, dir.file("Results/none.xml"), nullptr), xml::Error);
    dir.write("Assessments/broken.xml", "<questestinterop><assessment>");
    EXPECT_THROW(TStorageManager(dir.file("Assessments/broken.xml"), results(), nullptr),
                 xml::Error);
    std::filesystem::remove(dir.file("Assessments/ims_qtiasi2res.xslt"));
    EXPECT_THROW(TStorageManager(a, results(), nullptr), xml::Error);
    EXPECT_EQ(readFile(results()), EmptyReport);
}

// An engine error says first, in one sentence, which file failed in which step; then every
// line of the engine's own text. Nothing is written.
TEST_F(StorageTest, EngineErrorsNameTheFileAndTheStepAndKeepEveryLine) {
    auto a = assessment("a", Survey());
    auto expectError = [&](const std::string& assessmentFile, const std::string& sentence,
                           const std::vector<std::string>& lines) {
        const std::string before = readFile(results());
        try {
            TStorageManager m(assessmentFile, results(), nullptr);
            ADD_FAILURE() << sentence;
        } catch (const xml::Error& e) {
            std::string msg = e.what();
            EXPECT_EQ(msg.rfind(sentence + "\n", 0), 0u) << msg;
            for (const std::string& line : lines)
                EXPECT_NE(msg.find(line), std::string::npos) << line << " in " << msg;
        }
        EXPECT_EQ(readFile(results()), before) << sentence;
    };

    // An entity, however small, is refused rather than expanded wherever it is referenced.
    auto bomb = assessment("bomb", "<?xml version=\"1.0\"?>\n<!DOCTYPE q [\n<!ENTITY a \"A\">]>" +
                                       Assessment("&a;", Item("&a;", Lid("R"))).substr(38));
    expectError(bomb, "Не вдалося прочитати файл з описом анкети " + bomb + ".",
                {bomb + ":3:", "сутність «a»"});

    dir.write("Results/results.xml", "<qti_result_report>");
    expectError(a, "Не вдалося прочитати файл результатів " + results() + ".", {results() + ":1:"});
    dir.write("Results/results.xml", EmptyReport);

    setStylesheet("<xsl:apply-templates select=\".\"/>");
    expectError(a,
                "Не вдалося отримати результат анкети з файлу " + a +
                    " перетворенням ims_qtiasi2res.xslt.",
                {"runtime error: file " + dir.file("Assessments/ims_qtiasi2res.xslt") + " line 1",
                 "\nxsltApplySequenceConstructor: A potential infinite template recursion"});
}

// A result that cannot be derived or found again is never appended, whether the manager
// is made at start-up (no form) or for a page.
TEST_F(StorageTest, UnusableDerivationsLeaveResultsUntouched) {
    auto a = assessment("a", Survey("A"));
    MemoryFormDocument form;
    struct Case {
        const char* what;
        std::string stylesheet;
        std::string assessmentXml;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no result in the output", "<qti_result_report><nothing/></qti_result_report>", Survey(),
         "не створило елемента result для анкети «A»"},
        {"result for another ident",
         "<qti_result_report><result><context><date><datetime/></date></context>"
         "<assessment_result ident_ref=\"B\"/></result></qti_result_report>",
         Survey(), "не містить елемента assessment_result з ident_ref «A»"},
        {"assessment_result below the result only",
         "<result><x><assessment_result ident_ref=\"A\"/></x></result>", Survey(),
         "не містить елемента assessment_result з ident_ref «A»"},
        {"assessment not a child of the document element", "<result/>",
         "<questestinterop><section><assessment ident=\"A\"/></section></questestinterop>",
         "немає елемента assessment"},
    };
    for (const auto& c : cases) {
        setStylesheet(c.stylesheet);
        assessment("a", c.assessmentXml);
        for (html::FormDocument* f :
             {static_cast<html::FormDocument*>(nullptr), static_cast<html::FormDocument*>(&form)}) {
            try {
                TStorageManager m(a, results(), f);
                ADD_FAILURE() << c.what;
            } catch (const EStorageError& e) {
                EXPECT_NE(std::string(e.what()).find(c.expected), std::string::npos)
                    << c.what << ": " << e.what();
            }
            EXPECT_EQ(readFile(results()), EmptyReport) << c.what;
        }
    }
}

TEST_F(StorageTest, WithoutSettingsNothingIsDerived) {
    auto a = assessment("a", Survey());
    DestroyClientRegistry();
    EXPECT_THROW(TStorageManager(a, results(), nullptr), EStorageError);
    EXPECT_EQ(readFile(results()), EmptyReport);
}

// ---- Binders ----

TEST_F(StorageTest, BinderKindFollowsRenderingThenResponseKind) {
    auto a = assessment(
        "a", Assessment(
                 "A", Item("Q1", Lid("R1") + Str("R2") + Fib("R3", "1") + Fib("R4", "01") +
                                     Fib("R5", " 1 ", "response_num") + Fib("R6", "3") +
                                     Fib("R7", "") + Fib("R8", "1", "response_lid") +
                                     "<response_num ident=\"R9\"><render_slider/></response_num>" +
                                     Fib("R10", "2", "response_num") + Fib("R11", "1.0")) +
                          Item("Q2", Str("R1") + Lid("R2"))));
    MemoryFormDocument form;
    TStorageManager m(a, results(), &form);
    EXPECT_EQ(Kinds(m),
              (std::vector<std::string>{"radio/check", "list", "text", "text", "text", "area",
                                        "area", "text", "area", "text", "list", "radio/check"}));
    // The numeric response without a fill-in-blank rendering has no binder; its stored
    // content is left as it was by an accepted submission.
    ASSERT_TRUE(m.SubmitResponses());
    EXPECT_EQ(stored("A", "Q1", "R9"), (Stored{{"<response_form>", ""}}));
    EXPECT_EQ(stored("A", "Q1", "R1"), (Stored{{"", "NA"}}));
}

TEST_F(StorageTest, TextFieldsAndAreasArePositional) {
    auto a = assessment("a", Survey());
    {
        MemoryFormDocument form;
        form.addInput("Q1.T", "text", "");
        form.addInput("Q1.T", "text", "x");
        form.addTextArea("Q1.A", "   ");
        form.addTextArea("Q1.A", "");
        form.addTextArea("Q1.A", "рядок\nдругий 🙂");
        TStorageManager m(a, results(), &form);
        ASSERT_TRUE(m.SubmitResponses());
    }
    EXPECT_EQ(stored("A", "Q1", "T"), (Stored{{"x", "Valid"}}));
    EXPECT_EQ(stored("A", "Q1", "A"),
              (Stored{{"   ", "Valid"}, {"рядок\nдругий 🙂", "Valid"}}));
    EXPECT_EQ(stored("A", "Q1", "R"), (Stored{{"", "NA"}}));
    EXPECT_EQ(stored("A", "Q1", "L"), (Stored{{"", "NA"}}));

    MemoryFormDocument form;
    form.addInput("Q1.T", "text", "old");
    form.addInput("Q1.T", "text", "old");
    form.addTextArea("Q1.A", "old");
    form.addTextArea("Q1.A", "old");
    form.addTextArea("Q1.A", "old");
    TStorageManager m(a, results(), &form);
    m.LoadResponses();
    auto& t = form.getElementsByName("Q1.T");
    EXPECT_EQ(t.item(0).value(), "x");
    EXPECT_EQ(t.item(1).value(), "");
    auto& area = form.getElementsByName("Q1.A");
    EXPECT_EQ(area.item(0).innerText(), "   ");
    EXPECT_EQ(area.item(1).innerText(), "рядок\nдругий 🙂");
    EXPECT_EQ(area.item(2).innerText(), "");
}

TEST_F(StorageTest, CheckBoxesAndRadiosAreMatchedByMembership) {
    auto a = assessment("a", Assessment("A", Item("Q1", Lid("R")) + Item("Q2", Lid("R"))));
    {
        MemoryFormDocument form;
        form.addInput("Q1.R", "checkbox", "p");
        form.addInput("Q1.R", "checkbox", "q", true);
        form.addInput("Q1.R", "checkbox", "r", true);
        form.addInput("Q2.R", "radio", "");
        form.addInput("Q2.R", "radio", "так");
        TStorageManager m(a, results(), &form);
        ASSERT_TRUE(m.SubmitResponses());
        ASSERT_TRUE(m.SubmitResponses()) << "saving twice gives the same values";
    }
    EXPECT_EQ(stored("A", "Q1", "R"), (Stored{{"q", "Valid"}, {"r", "Valid"}}));
    EXPECT_EQ(stored("A", "Q2", "R"), (Stored{{"", "NA"}}));

    MemoryFormDocument form;
    form.addInput("Q1.R", "checkbox", "p", true);
    form.addInput("Q1.R", "checkbox", "q");
    form.addInput("Q1.R", "checkbox", "r");
    form.addInput("Q1.R", "checkbox", "Q");
    form.addInput("Q2.R", "radio", "так", true);
    form.addInput("Q2.R", "radio", "");
    TStorageManager m(a, results(), &form);
    m.LoadResponses();
    auto& boxes = form.getElementsByName("Q1.R");
    EXPECT_FALSE(boxes.item(0).checked());
    EXPECT_TRUE(boxes.item(1).checked());
    EXPECT_TRUE(boxes.item(2).checked());
    EXPECT_FALSE(boxes.item(3).checked()) << "values compare case-sensitively";
    // The "NA" placeholder's empty text checks the radio whose value is empty.
    EXPECT_FALSE(form.getElementsByName("Q2.R").item(0).checked());
    EXPECT_TRUE(form.getElementsByName("Q2.R").item(1).checked());

    // A stored value that no control has leaves them all unchecked.
    TResponse& r = m.Binders()[0]->Response();
    r.ClearValues();
    r.AddValue("zzz", rsValid);
    m.LoadResponses();
    for (int i = 0; i < boxes.length(); ++i)
        EXPECT_FALSE(boxes.item(i).checked()) << i;
}

TEST_F(StorageTest, SingleChoiceListsArePositional) {
    auto a = assessment("a", Assessment("A", Item("Q1", Str("L"))));
    {
        MemoryFormDocument form;
        form.addSelect("Q1.L", false, Options({"a", "b", "c"}, {"b"}));
        form.addSelect("Q1.L", false, Options({"a", "b", "c"}, {"c"}));
        TStorageManager m(a, results(), &form);
        ASSERT_TRUE(m.SubmitResponses());
    }
    EXPECT_EQ(stored("A", "Q1", "L"), (Stored{{"b", "Valid"}, {"c", "Valid"}}));

    MemoryFormDocument form;
    form.addSelect("Q1.L", false, Options({"a", "b", "c"}, {"a"}));
    form.addSelect("Q1.L", false, Options({"a", "b", "c"}, {"a"}));
    form.addSelect("Q1.L", false, Options({"a", "b", "c"}, {"a"}));
    TStorageManager m(a, results(), &form);
    m.LoadResponses();
    auto& lists = form.getElementsByName("Q1.L");
    EXPECT_EQ(Selection(lists.item(0)), (std::vector<bool>{false, true, false}));
    EXPECT_EQ(Selection(lists.item(1)), (std::vector<bool>{false, false, true}));
    EXPECT_EQ(Selection(lists.item(2)), (std::vector<bool>{false, false, false}));
}

// Choosing several options, leaving the page, coming back and leaving again keeps them all.
TEST_F(StorageTest, MultipleChoiceListKeepsEveryChosenOptionAcrossVisits) {
    auto a = assessment("a", Assessment("A", Item("Q1", Str("L"))));
    const std::vector<std::string> values = {"a", "б", "c 🙂", "d", "e"};
    {
        MemoryFormDocument form;
        form.addSelect("Q1.L", true, Options(values));
        TStorageManager m(a, results(), &form);
        m.LoadResponses();
        auto& options = form.getElementsByName("Q1.L").item(0).options();
        for (int j : {0, 2, 4})
            options.item(j).setSelected(true);
        ASSERT_TRUE(m.SubmitResponses());
    }
    const Stored three = {{"a", "Valid"}, {"c 🙂", "Valid"}, {"e", "Valid"}};
    EXPECT_EQ(stored("A", "Q1", "L"), three);
    {
        MemoryFormDocument form;
        form.addSelect("Q1.L", true, Options(values, {"d"}));
        TStorageManager m(a, results(), &form);
        m.LoadResponses();
        EXPECT_EQ(Selection(form.getElementsByName("Q1.L").item(0)),
                  (std::vector<bool>{true, false, true, false, true}));
        EXPECT_EQ(form.changes()[0]["selected"], nlohmann::json({true, false, true, false, true}))
            << "the page is told about the selection";
        ASSERT_TRUE(m.SubmitResponses());
    }
    EXPECT_EQ(stored("A", "Q1", "L"), three);
}

TEST_F(StorageTest, ControlLackingAMemberOfItsBinderStopsTheSubmission) {
    auto a = assessment("a", Survey());
    { TStorageManager m(a, results(), nullptr); }
    const std::string before = readFile(results());
    MemoryFormDocument form;
    form.addInput("Q1.L", "text", "not a list");
    TStorageManager m(a, results(), &form);
    EXPECT_THROW(m.LoadResponses(), html::Error);
    EXPECT_THROW(m.SubmitResponses(), html::Error);
    EXPECT_EQ(readFile(results()), before);
}

// ---- Which responses are read and written ----

TEST_F(StorageTest, ReadsTheCurrentResultAndWritesEveryMatchingResponse) {
    auto a = assessment("a", Assessment("A", Item("Q1", Fib("T", "1"))));
    auto b = assessment("b", Assessment("B", Item("Q1", Fib("T", "1"))));
    const std::string value = "<response_value response_status=\"Valid\">%</response_value>";
    auto result = [&](const std::string& ident, const std::string& t) {
        return "<result><context><date><datetime>2001-01-01T00:00:00</datetime></date></context>"
               "<assessment_result ident_ref=\"" +
               ident + "\"/><item_result ident_ref=\"Q1\"><response ident_ref=\"T\">" +
               std::regex_replace(value, std::regex("%"), t) + "</response></item_result></result>";
    };
    // Two results of A and one of B, all with the same idents.
    setResults(result("A", "перший") + result("B", "інший") + result("A", "другий"));
    MemoryFormDocument form;
    form.addInput("Q1.T", "text", "");
    {
        TStorageManager m(a, results(), &form);
        m.LoadResponses();
        EXPECT_EQ(form.getElementsByName("Q1.T").item(0).value(), "перший");
        form.getElementsByName("Q1.T").item(0).setValue("новий");
        ASSERT_TRUE(m.SubmitResponses());
    }
    EXPECT_EQ(stored("A", "Q1", "T", 0), (Stored{{"новий", "Valid"}}));
    EXPECT_EQ(stored("A", "Q1", "T", 1), (Stored{{"новий", "Valid"}}));
    EXPECT_EQ(stored("B", "Q1", "T"), (Stored{{"новий", "Valid"}}))
        << "assessments sharing idents share their answers";
    auto doc = xml::Document::load(results());
    auto stamps = doc.selectAll("//datetime");
    ASSERT_EQ(stamps.size(), 3u);
    EXPECT_NE(stamps[0].text(), "2001-01-01T00:00:00");
    EXPECT_EQ(stamps[1].text(), "2001-01-01T00:00:00") << "only this result is stamped";
    EXPECT_EQ(stamps[2].text(), "2001-01-01T00:00:00");
    { TStorageManager m(b, results(), nullptr); }
    EXPECT_EQ(xml::Document::load(results()).selectAll("//result").size(), 3u);
}

TEST_F(StorageTest, ResponseRecordOperations) {
    auto a = assessment("a", Survey("A"));
    setResults(
        "<result><context><date><datetime/></date></context><assessment_result ident_ref=\"A\"/>"
        "<group><item_result ident_ref=\"Q1\"><response ident_ref=\"other\"/></item_result></group>"
        "<item_result ident_ref=\"Q1\"><response ident_ref=\"T\">"
        "<response_value response_status=\"Valid\">Так</response_value><!-- note -->loose text"
        "<response_value response_status=\"NA\"/><extra/></response></item_result>"
        "<x:item_result xmlns:x=\"urn:x\" ident_ref=\"Q1\"><response "
        "ident_ref=\"T\"/></x:item_result>"
        "<item_result><response ident_ref=\"T\"/></item_result>"
        "</result>"
        "<result><assessment_result ident_ref=\"Z\"/>"
        "<item_result ident_ref=\"Q1\"><response ident_ref=\"T\">"
        "<response_value>z</response_value></response></item_result></result>");
    TStorageManager m(a, results(), nullptr);
    TResponse r(m, "Q1", "T");
    // The record binds to the first item_result of the ident even though the response
    // stands under a later one.
    EXPECT_EQ(r.ItemResultNode().firstChild().attribute("ident_ref"), "other");
    EXPECT_EQ(r.ValueCount(), 2);
    EXPECT_EQ(r.GetStoredValue(0), "Так");
    EXPECT_EQ(r.GetStoredValue(1), "");
    EXPECT_EQ(r.GetStoredValue(2), "");
    EXPECT_EQ(r.GetStoredValue(-1), "");
    EXPECT_TRUE(r.HasValue("Так"));
    EXPECT_TRUE(r.HasValue(""));
    EXPECT_FALSE(r.HasValue("так"));
    EXPECT_FALSE(r.HasValue("Так "));
    EXPECT_FALSE(r.HasValue("z")) << "reads see this result only";
    // Namespaced elements and an item_result without ident_ref are not matches.
    EXPECT_EQ(r.SelectResponseNodes().size(), 2u);

    r.ClearValues();
    EXPECT_EQ(r.ValueCount(), 0);
    EXPECT_FALSE(r.ResponseNode().firstChild()) << "comments, text and other elements go too";
    EXPECT_FALSE(r.HasValue(""));
    r.AddValue("один", rsValid);
    r.AddValue("два", rsInvalid);
    r.MarkNotAnswered();
    EXPECT_EQ(r.ValueCount(), 3);
    for (auto node : r.SelectResponseNodes()) {
        std::vector<std::string> got;
        for (auto c = node.firstChild(); c; c = c.nextSibling())
            got.push_back(c.text() + "/" + c.attribute("response_status"));
        EXPECT_EQ(got, (std::vector<std::string>{"один/Valid", "два/Invalid", "/NA"}));
    }
    EXPECT_EQ(std::string(ResponseStatusNames[rsNull]), "Null");
}

TEST_F(StorageTest, MissingItemResultOrResponseFailsWithTheAssertionTexts) {
    // Only when the stylesheet does not derive them either; else binding adds them.
    auto a = assessment("a", Assessment("A", Item("Q1", Lid("R")) + Item("Q2", Lid("R"))));
    const std::string head =
        "<result><context><date><datetime/></date></context><assessment_result ident_ref=\"A\"/>"
        "<item_result ident_ref=\"Q1\"><response ident_ref=\"R\"/></item_result>";
    setStylesheet("<qti_result_report>" + head + "</result></qti_result_report>");
    MemoryFormDocument form;
    setResults(head + "</result>");
    try {
        TStorageManager m(a, results(), &form);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Assertion failure (QTIDomain\\uStorageManager, line 286)");
    }
    setResults(head +
               "<item_result ident_ref=\"Q2\"><response ident_ref=\"r\"/></item_result></result>");
    try {
        TStorageManager m(a, results(), &form);
        FAIL();
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Assertion failure (QTIDomain\\uStorageManager, line 290)");
    }
    // Without a form nothing is bound, so nothing is missed.
    EXPECT_NO_THROW(TStorageManager(a, results(), nullptr));

    // A derived result stays in the file when binding then fails.
    setResults("");
    setStylesheet("<qti_result_report><result><context><date><datetime/></date></context>"
                  "<assessment_result ident_ref=\"A\"/></result></qti_result_report>");
    EXPECT_THROW(TStorageManager(a, results(), &form), EAssertionFailed);
    EXPECT_EQ(xml::Document::load(results()).selectAll("//result").size(), 1u);
}

// An assessment updated after answers were stored: its result gains the new items and
// responses in the derived order, and every stored answer stays, also of removed items.
TEST_F(StorageTest, AnUpdatedAssessmentGainsWhatItAddsAndKeepsEveryStoredAnswer) {
    auto visit = [&](const std::string& items, const std::vector<std::string>& names,
                     const std::vector<std::string>& shown, const std::vector<std::string>& typed) {
        auto a = assessment("a", Assessment("A", items));
        MemoryFormDocument form;
        for (const auto& name : names)
            form.addInput(name, "text", "");
        TStorageManager m(a, results(), &form);
        m.LoadResponses();
        for (std::size_t i = 0; i < names.size(); ++i) {
            html::Element& field = form.getElementsByName(names[i]).item(0);
            EXPECT_EQ(field.value(), shown[i]) << names[i];
            field.setValue(typed[i]);
        }
        ASSERT_TRUE(m.SubmitResponses());
    };
    visit(Item("Q1", Fib("T", "1")), {"Q1.T"}, {""}, {"один"});
    // An item before and after it, and a second response of it.
    const std::string updated = Item("Q0", Fib("T", "1")) +
                                Item("Q1", Fib("T", "1") + Fib("U", "1")) +
                                Item("Q2", Fib("T", "1"));
    visit(updated, {"Q0.T", "Q1.T", "Q1.U", "Q2.T"}, {"", "один", "", ""},
          {"нуль", "один", "два", "три"});
    std::vector<std::string> order;
    const auto doc = xml::Document::load(results());
    for (auto r : doc.selectAll("//item_result | //item_result[@ident_ref = 'Q1']/response"))
        order.push_back(r.attribute("ident_ref"));
    EXPECT_EQ(order, (std::vector<std::string>{"Q0", "Q1", "T", "U", "Q2"}));
    // Removing items leaves their answers in the file.
    visit(Item("Q2", Fib("T", "1")), {"Q2.T"}, {"три"}, {"чотири"});
    EXPECT_EQ(stored("A", "Q0", "T"), (Stored{{"нуль", "Valid"}}));
    EXPECT_EQ(stored("A", "Q1", "U"), (Stored{{"два", "Valid"}}));
    EXPECT_EQ(stored("A", "Q2", "T"), (Stored{{"чотири", "Valid"}}));
}

// Loading what a page stored and saving it again stores the same, for every layout of
// controls: two lists of several choices once doubled their answers at every visit.
TEST_F(StorageTest, LoadingThenSavingStoresTheSameForAnyLayout) {
    auto a = assessment("a", roundtrip::AssessmentXml);
    roundtrip::Layout twoLists;
    twoLists.controls = {{roundtrip::Kind::MultipleList, {"a", "b"}, {true, false}},
                         {roundtrip::Kind::MultipleList, {"a", "b"}, {false, true}}};
    EXPECT_EQ(roundtrip::RoundTrip(a, results(), twoLists), "");
    std::mt19937 random(16);
    for (int run = 0; run < 400; ++run) {
        auto layout = roundtrip::MakeLayout([&](unsigned n) { return random() % n; });
        ASSERT_EQ(roundtrip::RoundTrip(a, results(), layout), "") << "run " << run;
    }
}

// ---- Submission ----

TEST_F(StorageTest, RefusedSubmissionChangesNothing) {
    auto a = assessment("a", Survey());
    MemoryFormDocument form;
    form.addInput("Q1.T", "text", "x");
    TStorageManager m(a, results(), &form);
    const std::string before = readFile(results());
    form.setSubmitVerdict(false);
    EXPECT_FALSE(m.SubmitResponses());
    EXPECT_EQ(readFile(results()), before);
    EXPECT_EQ(m.GetDateTimeNode().text(), "не подано");
    EXPECT_EQ(m.Binders()[2]->Response().ValueCount(), 0);
    form.setSubmitVerdict(true);
    EXPECT_TRUE(m.SubmitResponses());
    EXPECT_EQ(stored("A", "Q1", "T"), (Stored{{"x", "Valid"}}));
}

TEST_F(StorageTest, AcceptedSubmissionStampsLocalTime) {
    auto a = assessment("a", Survey());
    MemoryFormDocument form;
    TStorageManager m(a, results(), &form);
    const std::string before = FormatDateTime(std::time(nullptr));
    ASSERT_TRUE(m.SubmitResponses());
    const std::string after = FormatDateTime(std::time(nullptr));
    auto stamp = xml::Document::load(results()).selectFirst("//datetime").text();
    EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)"))) << stamp;
    EXPECT_LE(before, stamp);
    EXPECT_LE(stamp, after);

    std::tm t{};
    t.tm_year = 2024 - 1900;
    t.tm_mon = 2;
    t.tm_mday = 7;
    t.tm_hour = 8;
    t.tm_min = 9;
    t.tm_sec = 5;
    t.tm_isdst = -1;
    EXPECT_EQ(FormatDateTime(std::mktime(&t)), "2024-03-07T08:09:05");
}

TEST_F(StorageTest, FailingSubmitHandlerCallIsReworded) {
    auto a = assessment("a", Survey());
    MemoryFormDocument form;
    form.setHasForm(false);
    TStorageManager m(a, results(), &form);
    const std::string before = readFile(results());
    try {
        m.SubmitResponses();
        FAIL();
    } catch (const EStorageError& e) {
        std::string what = e.what();
        EXPECT_EQ(what.substr(0, FireEventPrefix.size()), FireEventPrefix);
        EXPECT_NE(what.find("document.forms.item(0)"), std::string::npos) << what;
    }
    TStorageManager noForm(a, results(), nullptr);
    try {
        noForm.SubmitResponses();
        FAIL();
    } catch (const EStorageError& e) {
        EXPECT_EQ(std::string(e.what()).substr(0, FireEventPrefix.size()), FireEventPrefix);
    }
    EXPECT_EQ(readFile(results()), before);
}

TEST_F(StorageTest, ResultWithoutDateTimeIsNotSubmitted) {
    auto a = assessment("a", Assessment("A", Item("Q1", Fib("T", "1"))));
    setResults("<result><context><date/></context><assessment_result ident_ref=\"A\"/>"
               "<item_result ident_ref=\"Q1\"><response ident_ref=\"T\">"
               "<response_value response_status=\"Valid\">old</response_value></response>"
               "</item_result></result>");
    const std::string before = readFile(results());
    MemoryFormDocument form;
    form.addInput("Q1.T", "text", "new");
    TStorageManager m(a, results(), &form);
    try {
        m.SubmitResponses();
        FAIL();
    } catch (const EStorageError& e) {
        EXPECT_NE(std::string(e.what()).find("context/date/datetime"), std::string::npos);
    }
    EXPECT_EQ(readFile(results()), before);
    EXPECT_EQ(m.Binders()[0]->Response().GetStoredValue(0), "old") << "nothing half-written";
}

TEST_F(StorageTest, AssessmentWithoutItemsStillStampsAndSaves) {
    auto a = assessment("a", Assessment("A", ""));
    MemoryFormDocument form;
    TStorageManager m(a, results(), &form);
    EXPECT_TRUE(m.Binders().empty());
    ASSERT_TRUE(m.SubmitResponses());
    EXPECT_NE(xml::Document::load(results()).selectFirst("//datetime").text(), "не подано");
}

// ---- Texts ----

TEST_F(StorageTest, QuotesCyrillicAndEmojiSurviveTheRoundTrip) {
    // Idents and values with both kinds of quote, markup characters and non-ASCII text.
    auto a = assessment(
        "a", Assessment("A&quot;1 ", Item("Q&quot;1", Lid("R'1") + Fib("T&quot;'", "1")) +
                                         Item("Q2", Str("Л"))));
    const std::string radio = "так \"звісно\" і 'ні' <&>";
    {
        MemoryFormDocument form;
        form.addInput("Q\"1.R'1", "radio", "ні");
        form.addInput("Q\"1.R'1", "radio", radio, true);
        form.addInput("Q\"1.T\"'", "text", "Ґанок ї є 🙂👍🏽 \"'");
        form.addSelect("Q2.Л", true, Options({"🙂", "я"}, {"🙂", "я"}));
        TStorageManager m(a, results(), &form);
        ASSERT_TRUE(m.SubmitResponses());
    }
    EXPECT_EQ(stored("A\"1", "Q\"1", "R'1"), (Stored{{radio, "Valid"}}));
    EXPECT_EQ(stored("A\"1", "Q\"1", "T\"'"),
              (Stored{{"Ґанок ї є 🙂👍🏽 \"'", "Valid"}}));
    EXPECT_EQ(stored("A\"1", "Q2", "Л"), (Stored{{"🙂", "Valid"}, {"я", "Valid"}}));

    MemoryFormDocument form;
    form.addInput("Q\"1.R'1", "radio", "ні", true);
    form.addInput("Q\"1.R'1", "radio", radio);
    form.addInput("Q\"1.T\"'", "text", "");
    TStorageManager m(a, results(), &form);
    m.LoadResponses();
    EXPECT_FALSE(form.getElementsByName("Q\"1.R'1").item(0).checked());
    EXPECT_TRUE(form.getElementsByName("Q\"1.R'1").item(1).checked());
    EXPECT_EQ(form.getElementsByName("Q\"1.T\"'").item(0).value(),
              "Ґанок ї є 🙂👍🏽 \"'");
    EXPECT_EQ(xml::Document::load(results()).selectAll("//result").size(), 1u);
}

// A response nested inside another (a stylesheet may produce anything) must not leave the
// records pointing at freed nodes when the outer one is cleared.
TEST_F(StorageTest, NestedResponsesSurviveClearing) {
    auto a =
        assessment("a", Assessment("A", Item("Q1", Fib("T", "1")) + Item("Q2", Fib("T", "1"))));
    setResults(
        "<result><context><date><datetime/></date></context><assessment_result ident_ref=\"A\"/>"
        "<item_result ident_ref=\"Q1\"><response ident_ref=\"T\">"
        "<item_result ident_ref=\"Q2\"><response ident_ref=\"T\">"
        "<response_value>inner</response_value></response></item_result>"
        "</response></item_result></result>");
    MemoryFormDocument form;
    form.addInput("Q1.T", "text", "");
    form.addInput("Q2.T", "text", "");
    TStorageManager m(a, results(), &form);
    m.LoadResponses();
    EXPECT_EQ(form.getElementsByName("Q2.T").item(0).value(), "inner");
    form.getElementsByName("Q1.T").item(0).setValue("один");
    form.getElementsByName("Q2.T").item(0).setValue("два");
    ASSERT_TRUE(m.SubmitResponses());
    ASSERT_TRUE(m.SubmitResponses());
    EXPECT_EQ(stored("A", "Q1", "T"), (Stored{{"один", "Valid"}}));
    EXPECT_EQ(stored("A", "Q2", "T"), (Stored{{"no response", ""}}));
}

// The stylesheet shipped with the demo assessments yields results this manager can bind.
TEST_F(StorageTest, DemoStylesheetGivesBindableResults) {
    const std::string demo = VEDRIS_SOURCE_DIR "/demo/Assessments/ims_qtiasi2res.xslt";
    if (!std::filesystem::exists(demo))
        GTEST_SKIP() << "no demo stylesheet";
    dir.write("Assessments/ims_qtiasi2res.xslt", readFile(demo));
    auto a = assessment("a", Survey(" A "));
    MemoryFormDocument form;
    form.addInput("Q1.R", "checkbox", "a", true);
    form.addSelect("Q1.L", false, Options({"x", "y"}, {"y"}));
    form.addInput("Q1.T", "text", "t");
    form.addTextArea("Q1.A", "area");
    TStorageManager m(a, results(), &form);
    EXPECT_EQ(m.Binders().size(), 4u);
    ASSERT_TRUE(m.SubmitResponses());
    EXPECT_EQ(stored("A", "Q1", "L"), (Stored{{"y", "Valid"}}));
    EXPECT_EQ(stored("A", "Q1", "A"), (Stored{{"area", "Valid"}}));
}
