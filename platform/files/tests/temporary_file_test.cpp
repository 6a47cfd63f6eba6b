// Temporary files and folders nobody else can plant or link, and the private temporary folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <vector>

#include "lumivel/temporary_file.h"
#include "tests/support/temporary_directory.h"
#include "win/errors.h"
#include "win/winbase.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

namespace {

using lumivel::ExclusiveTemporaryFile;
using lumivel::ExistingFile;
using lumivel::PrivateTempDirectory;
using lumivel::ToUtf8;
using lumivel::testing::ReadText;
using lumivel::testing::TemporaryDirectory;
using lumivel::testing::WriteText;

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

std::string TempPath() {
    WCHAR buffer[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buffer);
    return n ? lumivel::ToUtf8(std::u16string(buffer, n)) : std::string();
}

// Restores the temporary-folder variables at the end of a test.
class TemporaryFolderVariables {
public:
    TemporaryFolderVariables() {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            m_saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    ~TemporaryFolderVariables() {
        for (size_t i = 0; i < m_saved.size(); ++i) {
            if (m_saved[i]) setenv(kNames[i], m_saved[i]->c_str(), 1);
            else unsetenv(kNames[i]);
        }
    }

private:
    static constexpr const char* kNames[] = {"TMP", "TEMP", "TMPDIR"};
    std::vector<std::optional<std::string>> m_saved;
};

// A shared folder such as /tmp is never handed out as the temporary folder: anyone could
// plant names there. The user's own private folder is, as it is.
TEST(PrivateTemporaryFolder, SharedFoldersGetAPrivateFolderOfThisProcess) {
    TemporaryFolderVariables variables;
    std::string shared = TempPath();
    ASSERT_EQ(shared.rfind("/tmp/lumivel-", 0), 0u) << shared;
    struct stat st {};
    ASSERT_EQ(::lstat(shared.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(TempPath(), shared) << "one folder per process";
    // Removed behind our back, another is made rather than the old name trusted again.
    ASSERT_EQ(::rmdir(shared.c_str()), 0);
    ASSERT_EQ(::mkdir(shared.c_str(), 0777), 0);
    ::chmod(shared.c_str(), 0777);
    std::string again = TempPath();
    EXPECT_NE(again, shared);
    ::rmdir(shared.c_str());

    TemporaryDirectory own;  // made by mkdtemp: 0700, ours
    setenv("TMPDIR", own.path().c_str(), 1);
    EXPECT_EQ(TempPath(), own.path() + "/");
    std::string folder;
    ASSERT_EQ(lumivel::PrivateTemporaryFolder(&folder), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(folder, own.path());
    ::chmod(own.path().c_str(), 01777);
    std::string inside = TempPath();
    EXPECT_EQ(inside.rfind(own.path() + "/lumivel-", 0), 0u) << inside;
    ::chmod(own.path().c_str(), 0700);
}

// Whatever name was planted beside the target, the temporary file is new and the target is
// replaced by a rename: a link is replaced, never written through.
TEST(ExclusiveTemporaryFile, PlantedLinksAreReplacedNeverWrittenThrough) {
    TemporaryDirectory dir;
    std::string victim = dir.path() + "/victim";
    WriteText(victim, "precious");
    std::string target = dir.path() + "/target";
    ASSERT_EQ(::symlink(victim.c_str(), target.c_str()), 0);
    ExclusiveTemporaryFile file;
    ASSERT_EQ(file.createBeside(target), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(FolderOf(file.path()), dir.path());
    struct stat st {};
    ASSERT_EQ(::fstat(file.descriptor(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(file.write("written"), static_cast<DWORD>(ERROR_SUCCESS));
    std::string temporary = file.path();
    ASSERT_EQ(file.commit(target, ExistingFile::Replace), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(ReadText(victim), "precious");
    ASSERT_EQ(::lstat(target.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(ReadText(target), "written");
    EXPECT_NE(::access(temporary.c_str(), F_OK), 0);

    // Keep leaves an existing file alone; a file never committed goes with its object.
    ExclusiveTemporaryFile second;
    ASSERT_EQ(second.createBeside(target), static_cast<DWORD>(ERROR_SUCCESS));
    temporary = second.path();
    EXPECT_EQ(second.commit(target, ExistingFile::Keep), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadText(target), "written");
    EXPECT_NE(::access(temporary.c_str(), F_OK), 0);
    {
        ExclusiveTemporaryFile dropped;
        ASSERT_EQ(dropped.create(dir.path(), "dropped."), static_cast<DWORD>(ERROR_SUCCESS));
        temporary = dropped.path();
    }
    EXPECT_NE(::access(temporary.c_str(), F_OK), 0);
    // A prefix never leads out of the folder.
    ExclusiveTemporaryFile contained;
    ASSERT_EQ(contained.create(dir.path(), "../../escape"), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(FolderOf(contained.path()), dir.path());
}

// The handle form for code on the file API: a new 0600 file in the folder (by default the
// private one), different each time.
TEST(ExclusiveTemporaryFile, HandlesForTheFileApi) {
    TemporaryDirectory dir;
    std::set<std::u16string> seen;
    for (int i = 0; i < 3; ++i) {
        std::u16string path;
        HANDLE file = lumivel::CreateExclusiveTemporaryFile(dir.wide().c_str(), u".~member.inf.", &path);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        EXPECT_TRUE(WriteFile(file, "abc", 3, &written, nullptr));
        EXPECT_TRUE(CloseHandle(file));
        EXPECT_EQ(ReadText(lumivel::ToUtf8(path)), "abc");
        EXPECT_EQ(path.rfind(dir.wide() + u"/.~member.inf.", 0), 0u);
        seen.insert(path);
    }
    EXPECT_EQ(seen.size(), 3u);
    std::u16string path;
    HANDLE file = lumivel::CreateExclusiveTemporaryFile(nullptr, u"x", &path);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(lumivel::ToUtf8(path).rfind(TempPath(), 0), 0u);
    DeleteFileW(path.c_str());
    EXPECT_EQ(lumivel::CreateExclusiveTemporaryFile((dir.wide() + u"/missing").c_str(), u"x", &path), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

// Opening a FIFO does not wait for its other end, as CreateFileW never waits to open.
TEST(ExclusiveTemporaryFile, OpeningAFifoDoesNotWait) {
    TemporaryDirectory dir;
    std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    auto start = std::chrono::steady_clock::now();
    HANDLE file = CreateFileW(dir.wide("fifo").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileType(file), static_cast<DWORD>(FILE_TYPE_PIPE));
    char byte;
    DWORD read = 1;
    EXPECT_TRUE(ReadFile(file, &byte, 1, &read, nullptr));  // nobody writes: the end at once
    EXPECT_EQ(read, 0u);
    CloseHandle(file);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

// Folders of their own for files that need names of their own: fresh, closed to others, gone
// afterwards with what they held, and never a way to remove or write anything outside them.
TEST(PrivateTempDirectory, FreshClosedToOthersAndRemovedWithItsFiles) {
    TemporaryDirectory shared;
    TemporaryFolderVariables variables;
    setenv("TMP", shared.path().c_str(), 1);
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
    TemporaryFolderVariables variables;
    setenv("TMP", shared.path().c_str(), 1);
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

// What another account's run leaves in its folder: a tree deeper than any path can name, with
// links out of it at the bottom and names like the ones removal moves entries to.
TEST(PrivateTempDirectory, TreesOfAnyDepthGoWholeWithoutFollowingLinks) {
    TemporaryDirectory shared;
    TemporaryFolderVariables variables;
    setenv("TMP", shared.path().c_str(), 1);
    const std::string outsideFolder = shared.path() + "/precious";
    ASSERT_EQ(mkdir(outsideFolder.c_str(), 0700), 0);
    WriteText(outsideFolder + "/inner.txt", "keep me");
    std::string path;
    {
        auto folder = PrivateTempDirectory::Create(u"deep");
        ASSERT_TRUE(folder);
        path = ToUtf8(folder->Path());
        int level = open(path.c_str(), O_RDONLY | O_DIRECTORY);
        ASSERT_GE(level, 0);
        const std::string longName(150, 'd');
        for (int depth = 0; depth < 40; ++depth) {
            const char* name = depth % 7 ? longName.c_str() : ".removed-0";
            ASSERT_EQ(mkdirat(level, name, 0700), 0);
            int next = openat(level, name, O_RDONLY | O_DIRECTORY);
            close(level);
            ASSERT_GE(next, 0);
            level = next;
        }
        ASSERT_EQ(symlinkat(outsideFolder.c_str(), level, "out"), 0);
        close(openat(level, "file", O_WRONLY | O_CREAT, 0600));
        close(level);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_EQ(ReadText(outsideFolder + "/inner.txt"), "keep me");
}

TEST(PrivateTempDirectory, PrefixCannotLeaveTheTemporaryPathAndMissingPathFails) {
    TemporaryDirectory shared;
    TemporaryFolderVariables variables;
    setenv("TMP", shared.path().c_str(), 1);
    {
        auto folder = PrivateTempDirectory::Create(u"../../etc/x");
        ASSERT_TRUE(folder);
        EXPECT_EQ(std::filesystem::path(ToUtf8(folder->Path())).parent_path().parent_path(),
                  std::filesystem::path(shared.path()));
    }
    setenv("TMP", (shared.path() + "/no/such/folder").c_str(), 1);
    DWORD error = 0;
    EXPECT_FALSE(PrivateTempDirectory::Create(u"x", &error));
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

}  // namespace
