#include "web/Browser.h"

#include <utility>

#include <gtk/gtk.h>
#include <nlohmann/json.hpp>
#include <webkit/webkit.h>

#include "GObjectPtr.h"
#include "ShellTexts.h"
#include "desktop/MessageBox.h"
#include "web/Scripts.h"

namespace vedris::web {

namespace {

constexpr const char* MessageHandlerName = "vedrisFrames";

} // namespace

// ---- NavigationDecision ----

NavigationDecision::NavigationDecision(WebKitPolicyDecision* decision)
    : decision_(WEBKIT_POLICY_DECISION(g_object_ref(decision))) {
    if (WEBKIT_IS_NAVIGATION_POLICY_DECISION(decision)) {
        WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
            WEBKIT_NAVIGATION_POLICY_DECISION(decision));
        if (WebKitURIRequest* request = webkit_navigation_action_get_request(action))
            if (const char* uri = webkit_uri_request_get_uri(request))
                url_ = uri;
    }
}

NavigationDecision::~NavigationDecision() {
    ignore();
}

void NavigationDecision::use() {
    if (decided_)
        return;
    decided_ = true;
    webkit_policy_decision_use(decision_.get());
}

void NavigationDecision::ignore() {
    if (decided_)
        return;
    decided_ = true;
    webkit_policy_decision_ignore(decision_.get());
}

const std::string& ScriptResult::get() const {
    if (!ok)
        throw Error(error);
    return value;
}

// ---- Browser ----

