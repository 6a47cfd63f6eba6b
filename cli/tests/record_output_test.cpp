// The records each sub-command prints, parsed back: JSON against the keys and versions that
// cli/json_schemas.md documents, times in UTC, and text from outside kept harmless.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>

#include "cli/audit_log_command.h"
#include "cli/cli_jobs.h"
#include "cli/cli_output.h"
#include "cli/command_records.h"
#include "cli/output_schemas.h"
#include "cli/restore_preview.h"
#include "cli/restore_report.h"

using namespace lumivel_cli;

namespace {

using Parsed = nlohmann::ordered_json;

// The documented schemas: for each "command items-key", its version and its keys in order.
struct Documented {
    int version = 0;
    std::vector<std::string> keys;
};

std::map<std::string, Documented> documentedSchemas() {
    std::ifstream file(LUMIVEL_JSON_SCHEMAS);
    std::map<std::string, Documented> schemas;
    const std::regex heading(R"(^### `([a-z]+)` — `([a-z]+)`, version ([0-9]+)$)");
    const std::regex key(R"(^\| `([A-Za-z]+)` \|)");
    std::string line, current;
    while (std::getline(file, line)) {
        std::smatch match;
        if (std::regex_match(line, match, heading)) {
            current = match[1].str() + " " + match[2].str();
            schemas[current].version = std::stoi(match[3].str());
        } else if (!current.empty() && std::regex_search(line, match, key)) {
            schemas[current].keys.push_back(match[1].str());
        }
    }
    return schemas;
}

bool isUtc(const Parsed& value) {
    static const std::regex form(R"(^[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z$)");
    return value.is_null() || (value.is_string() && std::regex_match(value.get<std::string>(), form));
}

// A run's JSON parsed, checked against its documented schema; its records.
Parsed checkedRecords(const std::string& text, const RecordSchema& schema) {
    static const std::map<std::string, Documented> documented = documentedSchemas();
    const std::string name = std::string(schema.command) + " " + schema.itemsKey;
    auto found = documented.find(name);
    EXPECT_NE(found, documented.end()) << name << " is not documented";
    Parsed document = Parsed::parse(text, nullptr, false);
    EXPECT_TRUE(document.is_object()) << text;
    if (found == documented.end() || !document.is_object()) return Parsed::array();
    EXPECT_EQ(document["version"], found->second.version) << name;
    EXPECT_EQ(document["command"], schema.command) << name;
    const Parsed& records = document[schema.itemsKey];
    EXPECT_TRUE(records.is_array()) << text;
    for (const Parsed& record : records) {
        std::vector<std::string> keys;
        for (const auto& [key, value] : record.items()) keys.push_back(key);
        keys.resize(std::min(keys.size(), found->second.keys.size()));
        // The documented keys first, in their order; a record may carry more after them.
        EXPECT_EQ(keys, found->second.keys) << name << ": " << record.dump();
        for (const Column& column : schema.columns)
            if (column.kind == FieldKind::Time) {
                EXPECT_TRUE(isUtc(record[column.key])) << name << " " << column.key << ": " << record.dump();
            }
    }
    return records;
}

// Standard output of a piece of the command line, as a pipe would get it.
template <typename F>
std::string captured(F&& print) {
    std::ostringstream out;
    std::streambuf* before = std::cout.rdbuf(out.rdbuf());
    print();
    std::cout.rdbuf(before);
    return out.str();
}

class ZoneTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* zone = std::getenv("TZ");
        m_zone = zone ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (m_zone) setenv("TZ", m_zone->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    std::optional<std::string> m_zone;
};

TEST(RecordOutputTest, EverySchemaIsDocumentedWithItsVersion) {
    const auto documented = documentedSchemas();
    for (const RecordSchema* schema : AllSchemas()) {
        const std::string name = std::string(schema->command) + " " + schema->itemsKey;
        auto found = documented.find(name);
        ASSERT_NE(found, documented.end()) << name;
        EXPECT_EQ(found->second.version, schema->version) << name;
        std::vector<std::string> keys;
        for (const Column& column : schema->columns) keys.push_back(column.key);
        EXPECT_EQ(found->second.keys, keys) << name;
    }
    EXPECT_EQ(documented.size(), AllSchemas().size());
}

TEST_F(ZoneTest, ListingsKeepTheirKeysAndGiveJsonUtcTimesOnly) {
    DeletedRow pat{"Pat", "Pat\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f", "OU=Sales,DC=x", "User",
                   "2004-03-07 14:05:09 CET", "2004-03-07T13:05:09Z", "6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f",
                   "CN=Pat\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f,CN=Deleted Objects,DC=x",
                   "2004-09-03 14:05:09 CEST", "2004-09-03T12:05:09Z"};
    DeletedRow undated{"Old", "Old", "OU=Sales,DC=x", "User", "sometime", "", "", "CN=Old", "", ""};
    Parsed records = checkedRecords(FormatRows({pat, undated}, OutputFormat::Json), kListSchema);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0]["dateDeleted"], "2004-03-07T13:05:09Z");
    EXPECT_EQ(records[0]["expires"], "2004-09-03T12:05:09Z");
    EXPECT_EQ(records[0]["tombstoneName"], pat.tombstoneName);
    EXPECT_TRUE(records[1]["dateDeleted"].is_null());
    // Scripts that cut TSV by field number still find the local time and the tombstone.
    const std::string tsv = FormatRows({pat}, OutputFormat::Tsv);
    const std::string row = tsv.substr(tsv.find('\n') + 1);
    EXPECT_EQ(row.find("Pat\tOU=Sales,DC=x\tUser\t2004-03-07 14:05:09 CET\t2004-03-07T13:05:09Z\t"), 0u) << row;

    Parsed none = Parsed::parse(FormatRows({}, OutputFormat::Json));
    EXPECT_EQ(none["tombstones"], Parsed::array());
}

