// `lumivel restore --dry-run`: the plan of a restore, changing nothing.
#include "cli/tests/cli_directory_fixture.h"

#include <regex>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

TEST_F(RestoreCommandLineTest, DryRunChangesNothingAndPredictsTheRestore) {
    // A deleted OU two levels deep with a user, and a user whose name a live one took.
    std::string deptName = "Plan Dept " + m_suffix;
    std::string dept = "OU=" + deptName + "," + m_root;
    std::string team = "OU=Team," + dept;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    std::string kid = "Kid " + m_suffix;
    std::string kidGuid = deletedUser(kid, team);
    ASSERT_FALSE(kidGuid.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(team));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    std::string twin = "Twin " + m_suffix;
    std::string twinGuid = deletedUser(twin);
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + twin + "," + m_root, twin));

    Outcome plan = lumivel({"restore", m_domain, kidGuid, twinGuid, "--dry-run", "--format", "json"});
    ASSERT_EQ(plan.exitCode, 0) << plan.err;
    std::vector<std::string> targets;
    std::regex target("\"target\": \"([^\"]*)\"");
    for (std::sregex_iterator it(plan.out.begin(), plan.out.end(), target), end; it != end; ++it)
        targets.push_back((*it)[1].str());
    ASSERT_EQ(targets, (std::vector<std::string>{dept, team, "CN=" + kid + "," + team, "CN=" + twin + "," + m_root}))
        << plan.out;
    EXPECT_EQ(occurrences(plan.out, "\"nameTaken\": true"), 1u) << plan.out;
    EXPECT_EQ(occurrences(plan.out, "\"mayReanimate\": true"), 2u) << plan.out;
    EXPECT_NE(plan.out.find("\"mayCreate\": true"), std::string::npos) << plan.out;
    EXPECT_NE(plan.out.find("\"expiresUtc\": \"2"), std::string::npos) << plan.out;
    EXPECT_FALSE(lumivel::testing::LdapExists(dept));
    EXPECT_EQ(tombstoneGuid(kid), kidGuid);

    Outcome tree = lumivel({"restore", m_domain, kidGuid, "--dry-run"});
    EXPECT_EQ(tree.exitCode, 0) << tree.err;
    EXPECT_NE(tree.out.find("Dry run: nothing is changed."), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("`- Team (organizationalUnit)"), std::string::npos) << tree.out;
    EXPECT_NE(tree.out.find("may reanimate: yes"), std::string::npos) << tree.out;

    // The real restore brings back the same objects, in the same order, at the same DNs.
    Outcome restored = lumivel({"restore", m_domain, kidGuid, "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_EQ(restored.out, "Restored " + deptName + " into " + m_root + "\nRestored Team into " + dept +
                                "\nRestored " + kid + " into " + team + "\n");

    Outcome unknown = lumivel({"restore", m_domain, "11111111-2222-3333-4444-555555555555", "--dry-run"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.out.find("not found"), std::string::npos) << unknown.out;
}

}  // namespace
}  // namespace lumivel_cli::tests
