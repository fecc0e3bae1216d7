// One client per results folder: the lock itself.
#include "platform/fs/InstanceLock.h"
#include "platform/fs/SharedFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TempDir.h"

using namespace vedris;
using vedris::test::TempDir;

namespace {

TEST(InstanceLock, OneHolderPerFolderAndTheFolderIsMade) {
    TempDir dir;
    const std::string folder = dir.file("Results/");
    {
        fs::InstanceLock first(folder);
        EXPECT_TRUE(std::filesystem::is_directory(folder));
        EXPECT_TRUE(first.held());
        fs::InstanceLock second(folder);
        EXPECT_FALSE(second.held());
        // Another folder is another lock.
        fs::InstanceLock other(dir.file("Other"));
        EXPECT_TRUE(other.held());
    }
    fs::InstanceLock again(folder);
    EXPECT_TRUE(again.held());
}

TEST(InstanceLock, AFolderThatCannotBeMadeRaises) {
    TempDir dir;
    dir.write("Results", "a file");
    EXPECT_THROW(fs::InstanceLock(dir.file("Results/sub")), std::runtime_error);
}

// The message a lock on folder raises, taken as an unprivileged user when the test runs as
// root (root may write anywhere); "(held)" or "(not held)" when it raised nothing.
std::string lockErrorAsUser(const std::string& folder) {
    int out[2];
    if (pipe(out) != 0)
        return "(pipe)";
    pid_t pid = fork();
    if (pid == 0) {
        close(out[0]);
        std::string text = "(none)";
        if (geteuid() != 0 || (setgid(65534) == 0 && setuid(65534) == 0)) {
            try {
                fs::InstanceLock lock(folder);
                text = lock.held() ? "(held)" : "(not held)";
            } catch (const std::exception& e) {
                text = e.what();
            }
        } else {
            text = "(setuid)";
        }
        ssize_t written = write(out[1], text.data(), text.size());
        _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return text;
}

TEST(InstanceLock, AnotherUserOfASharedFolderIsToldItIsHeld) {
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start a process as another user";
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string folder = dir.file("Results");
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::all);

    // The first user's strict umask must not lock the next one out of the lock file.
    mode_t old = umask(077);
    auto first = std::make_unique<fs::InstanceLock>(folder);
    umask(old);
    ASSERT_TRUE(first->held());
    EXPECT_EQ(lockErrorAsUser(folder), "(not held)");
    first.reset();
    EXPECT_EQ(lockErrorAsUser(folder), "(held)");
}

TEST(InstanceLock, AResultsFolderThatCannotBeWrittenIsSaidSoAndLeftAlone) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    const std::string folder = dir.file("Results") + "/";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms(0555));
    std::string msg = lockErrorAsUser(folder);
    EXPECT_EQ(msg.rfind("У папку результатів " + folder + " неможливо записувати", 0), 0u) << msg;
    EXPECT_NE(msg.find(std::strerror(EACCES)), std::string::npos) << msg;
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::permissions(folder, std::filesystem::perms(0755));
}

} // namespace

// Under a group's shared results folder, folders the client makes keep the group's bits
// whatever the umask; under a private folder the umask still decides.
TEST(SharedFolder, FoldersInASharedFolderStayUsableByTheGroup) {
    TempDir dir;
    const std::string shared = dir.file("Results");
    std::filesystem::create_directory(shared);
    ::chmod(shared.c_str(), 02770);
    const mode_t old = ::umask(077);
    fs::createSharedFolder(shared + "/archive/2026/");
    fs::createSharedFolder(dir.file("private/drafts"));
    ::umask(old);
    struct stat st {};
    ASSERT_EQ(::stat((shared + "/archive/2026").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07070, 02070u);
    ASSERT_EQ(::stat((shared + "/archive").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07070, 02070u);
    ASSERT_EQ(::stat(dir.file("private/drafts").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0070, 0u);
}