TEST_F(ZoneTest, JobsGiveTheSchedulersLocalTimesInUtc) {
    // Winter, summer, and the hour that the change to summer time skips (taken as after it).
    EXPECT_EQ(IsoUtcOfLocalTime(2026, 1, 15, 2, 0, 0), "2026-01-15T01:00:00Z");
    EXPECT_EQ(IsoUtcOfLocalTime(2026, 7, 1, 2, 0, 0), "2026-07-01T00:00:00Z");
    EXPECT_EQ(IsoUtcOfLocalTime(2026, 3, 29, 2, 30, 0), "2026-03-29T01:30:00Z");
    EXPECT_EQ(IsoUtcOfLocalTime(2026, 13, 1, 0, 0, 0), "");

    JobRow scheduled{"BackupObjects (1)", "OU=Staff,DC=x", "At 02:00 every day", "2026-07-01 02:00",
                     "2026-07-01T00:00:00Z", "scheduled", "never", "", "-"};
    JobRow disabled{"BackupObjects (2)", "OU=B,DC=x", "At 03:00 every day", "disabled", "", "disabled",
                    "2026-01-15 02:00", "2026-01-15T01:00:00Z", "exit code 1"};
    for (const RecordSchema* schema : {&kJobsSchema, &kScheduleSchema}) {
        Parsed records = checkedRecords(FormatRecords(*schema, {JobRecord(scheduled), JobRecord(disabled)}, OutputFormat::Json),
                                        *schema);
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0]["nextRun"], "2026-07-01T00:00:00Z");
        EXPECT_TRUE(records[0]["lastRun"].is_null());
        EXPECT_TRUE(records[1]["nextRun"].is_null());
        EXPECT_EQ(records[1]["nextRunState"], "disabled");
    }
    // A person reads the local times and why there is none.
    const std::string table = FormatRecords(kJobsSchema, {JobRecord(scheduled), JobRecord(disabled)}, OutputFormat::Table);
    EXPECT_NE(table.find("2026-07-01 02:00"), std::string::npos) << table;
    EXPECT_NE(table.find("disabled"), std::string::npos) << table;
    EXPECT_NE(table.find("never"), std::string::npos) << table;
    const std::string tsv = FormatRecords(kJobsSchema, {JobRecord(scheduled)}, OutputFormat::Tsv);
    EXPECT_EQ(tsv.substr(0, tsv.find('\n')), "name\tobject\tschedule\tnextRun\tnextRunState\tlastRun\tresult");
}

