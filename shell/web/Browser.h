#pragma once
// The embedded browser: a WebKitWebView that shows the assessments folder through its own
// URI scheme, reports every frame's navigations and loads, holds every navigation until
// its owner decides, runs the bridge's scripts out of the pages' reach, and shows page
// dialogs as the program's own boxes.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "GObjectPtr.h"
#include "web/AssessmentScheme.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _GtkWindow GtkWindow;
typedef struct _WebKitWebView WebKitWebView;
typedef struct _WebKitPolicyDecision WebKitPolicyDecision;
typedef struct _WebKitUserScript WebKitUserScript;

namespace vedris::web {

// Name of the script world in which the bridge's scripts and message handler live. Page
// scripts run in the default world and cannot see it.
inline constexpr const char* BridgeWorld = "vedris-bridge";

// The frame right below the top level that holds the assessment page.
inline constexpr const char* FormFrameName = "form_frame";

// A navigation that is about to start, held until use() or ignore(). A decision left
// undecided is ignored when the last reference goes, so the page stays.
class NavigationDecision {
public:
    explicit NavigationDecision(WebKitPolicyDecision* decision); // takes a reference
    ~NavigationDecision();
    NavigationDecision(const NavigationDecision&) = delete;
    NavigationDecision& operator=(const NavigationDecision&) = delete;

    // The URL the navigation goes to.
    const std::string& url() const { return url_; }
    bool decided() const { return decided_; }
    // Let it go ahead / cancel it. Only the first call counts.
    void use();
    void ignore();

private:
    GObjectPtr<WebKitPolicyDecision> decision_;
    std::string url_;
    bool decided_ = false;
};

// What a frame's document reports: "navigated" when a document starts (the navigation has
// completed and the new document is coming in), "complete" when its load event fired,
// "edited" when the candidate changed one of its controls (input and change events).
struct FrameEvent {
    enum class Kind { Navigated, Complete, Edited };
    Kind kind = Kind::Navigated;
    std::string url;       // location.href of the frame's document
    bool top = false;      // the top-level document
    bool nested = false;   // a frame inside a frame (not directly below the top level)
    std::string frameName; // window.name of the frame
    double pageTimeMs = 0; // Date.now() in the page when it happened
    // With "complete" of the frame FormFrameName: the form of its document as the page's
    // load and pageshow handlers left it (snapshot.js), and the id that binds that
    // document; filledBy, the id of the staged writes it put on its controls right after
    // the form was taken (FormFrame::stage), -1 when writing them failed part way, 0 when
    // it wrote none. Null, empty and 0 for every other report.
    nlohmann::json form;
    std::string document;
    long filledBy = 0;
};

// The outcome of a script: its value as text (the bridge's scripts return JSON text), or
// the message of what it raised.
struct ScriptResult {
    bool ok = false;
    std::string value;
    std::string error;
    // The value; raises web::Error with the script's message when it failed.
    const std::string& get() const;
};

class Browser {
public:
    // A browser on the assessments folder: its own web context with the scheme, an
    // ephemeral network session (nothing the pages store outlives the run: the answers
    // live in results.xml only), the frame-event script and handler in BridgeWorld.
    explicit Browser(const std::string& assessmentsFolder);
    ~Browser();
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    GtkWidget* widget() const;
    WebKitWebView* view() const { return view_.get(); }
    const AssessmentFolder& folder() const { return folder_; }

    // Loads a file of the assessments folder (its scheme URL). Raises Error for a path
    // outside the folder.
    void navigate(const std::string& filePath);
    // Loads any URL as it stands.
    void loadUrl(const std::string& url);
    // The URL of the top-level document.
    std::string url() const;

    // The path a URL stands for when it is one of the folder's URLs, else the URL itself:
    // what page recognition reads the file name from. None for a folder URL whose file is
    // not served: the frame then shows the "not found" page, which is no assessment page.
    std::optional<std::string> recognitionPath(const std::string& url) const;

    // Parent window of the boxes that show a page's alert, confirm and prompt.
    void setDialogParent(GtkWindow* parent) { dialogParent_ = parent; }

    // Every navigation of the top level or of any frame (links, form submissions, script,
    // history, loads started here). Without a handler navigations go ahead.
    std::function<void(std::shared_ptr<NavigationDecision>)> onBeforeNavigate;
    // Every frame's "navigated", "complete" and "edited", in the order the pages report them.
    std::function<void(const FrameEvent&)> onFrameEvent;
    // The web process has ended (crashed, killed, out of memory): the view is blank. Scripts
    // that were running then fail with the program's own message.
    std::function<void()> onWebProcessGone;

    // Runs a script in BridgeWorld in the top-level document. done gets the result on the
    // user-interface thread; it is not called once the browser is destroyed.
    void evaluate(const std::string& script, std::function<void(const ScriptResult&)> done);
    // Runs body as the body of a function of one string argument, argName, in BridgeWorld in
    // the top-level document; done as for evaluate.
    void call(const std::string& body, const char* argName, const std::string& argValue,
              std::function<void(const ScriptResult&)> done);
    // A script run in BridgeWorld at the start of every document of every frame from now
    // on, after the frame-event script, until it is replaced; an empty one removes it.
    void setStartScript(const std::string& source);
    // The same in the pages' own world, as a page script would run (tests drive pages
    // with it).
    void evaluateInPage(const std::string& script, std::function<void(const ScriptResult&)> done);

    struct Impl;

private:
    void evaluateIn(const char* world, const std::string& script,
                    std::function<void(const ScriptResult&)> done);

    AssessmentFolder folder_;
    GObjectPtr<WebKitWebView> view_;
    GtkWindow* dialogParent_ = nullptr;
    WebKitUserScript* startScript_ = nullptr;
    std::shared_ptr<bool> alive_;
    long processGeneration_ = 0; // bumped whenever the web process ends
};

} // namespace vedris::web
