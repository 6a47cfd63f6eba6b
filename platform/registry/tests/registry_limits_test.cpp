// The registry against damaged hives, hostile sizes and shapes, and what the reg tool refuses.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temporary_directory.h"
#include "win/winreg.h"

namespace {

using lumivel::testing::ChildResult;
using lumivel::testing::ReadText;
using lumivel::testing::RunShell;
using lumivel::testing::ShellQuote;
using lumivel::testing::TemporaryDirectory;
using lumivel::testing::WriteText;

std::string BinaryFolder() {
    const char* folder = std::getenv("LUMIVEL_BIN_DIR");
    return folder ? folder : ".";
}

std::string Reg() { return ShellQuote(BinaryFolder() + "/reg"); }

class RegistryLimits : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LUMIVEL_MACHINE_HIVE", (m_dir.path() + "/machine.hive").c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", UserHive().c_str(), 1);
    }
    std::string UserHive() const { return m_dir.path() + "/user.hive"; }
    HKEY Create(HKEY root, const std::u16string& path, LSTATUS expected = ERROR_SUCCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), expected);
        return key;
    }
    // Runs SQL on the user hive behind the registry's back, as damage or an old program would.
    void Damage(const std::string& sql) {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(UserHive().c_str(), &db), SQLITE_OK);
        sqlite3_busy_timeout(db, 10000);
        char* message = nullptr;
        EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
        sqlite3_free(message);
        sqlite3_close(db);
    }
    long long Count(const std::string& sql) {
        sqlite3* db = nullptr;
        long long count = -1;
        if (sqlite3_open(UserHive().c_str(), &db) == SQLITE_OK) {
            sqlite3_stmt* statement = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
                sqlite3_step(statement) == SQLITE_ROW)
                count = sqlite3_column_int64(statement, 0);
            sqlite3_finalize(statement);
        }
        sqlite3_close(db);
        return count;
    }
    off_t HiveBytes() const {
        off_t total = 0;
        for (const char* suffix : {"", "-wal"}) {
            struct stat st {};
            if (::stat((UserHive() + suffix).c_str(), &st) == 0) total += st.st_size;
        }
        return total;
    }
    TemporaryDirectory m_dir;
};

// "a" as the hive stores names: UTF-16LE, as written and folded.
constexpr const char* kNameA = "x'6100'";

TEST_F(RegistryLimits, KeysNestAtMostFiveHundredAndTwelveDeep) {
    std::u16string path;
    for (int level = 1; level <= 511; ++level) path += (path.empty() ? u"" : u"\\") + std::u16string(u"a");
    HKEY deepest = Create(HKEY_CURRENT_USER, path + u"\\b");  // 512 levels below the root
    ASSERT_NE(deepest, nullptr);
    HKEY none = nullptr;
    EXPECT_EQ(RegCreateKeyExW(deepest, u"c", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &none, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (path + u"\\a\\c").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &none, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExW(deepest, u"c", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
    RegCloseKey(deepest);
    // A path longer than any key can lie is refused before it is looked at.
    std::u16string tooLong;
    for (int level = 0; level < 600; ++level) tooLong += u"x\\";
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, tooLong.c_str(), 0, KEY_READ, &none), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"a"), ERROR_SUCCESS);
}

