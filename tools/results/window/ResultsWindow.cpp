#include "ResultsWindow.h"

#include <utility>

#include "Handles.h"
#include "Texts.h"

// Made by glib-compile-resources from ui/; registered by hand, since in a static library
// nothing would pull in the file that registers it by itself.
extern "C" void vedris_results_window_register_resource(void);

namespace vedris::results::window {

namespace {

GtkBuilder* loadInterface() {
    static const bool registered = (vedris_results_window_register_resource(), true);
    (void)registered;
    return gtk_builder_new_from_resource("/ua/org/vedris/Results/window.ui");
}

std::string configFile() {
    return std::string(g_get_user_config_dir()) + "/vedris/results.ini";
}

void nameForReader(GtkWidget* widget, const char* name) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL, name, -1);
}

struct ButtonText {
    const char* id;
    const char* label;
    const char* name; // for a screen reader and the tooltip
};

constexpr ButtonText Buttons[] = {
    {"open_button", texts::OpenDatabase, texts::OpenDatabaseName},
    {"create_button", texts::CreateDatabase, texts::CreateDatabaseName},
    {"start_open_button", texts::OpenDatabase, texts::OpenDatabaseName},
    {"start_create_button", texts::CreateDatabase, texts::CreateDatabaseName},
    {"add_files_button", texts::AddFiles, texts::AddFilesName},
    {"add_folder_button", texts::AddFolder, texts::AddFolderName},
    {"xlsx_button", texts::ExportXlsx, texts::ExportXlsxName},
    {"csv_button", texts::ExportCsv, texts::ExportCsvName},
    {"html_button", texts::ExportHtml, texts::ExportHtmlName},
    {"cancel_button", texts::CancelImport, texts::CancelImportName},
};

struct LabelText {
    const char* id;
    const char* text;
};

constexpr LabelText Labels[] = {
    {"title_label", texts::Title},
    {"start_heading", texts::NoDatabase},
    {"start_hint", texts::NoDatabaseHint},
    {"drop_hint", texts::DropHint},
    {"sources_heading", texts::SourcesHeading},
    {"assessments_heading", texts::AssessmentsHeading},
};

} // namespace

ResultsWindow::ResultsWindow(GtkApplication* app) : builder_(loadInterface()) {
    window_ = GTK_WINDOW(gtk_builder_get_object(builder_, "window"));
    gtk_window_set_application(window_, app);
    sourcesList_ = widget("sources_list");
    totalsGrid_ = widget("totals_grid");
    applyTexts();
    connectSignals();
    addDropTarget();
    showStart("");
}

ResultsWindow::~ResultsWindow() {
    for (guint id : {pollId_, refreshId_})
        if (id)
            g_source_remove(id);
    import_.reset();
    exporting_.reset();
    g_object_unref(builder_);
}

GtkWidget* ResultsWindow::widget(const char* id) const {
    return GTK_WIDGET(gtk_builder_get_object(builder_, id));
}

void ResultsWindow::applyTexts() {
    gtk_window_set_title(window_, texts::Title);
    for (const ButtonText& b : Buttons) {
        GtkWidget* button = widget(b.id);
        gtk_button_set_label(GTK_BUTTON(button), b.label);
        gtk_widget_set_tooltip_text(button, b.name);
        nameForReader(button, b.name);
    }
    for (const LabelText& l : Labels)
        gtk_label_set_text(GTK_LABEL(widget(l.id)), l.text);
    nameForReader(widget("progress_bar"), texts::ProgressName);
    nameForReader(sourcesList_, texts::SourcesListName);
    nameForReader(totalsGrid_, texts::AssessmentsHeading);
}

