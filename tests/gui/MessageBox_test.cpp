// The program's message boxes: the full stop of the error reporting, and what each kind
// of box shows and answers.
#include <gtest/gtest.h>

#include <optional>

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
