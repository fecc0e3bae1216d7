#pragma once
// The life of the assessment page on screen: which assessment it is, its binding to the
// results storage, its submission with the page's own verdict, and the order in which the
// browser's events are handled.
//
// The page answers asynchronously: its controls are read and written through a PageFrame
// whose answers come back later, and a navigation is held while the page is submitted. The
// session therefore runs its work as operations, one at a time and in the order the events
// arrived: a navigation, a close or a menu action that arrives while a submission is in
// flight waits for it. It knows no main loop; whoever owns it delivers the events.
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "session/DraftClock.h"
#include "session/DraftStore.h"
#include "session/PageFrame.h"

namespace vedris {

class TStorageManager;
namespace html {
class MemoryFormDocument;
}

class PageSession {
public:
    using Done = std::function<void()>;
    using Sink = std::function<void(const std::string& text)>;
    // Unsubmittable: the page could not be submitted at all (it has no form); the error has
    // been reported, and since nothing was read from the page there is nothing to lose.
    enum class SaveOutcome { Accepted, Refused, Unsubmittable, Failed };

    struct Counters {
        int completed = 0;    // "complete" reports handled
        int topCompleted = 0; // of the top-level document
        int bound = 0;        // bindings that filled a form
        int ignored = 0;      // navigations cancelled
        int submissions = 0;  // SubmitResponses calls
        int restored = 0;     // bindings that put a draft on the page
        int staged = 0;       // bindings whose page filled itself as it loaded (Stage)
    };
    // Where a navigation goes: the path its URL stands for (as for NavigateComplete; none
    // for a page that is no assessment page) and the URL itself.
    struct Destination {
        std::optional<std::string> path;
        std::string url;
    };
    using Timer = std::function<void(std::chrono::milliseconds delay, std::function<void()> due)>;

    // page must outlive the session. Both folders end with "/". reportError shows a message
    // to the user; every error of an operation goes there and ends that operation.
    PageSession(PageFrame& page, std::string assessmentsDir, std::string resultsDir,
                Sink reportError);
    ~PageSession();
    PageSession(const PageSession&) = delete;
    PageSession& operator=(const PageSession&) = delete;

    // Where timing lines go (none by default).
    void SetLog(Sink log) { log_ = std::move(log); }
    // Runs first in every binding with the index of the assessment about to be bound; what
    // it raises is reported and ends the binding.
    std::function<void(int index)> onBinding;
    // Runs after every save of the page that its handler accepted.
    std::function<void()> onAccepted;
    // Tells the candidate something that needs no answer (a draft restored or set aside).
    Sink onNotice;
    // The answers could not be saved on leaving the page: shows error and asks whether to
    // stay (answer(false), what closing the question means) or leave without saving this
    // page (answer(true)); what was typed is in the page's draft then. Without it the error
    // is reported and the page stays.
    std::function<void(const std::string& error, std::function<void(bool leave)> answer)>
        onSaveFailed;
    // Calls due once after delay; the owner's main loop. Without it no draft is taken.
    Timer startTimer;

    // The assessments this client handles (lower-cased names); no page is recognised then.
    void SetAssessments(std::vector<std::string> assessments);
    const std::vector<std::string>& Assessments() const { return assessments_; }
    // "AssessmentsDir" + Assessments()[Index] + ".xml", whatever the file's letter case.
    std::string GetAssessmentFileName(int index) const;
    // "ResultsDir" + "results.xml".
    std::string GetResultsFileName() const;
    // Creates the results folder and results.xml, with one empty result per assessment in
    // list order, when results.xml does not exist; an existing one is left alone.
    void PrepareResultsFile();
    // Writes a results file at path as PrepareResultsFile makes a new results.xml (the
    // assessments that cannot be read are reported and left out); replaces what is there.
    void CreateResultsFile(const std::string& path);

