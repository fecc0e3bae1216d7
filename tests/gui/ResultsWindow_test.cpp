// The collector's window on a new database: a folder and an mbox added the way the add
// buttons add them, the import on its thread, the lists a person reads, a label set, and the
// three exports written.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <gtk/gtk.h>

#include "ResultsWindow.h"
#include "support/TempDir.h"

using namespace vedris::results::window;
using vedris::test::readFile;
using vedris::test::TempDir;

namespace {

std::string results(const std::string& assessment, const std::string& datetime,
                    const std::string& answer) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qti_result_report><result><context>"
           "<date><type_label>Submitted</type_label><datetime>" +
           datetime + "</datetime></date></context><assessment_result ident_ref=\"" + assessment +
           "\"><item_result ident_ref=\"V01\"><response ident_ref=\"OTSINKA\">"
           "<response_value response_status=\"Valid\">" +
           answer +
           "</response_value></response></item_result></assessment_result></result>"
           "</qti_result_report>\n";
}

std::string message(const std::string& day, const std::string& attachment) {
    gchar* encoded =
        g_base64_encode(reinterpret_cast<const guchar*>(attachment.data()), attachment.size());
    std::string text = "From school5@example.org Mon Dec  " + day +
                       " 09:30:00 2026\nFrom: School 5 <school5@example.org>\n"
                       "To: rrg@example.org\nSubject: results\nDate: Mon, " +
                       day +
                       " Dec 2026 09:30:00 +0000\nMIME-Version: 1.0\nContent-Type: "
                       "multipart/mixed; boundary=\"b\"\n\n--b\nContent-Type: text/plain\n\nHi\n"
                       "--b\nContent-Type: application/xml\nContent-Disposition: attachment; "
                       "filename=\"results.xml\"\nContent-Transfer-Encoding: base64\n\n" +
                       encoded + "\n--b--\n\n";
    g_free(encoded);
    return text;
}

// Every text the widget shows, one per line, in the order a screen reader meets them.
void collectTexts(GtkWidget* widget, std::string& out) {
    if (GTK_IS_LABEL(widget))
        out += std::string(gtk_label_get_text(GTK_LABEL(widget))) + "\n";
    else if (GTK_IS_EDITABLE(widget) && !GTK_IS_TEXT(widget))
        out += std::string("[") + gtk_editable_get_text(GTK_EDITABLE(widget)) + "]\n";
    for (GtkWidget* c = gtk_widget_get_first_child(widget); c; c = gtk_widget_get_next_sibling(c))
        collectTexts(c, out);
}

std::string texts(GtkWidget* widget) {
    std::string out;
    collectTexts(widget, out);
    return out;
}

void waitWhileBusy(const ResultsWindow& w) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (w.busy() && std::chrono::steady_clock::now() < end)
        g_main_context_iteration(nullptr, TRUE);
    ASSERT_FALSE(w.busy());
}

GtkWidget* firstOf(GtkWidget* widget, GType type) {
    if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type))
        return widget;
    for (GtkWidget* c = gtk_widget_get_first_child(widget); c; c = gtk_widget_get_next_sibling(c))
        if (GtkWidget* found = firstOf(c, type))
            return found;
    return nullptr;
}

} // namespace

