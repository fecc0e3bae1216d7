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

// The title-bar close: a box with one button says OK, a question box says Cancel.
gboolean onCloseRequest(GtkWindow*, gpointer data) {
    auto* box = static_cast<Box*>(data);
    bool single = box->kind == MessageKind::Error || box->kind == MessageKind::Information;
    answer(box, single);
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
        bool single = box->kind == MessageKind::Error || box->kind == MessageKind::Information;
        if (done)
            done(Answer{single, {}});
    }
    delete box;
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

    GtkWidget* window = gtk_window_new();
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
    if (kind == MessageKind::Error) {
        GtkWidget* icon = gtk_image_new_from_icon_name("dialog-error");
        gtk_image_set_pixel_size(GTK_IMAGE(icon), 32);
        gtk_widget_set_valign(icon, GTK_ALIGN_START);
        gtk_box_append(GTK_BOX(row), icon);
    }
    GtkWidget* label = gtk_label_new(text.c_str());
    gtk_label_set_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
    gtk_label_set_selectable(GTK_LABEL(label), TRUE);
    gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
    gtk_widget_set_hexpand(label, TRUE);
    gtk_box_append(GTK_BOX(row), label);
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
    if (kind == MessageKind::Confirm || kind == MessageKind::Prompt) {
        GtkWidget* cancel = gtk_button_new_with_label(CancelText);
        g_signal_connect(cancel, "clicked", G_CALLBACK(onCancel), box);
        gtk_box_append(GTK_BOX(buttons), cancel);
    }
    GtkWidget* ok = gtk_button_new_with_label(OkText);
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
