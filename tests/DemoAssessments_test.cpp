// The bundled assessments folder is what a fresh installation starts on, so its pages, QTI
// files, stylesheet and settings have to agree with one another: a control misnamed on a
// page silently loses its answers, and a stylesheet that misses a response makes the page
// fail to bind. These tests read the real demo files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/xml/XmlDocument.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using vedris::test::readFile;
using vedris::test::TempDir;
namespace xml = vedris::xml;

namespace {

const fs::path DemoDir = fs::path(VEDRIS_SOURCE_DIR) / "demo";
const fs::path AssessmentsDir = DemoDir / "Assessments";

const char* const ResponsesOfItem = ".//response_lid | .//response_str | .//response_num";

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

// Blanks and control characters off both ends; inner ones stay.
std::string trim(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 32)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 32)
        --last;
    return text.substr(first, last - first);
}

// The "ClientAssessments" value of section General, split at commas and blanks. The demo
// uses no quoted names, so this simple split is enough to find its files.
std::vector<std::string> listedAssessments() {
    std::string text = readFile((DemoDir / "vedris.ini").string());
    std::string section, value;
    std::regex sectionLine(R"(^\s*\[([^\]]*)\]\s*$)");
    std::regex keyLine(R"(^\s*([^=;]+?)\s*=\s*(.*?)\s*$)");
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        start = end + 1;
        std::smatch m;
        if (std::regex_match(line, m, sectionLine))
            section = lower(m[1]);
        else if (section == "general" && std::regex_match(line, m, keyLine) &&
                 lower(m[1]) == "clientassessments")
            value = m[2];
    }
    std::vector<std::string> names;
    std::string current;
    for (char c : value + ",") {
        if (c == ',' || static_cast<unsigned char>(c) <= 32) {
            if (!current.empty())
                names.push_back(lower(current));
            current.clear();
        } else {
            current += c;
        }
    }
    return names;
}

// --- A small reader of the form controls of a page ------------------------------------

std::string decodeEntities(std::string text) {
    static const std::pair<const char*, const char*> entities[] = {
        {"&quot;", "\""}, {"&#39;", "'"}, {"&apos;", "'"},
        {"&lt;", "<"},    {"&gt;", ">"},  {"&amp;", "&"}};
    for (const auto& [from, to] : entities) {
        size_t at = 0;
        while ((at = text.find(from, at)) != std::string::npos) {
            text.replace(at, std::char_traits<char>::length(from), to);
            at += std::char_traits<char>::length(to);
        }
    }
    return text;
}

using Attributes = std::map<std::string, std::string>;

