// vedris-results-window: the collector's window. An optional argument names the database;
// without it the last one opened is opened again.
#include <cstring>
#include <iostream>
#include <memory>

#include <gtk/gtk.h>

#include "ResultsWindow.h"
#include "Texts.h"

namespace {

using vedris::results::window::ResultsWindow;

struct Start {
    std::string database;
    std::unique_ptr<ResultsWindow> window;
};

void onActivate(GtkApplication* app, gpointer data) {
    auto* start = static_cast<Start*>(data);
    if (!start->window) {
        start->window = std::make_unique<ResultsWindow>(app);
        std::string path =
            start->database.empty() ? ResultsWindow::rememberedDatabase() : start->database;
        if (!path.empty() &&
            (!start->database.empty() || g_file_test(path.c_str(), G_FILE_TEST_EXISTS)))
            start->window->openDatabase(path);
    }
    gtk_window_present(start->window->window());
}

} // namespace

int main(int argc, char** argv) {
    Start start;
    if (argc > 2 || (argc == 2 && (!std::strcmp(argv[1], "--help") || argv[1][0] == '-'))) {
        bool help = argc == 2 && !std::strcmp(argv[1], "--help");
        (help ? std::cout : std::cerr) << vedris::results::window::texts::Usage;
        return help ? 0 : 2;
    }
    if (argc == 2)
        start.database = argv[1];
    GtkApplication* app = gtk_application_new("ua.org.vedris.Results", G_APPLICATION_NON_UNIQUE);
    g_signal_connect(app, "activate", G_CALLBACK(onActivate), &start);
    int status = g_application_run(G_APPLICATION(app), 1, argv);
    start.window.reset();
    g_object_unref(app);
    return status;
}
