// The two lists of the window: the sources with what each brought (and its label, which the
// operator can set), and per assessment the results and sources.
#include <algorithm>
#include <filesystem>

#include "ResultsWindow.h"
#include "Summary.h"
#include "Texts.h"

namespace vedris::results::window {

namespace {

constexpr size_t RefusalsShown = 20;

const char* kindInWords(const std::string& kind) {
    static constexpr std::pair<const char*, const char*> Kinds[] = {
        {"file", texts::KindFile}, {"folder", texts::KindFolder}, {"zip", texts::KindZip},
        {"eml", texts::KindEml},   {"mbox", texts::KindMbox},     {"merge", texts::KindMerge}};
    for (const auto& [name, words] : Kinds)
        if (kind == name)
            return words;
    return kind.c_str();
}

std::string sourceName(const SourceSummary& s) {
    if (!s.label.empty())
        return s.label;
    std::string name = std::filesystem::path(s.path).filename().string();
    return name.empty() ? s.path : name;
}

GtkWidget* label(const std::string& text, const char* cssClass = nullptr) {
    GtkWidget* l = gtk_label_new(text.c_str());
    gtk_label_set_xalign(GTK_LABEL(l), 0);
    gtk_label_set_wrap(GTK_LABEL(l), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(l), PANGO_WRAP_WORD_CHAR);
    if (cssClass)
        gtk_widget_add_css_class(l, cssClass);
    return l;
}

void nameForReader(GtkWidget* widget, const std::string& name) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   name.c_str(), -1);
}

// A place inside a source is told from the source on (the row names the source already); the
// XML engine's reason repeats the place, which is shortened the same way.
std::string shortened(std::string text, const std::string& source) {
    std::string name = std::filesystem::path(source).filename().string();
    for (const auto& [from, to] : {std::pair{source + "/", std::string()}, {source, name}})
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
            text.replace(at, from.size(), to);
            at += to.size();
        }
    return text;
}

// 'YYYY-MM-DDTHH:MM:SS' as people write it.
std::string readableTime(std::string time) {
    if (time.size() > 10 && time[10] == 'T')
        time[10] = ' ';
    return time;
}

std::vector<std::string> statusLines(const SourceSummary& s, size_t repeats) {
    std::vector<std::string> lines;
    if (s.files)
        lines.push_back(texts::format(texts::StatusImported,
                                      {std::to_string(s.files), std::to_string(s.results)}));
    if (s.newer)
        lines.push_back(texts::format(texts::StatusNewer, {std::to_string(s.newer)}));
    if (s.superseded)
        lines.push_back(texts::format(texts::StatusSuperseded, {std::to_string(s.superseded)}));
    if (repeats)
        lines.push_back(texts::format(texts::StatusRepeats, {std::to_string(repeats)}));
    else if (!s.files && !s.refused)
        lines.push_back(texts::StatusNothingNew);
    if (s.refused)
        lines.push_back(texts::format(texts::StatusRefused, {std::to_string(s.refused)}));
    for (const auto& [place, reason] : s.refusals)
        lines.push_back(texts::format(texts::RefusalLine,
                                      {shortened(place, s.path), shortened(reason, s.path)}));
    if (size_t(s.refused) > s.refusals.size())
        lines.push_back(texts::format(texts::MoreRefusals,
                                      {std::to_string(size_t(s.refused) - s.refusals.size())}));
    return lines;
}

} // namespace

void ResultsWindow::refreshLists() {
    try {
        fillSources();
        fillTotals();
    } catch (const std::exception& e) {
        showMessage(texts::format(texts::DatabaseFailed, {e.what()}));
    }
}

GtkWidget* ResultsWindow::labelEditor(const SourceSummary& s) {
    std::string name = sourceName(s);
    GtkWidget* entry = gtk_entry_new();
    gtk_editable_set_text(GTK_EDITABLE(entry), s.label.c_str());
    gtk_entry_set_placeholder_text(GTK_ENTRY(entry), texts::LabelPlaceholder);
    gtk_widget_set_hexpand(entry, TRUE);
    nameForReader(entry, texts::format(texts::LabelEntryName, {name}));
    GtkWidget* save = gtk_button_new_with_label(texts::SaveLabel);
    nameForReader(save, texts::format(texts::SaveLabelName, {name}));
    g_object_set_data(G_OBJECT(entry), "vedris-source", GSIZE_TO_POINTER(gsize(s.id)));
    g_object_set_data(G_OBJECT(save), "vedris-entry", entry);
    auto onSave = +[](GtkWidget* widget, gpointer self) {
        GtkWidget* entry = GTK_IS_ENTRY(widget)
                               ? widget
                               : GTK_WIDGET(g_object_get_data(G_OBJECT(widget), "vedris-entry"));
        int64_t id = int64_t(GPOINTER_TO_SIZE(g_object_get_data(G_OBJECT(entry), "vedris-source")));
        static_cast<ResultsWindow*>(self)->saveLabel(id, GTK_EDITABLE(entry));
    };
    g_signal_connect(entry, "activate", G_CALLBACK(onSave), this);
    g_signal_connect(save, "clicked", G_CALLBACK(onSave), this);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
    gtk_box_append(GTK_BOX(box), entry);
    gtk_box_append(GTK_BOX(box), save);
    return box;
}

