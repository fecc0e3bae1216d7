#include "desktop/FolderChooser.h"

#include <memory>
#include <utility>

#include <gtk/gtk.h>

#include "GObjectPtr.h"
#include "ShellTexts.h"

namespace vedris::desktop {

namespace {

FolderChooserStandIn& standIn() {
    static FolderChooserStandIn function;
    return function;
}

struct Request {
    FolderChoice done;
    std::optional<std::string> folder;
};

void answerLater(Request* request) {
    g_idle_add_once(
        [](gpointer data) {
            std::unique_ptr<Request> request(static_cast<Request*>(data));
            if (request->done)
                request->done(request->folder);
        },
        request);
}

void onResponse(GtkNativeDialog* dialog, int response, gpointer data) {
    auto* request = static_cast<Request*>(data);
    if (response == GTK_RESPONSE_ACCEPT) {
        GObjectPtr<GFile> file(gtk_file_chooser_get_file(GTK_FILE_CHOOSER(dialog)));
        if (GCharPtr path{file ? g_file_get_path(file.get()) : nullptr})
            request->folder = path.get();
    }
    gtk_native_dialog_destroy(dialog);
    // The reference the chooser was made with.
    GObjectPtr<GtkNativeDialog> owned(dialog);
    // The callback may show another box or start the next step: it runs once the chooser
    // is gone.
    answerLater(request);
}

} // namespace

void SelectResultsFolder(GtkWindow* parent, const std::string& title, FolderChoice done) {
    auto* request = new Request{std::move(done), std::nullopt};
    if (standIn()) {
        try {
            request->folder = standIn()(title, parent);
        } catch (...) {
            delete request;
            throw;
        }
        answerLater(request);
        return;
    }
    GtkFileChooserNative* chooser =
        gtk_file_chooser_native_new(title.c_str(), parent, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER,
                                    texts::ChooseButton, texts::CancelButton);
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    g_signal_connect(chooser, "response", G_CALLBACK(onResponse), request);
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

void SetFolderChooserStandIn(FolderChooserStandIn function) {
    standIn() = std::move(function);
}

} // namespace vedris::desktop
