// The turn between candidates on a real results folder: what lands in the archive, what
// results.xml becomes, and what a failure or a kill at each step leaves behind.
#include "session/CandidateTurn.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <sys/stat.h>

#include "platform/fs/AtomicFile.h"
#include "session/PageSession.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

using namespace vedris;
using test::readFile;
using test::TempDir;
using Step = CandidateTurn::Step;
namespace stdfs = std::filesystem;

namespace {

// The page of beta.xml with its one field, accepting every submission.
class AcceptingPage : public PageFrame {
public:
    std::string city;
    bool displayed = true;

    nlohmann::json snapshot() const {
        return {{"hasForm", true},
                {"elements",
                 {{{"tag", "form"}, {"name", "beta"}, {"value", ""}},
                  {{"tag", "input"}, {"name", "B1.CITY"}, {"type", "text"}, {"value", city}}}}};
    }
    void capture(long, std::function<void(const nlohmann::json&)> done, Fail) override {
        done(snapshot());
    }
    void apply(long, const nlohmann::json&, const nlohmann::json&, std::function<void(bool)> done,
               Fail) override {
        done(true);
    }
    void submit(long, std::function<void(const SubmitReply&)> done, Fail) override {
        done(displayed ? SubmitReply{true, true, snapshot()} : SubmitReply{});
    }
    void read(long, std::function<void(const SubmitReply&)> done, Fail) override {
        done(SubmitReply{true, true, snapshot()});
    }
};

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : stdfs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class CandidateTurnTest : public ::testing::Test {
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
        firstStart = readFile(results());
        turn = std::make_unique<CandidateTurn>(*session);
    }
    void TearDown() override {
        turn.reset();
        session.reset();
        DestroyClientRegistry();
    }

    std::string results() const { return dir.file("Results/results.xml"); }
    std::string archive(const std::string& name) const {
        return dir.file("Results/archive/" + name);
    }

    // Binds beta, answers and saves it, and leaves a draft of another assessment behind.
    std::string answer(const std::string& city) {
        session->NavigateComplete(dir.file("Assessments/beta.html"));
        session->DocumentComplete(false, std::chrono::system_clock::now());
        page.city = city;
        session->SaveCurrentPage(nullptr);
        dir.write("Results/drafts/alpha.json", "{\"чернетка\": \"" + city + "\"}");
        return readFile(results());
    }

    TempDir dir;
    AcceptingPage page;
    std::vector<std::string> errors;
    std::unique_ptr<PageSession> session;
    std::unique_ptr<CandidateTurn> turn;
    std::string firstStart;
    // 2026-12-09 10:15:00 UTC; the names carry local time.
    const std::chrono::system_clock::time_point now =
        std::chrono::system_clock::from_time_t(1796811300);
};

TEST_F(CandidateTurnTest, ArchivesTheAnswersAndTheirDraftsSharedAndStartsAfresh) {
    // A package's results folder: group-writable and setgid, used under a strict umask.
    stdfs::permissions(dir.file("Results"), static_cast<stdfs::perms>(02770));
    const mode_t umask = ::umask(077);
    const std::string answered = answer("Київ");
    std::optional<std::string> archived;
    turn->Start([&](const std::string& path) { archived = path; });
    ::umask(umask);

    ASSERT_TRUE(archived) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(stdfs::path(*archived).parent_path(), stdfs::path(dir.file("Results/archive")));
    EXPECT_EQ(readFile(*archived), answered);
    EXPECT_NE(answered.find("Київ"), std::string::npos);
    EXPECT_EQ(readFile(results()), firstStart);
    const std::string drafts = archived->substr(0, archived->size() - 4) + ".drafts";
    EXPECT_EQ(namesIn(drafts), std::vector<std::string>{"alpha.json"});
    EXPECT_FALSE(stdfs::exists(dir.file("Results/drafts")));
    EXPECT_EQ(namesIn(dir.file("Results")), (std::vector<std::string>{"archive", "results.xml"}));

    struct stat folder {};
    struct stat file {};
    ASSERT_EQ(::stat(dir.file("Results/archive").c_str(), &folder), 0);
    ASSERT_EQ(::stat(archived->c_str(), &file), 0);
    EXPECT_EQ(folder.st_mode & 02070, 02070u);
    EXPECT_EQ(file.st_mode & 0777, 0644u);

    // The page read from the old file is gone: leaving it saves nothing into the new one.
    EXPECT_FALSE(session->HasStorageManager());
    const int submissions = session->Stats().submissions;
    session->BeforeNavigate([](bool) {});
    EXPECT_EQ(session->Stats().submissions, submissions);
    EXPECT_EQ(readFile(results()), firstStart);

    // Two turns in one second: two names, each file whole.
    const std::string second = answer("Одеса");
    const std::string a = turn->Take(now);
    const std::string b = turn->Take(now);
    EXPECT_TRUE(std::regex_match(stdfs::path(a).filename().string(),
                                 std::regex(R"(results-\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.xml)")))
        << a;
    EXPECT_EQ(b, a.substr(0, a.size() - 4) + "-2.xml");
    EXPECT_EQ(readFile(a), second);
    EXPECT_EQ(readFile(b), firstStart);
    EXPECT_EQ(readFile(*archived), answered);
    EXPECT_TRUE(errors.empty()) << errors[0];
}

