#pragma once
// The main window: the embedded browser on the assessments folder, the menu and its
// actions. The assessment page on screen, its binding to the results storage and the order
// in which the browser's events are handled belong to the page session; the window hands
// the events over and shows what goes wrong.
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "GObjectPtr.h"
#include "printing/uPrinterSettings.h"
#include "session/CandidateTurn.h"
#include "session/PageSession.h"
#include "web/Browser.h"
#include "web/FormFrame.h"
#include "window/PageView.h"

typedef struct _GtkApplication GtkApplication;
typedef struct _GtkWindow GtkWindow;
typedef struct _GtkWidget GtkWidget;
typedef struct _GSimpleActionGroup GSimpleActionGroup;
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
    std::string GetAssessmentFileName(int Index) const {
        return FSession->GetAssessmentFileName(Index);
    }
    // "ResultsDir" + "results.xml".
    std::string GetResultsFileName() const { return FSession->GetResultsFileName(); }

    // Has the bound page submitted and, when its handler accepts, saved; done gets false
    // when no storage manager exists, when the page refused, or when an error was raised
    // (the error reporting has shown it then). Runs after any operation in flight.
    void SaveCurrentPage(std::function<void(bool)> done) {
        FSession->SaveCurrentPage(std::move(done));
    }

    // The application's error reporting: a modal box over the window with the error icon,
    // the message with a full stop added as needed, and one OK button.
    void ShowError(const std::string& message);
    // Runs a handler; whatever it raises goes to ShowError. Returns false when it raised.
    bool RunHandler(const std::function<void()>& handler);

    // ---- Automation: tests and the timing probe drive the window through these. ----
    // Runs the handler of the action named "acSaveTo", "acSend", "acNewCandidate" or "acExit"
    // as its menu item would, also while the action is disabled or missing.
    void RunAction(const std::string& Name);
    web::Browser& Browser() { return *wbrBrowser; }
    const std::vector<std::string>& Assessments() const { return FSession->Assessments(); }
    int CurrentIndex() const { return FSession->CurrentIndex(); }
    bool HasStorageManager() const { return FSession->HasStorageManager(); }
    // An operation is queued or running.
    bool Busy() const { return FSession->Busy(); }
    // The window has been destroyed (FormDestroy ran).
    bool Destroyed() const { return FStage == Stage::Gone; }
    // Every message the error reporting showed, in order.
    const std::vector<std::string>& ReportedErrors() const { return FReportedErrors; }
    // The text of the notice bar above the page; empty while it is hidden.
    std::string Notice() const;
    void CloseNotice();
    const PageSession::Counters& Stats() const { return FSession->Stats(); }
    // The page session (tests watch its saves through it).
    PageSession& Session() { return *FSession; }
    // The window's actions (the "win." group: acSaveTo, acSend, acPrint, acExit, miAbout,
    // closeNotice, acNewCandidate unless NewCandidate=0, and PageView's zoomIn, zoomOut,
    // zoomReset, find) and the menu bar's model.
    GActionGroup* ActionGroup() const;
    // The page's zoom and find bar.
    window::PageView& View() { return *FPageView; }
    GMenuModel* MenuModel() const;

private:
    // Handlers.
    void FormCreate();
    void FormDestroy();
    void FormClose(std::function<void()> done);
    void wbrBrowserBeforeNavigate2(std::shared_ptr<web::NavigationDecision> decision);
    void wbrBrowserNavigateComplete2(const web::FrameEvent& event);
    void wbrBrowserDocumentComplete(const web::FrameEvent& event);
    void acExitExecute();
    // The actions that take the results out; their bodies live in ufrmMainActions.cpp.
    void acSaveToExecute();
    void acSendExecute();
    // Archives the answers and starts afresh for the next candidate, once confirmed.
    void acNewCandidateExecute();
    void StartAfresh(const std::string& archive);

    void ApplyAssessmentMargins(int Index);
    // Moves the focus to the next part of the window (the notice bar, the find bar, the
    // page), which Tab inside the page does not leave.
    void FocusNextPart();

    // Where the window is in its life. Closing waits for the page to be saved; a close
    // whose save failed leaves the window open (Refused), and a second failure in a row
    // asks whether to close without the unsaved answers.
    enum class Stage {
        Made,        // built, not yet presented: errors wait for Show
        Open,        // on screen
        Saving,      // a close waits for the page's save
        Refused,     // on screen; the last close could not save the page
        SavingAgain, // a close after a refused one waits for the save
        Closing,     // the window may go; its destruction is under way
        Gone,        // destroyed (FormDestroy ran)
    };

    // The window's actions, ActionList1 in this order: name, handler (none: the action
    // does nothing) and whether it starts enabled. A menu item or button names one as
    // "win." + name; shortcuts are given in ufrmMain.ui.
    struct WindowAction {
        const char* name;
        void (TfrmMain::*execute)();
        bool enabled;
    };
    static const std::vector<WindowAction>& WindowActions();
    static const WindowAction* FindAction(const std::string& name);

    void BuildComponents(GtkApplication* app);
    void ConnectSession();
    void AddActions();
    void OnFrameEvent(const web::FrameEvent& event);
    bool OnCloseRequest();
    void CloseAfterSave(PageSession::SaveOutcome outcome);
    void CloseWithoutSaving();
    void OnDestroy();
    void OnWebProcessGone();
    // Loads the start page again from the main loop, outside the engine's own signal.
    void ReloadStartPageLater();
    // Shows text in the notice bar above the page, without stopping the candidate.
    void ShowNotice(const std::string& text);

    struct Callbacks;
    friend struct Callbacks;

    // Components. The window, its menu bar (MainMenu1: miFile, miHelp) and the notice bar
    // come from ufrmMain.ui and menus.ui; ActionList1 holds the actions of the menu.
    GtkWindow* FWindow = nullptr;
    std::unique_ptr<web::Browser> wbrBrowser;
    GObjectPtr<GSimpleActionGroup> ActionList1;
    GObjectPtr<GMenuModel> MainMenu1;
    GtkWidget* FNoticeBar = nullptr; // a revealer: the notice and its close button
    GtkWidget* FNoticeLabel = nullptr;
    GtkWidget* FNoticeButton = nullptr;
    std::unique_ptr<window::PageView> FPageView;

    // Private state.
    // The user's page setup as it was at start, written back when the window goes; null
    // until it has been read, so a setup that could not be read is never written over.
    std::unique_ptr<TPrinterSettings> FSavedPageSetup;
    // Carries the margins of the assessment on screen to the store; header and footer stay
    // empty.
    std::unique_ptr<TPrinterSettings> FAssessmentPageSetup;

    std::unique_ptr<web::FormFrame> FFormFrame;
    std::unique_ptr<PageSession> FSession;
    std::unique_ptr<CandidateTurn> FCandidateTurn;

    Stage FStage = Stage::Made;
    // When the web process last ended (monotonic µs), so a page that keeps killing it is
    // not loaded again and again.
    long long FWebProcessGoneAt = 0;
    std::vector<std::string> FPendingErrors;
    std::vector<std::string> FReportedErrors;
    std::shared_ptr<bool> FAlive;
};

// The application's main window; main() creates it.
extern TfrmMain* frmMain;

} // namespace vedris
