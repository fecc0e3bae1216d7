#include "desktop/MessageBox.h"

#include <algorithm>
#include <memory>

#include <gtk/gtk.h>

namespace vedris::desktop {

namespace {

struct Box {
    GtkWindow* window = nullptr;
    GtkEntry* entry = nullptr;
    MessageKind kind = MessageKind::Information;
    std::string text;
    GtkWindow* parent = nullptr;
    std::function<void(const Answer&)> done;
    bool answered = false;
};

struct ObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using GObjectPtr = std::unique_ptr<void, ObjectUnref>;

// Every open box, oldest first. Boxes live on the user-interface thread only.
std::vector<Box*>& openBoxes() {
    static std::vector<Box*> boxes;
    return boxes;
}

Box* findBox(GtkWindow* window) {
    for (Box* box : openBoxes())
        if (box->window == window)
            return box;
    return nullptr;
}

// Runs the callback once and closes the box; the Box is freed when the window goes.
void answer(Box* box, bool ok) {
    if (box->answered)
        return;
    box->answered = true;
    Answer result;
    result.ok = ok;
    if (box->entry)
        result.text = gtk_editable_get_text(GTK_EDITABLE(box->entry));
    auto done = std::move(box->done);
    gtk_window_destroy(box->window);
    if (done)
        done(result);
}

void onOk(GtkButton*, gpointer data) {
    answer(static_cast<Box*>(data), true);
}
void onCancel(GtkButton*, gpointer data) {
    answer(static_cast<Box*>(data), false);
}

// The title-bar close: a box with one button says OK, a question box says Cancel; the
// stay-or-leave box stays.
bool closingSaysOk(MessageKind kind) {
    return kind == MessageKind::Error || kind == MessageKind::Information ||
           kind == MessageKind::StayOrLeave;
}

gboolean onCloseRequest(GtkWindow*, gpointer data) {
    auto* box = static_cast<Box*>(data);
    answer(box, closingSaysOk(box->kind));
    return TRUE;
}

gboolean onEscape(GtkWidget*, GVariant*, gpointer data) {
    onCloseRequest(nullptr, data);
    return TRUE;
}

void onDestroy(GtkWidget*, gpointer data) {
    auto* box = static_cast<Box*>(data);
    auto& boxes = openBoxes();
    boxes.erase(std::remove(boxes.begin(), boxes.end(), box), boxes.end());
    // A box whose parent went away without an answer still tells its owner.
    if (!box->answered) {
        box->answered = true;
        auto done = std::move(box->done);
        if (done)
            done(Answer{closingSaysOk(box->kind), {}});
    }
    delete box;
}

// The text as the box shows it. Laying out text costs time on the user-interface thread
// (a megabyte took GTK ten seconds, with the window frozen), and nobody reads that much in
// a box: beyond MaxShownChars the box says how much it left out.
constexpr long MaxShownChars = 8 * 1024;

std::string Shown(const std::string& text) {
    const char* begin = text.c_str();
    if (!g_utf8_validate(begin, static_cast<gssize>(text.size()), nullptr))
        return text.size() <= MaxShownChars ? text : text.substr(0, MaxShownChars) + "…";
    long chars = g_utf8_strlen(begin, static_cast<gssize>(text.size()));
    if (chars <= MaxShownChars)
        return text;
    const char* cut = g_utf8_offset_to_pointer(begin, MaxShownChars);
    return std::string(begin, cut) + texts::BoxTextCut1 + std::to_string(chars - MaxShownChars) +
           texts::BoxTextCut2;
}

// Widest text column, in pixels: with the icon and the margins the box stays near 600.
constexpr int MaxTextWidth = 520;

// Tallest text column: what the screen (the parent's, or the first) leaves beside the
// title bar, the margins and the button row.
int MaxTextHeight(GtkWindow* parent) {
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = nullptr;
    if (parent && gtk_widget_get_realized(GTK_WIDGET(parent)))
        monitor =
            gdk_display_get_monitor_at_surface(display, gtk_native_get_surface(GTK_NATIVE(parent)));
    GListModel* monitors = display ? gdk_display_get_monitors(display) : nullptr;
    GObjectPtr first;
    if (!monitor && monitors && g_list_model_get_n_items(monitors) > 0) {
        first.reset(g_list_model_get_item(monitors, 0));
        monitor = GDK_MONITOR(first.get());
    }
    int screen = 768;
    if (monitor) {
        GdkRectangle area{};
        gdk_monitor_get_geometry(monitor, &area);
        screen = area.height;
    }
    return std::max(100, screen - 200);
}

} // namespace

std::string WithFullStop(const std::string& message) {
    if (message.empty())
        return message;
    gunichar last = 0;
    if (g_utf8_validate(message.data(), static_cast<gssize>(message.size()), nullptr)) {
        const char* end = message.data() + message.size();
        last = g_utf8_get_char(g_utf8_prev_char(end));
    } else {
        last = static_cast<unsigned char>(message.back());
    }
    if (last > '.')
        return message + ".";
    return message;
}

void ShowMessageBox(GtkWindow* parent, MessageKind kind, const std::string& text,
                    std::function<void(const Answer&)> done, const std::string& promptDefault) {
    auto* box = new Box;
    box->kind = kind;
    box->text = text;
    box->parent = parent;
    box->done = std::move(done);

    // A screen reader says the box is a question or a warning, and reads its text with it.
    GtkWidget* window = GTK_WIDGET(g_object_new(GTK_TYPE_WINDOW, "accessible-role",
                                                GTK_ACCESSIBLE_ROLE_ALERT_DIALOG, nullptr));
    gtk_accessible_update_property(GTK_ACCESSIBLE(window), GTK_ACCESSIBLE_PROPERTY_DESCRIPTION,
                                   text.c_str(), -1);
    box->window = GTK_WINDOW(window);
    gtk_window_set_title(box->window, ApplicationTitle);
    gtk_window_set_resizable(box->window, FALSE);
    gtk_window_set_modal(box->window, TRUE);
    if (parent) {
        gtk_window_set_transient_for(box->window, parent);
        gtk_window_set_destroy_with_parent(box->window, TRUE);
    }

    GtkWidget* outer = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_widget_set_margin_top(outer, 18);
    gtk_widget_set_margin_bottom(outer, 12);
    gtk_widget_set_margin_start(outer, 18);
    gtk_widget_set_margin_end(outer, 18);

    GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 14);
    if (kind == MessageKind::Error || kind == MessageKind::StayOrLeave) {
        GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error");
        gtk_image_set_pixel_size(GTK_IMAGE(icon), 32);
        gtk_accessible_update_property(GTK_ACCESSIBLE(icon), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                       texts::ErrorIcon, -1);
        gtk_widget_set_valign(icon, GTK_ALIGN_START);
        gtk_box_append(GTK_BOX(row), icon);
    }
    // Any text wraps, inside a word too (a long path, a value without blanks), and a long
    // one scrolls: the box stays narrow and within the screen with its button in sight.
    GtkWidget* label = gtk_label_new(Shown(text).c_str());
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
    GtkWidget* scroller = gtk_scrolled_window_new();
    gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroller), GTK_POLICY_NEVER,
                                   GTK_POLICY_AUTOMATIC);
    gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scroller), TRUE);
    gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroller), TRUE);
    gtk_scrolled_window_set_max_content_width(GTK_SCROLLED_WINDOW(scroller), MaxTextWidth);
    gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroller),
                                               MaxTextHeight(parent));
    gtk_scrolled_window_set_child(GTK_SCROLLED_WINDOW(scroller), label);
    gtk_widget_set_hexpand(scroller, TRUE);
    gtk_widget_set_vexpand(scroller, TRUE);
    gtk_box_append(GTK_BOX(row), scroller);
    gtk_box_append(GTK_BOX(outer), row);

    if (kind == MessageKind::Prompt) {
        GtkWidget* entry = gtk_entry_new();
        box->entry = GTK_ENTRY(entry);
        gtk_editable_set_text(GTK_EDITABLE(entry), promptDefault.c_str());
        gtk_entry_set_activates_default(box->entry, TRUE);
        gtk_box_append(GTK_BOX(outer), entry);
    }

    GtkWidget* buttons = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 8);
    gtk_widget_set_halign(buttons, GTK_ALIGN_END);
    const bool choice = kind == MessageKind::StayOrLeave;
    if (kind == MessageKind::Confirm || kind == MessageKind::Prompt || choice) {
        GtkWidget* cancel = gtk_button_new_with_label(choice ? texts::LeaveUnsaved : CancelText);
        g_signal_connect(cancel, "clicked", G_CALLBACK(onCancel), box);
        gtk_box_append(GTK_BOX(buttons), cancel);
    }
    GtkWidget* ok = gtk_button_new_with_label(choice ? texts::StayOnPage : OkText);
    gtk_widget_add_css_class(ok, "suggested-action");
    g_signal_connect(ok, "clicked", G_CALLBACK(onOk), box);
    gtk_box_append(GTK_BOX(buttons), ok);
    gtk_box_append(GTK_BOX(outer), buttons);

    gtk_window_set_child(box->window, outer);
    gtk_window_set_default_widget(box->window, ok);
    if (box->entry)
        gtk_widget_grab_focus(GTK_WIDGET(box->entry));
    else
        gtk_widget_grab_focus(ok);

    GtkEventController* keys = gtk_shortcut_controller_new();
    gtk_shortcut_controller_add_shortcut(
        GTK_SHORTCUT_CONTROLLER(keys),
        gtk_shortcut_new(gtk_keyval_trigger_new(GDK_KEY_Escape, GdkModifierType(0)),
                         gtk_callback_action_new(onEscape, box, nullptr)));
    gtk_widget_add_controller(window, keys);

    g_signal_connect(window, "close-request", G_CALLBACK(onCloseRequest), box);
    g_signal_connect(window, "destroy", G_CALLBACK(onDestroy), box);
    openBoxes().push_back(box);
    gtk_window_present(box->window);
}

