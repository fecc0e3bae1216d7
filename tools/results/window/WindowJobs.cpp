// The window's side of the import and export threads: starting them, showing their progress
// from a timer on the interface thread, and what they ended with.
#include <filesystem>

#include "Handles.h"
#include "ResultsWindow.h"
#include "Texts.h"

namespace vedris::results::window {

namespace {

constexpr guint PollMilliseconds = 100;

std::string fileName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    return name.empty() ? path : name;
}

std::string outcomeLine(const SourceOutcome& o) {
    std::string name = fileName(o.path);
    switch (o.kind) {
    case SourceOutcome::Imported:
        return texts::format(texts::SourceImported,
                             {name, std::to_string(o.counts.added),
                              std::to_string(o.counts.results), std::to_string(o.counts.repeats),
                              std::to_string(o.counts.refused)});
    case SourceOutcome::Failed:
        return texts::format(texts::SourceFailed, {name, o.error});
    case SourceOutcome::Cancelled:
        return texts::format(texts::SourceCancelled, {name});
    case SourceOutcome::NotStarted:
        break;
    }
    return texts::format(texts::SourceNotStarted, {name});
}

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

void ResultsWindow::addSources(const std::vector<std::string>& paths) {
    if (!db_ || paths.empty())
        return;
    queued_.insert(queued_.end(), paths.begin(), paths.end());
    if (import_) {
        std::vector<std::string> names;
        for (const std::string& p : paths)
            names.push_back(fileName(p));
        showMessage(texts::format(texts::ImportQueued, {joined(names)}));
        return;
    }
    if (!exporting_)
        startImport();
}

void ResultsWindow::startImport() {
    report_.clear();
    import_ = std::make_unique<ImportJob>(db_->path(), std::move(queued_));
    queued_.clear();
    setBusy(true);
    showMessage("");
    showProgress();
    pollId_ = g_timeout_add(PollMilliseconds, &ResultsWindow::pollImport, this);
}

void ResultsWindow::cancelImport() {
    queued_.clear();
    if (!import_)
        return;
    import_->cancel();
    showProgress();
}

gboolean ResultsWindow::pollImport(gpointer self) {
    auto* w = static_cast<ResultsWindow*>(self);
    if (!w->import_->finished()) {
        w->showProgress();
        return G_SOURCE_CONTINUE;
    }
    w->pollId_ = 0;
    w->finishImport();
    return G_SOURCE_REMOVE;
}

void ResultsWindow::showProgress() {
    ImportProgress p = import_->progress();
    GtkProgressBar* bar = GTK_PROGRESS_BAR(widget("progress_bar"));
    std::string files =
        p.total ? texts::format(texts::FilesDone, {std::to_string(p.done), std::to_string(p.total)})
        : p.done ? texts::format(texts::FilesDoneUnknownTotal, {std::to_string(p.done)})
                 : std::string(texts::LookingForFiles);
    if (p.total)
        gtk_progress_bar_set_fraction(bar, double(std::min(p.done, p.total)) / double(p.total));
    else
        gtk_progress_bar_pulse(bar);
    gtk_progress_bar_set_text(bar, files.c_str());
    std::string what =
        import_->cancelling()
            ? std::string(texts::Cancelling)
            : texts::format(texts::ImportingSource, {std::to_string(std::max<size_t>(p.source, 1)),
                                                     std::to_string(p.sources), fileName(p.path)});
    gtk_label_set_text(GTK_LABEL(widget("progress_label")), what.c_str());
    gtk_widget_set_sensitive(widget("cancel_button"), !import_->cancelling());
}

void ResultsWindow::finishImport() {
    for (const SourceOutcome& o : import_->outcomes()) {
        report_.push_back(outcomeLine(o));
        if (o.kind == SourceOutcome::Imported && o.counts.repeats)
            repeats_.emplace_back(o.sourceId, o.counts.repeats);
    }
    import_.reset();
    setBusy(false);
    refreshLists();
    showMessage(joined(report_));
    if (!queued_.empty())
        startImport();
}

void ResultsWindow::startExport(ExportKind kind, const std::string& target) {
    if (!db_ || busy()) {
        showMessage(texts::BusyExporting);
        return;
    }
    exporting_ = std::make_unique<ExportJob>(db_->path(), kind, target);
    setBusy(true);
    showMessage(texts::format(texts::Exporting, {target}));
    pollId_ = g_timeout_add(PollMilliseconds, &ResultsWindow::pollExport, this);
}

gboolean ResultsWindow::pollExport(gpointer self) {
    auto* w = static_cast<ResultsWindow*>(self);
    if (!w->exporting_->finished())
        return G_SOURCE_CONTINUE;
    w->pollId_ = 0;
    w->finishExport();
    return G_SOURCE_REMOVE;
}

void ResultsWindow::finishExport() {
    std::unique_ptr<ExportJob> job = std::move(exporting_);
    setBusy(false);
    if (job->succeeded()) {
        showMessage(texts::format(texts::ExportDone, {job->target()}));
        openWithDefault(job->target());
    } else {
        showMessage(texts::format(texts::ExportFailed, {job->target(), job->messages()}));
    }
    if (!queued_.empty())
        startImport();
}

void ResultsWindow::openWithDefault(const std::string& path) {
    if (!openExports_)
        return;
    ObjectPtr<GFile> file(g_file_new_for_path(path.c_str()));
    CharPtr uri(g_file_get_uri(file.get()));
    ObjectPtr<GdkAppLaunchContext> context(
        gdk_display_get_app_launch_context(gtk_widget_get_display(GTK_WIDGET(window_))));
    GError* error = nullptr;
    if (!g_app_info_launch_default_for_uri(uri.get(), G_APP_LAUNCH_CONTEXT(context.get()),
                                           &error)) {
        ErrorPtr owned(error);
        showMessage(texts::format(texts::OpenFailed, {path, error ? error->message : ""}));
    }
}

} // namespace vedris::results::window
