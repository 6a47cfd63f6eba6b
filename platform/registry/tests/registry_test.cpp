#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <set>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temporary_directory.h"
#include "win/com.h"

namespace {

using lumivel::testing::ReadText;
using lumivel::testing::TemporaryDirectory;
using lumivel::testing::WriteText;

// Each test gets its own pair of hives.
class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LUMIVEL_MACHINE_HIVE", (m_dir.path() + "/machine.hive").c_str(), 1);
        setenv("LUMIVEL_USER_HIVE", (m_dir.path() + "/user.hive").c_str(), 1);
    }
    HKEY Create(HKEY root, const char16_t* path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    static LSTATUS SetString(HKEY key, const char16_t* name, const std::u16string& text, bool terminator = true) {
        return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + (terminator ? 1 : 0)) * 2));
    }
    static std::u16string GetString(HKEY key, const char16_t* name) {
        WCHAR buffer[256] = {};
        DWORD size = sizeof(buffer) - 2, type = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size)) return u"<none>";
        return buffer;
    }
    TemporaryDirectory m_dir;
};

TEST_F(Registry, NamesIgnoreCaseButKeepIt) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Tarvo Software\\Tarvo Lumivel");
    ASSERT_EQ(SetString(key, u"FileLocation", u"\\\\dc1\\sysvol"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u"FILELOCATION"), u"\\\\dc1\\sysvol");
    ASSERT_EQ(SetString(key, u"fileLOCATION", u"second"), ERROR_SUCCESS);  // same value, first spelling kept
    WCHAR name[64];
    DWORD length = 64;
    ASSERT_EQ(RegEnumValueW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"FileLocation");
    EXPECT_EQ(RegEnumValueW(key, 1, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    // Unicode case folding, not only ASCII.
    HKEY accented = Create(key, u"\u00C9COLE \u03A3");
    HKEY same = nullptr;
    EXPECT_EQ(RegOpenKeyExW(key, u"\u00E9cole \u03C2", 0, KEY_READ, &same), ERROR_SUCCESS);
    length = 64;
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(name, length), u"\u00C9COLE \u03A3");
    RegCloseKey(same);
    RegCloseKey(accented);
    HKEY opened = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\tarvo software\\TARVO LUMIVEL", 0, KEY_READ, &opened),
              ERROR_SUCCESS);
    RegCloseKey(opened);
    RegCloseKey(key);
}