// Keys nested 30,000 deep (made by an old program or by hand) and a root that is its own
// parent: listing and export end with an error, deletion works, nothing overflows the stack.
TEST_F(RegistryLimits, DamagedHivesAreWalkedWithoutRecursion) {
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Deep"));
    Damage(std::string("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 30000) "
                       "INSERT INTO keys(id, parent, name, fold, written) SELECT 1000000 + i, "
                       "CASE WHEN i = 1 THEN (SELECT id FROM keys WHERE fold = x'6400650065007000') ELSE 999999 + i END, ") +
           kNameA + ", " + kNameA + ", 0 FROM n");
    ASSERT_EQ(Count("SELECT count(*) FROM keys"), 30003);
    for (const char* command : {" query HKCU\\\\Software /s", " export HKCU\\\\Software out.txt /y"}) {
        ChildResult walked = RunShell("cd " + ShellQuote(m_dir.path()) + " && " + Reg() + command);
        EXPECT_EQ(walked.exitCode, 1u) << command << walked.output.substr(0, 400);
        EXPECT_NE(walked.output.find("ERROR: The configuration registry database is corrupt."), std::string::npos)
            << walked.output.substr(walked.output.size() > 400 ? walked.output.size() - 400 : 0);
    }
    EXPECT_FALSE(std::ifstream(m_dir.path() + "/out.txt").good()) << "a failed export leaves no file";
    EXPECT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Deep"), ERROR_SUCCESS);
    EXPECT_EQ(Count("SELECT count(*) FROM keys"), 2);

    // The root made its own parent: it is no subkey of itself.
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Kept"));
    Damage("UPDATE keys SET parent = 1 WHERE id = 1");
    ChildResult listed = RunShell(Reg() + " query HKCU /s");
    EXPECT_EQ(listed.exitCode, 0u) << listed.output.substr(0, 400);
    EXPECT_NE(listed.output.find("HKEY_CURRENT_USER\\Software\\Kept"), std::string::npos) << listed.output.substr(0, 400);

    // Keys whose parents form a loop, reached through a handle opened before the damage.
    HKEY loop = Create(HKEY_CURRENT_USER, u"Software\\Loop\\Inner");
    RegCloseKey(loop);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Loop", 0, KEY_ALL_ACCESS, &loop), ERROR_SUCCESS);
    Damage("UPDATE keys SET parent = (SELECT id FROM keys WHERE fold = x'69006e006e0065007200') "
           "WHERE fold = x'6c006f006f007000'");
    EXPECT_EQ(RegDeleteTreeW(loop, nullptr), ERROR_SUCCESS);
    RegCloseKey(loop);
    EXPECT_EQ(Count("SELECT count(*) FROM keys WHERE fold IN (x'69006e006e0065007200', x'6c006f006f007000')"), 0);
}

// A value too big for the hive is refused as such, not mistaken for a name that exists.
TEST_F(RegistryLimits, AValueTooBigForTheHiveIsRefusedForWhatItIs) {
    constexpr size_t kHuge = 1200u * 1000 * 1000;  // above the 10^9 bytes a hive value can hold
    void* memory = ::mmap(nullptr, kHuge, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) GTEST_SKIP() << "no address space for the value";
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Big");
    EXPECT_EQ(RegSetValueExW(key, u"huge", 0, REG_BINARY, static_cast<const BYTE*>(memory), static_cast<DWORD>(kHuge)),
              ERROR_INVALID_PARAMETER);
    ::munmap(memory, kHuge);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"huge", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

// After large deletions the hive gives its space back, an old hive without incremental vacuum
// included.
TEST_F(RegistryLimits, AHiveShrinksAgainAfterLargeDeletions) {
    const std::vector<BYTE> data(4096, 0x5A);
    for (bool oldHive : {false, true}) {
        SCOPED_TRACE(oldHive ? "old hive" : "new hive");
        HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Bulk");
        if (oldHive) {
            Damage("PRAGMA auto_vacuum = NONE; VACUUM;");
            ASSERT_EQ(Count("PRAGMA auto_vacuum"), 0);
        }
        for (int i = 0; i < 3000; ++i) {
            std::u16string name = u"v" + lumivel::FromUtf8(std::to_string(i));
            ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size())),
                      ERROR_SUCCESS);
        }
        RegCloseKey(key);
        off_t full = HiveBytes();
        ASSERT_GT(full, 10 << 20);
        ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Software\\Bulk"), ERROR_SUCCESS);
        // One more small write starts the log afresh, cut back to its limit.
        RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\After"));
        EXPECT_LT(HiveBytes(), full / 4) << full;
    }
}