struct Browser::Impl {
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer data) {
        auto* self = static_cast<Browser*>(data);
        switch (type) {
        case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION:
            if (!self->onBeforeNavigate)
                return FALSE;
            self->onBeforeNavigate(std::make_shared<NavigationDecision>(decision));
            return TRUE;
        case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION:
            // The client has one window; a page cannot open others.
            webkit_policy_decision_ignore(decision);
            return TRUE;
        default:
            return FALSE;
        }
    }

    static void onScriptMessage(WebKitUserContentManager*, JSCValue* value, gpointer data) {
        auto* self = static_cast<Browser*>(data);
        if (!self->onFrameEvent || !jsc_value_is_string(value))
            return;
        GCharPtr text(jsc_value_to_string(value));
        nlohmann::json message = nlohmann::json::parse(text.get(), nullptr, false);
        if (!message.is_object())
            return;
        FrameEvent event;
        std::string kind = message.value("kind", "");
        if (kind == "navigated")
            event.kind = FrameEvent::Kind::Navigated;
        else if (kind == "complete")
            event.kind = FrameEvent::Kind::Complete;
        else if (kind == "edited")
            event.kind = FrameEvent::Kind::Edited;
        else
            return;
        event.url = message.value("url", "");
        event.top = message.value("top", false);
        event.nested = message.value("nested", false);
        event.frameName = message.value("name", "");
        event.pageTimeMs = message.value("time", 0.0);
        if (event.kind == FrameEvent::Kind::Complete && message.contains("form")) {
            event.form = std::move(message["form"]);
            event.document = message.value("document", "");
            event.filledBy = message.value("filledBy", 0L);
        }
        self->onFrameEvent(event);
    }

    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer data) {
        auto* self = static_cast<Browser*>(data);
        const WebKitScriptDialogType type = webkit_script_dialog_get_dialog_type(dialog);
        desktop::MessageKind kind = desktop::MessageKind::Information;
        std::string text = webkit_script_dialog_get_message(dialog);
        std::string promptDefault;
        switch (type) {
        case WEBKIT_SCRIPT_DIALOG_ALERT:
            kind = desktop::MessageKind::Information;
            break;
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            kind = desktop::MessageKind::Confirm;
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            kind = desktop::MessageKind::Prompt;
            if (const char* d = webkit_script_dialog_prompt_get_default_text(dialog))
                promptDefault = d;
            break;
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            kind = desktop::MessageKind::Confirm;
            text = texts::LeavePageQuestion;
            break;
        }
        // The page's script waits until the box is answered; WebKit keeps it waiting as
        // long as we hold the dialog.
        webkit_script_dialog_ref(dialog);
        desktop::ShowMessageBox(
            self->dialogParent_, kind, text,
            [dialog, type](const desktop::Answer& answer) {
                if (type == WEBKIT_SCRIPT_DIALOG_CONFIRM ||
                    type == WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM)
                    webkit_script_dialog_confirm_set_confirmed(dialog, answer.ok);
                else if (type == WEBKIT_SCRIPT_DIALOG_PROMPT)
                    webkit_script_dialog_prompt_set_text(dialog,
                                                         answer.ok ? answer.text.c_str() : nullptr);
                webkit_script_dialog_close(dialog);
                webkit_script_dialog_unref(dialog);
            },
            promptDefault);
        return TRUE;
    }

    struct Pending {
        std::weak_ptr<bool> alive;
        std::function<void(const ScriptResult&)> done;
        bool called = false; // a function call rather than an evaluation
        Browser* browser = nullptr;
        long generation = 0; // the web process it was sent to
    };

    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                       gpointer data) {
        auto* self = static_cast<Browser*>(data);
        ++self->processGeneration_;
        if (self->onWebProcessGone)
            self->onWebProcessGone();
    }

    static void onEvaluated(GObject* source, GAsyncResult* result, gpointer data) {
        std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
        GError* failure = nullptr;
        GObjectPtr<JSCValue> value(pending->called
                                       ? webkit_web_view_call_async_javascript_function_finish(
                                             WEBKIT_WEB_VIEW(source), result, &failure)
                                       : webkit_web_view_evaluate_javascript_finish(
                                             WEBKIT_WEB_VIEW(source), result, &failure));
        GErrorPtr error(failure);
        if (pending->alive.expired())
            return;
        ScriptResult outcome;
        if (pending->browser->processGeneration_ != pending->generation) {
            // The engine's words for a process that went away ("Unsupported result type")
            // mean nothing to the candidate.
            outcome.error = texts::WebProcessGoneError;
        } else if (!value) {
            // WebKit prefixes the page's exception with its own words; the exception's
            // message is what the bridge's scripts say.
            outcome.error = error && error->message ? error->message : "JavaScript error";
        } else {
            outcome.ok = true;
            if (jsc_value_is_string(value.get())) {
                GCharPtr text(jsc_value_to_string(value.get()));
                outcome.value = text.get();
            } else if (!jsc_value_is_undefined(value.get()) && !jsc_value_is_null(value.get())) {
                GCharPtr text(jsc_value_to_json(value.get(), 0));
                if (text)
                    outcome.value = text.get();
            }
        }
        if (pending->done)
            pending->done(outcome);
    }
};

Browser::Browser(const std::string& assessmentsFolder)
    : folder_(assessmentsFolder), alive_(std::make_shared<bool>(true)) {
    GObjectPtr<WebKitWebContext> context(webkit_web_context_new());
    RegisterAssessmentScheme(context.get(), folder_);
    // Pages of the scheme may reach each other's frames (same origin) but not local files.
    WebKitSecurityManager* security = webkit_web_context_get_security_manager(context.get());
    webkit_security_manager_register_uri_scheme_as_secure(security, SchemeName);
    webkit_security_manager_register_uri_scheme_as_cors_enabled(security, SchemeName);

    GObjectPtr<WebKitUserContentManager> content(webkit_user_content_manager_new());
    const std::string frameEvents = "var vedrisFormFrame = " +
                                    nlohmann::json(FormFrameName).dump() + ";\n" +
                                    Script({"snapshot.js", "frame-events.js"});
    WebKitUserScript* script = webkit_user_script_new_for_world(
        frameEvents.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, BridgeWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content.get(), script);
    webkit_user_script_unref(script);
    g_signal_connect(content.get(), "script-message-received::vedrisFrames",
                     G_CALLBACK(Impl::onScriptMessage), this);
    webkit_user_content_manager_register_script_message_handler(content.get(), MessageHandlerName,
                                                                BridgeWorld);

    GObjectPtr<WebKitNetworkSession> session(webkit_network_session_new_ephemeral());
    view_.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(
        g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", context.get(), "network-session",
                     session.get(), "user-content-manager", content.get(), nullptr))));

    WebKitSettings* settings = webkit_web_view_get_settings(view_.get());
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    // Pages that name no encoding are UTF-8.
    webkit_settings_set_default_charset(settings, "UTF-8");
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);

    g_signal_connect(view_.get(), "decide-policy", G_CALLBACK(Impl::onDecidePolicy), this);
    g_signal_connect(view_.get(), "script-dialog", G_CALLBACK(Impl::onScriptDialog), this);
    g_signal_connect(view_.get(), "web-process-terminated",
                     G_CALLBACK(Impl::onWebProcessTerminated), this);
}