    // ---- Events, each queued as an operation. ----
    // A frame's document has started: path is what its URL stands for (recognitionPath),
    // none for a page that is no assessment page whatever its address (the folder's own
    // "not found" page). holdsPage: the document is the top level's or that of the frame
    // "form_frame" below it, which hold the assessment page; only such a document changes
    // which assessment is on screen, so a frame inside the page (a video, a map) or another
    // frame of the start page leaves the bound page bound.
    void NavigateComplete(const std::optional<std::string>& path, bool holdsPage = true);
    // A frame's load event fired at pageTime (the page's wall clock): an assessment page
    // is bound and filled (only for a document that holds the page, as above).
    void DocumentComplete(bool top, std::chrono::system_clock::time_point pageTime,
                          bool holdsPage = true);
    // A navigation waits for decide: true to go ahead. An assessment page is submitted
    // first; it may be left only when its handler accepted and the answers were saved, or
    // when the candidate chose to leave after the save failed (onSaveFailed). A page that
    // nothing is bound to holds nothing to save and is left at once. A navigation that the
    // page itself starts while it is being submitted (its handler sets location.href, say)
    // is decided with that submission's verdict, without another submission.
    // A navigation that goes on to an assessment page shown before has that page's binding
    // worked out at once, from the form the page showed then: the page fills itself as it
    // loads when its form is still that one, and is bound at its load event without being
    // written to again.
    void BeforeNavigate(std::function<void(bool go)> decide,
                        std::optional<Destination> to = std::nullopt);
    // Has the bound page submitted and, when its handler accepts, saved; done gets false
    // when nothing is bound, the page refused, or an error was reported.
    void SaveCurrentPage(std::function<void(bool saved)> done);

    // Saves at once, for use inside an operation: Refused when nothing is bound.
    void SavePage(std::function<void(SaveOutcome)> done);
    // Queues an operation; it calls its Done once when finished (later calls do nothing).
    void Enqueue(std::function<void(Done)> operation);
    // Drops the queued operations and starts no more (the window has gone).
    void Stop();

    // ---- Drafts ----
    // The candidate changed a control of the page on screen: a draft of the bound page is
    // taken delay after the first change since the last draft, as an operation of its own,
    // so never during a submission.
    void PageEdited();
    void SetDraftDelay(std::chrono::milliseconds delay) { draftDelay_ = delay; }
    const DraftStore& Drafts() const { return drafts_; }
    // The page's process has ended: the binding goes without anything being written (the
    // last accepted answers stay in results.xml, the draft stays for the next binding), the
    // operation waiting for the page ends, and what the gone page answers late is dropped.
    void PageGone();
    // Forgets the bound page without writing anything from it: the results file it was
    // read from has been replaced, and its answers must never reach the new one.
    void ReleaseBinding();

    // Runs work; what it raises goes to reportError. False when it raised.
    bool Guard(const std::function<void()>& work);

    int CurrentIndex() const { return currentIndex_; }
    bool HasStorageManager() const { return manager_ != nullptr; }
    // An operation is queued or running.
    bool Busy() const { return running_ || !queue_.empty(); }
    const Counters& Stats() const { return stats_; }

private:
    using SaveDone = std::function<void(SaveOutcome, const std::string& error)>;
    using Decided = std::function<void(bool go)>;

    // The binding of the page that something was asked under. Each binding, and each
    // release of one, gives the page a new serial, which is also the token the page binds
    // its document under. Every answer that comes back later holds a ticket: an answer for
    // the page still bound is current; one for a page unbound since (another binding, a
    // replaced results file, a page whose process ended) is stale and changes nothing; and
    // none runs once the session has gone.
    class Ticket {
    public:
        Ticket(std::weak_ptr<const long> binding, long serial)
            : binding_(std::move(binding)), serial_(serial) {}
        bool SessionGone() const { return binding_.expired(); }
        bool Current() const {
            const auto binding = binding_.lock();
            return binding && *binding == serial_;
        }
        long Serial() const { return serial_; }

    private:
        std::weak_ptr<const long> binding_;
        long serial_;
    };
    Ticket Issue() const { return Ticket(binding_, *binding_); }
    // An answer's callback: current(answer...) when it is current, stale() when it is stale,
    // nothing once the session has gone.
    template <class Current, class Stale>
    static auto Answer(Ticket ticket, Current current, Stale stale) {
        return [ticket = std::move(ticket), current = std::move(current),
                stale = std::move(stale)](const auto&... answer) {
            if (ticket.SessionGone())
                return;
            if (ticket.Current())
                current(answer...);
            else
                stale();
        };
    }

