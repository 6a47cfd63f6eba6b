// wscript on good and hostile scripts, with a registered scriptable class to call: what runs,
// what is refused before anything runs, and how failures are told.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/temporary_directory.h"

// After the platform headers: it defines LOCK_WRITE, a name objidl.h uses.
#include <fcntl.h>

extern char** environ;

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct HostResult {
    int exitCode = -1;
    std::string errors;
};

class ScriptHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_bin = std::getenv("LUMIVEL_BIN_DIR");
        setenv("LUMIVEL_USER_HIVE", (m_root.path() + "/user.hive").c_str(), 1);
        setenv("LUMIVEL_MACHINE_HIVE", (m_root.path() + "/machine.hive").c_str(), 1);
        setenv("LUMIVEL_UI", "headless", 1);
        m_probe = m_root.path() + "/probe.txt";
        setenv("LUMIVEL_SCRIPT_PROBE_FILE", m_probe.c_str(), 1);
        ASSERT_EQ(Run({m_bin + "/regsvr", "/s", m_bin + "/script_probe.so"}).exitCode, 0);
    }

    HostResult Run(const std::vector<std::string>& arguments) {
        const std::string errors = m_root.path() + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<char*> argv;
        for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        HostResult result;
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        result.errors = ReadFile(errors);
        return result;
    }

    std::string Script(const std::string& text, mode_t mode = 0600) {
        const std::string path = m_root.path() + "/script " + std::to_string(++m_scripts) + ".vbs";
        std::ofstream(path, std::ios::binary) << text;
        chmod(path.c_str(), mode);
        return path;
    }

    HostResult Host(const std::string& script, bool batch = false) {
        std::vector<std::string> arguments{m_bin + "/System32/wscript"};
        if (batch) arguments.push_back("//B");
        arguments.push_back(script);
        return Run(arguments);
    }

    lumivel::testing::TemporaryDirectory m_root;
    std::string m_bin;
    std::string m_probe;
    int m_scripts = 0;
};

TEST_F(ScriptHostTest, RunsTheGeneratedScriptThroughIDispatch) {
    const std::string dn = "CN=Ann \"\"The Boss\"\" \xD0\x96\xD0\xB5,OU=\xF0\x9F\x98\x80,DC=lumivel,DC=test";
    HostResult result = Host(Script("Set oObject = CreateObject(\"LumivelTest.ScriptProbe\")\r\n\r\n"
                                    "If IsObject(oObject) Then\r\n   oObject.Record \"" + dn + "\"\r\nEnd If"));
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(ReadFile(m_probe), "CN=Ann \"The Boss\" \xD0\x96\xD0\xB5,OU=\xF0\x9F\x98\x80,DC=lumivel,DC=test\n");

    // An object never made is no object: the block is passed over.
    result = Host(Script("If IsObject(other) Then\n  other.Record \"no\"\nEnd If\n"));
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(ReadFile(m_probe).find("no\n"), std::string::npos);
}

