#include "platform/xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>

#include "platform/fs/AtomicFile.h"
#include "platform/xml/XmlEvents.h"
#include "support/TempDir.h"

using namespace vedris;
using vedris::test::readFile;
using vedris::test::TempDir;

namespace {

const char* kReport = R"(<?xml version="1.0" encoding="UTF-8"?>
<qti_result_report>
  <result><assessment_result ident_ref="A1"/>
    <item_result ident_ref="I1"><response ident_ref="R1"><response_value>x</response_value></response></item_result>
    <group><item_result ident_ref="I2"><response ident_ref="R1"/></item_result></group>
  </result>
  <result><assessment_result ident_ref="A2"/>
    <item_result ident_ref="I1"><response ident_ref="R1"/></item_result>
  </result>
</qti_result_report>)";

std::vector<std::string> refs(const std::vector<xml::Node>& nodes) {
    std::vector<std::string> out;
    for (auto& n : nodes)
        out.push_back(n.parent().attribute("ident_ref") + "/" + n.attribute("ident_ref"));
    return out;
}

} // namespace

TEST(XmlSelection, RelativePathsStayInsideTheContextAndRootedOnesSeeTheWholeDocument) {
    auto doc = xml::Document::parse(kReport);
    auto root = doc.documentElement();
    ASSERT_EQ(root.name(), "qti_result_report");
    auto second = root.selectFirst("result[assessment_result[@ident_ref = \"A2\"]]");
    ASSERT_TRUE(second);

    // Relative: only below the second result.
    EXPECT_EQ(refs(second.selectAll(".//item_result[@ident_ref = \"I1\"]/response")),
              (std::vector<std::string>{"I1/R1"}));
    EXPECT_EQ(second.selectAll(".//item_result").size(), 1u);
    // "//" from a nested context: every match in every result, in document order.
    auto all = second.selectAll("//item_result[@ident_ref = \"I1\"]/response[@ident_ref = \"R1\"]");
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].parent().parent().selectFirst("assessment_result").attribute("ident_ref"),
              "A1");
    // "/" is the document itself; the owning document can be reached from any node.
    auto docNode = second.selectFirst("/");
    EXPECT_EQ(docNode.name(), "#document");
    EXPECT_EQ(docNode, doc.root());
    // Nothing matched is "none", not an error.
    EXPECT_FALSE(root.selectFirst("result[assessment_result[@ident_ref = \"nope\"]]"));
    EXPECT_TRUE(root.selectAll("nothing").empty());
}

TEST(XmlSelection, EachSelectionSeesItsOwnDocument) {
    // Selections on several documents in turn, the way a binding reads the assessment and
    // results.xml: a rooted path answers from the document of the node asked.
    auto first = xml::Document::parse("<first><x/></first>");
    auto second = xml::Document::parse("<second><x/><x/></second>");
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(first.documentElement().selectFirst("/*").name(), "first");
        EXPECT_EQ(second.documentElement().selectAll("//x").size(), 2u);
        EXPECT_EQ(first.documentElement().selectAll("//x").size(), 1u);
    }
}

TEST(XmlSelection, UnionsComeBackInDocumentOrder) {
    auto doc =
        xml::Document::parse("<q><item><b><response_str ident='s1'/></b><response_lid ident='l1'/>"
                             "<response_num ident='n1'/><response_str ident='s2'/></item></q>");
    auto item = doc.selectFirst("//item");
    auto responses = item.selectAll(".//response_lid | .//response_str | .//response_num");
    std::vector<std::string> ids;
    for (auto& r : responses)
        ids.push_back(r.attribute("ident"));
    EXPECT_EQ(ids, (std::vector<std::string>{"s1", "l1", "n1", "s2"}));
}

TEST(XmlSelection, NumericComparisonOfRows) {
    auto doc = xml::Document::parse("<r><render_fib rows='01'/><render_fib rows=' 1 '/>"
                                    "<render_fib rows='2'/><render_fib/></r>");
    EXPECT_EQ(doc.selectAll("//render_fib[@rows = 1]").size(), 2u);
}

TEST(XmlSelection, BadExpressionsRaiseTheEnginesMessage) {
    auto doc = xml::Document::parse("<a/>");
    try {
        doc.selectFirst("a[@x = \"unterminated]");
        FAIL() << "no error";
    } catch (const xml::Error& e) {
        EXPECT_NE(std::string(e.what()).find("unterminated"), std::string::npos) << e.what();
    }
    EXPECT_THROW(doc.selectAll("count(//a)"), xml::Error); // a number, not nodes
}

