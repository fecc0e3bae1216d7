// The page session against a page that answers at once or when told to: binding, the
// page's verdict, a save that fails, a page that has gone, one operation at a time, and
// drafts.
#include "session/PageSession.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/xml/XmlDocument.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

using namespace vedris;
using test::readFile;
using test::TempDir;
using Outcome = PageSession::SaveOutcome;

namespace {

// The page on screen: one form with the city field of beta.xml.
class FakePage : public PageFrame {
public:
    std::string city;
    bool displayed = true;
    bool verdict = true;
    bool hasForm = true;
    bool holdSubmit = false; // keep the next submission's answer until release()
    std::function<void()> held;
    std::function<void()> duringSubmit; // what the page's handler does
    std::string captureError;           // capture fails with it (no frame "form_frame")
    int captures = 0;
    int applies = 0;
    // A binding staged for the next document (offer), and the one that document took when
    // it started (laid): it writes that at its load when its form is still the one staged.
    struct Staged {
        long id;
        nlohmann::json form, changes;
    };
    std::optional<Staged> offer, laid;

    nlohmann::json snapshot() const {
        return {{"hasForm", hasForm},
                {"elements",
                 {{{"tag", "form"}, {"name", "beta"}, {"value", ""}},
                  {{"tag", "input"},
                   {"name", "B1.CITY"},
                   {"type", "text"},
                   {"value", city},
                   {"checked", false}}}}};
    }
    void start() { laid = std::exchange(offer, std::nullopt); }
    void capture(long, std::function<void(const Capture&)> done, Fail fail) override {
        ++captures;
        if (!captureError.empty()) {
            fail(captureError);
            return;
        }
        const nlohmann::json form = snapshot();
        long filledBy = 0;
        if (auto staged = std::exchange(laid, std::nullopt); staged && staged->form == form) {
            write(staged->changes);
            filledBy = staged->id;
        }
        done(Capture{form, true, filledBy});
    }
    bool stage(long id, const std::string&, const nlohmann::json& form,
               const nlohmann::json& changes) override {
        offer = Staged{id, form, changes};
        return true;
    }
    void unstage() override { offer.reset(); }
    void write(const nlohmann::json& changes) {
        for (const auto& change : changes)
            if (change.at("i") == 1)
                city = change.at("value");
    }
    void apply(long, const nlohmann::json& changes, const nlohmann::json&,
               std::function<void(bool)> done, Fail) override {
        ++applies;
        write(changes);
        done(true);
    }
    void submit(long, std::function<void(const SubmitReply&)> done, Fail) override {
        if (duringSubmit)
            duringSubmit();
        auto answer = [this, done] {
            done(displayed ? SubmitReply{true, verdict, snapshot()} : SubmitReply{});
        };
        if (holdSubmit)
            held = answer;
        else
            answer();
    }
    void read(long, std::function<void(const SubmitReply&)> done, Fail) override {
        done(SubmitReply{displayed, true, displayed ? snapshot() : nlohmann::json()});
    }
    void release() { std::exchange(held, nullptr)(); }
};

class PageSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("vedris.ini", "[General]\n");
        dir.write("Assessments/ims_qtiasi2res.xslt",
                  readFile(VEDRIS_SOURCE_DIR "/tests/data/qti_ims_qtiasi2res.xslt"));
        dir.write("Assessments/beta.xml",
                  readFile(VEDRIS_SOURCE_DIR "/tests/data/gui_assessments/beta.xml"));
        CreateClientRegistry(dir.file("vedris.ini"));
        session =
            std::make_unique<PageSession>(page, ClientRegistry->GetValue("AssessmentsDir"),
                                          ClientRegistry->GetValue("ResultsDir"),
                                          [this](const std::string& e) { errors.push_back(e); });
        session->SetAssessments({"beta"});
        session->PrepareResultsFile();
    }
    void TearDown() override {
        session.reset();
        DestroyClientRegistry();
    }

    // Shows beta.html and lets it load.
    void showBeta() {
        page.start();
        session->NavigateComplete(dir.file("Assessments/beta.html"));
        session->DocumentComplete(false, std::chrono::system_clock::now());
    }
    // The decision on a navigation away.
    std::optional<bool> leave(std::optional<PageSession::Destination> to = std::nullopt) {
        std::optional<bool> go;
        session->BeforeNavigate([&](bool g) { go = g; }, to);
        return go;
    }
    PageSession::Destination toBeta() const {
        return {dir.file("Assessments/beta.html"), "vedris://beta.html"};
    }
    std::string stored() const {
        auto doc = xml::Document::load(session->GetResultsFileName());
        xml::Node v = doc.selectFirst("//item_result[@ident_ref = 'B1']//response_value");
        return v ? v.text() : "(none)";
    }

    TempDir dir;
    FakePage page;
    std::vector<std::string> errors;
    std::unique_ptr<PageSession> session;
};