Attributes parseAttributes(const std::string& text) {
    static const std::regex attribute(
        R"re(([A-Za-z_:][-A-Za-z0-9_:.]*)(?:\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s"'=<>`]+)))?)re");
    Attributes result;
    for (std::sregex_iterator it(text.begin(), text.end(), attribute), end; it != end; ++it) {
        const auto& m = *it;
        std::string name = lower(m[1]);
        std::string value = m[2].matched ? m[2].str() : m[3].matched ? m[3].str() : m[4].str();
        result.emplace(name, decodeEntities(value));
    }
    return result;
}

struct Control {
    std::string tag;  // input, select, textarea
    std::string type; // for input; "text" when absent
    Attributes attributes;
    std::vector<Attributes> options; // for select
    bool insideForm = false;

    std::string name() const { return attr("name"); }
    std::string attr(const std::string& key) const {
        auto it = attributes.find(key);
        return it == attributes.end() ? std::string() : it->second;
    }
    bool has(const std::string& key) const { return attributes.count(key) != 0; }
};

struct Page {
    std::string text; // comments, scripts and styles removed
    std::string scripts;
    std::vector<Attributes> forms;
    std::vector<Control> controls;
};

std::string removeBlocks(const std::string& text, const std::regex& block, std::string* removed) {
    std::string result;
    auto last = text.begin();
    for (std::sregex_iterator it(text.begin(), text.end(), block), end; it != end; ++it) {
        result.append(last, text.begin() + it->position());
        if (removed)
            removed->append(it->str());
        last = text.begin() + it->position() + it->length();
    }
    result.append(last, text.end());
    return result;
}

Page readPage(const fs::path& path) {
    Page page;
    std::string text = readFile(path.string());
    text = removeBlocks(text, std::regex(R"(<!--[\s\S]*?-->)"), nullptr);
    text = removeBlocks(text, std::regex(R"(<script\b[\s\S]*?</script\s*>)", std::regex::icase),
                        &page.scripts);
    text = removeBlocks(text, std::regex(R"(<style\b[\s\S]*?</style\s*>)", std::regex::icase),
                        nullptr);
    page.text = text;

    static const std::regex tag(R"(<(/?)(form|input|select|option|textarea)\b([^>]*)>)",
                                std::regex::icase);
    int formDepth = 0;
    Control* openSelect = nullptr;
    for (std::sregex_iterator it(text.begin(), text.end(), tag), end; it != end; ++it) {
        bool closing = (*it)[1].length() != 0;
        std::string name = lower((*it)[2]);
        Attributes attributes = parseAttributes((*it)[3]);
        if (name == "form") {
            formDepth += closing ? -1 : 1;
            if (!closing)
                page.forms.push_back(attributes);
        } else if (name == "select" && closing) {
            openSelect = nullptr;
        } else if (name == "option" && !closing) {
            if (openSelect)
                openSelect->options.push_back(attributes);
        } else if (!closing) {
            Control control{name, {}, attributes, {}, formDepth > 0};
            if (name == "input") {
                auto type = attributes.find("type");
                control.type = type == attributes.end() ? "text" : lower(type->second);
            }
            page.controls.push_back(control);
            openSelect = name == "select" ? &page.controls.back() : nullptr;
        }
    }
    return page;
}

// --- Checks shared by the demo and the hand-made inputs --------------------------------

std::string assessmentIdent(const xml::Document& assessment) {
    xml::Node node = assessment.documentElement().selectFirst("assessment");
    return node ? trim(node.attribute("ident")) : std::string();
}

// The four things the client needs of a transformation output, looked up with the very
// selections the client uses on the results document.
void expectMeetsContract(const xml::Document& assessment, const xml::Document& output) {
    xml::Node result = output.selectFirst("//result");
    ASSERT_TRUE(result) << "no result in the output";
    EXPECT_TRUE(result.selectFirst(
        xml::formatXPath("assessment_result[@ident_ref = \"%s\"]", {assessmentIdent(assessment)})))
        << "no assessment_result for ident '" << assessmentIdent(assessment) << "'";
    for (const xml::Node& item : assessment.selectAll("//item")) {
        std::string itemIdent = item.attribute("ident");
        EXPECT_TRUE(result.selectFirst(
            xml::formatXPath(".//item_result[@ident_ref = \"%s\"]", {itemIdent})))
            << "no item_result for item '" << itemIdent << "'";
        for (const xml::Node& response : item.selectAll(ResponsesOfItem)) {
            std::string responseIdent = response.attribute("ident");
            EXPECT_TRUE(result.selectFirst(xml::formatXPath(
                ".//item_result[@ident_ref = \"%s\"]/response[@ident_ref = \"%s\"]",
                {itemIdent, responseIdent})))
                << "no response '" << responseIdent << "' in item_result '" << itemIdent << "'";
        }
    }
    EXPECT_TRUE(result.selectFirst("context/date/datetime")) << "no context/date/datetime";
}

xml::Document stylesheet() {
    return xml::Document::load((AssessmentsDir / "ims_qtiasi2res.xslt").string());
}

xml::Document loadAssessment(const std::string& name) {
    return xml::Document::load((AssessmentsDir / (name + ".xml")).string());
}

enum class Kind { TextField, TextArea, RadioCheck, Select, None };

// The binder the client picks for a response: a fill-in-blank rendering decides first.
Kind kindOf(const xml::Node& response) {
    if (response.selectFirst(".//render_fib"))
        return response.selectFirst(".//render_fib[@rows = 1]") ? Kind::TextField : Kind::TextArea;
    if (lower(response.name()) == "response_lid")
        return Kind::RadioCheck;
    if (lower(response.name()) == "response_str")
        return Kind::Select;
    return Kind::None;
}

std::set<std::string> labelIdents(const xml::Node& response) {
    std::set<std::string> idents;
    for (const xml::Node& label : response.selectAll(".//response_label"))
        idents.insert(label.attribute("ident"));
    return idents;
}

bool isMultiple(const xml::Node& response) {
    return lower(response.attribute("rcardinality")) != "single" &&
           !response.attribute("rcardinality").empty();
}

class DemoAssessments : public ::testing::Test {
protected:
    void SetUp() override {
        names = listedAssessments();
        ASSERT_GE(names.size(), 3u) << "vedris.ini lists fewer than three assessments";
    }
    std::vector<std::string> names;
};

} // namespace

