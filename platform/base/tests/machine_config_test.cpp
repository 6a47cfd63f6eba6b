#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "lumivel/machine_config.h"

namespace lumivel {
namespace {

std::string valueOf(const ConfigFile& file, const std::string& key) {
    for (const ConfigValue& value : file.values)
        if (value.key == key) return value.value + "@" + std::to_string(value.line);
    return "unset";
}

bool saysProblem(const ConfigFile& file, const std::string& part) {
    for (const std::string& problem : file.problems)
        if (problem.find(part) != std::string::npos) return true;
    return false;
}

TEST(MachineConfigParser, ReadsKeysWithoutRegardToCaseAndBlanks) {
    const ConfigFile file = ParseMachineConfig(
        "# comment\n"
        "  ; another\n"
        "\n"
        "backupfolder =  \\\\files\\backups\\lumivel  \r\n"
        "LdapConnectTimeout=5\n"
        "\tPreferredDomainControllers = dc2.example.test, dc1.example.test\n"
        "Site =\n");
    EXPECT_TRUE(file.problems.empty()) << file.problems.front();
    EXPECT_EQ(valueOf(file, "BackupFolder"), "\\\\files\\backups\\lumivel@4");
    EXPECT_EQ(valueOf(file, "LdapConnectTimeout"), "5@5");
    EXPECT_EQ(valueOf(file, "PreferredDomainControllers"), "dc2.example.test, dc1.example.test@6");
    // An empty value is the default again, and no mistake.
    EXPECT_EQ(valueOf(file, "Site"), "@7");
}

TEST(MachineConfigParser, HostileLinesAreLeftOutOneByOne) {
    std::string text = "LdapOperationTimeout = 30\n";
    text += "BackupFolder = /" + std::string(10000, 'a') + "\n";  // line 2
    text += "Site = a\x1b[2Jb\n";                                  // line 3
    text += std::string("Site = x\0y\n", 11);                      // line 4
    text += "NoEqualsSign\n";                                      // line 5
    text += "FileLocation = /tmp\n";                               // line 6: a registry value, not a key here
    text += "LdapConnectTimeout = 10s\n";                          // line 7
    text += "LdapConnectTimeout = -1\n";                           // line 8
    text += "LdapConnectTimeout = 99999999999\n";                  // line 9
    text += "PreferredDomainControllers = dc1;rm -rf\n";           // line 10
    text += "SitePingTimeout = 800";                               // no line feed at the end
    const ConfigFile file = ParseMachineConfig(text);
    EXPECT_EQ(valueOf(file, "LdapOperationTimeout"), "30@1");
    EXPECT_EQ(valueOf(file, "BackupFolder"), "unset");
    EXPECT_EQ(valueOf(file, "Site"), "unset");
    EXPECT_EQ(valueOf(file, "LdapConnectTimeout"), "unset");
    EXPECT_EQ(valueOf(file, "PreferredDomainControllers"), "unset");
    EXPECT_EQ(valueOf(file, "SitePingTimeout"), "800@11");
    EXPECT_TRUE(saysProblem(file, "line 2: longer than"));
    EXPECT_TRUE(saysProblem(file, "line 3: holds a control character"));
    EXPECT_TRUE(saysProblem(file, "line 4: holds a control character"));
    EXPECT_TRUE(saysProblem(file, "line 5: not \"Key = value\""));
    EXPECT_TRUE(saysProblem(file, "line 6: unknown key 'FileLocation'"));
    for (const char* line : {"line 7:", "line 8:", "line 9:"}) EXPECT_TRUE(saysProblem(file, line)) << line;
    EXPECT_TRUE(saysProblem(file, "line 10: PreferredDomainControllers takes DNS names"));
    // No problem text carries the whole of a long line.
    for (const std::string& problem : file.problems) EXPECT_LT(problem.size(), 200u);
}

TEST(MachineConfigParser, TheLastOfDuplicatesCountsAndTheFirstIsNamed) {
    const ConfigFile file = ParseMachineConfig("Site = first\nSITE = second\nSite = third\n");
    EXPECT_EQ(valueOf(file, "Site"), "third@3");
    ASSERT_EQ(file.values.size(), 1u);
    EXPECT_TRUE(saysProblem(file, "line 2: Site is set again; line 1 no longer counts"));
    EXPECT_TRUE(saysProblem(file, "line 3: Site is set again; line 2 no longer counts"));
}

TEST(MachineConfigParser, EveryKeyOfTheTableHasAWorkingDefault) {
    for (const MachineSettingRow& row : MachineSettingRows()) {
        const ConfigFile file = ParseMachineConfig(std::string(row.key) + " = " + row.defaultValue + "\n");
        EXPECT_TRUE(file.problems.empty()) << row.key;
        EXPECT_NE(std::string(row.help), "") << row.key;
    }
}

TEST(MachineConfigFolders, SoftwareFoldersAreThoseBelowUsr) {
    EXPECT_TRUE(IsSoftwareFolder(u"/usr/lib/lumivel/"));
    EXPECT_TRUE(IsSoftwareFolder(u"/usr/local/lib/lumivel/"));
    EXPECT_FALSE(IsSoftwareFolder(u"/usrx/lib/"));
    EXPECT_FALSE(IsSoftwareFolder(u"/work/build/bin/"));
    EXPECT_FALSE(IsSoftwareFolder(u""));
}

// The whole process reads the file once, so one test sets it up and checks the precedence:
// the environment before the file before the default.
TEST(MachineConfigPrecedence, EnvironmentThenFileThenDefault) {
    char folder[] = "/tmp/lumivel-config-test-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    std::ofstream(std::string(folder) + "/lumivel.conf")
        << "LdapConnectTimeout = 7\nLdapOperationTimeout = 45\nPreferredDomainControllers = dc2.x.test,dc1.x.test\n"
           "Bogus = 1\n";
    setenv("LUMIVEL_CONFIG_DIR", (std::string(folder) + "//").c_str(), 1);
    setenv("LUMIVEL_TEST_TIMEOUT", "3", 1);
    setenv("LUMIVEL_TEST_BAD_TIMEOUT", "soon", 1);
    EXPECT_EQ(MachineConfigPath(), std::string(folder) + "/lumivel.conf");

    const NumberSetting fromEnvironment = MachineNumber("LdapConnectTimeout", "LUMIVEL_TEST_TIMEOUT");
    EXPECT_EQ(fromEnvironment.value, 3);
    EXPECT_EQ(fromEnvironment.origin, "LUMIVEL_TEST_TIMEOUT");
    const NumberSetting fromFile = MachineNumber("LdapOperationTimeout", "LUMIVEL_TEST_BAD_TIMEOUT");
    EXPECT_EQ(fromFile.value, 45);
    EXPECT_EQ(fromFile.origin, std::string(folder) + "/lumivel.conf:2");
    const NumberSetting fromDefault = MachineNumber("SitePingTimeout", nullptr);
    EXPECT_EQ(fromDefault.value, 1500);
    EXPECT_EQ(fromDefault.origin, "default");
    EXPECT_EQ(MachineNameList("PreferredDomainControllers"), (std::vector<std::string>{"dc2.x.test", "dc1.x.test"}));
    ASSERT_EQ(MachineConfig().problems.size(), 1u);
    EXPECT_NE(MachineConfig().problems[0].find("lumivel.conf: line 4: unknown key 'Bogus'"), std::string::npos);

    unlink((std::string(folder) + "/lumivel.conf").c_str());
    rmdir(folder);
    unsetenv("LUMIVEL_CONFIG_DIR");
}

}  // namespace
}  // namespace lumivel
