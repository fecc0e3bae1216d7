#pragma once
// Folders inside a folder that several users share. The package's results folder belongs
// to a group whose members take turns (group-writable, setgid): what one member makes in it
// must stay usable by the next, whatever that member's umask.
#include <string>

namespace vedris::fs {

// Makes folder and any missing parents. Each folder this call creates, and folder itself
// when this user owns it, gets the group bits (read, write, search, setgid) of the folder
// it stands in, when that one is group-writable; otherwise the umask decides, as usual.
// Raises WriteError, with the system's reason, when folder cannot be made.
void createSharedFolder(const std::string& folder);

} // namespace vedris::fs