TEST_F(DemoAssessments, SettingsListPagesAndFilesThatExist) {
    std::string ini = readFile((DemoDir / "vedris.ini").string());
    EXPECT_TRUE(std::regex_search(ini, std::regex(R"((^|\n)\s*ClientId\s*=\s*\S)")))
        << "vedris.ini names no ClientId";
    std::set<std::string> seen;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(std::regex_match(name, std::regex("[a-z0-9_]+")));
        EXPECT_TRUE(seen.insert(name).second) << "listed twice";
        EXPECT_TRUE(fs::is_regular_file(AssessmentsDir / (name + ".html")));
        EXPECT_TRUE(fs::is_regular_file(AssessmentsDir / (name + ".xml")));
    }
    EXPECT_TRUE(fs::is_regular_file(AssessmentsDir / "index.html"));
    EXPECT_TRUE(fs::is_regular_file(AssessmentsDir / "ims_qtiasi2res.xslt"));
}

TEST_F(DemoAssessments, StartPageFramesEveryAssessmentAndLinksOnlyLocalFiles) {
    Page index = readPage(AssessmentsDir / "index.html");
    std::smatch frame;
    ASSERT_TRUE(std::regex_search(index.text, frame,
                                  std::regex(R"(<i?frame\b([^>]*)>)", std::regex::icase)))
        << "index.html has no frame";
    Attributes frameAttributes = parseAttributes(frame[1]);
    EXPECT_EQ(frameAttributes["name"], "form_frame");
    std::string first = frameAttributes["src"];
    EXPECT_TRUE(fs::is_regular_file(AssessmentsDir / first)) << first;
    // The page shown at start is no assessment, so nothing is bound before a choice.
    EXPECT_EQ(std::find(names.begin(), names.end(), lower(fs::path(first).stem().string())),
              names.end());

    std::map<std::string, std::string> menu; // href -> target
    static const std::regex link(R"(<a\b([^>]*)>)", std::regex::icase);
    for (std::sregex_iterator it(index.text.begin(), index.text.end(), link), end; it != end;
         ++it) {
        Attributes a = parseAttributes((*it)[1]);
        menu[a["href"]] = a["target"];
    }
    for (const std::string& name : names) {
        auto entry = menu.find(name + ".html");
        ASSERT_NE(entry, menu.end()) << "no menu entry for " << name;
        EXPECT_EQ(entry->second, "form_frame") << name;
    }

    // Every page is UTF-8 and refers only to files of the folder: the client serves
    // nothing else and has no network.
    static const std::regex reference(R"re(\b(?:href|src|action)\s*=\s*"([^"]*)")re",
                                      std::regex::icase);
    for (const auto& entry : fs::directory_iterator(AssessmentsDir)) {
        if (entry.path().extension() != ".html")
            continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::string text = readFile(entry.path().string());
        EXPECT_TRUE(
            std::regex_search(text, std::regex(R"(<meta\s+charset="utf-8")", std::regex::icase)));
        for (std::sregex_iterator it(text.begin(), text.end(), reference), end; it != end; ++it) {
            std::string target = (*it)[1];
            EXPECT_TRUE(fs::is_regular_file(AssessmentsDir / target)) << target;
            EXPECT_EQ(target.find(':'), std::string::npos) << target;
            EXPECT_EQ(target.find('/'), std::string::npos) << target;
        }
        EXPECT_EQ(text.find("url("), std::string::npos);
    }
}

TEST_F(DemoAssessments, QtiFilesCarryIdentsAndNumericMargins) {
    std::set<std::string> assessmentIdents;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        xml::Document doc = loadAssessment(name);
        std::string ident = assessmentIdent(doc);
        EXPECT_FALSE(ident.empty());
        // Results are found by the assessment ident alone, so two assessments sharing one
        // would read each other's answers.
        EXPECT_TRUE(assessmentIdents.insert(ident).second) << "ident " << ident << " reused";

        std::vector<xml::Node> items = doc.selectAll("//item");
        EXPECT_FALSE(items.empty());
        std::set<std::string> itemIdents;
        for (const xml::Node& item : items) {
            EXPECT_TRUE(itemIdents.insert(item.attribute("ident")).second)
                << "item ident " << item.attribute("ident") << " reused";
            std::vector<xml::Node> responses = item.selectAll(ResponsesOfItem);
            EXPECT_FALSE(responses.empty()) << item.attribute("ident");
            std::set<std::string> responseIdents;
            for (const xml::Node& response : responses) {
                EXPECT_FALSE(response.attribute("ident").empty());
                EXPECT_TRUE(responseIdents.insert(response.attribute("ident")).second);
            }
        }

        for (const char* label : {"margin_left", "margin_top", "margin_right", "margin_bottom"}) {
            xml::Node entry = doc.selectFirst(xml::formatXPath(
                "//qtimetadata/qtimetadatafield[./fieldlabel = \"%s\"]/fieldentry", {label}));
            ASSERT_TRUE(entry) << label;
            // Written with a full stop in inches, as the page setup takes them.
            std::string text = entry.firstChildValue();
            EXPECT_TRUE(std::regex_match(text, std::regex(R"(\d+(\.\d+)?)")))
                << label << " = '" << text << "'";
            double inches = std::strtod(text.c_str(), nullptr);
            EXPECT_GT(inches, 0.0) << label;
            EXPECT_LE(inches, 2.0) << label;
        }
    }
}

