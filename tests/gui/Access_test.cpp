// The window for a candidate without a mouse or without sight: real key presses on the X
// display (zoom, find, the menu bar) and the accessibility tree a screen reader reads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <set>
#include <sstream>
#include <thread>

#include <webkit/webkit.h>

#include "gui/ClientHarness.h"

using namespace vedris;
using namespace vedris::test;

namespace {

const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

// Presses keys (xdotool's names) on the display the test runs on and lets the window see them.
bool press(const std::string& keys) {
    const bool ok = std::system(("xdotool " + keys).c_str()) == 0;
    pumpFor(0.3);
    return ok;
}

// The window's accessibility tree as "role|name" lines, read over AT-SPI by another process
// while this one keeps answering.
std::set<std::string> accessibilityTree() {
    std::atomic<bool> done = false;
    const std::string out = ::testing::TempDir() + "atspi-tree.txt";
    std::thread reader([&] {
        std::system(("/usr/bin/python3 " VEDRIS_SOURCE_DIR "/tests/gui/atspi_tree.py " +
                     std::to_string(getpid()) + " > " + out)
                        .c_str());
        done = true;
    });
    waitFor([&] { return done.load(); }, 60);
    reader.join();
    std::set<std::string> nodes;
    std::istringstream lines(readFile(out));
    for (std::string line; std::getline(lines, line);)
        nodes.insert(line.substr(line.find('|') + 1));
    return nodes;
}

// The first widget under root for which found() holds, depth first.
GtkWidget* findWidget(GtkWidget* root, const std::function<bool(GtkWidget*)>& found) {
    if (found(root))
        return root;
    for (GtkWidget* child = gtk_widget_get_first_child(root); child;
         child = gtk_widget_get_next_sibling(child))
        if (GtkWidget* hit = findWidget(child, found))
            return hit;
    return nullptr;
}

std::string keptZoom(const Installation& inst) {
    return readFile(inst.dir.file("config/vedris/view.ini"));
}

TEST(Access, KeysZoomFindAndWhatAScreenReaderReads) {
    setenv("VEDRIS_DRAFT_DELAY_MS", "150", 1);
    Installation inst{"alpha, beta"};
    inst.dir.write("vedris.ini", "[General]\nClientAssessments=alpha, beta\nZoom=150%\n"
                                 "SpellCheck=yes\n");
    {
        // A draft left behind by a page that refused to be left.
        Client c(inst);
        ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
        c.frame("const e = doc.getElementsByName('A1.TEXT')[0]; e.value = 'Чернетка';"
                "e.dispatchEvent(new Event('input', {bubbles: true}));");
        ASSERT_TRUE(waitFor([&] {
            return readFile(inst.dir.file("Results/drafts/alpha.json")).find("Чернетка") !=
                   std::string::npos;
        }));
        c.frame("doc.defaultView.allowLeave = false;");
        ASSERT_TRUE(c.closes());
    }
    Client c(inst);
    ASSERT_TRUE(c.bindsAfter([&] { c.click("#to-alpha"); }));
    ASSERT_FALSE(c.w().Notice().empty());
    // The installation's starting zoom and spelling, while the user has chosen none.
    EXPECT_EQ(c.w().View().zoomLevel(), 150);
    EXPECT_TRUE(webkit_web_context_get_spell_checking_enabled(
        webkit_web_view_get_context(c.w().Browser().view())));

    c.w().ShowError("Папку не знайдено");
    const std::set<std::string> tree = accessibilityTree();
    Client::closeMessageBoxes();
    for (const char* node :
         {"frame|Ведрис", "menu bar|Головне меню", "menu item|Файл", "menu item|Вигляд",
          "alert|Повідомлення", "push button|Закрити повідомлення", "entry|Знайти на сторінці",
          "push button|Закрити пошук", "dialog|Ведрис", "image|Помилка", "label|Папку не знайдено.",
          "push button|Гаразд"})
        EXPECT_TRUE(tree.count(node)) << node << " not in\n" << ::testing::PrintToString(tree);
    // A button a screen reader can only call by its widget's type ("GtkImage") or not at all.
    for (const std::string& node : tree)
        EXPECT_FALSE(node.rfind("push button|", 0) == 0 &&
                     (node.size() == 12 || node.find("|Gtk") != std::string::npos))
            << node;

    gtk_window_present(c.w().Window());
    pumpFor(0.5);
    ASSERT_TRUE(press("key --clearmodifiers ctrl+plus"));
    EXPECT_EQ(c.w().View().zoomLevel(), 170);
    ASSERT_TRUE(press("key --clearmodifiers ctrl+minus ctrl+minus"));
    EXPECT_EQ(c.w().View().zoomLevel(), 133);
    EXPECT_NE(keptZoom(inst).find("Zoom=133"), std::string::npos) << keptZoom(inst);
    ASSERT_TRUE(press("mousemove 400 400 keydown ctrl click 4 keyup ctrl"));
    EXPECT_EQ(c.w().View().zoomLevel(), 150);
    ASSERT_TRUE(press("key --clearmodifiers ctrl+0"));
    EXPECT_EQ(c.w().View().zoomLevel(), 100);

    ASSERT_TRUE(press("key --clearmodifiers ctrl+f"));
    EXPECT_TRUE(c.w().View().findBarShown());
    ASSERT_TRUE(press("type Чернетка"));
    ASSERT_TRUE(press("key Escape"));
    EXPECT_FALSE(c.w().View().findBarShown());

    ASSERT_TRUE(press("key F10"));
    GtkWidget* focus = gtk_window_get_focus(c.w().Window());
    EXPECT_TRUE(focus && gtk_widget_get_ancestor(focus, GTK_TYPE_POPOVER_MENU_BAR));
    ASSERT_TRUE(press("key Escape Escape"));

    // Tab goes from the notice bar into the page; inside the page Tab and Shift+Tab go round
    // its controls, and F6 leads back out to the bar's button.
    GtkWidget* closeNotice = findWidget(GTK_WIDGET(c.w().Window()), [](GtkWidget* w) {
        return GTK_IS_BUTTON(w) &&
               g_strcmp0(gtk_actionable_get_action_name(GTK_ACTIONABLE(w)), "win.closeNotice") == 0;
    });
    ASSERT_TRUE(closeNotice);
    gtk_widget_grab_focus(closeNotice);
    GtkWidget* view = GTK_WIDGET(c.w().Browser().view());
    auto tabTo = [&](const char* key, GtkWidget* target) {
        for (int i = 0; i < 3 && gtk_window_get_focus(c.w().Window()) != target; ++i)
            press(key);
        return gtk_window_get_focus(c.w().Window()) == target;
    };
    EXPECT_TRUE(tabTo("key Tab", view));
    EXPECT_TRUE(tabTo("key F6", closeNotice));

    // The user's choice outlives the run and beats the installation's level.
    Client again(inst);
    EXPECT_EQ(again.w().View().zoomLevel(), 100);
    unsetenv("VEDRIS_DRAFT_DELAY_MS");
}

} // namespace
