#pragma once
// The program's log lines (its own error reports, GTK's and WebKit's warnings) reach the
// terminal as UTF-8 whatever the locale. GLib's own writer converts them to the locale's
// character set, and under the C locale of a bare container or server every Ukrainian
// letter became "?".

namespace vedris::desktop {

// Installs the writer for the whole process; call before anything logs. Lines that GLib
// would drop (debug lines without G_MESSAGES_DEBUG) are still dropped, a journal on
// standard error still gets structured entries, and lines keep GLib's shape and streams.
void InstallUtf8LogWriter();

} // namespace vedris::desktop
