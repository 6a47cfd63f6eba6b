// Whose user hive a process reads: run as throwaway system users, the way a service, cron or
// the scheduler runs the registry without HOME. Needs root to make the users; skipped without.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/child_process.h"

namespace {

using lumivel::testing::ChildResult;
using lumivel::testing::RunShell;
using lumivel::testing::ShellQuote;

namespace fs = std::filesystem;

constexpr const char* kPlantedClass = "HKCU\\Software\\Classes\\CLSID\\{7D0E1F2A-3B4C-4D5E-8F60-718293A4B5C6}\\InprocServer32";
constexpr const char* kClassAsSeen = "HKCR\\CLSID\\{7D0E1F2A-3B4C-4D5E-8F60-718293A4B5C6}\\InprocServer32";

struct User {
    std::string name;
    uid_t uid = 0;
    gid_t gid = 0;
    std::string home;
};

class HiveOwner : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "making throwaway users needs root";
        char pattern[] = "/tmp/lumivel-owner-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        m_root = pattern;
        ::chmod(m_root.c_str(), 0755);
        // reg and the platform beside it, where the throwaway users may run them whatever the
        // permissions of the build folder.
        const char* binaries = std::getenv("LUMIVEL_BIN_DIR");
        ASSERT_NE(binaries, nullptr);
        fs::create_directories(m_root + "/bin");
        for (const char* file : {"reg", "libplatform.so"})
            fs::copy_file(std::string(binaries) + "/" + file, m_root + "/bin/" + file);
        ::chmod(m_root.c_str(), 0755);
        std::string tag = std::to_string(::getpid() % 100000);
        m_victim = MakeUser("lvtv" + tag);
        m_intruder = MakeUser("lvti" + tag);
    }
    void TearDown() override {
        for (const User& user : {m_victim, m_intruder})
            if (!user.name.empty()) RunShell("userdel " + user.name + " >/dev/null 2>&1; groupdel " + user.name + " >/dev/null 2>&1");
        if (!m_root.empty()) RunShell("rm -rf " + ShellQuote(m_root));
    }
    User MakeUser(const std::string& name) {
        User user;
        std::string home = m_root + "/home-" + name;
        ChildResult made = RunShell("useradd --system --user-group --no-create-home --shell /usr/sbin/nologin --home-dir " +
                         ShellQuote(home) + " " + name);
        EXPECT_EQ(made.exitCode, 0u) << made.output;
        struct passwd* entry = ::getpwnam(name.c_str());
        if (!entry) return user;
        user = {name, entry->pw_uid, entry->pw_gid, home};
        fs::create_directories(home);
        EXPECT_EQ(::chown(home.c_str(), user.uid, user.gid), 0);
        ::chmod(home.c_str(), 0700);
        return user;
    }
    // Runs reg as the user; `environment` comes first on the env command line.
    ChildResult RegAs(const User& user, const std::string& environment, const std::string& arguments) {
        return RunShell("cd / && setpriv --reuid=" + std::to_string(user.uid) + " --regid=" + std::to_string(user.gid) +
                   " --clear-groups env -u HOME -u XDG_CONFIG_HOME -u LUMIVEL_USER_HIVE LUMIVEL_MACHINE_HIVE=" +
                   ShellQuote(m_root + "/no-machine/machine.hive") + " " + environment + " " + ShellQuote(m_root + "/bin/reg") +
                   " " + arguments);
    }
    std::string m_root;
    User m_victim, m_intruder;
};

