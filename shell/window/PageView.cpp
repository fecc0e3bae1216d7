#define G_LOG_DOMAIN "Vedris"

#include "window/PageView.h"

#include <cmath>
#include <filesystem>

#include <gtk/gtk.h>
#include <webkit/webkit.h>

#include "ShellTexts.h"
#include "platform/ini/IniFile.h"
#include "printing/uPrinterSettings.h"
#include "settings/ViewSettings.h"

namespace vedris::window {

namespace {

constexpr const char* General = "General";
constexpr const char* ZoomKey = "Zoom";

// The level the user chose last, else the installation's, else the normal size.
int startingZoom(const std::string& installationZoom) {
    const std::string store = ViewSettingsPath();
    try {
        if (!store.empty())
            if (auto kept = ini::IniFile(store).read(General, ZoomKey))
                if (auto level = ParseZoomLevel(*kept))
                    return *level;
    } catch (const std::exception& e) {
        g_message("%s", e.what());
    }
    return ParseZoomLevel(installationZoom).value_or(NormalZoom);
}

// The zoom is a comfort, not an answer: a store that cannot be written is only logged.
void keepZoom(int percent) {
    const std::string store = ViewSettingsPath();
    if (store.empty())
        return;
    try {
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(store).parent_path(), ignored);
        ini::IniFile(store).writeString(General, ZoomKey, std::to_string(percent));
    } catch (const std::exception& e) {
        g_message("%s", e.what());
    }
}

void enableSpellCheck(WebKitWebView* view, bool on) {
    WebKitWebContext* context = webkit_web_view_get_context(view);
    webkit_web_context_set_spell_checking_enabled(context, on);
    if (on) {
        const char* const languages[] = {"uk_UA", nullptr};
        webkit_web_context_set_spell_checking_languages(context, languages);
    }
}

// The find bar's own close button shows only an icon: give it a name a screen reader can say.
void nameCloseButton(GtkWidget* widget) {
    for (GtkWidget* child = gtk_widget_get_first_child(widget); child;
         child = gtk_widget_get_next_sibling(child)) {
        if (GTK_IS_BUTTON(child))
            gtk_accessible_update_property(GTK_ACCESSIBLE(child), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                           texts::CloseFindBar, -1);
        else
            nameCloseButton(child);
    }
}

} // namespace

std::string ViewSettingsPath() {
    const std::string pageSetup = PageSetupStorePath();
    if (pageSetup.empty())
        return {};
    return (std::filesystem::path(pageSetup).parent_path() / "view.ini").string();
}

struct PageView::Callbacks {
    static PageView* self(gpointer data) { return static_cast<PageView*>(data); }
    static void zoomIn(GSimpleAction*, GVariant*, gpointer data) {
        self(data)->setZoomLevel(NextZoomLevel(self(data)->zoomLevel(), true));
    }
    static void zoomOut(GSimpleAction*, GVariant*, gpointer data) {
        self(data)->setZoomLevel(NextZoomLevel(self(data)->zoomLevel(), false));
    }
    static void zoomReset(GSimpleAction*, GVariant*, gpointer data) {
        self(data)->setZoomLevel(NormalZoom);
    }
    static void find(GSimpleAction*, GVariant*, gpointer data) { self(data)->openFindBar(); }

    static gboolean onScroll(GtkEventControllerScroll* scroll, double, double dy, gpointer data) {
        const auto state =
            gtk_event_controller_get_current_event_state(GTK_EVENT_CONTROLLER(scroll));
        if (!(state & GDK_CONTROL_MASK))
            return FALSE;
        // A touchpad sends small steps: the zoom moves once they add up to a wheel's notch.
        PageView* view = self(data);
        view->scrolled_ += dy;
        while (std::abs(view->scrolled_) >= 1) {
            const bool larger = view->scrolled_ < 0;
            view->scrolled_ += larger ? 1 : -1;
            view->setZoomLevel(NextZoomLevel(view->zoomLevel(), larger));
        }
        return TRUE;
    }

    static void onFindChanged(GtkSearchEntry*, gpointer data) { self(data)->find(false); }
    static void onFindNext(GtkSearchEntry*, gpointer data) { self(data)->find(false); }
    static void onFindPrevious(GtkSearchEntry*, gpointer data) { self(data)->find(true); }
    static void onFindBarShown(GObject*, GParamSpec*, gpointer data) {
        PageView* view = self(data);
        if (view->findBarShown())
            return;
        webkit_find_controller_search_finish(webkit_web_view_get_find_controller(view->view_));
        gtk_widget_grab_focus(GTK_WIDGET(view->view_));
    }
};

