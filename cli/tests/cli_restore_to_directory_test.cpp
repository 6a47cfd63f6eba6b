// `lumivel restore --to`: into a live container instead of the last known parent.
#include "cli/tests/cli_directory_fixture.h"

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

TEST_F(RestoreCommandLineTest, RestoreToPutsTheObjectIntoALiveContainerThatAcceptsIt) {
    std::string other = "OU=Elsewhere," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(other));
    std::string moved = "Moved " + m_suffix;
    std::string movedGuid = deletedUser(moved);
    ASSERT_FALSE(movedGuid.empty());
    Outcome into = lumivel({"restore", m_domain, movedGuid, "--to", other, "--yes"});
    EXPECT_EQ(into.exitCode, 0) << into.err;
    EXPECT_EQ(into.out, "Restored " + moved + " into " + other + "\n");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + moved + "," + other));
    EXPECT_FALSE(lumivel::testing::LdapExists("CN=" + moved + "," + m_root));

    // A user holds no users, and a container that is not there holds nothing.
    std::string holder = "CN=Holder " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(holder, "Holder " + m_suffix));
    std::string kept = "Kept " + m_suffix;
    std::string keptGuid = deletedUser(kept);
    ASSERT_FALSE(keptGuid.empty());
    Outcome refused = lumivel({"restore", m_domain, keptGuid, "--to", holder, "--yes"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.out, "Not restored " + kept + ": Restore Object: The container " + holder +
                               " does not accept an object of class user.\n");
    Outcome missing = lumivel({"restore", m_domain, keptGuid, "--to", "OU=Nowhere," + m_root, "--yes"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.out.find("The container OU=Nowhere," + m_root + " cannot be used: "), std::string::npos)
        << missing.out;
    EXPECT_EQ(tombstoneGuid(kept), keptGuid);
    EXPECT_EQ(lumivel({"restore", m_domain, keptGuid, "--to", other, "--subtree"}).exitCode, 2);
}

}  // namespace
}  // namespace lumivel_cli::tests
