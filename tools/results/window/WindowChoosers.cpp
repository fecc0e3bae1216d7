// The choosers of the window (the portal's where the desktop has one) and drag and drop.
#include <functional>

#include "Handles.h"
#include "ResultsWindow.h"
#include "Texts.h"

namespace vedris::results::window {

namespace {

using Chosen = std::function<void(const std::vector<std::string>&)>;

std::string documentsFolder() {
    const char* documents = g_get_user_special_dir(G_USER_DIRECTORY_DOCUMENTS);
    return documents ? documents : g_get_home_dir();
}

std::vector<std::string> pathsOf(GListModel* files) {
    std::vector<std::string> paths;
    for (guint i = 0; i < g_list_model_get_n_items(files); ++i) {
        ObjectPtr<GFile> file(G_FILE(g_list_model_get_item(files, i)));
        if (CharPtr path{g_file_get_path(file.get())})
            paths.emplace_back(path.get());
    }
    return paths;
}

void onChosen(GtkNativeDialog* dialog, int response, gpointer data) {
    std::unique_ptr<Chosen> done(static_cast<Chosen*>(data));
    std::vector<std::string> paths;
    if (response == GTK_RESPONSE_ACCEPT) {
        ObjectPtr<GListModel> files(gtk_file_chooser_get_files(GTK_FILE_CHOOSER(dialog)));
        paths = pathsOf(files.get());
    }
    gtk_native_dialog_destroy(dialog);
    ObjectPtr<GtkNativeDialog> owned(dialog);
    if (!paths.empty())
        (*done)(paths);
}

// The file chooser of GTK 4.8 (Debian 12); its successor needs 4.10. It is the portal's
// where the desktop has one.
void choose(GtkWindow* parent, const char* title, GtkFileChooserAction action,
            const std::string& folder, const std::string& name, bool many, Chosen done) {
    GtkFileChooserNative* chooser = gtk_file_chooser_native_new(
        title, parent, action,
        action == GTK_FILE_CHOOSER_ACTION_SAVE ? texts::SaveButton : texts::ChooseButton,
        texts::CancelButton);
    GtkFileChooser* files = GTK_FILE_CHOOSER(chooser);
    gtk_file_chooser_set_select_multiple(files, many);
    ObjectPtr<GFile> start(g_file_new_for_path(folder.c_str()));
    gtk_file_chooser_set_current_folder(files, start.get(), nullptr);
    if (!name.empty())
        gtk_file_chooser_set_current_name(files, name.c_str());
    gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(chooser), TRUE);
    g_signal_connect(chooser, "response", G_CALLBACK(onChosen), new Chosen(std::move(done)));
    gtk_native_dialog_show(GTK_NATIVE_DIALOG(chooser));
}

std::string folderOf(const std::string& path) {
    CharPtr folder(g_path_get_dirname(path.c_str()));
    return folder.get();
}

} // namespace

void ResultsWindow::chooseDatabase(bool create) {
    std::string folder = db_ ? folderOf(db_->path()) : documentsFolder();
    auto open = [this](const std::vector<std::string>& paths) { openDatabase(paths.front()); };
    if (create)
        choose(window_, texts::CreateDatabaseName, GTK_FILE_CHOOSER_ACTION_SAVE, folder,
               texts::DefaultDatabaseName, false, open);
    else
        choose(window_, texts::OpenDatabaseName, GTK_FILE_CHOOSER_ACTION_OPEN, folder, "", false,
               open);
}

void ResultsWindow::chooseSources(bool folders) {
    auto add = [this](const std::vector<std::string>& paths) { addSources(paths); };
    choose(window_, folders ? texts::AddFolderTitle : texts::AddFilesTitle,
           folders ? GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER : GTK_FILE_CHOOSER_ACTION_OPEN,
           documentsFolder(), "", true, add);
}

void ResultsWindow::chooseExport(ExportKind kind) {
    auto write = [this, kind](const std::vector<std::string>& paths) {
        startExport(kind, paths.front());
    };
    std::string folder = folderOf(db_->path());
    if (kind == ExportKind::Csv)
        choose(window_, texts::ExportCsvTitle, GTK_FILE_CHOOSER_ACTION_SELECT_FOLDER, folder, "",
               false, write);
    else
        choose(window_, kind == ExportKind::Xlsx ? texts::ExportXlsxTitle : texts::ExportHtmlTitle,
               GTK_FILE_CHOOSER_ACTION_SAVE, folder,
               kind == ExportKind::Xlsx ? texts::ExportXlsxFile : texts::ExportHtmlFile, false,
               write);
}

// Files, folders, archives and mail dropped from a file manager take the way of the add buttons.
void ResultsWindow::addDropTarget() {
    GtkDropTarget* target = gtk_drop_target_new(GDK_TYPE_FILE_LIST, GDK_ACTION_COPY);
    g_signal_connect(
        target, "drop",
        G_CALLBACK(+[](GtkDropTarget*, const GValue* value, double, double, gpointer self) {
            auto* w = static_cast<ResultsWindow*>(self);
            if (!w->db_)
                return FALSE;
            std::vector<std::string> paths;
            for (auto* l = static_cast<GSList*>(g_value_get_boxed(value)); l; l = l->next)
                if (CharPtr path{g_file_get_path(G_FILE(l->data))})
                    paths.emplace_back(path.get());
            w->addSources(paths);
            return gboolean(!paths.empty());
        }),
        this);
    gtk_widget_add_controller(GTK_WIDGET(window_), GTK_EVENT_CONTROLLER(target));
}

} // namespace vedris::results::window
