#define G_LOG_DOMAIN "Vedris"

#include "window/ufrmMain.h"

#include <chrono>
#include <cstdlib>
#include <utility>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "ShellTexts.h"
#include "desktop/MessageBox.h"
#include "session/AssessmentList.h"
#include "settings/ViewSettings.h"
#include "settings/uRegistry.h"
#include "web/PrintFrame.h"
#include "window/WindowResources.h"

namespace vedris {

TfrmMain* frmMain = nullptr;

namespace {

std::string Setting(const char* name) {
    return ClientRegistry->GetValue(name);
}

// Runs due once, delay from now, on the main loop.
void StartTimer(std::chrono::milliseconds delay, std::function<void()> due) {
    using Due = std::function<void()>;
    g_timeout_add_full(
        G_PRIORITY_DEFAULT, static_cast<guint>(delay.count()),
        [](gpointer data) -> gboolean {
            (*static_cast<Due*>(data))();
            return G_SOURCE_REMOVE;
        },
        new Due(std::move(due)), [](gpointer data) { delete static_cast<Due*>(data); });
}

// The pause between a change on the page and its draft: a few seconds, or
// VEDRIS_DRAFT_DELAY_MS milliseconds (tests shorten it).
std::chrono::milliseconds DraftDelay() {
    if (const char* text = g_getenv("VEDRIS_DRAFT_DELAY_MS")) {
        char* end = nullptr;
        long ms = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && ms > 0 && ms <= 600000)
            return std::chrono::milliseconds(ms);
    }
    return std::chrono::seconds(5);
}

} // namespace

// GTK and WebKit signal handlers: each enters the window through its error reporting.
struct TfrmMain::Callbacks {
    static void onAction(GSimpleAction* action, GVariant*, gpointer data) {
        auto* self = static_cast<TfrmMain*>(data);
        self->RunAction(g_action_get_name(G_ACTION(action)));
    }

    static gboolean onCloseRequest(GtkWindow*, gpointer data) {
        return static_cast<TfrmMain*>(data)->OnCloseRequest() ? FALSE : TRUE;
    }

    static void onDestroy(GtkWidget*, gpointer data) { static_cast<TfrmMain*>(data)->OnDestroy(); }
};

