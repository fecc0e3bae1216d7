// The program's message boxes: the full stop of the error reporting, and what each kind
// of box shows and answers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtk/gtk.h>

#include "desktop/MessageBox.h"

using namespace vedris::desktop;

namespace {

class GtkEnvironment : public ::testing::Environment {
public:
    void SetUp() override { gtk_init(); }
};
const auto* const gtkEnvironment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

void pump() {
    for (int i = 0; i < 50; ++i)
        g_main_context_iteration(nullptr, FALSE);
}

TEST(WithFullStop, AddedWhenTheLastCharacterIsAboveTheFullStop) {
    EXPECT_EQ(WithFullStop("Файл не знайдено"), "Файл не знайдено.");
    EXPECT_EQ(WithFullStop("Готово."), "Готово.");
    EXPECT_EQ(WithFullStop("Увага!"), "Увага!");
    EXPECT_EQ(WithFullStop("a-"), "a-");
    EXPECT_EQ(WithFullStop("a,"), "a,");
    EXPECT_EQ(WithFullStop("рядок\n"), "рядок\n");
    // "/" and digits lie above ".", as do "?" and ":".
    EXPECT_EQ(WithFullStop("/tmp/x/"), "/tmp/x/.");
    EXPECT_EQ(WithFullStop("Що?"), "Що?.");
    EXPECT_EQ(WithFullStop("рядок 5"), "рядок 5.");
    EXPECT_EQ(WithFullStop(""), "");
}

TEST(MessageBox, ErrorBoxHasOneOkAndTellsItsOwnerWhenClosed) {
    GtkWindow* parent = GTK_WINDOW(gtk_window_new());
    gtk_window_present(parent);
    std::optional<Answer> answer;
    ShowMessageBox(parent, MessageKind::Error, "Помилка", [&](const Answer& a) { answer = a; });
    auto boxes = OpenMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Ведрис");
    EXPECT_EQ(boxes[0].text, "Помилка");
    EXPECT_TRUE(boxes[0].modal);
    EXPECT_EQ(gtk_window_get_transient_for(boxes[0].window), parent);
    // Closed from its title bar, a one-button box answers OK.
    gtk_window_close(boxes[0].window);
    pump();
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->ok);
    EXPECT_TRUE(OpenMessageBoxes().empty());

    // A box whose parent goes away closes with it and still answers once.
    int answers = 0;
    ShowMessageBox(parent, MessageKind::Confirm, "Так?", [&](const Answer& a) {
        ++answers;
        EXPECT_FALSE(a.ok);
    });
    gtk_window_destroy(parent);
    pump();
    EXPECT_EQ(answers, 1);
    EXPECT_TRUE(OpenMessageBoxes().empty());
}

// Presses a key on the X display the tests run on; false without xdotool.
bool pressKey(const char* key) {
    return std::system(("xdotool key --clearmodifiers " + std::string(key)).c_str()) == 0;
}

GtkWidget* findLabel(GtkWidget* widget) {
    if (GTK_IS_LABEL(widget))
        return widget;
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
         child = gtk_widget_get_next_sibling(child))
        if (GtkWidget* found = findLabel(child))
            return found;
    return nullptr;
}

TEST(MessageBox, AHugeTextWithoutBlanksWrapsAndScrollsAndEnterOrEscapeAnswers) {
    static std::vector<std::string> warnings;
    const guint handler = g_log_set_handler(
        "Gtk", GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL),
        [](const gchar*, GLogLevelFlags, const gchar* message, gpointer data) {
            static_cast<std::vector<std::string>*>(data)->push_back(message);
        },
        &warnings);
    std::string huge = "Значення: ";
    while (huge.size() < (1u << 20))
        huge += "/дуже/довгий/шлях/без/пропусків";
    for (const char* key : {"Return", "Escape"}) {
        std::optional<Answer> answer;
        ShowMessageBox(nullptr, MessageKind::Confirm, huge, [&](const Answer& a) { answer = a; });
        auto boxes = OpenMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        GtkWidget* window = GTK_WIDGET(boxes[0].window);
        for (int i = 0; i < 200 && !gtk_widget_get_mapped(window); ++i)
            pump();
        pump();
        const int width = gtk_widget_get_width(window), height = gtk_widget_get_height(window);
        EXPECT_LE(width, 620);
        GObject* monitor =
            G_OBJECT(g_list_model_get_item(gdk_display_get_monitors(gdk_display_get_default()), 0));
        GdkRectangle screen{};
        gdk_monitor_get_geometry(GDK_MONITOR(monitor), &screen);
        g_object_unref(monitor);
        EXPECT_LE(height, screen.height);
        // Its button lies inside it.
        GtkWidget* ok = gtk_window_get_default_widget(GTK_WINDOW(window));
        graphene_rect_t bounds;
        ASSERT_TRUE(gtk_widget_compute_bounds(ok, window, &bounds));
        EXPECT_GE(bounds.origin.x, 0);
        EXPECT_LE(bounds.origin.x + bounds.size.width, width);
        EXPECT_LE(bounds.origin.y + bounds.size.height, height);

        // Also with the focus in the text (the candidate selected some of it).
        GtkWidget* label = findLabel(window);
        ASSERT_TRUE(label);
        gtk_widget_grab_focus(label);
        ASSERT_TRUE(pressKey(key));
        for (int i = 0; i < 200 && !answer; ++i) {
            pump();
            g_usleep(5000);
        }
        ASSERT_TRUE(answer.has_value()) << key;
        EXPECT_EQ(answer->ok, std::string(key) == "Return");
    }
    g_log_remove_handler("Gtk", handler);
    EXPECT_TRUE(warnings.empty()) << ::testing::PrintToString(warnings);
}

TEST(MessageBox, PromptReturnsTheTypedText) {
    std::optional<Answer> answer;
    ShowMessageBox(
        nullptr, MessageKind::Prompt, "Ім'я?", [&](const Answer& a) { answer = a; }, "Іван");
    auto boxes = OpenMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    AnswerMessageBox(boxes[0].window, true);
    pump();
    ASSERT_TRUE(answer.has_value());
    EXPECT_TRUE(answer->ok);
    EXPECT_EQ(answer->text, "Іван");
    // Answering a box twice, or a window that is no box, does nothing.
    AnswerMessageBox(boxes[0].window, false);
    AnswerMessageBox(nullptr, false);
    EXPECT_TRUE(answer->ok);
}

} // namespace
