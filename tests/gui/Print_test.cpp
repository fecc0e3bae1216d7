// Printing through a real WebKit view under Xvfb: the print handler puts the margins of the
// page-setup store on the operation, and window.print() inside a frame prints that frame's
// page with its current answers. Output goes to a PDF file whose text positions are measured
// with pdftotext -bbox.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "platform/web/PrintFrame.h"
#include "printing/uPrinterSettings.h"
#include "support/TempDir.h"

using namespace vedris;

namespace {

bool waitFor(const std::function<bool()>& done, double seconds = 30) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return true;
}

struct Word {
    std::string text;
    double xMin, yMin, xMax, yMax;
    int page;
};

struct PdfText {
    double width = 0, height = 0;
    std::vector<Word> words;

    const Word* find(const std::string& text) const {
        for (const Word& w : words)
            if (w.text == text)
                return &w;
        return nullptr;
    }
    std::string all() const {
        std::string text;
        for (const Word& w : words)
            text += w.text + " ";
        return text;
    }
};

// The words of a PDF with their boxes in points, through pdftotext -bbox.
PdfText readPdf(const std::string& pdf) {
    PdfText result;
    std::string command = "pdftotext -bbox '" + pdf + "' -";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return result;
    std::string html;
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, pipe))
        html.append(buf, n);
    pclose(pipe);

    std::regex page(R"re(<page width="([\d.]+)" height="([\d.]+)">)re");
    std::regex word(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" )re"
                    R"re(yMax="([\d.]+)">([^<]*)</word>)re");
    int pageNo = 0;
    for (std::string::const_iterator it = html.begin(); it != html.end();) {
        std::smatch pm, wm;
        bool hasPage = std::regex_search(it, html.cend(), pm, page);
        bool hasWord = std::regex_search(it, html.cend(), wm, word);
        if (!hasPage && !hasWord)
            break;
        if (hasPage && (!hasWord || pm.position() < wm.position())) {
            ++pageNo;
            result.width = std::stod(pm[1]);
            result.height = std::stod(pm[2]);
            it = pm.suffix().first;
        } else {
            result.words.push_back({wm[5], std::stod(wm[1]), std::stod(wm[2]), std::stod(wm[3]),
                                    std::stod(wm[4]), pageNo});
            it = wm.suffix().first;
        }
    }
    return result;
}

std::string fileUri(const std::string& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string result = uri;
    g_free(uri);
    return result;
}

