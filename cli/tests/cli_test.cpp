// The command line's own rules: arguments, output formats, choosing the tombstone.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli_arguments.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "shared/text_helpers.h"

using namespace lumivel_cli;

namespace {

TEST(CliArgumentsTest, AcceptsEachCommandWithItsOptions) {
    struct Row {
        std::vector<std::string> words;
        bool accepted;
        Command command;
    } rows[] = {
        {{}, true, Command::Help},
        {{"--help"}, true, Command::Help},
        {{"list", "--help"}, true, Command::Help},
        {{"domains"}, true, Command::Domains},
        {{"domains", "extra"}, false, Command::Help},
        {{"connect", "lumivel.test"}, true, Command::Connect},
        {{"connect"}, false, Command::Help},
        {{"list", "lumivel.test", "--format", "json", "--filter", "CN=Ann"}, true, Command::List},
        {{"list", "lumivel.test", "--format", "xml"}, false, Command::Help},
        {{"list", "lumivel.test", "--filter"}, false, Command::Help},
        {{"list", "lumivel.test", "--yes"}, false, Command::Help},
        {{"restore", "lumivel.test", "CN=x\\0ADEL:1,CN=Deleted Objects,DC=x", "--new-name", "Smith, John", "--yes"},
         true, Command::Restore},
        {{"restore", "lumivel.test"}, false, Command::Help},
        {{"restore", "lumivel.test", "t", "--new-name", ""}, false, Command::Help},
        {{"restore", "lumivel.test", "--", "-dash-named"}, true, Command::Restore},
        {{"purge", "x"}, false, Command::Help},
    };
    for (const Row& row : rows) {
        ParseResult result = ParseArguments(row.words);
        std::string line;
        for (const auto& word : row.words) line += word + " ";
        ASSERT_EQ(result.arguments.has_value(), row.accepted) << line << result.error;
        if (row.accepted) {
            EXPECT_EQ(result.arguments->command, row.command) << line;
        } else {
            EXPECT_FALSE(result.error.empty()) << line;
        }
    }
    ParseResult restore = ParseArguments({"restore", "d", "t", "--new-name", "Smith, John", "--yes"});
    EXPECT_EQ(restore.arguments->newName, "Smith, John");
    EXPECT_TRUE(restore.arguments->yes);
    EXPECT_EQ(restore.arguments->tombstone, "t");
    EXPECT_EQ(ParseArguments({"restore", "d", "--", "-dash-named"}).arguments->tombstone, "-dash-named");
    EXPECT_EQ(ParseArguments({"list", "--help"}).arguments->helpTopic, Command::List);
    EXPECT_NE(UsageText(Command::Restore).find("--new-name"), std::string::npos);
}

const std::vector<DeletedRow> kRows = {
    {"Pat (Ops) *lead*\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f", "OU=Sales,DC=x", "User", "03/07/2004 - 14:05",
     "CN=Pat (Ops) *lead*\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f,CN=Deleted Objects,DC=x"},
    {"Tab\there \"q\" \\", "OU=\xc3\x9c,DC=x", "Contact", "12/31/2026 - 23:30", "CN=t"},
};

TEST(CliOutputTest, EveryFormatKeepsEachFieldWhole) {
    std::string tsv = FormatRows(kRows, OutputFormat::Tsv);
    EXPECT_EQ(tsv,
              "name\tlastKnownParent\tclass\tdateDeleted\ttombstone\n"
              "Pat (Ops) *lead*\\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f\tOU=Sales,DC=x\tUser\t03/07/2004 - 14:05\t"
              "CN=Pat (Ops) *lead*\\\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f,CN=Deleted Objects,DC=x\n"
              "Tab\\there \"q\" \\\\\tOU=\xc3\x9c,DC=x\tContact\t12/31/2026 - 23:30\tCN=t\n");

    std::string json = FormatRows(kRows, OutputFormat::Json);
    EXPECT_NE(json.find("\"name\": \"Pat (Ops) *lead*\\nDEL:6c1f4a5e"), std::string::npos) << json;
    EXPECT_NE(json.find("\"name\": \"Tab\\there \\\"q\\\" \\\\\""), std::string::npos) << json;
    EXPECT_EQ(FormatRows({}, OutputFormat::Json), "[]\n");

    std::string table = FormatRows(kRows, OutputFormat::Table);
    // One line per record plus the header, names without their mangled tail, columns aligned.
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3);
    EXPECT_EQ(table.find("DEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f\t"), std::string::npos);
    size_t header = table.find("Last Known Parent");
    size_t second = table.find("OU=Sales");
    EXPECT_EQ(header, second - table.find("Pat (Ops)"));
}

