#include "web/PrintFrame.h"

#include <exception>
#include <memory>
#include <utility>

#include <gtk/gtk.h>
#include <nlohmann/json.hpp>
#include <webkit/webkit.h>

#include "GObjectPtr.h"
#include "desktop/MessageBox.h"
#include "web/Scripts.h"

namespace vedris::web {

namespace {

constexpr const char* FramePrintHandler = "vedrisPrintFrame";

PrintRunner& printRunner() {
    static PrintRunner runner;
    return runner;
}

GtkWindow* windowOf(WebKitWebView* view) {
    if (!view)
        return nullptr;
    GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(view));
    return root && GTK_IS_WINDOW(root) ? GTK_WINDOW(root) : nullptr;
}

void reportError(GtkWindow* parent, const std::exception& error) {
    desktop::ShowMessageBox(parent, desktop::MessageKind::Error,
                            desktop::WithFullStop(error.what()));
}

// The margins the print goes out with: the store's, or WebKit's usual 0.75 in when the
// store has gone missing since start.
TPrinterSettings currentPageSetup() {
    TPrinterSettings pageSetup;
    pageSetup.MarginLeft = pageSetup.MarginTop = pageSetup.MarginRight = pageSetup.MarginBottom =
        0.75;
    pageSetup.LoadFromRegistry();
    return pageSetup;
}

// True when the operation goes on printing: the dialog's Print button, or a runner.
bool runPrint(WebKitPrintOperation* operation, GtkWindow* parent) {
    ApplyPageSetupMargins(operation, currentPageSetup());
    if (printRunner()) {
        printRunner()(operation, parent);
        return true;
    }
    return webkit_print_operation_run_dialog(operation, parent) ==
           WEBKIT_PRINT_OPERATION_RESPONSE_PRINT;
}

// One frame printed through a hidden view: from the frame's request until the print has
// finished or was cancelled.
struct FramePrint {
    WebKitWebView* owner = nullptr; // weak: the view whose frame asked
    GObjectPtr<WebKitWebView> hidden;
    GObjectPtr<WebKitPrintOperation> operation;
    std::string snapshot; // the frame's controls, as JSON text
    bool failed = false;
};

int& pendingCount() {
    static int count = 0;
    return count;
}

void finish(FramePrint* job) {
    if (job->owner)
        g_object_remove_weak_pointer(G_OBJECT(job->owner),
                                     reinterpret_cast<gpointer*>(&job->owner));
    if (job->hidden)
        g_signal_handlers_disconnect_by_data(job->hidden.get(), job);
    if (job->operation)
        g_signal_handlers_disconnect_by_data(job->operation.get(), job);
    delete job;
    --pendingCount();
}

// The hidden view and the operation are freed outside their own signal emissions.
void finishLater(FramePrint* job) {
    g_idle_add_once([](gpointer data) { finish(static_cast<FramePrint*>(data)); }, job);
}

void onFramePrintFinished(WebKitPrintOperation*, gpointer data) {
    finishLater(static_cast<FramePrint*>(data));
}

void onControlsApplied(GObject* source, GAsyncResult* result, gpointer data) {
    auto* job = static_cast<FramePrint*>(data);
    GError* failure = nullptr;
    GObjectPtr<JSCValue> value(webkit_web_view_call_async_javascript_function_finish(
        WEBKIT_WEB_VIEW(source), result, &failure));
    GErrorPtr error(failure);
    // A page that would not take its values back is not printed half empty.
    if (error) {
        finishLater(job);
        return;
    }
    GtkWindow* parent = windowOf(job->owner);
    job->operation.reset(webkit_print_operation_new(job->hidden.get()));
    g_signal_connect(job->operation.get(), "finished", G_CALLBACK(onFramePrintFinished), job);
    bool printing = false;
    try {
        printing = runPrint(job->operation.get(), parent);
    } catch (const std::exception& e) {
        reportError(parent, e);
    }
    if (!printing)
        finishLater(job);
}

void onHiddenLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar*, GError*, gpointer data) {
    static_cast<FramePrint*>(data)->failed = true;
}

void onHiddenLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
    auto* job = static_cast<FramePrint*>(data);
    if (event != WEBKIT_LOAD_FINISHED)
        return;
    g_signal_handlers_disconnect_by_func(view, reinterpret_cast<gpointer>(onHiddenLoadChanged),
                                         job);
    if (job->failed || !job->owner) {
        finishLater(job);
        return;
    }
    static const std::string restore = Script({"snapshot.js", "print-restore.js"});
    GVariantBuilder arguments;
    g_variant_builder_init(&arguments, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&arguments, "{sv}", "snapshot",
                          g_variant_new_string(job->snapshot.c_str()));
    webkit_web_view_call_async_javascript_function(
        view, restore.c_str(), static_cast<gssize>(restore.size()),
        g_variant_builder_end(&arguments), nullptr, nullptr, nullptr, onControlsApplied, job);
}

// The hidden view never shows a page's own dialogs, nor prints on the page's request.
gboolean swallowScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer) {
    return TRUE;
}
gboolean swallowPrint(WebKitWebView*, WebKitPrintOperation*, gpointer) {
    return TRUE;
}

