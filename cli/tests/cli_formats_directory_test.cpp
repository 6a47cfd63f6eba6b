// What scripts read from the commands that print records, against the test directory: each
// JSON parsed back with its version, and --server taking the work to the DC it names.
#include "cli/tests/cli_directory_fixture.h"

#include <filesystem>
#include <regex>

#include <nlohmann/json.hpp>

#include "tests/support/directory_fixture.h"

namespace lumivel_cli::tests {
namespace {

using Json = nlohmann::ordered_json;

Json parsedRun(const Outcome& outcome, const std::string& command) {
    EXPECT_EQ(outcome.exitCode, 0) << command << ": " << outcome.err;
    Json document = Json::parse(outcome.out, nullptr, false);
    EXPECT_TRUE(document.is_object()) << command << ": " << outcome.out;
    if (!document.is_object()) return Json::object();
    EXPECT_EQ(document["version"], 1) << command;
    EXPECT_EQ(document["command"], command);
    return document;
}

bool isUtc(const Json& value) {
    static const std::regex form(R"(^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$)");
    return value.is_string() && std::regex_match(value.get<std::string>(), form);
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

TEST_F(RestoreCommandLineTest, RestoreResultsAndPlansAsRecords) {
    const std::string server = lumivel::testing::TestDirectory().server;
    std::string name = "Formatted " + m_suffix;
    std::string guid = deletedUser(name);
    ASSERT_FALSE(guid.empty());

    Json steps = Json::array();
    Outcome tsv = lumivel({"restore", m_domain, guid, "--dry-run", "-f", "tsv"});
    ASSERT_EQ(tsv.exitCode, 0) << tsv.err;
    std::vector<std::string> rows = lines(tsv.out);
    ASSERT_EQ(rows.size(), 2u) << tsv.out;
    EXPECT_EQ(rows[0].rfind("requested\tfound\tmayReanimate\tmissingParent\tname\tclass\ttombstone\ttarget\t", 0), 0u);
    std::vector<std::string> row = fields(rows[1]);
    ASSERT_EQ(row.size(), 12u) << rows[1];
    EXPECT_EQ(row[0], guid);
    EXPECT_EQ(row[1], "true");
    EXPECT_EQ(row[7], "CN=" + name + "," + m_root);
    EXPECT_TRUE(std::regex_match(row[11], std::regex(R"([0-9-]{10}T[0-9:]{8}Z)"))) << row[11];

    // Through the DC it names: its listing, its restore and its record say so.
    Json restored = parsedRun(lumivel({"restore", m_domain, guid, "-y", "--server", server, "--format", "json"}), "restore");
    EXPECT_EQ(restored["dryRun"], false);
    ASSERT_EQ(restored["results"].size(), 1u) << restored.dump();
    const Json& result = restored["results"][0];
    EXPECT_EQ(result["requested"], guid);
    EXPECT_EQ(result["outcome"], "restored");
    EXPECT_EQ(result["name"], name);
    EXPECT_EQ(lower(result["guid"]), lower(guid));
    EXPECT_EQ(result["dn"], "CN=" + name + "," + m_root);
    EXPECT_EQ(result["parent"], m_root);
    EXPECT_TRUE(result["renamedFrom"].is_null());
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + name + "," + m_root));

    // Again: restored already, and the run fails as it always has.
    Outcome again = lumivel({"restore", m_domain, guid, "--yes", "-f", "json"});
    EXPECT_EQ(again.exitCode, 1);
    Json twice = Json::parse(again.out, nullptr, false);
    ASSERT_TRUE(twice.is_object()) << again.out;
    EXPECT_EQ(twice["results"][0]["outcome"], "alreadyRestored") << again.out;
    EXPECT_EQ(twice["results"][0]["dn"], "CN=" + name + "," + m_root);