TEST_F(Registry, CreateReportsDispositionAndPaths) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\A\\B", 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"software\\a\\b\\", 0, nullptr, 0, KEY_READ, nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\A\\Missing", 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"\\Software", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
    std::u16string tooLong(256, u'k');
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, tooLong.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    // Names may hold any character but the separator.
    HKEY hostile = Create(HKEY_LOCAL_MACHINE, u"Software\\a\"b(c)*d/e\nf\U0001F600");
    EXPECT_EQ(SetString(hostile, u"dom.example/{guid}", u"x"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(hostile, u"DOM.EXAMPLE/{GUID}"), u"x");
    RegCloseKey(hostile);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValueDataSizesAndDefaults) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Values");
    // The default value: absent until set.
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetString(key, nullptr, u"Tarvo Lumivel"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(key, u""), u"Tarvo Lumivel");
    // Size query, too small a buffer, and the size that is needed.
    EXPECT_EQ(RegQueryValueExW(key, u"", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 28u);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    BYTE small[4];
    size = sizeof(small);
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 28u);
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, small, nullptr), ERROR_INVALID_PARAMETER);
    // A string stored without its terminator reads back as stored, terminated when room allows.
    ASSERT_EQ(SetString(key, u"Bare", u"abc", false), ERROR_SUCCESS);
    WCHAR text[8];
    std::fill(std::begin(text), std::end(text), u'#');
    size = sizeof(text);
    ASSERT_EQ(RegQueryValueExW(key, u"Bare", nullptr, &type, reinterpret_cast<BYTE*>(text), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(std::u16string(text), u"abc");
    // DWORD and binary values keep their bytes.
    DWORD number = 0x12345678;
    ASSERT_EQ(RegSetValueExW(key, u"IgnoreImageFiles", 0, REG_DWORD, reinterpret_cast<BYTE*>(&number), 4), ERROR_SUCCESS);
    DWORD read = 0;
    size = 4;
    ASSERT_EQ(RegQueryValueExW(key, u"ignoreimagefiles", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(read, number);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    const BYTE blob[] = {0, 1, 0, 255};
    ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, blob, 4), ERROR_SUCCESS);
    BYTE back[4];
    size = 4;
    ASSERT_EQ(RegQueryValueExW(key, u"Blob", nullptr, &type, back, &size), ERROR_SUCCESS);
    EXPECT_EQ(std::vector<BYTE>(back, back + 4), std::vector<BYTE>(blob, blob + 4));
    ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, u"Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"blob"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"blob"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, EnumerationFollowsCreationOrderAndInfoGivesLongestNames) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Software\\Tarvo Software\\Tarvo Lumivel\\Domains");
    const char16_t* names[] = {u"zeta.example/{1}", u"alpha/{22}", u"Mid"};
    for (auto* n : names) ASSERT_EQ(SetString(key, n, u"domain name"), ERROR_SUCCESS);
    for (auto* n : {u"Zulu", u"alpha", u"MIKE-longest"}) RegCloseKey(Create(key, n));
    DWORD subkeys = 0, maxSubkey = 0, values = 0, maxName = 0, maxData = 0;
    ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, &maxSubkey, nullptr, &values, &maxName, &maxData,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 3u);
    EXPECT_EQ(maxSubkey, 12u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxName, 16u);
    EXPECT_EQ(maxData, 24u);
    std::vector<std::u16string> seen;
    std::vector<WCHAR> name(maxName + 1);
    for (DWORD i = 0;; ++i) {
        DWORD length = maxName + 1;
        LSTATUS status = RegEnumValueW(key, i, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        seen.emplace_back(name.data(), length);
    }
    EXPECT_EQ(seen, (std::vector<std::u16string>{names[0], names[1], names[2]}));
    DWORD length = maxName;  // one short: no room for the terminator
    EXPECT_EQ(RegEnumValueW(key, 0, name.data(), &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    WCHAR sub[32];
    length = 32;
    ASSERT_EQ(RegEnumKeyExW(key, 2, sub, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(sub), u"MIKE-longest");
    // A change between calls is seen by the next call.
    ASSERT_EQ(SetString(key, u"Added", u"x"), ERROR_SUCCESS);
    length = 32;
    EXPECT_EQ(RegEnumValueW(key, 3, sub, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    RegCloseKey(key);
}

TEST_F(Registry, AccessRightsAreEnforcedOnTheHandle) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\Policies\\Tarvo Software\\Tarvo Lumivel"));
    HKEY reader = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Policies\\Tarvo Software\\Tarvo Lumivel", 0, KEY_READ, &reader),
              ERROR_SUCCESS);
    EXPECT_EQ(SetString(reader, u"FileLocation", u"x"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(reader, u"FileLocation"), ERROR_ACCESS_DENIED);
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(reader, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(reader);
    HKEY writer = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Policies\\Tarvo Software\\Tarvo Lumivel", 0, KEY_SET_VALUE,
                            &writer),
              ERROR_SUCCESS);
    EXPECT_EQ(SetString(writer, u"FileLocation", u"x"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(writer, u"FileLocation", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    WCHAR name[16];
    DWORD length = 16;
    EXPECT_EQ(RegEnumKeyExW(writer, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(writer);
}

TEST_F(Registry, DeletingKeysAndTrees) {
    HKEY root = Create(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\MMC\\Snapins\\{B979019D-5037-44E0-835B-3CD84BDDA491}");
    RegCloseKey(Create(root, u"NodeTypes\\{guid}"));
    ASSERT_EQ(SetString(root, u"NameString", u"Tarvo Lumivel"), ERROR_SUCCESS);
    HKEY snapins = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\MMC\\Snapins", 0, KEY_READ, &snapins), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(snapins, u"{B979019D-5037-44E0-835B-3CD84BDDA491}"), ERROR_ACCESS_DENIED);  // has subkeys
    EXPECT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\Microsoft\\MMC\\Snapins\\{b979019d-5037-44e0-835b-3cd84bdda491}"),
              ERROR_SUCCESS);
    // The open handle now names a deleted key.
    EXPECT_EQ(SetString(root, u"x", u"y"), ERROR_KEY_DELETED);
    EXPECT_EQ(GetString(root, u"NameString"), u"<none>");
    RegCloseKey(root);
    DWORD subkeys = 9;
    ASSERT_EQ(RegQueryInfoKeyW(snapins, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 0u);
    RegCloseKey(snapins);
    EXPECT_EQ(SHDeleteKeyW(HKEY_LOCAL_MACHINE, u"Software\\No\\Such"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(HKEY_LOCAL_MACHINE, u""), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, ClassesRootMergesUserOverMachineAndWritesToMachine) {
    HKEY machine = Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\RevivoProvider.Revivo\\CLSID");
    ASSERT_EQ(SetString(machine, nullptr, u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}"), ERROR_SUCCESS);
    RegCloseKey(machine);
    HKEY shared = Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Shared");
    SetString(shared, u"Who", u"machine");
    SetString(shared, u"MachineOnly", u"m");
    RegCloseKey(shared);
    HKEY user = Create(HKEY_CURRENT_USER, u"Software\\Classes\\Shared");
    SetString(user, u"who", u"user");
    RegCloseKey(user);

    HKEY merged = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Shared", 0, KEY_READ, &merged), ERROR_SUCCESS);
    EXPECT_EQ(GetString(merged, u"Who"), u"user");
    EXPECT_EQ(GetString(merged, u"MachineOnly"), u"m");
    DWORD values = 0;
    RegQueryInfoKeyW(merged, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(values, 2u);
    RegCloseKey(merged);

    // Writes through the merged view go where a later read finds them: to the user's key when
    // the user has one, else to the machine's.
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Shared", 0, KEY_READ | KEY_WRITE, &merged), ERROR_SUCCESS);
    ASSERT_EQ(SetString(merged, u"WHO", u"written"), ERROR_SUCCESS);
    EXPECT_EQ(GetString(merged, u"who"), u"written");
    RegCloseKey(merged);
    HKEY side = Create(HKEY_CURRENT_USER, u"Software\\Classes\\Shared");
    EXPECT_EQ(GetString(side, u"Who"), u"written");
    RegCloseKey(side);
    side = Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\Shared");
    EXPECT_EQ(GetString(side, u"Who"), u"machine");
    RegCloseKey(side);
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"RevivoProvider.Revivo", 0, KEY_WRITE, &merged), ERROR_SUCCESS);
    ASSERT_EQ(SetString(merged, nullptr, u"Revivo Class"), ERROR_SUCCESS);
    RegCloseKey(merged);
    side = Create(HKEY_LOCAL_MACHINE, u"Software\\Classes\\RevivoProvider.Revivo");
    EXPECT_EQ(GetString(side, nullptr), u"Revivo Class");
    RegCloseKey(side);

    // A ProgID registered on the machine side resolves through CLSIDFromString.
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(u"RevivoProvider.Revivo", &clsid), S_OK);
    EXPECT_EQ(clsid.Data1, 0x499BFD0Cu);
    EXPECT_EQ(CLSIDFromString(u"No.Such.ProgId", &clsid), CO_E_CLASSSTRING);

    // New registrations through HKCR land in the machine's classes.
    HKEY created = Create(HKEY_CLASSES_ROOT, u"CLSID\\{B979019D-5037-44E0-835B-3CD84BDDA491}\\InprocServer32");
    ASSERT_EQ(SetString(created, nullptr, u"/opt/lumivel/RevivoSnapin.so"), ERROR_SUCCESS);
    RegCloseKey(created);
    HKEY check = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE,
                            u"Software\\Classes\\CLSID\\{B979019D-5037-44E0-835B-3CD84BDDA491}\\InprocServer32", 0,
                            KEY_READ, &check),
              ERROR_SUCCESS);
    EXPECT_EQ(GetString(check, nullptr), u"/opt/lumivel/RevivoSnapin.so");
    RegCloseKey(check);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Classes\\CLSID", 0, KEY_READ, &check), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(SHDeleteKeyW(HKEY_CLASSES_ROOT, u"CLSID\\{B979019D-5037-44E0-835B-3CD84BDDA491}"), ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{B979019D-5037-44E0-835B-3CD84BDDA491}", 0, KEY_READ, &check),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, DamagedHivesAreReportedAndNeverReplaced) {
    // Make a real hive, then cut it short.
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Tarvo Software"));
    std::string path = m_dir.path() + "/cut.hive";
    ASSERT_EQ(std::system(("cp '" + m_dir.path() + "/user.hive' '" + path + "'").c_str()), 0);
    std::string whole = ReadText(path);
    ASSERT_GT(whole.size(), 4096u);
    std::string cut = whole.substr(0, whole.size() - 1024);
    WriteText(path, cut);
    setenv("LUMIVEL_USER_HIVE", path.c_str(), 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software", 0, KEY_READ, &key), ERROR_BADDB);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_BADDB);
    EXPECT_EQ(ReadText(path), cut);

    // Cut at a page boundary, the missing pages are still noticed.
    std::string pages = whole.substr(0, 4096);
    for (std::string content : {std::string(), std::string("this is not a hive at all\n"), std::string(8192, '\0'), pages}) {
        WriteText(path, content);
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(ReadText(path), content);
    }
    WCHAR text[256];
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_BADDB, 0, text, 256, nullptr);
    EXPECT_EQ(std::u16string(text), u"The configuration registry database is corrupt.\r\n");
}

// Root too: the missing write bits decide, not who asks.
TEST_F(Registry, ReadOnlyHiveRefusesWriteAccess) {
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\X"));
    ::chmod((m_dir.path() + "/machine.hive").c_str(), 0444);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\X", 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    // Reading still works, and the old form opens with what the hive allows.
    ASSERT_EQ(RegOpenKeyW(HKEY_LOCAL_MACHINE, u"Software\\X", &key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, u"v", u"x"), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, u"v", u"x"), ERROR_ACCESS_DENIED);
    // So does another process that opens the read-only hive afresh.
    WCHAR self[4096];
    DWORD n = GetModuleFileNameW(nullptr, self, 4096);
    std::u16string reg(self, n);
    reg = u"\"" + reg.substr(0, reg.rfind(u'/') + 1) + u"reg\" query HKLM\\Software\\X";
    EXPECT_EQ(lumivel::testing::RunChild(reg).exitCode, 0u);
}

TEST_F(Registry, AMachineHiveThatCannotBeMadeReadsAsEmpty) {
    // A place where nobody, root included, may make a directory.
    const std::string forbidden = "/sys/lumivel-registry-test";
    if (::mkdir(forbidden.c_str(), 0700) == 0 || (errno != EPERM && errno != EACCES))
        GTEST_SKIP() << "no directory here refuses creation";
    setenv("LUMIVEL_MACHINE_HIVE", (forbidden + "/machine.hive").c_str(), 1);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Tarvo Software\\Tarvo Lumivel\\Interfaces", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(HKEY_LOCAL_MACHINE, u"v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\X", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
    // The user's classes still make up HKEY_CLASSES_ROOT.
    HKEY user = Create(HKEY_CURRENT_USER, u"Software\\Classes\\RevivoProvider.Revivo\\CLSID");
    ASSERT_EQ(SetString(user, nullptr, u"{499BFD0C-BB2D-4ACC-9FD2-C52C1D8C2236}"), ERROR_SUCCESS);
    RegCloseKey(user);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(u"RevivoProvider.Revivo", &clsid), S_OK);
    EXPECT_EQ(clsid.Data1, 0x499BFD0Cu);
    // Once the hive can be made, it is.
    setenv("LUMIVEL_MACHINE_HIVE", (m_dir.path() + "/machine.hive").c_str(), 1);
    RegCloseKey(Create(HKEY_LOCAL_MACHINE, u"Software\\X"));
}

TEST_F(Registry, TwoProcessesWritingAtOnceLoseNothing) {
    auto helper = lumivel::testing::HelperPath();
    // Both writers wait for this file, so that their writes overlap.
    std::u16string go = m_dir.wide("go");
    std::u16string lines[2] = {u"\"" + helper + u"\" write-values Software\\Stress first 1000 \"" + go + u"\"",
                               u"\"" + helper + u"\" write-values Software\\Stress second 1000 \"" + go + u"\""};
    PROCESS_INFORMATION children[2] = {};
    for (int i = 0; i < 2; ++i) {
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        ASSERT_TRUE(CreateProcessW(nullptr, lines[i].data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &children[i]));
    }
    WriteText(lumivel::ToUtf8(go), "");
    HANDLE both[2] = {children[0].hProcess, children[1].hProcess};
    ASSERT_EQ(WaitForMultipleObjects(2, both, TRUE, 300000), WAIT_OBJECT_0);
    for (auto& child : children) {
        DWORD code = 1;
        GetExitCodeProcess(child.hProcess, &code);
        EXPECT_EQ(code, 0u) << "failed writes";
        CloseHandle(child.hProcess);
        CloseHandle(child.hThread);
    }
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Stress", 0, KEY_READ, &key), ERROR_SUCCESS);
    std::set<std::u16string> names;
    size_t wrongData = 0;
    WCHAR name[32];
    for (DWORD i = 0;; ++i) {
        DWORD length = 32, type = 0, value = 0, size = sizeof(value);
        if (RegEnumValueW(key, i, name, &length, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
            break;
        std::u16string text(name);
        size_t digits = text.find_first_of(u"0123456789");
        if (type != REG_DWORD || size != 4 || digits == std::u16string::npos ||
            lumivel::ToUtf8(text.substr(digits)) != std::to_string(value))
            ++wrongData;
        names.insert(text);
    }
    EXPECT_EQ(names.size(), 2000u);
    EXPECT_EQ(wrongData, 0u);
    EXPECT_TRUE(names.count(u"first999") && names.count(u"second0"));
    RegCloseKey(key);
}

// Hostile names must come out of an export as one line each, characters beyond the BMP whole.
TEST_F(Registry, RegToolExportEscapesHostileNames) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Odd\\Line\nFeed \"q\"", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const std::u16string text = u"caf\u00E9 \U0001F600 a\\b";
    ASSERT_EQ(RegSetValueExW(key, u"\U0001F600\r\"x\"", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR))),
              ERROR_SUCCESS);
    RegCloseKey(key);
    WCHAR self[4096];
    DWORD n = GetModuleFileNameW(nullptr, self, 4096);
    std::u16string reg = std::u16string(self, n);
    reg = u"\"" + reg.substr(0, reg.rfind(u'/') + 1) + u"reg\"";
    std::string file = m_dir.path() + "/odd.txt";
    ASSERT_EQ(lumivel::testing::RunChild(reg + u" export HKCU\\Software\\Odd \"" + lumivel::FromUtf8(file) + u"\" /y")
                  .exitCode,
              0u);
    EXPECT_EQ(ReadText(file),
              "Lumivel Registry Export 1\n\n[HKEY_CURRENT_USER\\Software\\Odd]\n\n"
              "[HKEY_CURRENT_USER\\Software\\Odd\\Line\\nFeed \\\"q\\\"]\n"
              "\"\xF0\x9F\x98\x80\\r\\\"x\\\"\"=\"caf\xC3\xA9 \xF0\x9F\x98\x80 a\\\\b\"\n\n");
}

TEST_F(Registry, RegToolQueriesAddsDeletesAndExports) {
    WCHAR self[4096];
    DWORD n = GetModuleFileNameW(nullptr, self, 4096);
    std::u16string reg = std::u16string(self, n);
    reg = u"\"" + reg.substr(0, reg.rfind(u'/') + 1) + u"reg\"";
    using lumivel::testing::RunChild;
    auto added = RunChild(reg + u" add \"HKLM\\Software\\Policies\\Tarvo Software\\Tarvo Lumivel\" /v FileLocation /d "
                                u"\"\\\\dc1\\share\\backups\" /f");
    EXPECT_EQ(added.exitCode, 0u) << added.output;
    EXPECT_EQ(RunChild(reg + u" add HKCU\\Software\\T /v Count /t REG_DWORD /d 0x1f /f").exitCode, 0u);
    EXPECT_EQ(RunChild(reg + u" add HKCU\\Software\\T /v Bad /t REG_DWORD /d nonsense /f").exitCode, 1u);
    auto query = RunChild(reg + u" query \"hklm\\software\\policies\\tarvo software\\tarvo lumivel\" /v filelocation");
    EXPECT_EQ(query.exitCode, 0u);
    EXPECT_NE(query.output.find("REG_SZ    \\\\dc1\\share\\backups"), std::string::npos) << query.output;
    auto tree = RunChild(reg + u" query HKCU\\Software /s");
    EXPECT_NE(tree.output.find("HKEY_CURRENT_USER\\Software\\T\n    Count    REG_DWORD    0x1f"), std::string::npos)
        << tree.output;
    std::string file = m_dir.path() + "/export.txt";
    EXPECT_EQ(RunChild(reg + u" export HKCU\\Software \"" + lumivel::FromUtf8(file) + u"\" /y").exitCode, 0u);
    EXPECT_EQ(ReadText(file),
              "Lumivel Registry Export 1\n\n[HKEY_CURRENT_USER\\Software]\n\n[HKEY_CURRENT_USER\\Software\\T]\n"
              "\"Count\"=dword:0000001f\n\n");
    EXPECT_EQ(RunChild(reg + u" delete HKCU\\Software\\T /v Count /f").exitCode, 0u);
    EXPECT_EQ(RunChild(reg + u" query HKCU\\Software\\T /v Count").exitCode, 1u);
    EXPECT_EQ(RunChild(reg + u" delete HKCU\\Software\\T /f").exitCode, 0u);
    EXPECT_EQ(RunChild(reg + u" query HKCU\\Software\\T").exitCode, 1u);
    EXPECT_EQ(RunChild(reg + u" query HKXX\\Software").exitCode, 1u);
    EXPECT_EQ(RunChild(reg + u" --help").exitCode, 0u);
    EXPECT_EQ(RunChild(reg).exitCode, 1u);
}

}  // namespace
