// The command line's own rules: arguments, output formats, choosing the tombstone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <tuple>

#include <nlohmann/json.hpp>

#include "cli/cli_arguments.h"
#include "cli/cli_errors.h"
#include "win/dserror.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "cli/tombstone_index.h"
#include "shared/text_helpers.h"

using namespace lumivel_cli;

namespace {

TEST(CliArgumentsTest, AcceptsEachCommandWithItsOptions) {
    struct Row {
        std::vector<std::string> words;
        bool accepted;
        Command command;
    } rows[] = {
        {{}, true, Command::Console},
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
    EXPECT_EQ(restore.arguments->tombstones, std::vector<std::string>{"t"});
    EXPECT_EQ(ParseArguments({"restore", "d", "--", "-dash-named"}).arguments->tombstones,
              std::vector<std::string>{"-dash-named"});
    EXPECT_EQ(ParseArguments({"list", "--help"}).arguments->helpTopic, Command::List);
    EXPECT_NE(UsageText(Command::Restore).find("--new-name"), std::string::npos);
}

TEST(CliArgumentsTest, ScheduleTakesOneScheduleAndWhatItNeeds) {
    const std::vector<std::string> base = {"schedule", "lumivel.test", "OU=Staff,DC=lumivel,DC=test"};
    auto parse = [&](std::vector<std::string> more) {
        std::vector<std::string> words = base;
        words.insert(words.end(), more.begin(), more.end());
        return ParseArguments(words);
    };
    const std::vector<std::string> tail = {"--at", "09:05", "--account", "LUMIVEL\\backup"};
    auto with = [&](std::vector<std::string> schedule) {
        schedule.insert(schedule.end(), tail.begin(), tail.end());
        return parse(schedule);
    };
    ParseResult daily = with({"--daily", "3"});
    ASSERT_TRUE(daily.arguments) << daily.error;
    EXPECT_EQ(daily.arguments->command, Command::Schedule);
    EXPECT_EQ(daily.arguments->objects, std::vector<std::string>{"OU=Staff,DC=lumivel,DC=test"});
    EXPECT_EQ(daily.arguments->schedule.count, "3");
    EXPECT_EQ(daily.arguments->schedule.hour, 9);
    EXPECT_EQ(daily.arguments->schedule.minute, 5);
    EXPECT_FALSE(daily.arguments->schedule.passwordFile);

    ParseResult weekly = with({"--weekly", "2", "--days", "mon,Sunday"});
    ASSERT_TRUE(weekly.arguments) << weekly.error;
    EXPECT_EQ(weekly.arguments->schedule.days, 0x41u);
    ParseResult dow = with({"--monthly-week", "last", "--weekday", "fri", "--months", "jan,dec"});
    ASSERT_TRUE(dow.arguments) << dow.error;
    EXPECT_EQ(dow.arguments->schedule.kind, ScheduleRequest::Kind::MonthlyWeek);
    EXPECT_EQ(dow.arguments->schedule.week, 4);
    EXPECT_EQ(dow.arguments->schedule.weekday, 4);
    EXPECT_EQ(dow.arguments->schedule.months, 0x801u);
    EXPECT_EQ(with({"--monthly-day", "15", "--months", "all"}).arguments->schedule.months, 0xFFFu);
    ParseResult once = with({"--once", "2026-03-10", "--password-file", "/run/pw"});
    ASSERT_TRUE(once.arguments) << once.error;
    EXPECT_EQ(once.arguments->schedule.day, 10);
    EXPECT_EQ(once.arguments->schedule.passwordFile, "/run/pw");
    // Out-of-range counts are the form's to refuse, in its own words.
    EXPECT_TRUE(with({"--daily", "0"}).arguments);

    const std::vector<std::vector<std::string>> refused = {
        {"--at", "09:05", "--account", "a"},                                  // no schedule
        {"--daily", "1", "--weekly", "1", "--days", "mon", "--at", "09:05", "--account", "a"},  // two
        {"--daily", "one", "--at", "09:05", "--account", "a"},
        {"--weekly", "1", "--at", "09:05", "--account", "a"},                 // no days
        {"--weekly", "1", "--days", "mon,funday", "--at", "09:05", "--account", "a"},
        {"--monthly-day", "1", "--at", "09:05", "--account", "a"},            // no months
        {"--monthly-week", "fifth", "--months", "all", "--at", "09:05", "--account", "a"},
        {"--once", "10.03.2026", "--at", "09:05", "--account", "a"},
        {"--daily", "1", "--at", "24:00", "--account", "a"},
        {"--daily", "1", "--account", "a"},                                   // no time
        {"--daily", "1", "--at", "09:05"},                                    // no account
        {"--daily", "1", "--at", "09:05", "--account", "a", "--password", "secret"},
    };
    for (const auto& words : refused) {
        ParseResult result = parse(words);
        EXPECT_FALSE(result.arguments) << words.front() << " " << words.size();
        EXPECT_FALSE(result.error.empty());
    }
}

TEST(CliArgumentsTest, JobsListsDeletesAndRuns) {
    EXPECT_EQ(ParseArguments({"jobs"}).arguments->jobAction, JobAction::List);
    ParseResult run = ParseArguments({"jobs", "run", "BackupObjects (0123)"});
    ASSERT_TRUE(run.arguments);
    EXPECT_EQ(run.arguments->jobAction, JobAction::Run);
    EXPECT_EQ(run.arguments->jobName, "BackupObjects (0123)");
    EXPECT_EQ(ParseArguments({"jobs", "delete", "x"}).arguments->jobAction, JobAction::Delete);
    EXPECT_FALSE(ParseArguments({"jobs", "delete"}).arguments);
    EXPECT_FALSE(ParseArguments({"jobs", "stop", "x"}).arguments);
}

const std::vector<DeletedRow> kRows = {
    {"Pat (Ops) *lead*", "Pat (Ops) *lead*\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f", "OU=Sales,DC=x", "User",
     "2004-03-07 14:05:09 CET", "2004-03-07T13:05:09Z", "6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f",
     "CN=Pat (Ops) *lead*\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f,CN=Deleted Objects,DC=x",
     "2004-09-03 14:05:09 CEST", "2004-09-03T12:05:09Z"},
    {"Tab\there \"q\" \\", "Tab\there \"q\" \\", "OU=\xc3\x9c,DC=x", "Contact", "2026-12-31 23:30:00 UTC",
     "2026-12-31T23:30:00Z", "", "CN=t", "", ""},
};

TEST(CliOutputTest, EveryFormatKeepsEachFieldWhole) {
    std::string tsv = FormatRows(kRows, OutputFormat::Tsv);
    EXPECT_EQ(tsv,
              "name\tlastKnownParent\tclass\tdateDeleted\tdeletedUtc\tguid\ttombstoneName\ttombstone\texpires\texpiresUtc\n"
              "Pat (Ops) *lead*\tOU=Sales,DC=x\tUser\t2004-03-07 14:05:09 CET\t2004-03-07T13:05:09Z\t"
              "6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f\tPat (Ops) *lead*\\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f\t"
              "CN=Pat (Ops) *lead*\\\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f,CN=Deleted Objects,DC=x\t"
              "2004-09-03 14:05:09 CEST\t2004-09-03T12:05:09Z\n"
              "Tab\\there \"q\" \\\\\tOU=\xc3\x9c,DC=x\tContact\t2026-12-31 23:30:00 UTC\t2026-12-31T23:30:00Z\t\t"
              "Tab\\there \"q\" \\\\\tCN=t\t\t\n");

    nlohmann::json json = nlohmann::json::parse(FormatRows(kRows, OutputFormat::Json));
    const nlohmann::json& pat = json["tombstones"][0];
    EXPECT_EQ(pat["name"], "Pat (Ops) *lead*");
    EXPECT_EQ(pat["tombstoneName"], "Pat (Ops) *lead*\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f");
    EXPECT_EQ(pat["guid"], "6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f");
    EXPECT_EQ(pat["deletedUtc"], "2004-03-07T13:05:09Z");
    EXPECT_EQ(pat["expiresUtc"], "2004-09-03T12:05:09Z");
    EXPECT_EQ(json["tombstones"][1]["name"], "Tab\there \"q\" \\");

    std::string table = FormatRows(kRows, OutputFormat::Table);
    // One line per record plus the header, names without their mangled tail, columns aligned.
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3);
    EXPECT_EQ(table.find("DEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f\t"), std::string::npos);
    EXPECT_NE(table.find("Expires"), std::string::npos);
    EXPECT_NE(table.find("2004-09-03 14:05:09 CEST"), std::string::npos);
    size_t header = table.find("Last Known Parent");
    size_t second = table.find("OU=Sales");
    EXPECT_EQ(header, second - table.find("Pat (Ops)"));
}

TEST(CliOutputTest, ExpiringWithinKeepsWhatIsPurgedByThenOrOverdue) {
    const long long now = *SecondsOfIsoUtc("2026-12-08T12:00:00Z");
    auto row = [](std::string name, std::string expiresUtc) {
        DeletedRow result;
        result.name = std::move(name);
        result.expiresUtc = std::move(expiresUtc);
        return result;
    };
    std::vector<DeletedRow> rows = {row("overdue", "2026-12-01T00:00:00Z"), row("edge", "2026-12-15T12:00:00Z"),
                                    row("later", "2026-12-15T12:00:01Z"), row("unknown", ""),
                                    row("garbled", "2026-12-09")};
    std::vector<DeletedRow> kept = ExpiringWithin(rows, 7 * 86400LL, now);
    std::vector<std::string> names;
    for (const DeletedRow& r : kept) names.push_back(r.name);
    EXPECT_EQ(names, (std::vector<std::string>{"overdue", "edge"}));
    EXPECT_TRUE(ExpiringWithin(rows, 0, *SecondsOfIsoUtc("2026-11-01T00:00:00Z")).empty());
}

// The directory's own form is read by hand: it must name the second timegm gives, and no
// time where the calendar has none (a 29th of February outside leap years, a 24th hour).
TEST(CliOutputTest, IsoUtcTimesAreReadAsTheCalendarHasThem) {
    auto reference = [](int year, int month, int day, int hour, int minute, int second) -> std::optional<long long> {
        std::tm utc{};
        utc.tm_year = year - 1900, utc.tm_mon = month - 1, utc.tm_mday = day;
        utc.tm_hour = hour, utc.tm_min = minute, utc.tm_sec = second;
        const std::time_t when = timegm(&utc);
        std::tm back{};
        gmtime_r(&when, &back);
        if (back.tm_year != year - 1900 || back.tm_mon != month - 1 || back.tm_mday != day || back.tm_hour != hour ||
            back.tm_min != minute || back.tm_sec != second)
            return std::nullopt;
        return static_cast<long long>(when);
    };
    for (int year : {1, 1600, 1900, 1969, 1970, 2000, 2024, 2026, 2100, 9999})
        for (int month = 0; month <= 13; ++month)
            for (int day : {0, 1, 28, 29, 30, 31, 32})
                for (auto [hour, minute, second] : {std::tuple{0, 0, 0}, {23, 59, 59}, {24, 0, 0}, {12, 60, 0}, {12, 0, 60}}) {
                    char text[32];
                    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", year, month, day, hour, minute, second);
                    EXPECT_EQ(SecondsOfIsoUtc(text), reference(year, month, day, hour, minute, second)) << text;
                }
    // Other forms go the general way, as before.
    EXPECT_EQ(SecondsOfIsoUtc("2026-1-5T1:2:3Z"), reference(2026, 1, 5, 1, 2, 3));
    for (const char* odd : {"", "2026-12-08T13:57:53", "2026-12-08T13:57:53z", "2026-12-08 13:57:53Z", "2026-12-08T13:57:53Z "})
        EXPECT_FALSE(SecondsOfIsoUtc(odd)) << odd;
}

TEST(CliArgumentsTest, ExpiringWithinTakesDaysOrHours) {
    struct Row {
        const char* text;
        std::optional<long long> seconds;
    } rows[] = {{"7d", 7 * 86400LL}, {"12h", 12 * 3600LL}, {"0d", 0}, {"7D", 7 * 86400LL},
                {"7", std::nullopt}, {"d", std::nullopt}, {"-1d", std::nullopt}, {"7w", std::nullopt},
                {"1.5d", std::nullopt}, {"9999999999d", std::nullopt}};
    for (const Row& row : rows) {
        ParseResult result = ParseArguments({"list", "lumivel.test", "--expiring-within", row.text});
        ASSERT_EQ(result.arguments.has_value(), row.seconds.has_value()) << row.text << result.error;
        if (row.seconds) {
            EXPECT_EQ(result.arguments->expiringWithin, row.seconds) << row.text;
        }
    }
    EXPECT_FALSE(ParseArguments({"restore", "d", "t", "--expiring-within", "7d"}).arguments);
    EXPECT_FALSE(ParseArguments({"list", "lumivel.test"}).arguments->expiringWithin);
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

namespace {

TEST(CliArgumentsTest, ScriptsGetTheUsualOptionFormsAndTheHelpOfTheirSubCommand) {
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"list", "d", "--format=json"}, {"list", "d", "-f", "json"}, {"list", "-f=json", "d"}}) {
        ParseResult parsed = ParseArguments(words);
        if (words[1] == "-f=json") {
            // Short options take their value as the next word only.
            EXPECT_FALSE(parsed.arguments.has_value());
            continue;
        }
        ASSERT_TRUE(parsed.arguments.has_value()) << parsed.error;
        EXPECT_EQ(parsed.arguments->format, OutputFormat::Json);
    }
    EXPECT_EQ(ParseArguments({"--version"}).arguments->command, Command::Version);
    EXPECT_EQ(VersionText().rfind("lumivel ", 0), 0u);

