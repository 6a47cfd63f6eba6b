// The machine's configuration as the backup code takes it. The configuration is read once
// per process, so this program sets it up before anything reads it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "lumivel/registry_key.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_folder.h"
#include "tests/support/private_hives.h"

namespace revivo {
namespace {

const auto* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

class MachineSettings : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_folder = std::filesystem::temp_directory_path() / ("lumivel-machine-settings-" + std::to_string(getpid()));
        std::filesystem::create_directories(s_folder);
        std::ofstream(s_folder / "lumivel.conf") << "# the machine's folder\nBackupFolder = /srv/machine-backups\n";
        setenv("LUMIVEL_CONFIG_DIR", s_folder.c_str(), 1);
    }
    static void TearDownTestSuite() { std::filesystem::remove_all(s_folder); }
    static std::filesystem::path s_folder;
};
std::filesystem::path MachineSettings::s_folder;

TEST_F(MachineSettings, UserPolicyThenMachineFolderThenSysvol) {
    lumivel::RegistryKey policy;
    ASSERT_EQ(policy.create(HKEY_CURRENT_USER, kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(policy.writeString(kFileLocationValue, u""), ERROR_SUCCESS);
    BackupFolder machine = BackupFolderFor(u"dc1.lumivel.test");
    EXPECT_EQ(machine.path, u"/srv/machine-backups/");
    EXPECT_FALSE(machine.onSysvol);

    ASSERT_EQ(policy.writeString(kFileLocationValue, u"\\\\files\\mine"), ERROR_SUCCESS);
    EXPECT_EQ(BackupFolderFor(u"dc1.lumivel.test").path, u"\\\\files\\mine\\");
    ASSERT_EQ(policy.writeString(kFileLocationValue, u""), ERROR_SUCCESS);
}

TEST_F(MachineSettings, TheMachinesAttributeListBeforeTheModulesCopy) {
    const std::u16string shipped = ConfigurationFilePath();
    EXPECT_NE(shipped.find(u"Revivo_Config.inf"), std::u16string::npos);
    std::ofstream(s_folder / "Revivo_Config.inf")
        << "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[Restricted.Attributes]\r\nextensionAttribute7\r\n";
    const std::string machine = (s_folder / "Revivo_Config.inf").string();
    EXPECT_EQ(ConfigurationFilePath(), std::u16string(machine.begin(), machine.end()));
    AttributeLists lists;
    EXPECT_TRUE(lists.IsRestricted(u"EXTENSIONATTRIBUTE7"));
    std::filesystem::remove(s_folder / "Revivo_Config.inf");
    EXPECT_EQ(ConfigurationFilePath(), shipped);
}

}  // namespace
}  // namespace revivo