    void Bind(Done done);
    void Unbind();
    PageFrame::Fail BindFailure(const Ticket& ticket, Done done);
    void OnCaptured(const Ticket& ticket, int index, const Capture& capture, Done done);
    bool MakeManager(int index, const nlohmann::json& snapshot);
    void ReportBindError(const std::string& error);
    void Decide(const std::function<void(bool go)>& decide, const std::optional<Destination>& to,
                std::chrono::steady_clock::time_point requested, Done done);
    bool Submit(const nlohmann::json& snapshot, bool verdict);
    void SaveBound(SaveDone done);
    void OnSubmitted(const SubmitReply& reply, const SaveDone& done);
    SaveOutcome StoreReply(const SubmitReply& reply);
    void AfterAccepted();
    void DecideAfterSave(SaveOutcome outcome, const std::string& error, const Decided& decided);
    void DecideRiders();
    void Stage(const std::optional<Destination>& to);
    void Unstage();
    bool BindStaged(int index, const Capture& capture);
    void RememberForm(int index, const Capture& capture);
    void RestoreDraft(const Ticket& ticket, const nlohmann::json& snapshot, Done done);
    bool ReadDraft(std::optional<Draft>& draft, nlohmann::json& writes);
    void ApplyDraft(const Ticket& ticket, const nlohmann::json& writes,
                    const nlohmann::json& snapshot, const std::string& saved, Done done);
    bool DraftIsCurrent(const Draft& draft) const;
    void RemoveDraft();
    void TakeDraft(Done done);
    void WriteDraft(const nlohmann::json& snapshot);
    std::string ResultStamp() const;
    void Notice(const std::string& text);
    void RunQueue();
    void LogFilled(std::chrono::steady_clock::time_point received, double lag) const;
    void Log(const char* format, ...) const __attribute__((format(printf, 2, 3)));

    PageFrame& page_;
    std::string assessmentsDir_;
    std::string resultsDir_;
    Sink report_;
    Sink log_;

    std::vector<std::string> assessments_;
    int currentIndex_ = -1;
    // The in-memory form that manager_ binds; it outlives the manager.
    std::unique_ptr<html::MemoryFormDocument> document_;
    std::unique_ptr<TStorageManager> manager_;
    // The serial of the binding (Ticket); it goes with the session.
    std::shared_ptr<long> binding_;
    // The controls as captured at the last submission of the bound page that its handler
    // accepted: a submission after the page was left stores them again.
    std::optional<nlohmann::json> lastAccepted_;
    std::string boundName_; // the assessment manager_ stands for
    std::string bindError_; // the binding error told for the page on screen
    // A submission is in flight; navigations the page starts meanwhile ride on it and are
    // decided, when its operation ends, with riderVerdict_.
    bool submitting_ = false;
    bool riderVerdict_ = false;
    struct Rider {
        std::function<void(bool go)> decide;
        std::optional<Destination> to;
    };
    std::vector<Rider> riders_;

    // The binding of the page a navigation goes to, worked out when it was allowed (Stage):
    // the page's form when it was last bound (before it was filled), and that form filled
    // from results.xml as it is now. Any save or release drops it.
    struct Staged {
        long id = 0;
        int index = -1;
        nlohmann::json form;
        std::unique_ptr<html::MemoryFormDocument> document;
        std::unique_ptr<TStorageManager> manager;
    };
    std::optional<Staged> staged_;
    long stagings_ = 0;
    // Per assessment, the form its page showed as it loaded at its last binding, before it
    // was filled; null for a page whose form is not the same at each visit.
    std::map<int, nlohmann::json> forms_;

    DraftStore drafts_;
    std::chrono::milliseconds draftDelay_{5000};
    DraftClock draftClock_;

    std::deque<std::function<void(Done)>> queue_;
    bool running_ = false;
    bool dispatching_ = false;
    bool stopped_ = false;
    std::function<void()> finishRunning_; // ends the operation in flight (when running_)
    Counters stats_;
    // When the binding in flight asked for the page's snapshot, had it, and had filled the
    // form in memory: the parts of its timing line.
    struct {
        std::chrono::steady_clock::time_point asked, captured, loaded;
        bool staged = false; // the page filled itself as it loaded
    } bindSteps_;
};

} // namespace vedris