    ParseResult several = ParseArguments({"restore", "d", "a", "{b}", "--from", "-", "--new-name=N", "--yes"});
    ASSERT_TRUE(several.arguments.has_value()) << several.error;
    EXPECT_EQ(several.arguments->tombstones, (std::vector<std::string>{"a", "{b}"}));
    EXPECT_EQ(several.arguments->tombstoneFile, "-");
    EXPECT_EQ(several.arguments->newName, "N");
    EXPECT_TRUE(ParseArguments({"restore", "d", "--from", "list.txt"}).arguments.has_value());

    // A mistake names the sub-command whose usage follows it; "--yes" takes no value, and an
    // option of another sub-command is a mistake here.
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"restore", "d", "t", "--yes=1"}, {"restore", "d", "t", "--filter", "x"},
          {"list", "d", "--from", "-"}, {"backups", "d", "--new-name", "x"}, {"list", "d", "--format="}}) {
        ParseResult parsed = ParseArguments(words);
        EXPECT_FALSE(parsed.arguments.has_value()) << words.back();
        ASSERT_TRUE(parsed.usageOf.has_value()) << words.back();
        EXPECT_EQ(UsageText(parsed.usageOf).rfind("usage: lumivel " + words[0], 0), 0u);
    }
    EXPECT_FALSE(ParseArguments({"nosuch"}).usageOf.has_value());
}

