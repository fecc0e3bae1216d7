#include "desktop/Mail.h"

#include <glib.h>

#include "GObjectPtr.h"

namespace vedris::desktop {

void ComposeMail(const MailMessage& message) {
    std::vector<std::string> arguments = MailCommandLine(message);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    // Without G_SPAWN_DO_NOT_REAP_CHILD GLib detaches the child itself, so no zombie is left
    // while the mail client keeps its window open.
    GError* error = nullptr;
    g_spawn_async(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr, nullptr, nullptr,
                  &error);
    GErrorPtr owned(error);
}

} // namespace vedris::desktop