TEST_F(DemoAssessments, StylesheetDerivesResultsTheClientFindsAgain) {
    xml::Document xslt = stylesheet();
    xml::Document results = xml::Document::create();
    results.createDocumentElement("qti_result_report");
    results.setDeclaration("1.0", "UTF-8");
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        xml::Document assessment = loadAssessment(name);
        xml::Document output = xml::transform(assessment, xslt);
        expectMeetsContract(assessment, output);
        xml::Node result = output.selectFirst("//result");
        ASSERT_TRUE(result);
        results.documentElement().appendChild(results.importCopy(result));
    }

    TempDir dir;
    results.save(dir.file("results.xml"));
    xml::Document reloaded = xml::Document::load(dir.file("results.xml"));
    xml::Node report = reloaded.documentElement();
    EXPECT_EQ(report.selectAll("result").size(), names.size());
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        xml::Document assessment = loadAssessment(name);
        std::vector<xml::Node> found = report.selectAll(xml::formatXPath(
            "result[assessment_result[@ident_ref = \"%s\"]]", {assessmentIdent(assessment)}));
        ASSERT_EQ(found.size(), 1u);
        // A fresh skeleton holds no answers: the client reads its values from here.
        EXPECT_TRUE(found[0].selectAll(".//response_value").empty());
    }
}