GtkWidget* ResultsWindow::sourceRow(const SourceSummary& s) {
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 4);
    for (auto side : {&gtk_widget_set_margin_start, &gtk_widget_set_margin_end,
                      &gtk_widget_set_margin_top, &gtk_widget_set_margin_bottom})
        side(box, 8);
    gtk_box_append(GTK_BOX(box), label(sourceName(s), "heading"));
    gtk_box_append(GTK_BOX(box),
                   label(texts::format(texts::SourceLine,
                                       {kindInWords(s.kind), s.path, readableTime(s.importedAt)}),
                         "dim-label"));
    auto repeats = std::find_if(repeats_.begin(), repeats_.end(),
                                [&](const auto& r) { return r.first == s.id; });
    for (const std::string& line : statusLines(s, repeats == repeats_.end() ? 0 : repeats->second))
        gtk_box_append(GTK_BOX(box),
                       label(line, s.refused && line.rfind("•", 0) == 0 ? "error" : nullptr));
    gtk_box_append(GTK_BOX(box), labelEditor(s));
    GtkWidget* row = gtk_list_box_row_new();
    gtk_list_box_row_set_child(GTK_LIST_BOX_ROW(row), box);
    gtk_list_box_row_set_activatable(GTK_LIST_BOX_ROW(row), FALSE);
    nameForReader(row, sourceName(s));
    return row;
}

void ResultsWindow::fillSources() {
    GtkListBox* list = GTK_LIST_BOX(sourcesList_);
    while (GtkWidget* child = gtk_widget_get_first_child(sourcesList_))
        gtk_list_box_remove(list, child);
    std::vector<SourceSummary> sources = readSources(*db_, RefusalsShown);
    if (sources.empty())
        gtk_list_box_append(list, label(texts::NoSources, "dim-label"));
    for (const SourceSummary& s : sources)
        gtk_list_box_append(list, sourceRow(s));
}

void ResultsWindow::fillTotals() {
    GtkGrid* grid = GTK_GRID(totalsGrid_);
    while (GtkWidget* child = gtk_widget_get_first_child(totalsGrid_))
        gtk_grid_remove(grid, child);
    std::vector<AssessmentTotal> totals = readTotals(*db_);
    auto addRow = [grid](int row, const std::string& a, const std::string& b, const std::string& c,
                         const char* cssClass) {
        gtk_grid_attach(grid, label(a, cssClass), 0, row, 1, 1);
        gtk_grid_attach(grid, label(b, cssClass), 1, row, 1, 1);
        gtk_grid_attach(grid, label(c, cssClass), 2, row, 1, 1);
    };
    if (totals.empty()) {
        gtk_grid_attach(grid, label(texts::NoAssessments, "dim-label"), 0, 0, 3, 1);
        return;
    }
    addRow(0, texts::ColumnAssessment, texts::ColumnResults, texts::ColumnSources, "heading");
    int64_t results = 0;
    int row = 1;
    for (const AssessmentTotal& t : totals) {
        addRow(row++, t.assessment, std::to_string(t.results), std::to_string(t.sources), nullptr);
        results += t.results;
    }
    addRow(row, texts::TotalRow, std::to_string(results), "", "heading");
}

void ResultsWindow::saveLabel(int64_t sourceId, GtkEditable* entry) {
    std::string text = gtk_editable_get_text(entry);
    // The import holds the database's write lock for a whole source: waiting for it here
    // would freeze the window.
    if (import_) {
        showMessage(texts::LabelAfterImport);
        return;
    }
    try {
        setSourceLabel(*db_, sourceId, text);
    } catch (const std::exception& e) {
        showMessage(texts::format(texts::LabelFailed, {e.what()}));
        return;
    }
    showMessage(texts::format(texts::LabelSaved, {text}));
    // Rebuilt after this signal's handlers are done with the entry.
    if (!refreshId_)
        refreshId_ = g_idle_add_once(
            [](gpointer self) {
                auto* w = static_cast<ResultsWindow*>(self);
                w->refreshId_ = 0;
                w->refreshLists();
            },
            this);
}

} // namespace vedris::results::window
