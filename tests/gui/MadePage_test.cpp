// A page made by vedris-assessments for a QTI 1.2 export in the IMS namespace, in the real
// client: answered, left, reopened and sent with its own button, the answers stand in
// results.xml under the export's idents and come back into the page.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "gui/ClientHarness.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// The page's controls in one line: checked values, list selection, field texts.
std::string controls(Client& c) {
    return c.frame(R"JS(
        function checked(name) {
          return Array.from(doc.getElementsByName(name)).filter(e => e.checked).map(e => e.value).join('+');
        }
        var list = doc.getElementsByName('I3.R4')[0];
        return [checked('I1.R1'), checked('I2.R2'), checked('I2.R3'),
                Array.from(list.options).filter(o => o.selected).map(o => o.value).join('+'),
                doc.getElementsByName('I3.R5')[0].value, doc.getElementsByName('I3.R6')[0].value,
                doc.getElementsByName('I3.R7')[0].value, checked('I4.R9')].join('|');
    )JS");
}

} // namespace

// Copies a sample into the installation as name.xml and makes its page name.html.
bool madePage(const Installation& inst, const std::string& sample, const std::string& name) {
    stdfs::copy_file(VEDRIS_SOURCE_DIR "/tests/data/qti/" + sample,
                     inst.assessments() + name + ".xml");
    int status = std::system((VEDRIS_BIN_DIR "/vedris-assessments page " + inst.assessments() +
                              name + ".xml -o " + inst.assessments() + name + ".html 2>/dev/null")
                                 .c_str());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(MadePage, NamespacedExportIsAnsweredLeftReopenedAndStored) {
    Installation inst("ims");
    ASSERT_TRUE(madePage(inst, "ims12.xml", "ims"));

    Client c(inst);
    ASSERT_TRUE(c.started);
    auto open = [&] { c.page("window.frames['form_frame'].location.href = 'ims.html'"); };
    ASSERT_TRUE(c.bindsAfter(open));
    EXPECT_EQ(controls(c), "|||||||");
    c.frame(R"JS(
        doc.getElementsByName('I1.R1')[1].checked = true;
        doc.getElementsByName('I2.R2')[0].checked = true;
        doc.getElementsByName('I2.R2')[2].checked = true;
        doc.getElementsByName('I3.R4')[0].options[1].selected = true;
        doc.getElementsByName('I3.R5')[0].value = 'Полтава';
        doc.getElementsByName('I3.R6')[0].value = 'Рядок «перший»\nі другий';
        doc.getElementsByName('I3.R7')[0].value = '42';
    )JS");
    const std::string answered = "B|KY+LV||selo|Полтава|Рядок «перший»\nі другий|42|";
    ASSERT_TRUE(c.arrivesAfter(
        [&] { c.page("window.frames['form_frame'].location.href = 'welcome.html'"); },
        "welcome.html"));

    {
        Results r(inst.results());
        EXPECT_EQ(r.values("IMS-ZRAZOK", "I1", "R1"), (std::vector<std::string>{"Valid:B"}));
        EXPECT_EQ(r.values("IMS-ZRAZOK", "I2", "R2"),
                  (std::vector<std::string>{"Valid:KY", "Valid:LV"}));
        EXPECT_EQ(r.values("IMS-ZRAZOK", "I2", "R3"), (std::vector<std::string>{"NA:"}));
        EXPECT_EQ(r.values("IMS-ZRAZOK", "I3", "R4"), (std::vector<std::string>{"Valid:selo"}));
        EXPECT_EQ(r.values("IMS-ZRAZOK", "I3", "R5"), (std::vector<std::string>{"Valid:Полтава"}));
        EXPECT_EQ(r.values("IMS-ZRAZOK", "I3", "R6"),
                  (std::vector<std::string>{"Valid:Рядок «перший»\nі другий"}));
        EXPECT_EQ(r.values("IMS-ZRAZOK", "I3", "R7"), (std::vector<std::string>{"Valid:42"}));
        EXPECT_EQ(readFile(inst.results()).find("xmlns"), std::string::npos);
    }

    ASSERT_TRUE(c.bindsAfter(open));
    EXPECT_EQ(controls(c), answered);

    // The page's own button saves and shows the page again with what was sent.
    c.frame("doc.getElementsByName('I3.R7')[0].value = '7';");
    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("button[type=submit]"); }));
    EXPECT_EQ(c.frameFile(), "ims.html");
    EXPECT_EQ(Results(inst.results()).values("IMS-ZRAZOK", "I3", "R7"),
              (std::vector<std::string>{"Valid:7"}));
    EXPECT_EQ(controls(c), "B|KY+LV||selo|Полтава|Рядок «перший»\nі другий|7|");
    EXPECT_TRUE(c.w().ReportedErrors().empty());
}

TEST(MadePage, Latin1FileIsShownAndStoredInUtf8) {
    Installation inst("latin");
    ASSERT_TRUE(madePage(inst, "latin1.xml", "latin"));
    Client c(inst);
    ASSERT_TRUE(c.started);
    ASSERT_TRUE(
        c.bindsAfter([&] { c.page("window.frames['form_frame'].location.href = 'latin.html'"); }));
    EXPECT_EQ(c.frame("return doc.querySelector('legend').textContent;"), "1. Qualité");
    c.frame("doc.getElementsByName('L1.R')[0].checked = true;"
            "doc.getElementsByName('L1.C')[0].value = 'crème brûlée';");
    ASSERT_TRUE(c.closes());
    Results r(inst.results());
    EXPECT_EQ(r.values("LATIN", "L1", "R"), (std::vector<std::string>{"Valid:oui"}));
    EXPECT_EQ(r.values("LATIN", "L1", "C"), (std::vector<std::string>{"Valid:crème brûlée"}));
}
