// Program entry: the settings object, the application, the main window.
#include <csignal>
#include <memory>
#include <string>

#include <glib-unix.h>
#include <gtk/gtk.h>

#include "GObjectPtr.h"
#include "Texts.h"
#include "desktop/MessageBox.h"
#include "desktop/Utf8Log.h"
#include "platform/fs/AtomicFile.h"
#include "platform/fs/InstanceLock.h"
#include "settings/uRegistry.h"
#include "window/ufrmMain.h"

namespace {

// Also the name of the desktop entry, the icon and the metainfo file.
constexpr const char* ApplicationId = "ua.org.vedris.Client";

std::unique_ptr<vedris::fs::InstanceLock> resultsLock;
std::string startupError;

// Shows a message with no window around it and ends the program when it is closed.
void showAndQuit(GtkApplication* app, vedris::desktop::MessageKind kind, const std::string& text) {
    g_message("%s", text.c_str());
    g_application_hold(G_APPLICATION(app));
    vedris::desktop::ShowMessageBox(nullptr, kind, text, [app](const vedris::desktop::Answer&) {
        g_application_release(G_APPLICATION(app));
    });
}

// A session that ends (SIGTERM, SIGHUP) or Ctrl+C closes the window as its title bar
// would, so the page on screen is saved; a second signal ends the program at once.
gboolean onTerminate(gpointer data) {
    static bool closing = false;
    auto* app = static_cast<GtkApplication*>(data);
    if (!closing && vedris::frmMain && vedris::frmMain->Window()) {
        closing = true;
        gtk_window_close(vedris::frmMain->Window());
    } else {
        g_application_quit(G_APPLICATION(app));
    }
    return G_SOURCE_CONTINUE;
}

void onActivate(GtkApplication* app, gpointer) {
    using namespace vedris;
    if (frmMain) {
        gtk_window_present(frmMain->Window());
        return;
    }
    if (!startupError.empty()) {
        showAndQuit(app, desktop::MessageKind::Error, desktop::WithFullStop(startupError));
        return;
    }
    // Two clients on one results.xml would each save their own copy over the other's.
    try {
        resultsLock = std::make_unique<fs::InstanceLock>(ClientRegistry->GetValue("ResultsDir"));
    } catch (const std::exception& e) {
        showAndQuit(app, desktop::MessageKind::Error, desktop::WithFullStop(e.what()));
        return;
    }
    if (!resultsLock->held()) {
        showAndQuit(app, desktop::MessageKind::Information, texts::AlreadyRunningMessage);
        return;
    }
    // The folder is ours now: what an interrupted save of ours left there can go.
    const std::string resultsDir = ClientRegistry->GetValue("ResultsDir");
    fs::removeLeftoverTemporariesIn(resultsDir + "drafts", ".json");
    fs::removeLeftoverTemporaries(resultsDir + "results.xml");
    frmMain = new TfrmMain(app);
    frmMain->Show();
}

} // namespace

int main(int argc, char** argv) {
    (void)argc;
    vedris::desktop::InstallUtf8LogWriter();
    try {
        vedris::CreateClientRegistry();
    } catch (const std::exception& e) {
        startupError = e.what();
    }

    g_set_application_name(vedris::desktop::ApplicationTitle);
    // The window's X11 class is the program name: the menu entry finds its window by it.
    g_set_prgname(ApplicationId);
    vedris::GObjectPtr<GtkApplication> application(
        gtk_application_new(ApplicationId, G_APPLICATION_NON_UNIQUE));
    GtkApplication* app = application.get();
    g_signal_connect(app, "activate", G_CALLBACK(onActivate), nullptr);
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
        g_unix_signal_add(signal, onTerminate, app);
    // Nothing is configured on the command line: the arguments are not passed on.
    int status = g_application_run(G_APPLICATION(app), 1, argv);

    delete vedris::frmMain;
    application.reset();
    resultsLock.reset();
    vedris::DestroyClientRegistry();
    return status;
}