TEST(CliSessionTest, TsvFieldsAndGuidsFindTheirTombstone) {
    std::vector<PropertySet*> records = {
        tombstone(u"Back\\slash\nDEL:11111111-2222-3333-4444-555555555555",
                  u"CN=Back\\\\slash\\0ADEL:11111111-2222-3333-4444-555555555555,CN=Deleted Objects,DC=x"),
        tombstone(u"Smith, John\nDEL:22222222-2222-3333-4444-555555555555",
                  u"CN=Smith\\, John\\0ADEL:22222222-2222-3333-4444-555555555555,CN=Deleted Objects,DC=x"),
    };
    TombstoneIndex index(records);
    // The DN as TSV prints it: every backslash doubled.
    EXPECT_EQ(index.find(u"CN=Back\\\\\\\\slash\\\\0ADEL:11111111-2222-3333-4444-555555555555,CN=Deleted Objects,DC=x"),
              records[0]);
    EXPECT_EQ(index.find(u"cn=smith\\\\, john\\\\0adel:22222222-2222-3333-4444-555555555555,cn=deleted objects,dc=x"),
              records[1]);
    EXPECT_EQ(index.find(u"{22222222-2222-3333-4444-555555555555}"), records[1]);
    EXPECT_EQ(index.byGuid(u"22222222-2222-3333-4444-555555555555"), records[1]);
    EXPECT_EQ(index.find(u"CN=Smith\\\\"), nullptr);

    EXPECT_EQ(GuidOfTombstoneArgument(u"{AAAAAAAA-2222-3333-4444-555555555555}"), u"AAAAAAAA-2222-3333-4444-555555555555");
    EXPECT_EQ(GuidOfTombstoneArgument(u"CN=Ops DEL:x\\, y\\0ADEL:33333333-2222-3333-4444-555555555555,CN=Deleted Objects"),
              u"33333333-2222-3333-4444-555555555555");
    // A "DEL:" further up the DN is not this object's.
    EXPECT_EQ(GuidOfTombstoneArgument(u"CN=Kid,OU=A\\0ADEL:33333333-2222-3333-4444-555555555555,CN=Deleted Objects"),
              u"");
    EXPECT_EQ(GuidOfTombstoneArgument(u"33333333-2222-3333-4444"), u"");
    for (PropertySet* record : records) record->release();
}

// A listing the server's limits cut short fails, and says that nothing of it was kept.
TEST(CliErrorsTest, AnAnswerCutShortSaysSoAndThatNothingWasSaved) {
    for (const DWORD code : {ERROR_DS_SIZELIMIT_EXCEEDED, ERROR_DS_ADMIN_LIMIT_EXCEEDED, ERROR_DS_TIMELIMIT_EXCEEDED}) {
        SCOPED_TRACE(code);
        const std::string text = ExplainedError(HRESULT_FROM_WIN32(code));
        EXPECT_NE(text.find("never taken for the whole: nothing was saved"), std::string::npos) << text;
    }
}

}  // namespace
