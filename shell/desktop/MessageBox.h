#pragma once
// Modal message boxes of the program, drawn by GTK with Ukrainian button texts: the error
// box of the error reporting, informational boxes, and the boxes that stand in for a page's
// alert, confirm and prompt. Every box carries the application title as its caption.
//
// GTK 4 has no blocking dialog run: a box is modal over its parent, returns at once, and
// reports the answer through its callback when the user closes it.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ShellTexts.h"

typedef struct _GtkWindow GtkWindow;

namespace vedris::desktop {

// The application title: the caption of the main window and of every box.
inline constexpr const char* ApplicationTitle = texts::ApplicationTitle;

// Button texts.
inline constexpr const char* OkText = texts::Ok;
inline constexpr const char* CancelText = texts::Cancel;

enum class MessageKind {
    Error,       // error icon, one OK button
    Information, // no icon, one OK button
    Confirm,     // no icon, OK and Cancel
    Prompt,      // no icon, a text field, OK and Cancel
    StayOrLeave, // error icon; OK is "stay" (the default, also closing the box), Cancel "leave"
};

// The message as the error reporting shows it: a full stop is added when the code of the
// last character is above that of "." (so "Немає файлу" gets one and "Готово." or "...!"
// do not). The empty text stays empty.
std::string WithFullStop(const std::string& message);

// Shows a modal box over parent (may be null). done receives true for OK (and for closing
// a one-button box in any way) and false for Cancel or closing an OK/Cancel box; for
// Prompt, text holds what the field held. The box owns the callback until it closes.
struct Answer {
    bool ok = false;
    std::string text;
};
void ShowMessageBox(GtkWindow* parent, MessageKind kind, const std::string& text,
                    std::function<void(const Answer&)> done = {},
                    const std::string& promptDefault = {});

// The error of a save that failed on leaving a page, with the choice to stay (the default)
// or leave without saving; done gets true for leaving.
void AskStayOrLeave(GtkWindow* parent, const std::string& error, std::function<void(bool)> done);

// Shows a box without a parent for a message that outlives its window (an error while
// the main window is destroyed); the application keeps running until it is answered.
void ShowMessageBoxOnItsOwn(MessageKind kind, const std::string& text);

// The boxes currently open, oldest first, for tests and for closing them when their
// parent goes away.
struct OpenBox {
    GtkWindow* window = nullptr;
    MessageKind kind = MessageKind::Information;
    std::string caption;
    std::string text;
    bool modal = false;
    GtkWindow* parent = nullptr;
};
std::vector<OpenBox> OpenMessageBoxes();

// Answers an open box as if the user had pressed OK (ok = true, with text typed into a
// prompt) or Cancel. Does nothing when window is no open box.
void AnswerMessageBox(GtkWindow* window, bool ok, const std::optional<std::string>& text = {});

} // namespace vedris::desktop