TEST(XmlLiterals, QuotesOfEitherKindSelectTheRightNodes) {
    auto doc = xml::Document::create();
    auto root = doc.createDocumentElement("r");
    const std::vector<std::string> values = {"plain", "with \"double\"",
                                             "it's",  "both \"a\" and 'b'",
                                             "\"",    "'",
                                             "",      "Ґанок \"є\" 'ї' 🙂"};
    for (auto& v : values) {
        auto e = doc.createElement("v");
        e.setAttribute("id", v);
        e.setText(v);
        root.appendChild(e);
    }
    for (auto& v : values) {
        auto byAttr = root.selectAll(xml::formatXPath("v[@id = \"%s\"]", {v}));
        ASSERT_EQ(byAttr.size(), 1u) << v;
        EXPECT_EQ(byAttr[0].text(), v);
        auto byText = root.selectAll(xml::formatXPath("v[. = \"%s\"]", {v}));
        ASSERT_EQ(byText.size(), 1u) << v;
    }
    // Two placeholders fill in order; a count mismatch is the caller's error.
    EXPECT_EQ(xml::formatXPath("a[@x = \"%s\"]/b[@y = \"%s\"]", {"1", "q\""}),
              "a[@x = \"1\"]/b[@y = 'q\"']");
    EXPECT_THROW(xml::formatXPath("a[@x = \"%s\"]", {}), xml::Error);
    EXPECT_THROW(xml::formatXPath("a", {"extra"}), xml::Error);
}

TEST(XmlEditing, TextAttributesChildrenAndCopies) {
    auto doc = xml::Document::parse(
        "<r><resp>text<!--c--><v>old</v></resp><meta><f>0.5</f><g><x/>t</g></meta></r>");
    auto resp = doc.selectFirst("//resp");
    EXPECT_EQ(resp.firstChildValue(), "text");
    EXPECT_EQ(doc.selectFirst("//f").firstChildValue(), "0.5");
    EXPECT_EQ(doc.selectFirst("//g").firstChildValue(), ""); // first child is an element
    EXPECT_EQ(resp.attribute("missing"), "");
    EXPECT_FALSE(resp.hasAttribute("missing"));

    resp.removeChildren();
    EXPECT_FALSE(resp.firstChild());
    auto v = doc.createElement("response_value");
    v.setText("a < b & \"c\" &amp;");
    v.setAttribute("response_status", "Valid");
    resp.appendChild(v);
    auto again = xml::Document::parse(doc.toString());
    EXPECT_EQ(again.selectFirst("//response_value").text(), "a < b & \"c\" &amp;");
    EXPECT_EQ(again.selectFirst("//response_value").attribute("response_status"), "Valid");

    v.setText("");
    EXPECT_FALSE(v.firstChild());

    auto other = xml::Document::create();
    auto root = other.createDocumentElement("copy");
    root.appendChild(other.importCopy(doc.selectFirst("//meta")));
    EXPECT_EQ(xml::Document::parse(other.toString()).selectFirst("/copy/meta/g").text(), "t");
    // Nodes of another document are refused rather than corrupting both trees.
    EXPECT_THROW(root.appendChild(doc.selectFirst("//f")), xml::Error);
}

TEST(XmlEditing, ControlCharactersCannotMakeTheFileUnreadable) {
    TempDir dir;
    auto doc = xml::Document::create();
    auto root = doc.createDocumentElement("r");
    root.setText(std::string("a\x01"
                             "b\x1f"
                             "c\td\ne") +
                 "\xff" + "ї");
    root.setAttribute("v", std::string("x\x02y"));
    doc.save(dir.file("c.xml"));
    auto back = xml::Document::load(dir.file("c.xml"));
    EXPECT_EQ(back.documentElement().text(), "abc\td\neї");
    EXPECT_EQ(back.documentElement().attribute("v"), "xy");
}