TEST_F(ScriptHostTest, AScriptBeyondTheLanguageRunsNoStatementAtAll) {
    // A name that closes its string early: the rest would be script of its own.
    HostResult result = Host(Script("Set o = CreateObject(\"LumivelTest.ScriptProbe\")\n"
                                    "o.Record \"CN=x\" : CreateObject(\"WScript.Shell\").Run \"sh\"\n"));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(access(m_probe.c_str(), F_OK), -1) << "the first line did not run either";
    EXPECT_NE(result.errors.find("Line:\t2"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("Char:\t17"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("Code:\t800A0401"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("Expected end of statement"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("script compilation error"), std::string::npos) << result.errors;

    result = Host(Script("Dim o\n"), true);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find(".vbs(1, 1) script compilation error: Expected statement"), std::string::npos)
        << result.errors;
}

TEST_F(ScriptHostTest, FailuresWhileRunningStopTheScriptWithTheirCause) {
    struct Case {
        const char* what;
        std::string text;
        const char* expected;
    };
    const Case cases[] = {
        {"an unknown class", "Set o = CreateObject(\"Nobody.Here\")\no.Record \"x\"\n",
         "(1, 1) script runtime error: ActiveX component can't create object: 'Nobody.Here' (0x800A01AD)"},
        {"no object", "o.Record \"x\"\n", "(1, 1) script runtime error: Object required: 'o' (0x800A01A8)"},
        {"an unknown method", "Set o = CreateObject(\"LumivelTest.ScriptProbe\")\no.Erase \"x\"\n",
         "(2, 1) script runtime error: Object doesn't support this property or method: 'o.Erase' (0x800A01B6)"},
        {"a method that fails", "Set o = CreateObject(\"LumivelTest.ScriptProbe\")\n  o.Refuse \"x\"\no.Record \"after\"\n",
         "(2, 3) script runtime error: Access is denied. (0x80070005)"},
    };
    for (const Case& c : cases) {
        HostResult result = Host(Script(c.text), true);
        EXPECT_EQ(result.exitCode, 1) << c.what;
        EXPECT_NE(result.errors.find(c.expected), std::string::npos) << c.what << ": " << result.errors;
    }
    EXPECT_EQ(access(m_probe.c_str(), F_OK), -1) << "nothing after a failure ran";
}

TEST_F(ScriptHostTest, AScriptOthersCouldChangeIsNotRun) {
    const std::string text = "Set o = CreateObject(\"LumivelTest.ScriptProbe\")\no.Record \"ran\"\n";
    HostResult result = Host(Script(text, 0666));
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find("may be changed by another account"), std::string::npos) << result.errors;

    const std::string target = Script(text);
    const std::string link = m_root.path() + "/link.vbs";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    result = Host(link);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find("is a symbolic link"), std::string::npos) << result.errors;

    const std::string open = m_root.path() + "/open";
    ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
    ASSERT_EQ(chmod(open.c_str(), 0777), 0);
    const std::string inOpen = open + "/x.vbs";
    std::ofstream(inOpen) << text;
    chmod(inOpen.c_str(), 0600);
    result = Host(inOpen);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.errors.find("folder that another account may change"), std::string::npos) << result.errors;

    EXPECT_EQ(Host(m_root.path() + "/missing.vbs").exitCode, 2);
    EXPECT_EQ(Run({m_bin + "/System32/wscript", "//X", target}).exitCode, 2);
    EXPECT_EQ(access(m_probe.c_str(), F_OK), -1);
}

TEST_F(ScriptHostTest, AScriptOrFolderAnotherGroupMayWriteIsNotRun) {
    if (geteuid() != 0) GTEST_SKIP() << "giving a file to another group needs root";
    const gid_t other = getegid() == 65534 ? 65533 : 65534;
    const std::string text = "Set o = CreateObject(\"LumivelTest.ScriptProbe\")\no.Record \"ran\"\n";
    struct Case {
        const char* what;
        gid_t fileGroup, folderGroup;
        int exitCode;
    } cases[] = {
        {"a script its own group may write", getegid(), getegid(), 0},
        {"a script another group may write", other, getegid(), 2},
        {"a folder another group may write", getegid(), other, 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string folder = m_root.path() + "/group " + std::to_string(++n);
        ASSERT_EQ(mkdir(folder.c_str(), 0775), 0);
        const std::string script = folder + "/x.vbs";
        std::ofstream(script) << text;
        ASSERT_EQ(chown(script.c_str(), 0, c.fileGroup), 0);
        ASSERT_EQ(chmod(script.c_str(), 0664), 0);
        ASSERT_EQ(chown(folder.c_str(), 0, c.folderGroup), 0);
        ASSERT_EQ(chmod(folder.c_str(), 0775), 0);
        HostResult result = Host(script);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.what << ": " << result.errors;
        if (c.exitCode == 2) {
            EXPECT_NE(result.errors.find("another account"), std::string::npos) << result.errors;
        }
    }
    EXPECT_EQ(ReadFile(m_probe), "ran\n") << "only the script of the account's own group ran";
}

}  // namespace
