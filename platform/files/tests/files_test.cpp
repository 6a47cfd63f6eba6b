#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <vector>

#include "lumivel/unc_file_system.h"
#include "tests/support/child_process.h"
#include "tests/support/temporary_directory.h"

namespace {

using lumivel::testing::ReadText;
using lumivel::testing::TemporaryDirectory;
using lumivel::testing::WriteText;

DWORD OpenError(const std::u16string& path, DWORD access, DWORD share, DWORD disposition, HANDLE* handle = nullptr) {
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    if (h == INVALID_HANDLE_VALUE) return error;
    if (handle) *handle = h;
    else CloseHandle(h);
    return error;  // a success may carry ERROR_ALREADY_EXISTS
}

TEST(CreateFile, DispositionsAsOnWindows) {
    TemporaryDirectory dir;
    WriteText(dir.path() + "/exists", "data");
    auto exists = dir.wide("exists"), missing = dir.wide("missing"), deep = dir.wide("no/such/file");
    EXPECT_EQ(OpenError(exists, GENERIC_WRITE, 0, CREATE_NEW), static_cast<DWORD>(ERROR_FILE_EXISTS));
    EXPECT_EQ(OpenError(missing, GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenError(deep, GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(OpenError(deep, GENERIC_WRITE, 0, CREATE_ALWAYS), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(OpenError(missing, GENERIC_READ, 0, TRUNCATE_EXISTING), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(OpenError(u"", GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    const WCHAR lone[] = {u'/', u't', u'm', u'p', u'/', 0xDC00, 0};
    EXPECT_EQ(OpenError(lone, GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_INVALID_NAME));

    // CREATE_ALWAYS on an existing file truncates it and says so.
    EXPECT_EQ(OpenError(exists, GENERIC_WRITE, 0, CREATE_ALWAYS), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(ReadText(dir.path() + "/exists"), "");
    EXPECT_EQ(OpenError(missing, GENERIC_WRITE, 0, OPEN_ALWAYS), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(OpenError(missing, GENERIC_WRITE, 0, OPEN_ALWAYS), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // A directory is not a file.
    EXPECT_EQ(OpenError(dir.wide(), GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    // Backslashes separate like slashes.
    WriteText(dir.path() + "/a.txt", "x");
    std::u16string backslashed = dir.wide() + u"\\a.txt";
    EXPECT_EQ(OpenError(backslashed, GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(CreateFile, ReadWriteSeekAndInformation) {
    TemporaryDirectory dir;
    auto path = dir.wide("data.bin");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD done = 0;
    ASSERT_TRUE(WriteFile(file, "hello world", 11, &done, nullptr));
    EXPECT_EQ(done, 11u);
    EXPECT_EQ(SetFilePointer(file, 6, nullptr, FILE_BEGIN), 6u);
    char buffer[16] = {};
    ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr));
    EXPECT_EQ(std::string(buffer, done), "world");
    ASSERT_TRUE(ReadFile(file, buffer, sizeof(buffer), &done, nullptr));  // end of file is not an error
    EXPECT_EQ(done, 0u);
    EXPECT_EQ(SetFilePointer(file, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
    DWORD high = 1;
    EXPECT_EQ(GetFileSize(file, &high), 11u);
    EXPECT_EQ(high, 0u);
    BY_HANDLE_FILE_INFORMATION info;
    ASSERT_TRUE(GetFileInformationByHandle(file, &info));
    EXPECT_EQ(info.nFileSizeLow, 11u);
    EXPECT_EQ(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(FlushFileBuffers(file));
    CloseHandle(file);
    EXPECT_FALSE(ReadFile(file, buffer, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(WriteFile(reader, "x", 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    CloseHandle(reader);
}

TEST(ShareModes, SecondOpenerIsCheckedAgainstTheFirst) {
    constexpr DWORD R = GENERIC_READ, W = GENERIC_WRITE, RW = GENERIC_READ | GENERIC_WRITE;
    constexpr DWORD SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE, SRW = FILE_SHARE_READ | FILE_SHARE_WRITE;
    constexpr DWORD D = DELETE, SD = FILE_SHARE_DELETE, ALL = SRW | SD;
    struct Case {
        DWORD access1, share1, access2, share2;
        bool allowed;
    } cases[] = {
        {R, 0, R, SRW, false},   {R, SR, R, SR, true},    {R, SR, W, SRW, false}, {W, SR, R, SR, false},
        {W, SRW, R, SW, true},   {RW, SRW, RW, SRW, true}, {R, SRW, R, 0, false},  {0, 0, R, 0, true},
        {W, SW, W, SW, true},    {R, SR, RW, SR, false},
        // Deletion access is shared like reading and writing.
        {R, SR, D, ALL, false},  {R, SR | SD, D, ALL, true}, {D, ALL, R, SRW, false}, {D, ALL, R | D, ALL, true},
    };
    TemporaryDirectory dir;
    auto path = dir.wide("shared");
    WriteText(dir.path() + "/shared", "contents");
    for (const auto& c : cases) {
        HANDLE first = nullptr;
        ASSERT_EQ(OpenError(path, c.access1, c.share1, OPEN_EXISTING, &first), static_cast<DWORD>(ERROR_SUCCESS));
        DWORD second = OpenError(path, c.access2, c.share2, OPEN_EXISTING);
        EXPECT_EQ(second, c.allowed ? static_cast<DWORD>(ERROR_SUCCESS) : static_cast<DWORD>(ERROR_SHARING_VIOLATION))
            << std::hex << c.access1 << "/" << c.share1 << " then " << c.access2 << "/" << c.share2;
        CloseHandle(first);
    }
    // The first handle gone, everyone may open again.
    EXPECT_EQ(OpenError(path, RW, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(ShareModes, NoSharingHoldsAgainstAnotherProcess) {
    TemporaryDirectory dir;
    std::string file = dir.path() + "/ClassIndex.txt";
    WriteText(file, "keep me");
    std::u16string line = u"\"" + lumivel::testing::HelperPath() + u"\" hold \"" + lumivel::FromUtf8(file) + u"\" 3000";
    std::u16string outputPath = dir.wide("child.out");
    HANDLE output = CreateFileW(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    CloseHandle(output);
    for (int i = 0; i < 200 && ReadText(lumivel::ToUtf8(outputPath)).find("held") == std::string::npos; ++i) Sleep(10);
    ASSERT_EQ(ReadText(lumivel::ToUtf8(outputPath)), "held\n");

    auto wide = lumivel::FromUtf8(file);
    EXPECT_EQ(OpenError(wide, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
              static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // Replacing the file must not truncate it behind the holder's back.
    EXPECT_EQ(OpenError(wide, GENERIC_WRITE, 0, CREATE_ALWAYS), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(ReadText(file), "keep me");
    EXPECT_FALSE(DeleteFileW(wide.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));

    ASSERT_EQ(WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    EXPECT_EQ(OpenError(wide, GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_SUCCESS));
}

TEST(Attributes, ReadOnlyMeansNoWriteBitsAndBlocksDeletion) {
    TemporaryDirectory dir;
    WriteText(dir.path() + "/AttributeIndex.txt", "x");
    auto path = dir.wide("AttributeIndex.txt");
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    struct stat st {};
    ::stat((dir.path() + "/AttributeIndex.txt").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0222, 0u);
    EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(DeleteFileW(path.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenError(path, GENERIC_WRITE, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(OpenError(path, GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_SUCCESS));
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_TRUE(DeleteFileW(path.c_str()));
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(dir.wide().c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_FALSE(DeleteFileW(dir.wide().c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(FindFiles, WildcardsMatchWithoutRegardToCase) {
    TemporaryDirectory dir;
    WriteText(dir.path() + "/ClassIndex.txt", "12345");
    WriteText(dir.path() + "/AttributeIndex.TXT", "");
    WriteText(dir.path() + "/notes.md", "");
    WriteText(dir.path() + "/back\\slash.txt", "");  // not a name Windows code could use
    ::mkdir((dir.path() + "/sub").c_str(), 0755);
    auto names = [&](const std::u16string& pattern) {
        std::multiset<std::u16string> found;
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir.wide() + u"/" + pattern).c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return found;
        do found.insert(data.cFileName);
        while (FindNextFileW(find, &data));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
        FindClose(find);
        return found;
    };
    EXPECT_EQ(names(u"*.txt"), (std::multiset<std::u16string>{u"ClassIndex.txt", u"AttributeIndex.TXT"}));
    EXPECT_EQ(names(u"classindex.txt"), (std::multiset<std::u16string>{u"ClassIndex.txt"}));
    EXPECT_EQ(names(u"*.*").size(), 6u);  // with "." and ".."
    EXPECT_EQ(names(u"s?b"), (std::multiset<std::u16string>{u"sub"}));

    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((dir.wide() + u"/ClassIndex.txt").c_str(), &data);
    ASSERT_NE(find, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 5u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    FindClose(find);
    EXPECT_EQ(FindFirstFileW((dir.wide() + u"/*.zip").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(FindFirstFileW((dir.wide() + u"/none/*").c_str(), &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(MoveAndCopy, RefuseToOverwriteUnlessAsked) {
    TemporaryDirectory dir;
    WriteText(dir.path() + "/a", "first");
    WriteText(dir.path() + "/b", "second");
    auto a = dir.wide("a"), b = dir.wide("b"), c = dir.wide("c");
    EXPECT_FALSE(MoveFileW(a.c_str(), b.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CopyFileW(a.c_str(), b.c_str(), TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
    ASSERT_TRUE(CopyFileW(a.c_str(), c.c_str(), TRUE));
    EXPECT_EQ(ReadText(dir.path() + "/c"), "first");
    ASSERT_TRUE(MoveFileExW(a.c_str(), b.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(ReadText(dir.path() + "/b"), "first");
    EXPECT_EQ(GetFileAttributesW(a.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(MoveFileW(a.c_str(), c.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    // A target folder that is not there is a missing path, as on Windows.
    EXPECT_FALSE(MoveFileW(b.c_str(), dir.wide("missing/b").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(ReadText(dir.path() + "/b"), "first");
    SetFileAttributesW(c.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(CopyFileW(b.c_str(), c.c_str(), FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST(MoveAndCopy, MoveAcrossFileSystemsCopiesThenDeletes) {
    TemporaryDirectory dir;
    struct stat tmp {}, shm {};
    if (::stat("/dev/shm", &shm) != 0 || ::stat(dir.path().c_str(), &tmp) != 0 || tmp.st_dev == shm.st_dev)
        GTEST_SKIP() << "needs /dev/shm on another file system than /tmp";
    WriteText(dir.path() + "/archive.zip", std::string(200000, 'z'));
    std::string target = "/dev/shm/lumivel-move-" + std::to_string(GetCurrentProcessId()) + ".zip";
    auto from = dir.wide("archive.zip"), to = lumivel::FromUtf8(target);
    ASSERT_TRUE(MoveFileW(from.c_str(), to.c_str())) << GetLastError();
    EXPECT_EQ(ReadText(target).size(), 200000u);
    EXPECT_EQ(GetFileAttributesW(from.c_str()), INVALID_FILE_ATTRIBUTES);
    WriteText(dir.path() + "/again.zip", "x");
    auto again = dir.wide("again.zip");
    EXPECT_FALSE(MoveFileExW(again.c_str(), to.c_str(), 0));  // no copy allowed
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    DeleteFileW(to.c_str());
    EXPECT_FALSE(MoveFileExW(again.c_str(), to.c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
}

TEST(Directories, CreateAndRemoveReportWindowsErrors) {
    TemporaryDirectory dir;
    auto folder = dir.wide("Scheduled Backups");
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryW(folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(dir.wide("x/y").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    WriteText(dir.path() + "/Scheduled Backups/job.vbs", "");
    EXPECT_FALSE(RemoveDirectoryW(folder.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(RemoveDirectoryW((folder + u"/job.vbs").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST(TemporaryFiles, UniqueNamesDeleteOnCloseAndFullPaths) {
    TemporaryDirectory dir;
    WCHAR name[MAX_PATH];
    UINT first = GetTempFileNameW((dir.wide() + u"/").c_str(), u"rev", 0, name);
    ASSERT_NE(first, 0u);
    std::u16string firstName(name);
    EXPECT_NE(GetFileAttributesW(firstName.c_str()), INVALID_FILE_ATTRIBUTES);  // created, empty
    ASSERT_NE(GetTempFileNameW(dir.wide().c_str(), u"rev", 0, name), 0u);
    EXPECT_NE(std::u16string(name), firstName);
    EXPECT_NE(std::u16string(name).find(u"/rev"), std::u16string::npos);

    auto path = dir.wide("scratch.inf");
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    CloseHandle(file);
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);

    WCHAR full[MAX_PATH];
    LPWSTR part = nullptr;
    DWORD n = GetFullPathNameW(u"/opt/./lumivel/../lumivel\\Glossar.so", MAX_PATH, full, &part);
    EXPECT_EQ(std::u16string(full, n), u"/opt/lumivel/Glossar.so");
    ASSERT_NE(part, nullptr);
    EXPECT_EQ(std::u16string(part), u"Glossar.so");
}

TEST(TempPath, EndsWithASeparatorAndFollowsTheEnvironment) {
    setenv("TMP", "/var/tmp/lumivel", 1);
    WCHAR buffer[MAX_PATH];
    DWORD n = GetTempPathW(MAX_PATH, buffer);
    EXPECT_EQ(std::u16string(buffer, n), u"/var/tmp/lumivel/");
    EXPECT_EQ(GetTempPathW(5, buffer), n + 1);  // too small: the size needed
    unsetenv("TMP");
    const char* temp = getenv("TEMP");
    const char* tmpdir = getenv("TMPDIR");
    if (!temp && !tmpdir) {
        // /tmp is shared: this process gets a private folder there.
        n = GetTempPathW(MAX_PATH, buffer);
        EXPECT_EQ(std::u16string(buffer, n).rfind(u"/tmp/lumivel-", 0), 0u);
    }
}

// A UNC file system that records what reaches it and keeps files in memory.
class MemoryShare : public lumivel::UncFileSystem {
public:
    std::vector<std::u16string> calls;
    std::map<std::u16string, std::string> files;

    class File : public lumivel::FileObject {
    public:
        File(MemoryShare* share, std::u16string path) : m_share(share), m_path(std::move(path)) {}
        DWORD read(void*, DWORD, DWORD* done) override { return *done = 0, ERROR_SUCCESS; }
        DWORD write(const void* data, DWORD size, DWORD* done) override {
            if (m_share->failWrites) return ERROR_DISK_FULL;
            m_share->files[m_path].append(static_cast<const char*>(data), size);
            *done = size;
            return ERROR_SUCCESS;
        }
        DWORD seek(LONGLONG, DWORD, ULONGLONG*) override { return ERROR_SUCCESS; }
        DWORD size(ULONGLONG* bytes) override { return *bytes = m_share->files[m_path].size(), ERROR_SUCCESS; }
        DWORD flush() override { return ERROR_SUCCESS; }
        DWORD information(BY_HANDLE_FILE_INFORMATION*) override { return ERROR_SUCCESS; }

    private:
        MemoryShare* m_share;
        std::u16string m_path;
    };
    bool failWrites = false;

    DWORD createDirectory(std::u16string_view path) override { return calls.emplace_back(path), ERROR_SUCCESS; }
    DWORD openFile(std::u16string_view path, DWORD, DWORD, DWORD, DWORD, std::shared_ptr<lumivel::FileObject>* file) override {
        calls.emplace_back(path);
        files[std::u16string(path)];
        *file = std::make_shared<File>(this, std::u16string(path));
        return ERROR_SUCCESS;
    }
    DWORD deleteFile(std::u16string_view path) override {
        calls.emplace_back(u"delete " + std::u16string(path));
        return files.erase(std::u16string(path)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    DWORD getAttributes(std::u16string_view path, DWORD* attributes) override {
        *attributes = FILE_ATTRIBUTE_ARCHIVE;
        return files.count(std::u16string(path)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    }
    DWORD listDirectory(std::u16string_view, std::unique_ptr<lumivel::UncDirectoryListing>*) override {
        return ERROR_ACCESS_DENIED;
    }
    bool canRename = false;
    DWORD rename(std::u16string_view from, std::u16string_view to, bool replace) override {
        if (!canRename) return ERROR_NOT_SAME_DEVICE;
        calls.emplace_back(u"rename " + std::u16string(from) + u" " + std::u16string(to));
        auto found = files.find(std::u16string(from));
        if (found == files.end()) return ERROR_FILE_NOT_FOUND;
        if (!replace && files.count(std::u16string(to))) return ERROR_ALREADY_EXISTS;
        files[std::u16string(to)] = found->second;
        files.erase(found);
        return ERROR_SUCCESS;
    }
};

TEST(UncPaths, GoToTheRegisteredFileSystemOrFailAsBadNetpath) {
    lumivel::RegisterUncFileSystem(nullptr);
    const char16_t* share = u"\\\\dc1.example.test\\sysvol\\Tarvo Lumivel\\x.zip";
    EXPECT_EQ(OpenError(share, GENERIC_READ, 0, OPEN_EXISTING), static_cast<DWORD>(ERROR_BAD_NETPATH));
    EXPECT_FALSE(CreateDirectoryW(u"//dc1/sysvol/new", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
    EXPECT_EQ(GetFileAttributesW(share), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));

    auto memory = std::make_shared<MemoryShare>();
    lumivel::RegisterUncFileSystem(memory);
    EXPECT_TRUE(CreateDirectoryW(u"//dc1/sysvol/Tarvo Lumivel", nullptr));
    EXPECT_EQ(memory->calls.back(), u"\\\\dc1\\sysvol\\Tarvo Lumivel");

    TemporaryDirectory dir;
    WriteText(dir.path() + "/backup.zip", "PK archive");
    auto local = dir.wide("backup.zip");
    ASSERT_TRUE(MoveFileW(local.c_str(), u"\\\\dc1\\sysvol\\backup.zip")) << GetLastError();
    EXPECT_EQ(memory->files[u"\\\\dc1\\sysvol\\backup.zip"], "PK archive");
    EXPECT_EQ(GetFileAttributesW(local.c_str()), INVALID_FILE_ATTRIBUTES);

    // A failed upload leaves the local file and no partial remote one.
    WriteText(dir.path() + "/second.zip", "data");
    auto second = dir.wide("second.zip");
    memory->failWrites = true;
    EXPECT_FALSE(MoveFileW(second.c_str(), u"\\\\dc1\\sysvol\\second.zip"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
    EXPECT_EQ(memory->files.count(u"\\\\dc1\\sysvol\\second.zip"), 0u);
    EXPECT_EQ(ReadText(dir.path() + "/second.zip"), "data");

    // A share that renames gets the data under a hidden name beside the destination first, so
    // that no reader sees half a file; nothing of it stays behind.
    memory->failWrites = false;
    memory->canRename = true;
    memory->files.clear();
    ASSERT_TRUE(MoveFileW(second.c_str(), u"\\\\dc1\\sysvol\\Tarvo Lumivel\\second.zip")) << GetLastError();
    ASSERT_EQ(memory->files.size(), 1u);
    EXPECT_EQ(memory->files[u"\\\\dc1\\sysvol\\Tarvo Lumivel\\second.zip"], "data");
    const std::u16string& renamed = memory->calls.back();
    EXPECT_EQ(renamed.rfind(u"rename \\\\dc1\\sysvol\\Tarvo Lumivel\\.second.zip.copy-", 0), 0u) << lumivel::ToUtf8(renamed);
    WriteText(dir.path() + "/third.zip", "more");
    memory->failWrites = true;
    EXPECT_FALSE(MoveFileW(dir.wide("third.zip").c_str(), u"\\\\dc1\\sysvol\\Tarvo Lumivel\\third.zip"));
    EXPECT_EQ(memory->files.size(), 1u) << "the hidden copy is removed again";
    lumivel::RegisterUncFileSystem(nullptr);
}

}  // namespace
