#pragma once
// "Ведрис: результати": the collector's window. It keeps one database open, imports the
// sources a person adds (buttons or drag and drop) off the interface thread, lists what came
// in, and writes and opens the exports.
#include <memory>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "Database.h"
#include "ExportJob.h"
#include "ImportJob.h"
#include "Summary.h"

namespace vedris::results::window {

class ResultsWindow {
public:
    explicit ResultsWindow(GtkApplication* app);
    ~ResultsWindow();
    ResultsWindow(const ResultsWindow&) = delete;
    ResultsWindow& operator=(const ResultsWindow&) = delete;

    GtkWindow* window() const { return window_; }
    // Opens (or creates) the database, remembers it for the next start and lists it. False,
    // with the reason shown, when it cannot be opened.
    bool openDatabase(const std::string& path);
    // What the add buttons and a drop end in: the sources join the import under way or start one.
    void addSources(const std::vector<std::string>& paths);
    // What the Cancel button does: the source under way is rolled back, the rest not started.
    void cancelImport();
    // What the export buttons end in once a target is chosen.
    void startExport(ExportKind kind, const std::string& target);
    bool busy() const { return import_ || exporting_; }
    // Off in tests: exports are written but not handed to another program.
    void setOpenExports(bool open) { openExports_ = open; }

    // The lists as shown, for the test.
    GtkWidget* sourcesList() const { return sourcesList_; }
    GtkWidget* totalsGrid() const { return totalsGrid_; }
    std::string message() const;

    // Where the last database is remembered: $XDG_CONFIG_HOME/vedris/results.ini.
    static std::string rememberedDatabase();

private:
    GtkWidget* widget(const char* id) const;
    void applyTexts();
    void connectSignals();
    void onButton(const std::string& id);
    void addDropTarget();
    void showStart(const std::string& error);
    void showMessage(const std::string& text);
    void setBusy(bool busy);
    void remember(const std::string& path);

    void startImport();
    static gboolean pollImport(gpointer self);
    void showProgress();
    void finishImport();
    static gboolean pollExport(gpointer self);
    void finishExport();
    void openWithDefault(const std::string& path);

    void refreshLists();
    void fillSources();
    void fillTotals();
    GtkWidget* sourceRow(const SourceSummary& s);
    GtkWidget* labelEditor(const SourceSummary& s);
    void saveLabel(int64_t sourceId, GtkEditable* entry);

    void chooseDatabase(bool create);
    void chooseSources(bool folders);
    void chooseExport(ExportKind kind);

    GtkBuilder* builder_ = nullptr;
    GtkWindow* window_ = nullptr;
    GtkWidget *sourcesList_ = nullptr, *totalsGrid_ = nullptr;
    std::unique_ptr<Database> db_;
    std::unique_ptr<ImportJob> import_;
    std::unique_ptr<ExportJob> exporting_;
    std::vector<std::string> queued_;
    std::vector<std::string> report_;                 // lines about the sources of this import run
    std::vector<std::pair<int64_t, size_t>> repeats_; // source id, repeats, this session
    guint pollId_ = 0, refreshId_ = 0;
    bool openExports_ = true;
};

} // namespace vedris::results::window
