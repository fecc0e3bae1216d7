#pragma once
// The main window: the embedded browser on the assessments folder, the menu and its
// actions, recognition of assessment pages, and the binding of each assessment page to
// the results storage.
//
// The browser works asynchronously: a page's controls are read and written by scripts
// whose answers come back later, and a navigation is held while the page is submitted.
// The window therefore runs its browser work as operations, one at a time and in the
// order the events arrived: a navigation, a close or a menu action that arrives while a
// submission is in flight waits for it.
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "QTIDomain/uStorageManager.h"
#include "platform/html/MemoryFormDocument.h"
#include "web/Browser.h"
#include "web/FormFrame.h"
#include "printing/uPrinterSettings.h"

typedef struct _GtkApplication GtkApplication;
typedef struct _GtkWindow GtkWindow;
typedef struct _GtkWidget GtkWidget;
typedef struct _GSimpleAction GSimpleAction;
typedef struct _GSimpleActionGroup GSimpleActionGroup;
typedef struct _GMenu GMenu;
typedef struct _GActionGroup GActionGroup;
typedef struct _GMenuModel GMenuModel;

namespace vedris {

class TfrmMain {
public:
    // Builds the window and its components and runs FormCreate. app may be null (the
    // window then belongs to no application; tests use it so). An error inside FormCreate
    // is reported once the window shows, and the window is still made.
    explicit TfrmMain(GtkApplication* app);
    // Destroys the window when it still exists (FormDestroy runs then).
    ~TfrmMain();
    TfrmMain(const TfrmMain&) = delete;
    TfrmMain& operator=(const TfrmMain&) = delete;

    GtkWindow* Window() const { return FWindow; }
    // Presents the window and shows the errors FormCreate reported.
    void Show();

    // "AssessmentsDir" + FAssessments[Index] + ".xml".
    std::string GetAssessmentFileName(int Index) const;
    // "ResultsDir" + "results.xml".
    std::string GetResultsFileName() const;

    // Has the bound page submitted and, when its handler accepts, saved; done gets false
    // when no storage manager exists, when the page refused, or when an error was raised
    // (the error reporting has shown it then). Runs after any operation in flight.
    void SaveCurrentPage(std::function<void(bool)> done);

    // The application's error reporting: a modal box over the window with the error icon,
    // the message with a full stop added as needed, and one OK button.
    void ShowError(const std::string& message);
    // Runs a handler; whatever it raises goes to ShowError. Returns false when it raised.
    bool RunHandler(const std::function<void()>& handler);

    // ---- Automation: tests and the timing probe drive the window through these. ----
    // Runs the handler of the action named "acSaveTo", "acSend" or "acExit" as its menu
    // item would, also while the action is disabled.
    void RunAction(const std::string& Name);
    web::Browser& Browser() { return *wbrBrowser; }
    const std::vector<std::string>& Assessments() const { return FAssessments; }
    int CurrentIndex() const { return FCurrentIndex; }
    bool HasStorageManager() const { return FStorageManager != nullptr; }
    // An operation is queued or running.
    bool Busy() const { return FRunning || !FQueue.empty(); }
    // The window has been destroyed (FormDestroy ran).
    bool Destroyed() const { return FDestroyed; }
    // Every message the error reporting showed, in order.
    const std::vector<std::string>& ReportedErrors() const { return FReportedErrors; }
    struct Counters {
        int navigated = 0;    // "navigated" reports handled
        int completed = 0;    // "complete" reports handled
        int topCompleted = 0; // of the top-level document
        int bound = 0;        // bindings that filled a form
        int decisions = 0;    // navigations decided
        int ignored = 0;      // of which cancelled
        int submissions = 0;  // SubmitResponses calls
    };
    const Counters& Stats() const { return FStats; }
    // The actions (acSaveTo, acSend, acPrint, acExit, miAbout) and the menu bar's model.
    GActionGroup* ActionGroup() const;
    GMenuModel* MenuModel() const;

private:
    // Handlers.
    void FormCreate();
    void FormDestroy();
    void FormClose(std::function<void()> done);
    void wbrBrowserBeforeNavigate2(std::shared_ptr<web::NavigationDecision> decision);
    void wbrBrowserNavigateComplete2(const std::string& URL);
    void wbrBrowserDocumentComplete(std::function<void()> done);
    void acExitExecute();
    // Next issue's actions; their bodies live in ufrmMainActions.cpp.
    void acSaveToExecute();
    void acSendExecute();

    // Page binding.
    void PrepareResultsFile();
    void BindAssessmentPage(std::function<void()> done);
    void ApplyAssessmentMargins();
    enum class SaveOutcome { Accepted, Refused, Failed };
    void DoSaveCurrentPage(std::function<void(SaveOutcome)> done);
    bool SubmitThroughManager(const nlohmann::json& snapshot, bool verdict);

    // Operations run one at a time.
    using Done = std::function<void()>;
    void Enqueue(std::function<void(Done)> operation);
    void RunQueue();

    void BuildComponents(GtkApplication* app);
    void OnFrameEvent(const web::FrameEvent& event);
    bool OnCloseRequest();
    void OnDestroy();

    struct Callbacks;
    friend struct Callbacks;

    // Components, in declaration order.
    GtkWindow* FWindow = nullptr;
    std::unique_ptr<web::Browser> wbrBrowser;
    GSimpleActionGroup* ActionList1 = nullptr;
    GMenu* MainMenu1 = nullptr;
    GSimpleAction* acExit = nullptr;
    GSimpleAction* acSend = nullptr;
    GMenu* miFile = nullptr;
    GMenu* miHelp = nullptr;
    GSimpleAction* miAbout = nullptr;
    GSimpleAction* acSaveTo = nullptr;
    GSimpleAction* acPrint = nullptr;
    GtkWidget* FMenuBar = nullptr;

    // Private state.
    std::vector<std::string> FAssessments;
    int FCurrentIndex = -1;
    // The in-memory form that FStorageManager binds; it outlives the manager.
    std::unique_ptr<html::MemoryFormDocument> FFormDocument;
    std::unique_ptr<TStorageManager> FStorageManager;
    // The user's page setup as it was at start, written back when the window goes; null
    // until it has been read, so a setup that could not be read is never written over.
    std::unique_ptr<TPrinterSettings> FSavedPageSetup;
    // Carries the margins of the assessment on screen to the store; header and footer stay
    // empty.
    std::unique_ptr<TPrinterSettings> FAssessmentPageSetup;

    // Bridge state.
    std::unique_ptr<web::FormFrame> FFormFrame;
    long FBindToken = 0;  // last token handed out
    long FBoundToken = 0; // token of the document FStorageManager is bound to
    // The controls as captured at the last submission of the bound page that its handler
    // accepted: a submission after the page was left stores them again.
    std::optional<nlohmann::json> FLastAccepted;

    std::deque<std::function<void(Done)>> FQueue;
    bool FRunning = false;
    bool FDispatching = false;
    bool FShown = false;
    bool FClosePending = false;
    bool FCloseAllowed = false;
    bool FCloseFailed = false; // the last close could not save the page
    bool FDestroyed = false;
    std::vector<std::string> FPendingErrors;
    std::vector<std::string> FReportedErrors;
    Counters FStats;
    std::shared_ptr<bool> FAlive;
};

// The application's main window; main() creates it.
extern TfrmMain* frmMain;

} // namespace vedris
