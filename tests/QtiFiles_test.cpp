// Assessment files as other tools write them: in the IMS namespace, in the encodings their
// declarations name, with the constructs real exports carry. The client must read them as it
// reads its own files and keep the results free of their namespace.
#include <gtest/gtest.h>

#include <iconv.h>

#include "QTIDomain/uStorageManager.h"
#include "platform/html/MemoryFormDocument.h"
#include "printing/uPrinterSettings.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

using namespace vedris;
using test::readFile;
using test::TempDir;

namespace {

const std::string Samples = VEDRIS_SOURCE_DIR "/tests/data/qti/";

std::string convert(const std::string& utf8, const char* encoding) {
    iconv_t cd = iconv_open(encoding, "UTF-8");
    std::string out(utf8.size() * 4 + 4, '\0');
    char* in = const_cast<char*>(utf8.data());
    size_t inLeft = utf8.size(), outLeft = out.size();
    char* o = out.data();
    size_t done = iconv(cd, &in, &inLeft, &o, &outLeft);
    iconv_close(cd);
    EXPECT_NE(done, static_cast<size_t>(-1)) << encoding;
    out.resize(out.size() - outLeft);
    return out;
}

std::string Declared(const std::string& encoding, const std::string& ident) {
    return "<?xml version=\"1.0\" encoding=\"" + encoding +
           "\"?>\n<questestinterop><assessment ident=\"" + ident +
           "\"><item ident=\"I\"><response_str ident=\"R\"><render_fib rows=\"1\"/>"
           "</response_str></item></assessment></questestinterop>\n";
}

class QtiFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("vedris.ini", "[General]\n");
        dir.write("Assessments/ims_qtiasi2res.xslt",
                  readFile(VEDRIS_SOURCE_DIR "/demo/Assessments/ims_qtiasi2res.xslt"));
        dir.write("Results/results.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report/>\n");
        CreateClientRegistry(dir.file("vedris.ini"));
    }
    void TearDown() override { DestroyClientRegistry(); }
    std::string results() const { return dir.file("Results/results.xml"); }

    TempDir dir;
};

} // namespace

TEST_F(QtiFiles, NamespacedExportBindsAndStoresLikeAPlainFile) {
    std::string file = dir.write("Assessments/ims.xml", readFile(Samples + "ims12.xml"));
    html::MemoryFormDocument form;
    form.addInput("I1.R1", "radio", "A");
    form.addInput("I1.R1", "radio", "B", true);
    form.addInput("I2.R2", "checkbox", "KY", true);
    form.addInput("I2.R2", "checkbox", "DN", true);
    form.addSelect("I3.R4", false, {{"misto", false}, {"selo", true}});
    form.addInput("I3.R5", "text", "Полтава");
    form.addTextArea("I3.R6", "рядок\nдругий");
    form.addInput("I3.R7", "text", "42");
    {
        TStorageManager manager(file, results(), &form);
        // Every response but the slider, which has no control kind.
        EXPECT_EQ(manager.Binders().size(), 8u);
        EXPECT_EQ(manager.GetAssessmentIdent(), "IMS-ZRAZOK");
        ASSERT_TRUE(manager.SubmitResponses());
    }
    std::string text = readFile(results());
    EXPECT_EQ(text.find("xmlns"), std::string::npos) << text;
    xml::Document doc = xml::Document::load(results());
    auto values = [&](const std::string& item, const std::string& response) {
        std::string all;
        for (xml::Node v :
             doc.selectAll("//item_result[@ident_ref='" + item + "']/response[@ident_ref='" +
                           response + "']/response_value"))
            all += v.text() + ";";
        return all;
    };
    EXPECT_EQ(values("I1", "R1"), "B;");
    EXPECT_EQ(values("I2", "R2"), "KY;DN;");
    EXPECT_EQ(values("I2", "R3"), ";");
    EXPECT_EQ(values("I3", "R4"), "selo;");
    EXPECT_EQ(values("I3", "R5"), "Полтава;");
    EXPECT_EQ(values("I3", "R6"), "рядок\nдругий;");
    EXPECT_EQ(values("I3", "R7"), "42;");
    EXPECT_TRUE(doc.selectFirst("//item_result[@ident_ref='I5']"));
    EXPECT_TRUE(doc.selectFirst("//assessment_result[@ident_ref='IMS-ZRAZOK']"));

    // The print margins of the namespaced metadata are found as well.
    EXPECT_EQ(ReadMetadataNumber("margin_left", LoadAssessmentDocument(file), "."), 0.4);
}

TEST_F(QtiFiles, DeclaredEncodingsAreDecoded) {
    const std::string ident = "Анкета-ґ-Є";
    std::vector<std::pair<std::string, std::string>> files = {
        {"UTF-16", convert(Declared("UTF-16", ident), "UTF-16")},
        {"windows-1251", convert(Declared("windows-1251", ident), "WINDOWS-1251")},
        {"KOI8-U", convert(Declared("KOI8-U", ident), "KOI8-U")},
        {"UTF-8", Declared("UTF-8", ident)}};
    for (const auto& [name, bytes] : files) {
        std::string file = dir.write("Assessments/" + name + ".xml", bytes);
        TStorageManager(file, results(), nullptr);
    }
    TStorageManager(Samples + "latin1.xml", results(), nullptr);
    xml::Document doc = xml::Document::load(results());
    auto results = doc.selectAll("//assessment_result");
    ASSERT_EQ(results.size(), 2u); // one per ident
    EXPECT_EQ(results[0].attribute("ident_ref"), ident);
    EXPECT_EQ(results[1].attribute("ident_ref"), "LATIN");
    EXPECT_EQ(results[1].selectFirst("item_result").attribute("asi_title"), "Qualité");
}

TEST_F(QtiFiles, BytesThatDoNotMatchTheDeclarationAreRefusedNamingTheFile) {
    const std::string before = readFile(results());
    std::vector<std::pair<std::string, std::string>> files = {
        {"utf8.xml", convert(Declared("UTF-8", "Анкета"), "WINDOWS-1251")},
        {"cp1251.xml", Declared("windows-1251", "A\x98")},
        {"utf16.xml", Declared("UTF-16", "Анкета")}};
    for (const auto& [name, bytes] : files) {
        std::string file = dir.write("Assessments/" + name, bytes);
        try {
            TStorageManager(file, results(), nullptr);
            ADD_FAILURE() << name << " was read";
        } catch (const xml::Error& e) {
            EXPECT_NE(std::string(e.what()).find(file), std::string::npos) << e.what();
        }
    }
    EXPECT_EQ(readFile(results()), before);
}
