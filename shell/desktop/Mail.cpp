#include "desktop/Mail.h"

#include <glib.h>

namespace vedris::desktop {

std::vector<std::string> MailCommandLine(const MailMessage& message) {
    return {"xdg-email", "--utf8",
            "--subject", message.Subject,
            "--to",      message.RecipientName + " <" + message.RecipientAddress + ">",
            "--attach",  message.Attachment};
}

void ComposeMail(const MailMessage& message) {
    std::vector<std::string> arguments = MailCommandLine(message);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib detaches the child itself, so no zombie is left
    // while the mail client keeps its window open.
    GError* error = nullptr;
    if (!g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr,
                       nullptr, &error))
        g_error_free(error);
}

} // namespace vedris::desktop