TEST(XmlFiles, Utf8SurvivesLoadAndSave) {
    TempDir dir;
    const std::string text = "Відповідь: ґ є ї і — «лапки» 🙂🎓 日本";
    auto doc = xml::Document::create();
    auto root = doc.createDocumentElement("qti_result_report");
    doc.setDeclaration("1.0", "UTF-8");
    auto v = doc.createElement("response_value");
    v.setText(text);
    v.setAttribute("note", text);
    root.appendChild(v);
    doc.save(dir.file("results.xml"));

    std::string raw = readFile(dir.file("results.xml"));
    EXPECT_EQ(raw.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", 0), 0u) << raw;
    EXPECT_NE(raw.find(text), std::string::npos) << "stored as characters, not references";

    auto back = xml::Document::load(dir.file("results.xml"));
    EXPECT_EQ(back.selectFirst("//response_value").text(), text);
    EXPECT_EQ(back.selectFirst("//response_value").attribute("note"), text);
    EXPECT_EQ(back.version(), "1.0");
    EXPECT_EQ(back.encoding(), "UTF-8");
    back.save(dir.file("again.xml"));
    EXPECT_EQ(readFile(dir.file("again.xml")), raw);
}

TEST(XmlFiles, LoadErrorsNameTheFileAndLine) {
    TempDir dir;
    auto bad = dir.write("bad.xml", "<a>\n<b>\n</a>\n");
    try {
        xml::Document::load(bad);
        FAIL() << "no error";
    } catch (const xml::Error& e) {
        std::string msg = e.what();
        EXPECT_NE(msg.find("bad.xml:"), std::string::npos) << msg;
        EXPECT_NE(msg.find(":3:"), std::string::npos) << msg;
    }
    EXPECT_THROW(xml::Document::load(dir.file("missing.xml")), xml::Error);
    EXPECT_THROW(xml::Document::parse(""), xml::Error);
}

TEST(XmlFiles, HostileDocumentsReadNoLocalFiles) {
    TempDir dir;
    auto secret = dir.write("secret.txt", "TOP-SECRET-CONTENT");
    auto dtd = dir.write("evil.dtd", "<!ENTITY leak SYSTEM \"file://" + secret + "\">");
    const std::vector<std::string> attacks = {
        // External parsed entity pointing at a local file.
        "<!DOCTYPE a [<!ENTITY xxe SYSTEM \"file://" + secret + "\">]><a>&xxe;</a>",
        // External DTD subset declaring one; and a parameter entity.
        "<!DOCTYPE a SYSTEM \"file://" + dtd + "\"><a>&leak;</a>",
        "<!DOCTYPE a [<!ENTITY % p SYSTEM \"file://" + dtd + "\"> %p;]><a>&leak;</a>",
        // Network DTD: must not be fetched (there is no network here, and none is tried).
        "<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/x.dtd\"><a>safe</a>",
    };
    for (auto& xmlText : attacks) {
        auto path = dir.write("attack.xml", xmlText);
        try {
            auto doc = xml::Document::load(path);
            EXPECT_EQ(doc.toString().find("TOP-SECRET"), std::string::npos) << xmlText;
            EXPECT_EQ(doc.documentElement().text().find("TOP-SECRET"), std::string::npos);
        } catch (const xml::Error&) {
            // Refusing the document is fine too.
        }
    }
}

TEST(XmlFiles, SaveReplacesTheFileAndLeavesNoTemporaries) {
    TempDir dir;
    auto path = dir.write("results.xml", "<old/>");
    auto doc = xml::Document::parse("<new/>");
    doc.save(path);
    EXPECT_NE(readFile(path).find("<new/>"), std::string::npos);
    int files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 1);
}

