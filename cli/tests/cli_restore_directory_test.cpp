// `lumivel restore`: consent, the lines it prints, new names, tombstones from files and from
// standard input.
#include "cli/tests/cli_directory_fixture.h"

#include <chrono>
#include <map>
#include <regex>

#include "tests/support/directory_fixture.h"
#include "tests/support/pseudo_terminal.h"
#include "tests/support/temporary_directory.h"

namespace lumivel_cli::tests {
namespace {

TEST_F(CommandLineTest, RestoreNeedsConsentRestoresOnceAndTakesANewName) {
    std::string suffix = lumivel::testing::UniqueSuffix();
    std::string root = "OU=RevivoCli " + suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(root));
    std::string name = "Cli User " + suffix;
    std::string dn = "CN=" + name + "," + root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    auto tombstones = lumivel::testing::TombstoneTimes(name);
    ASSERT_EQ(tombstones.size(), 1u);
    std::string tombstone = tombstones[0].first;

    Outcome refused = lumivel({"restore", m_domain, tombstone});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("--yes"), std::string::npos);
    EXPECT_FALSE(lumivel::testing::LdapExists(dn));

    Outcome restored = lumivel({"restore", m_domain, tombstone, "--yes"});
    EXPECT_EQ(restored.exitCode, 0) << restored.err;
    EXPECT_NE(restored.out.find("Restored " + name), std::string::npos);
    EXPECT_NE(restored.err.find("Success: The object was successfully restored."), std::string::npos);
    EXPECT_TRUE(lumivel::testing::LdapExists(dn));
    Outcome again = lumivel({"restore", m_domain, tombstone, "--yes"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out, "Already restored " + tombstone + ": it is live as " + dn + "\n");

    // Deleted again while a new object takes the name: the new name comes from the command line.
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    tombstones = lumivel::testing::TombstoneTimes(name);
    ASSERT_EQ(tombstones.size(), 1u);
    Outcome unanswered = lumivel({"restore", m_domain, tombstones[0].first, "--yes"});
    EXPECT_EQ(unanswered.exitCode, 1);
    // A new name that is taken as well ends the restore instead of asking for ever.
    std::string alsoTaken = "Taken Too " + suffix;
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + alsoTaken + "," + root, alsoTaken));
    Outcome twice = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--new-name", alsoTaken});
    EXPECT_EQ(twice.exitCode, 1);
    EXPECT_NE(twice.err.find("Name: " + alsoTaken + " is taken too"), std::string::npos) << twice.err;
    std::string newName = "Smith, John " + suffix;
    Outcome renamed = lumivel({"restore", m_domain, tombstones[0].first, "--yes", "--new-name", newName});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + lumivel::testing::EscapeRdnValue(newName) + "," + root));
    lumivel::testing::LdapDeleteTree(root);
}

TEST_F(RestoreCommandLineTest, RestoredLinesNameTheNameAndTheParentEachObjectGot) {
    // A deleted parent whose name needs escaping, and its deleted child.
    std::string deptName = "Dept, " + m_suffix;
    std::string dept = "OU=" + lumivel::testing::EscapeRdnValue(deptName) + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    std::string kid = "Kid " + m_suffix;
    std::string kidGuid = deletedUser(kid, dept);
    ASSERT_FALSE(kidGuid.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    Outcome chain = lumivel({"restore", m_domain, kidGuid, "--yes"});
    EXPECT_EQ(chain.exitCode, 0) << chain.err;
    EXPECT_EQ(chain.out, "Restored " + deptName + " into " + m_root + "\nRestored " + kid + " into " + dept + "\n");
    EXPECT_EQ(occurrences(chain.err, "successfully restored"), 1u) << chain.err;

    // A taken name: under --yes without --new-name it says so; with one, the line names it.
    std::string smith = "Smith " + m_suffix;
    std::string smithGuid = deletedUser(smith);
    ASSERT_FALSE(smithGuid.empty());
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + smith + "," + m_root, smith));
    Outcome taken = lumivel({"restore", m_domain, smithGuid, "--yes"});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_EQ(taken.out, "Not restored " + smith + ": the name " + smith + " is taken; give another with --new-name NAME\n");
    EXPECT_NE(taken.err.find("Name: " + smith + " is taken; give another with --new-name NAME"), std::string::npos)
        << taken.err;
    std::string newName = "Smith, John \"" + m_suffix + "\"";
    Outcome renamed = lumivel({"restore", m_domain, smithGuid, "--yes", "--new-name", newName});
    EXPECT_EQ(renamed.exitCode, 0) << renamed.err;
    EXPECT_EQ(renamed.out, "Restored " + newName + " into " + m_root + " (renamed: " + smith + " was taken)\n");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + lumivel::testing::EscapeRdnValue(newName) + "," + m_root));

    // A --new-name the restore did not need is reported as not used.
    std::string free = "Free " + m_suffix;
    std::string freeGuid = deletedUser(free);
    Outcome unused = lumivel({"restore", m_domain, freeGuid, "--yes", "--new-name", "Other"});
    EXPECT_EQ(unused.exitCode, 0) << unused.err;
    EXPECT_EQ(unused.out, "Restored " + free + " into " + m_root + " (--new-name Other not used: the name was free)\n");
}

