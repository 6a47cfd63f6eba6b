#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "lumivel/confined_process.h"
#include "lumivel/module_loading.h"
#include "tests/support/child_process.h"
#include "tests/support/temporary_directory.h"

namespace {

using lumivel::testing::HelperPath;
using lumivel::testing::RunChild;
using lumivel::testing::TemporaryDirectory;

std::u16string Quoted(const std::u16string& path) { return u"\"" + path + u"\""; }

TEST(CreateProcess, SplitsTheCommandLineAsWindowsDoes) {
    struct Case {
        const char16_t* arguments;
        const char* argv;
    } cases[] = {
        {uR"(a b  c)", "[a]\n[b]\n[c]\n"},
        {uR"("a b" c)", "[a b]\n[c]\n"},
        {uR"(a\\b "c\\d")", "[a\\\\b]\n[c\\\\d]\n"},
        {uR"(\"quoted\")", "[\"quoted\"]\n"},
        {uR"("a\"b")", "[a\"b]\n"},
        {uR"(a\\\"b)", "[a\\\"b]\n"},
        {uR"("a""b" c)", "[a\"b]\n[c]\n"},
        {uR"("" x)", "[]\n[x]\n"},
        {uR"(ab"c d"e)", "[abc de]\n"},
        {uR"("unterminated arg)", "[unterminated arg]\n"},
        {u"\u00E9t\u00E9 \U0001F600", "[\xC3\xA9t\xC3\xA9]\n[\xF0\x9F\x98\x80]\n"},
    };
    for (const auto& c : cases) {
        auto result = RunChild(Quoted(HelperPath()) + u" args " + c.arguments);
        EXPECT_EQ(result.exitCode, 0u);
        EXPECT_EQ(result.output, c.argv) << lumivel::ToUtf8(c.arguments);
    }
}

TEST(CreateProcess, FindsTheProgramOfAnUnquotedPathWithBlanks) {
    TemporaryDirectory dir;
    std::string folder = dir.path() + "/Program Files";
    ::mkdir(folder.c_str(), 0755);
    ASSERT_TRUE(CopyFileW(HelperPath().c_str(), lumivel::FromUtf8(folder + "/helper").c_str(), FALSE));
    // "X.exe" finds X. The child sees the command line split at the first blank, as on Windows,
    // so the helper reads "Files/helper.exe" as its command and answers 100.
    auto result = RunChild(lumivel::FromUtf8(folder) + u"/helper.exe args x");
    EXPECT_EQ(result.exitCode, 100u) << result.output;

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::u16string missing = u"/no/such/program arg";
    EXPECT_FALSE(CreateProcessW(nullptr, missing.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::u16string notExecutable = Quoted(dir.wide()) + u" x";
    EXPECT_FALSE(CreateProcessW(nullptr, notExecutable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
}

// A bare application name is completed from the current directory only; a bare name at the
// start of the command line is also found in the program's directory.
TEST(CreateProcess, ApplicationNameIsNotSearchedFor) {
    TemporaryDirectory dir;
    std::u16string helper = HelperPath();
    std::u16string name = helper.substr(helper.rfind(u'/') + 1);
    char* previous = ::getcwd(nullptr, 0);
    ASSERT_NE(previous, nullptr);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    std::u16string line = name + u" exit 7";
    BOOL elsewhere = CreateProcessW(name.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    DWORD error = GetLastError();
    auto searched = RunChild(name + u" exit 6");
    ASSERT_TRUE(CopyFileW(helper.c_str(), (dir.wide() + u"/" + name).c_str(), FALSE));
    BOOL here = CreateProcessW(name.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    EXPECT_EQ(::chdir(previous), 0);
    std::free(previous);
    EXPECT_FALSE(elsewhere);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(searched.exitCode, 6u);
    ASSERT_TRUE(here);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, 7u);
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
}

TEST(CreateProcess, ExitCodesWaitsAndTermination) {
    EXPECT_EQ(RunChild(Quoted(HelperPath()) + u" exit 3").exitCode, 3u);
    std::u16string line = Quoted(HelperPath()) + u" sleep 400";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION info{};
    ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr, nullptr,
                               &startup, &info));
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeProcess(info.hProcess, &code));
    EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 20), static_cast<DWORD>(WAIT_TIMEOUT));
    // Polling as the schema cache does: the exit code changes once the child is done.
    for (int i = 0; i < 250 && code == STILL_ACTIVE; ++i) {
        Sleep(20);
        GetExitCodeProcess(info.hProcess, &code);
    }
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 0), WAIT_OBJECT_0);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);

    std::u16string sleeper = Quoted(HelperPath()) + u" sleep 60000";
    ASSERT_TRUE(CreateProcessW(nullptr, sleeper.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    EXPECT_TRUE(TerminateProcess(info.hProcess, 77));
    EXPECT_EQ(WaitForSingleObject(info.hProcess, 10000), WAIT_OBJECT_0);
    GetExitCodeProcess(info.hProcess, &code);
    EXPECT_EQ(code, 77u);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
}

TEST(Environment, ExpandsKnownVariablesAndKeepsUnknownOnes) {
    setenv("LUMIVEL_TEST_DIR", "/opt/icons", 1);
    struct Case {
        const char16_t* source;
        const char16_t* expanded;
    } cases[] = {
        {u"%LUMIVEL_TEST_DIR%/dsadmin.dll", u"/opt/icons/dsadmin.dll"},
        {u"%lumivel_test_dir%", u"/opt/icons"},
        {u"%NO_SUCH_VARIABLE_X%\\a", u"%NO_SUCH_VARIABLE_X%\\a"},
        {u"100% sure", u"100% sure"},
        {u"%%LUMIVEL_TEST_DIR%", u"%/opt/icons"},
        {u"a%LUMIVEL_TEST_DIR%b%", u"a/opt/iconsb%"},
        {u"", u""},
    };
    for (const auto& c : cases) {
        WCHAR buffer[MAX_PATH];
        DWORD n = ExpandEnvironmentStringsW(c.source, buffer, MAX_PATH);
        EXPECT_EQ(n, std::char_traits<char16_t>::length(c.expanded) + 1);
        EXPECT_EQ(std::u16string(buffer), c.expanded);
        ASSERT_TRUE(ExpandEnvironmentStringsForUserW(nullptr, c.source, buffer, MAX_PATH));
        EXPECT_EQ(std::u16string(buffer), c.expanded);
    }
    WCHAR tiny[4];
    EXPECT_EQ(ExpandEnvironmentStringsW(u"%LUMIVEL_TEST_DIR%", tiny, 4), 11u);
    EXPECT_FALSE(ExpandEnvironmentStringsForUserW(nullptr, u"%LUMIVEL_TEST_DIR%", tiny, 4));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    WCHAR windows[MAX_PATH];
    ASSERT_TRUE(ExpandEnvironmentStringsForUserW(nullptr, u"%SystemRoot%", windows, MAX_PATH));
    EXPECT_NE(windows[0], u'%');

    // The user's local application data is the cache folder of the XDG rules.
    std::string previousCache = std::getenv("XDG_CACHE_HOME") ? std::getenv("XDG_CACHE_HOME") : "";
    std::string previousHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CACHE_HOME", "/var/tmp/cache-of-x", 1);
    ASSERT_TRUE(ExpandEnvironmentStringsForUserW(nullptr, u"%LOCALAPPDATA%/lumivel", windows, MAX_PATH));
    EXPECT_EQ(std::u16string(windows), u"/var/tmp/cache-of-x/lumivel");
    setenv("XDG_CACHE_HOME", "relative/is/ignored", 1);
    setenv("HOME", "/home/x", 1);
    ASSERT_TRUE(ExpandEnvironmentStringsForUserW(nullptr, u"%LOCALAPPDATA%", windows, MAX_PATH));
    EXPECT_EQ(std::u16string(windows), u"/home/x/.cache");
    previousCache.empty() ? unsetenv("XDG_CACHE_HOME") : setenv("XDG_CACHE_HOME", previousCache.c_str(), 1);
    previousHome.empty() ? unsetenv("HOME") : setenv("HOME", previousHome.c_str(), 1);

    WCHAR value[8];
    EXPECT_EQ(GetEnvironmentVariableW(u"LUMIVEL_TEST_DIR", value, 8), 11u);
    ASSERT_TRUE(SetEnvironmentVariableW(u"LUMIVEL_TEST_DIR", u"x"));
    EXPECT_EQ(GetEnvironmentVariableW(u"Lumivel_Test_Dir", value, 8), 1u);
    ASSERT_TRUE(SetEnvironmentVariableW(u"LUMIVEL_TEST_DIR", nullptr));
    EXPECT_EQ(GetEnvironmentVariableW(u"LUMIVEL_TEST_DIR", value, 8), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ENVVAR_NOT_FOUND));
}

