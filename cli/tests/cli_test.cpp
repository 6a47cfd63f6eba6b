// The command line's own rules: arguments, output formats, choosing the tombstone.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/cli_arguments.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"

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

// A name can carry escape sequences (a window title, a cleared screen, a C1 "CSI"); none of
// them reaches the terminal raw in any format, and each stays readable.
TEST(CliOutputTest, ControlCharactersNeverReachTheTerminalRaw) {
    const std::string hostile = "Evil\x1b]0;pwned\x07\x1b[2J\x7f\xc2\x9b" "31m \xc3\xa9";
    const std::vector<DeletedRow> rows = {
        {hostile + "\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f", "OU=\x1b[31mRed,DC=x", "user", "01/01/2026 - 00:00",
         "CN=" + hostile + ",DC=x"}};
    auto raw = [](const std::string& text, bool tabs) {
        for (size_t i = 0; i < text.size(); ++i) {
            auto c = static_cast<unsigned char>(text[i]);
            if ((c < 0x20 && c != '\n' && !(tabs && c == '\t')) || c == 0x7F) return true;
            if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) < 0xA0) return true;
        }
        return false;
    };
    std::string tsv = FormatRows(rows, OutputFormat::Tsv);
    std::string json = FormatRows(rows, OutputFormat::Json);
    std::string table = FormatRows(rows, OutputFormat::Table);
    EXPECT_FALSE(raw(tsv, true)) << tsv;
    EXPECT_FALSE(raw(json, false)) << json;
    EXPECT_FALSE(raw(table, false)) << table;
    const std::string escaped = "Evil\\x1b]0;pwned\\x07\\x1b[2J\\x7f\\x9b" "31m \xc3\xa9";
    EXPECT_NE(tsv.find("\n" + escaped + "\\nDEL:6c1f4a5e"), std::string::npos) << tsv;
    EXPECT_NE(tsv.find("\tOU=\\x1b[31mRed,DC=x\t"), std::string::npos) << tsv;
    EXPECT_NE(json.find("Evil\\u001b]0;pwned\\u0007\\u001b[2J\\u007f\\u009b31m \xc3\xa9"), std::string::npos) << json;
    EXPECT_NE(table.find("Evil ]0;pwned  [2J  31m \xc3\xa9"), std::string::npos) << table;
    // The same escapes on every other line (prompt, "Restored ..."), or with a message's own
    // line breaks kept.
    EXPECT_EQ(TerminalText(hostile), escaped);
    EXPECT_EQ(TerminalText("line\r\nnext\tcolumn\x1b[0m\r", LineBreaks::Kept), "line\nnext\tcolumn\\x1b[0m\\r");
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

TEST(CliSessionTest, DomainNamesBecomeNamingContexts) {
    EXPECT_EQ(NamingContextOfDomain(u"lumivel.test"), u"DC=lumivel,DC=test");
    EXPECT_EQ(NamingContextOfDomain(u"a.b.c."), u"DC=a,DC=b,DC=c");
    EXPECT_EQ(NamingContextOfDomain(u"DC=lumivel,DC=test"), u"DC=lumivel,DC=test");
    EXPECT_EQ(NamingContextOfDomain(u"single"), u"DC=single");
}

}  // namespace
