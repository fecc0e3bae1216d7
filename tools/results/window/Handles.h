#pragma once
// Owners of the GLib memory the window takes, so it is released on every path.
#include <memory>

#include <glib-object.h>

namespace vedris::results::window {

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct CharFree {
    void operator()(gchar* text) const { g_free(text); }
};
using CharPtr = std::unique_ptr<gchar, CharFree>;

struct KeyFileFree {
    void operator()(GKeyFile* file) const { g_key_file_free(file); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorFree>;

} // namespace vedris::results::window
