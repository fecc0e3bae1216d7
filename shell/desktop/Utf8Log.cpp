#include "desktop/Utf8Log.h"

#include <cstdio>
#include <string>

#include <glib.h>
#include <unistd.h>

namespace vedris::desktop {

namespace {

const char* levelName(GLogLevelFlags level) {
    if (level & G_LOG_LEVEL_ERROR)
        return "ERROR";
    if (level & G_LOG_LEVEL_CRITICAL)
        return "CRITICAL";
    if (level & G_LOG_LEVEL_WARNING)
        return "WARNING";
    if (level & G_LOG_LEVEL_MESSAGE)
        return "Message";
    if (level & G_LOG_LEVEL_INFO)
        return "INFO";
    return "DEBUG";
}

GLogWriterOutput writeUtf8(GLogLevelFlags level, const GLogField* fields, gsize count, gpointer) {
    const char* domain = nullptr;
    std::string message;
    for (gsize i = 0; i < count; ++i) {
        const auto* value = static_cast<const char*>(fields[i].value);
        if (g_strcmp0(fields[i].key, "GLIB_DOMAIN") == 0)
            domain = value;
        else if (g_strcmp0(fields[i].key, "MESSAGE") == 0 && value)
            message = fields[i].length < 0
                          ? std::string(value)
                          : std::string(value, static_cast<std::size_t>(fields[i].length));
    }
    if (g_log_writer_default_would_drop(level, domain))
        return G_LOG_WRITER_HANDLED;
    if (g_log_writer_is_journald(fileno(stderr)) &&
        g_log_writer_journald(level, fields, count, nullptr) == G_LOG_WRITER_HANDLED)
        return G_LOG_WRITER_HANDLED;

    const bool alert = level & (G_LOG_LEVEL_ERROR | G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING);
    std::string line;
    if (alert)
        line += "(" + std::string(g_get_prgname() ? g_get_prgname() : "process") + ":" +
                std::to_string(getpid()) + "): ";
    if (domain)
        line += std::string(domain) + "-";
    else if (!alert)
        line += "** ";
    line += levelName(level);
    if (alert)
        line += " **";
    GDateTime* now = g_date_time_new_now_local();
    gchar* clock = g_date_time_format(now, "%H:%M:%S");
    char millis[16];
    std::snprintf(millis, sizeof millis, ".%03d", g_date_time_get_microsecond(now) / 1000);
    line += std::string(": ") + clock + millis + ": " + message + "\n";
    g_free(clock);
    g_date_time_unref(now);

    // The streams GLib uses: debug and info lines on standard output, the rest on error.
    FILE* stream = (level & (G_LOG_LEVEL_DEBUG | G_LOG_LEVEL_INFO)) && !alert ? stdout : stderr;
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fflush(stream);
    return G_LOG_WRITER_HANDLED;
}

} // namespace

void InstallUtf8LogWriter() {
    g_log_set_writer_func(writeUtf8, nullptr, nullptr);
}

} // namespace vedris::desktop
