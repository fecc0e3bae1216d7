// The page life in the real client where it once trapped the candidate or lost answers: a
// frame inside the assessment page, a submit handler that navigates, a page that failed to
// bind, and a save that fails at every attempt.
#include <gtest/gtest.h>

#include <filesystem>

#include "Texts.h"
#include "gui/ClientHarness.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// Alpha with a frame of its own (a video, say); its handler counts its runs in the top
// page, navigates to window.go when set, and refuses while allowLeave is false.
const char* const AlphaWithFrame = R"(<!DOCTYPE html><html><head><meta charset="utf-8"></head>
<body><form name="alpha" action="thanks.html" onsubmit="top.runs = (top.runs || 0) + 1;
  if (window.go) location.href = window.go; return window.allowLeave !== false;">
<input type="text" name="A1.TEXT"></form>
<iframe name="video" src="other.html"></iframe>
<a id="to-beta" href="beta.html">Далі</a></body></html>)";

std::string typeText(Client& c, const std::string& text) {
    return c.frame("var f = doc.getElementsByName('A1.TEXT')[0]; f.value = '" + text +
                   "'; f.dispatchEvent(new Event('input', {bubbles: true})); return 'ok';");
}

std::vector<std::string> storedText(const Installation& inst) {
    return Results(inst.results()).values("ALPHA", "A1", "TEXT");
}

TEST(PageLife, AFrameInsideThePageKeepsItBoundAndAHandlerThatNavigatesRunsOnce) {
    Installation inst("alpha, beta");
    inst.dir.write("Assessments/alpha.html", AlphaWithFrame);
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    const int bound = c.w().Stats().bound;

    // The inner frame navigates while the assessment is on screen.
    const int completed = c.w().Stats().completed;
    c.frame("doc.getElementsByName('video')[0].contentWindow.location.href = 'thanks.html';");
    ASSERT_TRUE(waitFor([&] { return c.w().Stats().completed > completed && !c.w().Busy(); }));
    EXPECT_EQ(c.w().CurrentIndex(), 0);
    EXPECT_EQ(c.w().Stats().bound, bound);
    typeText(c, "після відео");
    ASSERT_TRUE(c.bindsAfter([&] { c.clickInFrame("#to-beta"); }));
    EXPECT_EQ(storedText(inst), std::vector<std::string>{"Valid:після відео"});

    // An accepting handler that navigates: the page leaves once, saved once.
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    c.page("top.runs = 0");
    c.frame("doc.defaultView.go = 'thanks.html';");
    typeText(c, "один раз");
    const int submissions = c.w().Stats().submissions;
    ASSERT_TRUE(c.arrivesAfter([&] { c.clickInFrame("#to-beta"); }, "thanks.html"));
    pumpFor(1);
    EXPECT_EQ(c.page("String(top.runs)"), "1");
    EXPECT_EQ(c.w().Stats().submissions, submissions + 1);
    EXPECT_EQ(storedText(inst), std::vector<std::string>{"Valid:один раз"});

    // A refusing one: the page stays, and the handler is not run again and again.
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    c.page("top.runs = 0");
    c.frame("doc.defaultView.go = 'thanks.html'; doc.defaultView.allowLeave = false;");
    ASSERT_TRUE(c.cancelledAfter([&] { c.clickInFrame("#to-beta"); }));
    pumpFor(1);
    EXPECT_EQ(c.page("String(top.runs)"), "1");
    EXPECT_EQ(c.frameFile(), "alpha.html");
    EXPECT_TRUE(c.w().ReportedErrors().empty());
}

TEST(PageLife, NeitherAFailedBindingNorALastingSaveErrorTrapsTheCandidate) {
    setenv("VEDRIS_DRAFT_DELAY_MS", "60000", 1);
    Installation inst("alpha, beta");
    Client c(inst);
    // A listed page opened at the top level has no frame to bind: told once, and left.
    const int starts = c.w().Stats().topCompleted;
    c.w().Browser().navigate(inst.assessments() + "alpha.html");
    ASSERT_TRUE(waitFor([&] { return c.w().Stats().topCompleted > starts && !c.w().Busy(); }));
    EXPECT_FALSE(c.w().HasStorageManager());
    c.page("location.href = 'index.html'");
    ASSERT_TRUE(waitFor([&] { return c.w().Stats().topCompleted > starts + 1 && !c.w().Busy(); }));
    EXPECT_EQ(c.w().ReportedErrors().size(), 1u);
    Client::closeMessageBoxes();

    // A result without its time stamp fails at every save.
    xml::Document doc = xml::Document::load(inst.results());
    xml::Node stamp =
        doc.selectFirst("//result[assessment_result/@ident_ref = 'ALPHA']/context/date/datetime");
    stamp.parent().removeChild(stamp);
    doc.save(inst.results());
    const std::string before = readFile(inst.results());
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    typeText(c, "не збережеться");
    auto answerBox = [&](bool stay) {
        if (!waitFor([] { return !desktop::OpenMessageBoxes().empty(); }))
            return std::string("(no box)");
        auto box = desktop::OpenMessageBoxes().back();
        desktop::AnswerMessageBox(box.window, stay);
        return box.text;
    };
    const int ignored = c.w().Stats().ignored;
    c.clickInFrame("#to-beta");
    EXPECT_NE(answerBox(true).find(texts::StayOrLeaveQuestion), std::string::npos);
    ASSERT_TRUE(waitFor([&] { return c.w().Stats().ignored > ignored && !c.w().Busy(); }));
    ASSERT_TRUE(c.bindsAfter([&] {
        c.clickInFrame("#to-beta");
        answerBox(false);
    }));
    EXPECT_EQ(c.frameFile(), "beta.html");
    EXPECT_EQ(readFile(inst.results()), before);

    // What was typed comes back from the draft.
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    EXPECT_EQ(c.frame("return doc.getElementsByName('A1.TEXT')[0].value;"), "не збережеться");
    EXPECT_EQ(c.w().Notice().rfind(texts::DraftRestored1, 0), 0u) << c.w().Notice();
    unsetenv("VEDRIS_DRAFT_DELAY_MS");
}

} // namespace
