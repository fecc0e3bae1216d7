#include "session/PageSession.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <utility>

#include "QTIDomain/uStorageErrors.h"
#include "QTIDomain/uStorageManager.h"
#include "Texts.h"
#include "platform/html/MemoryFormDocument.h"
#include "platform/xml/XmlDocument.h"
#include "session/AssessmentList.h"
#include "session/DraftStore.h"

namespace vedris {

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double wallMs(std::chrono::system_clock::time_point time) {
    return std::chrono::duration<double, std::milli>(time.time_since_epoch()).count();
}

} // namespace

PageSession::PageSession(PageFrame& page, std::string assessmentsDir, std::string resultsDir,
                         Sink reportError)
    : page_(page), assessmentsDir_(std::move(assessmentsDir)), resultsDir_(std::move(resultsDir)),
      report_(std::move(reportError)), binding_(std::make_shared<long>(0)), drafts_(resultsDir_) {}

PageSession::~PageSession() {
    binding_.reset();
    queue_.clear();
    manager_.reset();
    document_.reset();
}

void PageSession::Log(const char* format, ...) const {
    if (!log_)
        return;
    char line[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_(line);
}

bool PageSession::Guard(const std::function<void()>& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        report_(e.what());
    } catch (...) {
        report_(texts::UnknownError);
    }
    return false;
}

// ---- Assessments and files ----

void PageSession::SetAssessments(std::vector<std::string> assessments) {
    assessments_ = std::move(assessments);
    currentIndex_ = -1;
    forms_.clear();
    Unstage();
}

std::string PageSession::GetAssessmentFileName(int index) const {
    // The list holds lower-cased names; a file shipped with capitals is still found, as it
    // would be on a file system that ignores case. An entry with a folder in it is refused.
    return AssessmentFileFor(assessmentsDir_, assessments_.at(static_cast<std::size_t>(index)));
}

std::string PageSession::GetResultsFileName() const {
    return resultsDir_ + "results.xml";
}

void PageSession::PrepareResultsFile() {
    const std::string results = GetResultsFileName();
    std::error_code ec;
    if (std::filesystem::exists(results, ec))
        return;
    // A fresh installation has no results folder yet.
    std::filesystem::create_directories(resultsDir_, ec);
    if (ec)
        throw std::runtime_error(texts::ResultsFolderNotCreated + resultsDir_ + ": " +
                                 ec.message());
    // Drafts belong to the results file they were taken against: the answers of whoever
    // used the old one are never put on the pages of the new one.
    const std::string aside = drafts_.SetAllAside();
    if (!aside.empty())
        Notice(texts::DraftsSetAside + aside);
    CreateResultsFile(results);
}

void PageSession::CreateResultsFile(const std::string& path) {
    xml::Document doc = xml::Document::create();
    doc.createDocumentElement("qti_result_report");
    doc.setDeclaration("1.0", "UTF-8");
    doc.save(path);
    // Each manager derives its assessment's skeleton and saves the file, so the new file
    // holds them in list order; a name listed twice finds its skeleton already there. One
    // assessment that cannot be read is reported and keeps none of the others from theirs.
    for (std::size_t i = 0; i < assessments_.size(); ++i)
        Guard([&] { TStorageManager(GetAssessmentFileName(static_cast<int>(i)), path, nullptr); });
}

// ---- Operations ----

void PageSession::Enqueue(std::function<void(Done)> operation) {
    queue_.push_back(std::move(operation));
    RunQueue();
}

void PageSession::Stop() {
    stopped_ = true;
    queue_.clear();
    riders_.clear();
}

void PageSession::RunQueue() {
    // An operation that finishes at once calls done inside this loop; the loop then picks
    // up the next one instead of recursing.
    if (dispatching_)
        return;
    dispatching_ = true;
    while (!running_ && !queue_.empty() && !stopped_) {
        auto operation = std::move(queue_.front());
        queue_.pop_front();
        running_ = true;
        auto finished = std::make_shared<bool>(false);
        Done done = [this, finished, ticket = Issue()] {
            if (*finished || ticket.SessionGone())
                return;
            *finished = true;
            running_ = false;
            DecideRiders();
            RunQueue();
        };
        finishRunning_ = done;
        if (!Guard([&] { operation(done); }))
            done();
    }
    dispatching_ = false;
}