PropertySet* tombstone(const char16_t* name, const char16_t* dn) {
    PropertySet* record = PropertySet::create();
    record->setString(u"name", name);
    record->setString(u"distinguishedName", dn);
    return record;
}

TEST(CliSessionTest, TombstoneIsFoundByItsNameOrGuidAndNeverByGuess) {
    std::vector<PropertySet*> records = {
        tombstone(u"Ann\nDEL:11111111-2222-3333-4444-555555555555",
                  u"CN=Ann\\0ADEL:11111111-2222-3333-4444-555555555555,CN=Deleted Objects,DC=x"),
        tombstone(u"Bob\nDEL:aaaaaaaa-2222-3333-4444-555555555555",
                  u"CN=Bob\\0ADEL:aaaaaaaa-2222-3333-4444-555555555555,CN=Deleted Objects,DC=x"),
    };
    EXPECT_EQ(FindTombstone(records, u"{11111111-2222-3333-4444-555555555555}"), records[0]);
    EXPECT_EQ(FindTombstone(records, u"AAAAAAAA-2222-3333-4444-555555555555"), records[1]);
    EXPECT_EQ(FindTombstone(records, u"cn=ann\\0adel:11111111-2222-3333-4444-555555555555,cn=deleted objects,dc=x"),
              records[0]);
    EXPECT_EQ(FindTombstone(records, u"Ann"), nullptr);
    EXPECT_EQ(FindTombstone(records, u"11111111"), nullptr);
    // A name that held "DEL:" before it was deleted is found by the GUID after the last one.
    records.push_back(tombstone(u"Ops DEL:Team\nDEL:bbbbbbbb-2222-3333-4444-555555555555",
                                u"CN=Ops DEL:Team\\0ADEL:bbbbbbbb-2222-3333-4444-555555555555,CN=Deleted Objects,DC=x"));
    EXPECT_EQ(FindTombstone(records, u"bbbbbbbb-2222-3333-4444-555555555555"), records[2]);
    records.push_back(tombstone(u"Ann again\nDEL:11111111-2222-3333-4444-555555555555", u"CN=other"));
    EXPECT_EQ(FindTombstone(records, u"11111111-2222-3333-4444-555555555555"), nullptr);
    for (PropertySet* record : records) record->release();
}

// A name as users type it lists the names that begin with it, whatever its characters; an
// LDAP prefix goes to the directory as typed, which refuses one that is malformed.
TEST(CliSessionTest, FilterIsANamePrefixOrAnLdapPrefix) {
    struct Row {
        const char16_t* typed;
        const char16_t* prefix;
    } rows[] = {
        {u"Bob", u"name=Bob"},
        {u"CN=Bob", u"CN=Bob"},
        {u"ou=Sales", u"ou=Sales"},
        {u"msDS-Name=x", u"msDS-Name=x"},
        {u"2.5.4.3=Bob", u"2.5.4.3=Bob"},
        {u"Pat (Ops) *lead*", u"name=Pat \\28Ops\\29 \\2alead\\2a"},
        {u"back\\slash", u"name=back\\5cslash"},
        {u"a=b c", u"a=b c"},
        {u"=Bob", u"name==Bob"},
        {u"Smith, John", u"name=Smith, John"},
        {u"2.5..4=x", u"name=2.5..4=x"},
        {u"-x=y", u"name=-x=y"},
        {u"(cn=x)(", u"name=\\28cn=x\\29\\28"},
        {u"", u""},
    };
    for (const Row& row : rows) EXPECT_EQ(FilterPrefixFor(row.typed), row.prefix) << lumivel::shared::NarrowText(row.typed);
}

TEST(CliSessionTest, DomainNamesBecomeNamingContexts) {
    EXPECT_EQ(NamingContextOfDomain(u"lumivel.test"), u"DC=lumivel,DC=test");
    EXPECT_EQ(NamingContextOfDomain(u"a.b.c."), u"DC=a,DC=b,DC=c");
    EXPECT_EQ(NamingContextOfDomain(u"DC=lumivel,DC=test"), u"DC=lumivel,DC=test");
    EXPECT_EQ(NamingContextOfDomain(u"single"), u"DC=single");
}

}  // namespace
