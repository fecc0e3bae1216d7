#pragma once
// The folder chooser of the save action: GTK's own chooser for folders, modal over the
// window. GTK 4 dialogs do not block, so the answer comes back through a callback once the
// user has closed it.
#include <functional>
#include <optional>
#include <string>

typedef struct _GtkWindow GtkWindow;

namespace vedris::desktop {

// The chosen folder's path, or nothing when the user cancelled.
using FolderChoice = std::function<void(const std::optional<std::string>& folder)>;

// Shows the chooser with title, modal over parent (may be null), with nothing preselected;
// only folders of the local file system can be chosen (a folder without a local path counts
// as no choice). Returns at once; done runs when the chooser closes, never inside this
// call.
void SelectResultsFolder(GtkWindow* parent, const std::string& title, FolderChoice done);

// What answers in place of the chooser: it gets the title and parent the chooser would
// have shown and returns the folder, or nothing for a cancel. Its answer still reaches done
// from the main loop, as the chooser's would. An empty stand-in restores the chooser.
using FolderChooserStandIn =
    std::function<std::optional<std::string>(const std::string& title, GtkWindow* parent)>;
void SetFolderChooserStandIn(FolderChooserStandIn standIn);

} // namespace vedris::desktop
