// One client per results folder: the lock itself.
#include "platform/fs/InstanceLock.h"

#include <gtest/gtest.h>

#include <filesystem>

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

} // namespace
