// Private temporary folders: fresh, closed to others, gone afterwards with what they held,
// and never a way to remove or write anything outside them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "lumivel/private_temp_directory.h"
#include "tests/support/temporary_directory.h"
#include "win/errors.h"

namespace {

using lumivel::PrivateTempDirectory;
using lumivel::ToUtf8;
using lumivel::testing::ReadText;
using lumivel::testing::TemporaryDirectory;
using lumivel::testing::WriteText;

// Points the temporary path at a folder of the test for the length of a scope.
class TempPathOverride {
public:
    explicit TempPathOverride(const std::string& folder) {
        if (const char* old = std::getenv("TMP")) m_old = old;
        setenv("TMP", folder.c_str(), 1);
    }
    ~TempPathOverride() {
        if (m_old.empty())
            unsetenv("TMP");
        else
            setenv("TMP", m_old.c_str(), 1);
    }

private:
    std::string m_old;
};

TEST(PrivateTempDirectory, FreshClosedToOthersAndRemovedWithItsFiles) {
    TemporaryDirectory shared;
    TempPathOverride temp(shared.path());
    std::string first, second;
    {
        auto a = PrivateTempDirectory::Create(u"lumivel-backup");
        auto b = PrivateTempDirectory::Create(u"lumivel-backup");
        ASSERT_TRUE(a && b);
        first = ToUtf8(a->Path());
        second = ToUtf8(b->Path());
        EXPECT_NE(first, second);
        EXPECT_EQ(first.rfind(shared.path() + "/lumivel-backup.", 0), 0u) << first;
        EXPECT_EQ(first.back(), '/');
        struct stat st {};
        ASSERT_EQ(stat(first.c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 07777, 0700u);
        WriteText(ToUtf8(a->PathOf(u"{GUID}.inf")), "[Version]\r\n");
        WriteText(ToUtf8(a->PathOf(u"{GUID}.zip")), "PK");
        ASSERT_EQ(mkdir(ToUtf8(a->PathOf(u"empty")).c_str(), 0700), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(first));
    EXPECT_FALSE(std::filesystem::exists(second));
}

TEST(PrivateTempDirectory, LinksInsideAreRemovedNotFollowed) {
    TemporaryDirectory shared;
    TempPathOverride temp(shared.path());
    std::string outsideFile = shared.path() + "/precious.txt";
    std::string outsideFolder = shared.path() + "/precious";
    WriteText(outsideFile, "keep me");
    ASSERT_EQ(mkdir(outsideFolder.c_str(), 0700), 0);
    WriteText(outsideFolder + "/inner.txt", "keep me too");
    std::string path;
    {
        auto folder = PrivateTempDirectory::Create(u"links");
        ASSERT_TRUE(folder);
        path = ToUtf8(folder->Path());
        ASSERT_EQ(symlink(outsideFile.c_str(), (path + "file-link").c_str()), 0);
        ASSERT_EQ(symlink(outsideFolder.c_str(), (path + "folder-link").c_str()), 0);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ReadText(outsideFile), "keep me");
    EXPECT_EQ(ReadText(outsideFolder + "/inner.txt"), "keep me too");
}

TEST(PrivateTempDirectory, PrefixCannotLeaveTheTemporaryPathAndMissingPathFails) {
    TemporaryDirectory shared;
    {
        TempPathOverride temp(shared.path());
        auto folder = PrivateTempDirectory::Create(u"../../etc/x");
        ASSERT_TRUE(folder);
        EXPECT_EQ(std::filesystem::path(ToUtf8(folder->Path())).parent_path().parent_path(),
                  std::filesystem::path(shared.path()));
    }
    TempPathOverride missing(shared.path() + "/no/such/folder");
    DWORD error = 0;
    EXPECT_FALSE(PrivateTempDirectory::Create(u"x", &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