TfrmMain::TfrmMain(GtkApplication* app) : FAlive(std::make_shared<bool>(true)) {
    BuildComponents(app);
    ConnectSession();
    // The browser prints with the user's page setup, made with defaults on the first start.
    RunHandler([this] { web::AttachPagePrinting(wbrBrowser->view()); });
    RunHandler([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() {
    if (FWindow && FStage != Stage::Gone) {
        FStage = Stage::Closing;
        gtk_window_destroy(FWindow);
    }
    FAlive.reset();
    FSession.reset();
    FCandidateTurn.reset();
    FFormFrame.reset();
    wbrBrowser.reset();
    if (frmMain == this)
        frmMain = nullptr;
}

void TfrmMain::BuildComponents(GtkApplication* app) {
    GObjectPtr<GtkBuilder> builder(window::buildFromResources({"menus.ui", "ufrmMain.ui"}));
    // The toplevel list owns the window; "destroy" tells us when it is gone.
    FWindow = GTK_WINDOW(gtk_builder_get_object(builder.get(), "frmMain"));
    if (app)
        gtk_window_set_application(FWindow, app);
    gtk_window_set_title(FWindow, desktop::ApplicationTitle);
    MainMenu1.reset(G_MENU_MODEL(g_object_ref(gtk_builder_get_object(builder.get(), "MainMenu1"))));
    FNoticeBar = GTK_WIDGET(gtk_builder_get_object(builder.get(), "FNoticeBar"));
    FNoticeLabel = GTK_WIDGET(gtk_builder_get_object(builder.get(), "FNoticeLabel"));
    FNoticeButton = GTK_WIDGET(gtk_builder_get_object(builder.get(), "btnCloseNotice"));
    window::addWindowStyle(gtk_widget_get_display(GTK_WIDGET(FWindow)));

    wbrBrowser = std::make_unique<web::Browser>(Setting("AssessmentsDir"));
    wbrBrowser->setDialogParent(FWindow);
    GtkWidget* view = wbrBrowser->widget();
    gtk_widget_set_hexpand(view, TRUE);
    gtk_widget_set_vexpand(view, TRUE);
    gtk_accessible_update_property(GTK_ACCESSIBLE(view), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   texts::PageViewName, -1);
    gtk_box_append(GTK_BOX(gtk_builder_get_object(builder.get(), "layout")), view);
    FPageView = std::make_unique<window::PageView>(
        wbrBrowser->view(), builder.get(), Setting("Zoom"), SettingIsOn(Setting("SpellCheck")));

    AddActions();
    // Where one computer belongs to one candidate there are no turns, and the menu item
    // that asks for one goes with its action.
    if (Setting("NewCandidate") == "0")
        g_action_map_remove_action(G_ACTION_MAP(ActionList1.get()), "acNewCandidate");
    g_signal_connect(FWindow, "close-request", G_CALLBACK(Callbacks::onCloseRequest), this);
    g_signal_connect(FWindow, "destroy", G_CALLBACK(Callbacks::onDestroy), this);
}

void TfrmMain::AddActions() {
    ActionList1.reset(g_simple_action_group_new());
    for (const WindowAction& entry : WindowActions()) {
        GObjectPtr<GSimpleAction> action(g_simple_action_new(entry.name, nullptr));
        g_simple_action_set_enabled(action.get(), entry.enabled);
        g_signal_connect(action.get(), "activate", G_CALLBACK(Callbacks::onAction), this);
        g_action_map_add_action(G_ACTION_MAP(ActionList1.get()), G_ACTION(action.get()));
    }
    FPageView->addActions(G_ACTION_MAP(ActionList1.get()));
    gtk_widget_insert_action_group(GTK_WIDGET(FWindow), "win", G_ACTION_GROUP(ActionList1.get()));
}

void TfrmMain::ConnectSession() {
    FFormFrame = std::make_unique<web::FormFrame>(*wbrBrowser);
    FSession =
        std::make_unique<PageSession>(*FFormFrame, Setting("AssessmentsDir"), Setting("ResultsDir"),
                                      [this](const std::string& error) { ShowError(error); });
    FSession->SetLog([](const std::string& line) { g_debug("%s", line.c_str()); });
    FSession->onBinding = [this](int index) {
        // A notice about the page before is no news on this one.
        CloseNotice();
        ApplyAssessmentMargins(index);
    };
    // Whatever kept the page from being saved at the last close has gone.
    FSession->onAccepted = [this] {
        if (FStage == Stage::Refused)
            FStage = Stage::Open;
        else if (FStage == Stage::SavingAgain)
            FStage = Stage::Saving;
    };
    FSession->onNotice = [this](const std::string& text) { ShowNotice(text); };
    FSession->onSaveFailed = [this](const std::string& error, std::function<void(bool)> answer) {
        FReportedErrors.push_back(desktop::WithFullStop(error));
        g_message("%s", error.c_str());
        desktop::AskStayOrLeave(FWindow, error, std::move(answer));
    };
    FSession->startTimer = StartTimer;
    FSession->SetDraftDelay(DraftDelay());
    FCandidateTurn = std::make_unique<CandidateTurn>(*FSession);

    wbrBrowser->onBeforeNavigate = [this](std::shared_ptr<web::NavigationDecision> decision) {
        wbrBrowserBeforeNavigate2(std::move(decision));
    };
    wbrBrowser->onFrameEvent = [this](const web::FrameEvent& event) { OnFrameEvent(event); };
    wbrBrowser->onWebProcessGone = [this] { OnWebProcessGone(); };
}

void TfrmMain::Show() {
    if (FStage == Stage::Made)
        FStage = Stage::Open;
    gtk_window_present(FWindow);
    auto pending = std::move(FPendingErrors);
    FPendingErrors.clear();
    for (const auto& message : pending)
        desktop::ShowMessageBox(FWindow, desktop::MessageKind::Error, message);
}

GActionGroup* TfrmMain::ActionGroup() const {
    return G_ACTION_GROUP(ActionList1.get());
}

GMenuModel* TfrmMain::MenuModel() const {
    return G_MENU_MODEL(MainMenu1.get());
}

// ---- Error reporting ----

void TfrmMain::ShowError(const std::string& message) {
    std::string text = desktop::WithFullStop(message);
    FReportedErrors.push_back(text);
    g_message("%s", text.c_str());
    if (FStage == Stage::Gone)
        return;
    if (gtk_widget_in_destruction(GTK_WIDGET(FWindow))) {
        // A box over a window that is going would go with it, unseen.
        desktop::ShowMessageBoxOnItsOwn(desktop::MessageKind::Error, text);
        return;
    }
    if (FStage == Stage::Made) {
        FPendingErrors.push_back(text);
        return;
    }
    desktop::ShowMessageBox(FWindow, desktop::MessageKind::Error, text);
}

bool TfrmMain::RunHandler(const std::function<void()>& handler) {
    return FSession->Guard(handler);
}

void TfrmMain::ShowNotice(const std::string& text) {
    g_message("%s", text.c_str());
    if (Destroyed())
        return;
    gtk_label_set_text(GTK_LABEL(FNoticeLabel), text.c_str());
    gtk_revealer_set_reveal_child(GTK_REVEALER(FNoticeBar), TRUE);
}

void TfrmMain::CloseNotice() {
    if (!Destroyed())
        gtk_revealer_set_reveal_child(GTK_REVEALER(FNoticeBar), FALSE);
}

std::string TfrmMain::Notice() const {
    if (Destroyed() || !gtk_revealer_get_reveal_child(GTK_REVEALER(FNoticeBar)))
        return "";
    return gtk_label_get_text(GTK_LABEL(FNoticeLabel));
}

// ---- Window life ----

void TfrmMain::FormCreate() {
    FAssessmentPageSetup = std::make_unique<TPrinterSettings>();
    auto saved = std::make_unique<TPrinterSettings>();
    saved->LoadFromRegistry();
    FSavedPageSetup = std::move(saved);
    FSession->SetAssessments(ParseAssessmentList(Setting("ClientAssessments")));
    FSession->PrepareResultsFile();
    wbrBrowser->navigate(Setting("AssessmentsDir") + "index.html");
}

void TfrmMain::FormDestroy() {
    if (FSavedPageSetup)
        FSavedPageSetup->SaveToRegistry();
    FSavedPageSetup.reset();
    FAssessmentPageSetup.reset();
    FSession->SetAssessments({});
}

bool TfrmMain::OnCloseRequest() {
    switch (FStage) {
    case Stage::Closing:
    case Stage::Gone:
        return true;
    case Stage::Saving:
    case Stage::SavingAgain:
        return false;
    default:
        break;
    }
    FStage = FStage == Stage::Refused ? Stage::SavingAgain : Stage::Saving;
    FSession->Enqueue([this](PageSession::Done done) { FormClose(std::move(done)); });
    return false;
}

void TfrmMain::FormClose(std::function<void()> done) {
    FSession->SavePage([this, done](PageSession::SaveOutcome outcome) {
        CloseAfterSave(outcome);
        done();
    });
}

// The window closes whatever the page's verdict; an error keeps it open, and the error
// reporting has shown why.
void TfrmMain::CloseAfterSave(PageSession::SaveOutcome outcome) {
    if (FStage == Stage::Gone)
        return;
    const bool again = FStage == Stage::SavingAgain;
    if (outcome != PageSession::SaveOutcome::Failed) {
        FStage = Stage::Closing;
        gtk_window_destroy(FWindow);
        return;
    }
    FStage = Stage::Refused;
    if (again)
        CloseWithoutSaving();
}

// The save has failed again: an error that does not go away (a full disk, a results folder
// gone) must not keep the candidate from ever closing. The choice to give up the unsaved
// answers is theirs.
void TfrmMain::CloseWithoutSaving() {
    desktop::ShowMessageBox(
        FWindow, desktop::MessageKind::Confirm, texts::CloseUnsavedQuestion,
        [this, alive = std::weak_ptr<bool>(FAlive)](const desktop::Answer& answer) {
            if (!answer.ok || alive.expired() || Destroyed())
                return;
            FStage = Stage::Closing;
            gtk_window_destroy(FWindow);
        });
}

void TfrmMain::OnDestroy() {
    if (Destroyed())
        return;
    RunHandler([this] { FormDestroy(); });
    FStage = Stage::Gone;
    FSession->Stop();
    wbrBrowser->setDialogParent(nullptr);
    FWindow = nullptr;
}

void TfrmMain::acExitExecute() {
    gtk_window_close(FWindow);
}

// ---- Browser events ----

void TfrmMain::OnFrameEvent(const web::FrameEvent& event) {
    if (Destroyed())
        return;
    FFormFrame->observe(event);
    if (event.kind == web::FrameEvent::Kind::Navigated)
        wbrBrowserNavigateComplete2(event);
    else if (event.kind == web::FrameEvent::Kind::Complete)
        wbrBrowserDocumentComplete(event);
    else if (event.frameName == web::FormFrameName)
        FSession->PageEdited();
}

void TfrmMain::OnWebProcessGone() {
    if (Destroyed())
        return;
    // Nothing is written from the page that is gone; its last accepted answers stay in
    // results.xml and its draft waits for the candidate's return.
    FSession->PageGone();
    FFormFrame->forget();
    const long long now = g_get_monotonic_time();
    const bool again = FWebProcessGoneAt != 0 && now - FWebProcessGoneAt < 10 * G_USEC_PER_SEC;
    FWebProcessGoneAt = now;
    if (again) {
        // The start page itself seems to bring the process down: loading it once more would
        // only repeat this for ever.
        ShowNotice(texts::WebProcessGoneAgainNotice);
        return;
    }
    ShowNotice(texts::WebProcessGoneNotice);
    ReloadStartPageLater();
}

void TfrmMain::ReloadStartPageLater() {
    struct Reload {
        TfrmMain* self;
        std::weak_ptr<bool> alive;
    };
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* reload = static_cast<Reload*>(data);
            TfrmMain* self = reload->self;
            if (!reload->alive.expired() && !self->Destroyed())
                self->RunHandler([self] {
                    self->wbrBrowser->navigate(Setting("AssessmentsDir") + "index.html");
                });
            return G_SOURCE_REMOVE;
        },
        new Reload{this, FAlive}, [](gpointer data) { delete static_cast<Reload*>(data); });
}

void TfrmMain::wbrBrowserNavigateComplete2(const web::FrameEvent& event) {
    FSession->NavigateComplete(wbrBrowser->recognitionPath(event.url), web::HoldsPage(event));
}

void TfrmMain::wbrBrowserDocumentComplete(const web::FrameEvent& event) {
    const std::chrono::duration<double, std::milli> pageTime(event.pageTimeMs);
    FSession->DocumentComplete(
        event.top,
        std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(pageTime)),
        web::HoldsPage(event));
}

void TfrmMain::wbrBrowserBeforeNavigate2(std::shared_ptr<web::NavigationDecision> decision) {
    if (Destroyed()) {
        decision->ignore();
        return;
    }
    FSession->BeforeNavigate(
        [decision](bool go) { go ? decision->use() : decision->ignore(); },
        PageSession::Destination{wbrBrowser->recognitionPath(decision->url()), decision->url()});
}

} // namespace vedris
