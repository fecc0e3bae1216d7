#include "session/PageSession.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <utility>

#include "QTIDomain/uStorageErrors.h"
#include "QTIDomain/uStorageManager.h"
#include "Texts.h"
#include "platform/html/MemoryFormDocument.h"
#include "platform/xml/XmlDocument.h"
#include "session/AssessmentList.h"

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
      report_(std::move(reportError)), drafts_(resultsDir_), alive_(std::make_shared<bool>(true)) {}

PageSession::~PageSession() {
    alive_.reset();
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
}

std::string PageSession::GetAssessmentFileName(int Index) const {
    // The list holds lower-cased names; a file shipped with capitals is still found, as it
    // would be on a file system that ignores case. An entry with a folder in it is refused.
    return AssessmentFileFor(assessmentsDir_, assessments_.at(static_cast<std::size_t>(Index)));
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
        Done done = [this, finished, alive = std::weak_ptr<bool>(alive_)] {
            if (*finished || alive.expired())
                return;
            *finished = true;
            running_ = false;
            RunQueue();
        };
        finishRunning_ = done;
        if (!Guard([&] { operation(done); }))
            done();
    }
    dispatching_ = false;
}

// ---- Events ----

void PageSession::NavigateComplete(const std::optional<std::string>& path) {
    Enqueue([this, path](Done done) {
        ++stats_.navigated;
        currentIndex_ = path ? IndexOfName(assessments_, PageNameFromPath(*path)) : -1;
        done();
    });
}

void PageSession::DocumentComplete(bool top, std::chrono::system_clock::time_point pageTime) {
    const auto received = Clock::now();
    const double lag = wallMs(std::chrono::system_clock::now()) - wallMs(pageTime);
    Enqueue([this, top, received, lag](Done done) {
        ++stats_.completed;
        if (top && ++stats_.topCompleted == 1)
            Log("timing: start page loaded at %.0f ms (wall clock)",
                wallMs(std::chrono::system_clock::now()));
        if (currentIndex_ < 0) {
            done();
            return;
        }
        Bind([this, done, received, lag, bound = stats_.bound] {
            if (stats_.bound > bound)
                Log("timing: form filled %.1f ms after the load event (%.1f ms after its "
                    "report arrived)",
                    msSince(received) + lag, msSince(received));
            done();
        });
    });
}

void PageSession::BeforeNavigate(std::function<void(bool go)> decide) {
    const auto requested = Clock::now();
    Enqueue([this, decide = std::move(decide), requested](Done done) {
        const bool saving = currentIndex_ >= 0 && manager_;
        auto decided = [this, decide, requested, done, saving](bool go) {
            decide(go);
            if (!go)
                ++stats_.ignored;
            ++stats_.decisions;
            Log("timing: navigation %s in %.1f ms%s", go ? "allowed" : "cancelled",
                msSince(requested), saving ? " with the submission" : "");
            done();
        };
        if (currentIndex_ < 0) {
            decided(true);
            return;
        }
        // An error leaves the page where it is: going on would drop the answers that
        // could not be saved. A page that cannot be submitted at all holds no answers to
        // lose, and keeping it would lock the candidate out of every other page.
        SavePage([decided](SaveOutcome outcome) {
            decided(outcome == SaveOutcome::Accepted || outcome == SaveOutcome::Unsubmittable);
        });
    });
}

