#define G_LOG_DOMAIN "Vedris"

#include "window/ufrmMain.h"

#include <chrono>
#include <cstdlib>
#include <utility>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "desktop/MessageBox.h"
#include "session/AssessmentList.h"
#include "settings/uRegistry.h"
#include "web/PrintFrame.h"
#include "window/Texts.h"

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
        if (action == self->acExit.get())
            self->RunHandler([self] { self->acExitExecute(); });
        else if (action == self->acSaveTo.get())
            self->RunHandler([self] { self->acSaveToExecute(); });
        else if (action == self->acSend.get())
            self->RunHandler([self] { self->acSendExecute(); });
        else if (action == self->acNewCandidate.get())
            self->RunHandler([self] { self->acNewCandidateExecute(); });
        // miAbout: the About item does nothing.
    }

    static gboolean onCloseRequest(GtkWindow*, gpointer data) {
        return static_cast<TfrmMain*>(data)->OnCloseRequest() ? FALSE : TRUE;
    }

    static void onDestroy(GtkWidget*, gpointer data) { static_cast<TfrmMain*>(data)->OnDestroy(); }

    static void onNoticeClose(GtkButton*, gpointer data) {
        static_cast<TfrmMain*>(data)->CloseNotice();
    }
};

TfrmMain::TfrmMain(GtkApplication* app) : FAlive(std::make_shared<bool>(true)) {
    BuildComponents(app);
    // The browser prints with the user's page setup, made with defaults on the first start.
    RunHandler([this] { web::AttachPagePrinting(wbrBrowser->view()); });
    RunHandler([this] { FormCreate(); });
}