TEST_F(PageSessionTest, AnAcceptedPageIsSavedAndFillsTheNextBinding) {
    showBeta();
    EXPECT_EQ(session->CurrentIndex(), 0);
    ASSERT_TRUE(session->HasStorageManager());
    page.city = "Київ";
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(stored(), "Київ");

    page.city.clear();
    showBeta();
    EXPECT_EQ(page.city, "Київ");
    EXPECT_EQ(session->Stats().bound, 2);
    EXPECT_TRUE(errors.empty());
}

TEST_F(PageSessionTest, APageShownBeforeFillsItselfAsItLoadsButNeverWithAnOldFilesAnswers) {
    showBeta();
    page.city = "Київ";
    EXPECT_EQ(leave(toBeta()), true);
    page.city.clear();
    showBeta();
    EXPECT_EQ(page.city, "Київ");
    EXPECT_EQ(session->Stats().staged, 1);
    EXPECT_EQ(page.applies, 1);

    // Bound all the same: its next answer is saved.
    page.city = "Львів";
    EXPECT_EQ(leave(toBeta()), true);
    EXPECT_EQ(stored(), "Львів");

    // The next candidate's results file arrives while the page is loading with the old one's
    // answers staged: the page writes them, and the binding overwrites them from the new file.
    page.city.clear();
    page.start();
    session->ReleaseBinding();
    std::filesystem::rename(session->GetResultsFileName(), dir.file("results-old.xml"));
    session->PrepareResultsFile();
    session->NavigateComplete(dir.file("Assessments/beta.html"));
    session->DocumentComplete(false, std::chrono::system_clock::now());
    EXPECT_EQ(page.city, "");
    EXPECT_EQ(session->Stats().staged, 1);
    EXPECT_EQ(stored(), "(none)");

    // A page whose form is not the same at each visit (its script puts a value in) is filled
    // the usual way, and not staged again.
    EXPECT_EQ(leave(toBeta()), true);
    ASSERT_TRUE(page.offer);
    page.city = "Одеса";
    showBeta();
    EXPECT_EQ(session->Stats().staged, 1);
    EXPECT_EQ(leave(toBeta()), true);
    EXPECT_FALSE(page.offer);
    EXPECT_TRUE(errors.empty());
}

TEST_F(PageSessionTest, ARefusedPageStaysAndNothingIsStored) {
    showBeta();
    page.city = "Львів";
    page.verdict = false;
    EXPECT_EQ(leave(), false);
    EXPECT_EQ(stored(), "(none)");
    EXPECT_EQ(session->Stats().ignored, 1);
    // A page that is no assessment goes without a submission.
    session->NavigateComplete(dir.file("Assessments/welcome.html"));
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(session->Stats().submissions, 1);
}

TEST_F(PageSessionTest, APageThatCannotBeSubmittedIsReportedButLeft) {
    // A page without a form holds no answers that leaving it could lose.
    page.hasForm = false;
    showBeta();
    ASSERT_TRUE(session->HasStorageManager());
    EXPECT_EQ(leave(), true);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("немає форми анкети"), std::string::npos) << errors[0];
    EXPECT_EQ(stored(), "(none)");
    // The folder's "not found" page is never taken for an assessment page.
    session->NavigateComplete(std::nullopt);
    EXPECT_EQ(session->CurrentIndex(), -1);
}

TEST_F(PageSessionTest, ASaveThatFailsIsReportedAndKeepsThePage) {
    showBeta();
    std::filesystem::remove_all(dir.file("Results"));
    dir.write("Results", "not a folder");
    page.city = "Одеса";
    EXPECT_EQ(leave(), false);
    EXPECT_EQ(errors.size(), 1u);
    std::optional<bool> saved;
    session->SaveCurrentPage([&](bool s) { saved = s; });
    EXPECT_EQ(saved, false);
}

