#pragma once
// The assessment page on screen as the page session sees it: the form of one frame, read
// and written in the snapshot format of html::MemoryFormDocument. Every operation answers
// through its callbacks exactly once, at once or later: done, or fail with a message for
// the user.
//
// A capture binds the frame's document under a token; everything else checks that the
// frame still shows that very document, so nothing is written into, read from or
// submitted from a page that has replaced it.
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

namespace vedris {

// What the page answers to a submission or a read.
struct SubmitReply {
    // False when the frame no longer shows the document bound under the token; nothing
    // ran then.
    bool displayed = false;
    // The verdict of the page's own submit handlers: false when one cancelled the event.
    // A read leaves it true, since no handler ran.
    bool verdict = false;
    // The controls (after the handlers, for a submission).
    nlohmann::json snapshot;
};

// What a capture gives.
struct Capture {
    nlohmann::json snapshot;
    // The snapshot is the form as the document's load left it (its load report), taken
    // before anything was written into it; false for one read later, as it stands then.
    bool asLoaded = false;
    // The id of the staged writes (stage) the document put on its controls right after the
    // snapshot was taken; 0 when it wrote none, -1 when it failed part way through them.
    long filledBy = 0;
};

class PageFrame {
public:
    using Fail = std::function<void(const std::string& error)>;
    virtual ~PageFrame() = default;

    // Captures every named element of the frame's document and binds the document to token.
    virtual void capture(long token, std::function<void(const Capture&)> done, Fail fail) = 0;
    // Offers the writes (changes) of a binding worked out ahead, under id, to the document
    // that the navigation to url brings into the frame: it writes them itself at its load
    // event, before anything can read them, when its form is then exactly form, and reports
    // so with its load. The offer stands for that one document; false when it cannot be
    // made. unstage withdraws it.
    virtual bool stage(long id, const std::string& url, const nlohmann::json& form,
                       const nlohmann::json& changes) {
        (void)id, (void)url, (void)form, (void)changes;
        return false;
    }
    virtual void unstage() {}
    // Writes the changes of a MemoryFormDocument (changes()) into the bound document; the
    // element names of snapshot guard each write. applied is false when the frame no longer
    // shows the bound document.
    virtual void apply(long token, const nlohmann::json& changes, const nlohmann::json& snapshot,
                       std::function<void(bool applied)> done, Fail fail) = 0;
    // Runs the page's own submit handlers on the bound document and captures the controls
    // after them.
    virtual void submit(long token, std::function<void(const SubmitReply&)> done, Fail fail) = 0;
    // Captures the controls of the bound document without running any of its handlers.
    virtual void read(long token, std::function<void(const SubmitReply&)> done, Fail fail) = 0;
};

} // namespace vedris