void PageSession::SaveCurrentPage(std::function<void(bool)> done) {
    Enqueue([this, done = std::move(done)](Done finished) {
        SavePage([this, done, finished](SaveOutcome outcome) {
            Guard([&] {
                if (done)
                    done(outcome == SaveOutcome::Accepted);
            });
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
        manager_.reset();
        document_.reset();
        lastAccepted_.reset();
        boundToken_ = 0;
        const long token = ++bindToken_;
        const int index = currentIndex_;
        std::weak_ptr<bool> alive = alive_;
        auto fail = [this, done, alive, epoch = pageEpoch_](const std::string& error) {
            if (alive.expired())
                return;
            // What a page that has gone answers is no news to the candidate.
            if (epoch == pageEpoch_)
                report_(error);
            done();
        };
        page_.capture(
            token,
            [this, done, fail, token, index, alive](const nlohmann::json& snapshot) {
                if (alive.expired())
                    return;
                if (token != bindToken_) {
                    done();
                    return;
                }
                bool ok = Guard([&] {
                    auto document = std::make_unique<html::MemoryFormDocument>(snapshot);
                    auto manager = std::make_unique<TStorageManager>(
                        GetAssessmentFileName(index), GetResultsFileName(), document.get());
                    document_ = std::move(document);
                    manager_ = std::move(manager);
                    boundToken_ = token;
                    boundName_ = assessments_.at(static_cast<std::size_t>(index));
                    draftDirty_ = false;
                    draftFailed_ = false;
                    manager_->LoadResponses();
                });
                if (!ok || !document_) {
                    done();
                    return;
                }
                ++stats_.bound;
                nlohmann::json changes = document_->changes();
                document_->clearChanges();
                page_.apply(
                    token, changes, snapshot,
                    [this, done, token, snapshot, alive](bool applied) {
                        if (alive.expired())
                            return;
                        if (!applied || !manager_ || boundToken_ != token) {
                            done();
                            return;
                        }
                        RestoreDraft(token, snapshot, done);
                    },
                    fail);
            },
            fail);
    } catch (...) {
        done();
        throw;
    }
}

bool PageSession::Submit(const nlohmann::json& snapshot, bool verdict) {
    document_->update(snapshot);
    document_->setSubmitVerdict(verdict);
    ++stats_.submissions;
    return manager_->SubmitResponses();
}

void PageSession::SavePage(std::function<void(SaveOutcome)> done) {
    if (!manager_) {
        done(SaveOutcome::Refused);
        return;
    }
    const long token = boundToken_;
    std::weak_ptr<bool> alive = alive_;
    page_.submit(
        token,
        [this, done, token, alive](const SubmitReply& reply) {
            if (alive.expired())
                return;
            SaveOutcome outcome = SaveOutcome::Refused;
            bool unsubmittable = false;
            bool ok = Guard([&] {
                try {
                    if (!manager_ || boundToken_ != token)
                        return;
                    if (reply.displayed) {
                        if (Submit(reply.snapshot, reply.verdict)) {
                            lastAccepted_ = reply.snapshot;
                            outcome = SaveOutcome::Accepted;
                        }
                    } else if (lastAccepted_) {
                        // The page was left after its handler accepted; what it showed then is
                        // what the candidate answered.
                        if (Submit(*lastAccepted_, true))
                            outcome = SaveOutcome::Accepted;
                    }
                } catch (const ESubmitCallFailed&) {
                    unsubmittable = true;
                    throw;
                }
            });
            if (unsubmittable) {
                done(SaveOutcome::Unsubmittable);
                return;
            }
            if (ok && outcome == SaveOutcome::Accepted) {
                // The answers are in results.xml now; the draft goes only after them, so a
                // crash in between leaves a draft that the next binding finds older.
                draftDirty_ = false;
                try {
                    drafts_.Remove(boundName_);
                } catch (const std::exception& e) {
                    Log("draft not removed: %s", e.what());
                }
                if (onAccepted)
                    onAccepted();
            }
            done(ok ? outcome : SaveOutcome::Failed);
        },
        [this, done, alive, epoch = pageEpoch_](const std::string& error) {
            if (alive.expired())
                return;
            if (epoch != pageEpoch_) {
                // Nothing is left to save from a page that has gone, and nothing to keep
                // a close waiting for.
                done(SaveOutcome::Refused);
                return;
            }
            report_(error);
            done(SaveOutcome::Failed);
        });
}

// ---- Drafts ----

std::string PageSession::ResultStamp() const {
    xml::Node stamp = manager_->GetDateTimeNode();
    return stamp ? stamp.text() : std::string();
}

void PageSession::Notice(const std::string& text) {
    Log("notice: %s", text.c_str());
    if (onNotice)
        onNotice(text);
}

void PageSession::RestoreDraft(long token, const nlohmann::json& snapshot, Done done) {
    const std::string stamp = ResultStamp();
    std::optional<Draft> draft;
    nlohmann::json writes;
    try {
        draft = drafts_.Read(boundName_);
        if (draft &&
            (draft->assessment != boundName_ || draft->ident != manager_->GetAssessmentIdent()))
            throw DraftError(texts::DraftOfOtherAssessment + draft->assessment + " (" +
                             draft->ident + ")");
        // Against the form as results.xml filled it: only what differs is news.
        if (draft && draft->base == stamp)
            writes = DraftWrites(draft->snapshot, document_->toJson());
    } catch (const std::exception& e) {
        // Set aside, not deleted: what it holds may still be wanted, and it never stands
        // in the page's way again.
        const std::string why = e.what();
        try {
            Notice(texts::DraftMovedAside + drafts_.MoveAside(boundName_) + " (" + why + ").");
        } catch (const std::exception& moved) {
            Notice(texts::DraftNotUsable + why + ". " + moved.what());
        }
        done();
        return;
    }
    if (!draft) {
        done();
        return;
    }
    if (draft->base != stamp) {
        // Answers were accepted after the draft was taken: they are newer than it.
        try {
            drafts_.Remove(boundName_);
        } catch (const std::exception& e) {
            Log("draft not removed: %s", e.what());
        }
        done();
        return;
    }
    if (writes.empty()) {
        // Nothing the stored answers lack (a page's own script fired the change, say): no
        // news for the candidate; the next accepted submission removes it.
        done();
        return;
    }
    std::weak_ptr<bool> alive = alive_;
    page_.apply(
        token, writes, snapshot,
        [this, done, alive, saved = draft->saved](bool applied) {
            if (alive.expired())
                return;
            if (applied) {
                ++stats_.restored;
                Notice(texts::DraftRestored1 + DraftStore::Readable(saved) + texts::DraftRestored2);
            }
            done();
        },
        [this, done, alive, epoch = pageEpoch_](const std::string& error) {
            if (alive.expired())
                return;
            if (epoch == pageEpoch_)
                report_(error);
            done();
        });
}

void PageSession::PageEdited() {
    if (!manager_ || currentIndex_ < 0 || stopped_)
        return;
    draftDirty_ = true;
    if (draftTimer_ || !startTimer)
        return;
    // The first change since the last draft starts the clock; later ones ride along, so
    // drafts are at least the delay apart.
    draftTimer_ = true;
    startTimer(draftDelay_, [this, alive = std::weak_ptr<bool>(alive_)] {
        if (alive.expired())
            return;
        draftTimer_ = false;
        Enqueue([this](Done done) { TakeDraft(std::move(done)); });
    });
}

void PageSession::TakeDraft(Done done) {
    if (!draftDirty_ || !manager_ || currentIndex_ < 0) {
        done();
        return;
    }
    draftDirty_ = false;
    const long token = boundToken_;
    const auto asked = Clock::now();
    std::weak_ptr<bool> alive = alive_;
    page_.read(
        token,
        [this, done, token, asked, alive](const SubmitReply& reply) {
            if (alive.expired())
                return;
            if (reply.displayed && manager_ && boundToken_ == token) {
                const auto start = Clock::now();
                try {
                    drafts_.Write(Draft{boundName_, manager_->GetAssessmentIdent(), ResultStamp(),
                                        DraftStore::Now(), reply.snapshot});
                    ++stats_.drafts;
                    Log("timing: draft written in %.1f ms (%.1f ms after it was asked for)",
                        msSince(start), msSince(asked));
                } catch (const std::exception& e) {
                    // Told once per page: a full disk must not bring a box every few seconds.
                    if (!draftFailed_)
                        Notice(texts::DraftNotWritten + std::string(e.what()));
                    draftFailed_ = true;
                }
            }
            done();
        },
        [this, done, alive](const std::string& error) {
            if (alive.expired())
                return;
            Log("draft not taken: %s", error.c_str());
            done();
        });
}

void PageSession::ReleaseBinding() {
    ++bindToken_;
    currentIndex_ = -1;
    manager_.reset();
    document_.reset();
    lastAccepted_.reset();
    boundToken_ = 0;
    boundName_.clear();
    draftDirty_ = false;
}

void PageSession::PageGone() {
    ++pageEpoch_;
    ReleaseBinding();
    // The operation in flight may wait for an answer that will never come.
    // A copy: finishing starts the next operation, which replaces finishRunning_.
    if (running_ && finishRunning_) {
        auto finish = finishRunning_;
        finish();
    }
}

} // namespace vedris
