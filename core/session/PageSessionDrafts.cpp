// The page session's drafts: restoring one at binding, taking one after the candidate's
// changes, and writing one when a save fails.
#include "session/PageSession.h"

#include <chrono>
#include <utility>

#include "QTIDomain/uStorageManager.h"
#include "Texts.h"
#include "platform/html/MemoryFormDocument.h"

namespace vedris {

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

std::string PageSession::ResultStamp() const {
    xml::Node stamp = manager_->GetDateTimeNode();
    return stamp ? stamp.text() : std::string();
}

void PageSession::Notice(const std::string& text) {
    Log("notice: %s", text.c_str());
    if (onNotice)
        onNotice(text);
}

bool PageSession::DraftIsCurrent(const Draft& draft) const {
    return draftClock_.isCurrent(draft, draft.version == 1 ? ResultStamp() : std::string());
}

void PageSession::RestoreDraft(const Ticket& ticket, const nlohmann::json& snapshot,
                               Done done) {
    std::optional<Draft> draft;
    nlohmann::json writes;
    if (!ReadDraft(draft, writes) || !draft) {
        done();
        return;
    }
    if (!DraftIsCurrent(*draft)) {
        // Answers were accepted after the draft was taken: they are newer than it.
        RemoveDraft();
        done();
        return;
    }
    // Nothing the stored answers lack (a page's own script fired the change, say) is no
    // news for the candidate; the next accepted submission removes it.
    if (writes.empty())
        done();
    else
        ApplyDraft(ticket, writes, snapshot, draft->saved, done);
}

void PageSession::RemoveDraft() {
    try {
        drafts_.Remove(boundName_);
    } catch (const std::exception& e) {
        Log("draft not removed: %s", e.what());
    }
}

bool PageSession::ReadDraft(std::optional<Draft>& draft, nlohmann::json& writes) {
    try {
        draft = drafts_.Read(boundName_);
        if (draft &&
            (draft->assessment != boundName_ || draft->ident != manager_->GetAssessmentIdent()))
            throw DraftError(texts::DraftOfOtherAssessment + draft->assessment + " (" +
                             draft->ident + ")");
        // Against the form as results.xml filled it: only what differs is news.
        if (draft && DraftIsCurrent(*draft))
            writes = DraftWrites(draft->snapshot, document_->toJson());
        return true;
    } catch (const std::exception& e) {
        // Set aside, not deleted: what it holds may still be wanted, and it never stands
        // in the page's way again.
        const std::string why = e.what();
        try {
            Notice(texts::DraftMovedAside + drafts_.MoveAside(boundName_) + " (" + why + ").");
        } catch (const std::exception& moved) {
            Notice(texts::DraftNotUsable + why + ". " + moved.what());
        }
        return false;
    }
}

void PageSession::ApplyDraft(const Ticket& ticket, const nlohmann::json& writes,
                             const nlohmann::json& snapshot, const std::string& saved, Done done) {
    auto applied = [this, done, saved](bool shown) {
        if (shown) {
            ++stats_.restored;
            Notice(texts::DraftRestored1 + DraftStore::Readable(saved) + texts::DraftRestored2);
        }
        done();
    };
    auto failed = [this, done](const std::string& error) {
        report_(error);
        done();
    };
    page_.apply(ticket.Serial(), writes, snapshot, Answer(ticket, applied, done),
                Answer(ticket, failed, done));
}

void PageSession::PageEdited() {
    if (!manager_ || currentIndex_ < 0 || stopped_ || !startTimer || !draftClock_.edited())
        return;
    // Whichever page is bound when it runs out: the clock is the session's, not the page's.
    startTimer(draftDelay_, [this, ticket = Issue()] {
        if (ticket.SessionGone())
            return;
        draftClock_.timerFired();
        Enqueue([this](Done done) { TakeDraft(std::move(done)); });
    });
}

void PageSession::TakeDraft(Done done) {
    if (!manager_ || currentIndex_ < 0 || !draftClock_.take()) {
        done();
        return;
    }
    const Ticket ticket = Issue();
    const auto asked = Clock::now();
    auto read = [this, done, asked](const SubmitReply& reply) {
        if (reply.displayed) {
            const auto start = Clock::now();
            WriteDraft(reply.snapshot);
            Log("timing: draft written in %.1f ms (%.1f ms after it was asked for)",
                msSince(start), msSince(asked));
        }
        done();
    };
    auto failed = [this, done](const std::string& error) {
        Log("draft not taken: %s", error.c_str());
        done();
    };
    page_.read(ticket.Serial(), Answer(ticket, read, done), Answer(ticket, failed, done));
}

void PageSession::WriteDraft(const nlohmann::json& snapshot) {
    try {
        // The base is what results.xml holds, not the in-memory result, which a failed save
        // has already changed.
        drafts_.Write(Draft{boundName_, manager_->GetAssessmentIdent(), draftClock_.base(),
                            DraftStore::Now(), snapshot});
    } catch (const std::exception& e) {
        // Told once per page: a full disk must not bring a box every few seconds.
        if (draftClock_.firstFailure())
            Notice(texts::DraftNotWritten + std::string(e.what()));
    }
}

} // namespace vedris