TEST_F(RegistryLimits, RegToolStoresWhatItIsGivenOrRefusesIt) {
    // An empty string inside REG_MULTI_SZ would end the list early for every reader.
    ChildResult empty = RunShell(Reg() + " add HKCU\\\\Software\\\\T /v M /t REG_MULTI_SZ /d 'a\\0\\0b' /f");
    EXPECT_EQ(empty.exitCode, 1u) << empty.output;
    EXPECT_NE(empty.output.find("empty"), std::string::npos) << empty.output;
    HKEY none = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\T", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);

    // /se chooses the separator, as reg.exe's does.
    ChildResult separated = RunShell(Reg() + " add HKCU\\\\Software\\\\T /v M /t REG_MULTI_SZ /se '#' /d 'a#b c#d' /f");
    EXPECT_EQ(separated.exitCode, 0u) << separated.output;
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\T", 0, KEY_READ, &key), ERROR_SUCCESS);
    char16_t stored[32] = {};
    DWORD size = sizeof stored, type = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"M", nullptr, &type, reinterpret_cast<BYTE*>(stored), &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(std::u16string(stored, size / 2), std::u16string(u"a\0b c\0d\0\0", 9));
    RegCloseKey(key);
    EXPECT_EQ(RunShell(Reg() + " add HKCU\\\\Software\\\\T /v S /se '#' /d 'a#b' /f").exitCode, 1u);  // not REG_MULTI_SZ
    EXPECT_EQ(RunShell(Reg() + " add HKCU\\\\Software\\\\T /v M /t REG_MULTI_SZ /se '##' /d 'a##b' /f").exitCode, 1u);

    // Names that are not UTF-8 would all become U+FFFD and name one key.
    for (const char* name : {"\\377", "\\376\\376"}) {
        ChildResult bad = RunShell(Reg() + " add \"$(printf 'HKCU\\\\Software\\\\Odd" + std::string(name) + "')\" /f");
        EXPECT_EQ(bad.exitCode, 1u) << bad.output;
        EXPECT_NE(bad.output.find("not valid UTF-8"), std::string::npos) << bad.output;
    }
    EXPECT_EQ(RunShell(Reg() + " add HKCU\\\\Software\\\\Odd /v \"$(printf 'v\\377')\" /d x /f").exitCode, 1u);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Odd\uFFFD", 0, KEY_READ, &none), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryLimits, RegToolNamesTheRealCauseAndFailsWhenItCannotWrite) {
    // A hive whose folder cannot be made is no missing key.
    WriteText(m_dir.path() + "/plain-file", "x");
    std::string unreachable = m_dir.path() + "/plain-file/sub/user.hive";
    ChildResult added = RunShell("LUMIVEL_USER_HIVE=" + ShellQuote(unreachable) + " " + Reg() + " add HKCU\\\\Software\\\\X /f");
    EXPECT_EQ(added.exitCode, 1u);
    EXPECT_EQ(added.output.find("unable to find"), std::string::npos) << added.output;
    EXPECT_NE(added.output.find("The system cannot find the path specified."), std::string::npos) << added.output;
    EXPECT_NE(added.output.find(unreachable), std::string::npos) << added.output;

    // Output that cannot be written is a failure.
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Full"));
    for (const char* command : {" --help", " query HKCU\\\\Software /s"}) {
        ChildResult full = RunShell(Reg() + command + " >/dev/full");
        EXPECT_EQ(full.exitCode, 1u) << command;
        EXPECT_NE(full.output.find("No space left on device"), std::string::npos) << command << full.output;
    }
    EXPECT_EQ(RunShell(Reg() + " --help >/dev/null").exitCode, 0u);
}

// The export goes through a new file of its own: a link planted under the name the old code
// used (FILE.tmp-PID) or under the file's own name is never written through.
TEST_F(RegistryLimits, RegExportNeverWritesThroughAPlantedLink) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Exported");
    RegCloseKey(key);
    std::string victim = m_dir.path() + "/victim";
    WriteText(victim, "precious");
    std::string out = m_dir.path() + "/export.txt";
    // exec keeps the shell's process id, so the link waits under the name reg would use.
    ChildResult exported = RunShell("sh -c " +
                         ShellQuote("ln -s \"$1\" \"$0.tmp-$$\" && exec " + Reg() +
                               " export 'HKCU\\Software\\Exported' \"$0\" /y") +
                         " " + ShellQuote(out) + " " + ShellQuote(victim));
    EXPECT_EQ(exported.exitCode, 0u) << exported.output;
    EXPECT_EQ(ReadText(victim), "precious");
    EXPECT_NE(ReadText(out).find("[HKEY_CURRENT_USER\\Software\\Exported]"), std::string::npos);

    ASSERT_EQ(::unlink(out.c_str()), 0);
    ASSERT_EQ(::symlink(victim.c_str(), out.c_str()), 0);
    EXPECT_EQ(RunShell(Reg() + " export HKCU\\\\Software\\\\Exported " + ShellQuote(out) + " /y").exitCode, 0u);
    EXPECT_EQ(ReadText(victim), "precious");
    struct stat st {};
    ASSERT_EQ(::lstat(out.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0644u);
}

}  // namespace
