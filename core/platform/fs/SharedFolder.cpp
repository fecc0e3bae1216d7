#include "platform/fs/SharedFolder.h"

#include "Texts.h"
#include "platform/fs/AtomicFile.h"

#include <filesystem>
#include <vector>
#include <sys/stat.h>
#include <unistd.h>

namespace vedris::fs {
namespace {

// Gives path the group bits of its parent when the parent is shared with its group.
void shareLikeParent(const std::filesystem::path& path) {
    struct stat parent {};
    struct stat own {};
    const std::filesystem::path up = path.has_parent_path() ? path.parent_path() : ".";
    if (::stat(up.c_str(), &parent) != 0 || ::stat(path.c_str(), &own) != 0)
        return;
    if ((parent.st_mode & S_IWGRP) == 0 || own.st_uid != ::geteuid())
        return;
    const mode_t group = parent.st_mode & (S_IRWXG | S_ISGID);
    const mode_t wanted = (own.st_mode & 07777) | group;
    if (wanted != (own.st_mode & 07777))
        ::chmod(path.c_str(), wanted);
}

} // namespace

void createSharedFolder(const std::string& folder) {
    std::filesystem::path path(folder);
    while (!path.empty() && !path.has_filename())
        path = path.parent_path(); // "Results/drafts/" names the folder "drafts"
    // The folders made here, outermost first, so each takes its bits from one already set.
    std::vector<std::filesystem::path> made;
    for (auto p = path; !p.empty() && !std::filesystem::exists(p); p = p.parent_path()) {
        made.insert(made.begin(), p);
        if (!p.has_parent_path() || p.parent_path() == p)
            break;
    }
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec)
        throw WriteError(texts::FolderNotCreated + folder + ": " + ec.message(), ec.value());
    for (const auto& p : made)
        shareLikeParent(p);
    shareLikeParent(path);
}

} // namespace vedris::fs
