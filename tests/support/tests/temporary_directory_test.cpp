// Scratch folders go away whole, read-only folders included, and a link inside one never
// takes anything outside it along.
#include "tests/support/temporary_directory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

using lumivel::testing::ReadText;
using lumivel::testing::TemporaryDirectory;
using lumivel::testing::WriteText;

TEST(TemporaryDirectory, IsPrivateAndGoesAwayWithReadOnlyFoldersButNotThroughLinks) {
    TemporaryDirectory outside("lumivel-support-outside");
    WriteText(outside.path() + "/kept.txt", "kept");
    std::string removed;
    {
        TemporaryDirectory scratch("lumivel-support");
        removed = scratch.path();
        struct stat info {};
        ASSERT_EQ(stat(removed.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        ASSERT_EQ(mkdir((removed + "/locked").c_str(), 0700), 0);
        WriteText(removed + "/locked/inner.txt", "x");
        ASSERT_EQ(chmod((removed + "/locked").c_str(), 0500), 0);
        ASSERT_EQ(symlink(outside.path().c_str(), (removed + "/link").c_str()), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(removed));
    EXPECT_EQ(ReadText(outside.path() + "/kept.txt"), "kept");
    struct stat info {};
    ASSERT_EQ(stat(outside.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "the link's target keeps its permissions";
}

}  // namespace