// One window with a web view hooked for printing; everything printed lands in a PDF file.
class PrintTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { gtk_init(); }

    void SetUp() override {
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
        web::SetPrintRunner([this](WebKitPrintOperation* operation, GtkWindow* parent) {
            runnerParent = parent;
            ++printed;
            GtkPrintSettings* settings = gtk_print_settings_new();
            gtk_print_settings_set_printer(settings, "Print to File");
            gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, fileUri(pdf).c_str());
            gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_FILE_FORMAT, "pdf");
            webkit_print_operation_set_print_settings(operation, settings);
            g_object_unref(settings);
            g_signal_connect(operation, "finished",
                             G_CALLBACK(+[](WebKitPrintOperation*, gpointer data) {
                                 ++*static_cast<int*>(data);
                             }),
                             &finished);
            webkit_print_operation_print(operation);
        });
        window = GTK_WINDOW(gtk_window_new());
        gtk_window_set_default_size(window, 800, 600);
        view = WEBKIT_WEB_VIEW(webkit_web_view_new());
        gtk_window_set_child(window, GTK_WIDGET(view));
        gtk_window_present(window);
        web::AttachPagePrinting(view);
    }

    void TearDown() override {
        ASSERT_TRUE(waitFor([] { return web::PendingFramePrints() == 0; }));
        gtk_window_destroy(window);
        web::SetPrintRunner({});
        unsetenv("XDG_CONFIG_HOME");
    }

    void load(const std::string& path) {
        bool loaded = false;
        gulong id =
            g_signal_connect(view, "load-changed",
                             G_CALLBACK(+[](WebKitWebView*, WebKitLoadEvent event, gpointer data) {
                                 if (event == WEBKIT_LOAD_FINISHED)
                                     *static_cast<bool*>(data) = true;
                             }),
                             &loaded);
        webkit_web_view_load_uri(view, fileUri(path).c_str());
        ASSERT_TRUE(waitFor([&] { return loaded; }));
        g_signal_handler_disconnect(view, id);
    }

    void run(const std::string& script) {
        bool done = false;
        webkit_web_view_evaluate_javascript(
            view, script.c_str(), -1, nullptr, nullptr, nullptr,
            +[](GObject* source, GAsyncResult* result, gpointer data) {
                GError* error = nullptr;
                if (JSCValue* value = webkit_web_view_evaluate_javascript_finish(
                        WEBKIT_WEB_VIEW(source), result, &error))
                    g_object_unref(value);
                if (error) {
                    ADD_FAILURE() << error->message;
                    g_error_free(error);
                }
                *static_cast<bool*>(data) = true;
            },
            &done);
        ASSERT_TRUE(waitFor([&] { return done; }));
    }

    // The assessment's margins go to the store the way the main window puts them there.
    void applyAssessment(const std::string& left, const std::string& top, const std::string& right,
                         const std::string& bottom) {
        auto field = [](const std::string& label, const std::string& value) {
            return "<qtimetadatafield><fieldlabel>" + label + "</fieldlabel><fieldentry>" + value +
                   "</fieldentry></qtimetadatafield>";
        };
        std::string file = dir.write(
            "assessment.xml", "<questestinterop><assessment ident=\"A\"><qtimetadata>" +
                                  field("margin_left", left) + field("margin_top", top) +
                                  field("margin_right", right) + field("margin_bottom", bottom) +
                                  "</qtimetadata></assessment></questestinterop>");
        TPrinterSettings assessmentPageSetup;
        SaveAssessmentMargins(file, assessmentPageSetup);
    }

    PdfText printed_pdf() {
        EXPECT_TRUE(waitFor([&] { return finished > 0; }));
        return readPdf(pdf);
    }

    test::TempDir dir;
    std::string pdf = dir.file("out.pdf");
    GtkWindow* window = nullptr;
    WebKitWebView* view = nullptr;
    GtkWindow* runnerParent = nullptr;
    int printed = 0;
    int finished = 0;
};

constexpr double Inch = 72.0;
// Glyph boxes sit a little inside the line box; a point or two of slack covers that.
constexpr double Slack = 3.0;

std::string linesPage() {
    std::string html = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><style>"
                       "body{margin:0;font:16px/20px 'DejaVu Sans'} p{margin:0}"
                       " .r{text-align:right}</style></head><body>"
                       "<p>Початок</p><p class=\"r\">Край</p>";
    for (int i = 1; i <= 120; ++i)
        html += "<p>Рядок" + std::to_string(i) + "</p>";
    return html + "</body></html>";
}

TEST_F(PrintTest, StartingTheBrowserCreatesTheStoreWithDefaultsOnce) {
    std::string store = dir.file("config/vedris/pagesetup.ini");
    TPrinterSettings defaults(store);
    defaults.LoadFromRegistry();
    EXPECT_EQ(defaults.MarginLeft, 0.75);
    EXPECT_EQ(defaults.MarginTop, 0.75);
    EXPECT_EQ(defaults.MarginRight, 0.75);
    EXPECT_EQ(defaults.MarginBottom, 0.75);
    EXPECT_EQ(defaults.Header, "");

    // A second start keeps what the user has.
    defaults.MarginLeft = 2;
    defaults.Header = "&w";
    defaults.SaveToRegistry();
    WebKitWebView* second = WEBKIT_WEB_VIEW(g_object_ref_sink(webkit_web_view_new()));
    web::AttachPagePrinting(second);
    g_object_unref(second);
    TPrinterSettings reread(store);
    reread.LoadFromRegistry();
    EXPECT_EQ(reread.MarginLeft, 2);
    EXPECT_EQ(reread.Header, "&w");
}