TEST(RecordOutputTest, BackupsDomainsAndTheLogFollowTheirSchemas) {
    BackupArchive dated{u"{a}.zip", u"/srv/b/{a}.zip", u"2026-12-08 13:57:53", u"OU=Staff,DC=x", 3, true, u""};
    BackupArchive odd{u"{b}.zip", u"/srv/b/{b}.zip", u"last Tuesday", u"OU=Staff,DC=x", -1, std::nullopt, u""};
    BackupListing listing{u"/srv/b", {}, {dated, odd}};
    Parsed document = Parsed::parse(FormatRecords(kBackupsSchema, {BackupArchiveRecord(dated), BackupArchiveRecord(odd)},
                                                  OutputFormat::Json, BackupListingFields(listing, "CN=Ann,DC=x")));
    Parsed archives = checkedRecords(document.dump(), kBackupsSchema);
    EXPECT_EQ(document["folder"], "/srv/b");
    EXPECT_EQ(document["object"], "CN=Ann,DC=x");
    ASSERT_EQ(archives.size(), 2u);
    EXPECT_EQ(archives[0]["date"], "2026-12-08T13:57:53Z");
    EXPECT_EQ(archives[0]["objects"], 3);
    EXPECT_EQ(archives[0]["holdsObject"], true);
    EXPECT_TRUE(archives[1]["date"].is_null());
    EXPECT_TRUE(archives[1]["objects"].is_null());
    const std::string table = FormatRecords(kBackupsSchema, {BackupArchiveRecord(odd)}, OutputFormat::Table);
    EXPECT_NE(table.find("last Tuesday"), std::string::npos) << table;
    EXPECT_NE(table.find("unreadable"), std::string::npos) << table;

    checkedRecords(FormatRecords(kBackupSchema, {BackupRecord(u"/srv/b/{a}.zip", u"dc1.x", {"OU=A,DC=x", "OU=B,DC=x"})},
                                 OutputFormat::Json),
                   kBackupSchema);

    PropertySet* node = PropertySet::create();
    node->setString(u"name", u"lumivel.test");
    node->setString(u"DomainName", u"lumivel.test");
    node->setString(u"FocusedDC", u"dc1.lumivel.test");
    Parsed domains = checkedRecords(FormatRecords(kDomainsSchema, {DomainRecord(node, {u"Default-First-Site-Name", u""})}, OutputFormat::Json), kDomainsSchema);
    node->release();
    ASSERT_EQ(domains.size(), 1u);
    EXPECT_EQ(domains[0]["domainController"], "dc1.lumivel.test");

    // Entries keep what a newer writer added; a line that is no JSON is kept, whole.
    const std::vector<std::string> lines = {
        R"({"time": "2026-12-08T10:00:00Z", "principal": "a@X", "command": "restore", "object": "CN=A", "guid": "1", "dc": "dc1", "result": "success", "error": "", "archive": "/srv/b/{a}.zip"})",
        R"({"time": "yesterday", "command": "backup"})",
        "not json \x1b[2J",
    };
    Parsed entries = checkedRecords(FormatAuditLines(lines, OutputFormat::Json), kLogSchema);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0]["archive"], "/srv/b/{a}.zip");
    EXPECT_TRUE(entries[1]["time"].is_null());
    EXPECT_EQ(entries[2]["result"], "unreadable");
    EXPECT_EQ(entries[2]["error"], "not json \x1b[2J");
    const std::string logTable = FormatAuditLines(lines, OutputFormat::Table);
    EXPECT_EQ(logTable.find('\x1b'), std::string::npos);
    EXPECT_NE(logTable.find("yesterday"), std::string::npos) << logTable;
}

