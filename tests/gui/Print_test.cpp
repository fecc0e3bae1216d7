// Printing through a real WebKit view under Xvfb: the print handler puts the margins of the
// page-setup store on the operation, and window.print() inside a frame prints that frame's
// page with its current answers. Output goes to a PDF file whose text positions are measured
// with pdftotext -bbox.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "gui/ClientHarness.h"
#include "platform/ini/IniFile.h"
#include "printing/uPrinterSettings.h"
#include "support/TempDir.h"
#include "web/PrintFrame.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

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

// Prints every operation to a PDF file instead of showing the print dialog.
class PdfPrinter {
public:
    explicit PdfPrinter(std::string pdf) : pdf_(std::move(pdf)) {
        web::SetPrintRunner([this](WebKitPrintOperation* operation, GtkWindow* parent) {
            this->parent = parent;
            ++started;
            GtkPageSetup* setup = webkit_print_operation_get_page_setup(operation);
            margins = {gtk_page_setup_get_left_margin(setup, GTK_UNIT_INCH),
                       gtk_page_setup_get_top_margin(setup, GTK_UNIT_INCH),
                       gtk_page_setup_get_right_margin(setup, GTK_UNIT_INCH),
                       gtk_page_setup_get_bottom_margin(setup, GTK_UNIT_INCH)};
            GtkPrintSettings* settings = gtk_print_settings_new();
            gtk_print_settings_set_printer(settings, "Print to File");
            gtk_print_settings_set(settings, GTK_PRINT_SETTINGS_OUTPUT_URI, fileUri(pdf_).c_str());
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
    }
    ~PdfPrinter() { web::SetPrintRunner({}); }

    // The words of the printed file, once the print has finished.
    PdfText text() {
        EXPECT_TRUE(waitFor([&] { return finished > 0; }, 30));
        return readPdf(pdf_);
    }

    int started = 0;
    int finished = 0;
    GtkWindow* parent = nullptr;
    std::vector<double> margins; // left, top, right, bottom, in inches

private:
    std::string pdf_;
};

// One window with a web view hooked for printing; everything printed lands in a PDF file.
class PrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
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

    TempDir dir;
    PdfPrinter printer{dir.file("out.pdf")};
    GtkWindow* window = nullptr;
    WebKitWebView* view = nullptr;
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

TEST_F(PrintTest, WindowPrintUsesTheAssessmentsMargins) {
    applyAssessment("1.5", "0.5", "1", "1.25");
    load(dir.write("page.html", linesPage()));
    run("window.print()");
    PdfText text = printer.text();
    EXPECT_EQ(printer.started, 1);
    EXPECT_EQ(printer.parent, window);

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
    PdfText text = printer.text();
    EXPECT_EQ(printer.started, 1);
    EXPECT_EQ(printer.parent, window);
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

// The main window keeps the store in step with the assessment on screen and gives the user's
// own setup back when it goes.
class WindowPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", inst.dir.file("config").c_str(), 1);
        for (const char* ext : {".xml", ".html"})
            std::filesystem::copy_file(std::string(VEDRIS_SOURCE_DIR) + "/tests/data/actions_druk" +
                                           ext,
                                       inst.assessments() + "druk" + ext);
    }
    void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

    std::string value(const char* name) {
        return ini::IniFile(store).readString(PageSetupSection, name, "(none)");
    }
    std::vector<std::string> values() {
        return {value("header"),     value("footer"),       value("margin_left"),
                value("margin_top"), value("margin_right"), value("margin_bottom")};
    }

    bool openDruk(Client& client) {
        return client.bindsAfter(
            [&] { client.page("window.frames['form_frame'].location.href = 'druk.html'"); });
    }

    Installation inst{"alpha, druk"};
    std::string store = inst.dir.file("config/vedris/pagesetup.ini");
    PdfPrinter printer{inst.dir.file("out.pdf")};
};

TEST_F(WindowPrintTest, TheAssessmentsMarginsHoldWhileItIsShownAndTheUsersComeBack) {
    inst.dir.write("config/vedris/pagesetup.ini", "[PageSetup]\n"
                                                  "header=&w&bСторінка &p з &P\n"
                                                  "footer=&u&b&d\n"
                                                  "margin_left=0.750000\n"
                                                  "margin_top=0.5\n"
                                                  "margin_right=1\n"
                                                  "margin_bottom=0.25\n");
    {
        Client client(inst);
        ASSERT_TRUE(client.started);
        ASSERT_TRUE(openDruk(client));
        EXPECT_EQ(values(), (std::vector<std::string>{"", "", "1.5", "0.5", "1", "1.25"}));

        // The frame prints its own page, with what was typed, at the assessment's margins.
        client.frame("doc.getElementsByName('D01.TEKST')[0].value = 'Відповідь-друк';"
                     "doc.defaultView.print();");
        PdfText text = printer.text();
        EXPECT_EQ(printer.started, 1);
        EXPECT_EQ(printer.parent, client.w().Window());
        ASSERT_EQ(printer.margins.size(), 4u);
        EXPECT_NEAR(printer.margins[0], 1.5, 1e-6);
        EXPECT_NEAR(printer.margins[1], 0.5, 1e-6);
        EXPECT_NEAR(printer.margins[2], 1, 1e-6);
        EXPECT_NEAR(printer.margins[3], 1.25, 1e-6);
        std::string all = text.all();
        EXPECT_EQ(all.find("Альфа"), std::string::npos) << all;
        EXPECT_NE(all.find("Відповідь-друк"), std::string::npos) << all;
        const Word* first = text.find("Друк-початок");
        const Word* right = text.find("Друк-край");
        ASSERT_TRUE(first && right) << all;
        EXPECT_NEAR(first->xMin, 1.5 * Inch, Slack);
        EXPECT_NEAR(first->yMin, 0.5 * Inch, Slack);
        EXPECT_NEAR(right->xMax, text.width - 1 * Inch, Slack);

        ASSERT_TRUE(client.closes()) << ::testing::PrintToString(client.w().ReportedErrors());
    }
    // Written back as read at start, in the store's number format.
    EXPECT_EQ(values(), (std::vector<std::string>{"&w&bСторінка &p з &P", "&u&b&d", "0.75", "0.5",
                                                  "1", "0.25"}));
}

TEST_F(WindowPrintTest, AStoreThatRefusesWritesIsReportedAndNeverTrapsAPage) {
    // The store may be written but no temporary file can be made beside the file it names
    // (the name would be too long; this holds for root too).
    const std::string user = "[PageSetup]\nheader=&w\nfooter=\nmargin_left=0.5\n"
                             "margin_top=0.5\nmargin_right=0.5\nmargin_bottom=0.5\n";
    const std::string refusing = inst.dir.file(std::string(250, 'p') + ".ini");
    auto refuseWrites = [&] {
        std::filesystem::copy_file(store, refusing,
                                   std::filesystem::copy_options::overwrite_existing);
        std::filesystem::remove(store);
        std::filesystem::create_symlink(refusing, store);
    };
    auto mentionsStore = [&](const std::string& text) {
        return text.find(store) != std::string::npos;
    };

    // Refused from the start: said once, and every page is still bound.
    inst.dir.write("config/vedris/pagesetup.ini", user);
    refuseWrites();
    {
        Client client(inst);
        ASSERT_TRUE(client.started);
        ASSERT_TRUE(openDruk(client));
        ASSERT_TRUE(client.bindsAfter(
            [&] { client.page("window.frames['form_frame'].location.href = 'alpha.html'"); }));
        ASSERT_TRUE(openDruk(client));
        auto errors = client.w().ReportedErrors();
        ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
        EXPECT_TRUE(mentionsStore(errors[0])) << errors[0];
        EXPECT_NE(errors[0].find("File name too long"), std::string::npos) << errors[0];
        Client::closeMessageBoxes();
        ASSERT_TRUE(client.closes());
        EXPECT_EQ(client.w().ReportedErrors().size(), 1u);
    }
    EXPECT_EQ(readFile(refusing), user);

    // Refused only when the window goes: the user is told in a box of its own, which
    // outlives the window.
    std::filesystem::remove(store);
    inst.dir.write("config/vedris/pagesetup.ini", user);
    {
        Client client(inst);
        ASSERT_TRUE(client.started);
        ASSERT_TRUE(openDruk(client));
        refuseWrites();
        ASSERT_TRUE(client.closes());
        auto errors = client.w().ReportedErrors();
        ASSERT_EQ(errors.size(), 1u) << ::testing::PrintToString(errors);
        EXPECT_TRUE(mentionsStore(errors[0])) << errors[0];
        auto boxes = desktop::OpenMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, errors[0]);
        EXPECT_EQ(boxes[0].parent, nullptr);
        EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(boxes[0].window)));
    }
}

TEST_F(WindowPrintTest, TheFirstStartMakesTheStoreWithDefaults) {
    {
        Client client(inst);
        ASSERT_TRUE(client.started);
        EXPECT_EQ(values(), (std::vector<std::string>{"", "", "0.75", "0.75", "0.75", "0.75"}));
        ASSERT_TRUE(openDruk(client));
        EXPECT_EQ(value("margin_left"), "1.5");
        ASSERT_TRUE(client.closes()) << ::testing::PrintToString(client.w().ReportedErrors());
    }
    EXPECT_EQ(values(), (std::vector<std::string>{"", "", "0.75", "0.75", "0.75", "0.75"}));
}

} // namespace
