// Drafts end to end: the real client keeps what the candidate typed through a kill of the
// client, a kill of its web process, a refusing page and a damaged draft file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include <sys/wait.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include "Texts.h"
#include "gui/ClientHarness.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// Every kind of control of alpha.html, changed as the candidate's typing and clicking would
// (with the input and change events that go with it).
const char* const TypeAlpha = R"JS(
    doc.getElementsByName('A1.TEXT')[0].value = 'Чернетка: Ярина';
    doc.getElementsByName('A2.LONG')[0].value = 'два\nрядки';
    doc.getElementsByName('A3.CHOICE')[2].checked = true;
    doc.getElementsByName('A4.MULTI')[0].checked = true;
    doc.getElementsByName('A5.PICK')[0].value = 'три';
    doc.getElementsByName('A6.MANY')[0].options[1].selected = true;
    doc.querySelectorAll('[name]').forEach(function (e) {
      e.dispatchEvent(new Event('input', {bubbles: true}));
      e.dispatchEvent(new Event('change', {bubbles: true}));
    });
)JS";
const char* const Typed = "Чернетка: Ярина|два\nрядки|z|p|три|m2";

// The values of alpha's controls (checked boxes and chosen options by their value).
std::string alphaControls(Client& c) {
    return c.frame("return Array.from(doc.querySelectorAll('[name]'), e => e.options ? "
                   "Array.from(e.selectedOptions, o => o.value).join('+') : "
                   "/radio|checkbox/.test(e.type) ? (e.checked ? e.value : '') : e.value)"
                   ".filter(v => v).join('|');");
}

class Drafts : public ::testing::Test {
protected:
    void SetUp() override { setenv("VEDRIS_DRAFT_DELAY_MS", "150", 1); }
    void TearDown() override { unsetenv("VEDRIS_DRAFT_DELAY_MS"); }

    std::string draftFile() const { return inst.dir.file("Results/drafts/alpha.json"); }
    bool draftHolds(const std::string& text) const {
        return readFile(draftFile()).find(text) != std::string::npos;
    }
    // Types into alpha and waits for its draft.
    bool typeAndWaitForDraft(Client& c) {
        c.frame(TypeAlpha);
        return waitFor([&] { return draftHolds("Чернетка: Ярина") && !c.w().Busy(); });
    }
    bool restoredNotice(Client& c) { return c.w().Notice().rfind(texts::DraftRestored1, 0) == 0; }

    Installation inst{"alpha, beta"};
};