PageView::PageView(WebKitWebView* view, GtkBuilder* builder, const std::string& startZoom,
                   bool spellCheck)
    : view_(view), findBar_(GTK_SEARCH_BAR(gtk_builder_get_object(builder, "FFindBar"))),
      findEntry_(GTK_EDITABLE(gtk_builder_get_object(builder, "FFindEntry"))) {
    webkit_web_view_set_zoom_level(view_, startingZoom(startZoom) / 100.0);
    enableSpellCheck(view_, spellCheck);
    addScrollZoom();
    connectFindBar();
}

void PageView::addActions(GActionMap* actions) {
    const GActionEntry entries[] = {
        {"zoomIn", Callbacks::zoomIn, nullptr, nullptr, nullptr, {}},
        {"zoomOut", Callbacks::zoomOut, nullptr, nullptr, nullptr, {}},
        {"zoomReset", Callbacks::zoomReset, nullptr, nullptr, nullptr, {}},
        {"find", Callbacks::find, nullptr, nullptr, nullptr, {}},
    };
    g_action_map_add_action_entries(actions, entries, G_N_ELEMENTS(entries), this);
}

int PageView::zoomLevel() const {
    return static_cast<int>(std::lround(webkit_web_view_get_zoom_level(view_) * 100));
}

void PageView::setZoomLevel(int percent) {
    if (percent == zoomLevel())
        return;
    webkit_web_view_set_zoom_level(view_, percent / 100.0);
    keepZoom(percent);
}

bool PageView::findBarShown() const {
    return gtk_search_bar_get_search_mode(findBar_);
}

GtkWidget* PageView::findEntry() const {
    return GTK_WIDGET(findEntry_);
}

void PageView::addScrollZoom() {
    GtkEventController* scroll =
        gtk_event_controller_scroll_new(GTK_EVENT_CONTROLLER_SCROLL_VERTICAL);
    // Before the page scrolls with the same wheel.
    gtk_event_controller_set_propagation_phase(scroll, GTK_PHASE_CAPTURE);
    g_signal_connect(scroll, "scroll", G_CALLBACK(Callbacks::onScroll), this);
    gtk_widget_add_controller(GTK_WIDGET(view_), scroll);
}

void PageView::connectFindBar() {
    // Escape in the entry closes the bar; Enter and Ctrl+G go to the next match.
    gtk_search_bar_connect_entry(findBar_, findEntry_);
    nameCloseButton(GTK_WIDGET(findBar_));
    g_signal_connect(findEntry_, "search-changed", G_CALLBACK(Callbacks::onFindChanged), this);
    g_signal_connect(findEntry_, "activate", G_CALLBACK(Callbacks::onFindNext), this);
    g_signal_connect(findEntry_, "next-match", G_CALLBACK(Callbacks::onFindNext), this);
    g_signal_connect(findEntry_, "previous-match", G_CALLBACK(Callbacks::onFindPrevious), this);
    g_signal_connect(findBar_, "notify::search-mode-enabled", G_CALLBACK(Callbacks::onFindBarShown),
                     this);
}

void PageView::openFindBar() {
    gtk_search_bar_set_search_mode(findBar_, TRUE);
    gtk_widget_grab_focus(GTK_WIDGET(findEntry_));
}

void PageView::find(bool backwards) {
    WebKitFindController* finder = webkit_web_view_get_find_controller(view_);
    const char* text = gtk_editable_get_text(findEntry_);
    if (!text || !*text) {
        webkit_find_controller_search_finish(finder);
        return;
    }
    const char* searched = webkit_find_controller_get_search_text(finder);
    if (searched && g_strcmp0(searched, text) == 0) {
        backwards ? webkit_find_controller_search_previous(finder)
                  : webkit_find_controller_search_next(finder);
        return;
    }
    const guint32 options = WEBKIT_FIND_OPTIONS_CASE_INSENSITIVE | WEBKIT_FIND_OPTIONS_WRAP_AROUND;
    webkit_find_controller_search(finder, text, options, G_MAXUINT);
}

} // namespace vedris::window
