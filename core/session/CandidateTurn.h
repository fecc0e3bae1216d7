#pragma once
// The turn between two candidates on one computer: the answers of the one who has finished
// go whole into Results/archive/, with the drafts taken against them, and results.xml starts
// afresh for the next one, as at a first start.
//
// Results/archive/results-<yyyy-mm-dd_hh-mm-ss>.xml    the results file as it was
// Results/archive/results-<yyyy-mm-dd_hh-mm-ss>.drafts/ its drafts (when there were any)
// A second turn in the same second gets "-2", "-3"... before the extension. Nothing in the
// archive is changed or removed afterwards.
#include <chrono>
#include <functional>
#include <string>

namespace vedris {

class PageSession;

class CandidateTurn {
public:
    // The steps after which something on disk has changed; tests interrupt a turn there.
    enum class Step { FreshFileMade, Archived, DraftsArchived };

    // session must outlive the turn; its results folder and assessments are the turn's.
    explicit CandidateTurn(PageSession& session);

    // Queues the turn as an operation of the session: the page bound last is submitted, and
    // only when the page on screen may be left (accepted, nothing bound, no form to submit,
    // no assessment on screen) the turn is taken (Take); then the session forgets the page,
    // whose answers belong to the archive now, and done gets the archived file. A refusal,
    // a failed save or a failed turn end it without done; the session has reported errors.
    void Start(std::function<void(const std::string& archive)> done);

    // The file steps, in an order that keeps every answer through a kill at any point:
    // the new results file is made aside, results.xml is copied durably into the archive,
    // the drafts follow it, and only then the new file takes results.xml's place. Returns
    // the archived file's path. Raises std::runtime_error saying that results.xml is as it
    // was, and why; an archive copy made by then stays.
    std::string Take(std::chrono::system_clock::time_point now);

    // "Results/archive/".
    const std::string& ArchiveFolder() const { return archiveDir_; }
    // Runs after each step; what it raises ends the turn there, as a failure would.
    std::function<void(Step)> afterStep;

private:
    void TakeAfterSave(const std::function<void(const std::string& archive)>& done);
    std::string Replace(const std::string& results, std::chrono::system_clock::time_point now);
    std::string ArchiveCopy(const std::string& results, std::chrono::system_clock::time_point now);
    void ArchiveDrafts(const std::string& archive);
    void Reached(Step step);

    PageSession& session_;
    std::string resultsDir_;
    std::string archiveDir_;
};

} // namespace vedris