TEST_F(Drafts, AKilledClientGivesBackWhatWasTypedAndStoresItOnlyWhenThePageIsLeft) {
    const std::string exe = inst.dir.file("vedris");
    std::filesystem::copy_file(VEDRIS_BIN_DIR "/vedris", exe);
    // The first run shows alpha in the frame at once, and its top page keeps typing into it
    // as the candidate would (the first rounds may come before the form is filled).
    const std::string index = readFile(inst.assessments() + "index.html");
    inst.dir.write("Assessments/index.html",
                   std::string("<!DOCTYPE html><html><body>"
                               "<iframe name=\"form_frame\" src=\"alpha.html\"></iframe><script>"
                               "setInterval(function () { try { (function (doc) {") +
                       TypeAlpha +
                       "})(window.frames['form_frame'].document); } catch (e) {} }, 200);"
                       "</script></body></html>");
    pid_t pid = fork();
    if (pid == 0) {
        setenv("XDG_CONFIG_HOME", inst.dir.file("config").c_str(), 1);
        execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    ASSERT_GT(pid, 0);
    bool drafted = false;
    for (int waited = 0; waited < 20000 && !drafted; waited += 50) {
        usleep(50 * 1000);
        drafted = draftHolds("Чернетка: Ярина") && draftHolds("два\\nрядки");
    }
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(drafted);
    const std::string results = readFile(inst.results());
    EXPECT_EQ(results.find("Ярина"), std::string::npos);

    inst.dir.write("Assessments/index.html", index);
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    EXPECT_EQ(alphaControls(c), Typed);
    EXPECT_TRUE(restoredNotice(c)) << c.w().Notice();
    EXPECT_EQ(readFile(inst.results()), results);

    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-beta"); }));
    Results r(inst.results());
    EXPECT_EQ(r.values("ALPHA", "A1", "TEXT"), (std::vector<std::string>{"Valid:Чернетка: Ярина"}));
    EXPECT_EQ(r.values("ALPHA", "A4", "MULTI"), (std::vector<std::string>{"Valid:p"}));
    EXPECT_FALSE(std::filesystem::exists(draftFile()));
    EXPECT_TRUE(c.w().ReportedErrors().empty());
}

TEST_F(Drafts, ARefusingPageAndAClosedWindowKeepTheDraft) {
    std::string before;
    {
        Client c(inst);
        before = readFile(inst.results());
        ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
        ASSERT_TRUE(typeAndWaitForDraft(c));
        c.frame("doc.defaultView.allowLeave = false;");
        ASSERT_TRUE(c.cancelledAfter([&] { c.clickInFrame("#to-beta"); }));
        EXPECT_TRUE(std::filesystem::exists(draftFile()));
        ASSERT_TRUE(c.closes());
    }
    EXPECT_EQ(readFile(inst.results()), before);
    EXPECT_TRUE(draftHolds("Чернетка: Ярина"));

    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    EXPECT_EQ(alphaControls(c), Typed);
}

TEST_F(Drafts, ADamagedDraftIsSetAsideAndThePageWorks) {
    // Written once results.xml exists: the drafts of a results file made anew are set aside.
    Client c(inst);
    inst.dir.write("Results/drafts/alpha.json", "{\"format\": \"vedris-draft\", \"snaps");
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    EXPECT_EQ(alphaControls(c), "");
    EXPECT_NE(c.w().Notice().find("alpha.json.damaged-"), std::string::npos) << c.w().Notice();
    EXPECT_FALSE(std::filesystem::exists(draftFile()));
    ASSERT_TRUE(typeAndWaitForDraft(c));
    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-beta"); }));
    EXPECT_EQ(Results(inst.results()).values("ALPHA", "A3", "CHOICE"),
              (std::vector<std::string>{"Valid:z"}));
    EXPECT_TRUE(c.w().ReportedErrors().empty());
}

TEST_F(Drafts, AKilledWebProcessReloadsAndTheDraftRestoresThePage) {
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    ASSERT_TRUE(typeAndWaitForDraft(c));
    const std::string results = readFile(inst.results());
    const int starts = c.w().Stats().topCompleted;

    // A save in flight when the process goes (its page is busy in a handler) fails
    // without the engine's words, and nothing is written.
    c.frame("doc.forms[0].addEventListener('submit', function () {"
            "  var t = Date.now(); while (Date.now() - t < 5000) {} });");
    std::optional<bool> saved;
    c.w().SaveCurrentPage([&](bool s) { saved = s; });
    pumpFor(0.3);
    webkit_web_view_terminate_web_process(c.w().Browser().view());
    ASSERT_TRUE(waitFor([&] {
        return c.w().Stats().topCompleted > starts && !c.w().Busy() &&
               c.frameFile() == "welcome.html";
    }));
    EXPECT_NE(c.w().Notice().find("закрилася"), std::string::npos) << c.w().Notice();
    EXPECT_EQ(c.w().CurrentIndex(), -1);
    EXPECT_EQ(saved, false);
    EXPECT_EQ(readFile(inst.results()), results);
    EXPECT_TRUE(c.w().ReportedErrors().empty()) << c.w().ReportedErrors().front();

    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    EXPECT_EQ(alphaControls(c), Typed);
    EXPECT_TRUE(restoredNotice(c)) << c.w().Notice();

    // A second end within seconds is not answered by loading again, which could repeat for
    // ever; the candidate is told so.
    const int reloads = c.w().Stats().topCompleted;
    webkit_web_view_terminate_web_process(c.w().Browser().view());
    ASSERT_TRUE(waitFor([&] { return c.w().Notice().find("знову") != std::string::npos; }));
    pumpFor(1);
    EXPECT_EQ(c.w().Stats().topCompleted, reloads);
}

} // namespace
