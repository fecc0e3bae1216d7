#include "web/AssessmentScheme.h"

#include <memory>
#include <string>

#include <gio/gio.h>
#include <webkit/webkit.h>

#include "GObjectPtr.h"
#include "ShellTexts.h"
#include "platform/fs/AtomicFile.h"

namespace vedris::web {

namespace {

// Answers request with body, whose ownership it takes.
void finish(WebKitURISchemeRequest* request, std::string body, int status, const char* reason,
            const std::string& mime) {
    auto* owned = new std::string(std::move(body));
    GBytesPtr bytes(g_bytes_new_with_free_func(
        owned->data(), owned->size(), [](gpointer data) { delete static_cast<std::string*>(data); },
        owned));
    GObjectPtr<GInputStream> stream(g_memory_input_stream_new_from_bytes(bytes.get()));
    GObjectPtr<WebKitURISchemeResponse> response(webkit_uri_scheme_response_new(
        stream.get(), static_cast<gint64>(g_bytes_get_size(bytes.get()))));
    webkit_uri_scheme_response_set_status(response.get(), static_cast<guint>(status), reason);
    // No charset in the header: a page that declares its own encoding (older assessment
    // pages may be windows-1251) is read in it; the browser's default for the rest is
    // UTF-8 (see Browser).
    webkit_uri_scheme_response_set_content_type(response.get(), mime.c_str());
    SoupMessageHeaders* headers = soup_message_headers_new(SOUP_MESSAGE_HEADERS_RESPONSE);
    soup_message_headers_replace(headers, "Content-Type", mime.c_str());
    // Pages change only with a new installation; answers never live in them.
    soup_message_headers_replace(headers, "Cache-Control", "no-cache");
    webkit_uri_scheme_response_set_http_headers(response.get(), headers);
    webkit_uri_scheme_request_finish_with_response(request, response.get());
}

// A missing or refused file gets a short page of its own: a frame whose load simply failed
// would keep showing the previous page, and the candidate would not know why nothing
// happened.
void finishNotFound(WebKitURISchemeRequest* request, const char* uri) {
    GCharPtr name(g_markup_escape_text(uri, -1));
    finish(request, texts::NotFoundPage(name.get()), 404, "Not Found", "text/html");
}

void onSchemeRequest(WebKitURISchemeRequest* request, gpointer data) {
    const auto* folder = static_cast<const AssessmentFolder*>(data);
    const char* uri = webkit_uri_scheme_request_get_uri(request);
    auto file = folder->fileToServe(uri ? uri : "");
    std::string contents;
    try {
        if (file)
            contents = fs::readFile(*file);
    } catch (const fs::WriteError&) {
        file.reset();
    }
    if (!file) {
        finishNotFound(request, uri ? uri : "");
        return;
    }
    finish(request, std::move(contents), 200, "OK", AssessmentFolder::mimeTypeFor(*file));
}

void deleteFolder(gpointer data) {
    delete static_cast<AssessmentFolder*>(data);
}

} // namespace

void RegisterAssessmentScheme(WebKitWebContext* context, const AssessmentFolder& folder) {
    webkit_web_context_register_uri_scheme(context, SchemeName, onSchemeRequest,
                                           new AssessmentFolder(folder), deleteFolder);
}

} // namespace vedris::web
