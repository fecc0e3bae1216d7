#include "session/CandidateTurn.h"

#include <ctime>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <utility>

#include "Texts.h"
#include "platform/fs/AtomicFile.h"
#include "platform/fs/SharedFolder.h"
#include "session/PageSession.h"

namespace vedris {

namespace {

namespace stdfs = std::filesystem;

// An archived file is never written again; everyone of the results folder's group reads it.
constexpr unsigned ArchivedFileMode = 0644;
// More names than turns in one second, however quick the hands.
constexpr int NamesPerSecond = 1000;

std::string LocalStamp(std::chrono::system_clock::time_point now) {
    const std::time_t time = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&time, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d_%H-%M-%S", &local);
    return text;
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return stdfs::exists(stdfs::symlink_status(path, ec));
}

// The new results file is made under the name of an interrupted save of results.xml, so a
// turn killed before it is done leaves nothing that the next start does not clear away.
std::string FreshFileName(const std::string& results) {
    static constexpr char Letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, sizeof Letters - 2);
    for (;;) {
        std::string name = results + ".tmp-";
        for (int i = 0; i < 6; ++i)
            name += Letters[pick(random)];
        if (!Exists(name))
            return name;
    }
}

// Removes the file when it goes out of scope, whatever happened meanwhile.
class ScratchFile {
public:
    explicit ScratchFile(std::string path) : path_(std::move(path)) {}
    ~ScratchFile() {
        std::error_code ec;
        stdfs::remove(path_, ec);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace

CandidateTurn::CandidateTurn(PageSession& session)
    : session_(session), resultsDir_(stdfs::path(session.GetResultsFileName()).parent_path()),
      archiveDir_(resultsDir_ + "/archive/") {}

void CandidateTurn::Start(std::function<void(const std::string& archive)> done) {
    session_.Enqueue([this, done = std::move(done)](PageSession::Done finished) {
        // With nothing bound there is nothing on screen that results.xml lacks; nor when
        // the page on screen is no assessment and the one bound last has nothing to store
        // again (it was never accepted), which its save answers with a refusal.
        const bool bound = session_.HasStorageManager();
        const bool onAssessment = session_.CurrentIndex() >= 0;
        session_.SavePage([=, this](PageSession::SaveOutcome outcome) {
            using Outcome = PageSession::SaveOutcome;
            if (!bound || outcome == Outcome::Accepted || outcome == Outcome::Unsubmittable ||
                (!onAssessment && outcome == Outcome::Refused))
                TakeAfterSave(done);
            finished();
        });
    });
}

void CandidateTurn::TakeAfterSave(const std::function<void(const std::string&)>& done) {
    std::string archive;
    if (!session_.Guard([&] { archive = Take(std::chrono::system_clock::now()); }))
        return;
    // The bound page was read from the old file: a later save of it would put the previous
    // candidate's answers into the new one.
    session_.ReleaseBinding();
    session_.Guard([&] { done(archive); });
}

std::string CandidateTurn::Take(std::chrono::system_clock::time_point now) {
    const std::string results = session_.GetResultsFileName();
    try {
        return Replace(results, now);
    } catch (const std::exception& e) {
        throw std::runtime_error(texts::TurnNotTaken1 + results + texts::TurnNotTaken2 + e.what());
    }
}

std::string CandidateTurn::Replace(const std::string& results,
                                   std::chrono::system_clock::time_point now) {
    // Made aside first: what can go wrong in it (the stylesheet, a full disk) goes wrong
    // before anything the candidate or the administrator can see has changed.
    ScratchFile fresh(FreshFileName(results));
    session_.CreateResultsFile(fresh.path());
    const std::string freshData = fs::readFile(fresh.path());
    Reached(Step::FreshFileMade);

    const std::string archive = ArchiveCopy(results, now);
    Reached(Step::Archived);
    ArchiveDrafts(archive);
    Reached(Step::DraftsArchived);

    // Only with the copy on disk may the answers leave results.xml. The file keeps its
    // permissions, so the group goes on sharing it.
    fs::writeFileAtomically(results, freshData);
    return archive;
}

std::string CandidateTurn::ArchiveCopy(const std::string& results,
                                       std::chrono::system_clock::time_point now) {
    const std::string data = fs::readFile(results);
    fs::createSharedFolder(archiveDir_);
    const std::string stamp = archiveDir_ + "results-" + LocalStamp(now);
    for (int n = 1; n <= NamesPerSecond; ++n) {
        const std::string base = n == 1 ? stamp : stamp + "-" + std::to_string(n);
        // A drafts folder without its file would be taken for this turn's.
        if (Exists(base + ".drafts"))
            continue;
        // Never over an existing file, and whole or not at all, synced before it counts.
        if (fs::createFileAtomically(base + ".xml", data, ArchivedFileMode))
            return base + ".xml";
    }
    throw std::runtime_error(texts::ArchiveNamesUsedUp + archiveDir_);
}

void CandidateTurn::ArchiveDrafts(const std::string& archive) {
    const std::string drafts = resultsDir_ + "/drafts";
    std::error_code ec;
    if (!stdfs::is_directory(drafts, ec) || stdfs::is_empty(drafts, ec))
        return;
    const std::string target = archive.substr(0, archive.size() - 4) + ".drafts";
    // One rename moves the folder whole: no draft stays behind to be shown to the next
    // candidate, and none is lost between two folders.
    stdfs::rename(drafts, target, ec);
    if (ec)
        throw std::runtime_error(texts::DraftsNotArchived + target + ": " + ec.message());
}

void CandidateTurn::Reached(Step step) {
    if (afterStep)
        afterStep(step);
}

} // namespace vedris
