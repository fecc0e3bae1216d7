#pragma once
// Durable replacement of a file: a crash, a kill or a full disk at any moment leaves
// either the old content or the new one at the path, never a truncated file.
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vedris::fs {

class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes data to a temporary file in path's folder, flushes and syncs it, renames it over
// path and syncs the folder. On failure the old file is left intact, the temporary is
// removed, and WriteError is raised with the system's reason.
void writeFileAtomically(const std::string& path, std::string_view data);

// Removes what writeFileAtomically(path, ...) leaves behind when it is interrupted (a kill, a
// crash, a power cut): the regular files in path's folder named path's file name, ".tmp-"
// and the six letters or digits mkstemp chose. Nothing else is touched; a file that cannot
// be removed stays. Returns the names of the removed files. Only the program that holds
// the folder may call it, or it would take another writer's file away.
std::vector<std::string> removeLeftoverTemporaries(const std::string& path);

// Copies the file at from to to in the same durable way; raises WriteError when the
// source cannot be read or the target cannot be written.
void copyFileAtomically(const std::string& from, const std::string& to);

// The whole content of a file; raises WriteError with the system's reason when it cannot
// be read.
std::string readFile(const std::string& path);

} // namespace vedris::fs