    // A DC that does not answer is said as such, and nothing is printed as if listed.
    Outcome nowhere = lumivelWith({{"LUMIVEL_LDAP_CONNECT_TIMEOUT", "3"}}, {"list", m_domain, "--server", "127.0.0.9", "-f", "json"});
    EXPECT_EQ(nowhere.exitCode, 1);
    EXPECT_TRUE(nowhere.out.empty()) << nowhere.out;
    EXPECT_NE(nowhere.err.find("cannot list the deleted objects of " + m_domain), std::string::npos) << nowhere.err;
}

TEST_F(RestoreCommandLineTest, ListingsAndDomainsAsRecordsThroughTheNamedServer) {
    const std::string server = lumivel::testing::TestDirectory().server;
    std::string name = "Listed " + m_suffix;
    std::string guid = deletedUser(name);
    ASSERT_FALSE(guid.empty());
    Json listed = parsedRun(lumivel({"list", m_domain, "--filter", name, "--server", server, "-f", "json"}), "list");
    ASSERT_EQ(listed["tombstones"].size(), 1u) << listed.dump();
    const Json& tombstone = listed["tombstones"][0];
    EXPECT_EQ(tombstone["name"], name);
    EXPECT_EQ(tombstone["lastKnownParent"], m_root);
    EXPECT_TRUE(isUtc(tombstone["dateDeleted"])) << tombstone.dump();
    EXPECT_EQ(tombstone["dateDeleted"], tombstone["deletedUtc"]);
    EXPECT_TRUE(isUtc(tombstone["expires"])) << tombstone.dump();

    Outcome connected = lumivel({"connect", m_domain, "--server", server});
    ASSERT_EQ(connected.exitCode, 0) << connected.err;
    Json domains = parsedRun(lumivel({"domains", "--format", "json"}), "domains");
    bool found = false;
    for (const Json& domain : domains["domains"])
        if (lower(domain["domain"]) == lower(m_domain)) {
            found = true;
            EXPECT_FALSE(domain["domainController"].get<std::string>().empty()) << domain.dump();
            EXPECT_EQ(lower(domain["namingContext"]), lower(lumivel::testing::TestDirectory().baseDn)) << domain.dump();
        }
    EXPECT_TRUE(found) << domains.dump();
    Outcome tsv = lumivel({"domains", "-f", "tsv"});
    EXPECT_EQ(lines(tsv.out).at(0), "name\tdomain\tdomainController\tnamingContext\tcontrollerSite\tclientSite");
}

// -v: the LDAP operations on stderr, names and never values; the records on stdout as without it.
TEST_F(RestoreCommandLineTest, VerboseTracesTheLdapOperationsOnStderr) {
    const std::string server = lower(lumivel::testing::TestDirectory().server);
    std::string name = "Traced " + m_suffix;
    std::string guid = deletedUser(name);
    ASSERT_FALSE(guid.empty());
    Outcome quiet = lumivel({"list", m_domain, "--filter", name, "-f", "json"});
    EXPECT_EQ(quiet.err.find("trace:"), std::string::npos) << quiet.err;

    Outcome traced = lumivel({"-v", "restore", m_domain, guid, "--yes", "-f", "json"});
    ASSERT_EQ(traced.exitCode, 0) << traced.err;
    EXPECT_EQ(Json::parse(traced.out)["results"][0]["outcome"], "restored");
    const std::string err = lower(traced.err);
    EXPECT_NE(err.find("trace: ldap: " + server + ": search <wkguid=18e2ea80684f11d2b9aa00c04f79f805,"), std::string::npos)
        << traced.err;
    // The reanimating modify: its tombstone, the attributes it changes, the server's answer.
    const std::string modify = "trace: ldap: " + server + ": modify cn=" + lower(name) + "\\0adel:" + lower(guid);
    size_t at = err.find(modify);
    ASSERT_NE(at, std::string::npos) << traced.err;
    const std::string line = err.substr(at, err.find('\n', at) - at);
    EXPECT_NE(line.find("delete isdeleted"), std::string::npos) << line;
    EXPECT_NE(line.find("replace distinguishedname"), std::string::npos) << line;
    EXPECT_NE(line.find(": 0 (success)"), std::string::npos) << line;
    EXPECT_EQ(line.find("cn=" + lower(name) + "," + lower(m_root) + ":"), std::string::npos) << "no values: " << line;
}

TEST_F(BackupCommandLineTest, BackupAndBackupsAsRecords) {
    std::string unit = "OU=Kept " + m_suffix + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(unit));
    const std::string server = lumivel::testing::TestDirectory().server;
    Json backup = parsedRun(lumivel({"backup", m_domain, unit, "--server", server, "--format", "json"}), "backup");
    ASSERT_EQ(backup["archives"].size(), 1u) << backup.dump();
    const std::string path = backup["archives"][0]["path"];
    EXPECT_TRUE(std::filesystem::exists(path)) << path;
    EXPECT_EQ(backup["archives"][0]["server"], server);
    EXPECT_EQ(backup["archives"][0]["objects"], Json::array({unit}));

    Json listing = parsedRun(lumivel({"backups", m_domain, "--object", unit, "-f", "json"}), "backups");
    EXPECT_EQ(listing["folder"].get<std::string>().rfind(m_folder, 0), 0u) << listing.dump();
    EXPECT_EQ(listing["object"], unit);
    ASSERT_EQ(listing["archives"].size(), 1u) << listing.dump();
    const Json& archive = listing["archives"][0];
    EXPECT_EQ(archive["path"], path);
    EXPECT_TRUE(isUtc(archive["date"])) << archive.dump();
    EXPECT_EQ(archive["origin"], unit);
    EXPECT_EQ(archive["objects"], 1);
    EXPECT_EQ(archive["holdsObject"], true);
    // The table is for a person: headings, and the date in local time.
    Outcome table = lumivel({"backups", m_domain});
    EXPECT_EQ(lines(table.out).at(0).rfind("File ", 0), 0u) << table.out;
}

}  // namespace
}  // namespace lumivel_cli::tests
