// The turn between candidates on a real results folder: what lands in the archive, what
// results.xml becomes, and what a failure or a kill at each step leaves behind.
#include "session/CandidateTurn.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/stat.h>

#include "platform/fs/AtomicFile.h"
#include "session/PageSession.h"
#include "settings/uRegistry.h"
#include "support/TempDir.h"

using namespace vedris;
using test::readFile;
using Step = CandidateTurn::Step;
namespace stdfs = std::filesystem;

namespace {

// beta.html with its one field, accepting every submission while it is displayed.
struct Page : PageFrame {
    bool displayed = true;
    nlohmann::json snapshot = {
        {"hasForm", true},
        {"elements",
         {{{"tag", "input"}, {"name", "B1.CITY"}, {"type", "text"}, {"value", "Київ"}}}}};
    void capture(long, std::function<void(const Capture&)> done, Fail) override {
        done(Capture{snapshot, true, 0});
    }
    void apply(long, const nlohmann::json&, const nlohmann::json&, std::function<void(bool)> done,
               Fail) override {
        done(true);
    }
    void submit(long, std::function<void(const SubmitReply&)> done, Fail) override {
        done(displayed ? SubmitReply{true, true, snapshot} : SubmitReply{});
    }
    void read(long, std::function<void(const SubmitReply&)>, Fail) override {}
};

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : stdfs::directory_iterator(folder))
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
            std::make_unique<PageSession>(page, dir.file("Assessments/"), dir.file("Results/"),
                                          [this](const std::string& e) { errors.push_back(e); });
        session->SetAssessments({"beta"});
        session->PrepareResultsFile();
        fresh = readFile(results());
        dir.write("Results/results.xml", "<qti_result_report>Київ</qti_result_report>");
        answered = readFile(results());
        dir.write("Results/drafts/beta.json", "{}");
        turn = std::make_unique<CandidateTurn>(*session);
    }
    void TearDown() override {
        turn.reset();
        session.reset();
        DestroyClientRegistry();
    }
    std::string results() const { return dir.file("Results/results.xml"); }
    std::string archived(const std::string& name) const {
        return dir.file("Results/archive/" + name);
    }

    test::TempDir dir;
    Page page;
    std::vector<std::string> errors;
    std::unique_ptr<PageSession> session;
    std::unique_ptr<CandidateTurn> turn;
    std::string fresh, answered;
    const std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
};

TEST_F(CandidateTurnTest, TwoTurnsInOneSecondInAFolderSharedWithAGroup) {
    stdfs::permissions(dir.file("Results"), static_cast<stdfs::perms>(02770));
    const mode_t umask = ::umask(077);
    const std::string first = turn->Take(now);
    const std::string second = turn->Take(now);
    ::umask(umask);

    EXPECT_EQ(readFile(first), answered);
    EXPECT_EQ(readFile(second), fresh);
    EXPECT_EQ(readFile(results()), fresh);
    EXPECT_EQ(second, first.substr(0, first.size() - 4) + "-2.xml");
    EXPECT_EQ(namesIn(first.substr(0, first.size() - 4) + ".drafts"),
              std::vector<std::string>{"beta.json"});
    EXPECT_EQ(namesIn(dir.file("Results")), (std::vector<std::string>{"archive", "results.xml"}));
    struct stat folder {
    }, file{};
    ASSERT_EQ(::stat(dir.file("Results/archive").c_str(), &folder), 0);
    ASSERT_EQ(::stat(first.c_str(), &file), 0);
    EXPECT_EQ(folder.st_mode & 02070, 02070u);
    EXPECT_EQ(file.st_mode & 0777, 0644u);
}

TEST_F(CandidateTurnTest, AFailureOrAKillAtAnyStepKeepsEveryAnswer) {
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
        // Killed, the new file never takes results.xml's place; the next start clears it.
        turn->afterStep = [at](Step step) {
            if (step == at)
                std::raise(SIGKILL);
        };
        dir.write("Results/drafts/beta.json", "{}");
        EXPECT_EXIT(turn->Take(now), ::testing::KilledBySignal(SIGKILL), "");
        EXPECT_EQ(readFile(results()), answered);
        fs::removeLeftoverTemporaries(results());
        for (const std::string& name : namesIn(dir.file("Results")))
            EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
        dir.write("Results/drafts/beta.json", "{}");
    }
    // Every copy made on the way is whole; the drafts went with two of them each time.
    for (const std::string& name : namesIn(dir.file("Results/archive"))) {
        if (name.ends_with(".xml")) {
            EXPECT_EQ(readFile(archived(name)), answered) << name;
        } else {
            EXPECT_EQ(namesIn(archived(name)), std::vector<std::string>{"beta.json"});
        }
    }
    // A file where the archive folder should be.
    turn->afterStep = nullptr;
    stdfs::remove_all(dir.file("Results/archive"));
    dir.write("Results/archive", "");
    EXPECT_THROW(turn->Take(now), std::runtime_error);
    EXPECT_EQ(readFile(results()), answered);
}

TEST_F(CandidateTurnTest, ABoundPageLeftWithoutAnAcceptedSaveDoesNotHoldTheTurnUp) {
    // Bound, then left for a page that is no assessment without an accepted save: nothing
    // to store, and no reason to hold the turn up.
    session->NavigateComplete(dir.file("Assessments/beta.html"));
    session->DocumentComplete(false, std::chrono::system_clock::now());
    page.displayed = false;
    session->NavigateComplete(dir.file("Assessments/welcome.html"));
    const std::string before = readFile(results());
    std::optional<std::string> archive;
    turn->Start([&](const std::string& path) { archive = path; });
    ASSERT_TRUE(archive);
    EXPECT_EQ(readFile(*archive), before);
    EXPECT_FALSE(session->HasStorageManager());
    EXPECT_EQ(readFile(results()), fresh);
    EXPECT_TRUE(errors.empty()) << errors[0];
}

} // namespace
