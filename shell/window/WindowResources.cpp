#include "window/WindowResources.h"

#include <string>

#include <gtk/gtk.h>

#include "GObjectPtr.h"

// The generated header declares C functions without saying so.
extern "C" {
#include "vedris-window.h"
}

namespace vedris::window {

namespace {
constexpr const char* ResourcePrefix = "/ua/org/vedris/window/";
}

GtkBuilder* buildFromResources(std::initializer_list<const char*> files) {
    // Referring to the bundle keeps it, and the registration it does at start, in the program.
    (void)vedris_window_get_resource();
    GtkBuilder* builder = gtk_builder_new();
    for (const char* file : files) {
        GError* error = nullptr;
        const std::string path = std::string(ResourcePrefix) + file;
        if (!gtk_builder_add_from_resource(builder, path.c_str(), &error))
            g_error("%s: %s", path.c_str(), error->message);
    }
    return builder;
}

void addWindowStyle(GdkDisplay* display) {
    GObjectPtr<GtkCssProvider> css(gtk_css_provider_new());
    gtk_css_provider_load_from_resource(css.get(),
                                        (std::string(ResourcePrefix) + "ufrmMain.css").c_str());
    gtk_style_context_add_provider_for_display(display, GTK_STYLE_PROVIDER(css.get()),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

} // namespace vedris::window