TEST(XmlFiles, AFailedSaveLeavesTheOldFileIntact) {
    TempDir dir;
    auto path = dir.write("results.xml", "<old>precious answers</old>");

    // A writer that fails midway: the file-size limit stops the write after a few bytes,
    // as a full disk would.
    auto doc = xml::Document::create();
    auto root = doc.createDocumentElement("big");
    root.setText(std::string(200000, 'x'));
    struct rlimit saved {};
    getrlimit(RLIMIT_FSIZE, &saved);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tiny = saved;
    tiny.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
    EXPECT_THROW(doc.save(path), xml::Error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(readFile(path), "<old>precious answers</old>");

    // A target that cannot be replaced (a folder of that name).
    std::filesystem::create_directory(dir.file("taken.xml"));
    EXPECT_THROW(doc.save(dir.file("taken.xml")), xml::Error);
    // A folder that does not exist.
    EXPECT_THROW(doc.save(dir.file("no/such/folder/results.xml")), xml::Error);

    for (auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
}

TEST(XmlFiles, CopyIsDurableAndOverwrites) {
    TempDir dir;
    auto from = dir.write("a.xml", "<a>new</a>");
    auto to = dir.write("out/results.xml", "<a>old</a>");
    fs::copyFileAtomically(from, to);
    EXPECT_EQ(readFile(to), "<a>new</a>");
    EXPECT_THROW(fs::copyFileAtomically(dir.file("missing.xml"), to), fs::WriteError);
    EXPECT_EQ(readFile(to), "<a>new</a>");
}

TEST(XmlTransform, OutputIsANewDocument) {
    auto source = xml::Document::parse(
        "<questestinterop><assessment ident='  A 1 '><item ident='I1'/><item ident='I2'/>"
        "</assessment></questestinterop>");
    auto sheet = xml::Document::parse(R"(<xsl:stylesheet version="1.0"
        xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
      <xsl:template match="/">
        <qti_result_report><result>
          <assessment_result ident_ref="{normalize-space(//assessment/@ident)}"/>
          <xsl:for-each select="//item"><item_result ident_ref="{@ident}"/></xsl:for-each>
        </result></qti_result_report>
      </xsl:template></xsl:stylesheet>)");
    auto out = xml::transform(source, sheet);
    EXPECT_EQ(out.documentElement().name(), "qti_result_report");
    EXPECT_EQ(out.selectAll("//result/item_result").size(), 2u);
    EXPECT_EQ(out.selectFirst("//assessment_result").attribute("ident_ref"), "A 1");
    // The stylesheet document is untouched and can be used again.
    auto out2 = xml::transform(source, sheet);
    EXPECT_EQ(out2.selectAll("//item_result").size(), 2u);
}

TEST(XmlTransform, StylesheetsMayNotWriteFilesAndBrokenOnesFailLoudly) {
    TempDir dir;
    auto source = xml::Document::parse("<a/>");
    auto writer = xml::Document::parse(R"(<xsl:stylesheet version="1.0"
        xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
        xmlns:exsl="http://exslt.org/common" extension-element-prefixes="exsl">
      <xsl:template match="/">
        <exsl:document href=")" + dir.file("dropped/out.txt") +
                                       R"(" method="text">owned</exsl:document>
        <r/>
      </xsl:template></xsl:stylesheet>)");
    try {
        xml::transform(source, writer);
    } catch (const xml::Error&) {
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("dropped")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("dropped/out.txt")));

    auto broken = xml::Document::parse(R"(<xsl:stylesheet version="1.0"
        xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
      <xsl:template match="/"><xsl:value-of select="(("/></xsl:template></xsl:stylesheet>)");
    EXPECT_THROW(xml::transform(source, broken), xml::Error);
    auto notXslt = xml::Document::parse("<not-a-stylesheet/>");
    EXPECT_THROW(xml::transform(source, notXslt), xml::Error);
}

TEST(XmlNamespaces, DroppedNamespacesAnswerPlainSelectionsAndNothingCopiedCarriesThem) {
    auto doc = xml::Document::parse(
        R"(<questestinterop xmlns="urn:qti" xmlns:q="urn:qti" xmlns:xsi="urn:xsi" xsi:type="t">
             <assessment ident="A"><q:item ident="I"><response_str ident="R"/></q:item>
             <section xmlns="urn:other"><item ident="J"/></section></assessment>
           </questestinterop>)");
    EXPECT_FALSE(doc.selectFirst("//item"));
    doc.dropElementNamespaces();
    EXPECT_EQ(doc.selectAll("//item").size(), 2u);
    EXPECT_EQ(doc.documentElement().selectFirst("assessment").attribute("ident"), "A");
    EXPECT_EQ(doc.selectFirst("//item").name(), "item");
    EXPECT_TRUE(doc.selectFirst("//item/response_str"));
    EXPECT_EQ(doc.documentElement().attribute("type"), "t");

    // Serialised and read again, and copied by a stylesheet, everything stays out of any
    // namespace: a default declaration left behind would pull it back in.
    std::string text = doc.toString();
    EXPECT_EQ(text.find("xmlns=\""), std::string::npos) << text;
    EXPECT_TRUE(xml::Document::parse(text).selectFirst("/questestinterop/assessment/item"));
    auto copy = xml::transform(
        doc, xml::Document::parse(
                 R"(<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
                      <xsl:template match="/"><r><xsl:copy-of select="//section"/></r></xsl:template>
                    </xsl:stylesheet>)"));
    EXPECT_TRUE(xml::Document::parse(copy.toString()).selectFirst("/r/section/item[@ident='J']"));
}

namespace {

// An assessment of about 20 KB whose entity, nested three deep, stands for some 10^9
// characters: referenced in element text and inside an ident attribute.
std::string entityBomb() {
    std::string text =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE questestinterop [\n"
        "<!ENTITY a \"AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\">\n"
        "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\">\n"
        "<!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">\n"
        "]>\n<questestinterop><assessment ident=\"&c;&c;&c;\"><section>";
    while (text.size() < 20000)
        text += "<item ident=\"&c;\"><mattext>&c;&c;&c;&c;</mattext></item>";
    return text + "</section></assessment></questestinterop>";
}

std::string stylesheet(const std::string& templates) {
    return "<xsl:stylesheet version=\"1.0\" "
           "xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">" +
           templates + "</xsl:stylesheet>";
}

std::string transformError(const std::string& templates, const xml::TransformLimits& limits = {}) {
    auto source = xml::Document::parse("<a><b/><b/><b/><b/><b/><b/><b/><b/><b/><b/></a>");
    auto sheet = xml::Document::parse(stylesheet(templates), "loop.xslt");
    try {
        xml::transform(source, sheet, limits);
    } catch (const xml::Error& e) {
        return e.what();
    }
    return "(no error)";
}

} // namespace

TEST(XmlFiles, DocumentsDeclaringEntitiesAreRefusedAndAnExternalDtdIsNotLoaded) {
    TempDir dir;
    auto bomb = dir.write("bomb.xml", entityBomb());
    ASSERT_GE(readFile(bomb).size(), 20000u);
    try {
        xml::Document::load(bomb);
        FAIL() << "an entity declaration was accepted";
    } catch (const xml::Error& e) {
        std::string msg = e.what();
        EXPECT_NE(msg.find("bomb.xml:3:"), std::string::npos) << msg;
        EXPECT_NE(msg.find("сутність «a»"), std::string::npos) << msg;
    }
    // Parameter entities and unparsed ones are declarations too.
    EXPECT_THROW(xml::Document::parse("<!DOCTYPE a [<!ENTITY % p \"x\">]><a/>"), xml::Error);
    EXPECT_THROW(xml::Document::parse("<!DOCTYPE a [<!NOTATION n SYSTEM \"n\">"
                                      "<!ENTITY u SYSTEM \"u\" NDATA n>]><a/>"),
                 xml::Error);

    // The usual QTI DOCTYPE names a DTD that is not there: the document reads all the same.
    auto qti = xml::Document::parse(
        "<?xml version=\"1.0\"?>\n<!DOCTYPE questestinterop SYSTEM \"ims_qtiasiv1p2.dtd\">\n"
        "<questestinterop><assessment ident=\"A &amp; B\"/></questestinterop>");
    EXPECT_EQ(qti.selectFirst("/*/assessment").attribute("ident"), "A & B");
    // Element declarations alone are no entities.
    auto declared = xml::Document::parse("<!DOCTYPE a [<!ELEMENT a (#PCDATA)>]><a>x</a>");
    EXPECT_EQ(declared.documentElement().text(), "x");
}

// What the events tell, written out: "<name@attr>" for a start, "/" for an end, text as is.
struct Transcript : xml::EventReader {
    std::string out;
    void startElement(const Element& e) override {
        out += "<" + std::string(e.namespaced ? "ns:" : "") + std::string(e.name) + "@" +
               e.attribute("ident") + ":" + std::to_string(e.line) + ">";
    }
    void endElement() override { out += "/"; }
    void text(std::string_view piece) override { out += piece; }
};

TEST(XmlEvents, TellWhatTheTreeHoldsAndRefuseWhatParseRefuses) {
    Transcript t;
    xml::readEvents("<?xml version=\"1.0\"?>\n<!DOCTYPE r SYSTEM \"missing.dtd\">\n"
                    "<r xmlns:q=\"urn:q\"><a ident=\"A &amp; &#1041;&lt;\">x &amp; y<!-- c -->"
                    "<![CDATA[<z>]]></a>\n<q:b ident=\"q\" q:ident=\"no\"/></r>",
                    "t.xml", t);
    EXPECT_EQ(t.out, "<r@:3><a@A & Б<:3>x & y<z>/\n<ns:b@q:4>//");

    // The same refusals and the same messages as a parse, with what came before told.
    for (const char* broken : {"<r><a>x</b></r>", "<!DOCTYPE r [<!ENTITY e \"x\">]><r>&e;</r>",
                               "<r>\xff</r>"}) {
        std::string parsed, read;
        try {
            xml::Document::parse(broken, "b.xml");
        } catch (const xml::Error& e) {
            parsed = e.what();
        }
        Transcript partial;
        try {
            xml::readEvents(broken, "b.xml", partial);
        } catch (const xml::Error& e) {
            read = e.what();
        }
        EXPECT_FALSE(read.empty()) << broken;
        EXPECT_EQ(read, parsed) << broken;
    }
}

TEST(XmlTransform, RunawayStylesheetsAreStoppedWithTheEnginesWholeReason) {
    // Endless recursion: libxslt's "runtime error" line and the reason on the next one.
    std::string msg =
        transformError(R"S(<xsl:template match="/"><xsl:call-template name="t"/></xsl:template>
        <xsl:template name="t"><x/><xsl:call-template name="t"/></xsl:template>)S");
    EXPECT_NE(msg.find("runtime error"), std::string::npos) << msg;
    EXPECT_NE(msg.find("loop.xslt"), std::string::npos) << msg;
    EXPECT_NE(msg.find("\n"), std::string::npos) << msg;
    EXPECT_NE(msg.find("recursion"), std::string::npos) << msg;
    // Not the stack dump nor the command-line hint that follow it.
    EXPECT_EQ(msg.find("#0 name t"), std::string::npos) << msg;
    EXPECT_EQ(msg.find("--maxdepth"), std::string::npos) << msg;

    // Recursion that stays shallow but doubles at every level: 2^40 elements.
    const std::string doubling = R"S(<xsl:template match="/"><r><xsl:call-template name="t">
          <xsl:with-param name="n" select="40"/></xsl:call-template></r></xsl:template>
        <xsl:template name="t"><xsl:param name="n"/><e/><xsl:if test="$n &gt; 0">
          <xsl:call-template name="t"><xsl:with-param name="n" select="$n - 1"/></xsl:call-template>
          <xsl:call-template name="t"><xsl:with-param name="n" select="$n - 1"/></xsl:call-template>
        </xsl:if></xsl:template>)S";
    msg = transformError(doubling);
    EXPECT_NE(msg.find("понад 1000000 вузлів"), std::string::npos) << msg;
    // The same without output is stopped by the clock.
    xml::TransformLimits quick;
    quick.maxMilliseconds = 200;
    std::string silent = doubling;
    silent.replace(silent.find("<e/>"), 4, "");
    msg = transformError(silent, quick);
    EXPECT_NE(msg.find("довше за 200 мс"), std::string::npos) << msg;

    // A string that doubles at every call takes the memory before any limit of depth.
    msg = transformError(R"S(<xsl:template match="/"><xsl:call-template name="d">
          <xsl:with-param name="s" select="'ab'"/></xsl:call-template></xsl:template>
        <xsl:template name="d"><xsl:param name="s"/><xsl:call-template name="d">
          <xsl:with-param name="s" select="concat($s, $s)"/></xsl:call-template></xsl:template>)S");
    EXPECT_NE(msg.find("понад 128 МБ"), std::string::npos) << msg;

    // XPath alone: every node compared with every node, eight times nested.
    msg = transformError(R"S(<xsl:template match="/"><xsl:value-of
        select="count(//node()[count(//node()[count(//node()[count(//node()[count(//node()[count(//node()[count(//node()[count(//node())])])])])])])])"/></xsl:template>)S");
    EXPECT_NE(msg.find("limit"), std::string::npos) << msg;

    // One text that keeps growing.
    xml::TransformLimits small;
    small.maxTextBytes = 1000;
    msg = transformError(
        R"S(<xsl:template match="/"><r><xsl:for-each select="//b"><xsl:for-each select="//b">
        <xsl:value-of select="'0123456789012345678901234567890123456789'"/></xsl:for-each></xsl:for-each></r></xsl:template>)S",
        small);
    EXPECT_NE(msg.find("довший за 1000 байтів"), std::string::npos) << msg;
}