// Without HOME the hive used to be /tmp/.config/lumivel/user.hive, which anyone could make
// first; a class registered there was loaded before the machine's.
TEST_F(HiveOwner, WithoutHomeTheHiveComesFromThePasswordDatabase) {
    ASSERT_FALSE(m_victim.name.empty());
    bool planted = !fs::exists("/tmp/.config");
    if (planted) {
        ChildResult plant = RegAs(m_intruder, "HOME=/tmp", std::string("add '") + kPlantedClass + "' /ve /d /tmp/planted.so /f");
        EXPECT_EQ(plant.exitCode, 0u) << plant.output;
        // The intruder lets everybody in, so that the victim could read the hive.
        ChildResult opened = RunShell("setpriv --reuid=" + std::to_string(m_intruder.uid) + " --regid=" +
                                std::to_string(m_intruder.gid) + " --clear-groups chmod -R a+rwX /tmp/.config");
        EXPECT_EQ(opened.exitCode, 0u) << opened.output;
    }
    ChildResult seen = RegAs(m_victim, "", std::string("query '") + kClassAsSeen + "'");
    if (planted) RunShell("rm -rf /tmp/.config");
    EXPECT_EQ(seen.exitCode, 1u) << seen.output;
    EXPECT_EQ(seen.output.find("planted.so"), std::string::npos) << seen.output;
    EXPECT_NE(seen.output.find("unable to find"), std::string::npos) << seen.output;
    struct stat st {};
    ASSERT_EQ(::stat((m_victim.home + "/.config/lumivel/user.hive").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, m_victim.uid);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A hive, or a folder of it, that another user made or may write is refused with a reason.
TEST_F(HiveOwner, HivesThatOthersCouldChangeAreRefused) {
    ASSERT_FALSE(m_victim.name.empty());
    std::string home = "HOME=" + ShellQuote(m_victim.home);
    std::string folder = m_victim.home + "/.config/lumivel";
    std::string hive = folder + "/user.hive";
    fs::create_directories(folder);
    ASSERT_EQ(::chown((m_victim.home + "/.config").c_str(), m_victim.uid, m_victim.gid), 0);

    ASSERT_EQ(::chown(folder.c_str(), m_intruder.uid, m_intruder.gid), 0);
    ChildResult foreignFolder = RegAs(m_victim, home, "add 'HKCU\\Software\\X' /f");
    EXPECT_EQ(foreignFolder.exitCode, 1u);
    EXPECT_NE(foreignFolder.output.find("Access is denied."), std::string::npos) << foreignFolder.output;
    EXPECT_NE(foreignFolder.output.find("its folder belongs to user " + std::to_string(m_intruder.uid)),
              std::string::npos)
        << foreignFolder.output;
    EXPECT_NE(foreignFolder.output.find(hive), std::string::npos) << foreignFolder.output;
    EXPECT_FALSE(fs::exists(hive));

    // The user's own folder, writable by the user's own group (umask 002), is fine.
    ASSERT_EQ(::chown(folder.c_str(), m_victim.uid, m_victim.gid), 0);
    ::chmod(folder.c_str(), 0775);
    ChildResult own = RegAs(m_victim, home, "add 'HKCU\\Software\\X' /f");
    EXPECT_EQ(own.exitCode, 0u) << own.output;

    // Writable by another group, or by everybody: refused.
    ASSERT_EQ(::chown(folder.c_str(), m_victim.uid, m_intruder.gid), 0);
    ChildResult otherGroup = RegAs(m_victim, home, "query 'HKCU\\Software\\X'");
    EXPECT_EQ(otherGroup.exitCode, 1u);
    EXPECT_NE(otherGroup.output.find("its folder may be written by group " + std::to_string(m_intruder.gid)),
              std::string::npos)
        << otherGroup.output;
    ASSERT_EQ(::chown(folder.c_str(), m_victim.uid, m_victim.gid), 0);
    ::chmod(folder.c_str(), 0700);
    ::chmod(hive.c_str(), 0666);
    ChildResult everybody = RegAs(m_victim, home, "query 'HKCU\\Software\\X'");
    EXPECT_EQ(everybody.exitCode, 1u);
    EXPECT_NE(everybody.output.find("the file may be written by every user"), std::string::npos) << everybody.output;

    // A hive file that another user made in the user's folder.
    ::chmod(hive.c_str(), 0600);
    ASSERT_EQ(::chown(hive.c_str(), m_intruder.uid, m_intruder.gid), 0);
    ChildResult foreignFile = RegAs(m_victim, home, "query 'HKCU\\Software\\X'");
    EXPECT_EQ(foreignFile.exitCode, 1u);
    EXPECT_NE(foreignFile.output.find("the file belongs to user"), std::string::npos) << foreignFile.output;
}

}  // namespace
