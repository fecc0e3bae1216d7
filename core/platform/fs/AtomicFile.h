#pragma once
// Whole files: durable replacement (a crash, a kill or a full disk at any moment leaves
// either the old content or the new one at the path, never a truncated file), durable
// creation, and whole-file reads. Every file of the program is read and written here.
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vedris::fs {

// A file that could not be written or read, with the system's reason in the message and
// its error number in code() (0 when there is none).
class WriteError : public std::runtime_error {
public:
    explicit WriteError(const std::string& message, int code = 0)
        : std::runtime_error(message), code_(code) {}
    int code() const { return code_; }

private:
    int code_;
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
// The same for every file of folder whose name ends with extension (".json"), whether or
// not the file itself exists: for a folder all of whose files the program writes.
std::vector<std::string> removeLeftoverTemporariesIn(const std::string& folder,
                                                     std::string_view extension);

// Copies the file at from to to in the same durable way; raises WriteError when the
// source cannot be read or the target cannot be written.
void copyFileAtomically(const std::string& from, const std::string& to);

// Writes data as a new file at path, durably, but never over anything already there:
// returns false, writing nothing, when path exists (a dangling symbolic link included), also
// when another process makes it meanwhile. Raises WriteError otherwise. The folder must
// exist. The file gets mode (permission bits) from its first moment under its name.
bool createFileAtomically(const std::string& path, std::string_view data, unsigned mode = 0600);

// The whole content of a file; raises WriteError with the system's reason when it cannot
// be read.
std::string readFile(const std::string& path);

// The same, but none when there is no file at path (nor the folder it would be in); a
// folder at path or a file that cannot be read still raises WriteError.
std::optional<std::string> readFileIfPresent(const std::string& path);

} // namespace vedris::fs