// Only the site the view shows is reloaded for printing: the request comes from the page's
// own world, where any script could make it.
bool sameSite(const std::string& url, const char* viewUri) {
    if (!viewUri)
        return false;
    GUriPtr frame(g_uri_parse(url.c_str(), G_URI_FLAGS_NONE, nullptr));
    GUriPtr top(g_uri_parse(viewUri, G_URI_FLAGS_NONE, nullptr));
    return frame && top &&
           g_strcmp0(g_uri_get_scheme(frame.get()), g_uri_get_scheme(top.get())) == 0 &&
           g_strcmp0(g_uri_get_host(frame.get()), g_uri_get_host(top.get())) == 0 &&
           g_uri_get_port(frame.get()) == g_uri_get_port(top.get());
}

void startFramePrint(WebKitWebView* owner, const std::string& url, std::string snapshot) {
    auto* job = new FramePrint;
    ++pendingCount();
    job->owner = owner;
    g_object_add_weak_pointer(G_OBJECT(owner), reinterpret_cast<gpointer*>(&job->owner));
    job->snapshot = std::move(snapshot);

    // Page scripts stay off in the copy: it shows the page as the frame has it now, without
    // the page's handlers running a second time. Evaluating our own script still works.
    GObjectPtr<WebKitSettings> settings(webkit_settings_new());
    webkit_settings_set_enable_javascript_markup(settings.get(), FALSE);
    GtkWidget* hidden = GTK_WIDGET(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", owner,
                                                "settings", settings.get(), nullptr));
    job->hidden.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(hidden)));
    g_signal_connect(hidden, "script-dialog", G_CALLBACK(swallowScriptDialog), nullptr);
    g_signal_connect(hidden, "print", G_CALLBACK(swallowPrint), nullptr);
    g_signal_connect(hidden, "load-failed", G_CALLBACK(onHiddenLoadFailed), job);
    g_signal_connect(hidden, "load-changed", G_CALLBACK(onHiddenLoadChanged), job);
    webkit_web_view_load_uri(job->hidden.get(), url.c_str());
}

void onFramePrintRequest(WebKitUserContentManager*, JSCValue* message, gpointer data) {
    auto* view = WEBKIT_WEB_VIEW(data);
    GCharPtr text(jsc_value_to_string(message));
    if (!text)
        return;
    nlohmann::json request = nlohmann::json::parse(text.get(), nullptr, false);
    if (!request.is_object() || !request.contains("url") || !request["url"].is_string() ||
        !request.contains("snapshot") || !request["snapshot"].is_object() ||
        !request["snapshot"].contains("elements") || !request["snapshot"]["elements"].is_array())
        return;
    std::string url = request["url"].get<std::string>();
    if (!sameSite(url, webkit_web_view_get_uri(view)))
        return;
    startFramePrint(
        view, url,
        request["snapshot"].dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

gboolean onPrint(WebKitWebView* view, WebKitPrintOperation* operation, gpointer) {
    GtkWindow* parent = windowOf(view);
    try {
        runPrint(operation, parent);
    } catch (const std::exception& e) {
        reportError(parent, e);
    }
    return TRUE;
}

} // namespace

void ApplyPageSetupMargins(WebKitPrintOperation* operation, const TPrinterSettings& PageSetup) {
    GtkPageSetup* current = webkit_print_operation_get_page_setup(operation);
    GObjectPtr<GtkPageSetup> setup(current ? gtk_page_setup_copy(current) : gtk_page_setup_new());
    gtk_page_setup_set_left_margin(setup.get(), PageSetup.MarginLeft, GTK_UNIT_INCH);
    gtk_page_setup_set_top_margin(setup.get(), PageSetup.MarginTop, GTK_UNIT_INCH);
    gtk_page_setup_set_right_margin(setup.get(), PageSetup.MarginRight, GTK_UNIT_INCH);
    gtk_page_setup_set_bottom_margin(setup.get(), PageSetup.MarginBottom, GTK_UNIT_INCH);
    webkit_print_operation_set_page_setup(operation, setup.get());
}

void SetPrintRunner(PrintRunner runner) {
    printRunner() = std::move(runner);
}

int PendingFramePrints() {
    return pendingCount();
}

void AttachPagePrinting(WebKitWebView* view) {
    g_signal_connect(view, "print", G_CALLBACK(onPrint), nullptr);

    WebKitUserContentManager* manager = webkit_web_view_get_user_content_manager(view);
    const std::string framePrint = Script({"snapshot.js", "print-frame.js"});
    WebKitUserScript* script =
        webkit_user_script_new(framePrint.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
                               WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(manager, script);
    webkit_user_script_unref(script);
    webkit_user_content_manager_register_script_message_handler(manager, FramePrintHandler,
                                                                nullptr);
    g_signal_connect_object(manager,
                            (std::string("script-message-received::") + FramePrintHandler).c_str(),
                            G_CALLBACK(onFramePrintRequest), view, G_CONNECT_DEFAULT);

    CreatePageSetupStore();
}

} // namespace vedris::web