TEST(ResultsWindow, ImportsFolderAndMailListsThemAndExports) {
    TempDir dir;
    g_setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), TRUE);
    gtk_init();
    std::string first = results("vidhuk", "2026-12-01T10:00:00", "5");
    dir.write("stick/a/results.xml", first);
    dir.write("stick/b/results.xml", results("kontrol", "2026-12-01T11:00:00", "3"));
    dir.write("stick/c/results.xml", "<qti_result_report><result>");
    dir.write("mail/inbox", message("2", results("vidhuk", "2026-12-02T09:00:00", "4")) +
                                message("3", results("vidhuk", "2026-12-03T09:00:00", "2")) +
                                message("4", first));

    ResultsWindow w(nullptr);
    w.setOpenExports(false);
    ASSERT_TRUE(w.openDatabase(dir.file("new.db")));
    EXPECT_EQ(ResultsWindow::rememberedDatabase(), dir.file("new.db"));
    w.addSources({dir.file("stick"), dir.file("mail/inbox")});
    EXPECT_TRUE(w.busy());
    waitWhileBusy(w);

    std::string sources = texts(w.sourcesList());
    // Newest source first: the mail folder, then the stick.
    EXPECT_LT(sources.find("inbox"), sources.find("stick")) << sources;
    for (const char* expected :
         {"поштова скринька", "Імпортовано: файлів 2, результатів 2.",
          "Нова версія вже наявних результатів: 1.", "Замінено новішою версією: 1.",
          "Повтори (ці файли вже були в базі): 1.", "папка",
          "Імпортовано: файлів 2, результатів 2.", "Відхилено файлів: 1.", "c/results.xml"})
        EXPECT_NE(sources.find(expected), std::string::npos) << expected << "\n" << sources;
    // Per assessment, the newest versions: vidhuk from the stick and from the school's mail.
    EXPECT_NE(texts(w.totalsGrid()).find("kontrol\n1\n1\nvidhuk\n2\n2\nУсього\n3\n"),
              std::string::npos)
        << texts(w.totalsGrid());

    // A cancelled import leaves nothing of its source: the lists stay as they were.
    // Enough files that an idle machine is still importing when the window first shows
    // progress (it polls every 100 ms); with fewer, the import could finish before Cancel.
    std::string before = texts(w.sourcesList()) + texts(w.totalsGrid());
    for (int i = 0; i < 20000; ++i)
        dir.write("big/" + std::to_string(i) + "/results.xml",
                  results("kontrol", "2026-12-05T10:00:00", std::to_string(i)));
    w.addSources({dir.file("big")});
    // Cancelled once the bar has moved, so the source is part-way in its transaction.
    auto* bar = GTK_PROGRESS_BAR(firstOf(GTK_WIDGET(w.window()), GTK_TYPE_PROGRESS_BAR));
    while (w.busy() && gtk_progress_bar_get_fraction(bar) == 0)
        g_main_context_iteration(nullptr, TRUE);
    EXPECT_LT(gtk_progress_bar_get_fraction(bar), 1);
    w.cancelImport();
    waitWhileBusy(w);
    EXPECT_EQ(w.message(), "big: імпорт скасовано, з цього джерела до бази нічого не додано.");
    EXPECT_EQ(texts(w.sourcesList()) + texts(w.totalsGrid()), before);

    // The stick's row (the last) gets its label by Enter in its entry.
    GtkWidget* lastRow = gtk_widget_get_last_child(w.sourcesList());
    GtkWidget* entry = firstOf(lastRow, GTK_TYPE_ENTRY);
    ASSERT_NE(entry, nullptr);
    gtk_editable_set_text(GTK_EDITABLE(entry), "Школа №5");
    g_signal_emit_by_name(entry, "activate");
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    EXPECT_NE(texts(w.sourcesList()).find("Школа №5\nпапка"), std::string::npos);

    // A target that cannot be written is told as such, not as saved.
    w.startExport(ExportKind::Xlsx, dir.file("missing/t.xlsx"));
    waitWhileBusy(w);
    EXPECT_EQ(w.message().rfind("Не вдалося записати " + dir.file("missing/t.xlsx"), 0), 0u)
        << w.message();
    std::filesystem::create_directories(dir.path() / "out");
    w.startExport(ExportKind::Xlsx, dir.file("out/t.xlsx"));
    waitWhileBusy(w);
    w.startExport(ExportKind::Csv, dir.file("out/csv"));
    waitWhileBusy(w);
    w.startExport(ExportKind::Html, dir.file("out/r.html"));
    waitWhileBusy(w);
    EXPECT_EQ(w.message(), "Збережено: " + dir.file("out/r.html"));
    EXPECT_EQ(readFile(dir.file("out/t.xlsx")).substr(0, 2), "PK");
    std::string csv = readFile(dir.file("out/csv/vidhuk.csv"));
    EXPECT_EQ(csv.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_NE(csv.find("Школа №5"), std::string::npos) << csv;
    std::string html = readFile(dir.file("out/r.html"));
    EXPECT_NE(html.find("kontrol"), std::string::npos);
    EXPECT_NE(html.find("</html>"), std::string::npos);
    gtk_window_destroy(w.window());
}