void AskStayOrLeave(GtkWindow* parent, const std::string& error, std::function<void(bool)> done) {
    ShowMessageBox(parent, MessageKind::StayOrLeave,
                   WithFullStop(error) + texts::StayOrLeaveQuestion,
                   [done = std::move(done)](const Answer& answer) {
                       if (done)
                           done(!answer.ok);
                   });
}

void ShowMessageBoxOnItsOwn(MessageKind kind, const std::string& text) {
    // Without a hold the application would end with its last window, box and all.
    GApplication* app = g_application_get_default();
    if (app)
        g_application_hold(app);
    ShowMessageBox(nullptr, kind, text, [app](const Answer&) {
        if (app)
            g_application_release(app);
    });
}

std::vector<OpenBox> OpenMessageBoxes() {
    std::vector<OpenBox> result;
    for (Box* box : openBoxes()) {
        OpenBox info;
        info.window = box->window;
        info.kind = box->kind;
        const char* title = gtk_window_get_title(box->window);
        info.caption = title ? title : "";
        info.text = box->text;
        info.modal = gtk_window_get_modal(box->window);
        info.parent = box->parent;
        result.push_back(info);
    }
    return result;
}

void AnswerMessageBox(GtkWindow* window, bool ok, const std::optional<std::string>& text) {
    Box* box = findBox(window);
    if (!box)
        return;
    if (text && box->entry)
        gtk_editable_set_text(GTK_EDITABLE(box->entry), text->c_str());
    answer(box, ok);
}

} // namespace vedris::desktop
