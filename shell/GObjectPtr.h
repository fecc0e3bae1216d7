#pragma once
// Owners of GLib and GObject memory: every reference the shell takes and every string or
// error GLib hands over is held by one of these, so it is released on every path.
#include <memory>

#include <glib-object.h>

namespace vedris {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
// Holds one reference of a GObject (or of any type derived from it).
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
    void operator()(gpointer data) const { g_free(data); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

struct GBytesUnref {
    void operator()(GBytes* bytes) const { g_bytes_unref(bytes); }
};
using GBytesPtr = std::unique_ptr<GBytes, GBytesUnref>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GUriUnref {
    void operator()(GUri* uri) const { g_uri_unref(uri); }
};
using GUriPtr = std::unique_ptr<GUri, GUriUnref>;

} // namespace vedris
