#define G_LOG_DOMAIN "Vedris"

#include "window/ufrmMain.h"

#include <filesystem>
#include <utility>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "desktop/MessageBox.h"
#include "platform/xml/XmlDocument.h"
#include "session/AssessmentList.h"
#include "settings/uRegistry.h"
#include "web/PrintFrame.h"

namespace vedris {

TfrmMain* frmMain = nullptr;

namespace {

double nowMs() {
    return static_cast<double>(g_get_monotonic_time()) / 1000.0;
}
double wallMs() {
    return static_cast<double>(g_get_real_time()) / 1000.0;
}

const char* const CloseUnsavedQuestion = "Відповіді на сторінці знову не вдалося зберегти.\n"
                                         "Закрити програму без збереження цих відповідей?";

std::string Setting(const char* name) {
    return ClientRegistry->GetValue(name);
}

} // namespace

// GTK and WebKit signal handlers: each enters the window through its error reporting.
struct TfrmMain::Callbacks {
    static void onAction(GSimpleAction* action, GVariant*, gpointer data) {
        auto* self = static_cast<TfrmMain*>(data);
        if (action == self->acExit)
            self->RunHandler([self] { self->acExitExecute(); });
        else if (action == self->acSaveTo)
            self->RunHandler([self] { self->acSaveToExecute(); });
        else if (action == self->acSend)
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
    FQueue.clear();
    FStorageManager.reset();
    FFormDocument.reset();
    FFormFrame.reset();
    wbrBrowser.reset();
    if (ActionList1)
        g_object_unref(ActionList1);
    for (GSimpleAction* action : {acExit, acSend, miAbout, acSaveTo, acPrint})
        if (action)
            g_object_unref(action);
    for (GMenu* menu : {MainMenu1, miFile, miHelp})
        if (menu)
            g_object_unref(menu);
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

    // Actions: the menu items follow their enabled state.
    ActionList1 = g_simple_action_group_new();
    auto makeAction = [this](const char* name, bool enabled) {
        GSimpleAction* action = g_simple_action_new(name, nullptr);
        g_simple_action_set_enabled(action, enabled);
        g_signal_connect(action, "activate", G_CALLBACK(Callbacks::onAction), this);
        g_action_map_add_action(G_ACTION_MAP(ActionList1), G_ACTION(action));
        return action;
    };
    acSaveTo = makeAction("acSaveTo", true);
    // Sending is made disabled and nothing enables it.
    acSend = makeAction("acSend", false);
    // An action without a handler shows disabled.
    acPrint = makeAction("acPrint", false);
    acExit = makeAction("acExit", true);
    miAbout = makeAction("miAbout", true);
    gtk_widget_insert_action_group(GTK_WIDGET(FWindow), "win", G_ACTION_GROUP(ActionList1));

    // Sections draw the separators N6 and N4.
    MainMenu1 = g_menu_new();
    miFile = g_menu_new();
    GMenu* saving = g_menu_new();
    g_menu_append(saving, "Зберегти анкетні дані", "win.acSaveTo");
    g_menu_append(saving, "Відправити дані поштою", "win.acSend");
    g_menu_append_section(miFile, nullptr, G_MENU_MODEL(saving));
    g_object_unref(saving);
    GMenu* printing = g_menu_new();
    g_menu_append(printing, "Друкувати", "win.acPrint");
    g_menu_append_section(miFile, nullptr, G_MENU_MODEL(printing));
    g_object_unref(printing);
    GMenu* leaving = g_menu_new();
    g_menu_append(leaving, "Вихід", "win.acExit");
    g_menu_append_section(miFile, nullptr, G_MENU_MODEL(leaving));
    g_object_unref(leaving);
    g_menu_append_submenu(MainMenu1, "Файл", G_MENU_MODEL(miFile));
    miHelp = g_menu_new();
    g_menu_append(miHelp, "Про програму", "win.miAbout");
    g_menu_append_submenu(MainMenu1, "Допомога", G_MENU_MODEL(miHelp));

    FMenuBar = gtk_popover_menu_bar_new_from_model(G_MENU_MODEL(MainMenu1));
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
    return G_ACTION_GROUP(ActionList1);
}

GMenuModel* TfrmMain::MenuModel() const {
    return G_MENU_MODEL(MainMenu1);
}

// ---- Error reporting ----

void TfrmMain::ShowError(const std::string& message) {
    std::string text = desktop::WithFullStop(message);
    FReportedErrors.push_back(text);
    g_message("%s", text.c_str());
    if (FDestroyed)
        return;
    if (!FShown) {
        FPendingErrors.push_back(text);
        return;
    }
    desktop::ShowMessageBox(FWindow, desktop::MessageKind::Error, text);
}

bool TfrmMain::RunHandler(const std::function<void()>& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        ShowError(e.what());
    } catch (...) {
        ShowError("Невідома помилка");
    }
    return false;
}

// ---- Operations ----

void TfrmMain::Enqueue(std::function<void(Done)> operation) {
    FQueue.push_back(std::move(operation));
    RunQueue();
}

void TfrmMain::RunQueue() {
    // An operation that finishes at once calls done inside this loop; the loop then picks
    // up the next one instead of recursing.
    if (FDispatching)
        return;
    FDispatching = true;
    while (!FRunning && !FQueue.empty() && !FDestroyed) {
        auto operation = std::move(FQueue.front());
        FQueue.pop_front();
        FRunning = true;
        auto finished = std::make_shared<bool>(false);
        std::weak_ptr<bool> alive = FAlive;
        Done done = [this, finished, alive] {
            if (*finished || alive.expired())
                return;
            *finished = true;
            FRunning = false;
            RunQueue();
        };
        if (!RunHandler([&] { operation(done); }))
            done();
    }
    FDispatching = false;
}

// ---- Window life ----

void TfrmMain::FormCreate() {
    FAssessmentPageSetup = std::make_unique<TPrinterSettings>();
    auto saved = std::make_unique<TPrinterSettings>();
    saved->LoadFromRegistry();
    FSavedPageSetup = std::move(saved);
    FAssessments = ParseAssessmentList(Setting("ClientAssessments"));
    FCurrentIndex = -1;
    PrepareResultsFile();
    wbrBrowser->navigate(Setting("AssessmentsDir") + "index.html");
}

void TfrmMain::FormDestroy() {
    if (FSavedPageSetup)
        FSavedPageSetup->SaveToRegistry();
    FSavedPageSetup.reset();
    FAssessmentPageSetup.reset();
    FAssessments.clear();
}

bool TfrmMain::OnCloseRequest() {
    if (FCloseAllowed)
        return true;
    if (!FClosePending) {
        FClosePending = true;
        Enqueue([this](Done done) {
            FormClose([this, done] {
                FClosePending = false;
                done();
            });
        });
    }
    return false;
}

void TfrmMain::FormClose(std::function<void()> done) {
    DoSaveCurrentPage([this, done](SaveOutcome outcome) {
        // The window closes whatever the page's verdict; an error keeps it open, and the
        // error reporting has shown why.
        if (outcome != SaveOutcome::Failed) {
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
                FWindow, desktop::MessageKind::Confirm, CloseUnsavedQuestion,
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
    FQueue.clear();
    wbrBrowser->setDialogParent(nullptr);
    FWindow = nullptr;
}

void TfrmMain::acExitExecute() {
    gtk_window_close(FWindow);
}

// ---- Files ----

std::string TfrmMain::GetAssessmentFileName(int Index) const {
    // The list holds lower-cased names; a file shipped with capitals is still found, as it
    // would be on a file system that ignores case. An entry with a folder in it is refused.
    return AssessmentFileFor(Setting("AssessmentsDir"),
                             FAssessments.at(static_cast<std::size_t>(Index)));
}

std::string TfrmMain::GetResultsFileName() const {
    return Setting("ResultsDir") + "results.xml";
}

void TfrmMain::PrepareResultsFile() {
    const std::string results = GetResultsFileName();
    std::error_code ec;
    if (std::filesystem::exists(results, ec))
        return;
    // A fresh installation has no results folder yet.
    const std::string folder = Setting("ResultsDir");
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw std::runtime_error("Не вдалося створити папку результатів " + folder + ": " +
                                 ec.message());
    xml::Document doc = xml::Document::create();
    doc.createDocumentElement("qti_result_report");
    doc.setDeclaration("1.0", "UTF-8");
    doc.save(results);
    // Each manager derives its assessment's skeleton and saves the file, so the new file
    // holds them in list order; a name listed twice finds its skeleton already there. One
    // assessment that cannot be read is reported and keeps none of the others from theirs.
    for (std::size_t i = 0; i < FAssessments.size(); ++i)
        RunHandler(
            [&] { TStorageManager(GetAssessmentFileName(static_cast<int>(i)), results, nullptr); });
}

// ---- Browser events ----

void TfrmMain::OnFrameEvent(const web::FrameEvent& event) {
    if (FDestroyed)
        return;
    const double received = nowMs();
    const double lag = wallMs() - event.pageTimeMs;
    if (event.kind == web::FrameEvent::Kind::Navigated) {
        Enqueue([this, url = event.url](Done done) {
            wbrBrowserNavigateComplete2(url);
            done();
        });
        return;
    }
    Enqueue([this, event, received, lag](Done done) {
        ++FStats.completed;
        if (event.top) {
            if (++FStats.topCompleted == 1)
                g_debug("timing: start page loaded at %.0f ms (wall clock)", wallMs());
        }
        wbrBrowserDocumentComplete([this, done, received, lag, bound = FStats.bound] {
            if (FStats.bound > bound)
                g_debug("timing: form filled %.1f ms after the load event (%.1f ms after its "
                        "report arrived)",
                        nowMs() - received + lag, nowMs() - received);
            done();
        });
    });
}

void TfrmMain::wbrBrowserNavigateComplete2(const std::string& URL) {
    ++FStats.navigated;
    FCurrentIndex = IndexOfName(FAssessments, PageNameFromPath(wbrBrowser->recognitionPath(URL)));
}

void TfrmMain::wbrBrowserDocumentComplete(std::function<void()> done) {
    if (FCurrentIndex >= 0) {
        BindAssessmentPage(std::move(done));
        return;
    }
    done();
}

void TfrmMain::wbrBrowserBeforeNavigate2(std::shared_ptr<web::NavigationDecision> decision) {
    if (FDestroyed) {
        decision->ignore();
        return;
    }
    const double requested = nowMs();
    Enqueue([this, decision, requested](Done done) {
        const bool saving = FCurrentIndex >= 0 && FStorageManager;
        auto decide = [this, decision, requested, done, saving](bool go) {
            if (go) {
                decision->use();
            } else {
                decision->ignore();
                ++FStats.ignored;
            }
            ++FStats.decisions;
            g_debug("timing: navigation %s in %.1f ms%s", go ? "allowed" : "cancelled",
                    nowMs() - requested, saving ? " with the submission" : "");
            done();
        };
        if (FCurrentIndex < 0) {
            decide(true);
            return;
        }
        // An error leaves the page where it is: going on would drop the answers that
        // could not be saved.
        DoSaveCurrentPage(
            [decide](SaveOutcome outcome) { decide(outcome == SaveOutcome::Accepted); });
    });
}

// ---- Binding ----

void TfrmMain::BindAssessmentPage(std::function<void()> done) {
    // An error in any step is reported and ends the binding; done runs all the same.
    try {
        ApplyAssessmentMargins();
        FStorageManager.reset();
        FFormDocument.reset();
        FLastAccepted.reset();
        FBoundToken = 0;
        const std::string results = GetResultsFileName();
        const long token = ++FBindToken;
        const int index = FCurrentIndex;
        auto fail = [this, done](const std::string& error) {
            ShowError(error);
            done();
        };
        FFormFrame->capture(
            token,
            [this, done, fail, results, token, index](const nlohmann::json& snapshot) {
                bool ok = RunHandler([&] {
                    auto document = std::make_unique<html::MemoryFormDocument>(snapshot);
                    auto manager = std::make_unique<TStorageManager>(GetAssessmentFileName(index),
                                                                     results, document.get());
                    FFormDocument = std::move(document);
                    FStorageManager = std::move(manager);
                    FBoundToken = token;
                    FStorageManager->LoadResponses();
                });
                if (!ok || !FFormDocument) {
                    done();
                    return;
                }
                ++FStats.bound;
                nlohmann::json changes = FFormDocument->changes();
                FFormDocument->clearChanges();
                FFormFrame->apply(
                    token, changes, snapshot, [done](bool) { done(); }, fail);
            },
            fail);
    } catch (...) {
        done();
        throw;
    }
}

void TfrmMain::SaveCurrentPage(std::function<void(bool)> done) {
    Enqueue([this, done = std::move(done)](Done finished) {
        DoSaveCurrentPage([this, done, finished](SaveOutcome outcome) {
            RunHandler([&] {
                if (done)
                    done(outcome == SaveOutcome::Accepted);
            });
            finished();
        });
    });
}

bool TfrmMain::SubmitThroughManager(const nlohmann::json& snapshot, bool verdict) {
    FFormDocument->update(snapshot);
    FFormDocument->setSubmitVerdict(verdict);
    ++FStats.submissions;
    return FStorageManager->SubmitResponses();
}

void TfrmMain::DoSaveCurrentPage(std::function<void(SaveOutcome)> done) {
    if (!FStorageManager) {
        done(SaveOutcome::Refused);
        return;
    }
    const long token = FBoundToken;
    FFormFrame->submit(
        token,
        [this, done, token](const web::SubmitReply& reply) {
            SaveOutcome outcome = SaveOutcome::Refused;
            bool ok = RunHandler([&] {
                if (!FStorageManager || FBoundToken != token)
                    return;
                if (reply.displayed) {
                    if (SubmitThroughManager(reply.snapshot, reply.verdict)) {
                        FLastAccepted = reply.snapshot;
                        outcome = SaveOutcome::Accepted;
                    }
                } else if (FLastAccepted) {
                    // The page was left after its handler accepted; what it showed then is
                    // what the candidate answered.
                    if (SubmitThroughManager(*FLastAccepted, true))
                        outcome = SaveOutcome::Accepted;
                }
            });
            if (ok && outcome == SaveOutcome::Accepted)
                FCloseFailed = false; // whatever kept the page from being saved has gone
            done(ok ? outcome : SaveOutcome::Failed);
        },
        [this, done](const std::string& error) {
            ShowError(error);
            done(SaveOutcome::Failed);
        });
}

} // namespace vedris
