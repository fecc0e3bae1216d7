#pragma once
// The main window's .ui files and style sheet, compiled into the program (shell/window/ui/).
#include <initializer_list>

typedef struct _GtkBuilder GtkBuilder;
typedef struct _GdkDisplay GdkDisplay;

namespace vedris::window {

// A new builder holding the objects of the named .ui files, loaded in the order given (a
// file may refer to objects of the files before it). A file that does not load is a fault
// of the build itself and ends the program.
GtkBuilder* buildFromResources(std::initializer_list<const char*> files);

// Adds the window's style sheet to the display.
void addWindowStyle(GdkDisplay* display);

} // namespace vedris::window