TEST_F(CandidateTurnTest, ABoundPageNeverAcceptedAndLeftDoesNotHoldTheTurnUp) {
    session->NavigateComplete(dir.file("Assessments/beta.html"));
    session->DocumentComplete(false, std::chrono::system_clock::now());
    page.displayed = false;
    session->NavigateComplete(dir.file("Assessments/welcome.html"));
    std::optional<std::string> archived;
    turn->Start([&](const std::string& path) { archived = path; });
    ASSERT_TRUE(archived);
    EXPECT_EQ(readFile(*archived), firstStart);
}

TEST_F(CandidateTurnTest, AFailureAtAnyStepLeavesResultsXmlAsItWasAndSaysSo) {
    const std::string answered = answer("Київ");
    for (Step at : {Step::FreshFileMade, Step::Archived, Step::DraftsArchived}) {
        turn->afterStep = [at](Step step) {
            if (step == at)
                throw std::runtime_error("диск відмовив");
        };
        try {
            turn->Take(now);
            ADD_FAILURE() << "the turn went on";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Роботу з новим кандидатом не розпочато. Файл результатів " + results() +
                          " не змінено: відповіді цього кандидата залишилися в ньому. Причина: "
                          "диск відмовив");
        }
        EXPECT_EQ(readFile(results()), answered);
    }
    // Nothing half-made stays beside results.xml; the copies that were made stay whole.
    EXPECT_EQ(namesIn(dir.file("Results")), (std::vector<std::string>{"archive", "results.xml"}));
    for (const std::string& name : namesIn(dir.file("Results/archive"))) {
        if (name.ends_with(".xml")) {
            EXPECT_EQ(readFile(archive(name)), answered) << name;
        }
    }

    // A file where the archive folder should be.
    turn->afterStep = nullptr;
    stdfs::remove_all(dir.file("Results/archive"));
    dir.write("Results/archive", "не папка");
    EXPECT_THROW(turn->Take(now), std::runtime_error);
    EXPECT_EQ(readFile(results()), answered);
    EXPECT_TRUE(errors.empty()) << errors[0];
}

TEST_F(CandidateTurnTest, AKilledTurnLeavesTheOldStateWithEveryAnswer) {
    const std::string answered = answer("Київ");
    for (Step at : {Step::Archived, Step::DraftsArchived}) {
        turn->afterStep = [at](Step step) {
            if (step == at)
                std::raise(SIGKILL);
        };
        EXPECT_EXIT(turn->Take(now), ::testing::KilledBySignal(SIGKILL), "");
        EXPECT_EQ(readFile(results()), answered);
        // What the next start clears: the new file that never took results.xml's place.
        fs::removeLeftoverTemporaries(results());
        const bool draftsMoved = at == Step::DraftsArchived;
        EXPECT_EQ(stdfs::exists(dir.file("Results/drafts")), !draftsMoved);
        EXPECT_EQ(namesIn(dir.file("Results")).size(), draftsMoved ? 2u : 3u);
    }
    // Two copies, and the drafts beside the second.
    std::vector<std::string> archived = namesIn(dir.file("Results/archive"));
    ASSERT_EQ(archived.size(), 3u);
    for (const std::string& name : archived) {
        if (name.ends_with(".drafts"))
            EXPECT_EQ(namesIn(archive(name)), std::vector<std::string>{"alpha.json"});
        else
            EXPECT_EQ(readFile(archive(name)), answered) << name;
    }

    // The candidate's next try goes through.
    turn->afterStep = nullptr;
    EXPECT_EQ(readFile(turn->Take(now)), answered);
    EXPECT_EQ(readFile(results()), firstStart);
}

} // namespace