TEST_F(PrintTest, WindowPrintUsesTheAssessmentsMargins) {
    applyAssessment("1.5", "0.5", "1", "1.25");
    load(dir.write("page.html", linesPage()));
    run("window.print()");
    PdfText text = printed_pdf();
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(runnerParent, window);

    const Word* first = text.find("Початок");
    const Word* right = text.find("Край");
    ASSERT_TRUE(first && right) << text.all();
    EXPECT_NEAR(first->xMin, 1.5 * Inch, Slack);
    EXPECT_NEAR(first->yMin, 0.5 * Inch, Slack);
    EXPECT_NEAR(right->xMax, text.width - 1 * Inch, Slack);

    // The last line on the first page ends above the bottom margin, with no room for one
    // more line of 15 pt before it.
    const Word* last = nullptr;
    for (const Word& w : text.words)
        if (w.page == 1)
            last = &w;
    ASSERT_TRUE(last);
    double limit = text.height - 1.25 * Inch;
    EXPECT_LE(last->yMax, limit + Slack);
    EXPECT_GT(last->yMax, limit - 15 - Slack);
}

TEST_F(PrintTest, TheStoreIsReadAtEachPrint) {
    load(dir.write("page.html", linesPage()));
    applyAssessment("0.25", "2", "0.25", "0.25");
    run("window.print()");
    PdfText text = printed_pdf();
    const Word* first = text.find("Початок");
    ASSERT_TRUE(first) << text.all();
    EXPECT_NEAR(first->xMin, 0.25 * Inch, Slack);
    EXPECT_NEAR(first->yMin, 2 * Inch, Slack);
}

TEST_F(PrintTest, PrintInAFramePrintsThatFramesPageWithItsCurrentAnswers) {
    applyAssessment("1", "1", "1", "1");
    dir.write("menu.html", "<html><body><p>МЕНЮ</p></body></html>");
    std::string style = "<style>body{margin:0;font:16px/20px 'DejaVu Sans'} p{margin:0}"
                        " input:checked+span::after{content:'Позначено'}</style>";
    dir.write("form.html",
              "<!DOCTYPE html><html><head><meta charset=\"utf-8\">" + style +
                  "</head><body><p>Анкета</p><form>"
                  "<input type=\"text\" name=\"I1.R1\" value=\"\" size=\"30\">"
                  "<textarea name=\"I1.R2\"></textarea>"
                  "<select name=\"I1.R3\"><option>Перший</option><option>Другий</option></select>"
                  "<input type=\"checkbox\" name=\"I1.R4\"><span></span>"
                  "<input type=\"file\" name=\"I1.R5\">"
                  "<button type=\"button\" onclick=\"window.print()\">Друк</button>"
                  "</form></body></html>");
    // The test reaches into the frame from the top page, which file URLs allow only so.
    webkit_settings_set_allow_file_access_from_file_urls(webkit_web_view_get_settings(view), TRUE);
    load(dir.write("index.html",
                   "<html><frameset cols=\"200,*\"><frame name=\"menu\" src=\"menu.html\">"
                   "<frame name=\"form_frame\" src=\"form.html\"></frameset></html>"));

    run("var d = frames['form_frame'].document;"
        "d.getElementsByName('I1.R1')[0].value = 'Відповідь';"
        "d.getElementsByName('I1.R2')[0].value = 'Думка';"
        "d.getElementsByName('I1.R3')[0].selectedIndex = 1;"
        "d.getElementsByName('I1.R4')[0].checked = true;"
        "d.querySelector('button').click();");
    PdfText text = printed_pdf();
    EXPECT_EQ(printed, 1);
    EXPECT_EQ(runnerParent, window);
    std::string all = text.all();
    EXPECT_EQ(all.find("МЕНЮ"), std::string::npos) << all;
    EXPECT_NE(all.find("Відповідь"), std::string::npos) << all;
    EXPECT_NE(all.find("Думка"), std::string::npos) << all;
    EXPECT_NE(all.find("Другий"), std::string::npos) << all;
    EXPECT_NE(all.find("Позначено"), std::string::npos) << all;
    const Word* heading = text.find("Анкета");
    ASSERT_TRUE(heading) << all;
    EXPECT_NEAR(heading->xMin, 1 * Inch, Slack);
    EXPECT_NEAR(heading->yMin, 1 * Inch, Slack);
}

} // namespace