// ---- Events ----

void PageSession::NavigateComplete(const std::optional<std::string>& path, bool holdsPage) {
    Enqueue([this, path, holdsPage](Done done) {
        if (holdsPage) {
            currentIndex_ = path ? IndexOfName(assessments_, PageNameFromPath(*path)) : -1;
            bindError_.clear();
        }
        done();
    });
}

void PageSession::DocumentComplete(bool top, std::chrono::system_clock::time_point pageTime,
                                   bool holdsPage) {
    const auto received = Clock::now();
    const double lag = wallMs(std::chrono::system_clock::now()) - wallMs(pageTime);
    Enqueue([this, top, received, lag, holdsPage](Done done) {
        ++stats_.completed;
        if (top && ++stats_.topCompleted == 1)
            Log("timing: start page loaded at %.0f ms (wall clock)",
                wallMs(std::chrono::system_clock::now()));
        if (currentIndex_ < 0 || !holdsPage) {
            done();
            return;
        }
        Bind([this, done, received, lag, bound = stats_.bound] {
            if (stats_.bound > bound)
                LogFilled(received, lag);
            done();
        });
    });
}

void PageSession::LogFilled(std::chrono::steady_clock::time_point received, double lag) const {
    auto between = [](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    const auto now = Clock::now();
    if (bindSteps_.staged) {
        Log("timing: form filled %.1f ms after the load event (%.1f ms after its report arrived: "
            "set-up %.1f ms, the page filled itself as it loaded)",
            between(received, now) + lag, between(received, now),
            between(received, bindSteps_.asked));
        return;
    }
    Log("timing: form filled %.1f ms after the load event (%.1f ms after its report arrived: "
        "set-up %.1f, snapshot %.1f, results %.1f, fill %.1f ms)",
        between(received, now) + lag, between(received, now), between(received, bindSteps_.asked),
        between(bindSteps_.asked, bindSteps_.captured),
        between(bindSteps_.captured, bindSteps_.loaded), between(bindSteps_.loaded, now));
}

void PageSession::BeforeNavigate(std::function<void(bool go)> decide,
                                 std::optional<Destination> to) {
    if (submitting_) {
        // The page's own handler started it: submitting again would start it again, for
        // ever. It goes or stays with the submission in flight.
        riders_.push_back(Rider{std::move(decide), std::move(to)});
        return;
    }
    const auto requested = Clock::now();
    Enqueue([this, decide = std::move(decide), to = std::move(to), requested](Done done) {
        Decide(decide, to, requested, std::move(done));
    });
}

void PageSession::Decide(const std::function<void(bool go)>& decide,
                         const std::optional<Destination>& to,
                         std::chrono::steady_clock::time_point requested, Done done) {
    // Nothing bound (its binding failed) is nothing to save: the page may be left.
    const bool saving = currentIndex_ >= 0 && manager_;
    Decided decided = [this, decide, to, requested, done, saving](bool go) {
        riderVerdict_ = go;
        decide(go);
        if (!go)
            ++stats_.ignored;
        Log("timing: navigation %s in %.1f ms%s", go ? "allowed" : "cancelled",
            msSince(requested), saving ? " with the submission" : "");
        if (go)
            Stage(to);
        done();
    };
    if (!saving) {
        decided(true);
        return;
    }
    SaveBound([this, decided](SaveOutcome outcome, const std::string& error) {
        DecideAfterSave(outcome, error, decided);
    });
}

void PageSession::DecideAfterSave(SaveOutcome outcome, const std::string& error,
                                  const Decided& decided) {
    // A failed save leaves the page where it is unless the candidate chooses to leave it
    // unsaved: an error that does not go away must not keep them there for ever. A page
    // that cannot be submitted at all holds no answers to lose.
    if (outcome == SaveOutcome::Failed && onSaveFailed) {
        onSaveFailed(error, [decided, ticket = Issue()](bool leave) {
            if (!ticket.SessionGone())
                decided(leave);
        });
        return;
    }
    if (!error.empty())
        report_(error);
    decided(outcome == SaveOutcome::Accepted || outcome == SaveOutcome::Unsubmittable);
}

void PageSession::DecideRiders() {
    for (auto& rider : std::exchange(riders_, {})) {
        rider.decide(riderVerdict_);
        if (riderVerdict_)
            Stage(rider.to);
        else
            ++stats_.ignored;
    }
}

void PageSession::SaveCurrentPage(std::function<void(bool)> done) {
    Enqueue([this, done = std::move(done)](Done finished) {
        SavePage([this, done, finished](SaveOutcome outcome) {
            const bool saved = outcome == SaveOutcome::Accepted;
            riderVerdict_ = saved;
            if (done)
                Guard(std::bind(done, saved));
            finished();
        });
    });
}

// ---- Binding and saving ----

void PageSession::Bind(Done done) {
    // An error in any step is reported and ends the binding; done runs all the same.
    try {
        if (onBinding)
            onBinding(currentIndex_);
        Unbind();
        const Ticket ticket = Issue();
        bindSteps_.asked = Clock::now();
        auto captured = [this, ticket, done, index = currentIndex_](const Capture& capture) {
            OnCaptured(ticket, index, capture, done);
        };
        page_.capture(ticket.Serial(), Answer(ticket, captured, done), BindFailure(ticket, done));
    } catch (...) {
        done();
        throw;
    }
}

void PageSession::Unbind() {
    manager_.reset();
    document_.reset();
    lastAccepted_.reset();
    ++*binding_;
}

PageFrame::Fail PageSession::BindFailure(const Ticket& ticket, Done done) {
    // What a page that is no longer bound answers is no news to the candidate.
    auto failed = [this, done](const std::string& error) {
        ReportBindError(error);
        done();
    };
    return Answer(ticket, failed, done);
}

void PageSession::OnCaptured(const Ticket& ticket, int index, const Capture& capture, Done done) {
    const nlohmann::json& snapshot = capture.snapshot;
    bindSteps_.captured = Clock::now();
    bindSteps_.staged = BindStaged(index, capture);
    if (bindSteps_.staged) {
        RestoreDraft(ticket, snapshot, done);
        return;
    }
    if (!MakeManager(index, snapshot)) {
        done();
        return;
    }
    ++stats_.bound;
    RememberForm(index, capture);
    bindSteps_.loaded = Clock::now();
    // Writes the page made itself that this binding does not stand for are all overwritten.
    nlohmann::json changes =
        capture.filledBy != 0 ? FormWrites(document_->toJson()) : document_->changes();
    document_->clearChanges();
    auto applied = [this, ticket, snapshot, done](bool shown) {
        if (shown)
            RestoreDraft(ticket, snapshot, done);
        else
            done();
    };
    page_.apply(ticket.Serial(), changes, snapshot, Answer(ticket, applied, done),
                BindFailure(ticket, done));
}

bool PageSession::MakeManager(int index, const nlohmann::json& snapshot) {
    try {
        auto document = std::make_unique<html::MemoryFormDocument>(snapshot);
        auto manager = std::make_unique<TStorageManager>(GetAssessmentFileName(index),
                                                         GetResultsFileName(), document.get());
        document_ = std::move(document);
        manager_ = std::move(manager);
        boundName_ = assessments_.at(static_cast<std::size_t>(index));
        draftClock_.bound({}, {});
        manager_->LoadResponses();
        draftClock_.bound(manager_->ResultDigest(), manager_->DigestBeforeUpdate());
        bindError_.clear();
        return true;
    } catch (const std::exception& e) {
        ReportBindError(e.what());
    } catch (...) {
        ReportBindError(texts::UnknownError);
    }
    return false;
}

bool PageSession::Submit(const nlohmann::json& snapshot, bool verdict) {
    // results.xml changes: a binding worked out ahead against it is out of date.
    Unstage();
    document_->update(snapshot);
    document_->setSubmitVerdict(verdict);
    ++stats_.submissions;
    return manager_->SubmitResponses();
}

void PageSession::ReportBindError(const std::string& error) {
    // Each document that holds the page may complete (the frame's and the top level's):
    // the candidate hears of the page's failure once.
    if (error == bindError_)
        return;
    bindError_ = error;
    report_(error);
}

void PageSession::SavePage(std::function<void(SaveOutcome)> done) {
    SaveBound([this, done](SaveOutcome outcome, const std::string& error) {
        if (!error.empty())
            report_(error);
        done(outcome);
    });
}

void PageSession::SaveBound(SaveDone done) {
    if (!manager_) {
        done(SaveOutcome::Refused, {});
        return;
    }
    const Ticket ticket = Issue();
    auto submitted = [this, done](const SubmitReply& reply) {
        submitting_ = false;
        OnSubmitted(reply, done);
    };
    auto failed = [this, done](const std::string& error) {
        submitting_ = false;
        done(SaveOutcome::Failed, error);
    };
    // Nothing is left to save from a page that is no longer bound, and nothing to keep a
    // close waiting for.
    auto unbound = [done] { done(SaveOutcome::Refused, {}); };
    submitting_ = true;
    page_.submit(ticket.Serial(), Answer(ticket, submitted, unbound),
                 Answer(ticket, failed, unbound));
}

void PageSession::OnSubmitted(const SubmitReply& reply, const SaveDone& done) {
    SaveOutcome outcome = SaveOutcome::Failed;
    std::string error;
    try {
        outcome = StoreReply(reply);
    } catch (const ESubmitCallFailed& e) {
        outcome = SaveOutcome::Unsubmittable;
        error = e.what();
    } catch (const std::exception& e) {
        error = e.what();
    } catch (...) {
        error = texts::UnknownError;
    }
    riderVerdict_ = outcome == SaveOutcome::Accepted || outcome == SaveOutcome::Unsubmittable;
    if (outcome == SaveOutcome::Accepted)
        AfterAccepted();
    else if (outcome == SaveOutcome::Failed && reply.displayed)
        // Whether the candidate stays or leaves, what they typed is kept.
        WriteDraft(reply.snapshot);
    done(outcome, error);
}

PageSession::SaveOutcome PageSession::StoreReply(const SubmitReply& reply) {
    if (reply.displayed) {
        if (!Submit(reply.snapshot, reply.verdict))
            return SaveOutcome::Refused;
        lastAccepted_ = reply.snapshot;
        return SaveOutcome::Accepted;
    }
    // The page was left after its handler accepted; what it showed then is what the
    // candidate answered.
    if (lastAccepted_ && Submit(*lastAccepted_, true))
        return SaveOutcome::Accepted;
    return SaveOutcome::Refused;
}

void PageSession::AfterAccepted() {
    // The answers are in results.xml now; the draft goes only after them, so a crash in
    // between leaves a draft that the next binding finds older.
    draftClock_.accepted(manager_->ResultDigest());
    RemoveDraft();
    if (onAccepted)
        onAccepted();
}

void PageSession::ReleaseBinding() {
    // What the gone page asked for while it was submitted holds nothing up.
    submitting_ = false;
    riderVerdict_ = true;
    currentIndex_ = -1;
    Unbind();
    Unstage();
    boundName_.clear();
    draftClock_.forget();
}

void PageSession::PageGone() {
    ReleaseBinding();
    // The operation in flight may wait for an answer that will never come.
    // A copy: finishing starts the next operation, which replaces finishRunning_.
    if (running_ && finishRunning_) {
        auto finish = finishRunning_;
        finish();
    }
}

} // namespace vedris