TfrmMain::~TfrmMain() {
    if (FWindow && !FDestroyed) {
        FCloseAllowed = true;
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
    // The toplevel list owns the window; "destroy" tells us when it is gone.
    FWindow = GTK_WINDOW(gtk_window_new());
    if (app)
        gtk_window_set_application(FWindow, app);
    gtk_window_set_title(FWindow, desktop::ApplicationTitle);
    gtk_window_set_default_size(FWindow, 810, 588);
    gtk_window_set_resizable(FWindow, TRUE);

    wbrBrowser = std::make_unique<web::Browser>(Setting("AssessmentsDir"));
    wbrBrowser->setDialogParent(FWindow);
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
    FSession->onAccepted = [this] { FCloseFailed = false; };
    FSession->onNotice = [this](const std::string& text) { ShowNotice(text); };
    FSession->startTimer = StartTimer;
    FSession->SetDraftDelay(DraftDelay());
    FCandidateTurn = std::make_unique<CandidateTurn>(*FSession);

    // Actions: the menu items follow their enabled state.
    ActionList1.reset(g_simple_action_group_new());
    auto makeAction = [this](GObjectPtr<GSimpleAction>& action, const char* name, bool enabled) {
        action.reset(g_simple_action_new(name, nullptr));
        g_simple_action_set_enabled(action.get(), enabled);
        g_signal_connect(action.get(), "activate", G_CALLBACK(Callbacks::onAction), this);
        g_action_map_add_action(G_ACTION_MAP(ActionList1.get()), G_ACTION(action.get()));
    };
    makeAction(acSaveTo, "acSaveTo", true);
    // Sending is made disabled and nothing enables it.
    makeAction(acSend, "acSend", false);
    // An action without a handler shows disabled.
    makeAction(acPrint, "acPrint", false);
    makeAction(acExit, "acExit", true);
    // An installation where one computer belongs to one candidate has no turns.
    const bool turns = Setting("NewCandidate") != "0";
    makeAction(acNewCandidate, "acNewCandidate", turns);
    makeAction(miAbout, "miAbout", true);
    gtk_widget_insert_action_group(GTK_WIDGET(FWindow), "win", G_ACTION_GROUP(ActionList1.get()));

    // Sections draw the separators N6 and N4.
    MainMenu1.reset(g_menu_new());
    miFile.reset(g_menu_new());
    auto section = [this](std::initializer_list<std::pair<const char*, const char*>> items) {
        GObjectPtr<GMenu> menu(g_menu_new());
        for (const auto& [label, action] : items)
            g_menu_append(menu.get(), label, action);
        g_menu_append_section(miFile.get(), nullptr, G_MENU_MODEL(menu.get()));
    };
    if (turns)
        section({{texts::MenuNewCandidate, "win.acNewCandidate"}});
    section({{texts::MenuSaveTo, "win.acSaveTo"}, {texts::MenuSend, "win.acSend"}});
    section({{texts::MenuPrint, "win.acPrint"}});
    section({{texts::MenuExit, "win.acExit"}});
    g_menu_append_submenu(MainMenu1.get(), texts::MenuFile, G_MENU_MODEL(miFile.get()));
    miHelp.reset(g_menu_new());
    g_menu_append(miHelp.get(), texts::MenuAbout, "win.miAbout");
    g_menu_append_submenu(MainMenu1.get(), texts::MenuHelp, G_MENU_MODEL(miHelp.get()));

    FMenuBar = gtk_popover_menu_bar_new_from_model(G_MENU_MODEL(MainMenu1.get()));
    GtkWidget* layout = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_append(GTK_BOX(layout), FMenuBar);

    // The notice bar: news the candidate may read and close, above the page.
    GObjectPtr<GtkCssProvider> css(gtk_css_provider_new());
    gtk_css_provider_load_from_data(
        css.get(), ".vedris-notice { background: #fdf3c8; border-bottom: 1px solid #d8c477; }", -1);
    gtk_style_context_add_provider_for_display(gtk_widget_get_display(GTK_WIDGET(FWindow)),
                                               GTK_STYLE_PROVIDER(css.get()),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    FNoticeBar = gtk_revealer_new();
    GtkWidget* bar = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_add_css_class(bar, "vedris-notice");
    FNoticeLabel = gtk_label_new("");
    gtk_label_set_wrap(GTK_LABEL(FNoticeLabel), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(FNoticeLabel), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_xalign(GTK_LABEL(FNoticeLabel), 0);
    gtk_label_set_selectable(GTK_LABEL(FNoticeLabel), TRUE);
    gtk_widget_set_hexpand(FNoticeLabel, TRUE);
    gtk_widget_set_margin_start(FNoticeLabel, 10);
    gtk_widget_set_margin_top(FNoticeLabel, 6);
    gtk_widget_set_margin_bottom(FNoticeLabel, 6);
    GtkWidget* close = gtk_button_new_with_label(texts::CloseNoticeButton);
    gtk_widget_set_tooltip_text(close, texts::CloseNotice);
    gtk_widget_set_valign(close, GTK_ALIGN_CENTER);
    gtk_widget_set_margin_end(close, 10);
    g_signal_connect(close, "clicked", G_CALLBACK(Callbacks::onNoticeClose), this);
    gtk_box_append(GTK_BOX(bar), FNoticeLabel);
    gtk_box_append(GTK_BOX(bar), close);
    gtk_revealer_set_child(GTK_REVEALER(FNoticeBar), bar);
    gtk_revealer_set_reveal_child(GTK_REVEALER(FNoticeBar), FALSE);
    gtk_box_append(GTK_BOX(layout), FNoticeBar);

    GtkWidget* view = wbrBrowser->widget();
    gtk_widget_set_hexpand(view, TRUE);
    gtk_widget_set_vexpand(view, TRUE);
    gtk_box_append(GTK_BOX(layout), view);
    gtk_window_set_child(FWindow, layout);

    g_signal_connect(FWindow, "close-request", G_CALLBACK(Callbacks::onCloseRequest), this);
    g_signal_connect(FWindow, "destroy", G_CALLBACK(Callbacks::onDestroy), this);

    wbrBrowser->onBeforeNavigate = [this](std::shared_ptr<web::NavigationDecision> decision) {
        wbrBrowserBeforeNavigate2(std::move(decision));
    };
    wbrBrowser->onFrameEvent = [this](const web::FrameEvent& event) { OnFrameEvent(event); };
    wbrBrowser->onWebProcessGone = [this] { OnWebProcessGone(); };
}

void TfrmMain::Show() {
    FShown = true;
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
    if (FDestroyed)
        return;
    if (gtk_widget_in_destruction(GTK_WIDGET(FWindow))) {
        // A box over a window that is going would go with it, unseen.
        desktop::ShowMessageBoxOnItsOwn(desktop::MessageKind::Error, text);
        return;
    }
    if (!FShown) {
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
    if (FDestroyed)
        return;
    gtk_label_set_text(GTK_LABEL(FNoticeLabel), text.c_str());
    gtk_revealer_set_reveal_child(GTK_REVEALER(FNoticeBar), TRUE);
}

void TfrmMain::CloseNotice() {
    if (!FDestroyed)
        gtk_revealer_set_reveal_child(GTK_REVEALER(FNoticeBar), FALSE);
}

std::string TfrmMain::Notice() const {
    if (FDestroyed || !gtk_revealer_get_reveal_child(GTK_REVEALER(FNoticeBar)))
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
    if (FCloseAllowed)
        return true;
    if (!FClosePending) {
        FClosePending = true;
        FSession->Enqueue([this](PageSession::Done done) {
            FormClose([this, done] {
                FClosePending = false;
                done();
            });
        });
    }
    return false;
}

void TfrmMain::FormClose(std::function<void()> done) {
    FSession->SavePage([this, done](PageSession::SaveOutcome outcome) {
        // The window closes whatever the page's verdict; an error keeps it open, and the
        // error reporting has shown why.
        if (outcome != PageSession::SaveOutcome::Failed) {
            FCloseFailed = false;
            FCloseAllowed = true;
            gtk_window_destroy(FWindow);
        } else if (!FCloseFailed) {
            FCloseFailed = true;
        } else {
            // The save has failed again: an error that does not go away (a full disk, a
            // results folder gone) must not keep the candidate from ever closing. The
            // choice to give up the unsaved answers is theirs.
            desktop::ShowMessageBox(
                FWindow, desktop::MessageKind::Confirm, texts::CloseUnsavedQuestion,
                [this, alive = std::weak_ptr<bool>(FAlive)](const desktop::Answer& answer) {
                    if (!answer.ok || alive.expired() || FDestroyed)
                        return;
                    FCloseAllowed = true;
                    gtk_window_destroy(FWindow);
                });
        }
        done();
    });
}

void TfrmMain::OnDestroy() {
    if (FDestroyed)
        return;
    RunHandler([this] { FormDestroy(); });
    FDestroyed = true;
    FSession->Stop();
    wbrBrowser->setDialogParent(nullptr);
    FWindow = nullptr;
}

void TfrmMain::acExitExecute() {
    gtk_window_close(FWindow);
}

// ---- Files ----

std::string TfrmMain::GetAssessmentFileName(int Index) const {
    return FSession->GetAssessmentFileName(Index);
}

std::string TfrmMain::GetResultsFileName() const {
    return FSession->GetResultsFileName();
}

void TfrmMain::SaveCurrentPage(std::function<void(bool)> done) {
    FSession->SaveCurrentPage(std::move(done));
}

// ---- Browser events ----

void TfrmMain::OnFrameEvent(const web::FrameEvent& event) {
    if (FDestroyed)
        return;
    if (event.kind == web::FrameEvent::Kind::Navigated)
        wbrBrowserNavigateComplete2(event.url);
    else if (event.kind == web::FrameEvent::Kind::Complete)
        wbrBrowserDocumentComplete(event);
    else if (event.frameName == web::FormFrameName)
        FSession->PageEdited();
}

void TfrmMain::OnWebProcessGone() {
    if (FDestroyed)
        return;
    // Nothing is written from the page that is gone; its last accepted answers stay in
    // results.xml and its draft waits for the candidate's return.
    FSession->PageGone();
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
    // Loaded from the main loop, outside the engine's own signal.
    struct Reload {
        TfrmMain* self;
        std::weak_ptr<bool> alive;
    };
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer data) -> gboolean {
            auto* reload = static_cast<Reload*>(data);
            TfrmMain* self = reload->self;
            if (!reload->alive.expired() && !self->FDestroyed)
                self->RunHandler([self] {
                    self->wbrBrowser->navigate(Setting("AssessmentsDir") + "index.html");
                });
            return G_SOURCE_REMOVE;
        },
        new Reload{this, FAlive}, [](gpointer data) { delete static_cast<Reload*>(data); });
}

void TfrmMain::wbrBrowserNavigateComplete2(const std::string& URL) {
    FSession->NavigateComplete(wbrBrowser->recognitionPath(URL));
}

void TfrmMain::wbrBrowserDocumentComplete(const web::FrameEvent& event) {
    const std::chrono::duration<double, std::milli> pageTime(event.pageTimeMs);
    FSession->DocumentComplete(
        event.top, std::chrono::system_clock::time_point(
                       std::chrono::duration_cast<std::chrono::system_clock::duration>(pageTime)));
}

void TfrmMain::wbrBrowserBeforeNavigate2(std::shared_ptr<web::NavigationDecision> decision) {
    if (FDestroyed) {
        decision->ignore();
        return;
    }
    FSession->BeforeNavigate([decision](bool go) { go ? decision->use() : decision->ignore(); });
}

} // namespace vedris