TEST_F(PageSessionTest, APageThatFailedToBindIsLeftAndItsErrorToldOnce) {
    page.captureError = "На сторінці немає фрейму";
    session->NavigateComplete(dir.file("Assessments/beta.html"));
    session->DocumentComplete(false, std::chrono::system_clock::now());
    session->DocumentComplete(true, std::chrono::system_clock::now());
    EXPECT_FALSE(session->HasStorageManager());
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(errors, std::vector<std::string>{"На сторінці немає фрейму"});
    EXPECT_EQ(session->Stats().submissions, 0);
}

TEST_F(PageSessionTest, FramesInsideThePageOrBesideItLeaveItBound) {
    showBeta();
    session->NavigateComplete(dir.file("Assessments/video.html"), false);
    session->DocumentComplete(false, std::chrono::system_clock::now(), false);
    EXPECT_EQ(session->CurrentIndex(), 0);
    EXPECT_EQ(session->Stats().bound, 1);
    page.city = "Черкаси";
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(stored(), "Черкаси");
}

TEST_F(PageSessionTest, ANavigationTheHandlerStartsRidesOnItsSubmission) {
    showBeta();
    std::vector<bool> rides;
    page.duringSubmit = [&] {
        // A handler that sets location.href, bounded so the old loop would end.
        if (rides.size() < 5)
            session->BeforeNavigate([&](bool go) { rides.push_back(go); });
    };
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(rides, std::vector<bool>{true});
    page.verdict = false;
    EXPECT_EQ(leave(), false);
    EXPECT_EQ(rides, (std::vector<bool>{true, false}));
    EXPECT_EQ(session->Stats().submissions, 2);
}

TEST_F(PageSessionTest, APageThatHasGoneStoresWhatItLastAccepted) {
    showBeta();
    page.displayed = false;
    // Never accepted: nothing to store, and the navigation does not go on.
    EXPECT_EQ(leave(), false);
    EXPECT_EQ(session->Stats().submissions, 0);

    page.displayed = true;
    page.city = "Харків";
    std::optional<bool> saved;
    session->SaveCurrentPage([&](bool s) { saved = s; });
    ASSERT_EQ(saved, true);
    // Left after it accepted: what it showed then is stored again.
    page.displayed = false;
    page.city = "Суми";
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(session->Stats().submissions, 2);
    EXPECT_EQ(stored(), "Харків");
    EXPECT_TRUE(errors.empty());
}

TEST_F(PageSessionTest, OneOperationAtATime) {
    showBeta();
    page.holdSubmit = true;
    std::vector<std::string> order;
    session->SaveCurrentPage([&](bool s) { order.push_back(s ? "saved" : "not saved"); });
    session->SaveCurrentPage([&](bool s) { order.push_back(s ? "saved 2" : "not saved 2"); });
    EXPECT_TRUE(session->Busy());
    EXPECT_TRUE(order.empty());
    page.release();
    page.release();
    EXPECT_EQ(order, (std::vector<std::string>{"saved", "saved 2"}));
    EXPECT_FALSE(session->Busy());
    EXPECT_EQ(session->Stats().submissions, 2);

    // Stopped: the operation in flight ends, the queued ones never start.
    session->SaveCurrentPage([&](bool s) { order.push_back(s ? "saved" : "not saved"); });
    session->BeforeNavigate([&](bool) { order.push_back("late"); });
    session->Stop();
    page.release();
    EXPECT_EQ(order, (std::vector<std::string>{"saved", "saved 2", "saved"}));
    EXPECT_FALSE(page.held);
}

class PageSessionDrafts : public PageSessionTest {
protected:
    void SetUp() override {
        PageSessionTest::SetUp();
        session->startTimer = [this](std::chrono::milliseconds, std::function<void()> due) {
            timers.push_back(std::move(due));
        };
        session->onNotice = [this](const std::string& text) { notices.push_back(text); };
    }
    // Lets every draft that is due be taken.
    void elapse() {
        for (auto pending = std::exchange(timers, {}); auto& due : pending)
            due();
    }
    std::optional<Draft> draft() const { return session->Drafts().Read("beta"); }

    std::vector<std::function<void()>> timers;
    std::vector<std::string> notices;
};