TEST_F(DemoAssessments, EveryResponseHasControlsOfItsKind) {
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        xml::Document assessment = loadAssessment(name);
        Page page = readPage(AssessmentsDir / (name + ".html"));
        for (const xml::Node& item : assessment.selectAll("//item")) {
            for (const xml::Node& response : item.selectAll(ResponsesOfItem)) {
                std::string controlName =
                    item.attribute("ident") + "." + response.attribute("ident");
                SCOPED_TRACE(controlName);
                std::vector<const Control*> controls;
                for (const Control& control : page.controls)
                    if (control.name() == controlName)
                        controls.push_back(&control);
                ASSERT_FALSE(controls.empty()) << "no control on the page";

                Kind kind = kindOf(response);
                std::set<std::string> labels = labelIdents(response);
                std::set<std::string> values;
                for (const Control* control : controls) {
                    switch (kind) {
                    case Kind::TextField:
                        EXPECT_EQ(control->tag, "input");
                        EXPECT_EQ(control->type, "text");
                        break;
                    case Kind::TextArea:
                        EXPECT_EQ(control->tag, "textarea");
                        break;
                    case Kind::RadioCheck:
                        ASSERT_EQ(control->tag, "input");
                        EXPECT_EQ(control->type, isMultiple(response) ? "checkbox" : "radio");
                        EXPECT_TRUE(labels.count(control->attr("value")))
                            << "value '" << control->attr("value") << "' is no response_label";
                        EXPECT_TRUE(values.insert(control->attr("value")).second)
                            << "value '" << control->attr("value") << "' twice";
                        EXPECT_FALSE(control->has("checked"));
                        break;
                    case Kind::Select:
                        ASSERT_EQ(control->tag, "select");
                        EXPECT_EQ(control->has("multiple"), isMultiple(response));
                        // A drop-down list always shows some option as chosen and would
                        // store it as an answer nobody gave; a list box starts empty.
                        if (!control->has("multiple")) {
                            EXPECT_GT(std::atoi(control->attr("size").c_str()), 1);
                        }
                        EXPECT_FALSE(control->options.empty());
                        for (const Attributes& option : control->options) {
                            auto value = option.find("value");
                            ASSERT_NE(value, option.end()) << "option without a value";
                            EXPECT_TRUE(labels.count(value->second))
                                << "option '" << value->second << "' is no response_label";
                            EXPECT_TRUE(values.insert(value->second).second);
                            EXPECT_EQ(option.count("selected"), 0u);
                        }
                        break;
                    case Kind::None:
                        ADD_FAILURE() << "response_num without render_fib cannot be shown";
                        break;
                    }
                }
            }
        }
    }
}

