#pragma once
// The draft decisions of the bound page: when a draft is due, what it is based on, and
// whether a stored draft is still no older than the answers in results.xml. It keeps no
// timer and touches no file: the page session starts the timer and reads and writes the
// drafts.
#include <string>
#include <utility>

#include "session/DraftStore.h"

namespace vedris {

class DraftClock {
public:
    // A page was bound. base: the fingerprint of its result as results.xml holds it;
    // before: that of the result before binding added what an updated assessment gained
    // (empty when nothing was added).
    void bound(std::string base, std::string before) {
        base_ = std::move(base);
        before_ = std::move(before);
        dirty_ = false;
        failureTold_ = false;
    }
    // Its answers were saved: what the page shows is in results.xml.
    void accepted(std::string base) {
        base_ = std::move(base);
        before_.clear();
        dirty_ = false;
    }
    // The page has gone without being saved: nothing of it is left to draft.
    void forget() { dirty_ = false; }

    // The candidate changed the page. True when the timer is to be started: the first
    // change since the last draft starts it, later ones ride along, so drafts are at least
    // the delay apart.
    bool edited() {
        dirty_ = true;
        if (timerRunning_)
            return false;
        timerRunning_ = true;
        return true;
    }
    // The timer ran out.
    void timerFired() { timerRunning_ = false; }
    // True, once, when the page changed since the last draft or save: a draft is to be taken.
    bool take() { return std::exchange(dirty_, false); }
    // True the first time a draft could not be written for this page: told once, since a
    // full disk must not bring a box every few seconds.
    bool firstFailure() { return !std::exchange(failureTold_, true); }

    // What a draft taken now is based on: the result as last saved, not as a failed save
    // left it in memory.
    const std::string& base() const { return base_; }
    // No submission was accepted since the draft was taken. stamp: the result's datetime
    // text, which version 1 drafts were based on.
    bool isCurrent(const Draft& draft, const std::string& stamp) const {
        if (draft.version == 1)
            return draft.base == stamp;
        return draft.base == base_ || (!before_.empty() && draft.base == before_);
    }

private:
    std::string base_;
    std::string before_;
    bool dirty_ = false;        // changed since the last draft or save
    bool timerRunning_ = false; // a draft is due
    bool failureTold_ = false;  // a failed draft write was told, for this binding
};

} // namespace vedris