void ResultsWindow::connectSignals() {
    for (const ButtonText& b : Buttons)
        g_signal_connect(widget(b.id), "clicked", G_CALLBACK(+[](GtkWidget* button, gpointer self) {
                             static_cast<ResultsWindow*>(self)->onButton(
                                 gtk_buildable_get_buildable_id(GTK_BUILDABLE(button)));
                         }),
                         this);
    // Closing while an import runs cancels it: the source under way is rolled back.
    g_signal_connect(window_, "close-request", G_CALLBACK(+[](GtkWindow*, gpointer self) {
                         auto* w = static_cast<ResultsWindow*>(self);
                         if (w->pollId_)
                             g_source_remove(std::exchange(w->pollId_, 0));
                         w->import_.reset();
                         w->exporting_.reset();
                         return FALSE;
                     }),
                     this);
}

void ResultsWindow::onButton(const std::string& id) {
    if (id == "open_button" || id == "start_open_button")
        chooseDatabase(false);
    else if (id == "create_button" || id == "start_create_button")
        chooseDatabase(true);
    else if (id == "add_files_button" || id == "add_folder_button")
        chooseSources(id == "add_folder_button");
    else if (id == "xlsx_button")
        chooseExport(ExportKind::Xlsx);
    else if (id == "csv_button")
        chooseExport(ExportKind::Csv);
    else if (id == "html_button")
        chooseExport(ExportKind::Html);
    else if (id == "cancel_button")
        cancelImport();
}

void ResultsWindow::showStart(const std::string& error) {
    gtk_stack_set_visible_child_name(GTK_STACK(widget("stack")), db_ ? "work" : "start");
    gtk_widget_set_visible(widget("create_button"), db_ != nullptr);
    gtk_widget_set_visible(widget("open_button"), db_ != nullptr);
    GtkWidget* startMessage = widget("start_message");
    gtk_label_set_text(GTK_LABEL(startMessage), error.c_str());
    gtk_widget_set_visible(startMessage, !error.empty());
    gtk_label_set_text(GTK_LABEL(widget("subtitle_label")), db_ ? db_->path().c_str() : "");
}

bool ResultsWindow::openDatabase(const std::string& path) {
    if (busy())
        return false;
    try {
        db_ = Database::open(path);
    } catch (const std::exception& e) {
        std::string text = texts::format(texts::DatabaseFailed, {e.what()});
        if (db_)
            showMessage(text);
        else
            showStart(text);
        return false;
    }
    repeats_.clear();
    remember(db_->path());
    showStart("");
    showMessage(texts::format(texts::DatabaseOpened, {db_->path()}));
    refreshLists();
    // Adding sources is what comes next on an open database.
    gtk_widget_grab_focus(widget("add_files_button"));
    return true;
}

void ResultsWindow::showMessage(const std::string& text) {
    GtkWidget* label = widget("message_label");
    gtk_label_set_text(GTK_LABEL(label), text.c_str());
    gtk_widget_set_visible(label, !text.empty());
}

std::string ResultsWindow::message() const {
    return gtk_label_get_text(GTK_LABEL(widget("message_label")));
}

void ResultsWindow::setBusy(bool busy) {
    for (const char* id :
         {"open_button", "create_button", "xlsx_button", "csv_button", "html_button"})
        gtk_widget_set_sensitive(widget(id), !busy);
    gtk_widget_set_visible(widget("progress_box"), import_ != nullptr);
}

std::string ResultsWindow::rememberedDatabase() {
    KeyFilePtr file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), configFile().c_str(), G_KEY_FILE_NONE, nullptr))
        return "";
    CharPtr path(g_key_file_get_string(file.get(), "Window", "Database", nullptr));
    return path ? path.get() : "";
}

// Not being able to remember costs only the choice at the next start: nothing to tell.
void ResultsWindow::remember(const std::string& path) {
    std::string name = configFile();
    CharPtr folder(g_path_get_dirname(name.c_str()));
    g_mkdir_with_parents(folder.get(), 0700);
    KeyFilePtr file(g_key_file_new());
    g_key_file_load_from_file(file.get(), name.c_str(), G_KEY_FILE_KEEP_COMMENTS, nullptr);
    g_key_file_set_string(file.get(), "Window", "Database", path.c_str());
    g_key_file_save_to_file(file.get(), name.c_str(), nullptr);
}

} // namespace vedris::results::window