TEST_F(DemoAssessments, EveryNamedControlAnswersAResponseOfTheOneForm) {
    bool someoneRefusesIncompleteAnswers = false;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        xml::Document assessment = loadAssessment(name);
        std::set<std::string> responseNames;
        for (const xml::Node& item : assessment.selectAll("//item"))
            for (const xml::Node& response : item.selectAll(ResponsesOfItem))
                responseNames.insert(item.attribute("ident") + "." + response.attribute("ident"));

        Page page = readPage(AssessmentsDir / (name + ".html"));
        ASSERT_EQ(page.forms.size(), 1u) << "the client works on the first form only";
        Attributes& form = page.forms[0];
        EXPECT_EQ(lower(form["method"]), "get");
        EXPECT_EQ(form["target"], "form_frame");
        std::string action = form["action"];
        EXPECT_TRUE(fs::is_regular_file(AssessmentsDir / action)) << action;
        EXPECT_EQ(std::find(names.begin(), names.end(), lower(fs::path(action).stem().string())),
                  names.end())
            << "the form leads to an assessment page";

        for (const Control& control : page.controls) {
            if (!control.has("name"))
                continue;
            EXPECT_TRUE(responseNames.count(control.name()))
                << "control '" << control.name() << "' answers no response";
            EXPECT_TRUE(control.insideForm) << control.name();
        }

        if (form.count("onsubmit") && form["onsubmit"].find("return") != std::string::npos &&
            std::regex_search(page.scripts, std::regex(R"(alert\s*\(\s*"[\xD0\xD1])")))
            someoneRefusesIncompleteAnswers = true;
    }
    EXPECT_TRUE(someoneRefusesIncompleteAnswers)
        << "no page refuses incomplete answers with a Ukrainian alert";
}

// --- The stylesheet on inputs written to trip it up ------------------------------------

namespace {

xml::Document transformText(const std::string& text) {
    return xml::transform(xml::Document::parse(text), stylesheet());
}

std::string derivedAssessmentIdent(const std::string& ident) {
    xml::Document output =
        transformText("<questestinterop><assessment ident=\"" + ident + "\"/></questestinterop>");
    xml::Node node = output.selectFirst("//result/assessment_result");
    return node ? node.attribute("ident_ref") : std::string("(missing)");
}

} // namespace

TEST(DemoStylesheet, TrimsOnlyTheEndsOfTheAssessmentIdent) {
    EXPECT_EQ(derivedAssessmentIdent("PLAIN"), "PLAIN");
    EXPECT_EQ(derivedAssessmentIdent(" &#9; Тест  1\t&#10;&#13; "), "Тест  1");
    EXPECT_EQ(derivedAssessmentIdent("a &#9;&#10; b"), "a \t\n b");
    EXPECT_EQ(derivedAssessmentIdent("   x"), "x");
    EXPECT_EQ(derivedAssessmentIdent("y   "), "y");
    EXPECT_EQ(derivedAssessmentIdent("  &#10; "), "");
    EXPECT_EQ(derivedAssessmentIdent(""), "");
    EXPECT_EQ(derivedAssessmentIdent("  &quot;q&quot; &amp; 'a'  "), "\"q\" & 'a'");
    // Far more padding than any template recursion could walk through one blank at a time.
    std::string padding(40000, ' ');
    EXPECT_EQ(derivedAssessmentIdent(padding + "x  y" + padding + padding), "x  y");
    EXPECT_EQ(derivedAssessmentIdent(padding + "😀 Ї" + padding), "😀 Ї");
}

TEST(DemoStylesheet, CoversNestedItemsAndResponsesDeepInFlows) {
    const std::string text = R"(<?xml version="1.0" encoding="UTF-8"?>
<questestinterop>
  <qticomment>response_lid outside any item is no response of the assessment</qticomment>
  <assessment ident="  A 1  " title="Перевірка">
    <section ident="S">
      <section ident="S.inner">
        <item ident=" I 1 ">
          <presentation>
            <flow><flow><material><mattext>x</mattext></material>
              <response_lid ident=" R&quot;1 " rcardinality="Multiple"><render_choice/></response_lid>
            </flow></flow>
            <item ident="nested">
              <presentation><flow><response_num ident="N"><render_fib rows=" 1 "/></response_num></flow></presentation>
            </item>
            <response_str ident="S'2"/>
          </presentation>
        </item>
      </section>
      <item ident="I2">
        <presentation><material><mattext>Без відповіді</mattext></material></presentation>
      </item>
      <item><response_str ident=""/><response_str ident="ідент 😀"/></item>
      <item ident="I2"><response_lid ident="second"/></item>
    </section>
  </assessment>
  <objectbank ident="bank"><item ident="banked"><response_str ident="B"/></item></objectbank>
</questestinterop>)";
    xml::Document assessment = xml::Document::parse(text);
    xml::Document output = xml::transform(assessment, stylesheet());
    expectMeetsContract(assessment, output);

    xml::Node result = output.selectFirst("//result");
    ASSERT_TRUE(result);
    EXPECT_EQ(result.selectFirst("assessment_result").attribute("ident_ref"), "A 1");
    // One item_result per item, idents untouched, in document order.
    std::vector<xml::Node> itemResults = result.selectAll(".//item_result");
    std::vector<std::string> idents;
    for (const xml::Node& node : itemResults)
        idents.push_back(node.attribute("ident_ref"));
    EXPECT_EQ(idents, (std::vector<std::string>{" I 1 ", "nested", "I2", "", "I2", "banked"}));
    // The outer item answers for the nested item's response too, as the client looks them up.
    std::vector<std::string> outer;
    for (const xml::Node& node : itemResults[0].selectAll("response"))
        outer.push_back(node.attribute("ident_ref"));
    EXPECT_EQ(outer, (std::vector<std::string>{" R\"1 ", "N", "S'2"}));
    EXPECT_TRUE(itemResults[2].selectAll("response").empty());
    ASSERT_EQ(itemResults[3].selectAll("response").size(), 2u);
    EXPECT_EQ(itemResults[3].selectAll("response")[1].attribute("ident_ref"), "ідент 😀");
    EXPECT_EQ(result.selectAll(".//response_value").size(), 0u);
    EXPECT_EQ(output.selectAll("//result").size(), 1u);
}

TEST(DemoStylesheet, GivesASkeletonForAnAssessmentWithoutItems) {
    xml::Document assessment = xml::Document::parse(
        "<questestinterop><assessment ident='EMPTY'><section ident='S'/></assessment>"
        "</questestinterop>");
    xml::Document output = xml::transform(assessment, stylesheet());
    expectMeetsContract(assessment, output);
    EXPECT_EQ(output.selectAll("//item_result").size(), 0u);
}
