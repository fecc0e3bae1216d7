#define G_LOG_DOMAIN "Vedris"

#include "window/ufrmMain.h"

#include <chrono>
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
        // miAbout: the About item does nothing.
    }

    static gboolean onCloseRequest(GtkWindow*, gpointer data) {
        return static_cast<TfrmMain*>(data)->OnCloseRequest() ? FALSE : TRUE;
    }

    static void onDestroy(GtkWidget*, gpointer data) { static_cast<TfrmMain*>(data)->OnDestroy(); }
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
    FSession->onBinding = [this](int index) { ApplyAssessmentMargins(index); };
    // Whatever kept the page from being saved at the last close has gone.
    FSession->onAccepted = [this] { FCloseFailed = false; };

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
    else
        wbrBrowserDocumentComplete(event);
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
