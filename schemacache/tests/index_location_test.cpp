#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "schemacache/index_location.h"
#include "schemacache/tests/index_test_support.h"

namespace glossar {
namespace {

using testing::TemporaryDirectory;

// Points the two cache directories into a private folder for the length of a test.
class FileLocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"LUMIVEL_MACHINE_CACHE", "XDG_CACHE_HOME", "HOME"}) {
            const char* value = std::getenv(name);
            m_saved.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
        }
        setenv("LUMIVEL_MACHINE_CACHE", (m_folder.path() + "/machine").c_str(), 1);
        setenv("XDG_CACHE_HOME", (m_folder.path() + "/user").c_str(), 1);
        std::filesystem::create_directory(m_folder.path() + "/module");
    }
    void TearDown() override {
        for (const auto& [name, value] : m_saved) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }
    std::u16string Path(const std::string& relative) const { return m_folder.wide(relative); }
    // A directory no process can create files in, root included: it lies below a file.
    std::u16string Unwritable() {
        testing::WriteBytes(m_folder.path() + "/file", {});
        return Path("file/module/");
    }

    TemporaryDirectory m_folder;
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

TEST_F(FileLocationTest, CandidatesInOrder) {
    EXPECT_EQ(FileLocationCandidates(u"/opt/lumivel/"),
              (std::vector<std::u16string>{u"/opt/lumivel/", Path("machine/"), Path("user/lumivel/")}));
    unsetenv("LUMIVEL_MACHINE_CACHE");
    setenv("XDG_CACHE_HOME", "relative/cache", 1);
    setenv("HOME", "/home/someone", 1);
    EXPECT_EQ(FileLocationCandidates(u"/opt/lumivel/"),
              (std::vector<std::u16string>{u"/opt/lumivel/", u"/var/cache/lumivel/", u"/home/someone/.cache/lumivel/"}));
}

TEST_F(FileLocationTest, BesideTheModuleWhenItsDirectoryIsWritable) {
    EXPECT_EQ(FileLocation(Path("module/")), Path("module/"));
    // Asking leaves nothing behind, and creates no cache directory.
    EXPECT_TRUE(testing::Listing(m_folder.path() + "/module").empty());
    EXPECT_FALSE(std::filesystem::exists(m_folder.path() + "/machine"));
}

TEST_F(FileLocationTest, FallsBackToTheMachineCacheThenTheUsersCache) {
    const std::u16string module = Unwritable();
    EXPECT_EQ(FileLocation(module), Path("machine/"));
    EXPECT_TRUE(std::filesystem::is_directory(m_folder.path() + "/machine"));

    setenv("LUMIVEL_MACHINE_CACHE", (m_folder.path() + "/file/machine").c_str(), 1);
    EXPECT_EQ(FileLocation(module), Path("user/lumivel/"));
    EXPECT_TRUE(std::filesystem::is_directory(m_folder.path() + "/user/lumivel"));

    // Nowhere to write: the module's directory stands, so files placed there are still read.
    setenv("XDG_CACHE_HOME", (m_folder.path() + "/file/user").c_str(), 1);
    EXPECT_EQ(FileLocation(module), module);
}

TEST_F(FileLocationTest, ReadOnlyModuleDirectoryForAnOrdinaryUser) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    ASSERT_EQ(chmod((m_folder.path() + "/module").c_str(), 0555), 0);
    EXPECT_EQ(FileLocation(Path("module/")), Path("machine/"));
    chmod((m_folder.path() + "/module").c_str(), 0755);
}

TEST_F(FileLocationTest, NeverBesideInstalledSoftwareEvenForRoot) {
    // Root may write into /usr; the package manager owns it, so the cache is used instead.
    EXPECT_EQ(FileLocation(u"/usr/"), Path("machine/"));
    EXPECT_EQ(FileLocation(u"/usr/lib/lumivel/"), Path("machine/"));
}

TEST(ModulePaths, DirectoryOfAPath) {
    EXPECT_EQ(DirectoryOf(u"/opt/lumivel/Glossar.so"), u"/opt/lumivel/");
    EXPECT_EQ(DirectoryOf(u"C:\\Program Files\\Glossar.dll"), u"C:\\Program Files\\");
    EXPECT_EQ(DirectoryOf(u"Glossar.so"), u"");
    const std::u16string program = ModuleFileName(nullptr);
    EXPECT_EQ(program.substr(program.find_last_of(u'/') + 1), u"schema_index_test");
    EXPECT_EQ(ModuleDirectoryOf(reinterpret_cast<const void*>(&DirectoryOf)), DirectoryOf(program));
}

}  // namespace
}  // namespace glossar