TEST_F(RestoreCommandLineTest, OnATerminalYesNeverWaitsAndTheQuestionStatesThePlan) {
    std::string team = "OU=Team " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    std::string name = "Term " + m_suffix;
    std::string guid = deletedUser(name, team);
    ASSERT_FALSE(guid.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(team));
    const std::string program = binaryFolder() + "/lumivel";
    const auto limit = std::chrono::seconds(90);

    lumivel::testing::TerminalRun declined = lumivel::testing::RunOnTerminal({program, "restore", m_domain, guid}, limit, "n\n");
    EXPECT_FALSE(declined.timedOut) << declined.output;
    EXPECT_EQ(declined.exitCode, 1) << declined.output;
    EXPECT_NE(declined.output.find("deleted parent Team " + m_suffix + " (organizationalUnit) first, as " + team),
              std::string::npos) << declined.output;
    EXPECT_NE(declined.output.find(name + " (user) as CN=" + name + "," + team), std::string::npos) << declined.output;
    EXPECT_NE(declined.output.find("Left alone: the object was not restored."), std::string::npos);
    EXPECT_FALSE(lumivel::testing::LdapExists(team));

    // Under LUMIVEL_UI=headless nobody is asked, at a terminal too.
    lumivel::testing::TerminalRun headless =
        lumivel::testing::RunOnTerminal({"/usr/bin/env", "LUMIVEL_UI=headless", program, "restore", m_domain, guid}, limit);
    EXPECT_FALSE(headless.timedOut) << headless.output;
    EXPECT_EQ(headless.exitCode, 1);
    EXPECT_NE(headless.output.find("confirm with --yes"), std::string::npos) << headless.output;

    // --yes: nothing typed, nothing waited for, success said once.
    lumivel::testing::TerminalRun confirmed =
        lumivel::testing::RunOnTerminal({program, "restore", m_domain, guid, "--yes"}, limit);
    EXPECT_FALSE(confirmed.timedOut) << confirmed.output;
    EXPECT_EQ(confirmed.exitCode, 0) << confirmed.output;
    EXPECT_NE(confirmed.output.find("Restored " + name + " into " + team), std::string::npos) << confirmed.output;
    EXPECT_EQ(occurrences(confirmed.output, "successfully restored"), 1u) << confirmed.output;
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + name + "," + team));
}