TEST(Modules, HandlesAndFileNames) {
    WCHAR name[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, name, MAX_PATH);
    ASSERT_GT(n, 0u);
    EXPECT_NE(std::u16string(name).find(u"files_test"), std::u16string::npos);
    EXPECT_EQ(GetModuleHandleW(nullptr), nullptr);

    HMODULE platform = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&CreateFileW), &platform));
    ASSERT_NE(platform, nullptr);
    n = GetModuleFileNameW(platform, name, MAX_PATH);
    std::u16string path(name, n);
    EXPECT_EQ(path.substr(path.rfind(u'/') + 1), u"libplatform.so");
    EXPECT_EQ(GetModuleHandleW(u"libplatform.so"), platform);
    EXPECT_EQ(GetModuleHandleW(u"PLATFORM.dll"), platform);

    WCHAR small[5];
    EXPECT_EQ(GetModuleFileNameW(platform, small, 5), 5u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(small[4], 0);

    HMODULE loaded = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    EXPECT_EQ(loaded, platform);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(loaded, "CreateFileW")), reinterpret_cast<void*>(&CreateFileW));
    EXPECT_EQ(GetProcAddress(loaded, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    EXPECT_TRUE(FreeLibrary(loaded));
    EXPECT_EQ(LoadLibraryW(u"/no/such/module.dll"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    // The result pane loads the rich-edit module for its window classes, which libplatform has.
    HMODULE richEdit = LoadLibraryW(u"riched32.dll");
    EXPECT_EQ(richEdit, platform);
    EXPECT_EQ(LoadLibraryW(u"RichEd20.DLL"), platform);
    EXPECT_TRUE(FreeLibrary(richEdit));
    EXPECT_TRUE(FreeLibrary(platform));
    EXPECT_FALSE(FreeLibrary(platform)) << "every load was paired with one free";
    // A file that is no shared object, and a directory, are told apart from a missing module.
    TemporaryDirectory dir;
    lumivel::testing::WriteText(dir.path() + "/broken.so", "not an ELF object, but long enough to be read as one....");
    EXPECT_EQ(LoadLibraryW(dir.wide("broken.so").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
    EXPECT_EQ(LoadLibraryW(dir.wide().c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetModuleFileNameW(reinterpret_cast<HMODULE>(0x1000), name, MAX_PATH), 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));

    WCHAR windows[MAX_PATH];
    UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(std::u16string(windows, length), path.substr(0, path.rfind(u'/')));
}

// Only files of the program folder pass, however a path reaches them: loading a module runs
// its code, so a module named by outside data must be one of ours.
TEST(Modules, InstallationModulesAreTheProgramFolderFilesOnly) {
    WCHAR name[MAX_PATH];
    HMODULE platform = GetModuleHandleW(u"libplatform.so");
    ASSERT_NE(platform, nullptr);
    const std::u16string path(name, GetModuleFileNameW(platform, name, MAX_PATH));
    const std::u16string folder = path.substr(0, path.rfind(u'/'));
    EXPECT_TRUE(lumivel::IsInstallationModule(path));
    EXPECT_TRUE(lumivel::IsInstallationModule(folder + u"/../" + folder.substr(folder.rfind(u'/') + 1) + u"/libplatform.so"));
    EXPECT_TRUE(lumivel::IsInstallationModule(folder + u"\\libplatform.so")) << "a backslash separates too";
    EXPECT_FALSE(lumivel::IsInstallationModule(folder)) << "a folder is no module";
    EXPECT_FALSE(lumivel::IsInstallationModule(folder + u"/no-such-module.so"));
    EXPECT_FALSE(lumivel::IsInstallationModule(u""));
    EXPECT_FALSE(lumivel::IsInstallationModule(u"%SystemRoot%\\system32\\dsadmin.dll"));

    TemporaryDirectory elsewhere;
    const std::string copy = elsewhere.path() + "/libplatform.so";
    std::filesystem::copy_file(lumivel::ToUtf8(path), copy);
    EXPECT_FALSE(lumivel::IsInstallationModule(lumivel::FromUtf8(copy))) << "the same file name outside the folder";
    // A link in another folder that leads into the program folder names a file of ours; a
    // link in the program folder that leads out does not.
    std::filesystem::create_symlink(lumivel::ToUtf8(path), elsewhere.path() + "/link.so");
    EXPECT_TRUE(lumivel::IsInstallationModule(elsewhere.wide("link.so")));
    const std::string outward = lumivel::ToUtf8(folder) + "/.outward-" + std::to_string(getpid()) + ".so";
    std::filesystem::create_symlink(copy, outward);
    EXPECT_FALSE(lumivel::IsInstallationModule(lumivel::FromUtf8(outward)));
    std::filesystem::remove(outward);
}

}  // namespace

namespace {

// A confined child whose set-up fails runs nothing of its program, and says which step failed:
// here entering a folder that is closed to it (to an account without root's rights, or to
// anyone without them).
TEST(CreateConfinedProcess, AStepThatFailsRunsNothingAndIsNamed) {
    TemporaryDirectory dir;
    const std::string closed = dir.path() + "/closed";
    ASSERT_EQ(mkdir(closed.c_str(), 0700), 0);
    lumivel::ProcessConfinement confinement;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) GTEST_SKIP() << "there is no account nobody to confine the child to";
        confinement.account = lumivel::ProcessAccount{nobody->pw_uid, nobody->pw_gid, {nobody->pw_gid}};
        ASSERT_EQ(chmod(dir.path().c_str(), 0711), 0);
    } else {
        ASSERT_EQ(chmod(closed.c_str(), 0), 0);
    }
    const std::string marker = dir.path() + "/ran";
    std::u16string line = u"/bin/touch " + lumivel::FromUtf8(marker);
    std::u16string environment = u"PATH=/usr/bin:/bin";
    environment += u'\0';
    environment += u'\0';
    PROCESS_INFORMATION info{};
    std::string step;
    EXPECT_FALSE(lumivel::CreateConfinedProcessW(line.data(), environment.data(), lumivel::FromUtf8(closed).c_str(),
                                                 confinement, &info, &step));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(step, "chdir");
    EXPECT_FALSE(std::filesystem::exists(marker));
    chmod(closed.c_str(), 0700);
}

}  // namespace
