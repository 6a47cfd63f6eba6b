// UNC paths through the file functions against the test DC's sysvol share: a directory
// created, a local file moved there and read back, listings, attributes and the errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "lumivel/text.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/threads.h"

using lumivel::FromUtf8;
using lumivel::ToUtf8;

namespace {

std::u16string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? FromUtf8(v) : std::u16string();
}

std::u16string Unique() {
    std::random_device d;
    return FromUtf8("lumivel-d-" + std::to_string(d()));
}

class SmbDirectory : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(Env("TESTDC_DC").empty()) << "run inside testdc exec";
        m_share = u"\\\\" + Env("TESTDC_DC") + u"\\sysvol";
        m_folder = m_share + u"\\" + Env("TESTDC_DOMAIN") + u"\\" + Unique() + u" Tarvo Lumivel";
    }
    void TearDown() override {
        DeleteFileW((m_folder + u"\\" + kName).c_str());
        RemoveDirectoryW(m_folder.c_str());
    }
    static constexpr const char16_t* kName = u"backup {Zoë} #1.zip";
    std::u16string m_share;
    std::u16string m_folder;
};

TEST_F(SmbDirectory, DirectoryCreatedAndLocalFileMovedThereAndReadBack) {
    ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr)) << GetLastError();
    EXPECT_FALSE(CreateDirectoryW(m_folder.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(GetFileAttributesW(m_folder.c_str()) & FILE_ATTRIBUTE_DIRECTORY, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
    char local[] = "/tmp/lumivel-d-smb-XXXXXX";
    const int fd = mkstemp(local);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    close(fd);

    const std::u16string target = m_folder + u"\\" + kName;
    ASSERT_TRUE(MoveFileW(FromUtf8(local).c_str(), target.c_str())) << GetLastError();
    EXPECT_EQ(access(local, F_OK), -1);  // moved, not copied

    HANDLE file = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    std::string back(content.size() + 10, '\0');
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(file, back.data(), static_cast<DWORD>(back.size()), &read, nullptr));
    back.resize(read);
    EXPECT_EQ(back, content);
    CloseHandle(file);

    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW((m_folder + u"\\*.zip").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << GetLastError();
    EXPECT_EQ(std::u16string(found.cFileName), kName);
    EXPECT_EQ(found.nFileSizeLow, content.size());
    FindClose(find);

    // A second move onto an existing name fails.
    char other[] = "/tmp/lumivel-d-smb-XXXXXX";
    close(mkstemp(other));
    EXPECT_FALSE(MoveFileW(FromUtf8(other).c_str(), target.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    // Replacing it goes through a hidden copy on the share, renamed into place and then gone.
    ASSERT_TRUE(MoveFileExW(FromUtf8(other).c_str(), target.c_str(), MOVEFILE_COPY_ALLOWED | MOVEFILE_REPLACE_EXISTING))
        << GetLastError();
    EXPECT_EQ(access(other, F_OK), -1);
    std::vector<std::u16string> names;
    find = FindFirstFileW((m_folder + u"\\*").c_str(), &found);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << GetLastError();
    do {
        std::u16string name(found.cFileName);
        if (name != u"." && name != u"..") names.push_back(name);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    EXPECT_EQ(names, std::vector<std::u16string>{kName});
    WIN32_FILE_ATTRIBUTE_DATA replaced{};
    ASSERT_TRUE(GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &replaced));
    EXPECT_EQ(replaced.nFileSizeLow, 0u);

    ASSERT_TRUE(DeleteFileW(target.c_str()));
    EXPECT_EQ(GetFileAttributesW(target.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(SmbDirectory, WriteThroughCreateFile) {
    ASSERT_TRUE(CreateDirectoryW(m_folder.c_str(), nullptr)) << GetLastError();
    const std::u16string target = m_folder + u"\\" + kName;
    HANDLE file = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "hello", 5, &written, nullptr));
    EXPECT_EQ(written, 5u);
    CloseHandle(file);
    EXPECT_EQ(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST_F(SmbDirectory, Errors) {
    // Only the last level is created; a missing parent is a missing path.
    EXPECT_FALSE(CreateDirectoryW((m_folder + u"\\below").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_FALSE(CreateDirectoryW(u"\\\\127.0.0.9\\sysvol\\x", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
    EXPECT_EQ(GetFileAttributesW((u"\\\\" + Env("TESTDC_DC") + u"\\no-such-share").c_str()), INVALID_FILE_ATTRIBUTES);
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_BAD_NET_NAME || error == ERROR_BAD_NETPATH) << error;
    EXPECT_FALSE(CreateDirectoryW(u"\\\\\\sysvol", nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH));
    // A server name that does not resolve, short or fully qualified, is a network path not found.
    for (const char16_t* server : {u"no-such-host-lumivel", u"no-such-host.lumivel.test"}) {
        const std::u16string share = u"\\\\" + std::u16string(server) + u"\\sysvol";
        EXPECT_FALSE(CreateDirectoryW((share + u"\\x").c_str(), nullptr));
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH)) << ToUtf8(server);
        EXPECT_EQ(GetFileAttributesW(share.c_str()), INVALID_FILE_ATTRIBUTES);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH)) << ToUtf8(server);
        EXPECT_EQ(CreateFileW((share + u"\\a.zip").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
                  INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_NETPATH)) << ToUtf8(server);
    }
    // A missing file and a missing folder keep their own errors on a server that exists.
    EXPECT_EQ(CreateFileW((m_share + u"\\no-such-file.zip").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                          nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    WIN32_FIND_DATAW found{};
    EXPECT_EQ(FindFirstFileW((m_folder + u"\\*.zip").c_str(), &found), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // Without a Kerberos ticket nothing is tried under another logon.
    const std::string previous = std::getenv("KRB5CCNAME") ? std::getenv("KRB5CCNAME") : "";
    setenv("KRB5CCNAME", "FILE:/nonexistent/lumivel-d-no-ticket", 1);
    EXPECT_FALSE(CreateDirectoryW(m_folder.c_str(), nullptr));
    const DWORD withoutTicket = GetLastError();
    setenv("KRB5CCNAME", previous.c_str(), 1);
    EXPECT_EQ(withoutTicket, static_cast<DWORD>(ERROR_LOGON_FAILURE));
}

}  // namespace