TEST_F(RestoreCommandLineTest, ListedFieldsGoBackToRestoreAndSeveralRestoreInOneCall) {
    const std::string prefix = "Multi " + m_suffix + " ";
    const std::string names[] = {prefix + "A", prefix + "\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e",  // 王小明
                                 prefix + "\xf0\xa0\xae\xb7\xe9\x87\x8e", prefix + "D"};           // 𠮷野
    std::map<std::string, std::string> guids;
    for (const std::string& name : names) {
        guids[name] = deletedUser(name);
        ASSERT_FALSE(guids[name].empty()) << name;
    }

    Outcome tsv = lumivel({"list", m_domain, "-f", "tsv", "--filter", "CN=" + prefix});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
    std::vector<std::string> rows = lines(tsv.out);
    ASSERT_EQ(rows.size(), 5u) << tsv.out;
    EXPECT_EQ(rows[0], "name\tlastKnownParent\tclass\tdateDeleted\tdeletedUtc\tguid\ttombstoneName\ttombstone\t"
                       "expires\texpiresUtc");
    std::map<std::string, std::vector<std::string>> byName;
    for (size_t i = 1; i < rows.size(); ++i) {
        std::vector<std::string> row = fields(rows[i]);
        ASSERT_EQ(row.size(), 10u) << rows[i];
        EXPECT_TRUE(std::regex_match(row[9], std::regex("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z"))) << row[9];
        byName[row[0]] = row;
        EXPECT_EQ(row[1], m_root);
        EXPECT_EQ(row[5], guids[row[0]]);
        EXPECT_EQ(row[6], row[0] + "\\nDEL:" + row[5]);
        EXPECT_TRUE(std::regex_match(row[3], std::regex("\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} \\S+"))) << row[3];
        EXPECT_TRUE(std::regex_match(row[4], std::regex("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}Z"))) << row[4];
    }
    ASSERT_EQ(byName.size(), 4u);

    Outcome json = lumivel({"list", m_domain, "--format=json", "--filter", "CN=" + prefix + "A"});
    EXPECT_EQ(json.exitCode, 0);
    EXPECT_NE(json.out.find("\"name\": \"" + names[0] + "\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"guid\": \"" + guids[names[0]] + "\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"deletedUtc\": \"" + byName[names[0]][4] + "\""), std::string::npos) << json.out;

    // In the table, wide names keep the next column in line: Ann-like ASCII names get more blanks.
    Outcome table = lumivel({"list", m_domain, "--filter", "CN=" + prefix});
    std::map<std::string, size_t> blanks;
    for (const std::string& line : lines(table.out)) {
        for (const std::string& name : names) {
            if (line.rfind(name + " ", 0) != 0) continue;
            size_t parent = line.find(m_root);
            ASSERT_NE(parent, std::string::npos) << line;
            blanks[name] = parent - name.size();
        }
    }
    ASSERT_EQ(blanks.size(), 4u) << table.out;
    EXPECT_EQ(blanks[names[0]] - blanks[names[1]], 5u) << table.out;  // 1 column against 6
    EXPECT_EQ(blanks[names[0]] - blanks[names[2]], 3u) << table.out;  // 1 column against 4

    // Two tombstone fields as printed, from a file with the heading, beside a GUID on the command
    // line and one that names nothing: a line each, and a failing exit status for the one.
    lumivel::testing::TemporaryDirectory folder("lumivel-cli-from");
    std::string file = folder.path() + "/tombstones.tsv";
    lumivel::testing::WriteText(file, "tombstone\n" + byName[names[0]][7] + "\n" + byName[names[1]][7] + "\n");
    const std::string nobody = "00000000-0000-0000-0000-00000000abcd";
    Outcome several = lumivel({"restore", m_domain, guids[names[2]], nobody, "--from", file, "--yes"});
    EXPECT_EQ(several.exitCode, 1) << several.err;
    std::vector<std::string> reported = lines(several.out);
    ASSERT_EQ(reported.size(), 4u) << several.out;
    EXPECT_EQ(reported[0], "Restored " + names[2] + " into " + m_root);
    EXPECT_EQ(reported[1].rfind("Not found " + nobody + ": no deleted object", 0), 0u) << reported[1];
    EXPECT_EQ(reported[2], "Restored " + names[0] + " into " + m_root);
    EXPECT_EQ(reported[3], "Restored " + names[1] + " into " + m_root);
    for (size_t i = 0; i < 3; ++i) EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + names[i] + "," + m_root)) << names[i];

    // The listing piped in whole as standard input; every one restored, so success.
    std::string piped = binaryFolder() + "/lumivel list " + ShellQuote(m_domain) + " -f tsv --filter " + ShellQuote("CN=" + names[3]) +
                        " | " + binaryFolder() + "/lumivel restore " + ShellQuote(m_domain) + " --from - --yes";
    Outcome fromInput = run("sh -c " + ShellQuote(piped));
    EXPECT_EQ(fromInput.exitCode, 0) << fromInput.err;
    EXPECT_EQ(fromInput.out, "Restored " + names[3] + " into " + m_root + "\n");
}

}  // namespace
}  // namespace lumivel_cli::tests
