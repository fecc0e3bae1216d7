#pragma once
// The page's form frame as the binding sees it: each operation is one script run in the
// bridge's world of the top document, reaching window.frames[frameName].document.
//
// A capture marks the frame's document as bound under a token; writing back and
// submitting check that the frame still shows that very document, so nothing is written
// into, or submitted from, a page that has replaced it.
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "web/Browser.h"

namespace vedris::web {

inline constexpr const char* FormFrameName = "form_frame";

// The outcome of a submission.
struct SubmitReply {
    // False when the frame no longer shows the document bound under the token; nothing
    // ran then.
    bool displayed = false;
    // The verdict of the page's own submit handlers: false when one cancelled the event.
    bool verdict = false;
    // The controls after the handlers ran (the snapshot format of MemoryFormDocument).
    nlohmann::json snapshot;
};

class FormFrame {
public:
    explicit FormFrame(Browser& browser, std::string frameName = FormFrameName)
        : browser_(browser), frameName_(std::move(frameName)) {}

    // Captures every element with a name attribute of the frame's document, in document
    // order, and binds the document to token. Fails (error callback with the message) when
    // the top document has no such frame or its document cannot be reached.
    void capture(long token, std::function<void(const nlohmann::json& snapshot)> done,
                 std::function<void(const std::string& error)> fail);

    // Writes the changes of a MemoryFormDocument (changes()) into the bound document; the
    // element names of the snapshot guard each write. applied is false when the frame no
    // longer shows the bound document.
    void apply(long token, const nlohmann::json& changes, const nlohmann::json& snapshot,
               std::function<void(bool applied)> done,
               std::function<void(const std::string& error)> fail);

    // Dispatches a cancelable submit event at the first form of the bound document, which
    // runs the page's own handlers, and captures the controls after them.
    void submit(long token, std::function<void(const SubmitReply&)> done,
                std::function<void(const std::string& error)> fail);

    // The scripts themselves (exposed for tests and timing).
    static std::string captureScript(const std::string& frameName, long token);
    static std::string applyScript(const std::string& frameName, long token,
                                   const nlohmann::json& writes);
    static std::string submitScript(const std::string& frameName, long token);

private:
    void run(const std::string& script, std::function<void(const nlohmann::json&)> done,
             std::function<void(const std::string&)> fail);

    Browser& browser_;
    std::string frameName_;
};

} // namespace vedris::web