Browser::~Browser() {
    alive_.reset();
    if (startScript_)
        webkit_user_script_unref(startScript_);
    g_signal_handlers_disconnect_by_data(view_.get(), this);
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_.get());
    if (content) {
        g_signal_handlers_disconnect_by_data(content, this);
        webkit_user_content_manager_unregister_script_message_handler(content, MessageHandlerName,
                                                                      BridgeWorld);
    }
}

GtkWidget* Browser::widget() const {
    return GTK_WIDGET(view_.get());
}

void Browser::navigate(const std::string& filePath) {
    loadUrl(folder_.urlForFile(filePath));
}

void Browser::loadUrl(const std::string& url) {
    webkit_web_view_load_uri(view_.get(), url.c_str());
}

std::string Browser::url() const {
    const char* uri = webkit_web_view_get_uri(view_.get());
    return uri ? uri : "";
}

std::optional<std::string> Browser::recognitionPath(const std::string& url) const {
    if (auto path = folder_.pathForUrl(url)) {
        if (!folder_.fileToServe(url))
            return std::nullopt;
        return *path;
    }
    return url;
}

void Browser::setStartScript(const std::string& source) {
    WebKitUserContentManager* content = webkit_web_view_get_user_content_manager(view_.get());
    if (startScript_) {
        webkit_user_content_manager_remove_script(content, startScript_);
        webkit_user_script_unref(std::exchange(startScript_, nullptr));
    }
    if (source.empty())
        return;
    startScript_ = webkit_user_script_new_for_world(
        source.c_str(), WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
        WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, BridgeWorld, nullptr, nullptr);
    webkit_user_content_manager_add_script(content, startScript_);
}

void Browser::evaluate(const std::string& script, std::function<void(const ScriptResult&)> done) {
    evaluateIn(BridgeWorld, script, std::move(done));
}

void Browser::call(const std::string& body, const char* argName, const std::string& argValue,
                   std::function<void(const ScriptResult&)> done) {
    auto* pending = new Impl::Pending{alive_, std::move(done), true, this, processGeneration_};
    GVariantBuilder arguments;
    g_variant_builder_init(&arguments, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&arguments, "{sv}", argName, g_variant_new_string(argValue.c_str()));
    webkit_web_view_call_async_javascript_function(view_.get(), body.c_str(),
                                                   static_cast<gssize>(body.size()),
                                                   g_variant_builder_end(&arguments), BridgeWorld,
                                                   nullptr, nullptr, Impl::onEvaluated, pending);
}

void Browser::evaluateInPage(const std::string& script,
                             std::function<void(const ScriptResult&)> done) {
    evaluateIn(nullptr, script, std::move(done));
}

void Browser::evaluateIn(const char* world, const std::string& script,
                         std::function<void(const ScriptResult&)> done) {
    auto* pending = new Impl::Pending{alive_, std::move(done), false, this, processGeneration_};
    webkit_web_view_evaluate_javascript(view_.get(), script.c_str(),
                                        static_cast<gssize>(script.size()), world, nullptr, nullptr,
                                        Impl::onEvaluated, pending);
}

} // namespace vedris::web
