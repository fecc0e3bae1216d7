#include "web/Scripts.h"

#include <gio/gio.h>

#include "GObjectPtr.h"

// The generated header declares C functions without saying so.
extern "C" {
#include "vedris-scripts.h"
}

namespace vedris::web {

std::string Script(std::initializer_list<const char*> names) {
    std::string text;
    for (const char* name : names) {
        const std::string path = std::string("/ua/org/vedris/scripts/") + name;
        GBytesPtr bytes(g_resource_lookup_data(vedris_scripts_get_resource(), path.c_str(),
                                               G_RESOURCE_LOOKUP_FLAGS_NONE, nullptr));
        if (!bytes)
            g_error("script %s is not compiled in", path.c_str());
        gsize size = 0;
        const auto* data = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
        text.append(data, size);
        text += '\n';
    }
    return text;
}

} // namespace vedris::web