TEST(RecordOutputTest, RestoreResultsAndPlansParseBack) {
    RestoreReport report(OutputFormat::Json);
    const std::string json = captured([&] {
        report.add(RestoreRecord("restored", "11111111-2222-3333-4444-555555555555", "Ann")
                       .set("dn", "CN=Ann,OU=A,DC=x")
                       .set("parent", "OU=A,DC=x"),
                   "Restored Ann into OU=A,DC=x");
        report.addReapplied(Parsed::array({{{"name", "title"}, {"outcome", "Written"}, {"error", ""}, {"membership", false}}}),
                            "Re-applied to Ann: written title\n");
        report.add(RestoreRecord("notFound", "CN=x", {}).set("reason", "not a tombstone's DN or GUID"), "Not found CN=x");
        report.reapplyFailed("no archive latest", "Not re-applied x");
        EXPECT_TRUE(report.finish());
    });
    Parsed document = Parsed::parse(json);
    EXPECT_EQ(document["dryRun"], false);
    Parsed results = checkedRecords(json, kRestoreSchema);
    ASSERT_EQ(results.size(), 2u);
    EXPECT_EQ(results[0]["reapplied"][0]["name"], "title");
    EXPECT_EQ(results[1]["outcome"], "notFound");
    EXPECT_EQ(results[1]["reason"], "not a tombstone's DN or GUID; not re-applied: no archive latest");
    EXPECT_TRUE(results[1]["dn"].is_null());

    // The table says each object as it comes, and prints nothing more at the end.
    RestoreReport lines(OutputFormat::Table);
    EXPECT_EQ(captured([&] {
                  lines.add(RestoreRecord("restored", "t", "Ann"), "Restored Ann into OU=A,DC=x");
                  lines.note("1 of 1 objects restored");
                  lines.finish();
              }),
              "Restored Ann into OU=A,DC=x\n1 of 1 objects restored\n");

    RestorePreview kid{"kid", true, true, "granted through Domain Admins", "", {}, std::nullopt};
    kid.objects = {{"Team", "organizationalUnit", "OU=Team\\0ADEL:1,CN=Deleted Objects,DC=x", "OU=Team,DC=x", "", "", false, true},
                   {"Kid", "user", "CN=Kid\\0ADEL:2,CN=Deleted Objects,DC=x", "CN=Kid,OU=Team,DC=x", "",
                    "2027-01-01T00:00:00Z", true, std::nullopt}};
    RestorePreview missing{"nobody", false, std::nullopt, "", "", {}, std::nullopt};
    const std::string plan = FormatPreviews({kid, missing}, OutputFormat::Json);
    EXPECT_EQ(Parsed::parse(plan)["dryRun"], true);
    Parsed plans = checkedRecords(plan, kDryRunSchema);
    ASSERT_EQ(plans.size(), 2u);
    EXPECT_EQ(plans[0]["objects"][0]["deletedParent"], true);
    EXPECT_EQ(plans[0]["objects"][1]["expiresUtc"], "2027-01-01T00:00:00Z");
    EXPECT_TRUE(plans[0]["objects"][1]["mayCreate"].is_null());
    EXPECT_EQ(plans[1]["found"], false);

    const std::string steps = FormatPreviews({kid, missing}, OutputFormat::Tsv);
    std::vector<std::string> rows;
    std::istringstream stream(steps);
    for (std::string row; std::getline(stream, row);) rows.push_back(row);
    ASSERT_EQ(rows.size(), 4u) << steps;
    EXPECT_EQ(rows[0].rfind("requested\tfound\tmayReanimate\tmissingParent\tname\t", 0), 0u) << rows[0];
    EXPECT_EQ(rows[1].rfind("kid\ttrue\ttrue\t\tTeam\torganizationalUnit\tOU=Team\\\\0ADEL:1,", 0), 0u) << rows[1];
    EXPECT_EQ(rows[3].rfind("nobody\tfalse\t", 0), 0u) << rows[3];
}

// Text from the directory may hold what steers a terminal; JSON stays valid and says it in
// escapes, table and TSV never let it through either.
TEST(RecordOutputTest, HostileTextIsEscapedInEveryFormat) {
    const std::string hostile = "Eve\x1b]0;owned\x07 \xc2\x9b" "2J \xe2\x80\xae" "gnp.exe \x7f \xff\xfe end \xc3\xbc";
    Record record;
    record.set("name", hostile).set("domain", "x").set("domainController", "dc1").set("controllerSite", "s");
    const std::string json = FormatRecords(kDomainsSchema, {record}, OutputFormat::Json);
    for (const char* raw : {"\x1b", "\x07", "\xc2\x9b", "\xe2\x80\xae", "\x7f", "\xff"})
        EXPECT_EQ(json.find(raw), std::string::npos) << json;
    Parsed parsed = Parsed::parse(json);
    // Valid UTF-8 comes back as it was; the two bytes that are none become U+FFFD each.
    EXPECT_EQ(parsed["domains"][0]["name"],
              "Eve\x1b]0;owned\x07 \xc2\x9b" "2J \xe2\x80\xae" "gnp.exe \x7f \xef\xbf\xbd\xef\xbf\xbd end \xc3\xbc");
    for (OutputFormat format : {OutputFormat::Table, OutputFormat::Tsv}) {
        const std::string text = FormatRecords(kDomainsSchema, {record}, format);
        for (const char* raw : {"\x1b", "\x07", "\xc2\x9b", "\xe2\x80\xae", "\x7f"})
            EXPECT_EQ(text.find(raw), std::string::npos) << text;
        EXPECT_NE(text.find("\xc3\xbc"), std::string::npos) << text;
    }
}

}  // namespace