TEST_F(PageSessionDrafts, AChangeIsDraftedOnceAndRestoredUntilAnAcceptedSaveMakesItOld) {
    showBeta();
    page.city = "Полтава";
    session->PageEdited();
    session->PageEdited();
    EXPECT_EQ(timers.size(), 1u);
    elapse();
    ASSERT_TRUE(draft());
    EXPECT_EQ(stored(), "(none)");

    // The page comes back (after a crash, say): results.xml fills it, the draft goes over.
    page.city.clear();
    showBeta();
    EXPECT_EQ(page.city, "Полтава");
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_NE(notices[0].find(DraftStore::Readable(draft()->saved)), std::string::npos);
    const std::string old = readFile(session->Drafts().PathOf("beta"));

    page.city = "Суми";
    session->PageEdited();
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(stored(), "Суми");
    EXPECT_FALSE(draft());
    // The save took that change: the draft it had asked for is not written.
    elapse();
    EXPECT_FALSE(draft());

    // A draft older than the accepted save (a crash between the two writes) is dropped.
    dir.write("Results/drafts/beta.json", old);
    showBeta();
    EXPECT_EQ(page.city, "Суми");
    EXPECT_FALSE(draft());
    EXPECT_EQ(session->Stats().restored, 1);
    EXPECT_TRUE(errors.empty());
}

TEST_F(PageSessionDrafts, AFailedSaveKeepsItsDraftAndTheCandidateMayLeaveUnsaved) {
    showBeta();
    const std::string results = session->GetResultsFileName();
    std::filesystem::rename(results, results + ".away");
    std::filesystem::create_directory(results);
    page.city = "Рівне";
    EXPECT_EQ(leave(), false);
    EXPECT_EQ(errors.size(), 1u);
    session->PageEdited();
    elapse();
    std::vector<std::string> asked;
    session->onSaveFailed = [&](const std::string& error, std::function<void(bool)> answer) {
        asked.push_back(error);
        answer(asked.size() == 2);
    };
    EXPECT_EQ(leave(), false);
    EXPECT_EQ(leave(), true);
    EXPECT_EQ(asked.size(), 2u);
    EXPECT_EQ(errors.size(), 1u);

    std::filesystem::remove(results);
    std::filesystem::rename(results + ".away", results);
    page.city.clear();
    showBeta();
    EXPECT_EQ(page.city, "Рівне");
}

TEST_F(PageSessionDrafts, ADraftLeftBehindNeverReturnsOverALaterSave) {
    showBeta();
    page.city = "Луцьк";
    EXPECT_EQ(leave(), true);
    page.city = "Чернетка";
    session->PageEdited();
    elapse();
    const std::string left = readFile(session->Drafts().PathOf("beta"));
    // Accepted within the same second as the first, with a draft left behind by a crash.
    page.city = "Дубно";
    EXPECT_EQ(leave(), true);
    dir.write("Results/drafts/beta.json", left);
    showBeta();
    EXPECT_EQ(page.city, "Дубно");
    EXPECT_FALSE(draft());
}

TEST_F(PageSessionDrafts, ANewResultsFileSetsTheOldDraftsAside) {
    showBeta();
    page.city = "Попередній кандидат";
    session->PageEdited();
    elapse();
    std::filesystem::rename(session->GetResultsFileName(), dir.file("results-old.xml"));
    session->PrepareResultsFile();
    ASSERT_EQ(notices.size(), 1u);
    const std::string aside = notices[0].substr(notices[0].rfind(' ') + 1);
    EXPECT_TRUE(std::filesystem::exists(aside + "beta.json")) << notices[0];
    page.city.clear();
    showBeta();
    EXPECT_EQ(page.city, "");
    EXPECT_EQ(notices.size(), 1u);
}

TEST_F(PageSessionDrafts, APageWhoseProcessEndedWritesNothingAndHoldsNothingUp) {
    showBeta();
    page.city = "Ужгород";
    session->PageEdited();
    elapse();
    const std::string before = readFile(session->GetResultsFileName());
    page.holdSubmit = true;
    session->BeforeNavigate([](bool) {});
    std::optional<bool> next;
    session->BeforeNavigate([&](bool go) { next = go; });

    // The submission in flight never answers; what was queued behind it goes on.
    session->PageGone();
    EXPECT_EQ(next, true);
    EXPECT_FALSE(session->Busy());
    EXPECT_EQ(readFile(session->GetResultsFileName()), before);
    EXPECT_TRUE(errors.empty());

    page.holdSubmit = false;
    page.city.clear();
    showBeta();
    EXPECT_EQ(page.city, "Ужгород");
    // The gone page answers after all: it is no longer bound, and nothing of it is stored.
    page.release();
    EXPECT_EQ(readFile(session->GetResultsFileName()), before);
    EXPECT_TRUE(errors.empty());
    EXPECT_FALSE(session->Busy());
}

} // namespace
