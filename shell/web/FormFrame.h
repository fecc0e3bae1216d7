#pragma once
// The page's form frame as the page session sees it: each operation is one run of
// scripts/form-frame.js in the bridge's world of the top document, reaching
// window.frames[frameName].document.
//
// A capture marks the frame's document as bound under a token; writing back and
// submitting check that the frame still shows that very document, so nothing is written
// into, or submitted from, a page that has replaced it.
//
// The frame's document sends its form with its load report (observe): the capture that
// follows answers with it at once instead of asking the page, and the first operation under
// its token binds that document, when the frame still shows it.
//
// A binding worked out before the page arrives (stage) travels in a start script that lays
// it beside the document the navigation brings into the frame; frame-events.js writes it
// on the controls at the load event when the form is still the one it was worked out for,
// and the load report says so.
#include <functional>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "session/PageFrame.h"
#include "web/Browser.h"

namespace vedris::web {

// The document reported holds the assessment page: the top level's, or that of the frame
// "form_frame" right below it (not a frame inside the page, nor another frame beside it).
inline bool HoldsPage(const FrameEvent& event) {
    return event.top || (!event.nested && event.frameName == FormFrameName);
}

using vedris::SubmitReply;

class FormFrame : public PageFrame {
public:
    explicit FormFrame(Browser& browser, std::string frameName = FormFrameName)
        : browser_(browser), frameName_(std::move(frameName)) {}

    // Captures every element with a name attribute of the frame's document, in document
    // order, and binds the document to token. Fails (error callback with the message) when
    // the top document has no such frame or its document cannot be reached.
    void capture(long token, std::function<void(const Capture&)> done, Fail fail) override;
    bool stage(long id, const std::string& url, const nlohmann::json& form,
               const nlohmann::json& changes) override;
    void unstage() override;

    // Writes the changes of a MemoryFormDocument (changes()) into the bound document; the
    // element names of the snapshot guard each write. applied is false when the frame no
    // longer shows the bound document.
    void apply(long token, const nlohmann::json& changes, const nlohmann::json& snapshot,
               std::function<void(bool applied)> done, Fail fail) override;

    // Dispatches a cancelable submit event at the first form of the bound document, which
    // runs the page's own handlers, and captures the controls after them.
    void submit(long token, std::function<void(const SubmitReply&)> done, Fail fail) override;
    // Captures the controls of the bound document; none of its handlers runs.
    void read(long token, std::function<void(const SubmitReply&)> done, Fail fail) override;

    // Every report of the browser's frames, in their order: the form frame's load report
    // with its form is kept for the next capture; a new document in the frame, or in the
    // top level, drops it; such a new document has also had the start script that offers
    // a staged binding, which goes then.
    void observe(const FrameEvent& event);
    // The page's process has ended: what it reported is no longer on screen.
    void forget() {
        reported_.reset();
        dropStartScript();
    }

private:
    void dropStartScript();
    // Runs one operation of form-frame.js with request (frameName and token added).
    void run(nlohmann::json request, std::function<void(const nlohmann::json&)> done, Fail fail);

    Browser& browser_;
    std::string frameName_;
    struct Report {
        std::string document;
        nlohmann::json form;
        long filledBy = 0;
    };
    bool staged_ = false; // the start script offers a binding
    std::optional<Report> reported_;
    // The token a reported document was captured under, and its id, which the page checks
    // when it binds the document.
    long adoptToken_ = 0;
    std::string adoptDocument_;
};

} // namespace vedris::web
