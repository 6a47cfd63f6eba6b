// `lumivel restore --subtree`: a deleted container and what lies below it.
#include "cli/tests/cli_directory_fixture.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

class SubtreeCommandLineTest : public RestoreCommandLineTest {
protected:
    // A deleted OU below the root with a user, a sub-OU holding two users, and two
    // tombstones of one name, so that the second cannot come back beside the first.
    // The OU's tombstone GUID.
    std::string deletedTree(const std::string& name) {
        std::string tree = "OU=" + name + "," + m_root;
        std::string sub = "OU=Sub," + tree;
        if (!lumivel::testing::AddOrganizationalUnit(tree) || !lumivel::testing::AddOrganizationalUnit(sub)) return {};
        for (const std::string& dn : {"CN=U1," + tree, "CN=U2," + sub, "CN=U3," + sub})
            if (!lumivel::testing::AddUser(dn, dn.substr(3, 2)) || !lumivel::testing::LdapDelete(dn)) return {};
        for (int twice = 0; twice < 2; ++twice)
            if (!lumivel::testing::AddUser("CN=Dup," + tree, "Dup") || !lumivel::testing::LdapDelete("CN=Dup," + tree))
                return {};
        if (!lumivel::testing::LdapDelete(sub) || !lumivel::testing::LdapDelete(tree)) return {};
        std::vector<std::string> dns =
            lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=" + name + "*)");
        size_t del = dns.size() == 1 ? dns[0].find("DEL:") : std::string::npos;
        return del == std::string::npos ? std::string() : dns[0].substr(del + 4, 36);
    }
};

TEST_F(SubtreeCommandLineTest, ADeletedOuComesBackWithEverythingBelowItParentsFirst) {
    std::string name = "Kept " + m_suffix;
    std::string guid = deletedTree(name);
    ASSERT_FALSE(guid.empty());
    std::string tree = "OU=" + name + "," + m_root;
    Outcome restored = lumivel({"restore", m_domain, guid, "--subtree", "--keep-going", "--yes"});
    EXPECT_EQ(restored.exitCode, 1) << restored.err;
    std::vector<std::string> report = lines(restored.out);
    ASSERT_EQ(report.size(), 8u) << restored.out;
    EXPECT_EQ(report[0], "Restored " + name + " into " + m_root);
    // Each object after its parent: the sub-OU before its users.
    auto at = [&](const std::string& line) { return std::find(report.begin(), report.end(), line) - report.begin(); };
    EXPECT_LT(at("Restored Sub into " + tree), at("Restored U2 into OU=Sub," + tree)) << restored.out;
    EXPECT_LT(at("Restored U3 into OU=Sub," + tree), 7);
    EXPECT_LT(at("Restored U1 into " + tree), 7);
    EXPECT_LT(at("Restored Dup into " + tree), 7);
    EXPECT_EQ(occurrences(restored.out, "Not restored Dup: "), 1u) << restored.out;
    EXPECT_EQ(report.back(), "6 of 7 objects restored");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=U3,OU=Sub," + tree));
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=U1," + tree));
}

TEST_F(SubtreeCommandLineTest, TheSubtreesOutcomesAsRecords) {
    std::string name = "Records " + m_suffix;
    std::string guid = deletedTree(name);
    ASSERT_FALSE(guid.empty());
    Outcome restored = lumivel({"restore", m_domain, guid, "--subtree", "--keep-going", "-y", "--format", "json"});
    EXPECT_EQ(restored.exitCode, 1) << restored.err;
    const nlohmann::json document = nlohmann::json::parse(restored.out, nullptr, false);
    ASSERT_TRUE(document.is_object()) << restored.out;
    EXPECT_EQ(document["version"], 1);
    EXPECT_EQ(document["dryRun"], false);
    const nlohmann::json& results = document["results"];
    ASSERT_EQ(results.size(), 7u) << restored.out;
    size_t restoredCount = 0, requested = 0;
    for (const nlohmann::json& result : results) {
        restoredCount += result["outcome"] == "restored" ? 1 : 0;
        requested += result["requested"].is_null() ? 0 : 1;
        if (result["outcome"] == "notRestored") {
            EXPECT_EQ(result["name"], "Dup");
            EXPECT_FALSE(result["reason"].get<std::string>().empty());
        }
    }
    EXPECT_EQ(restoredCount, 6u) << restored.out;
    EXPECT_EQ(requested, 1u) << "only the container was named";
    EXPECT_EQ(results[0]["dn"], "OU=" + name + "," + m_root);
    EXPECT_EQ(restored.out.find("objects restored"), std::string::npos) << "the count is the table's";
}

TEST_F(SubtreeCommandLineTest, WithoutKeepGoingTheFirstFailureStopsAndTheRestIsListed) {
    std::string name = "Stops " + m_suffix;
    std::string guid = deletedTree(name);
    ASSERT_FALSE(guid.empty());
    Outcome refused = lumivel({"restore", m_domain, guid, "--subtree"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("confirm with --yes"), std::string::npos) << refused.err;

    Outcome restored = lumivel({"restore", m_domain, guid, "--subtree", "--yes"});
    EXPECT_EQ(restored.exitCode, 1) << restored.err;
    std::vector<std::string> report = lines(restored.out);
    ASSERT_EQ(report.size(), 8u) << restored.out;
    size_t failed = std::find_if(report.begin(), report.end(),
                                 [](const std::string& line) { return line.rfind("Not restored Dup: ", 0) == 0; }) -
                    report.begin();
    ASSERT_LT(failed, 7u) << restored.out;
    size_t done = 0;
    for (size_t i = 0; i < 7; ++i) {
        if (i < failed) {
            EXPECT_EQ(report[i].rfind("Restored ", 0), 0u) << report[i];
        } else if (i > failed) {
            EXPECT_EQ(report[i].rfind("Not attempted ", 0), 0u) << report[i];
        }
        done += i < failed ? 1 : 0;
    }
    EXPECT_EQ(report.back(), std::to_string(done) + " of 7 objects restored");
    // What was not attempted is still a tombstone, and a second run brings it back.
    if (failed < 6) {
        Outcome rest = lumivel({"restore", m_domain, "--subtree", "--yes", guid});
        EXPECT_EQ(rest.exitCode, 1) << rest.out;  // the container is live now: no tombstone to start from
    }
    Outcome mistakes = lumivel({"restore", m_domain, guid, guid, "--subtree"});
    EXPECT_EQ(mistakes.exitCode, 2);
    EXPECT_EQ(lumivel({"restore", m_domain, guid, "--keep-going"}).exitCode, 2);
}

}  // namespace
}  // namespace lumivel_cli::tests
