// Every sub-command with the options every script relies on, and the one line each mistake
// gets: the expectations are written here, apart from the option table they check.
#include <gtest/gtest.h>

#include <set>

#include "cli/cli_arguments.h"
#include "cli/command_table.h"

using namespace lumivel_cli;

namespace {

struct Base {
    Command command;
    std::vector<std::string> words;
    bool printsRecords;
    bool talksToDc;
};

const std::vector<Base> kBases = {
    {Command::Domains, {"domains"}, true, false},
    {Command::Connect, {"connect", "lumivel.test"}, false, true},
    {Command::List, {"list", "lumivel.test"}, true, true},
    {Command::Restore, {"restore", "lumivel.test", "11111111-2222-3333-4444-555555555555"}, true, true},
    {Command::Backup, {"backup", "lumivel.test", "OU=Staff,DC=lumivel,DC=test"}, true, true},
    {Command::Backups, {"backups", "lumivel.test"}, true, true},
    {Command::Schedule,
     {"schedule", "lumivel.test", "OU=Staff,DC=lumivel,DC=test", "--daily", "1", "--at", "02:00", "--account", "a"},
     true,
     true},
    {Command::Log, {"log"}, true, false},
    {Command::Jobs, {"jobs"}, true, false},
    {Command::Config, {"config"}, true, false},
};

std::vector<std::string> with(std::vector<std::string> words, const std::vector<std::string>& more) {
    words.insert(words.end(), more.begin(), more.end());
    return words;
}

std::string joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) line += word + " ";
    return line;
}

TEST(ArgumentsTableTest, EverySubCommandTakesTheCommonOptionsWhereTheyMeanSomething) {
    struct Option {
        std::vector<std::string> words;
        bool Base::*wanted;  // nullptr: every sub-command takes it
        bool restoreOnly;
        void (*check)(const Arguments&);
    };
    const std::vector<Option> options = {
        {{"--format", "json"}, &Base::printsRecords, false, [](const Arguments& a) { EXPECT_EQ(a.format, OutputFormat::Json); }},
        {{"-f", "tsv"}, &Base::printsRecords, false, [](const Arguments& a) { EXPECT_EQ(a.format, OutputFormat::Tsv); }},
        {{"--format=table"}, &Base::printsRecords, false, [](const Arguments& a) { EXPECT_EQ(a.format, OutputFormat::Table); }},
        {{"--server", "dc2.lumivel.test"}, &Base::talksToDc, false,
         [](const Arguments& a) { EXPECT_EQ(a.server, "dc2.lumivel.test"); }},
        {{"--server=dc2.lumivel.test"}, &Base::talksToDc, false,
         [](const Arguments& a) { EXPECT_EQ(a.server, "dc2.lumivel.test"); }},
        {{"-y"}, nullptr, true, [](const Arguments& a) { EXPECT_TRUE(a.yes); }},
        {{"--yes"}, nullptr, true, [](const Arguments& a) { EXPECT_TRUE(a.yes); }},
        {{"-v"}, nullptr, false, [](const Arguments& a) { EXPECT_TRUE(a.verbose); }},
        {{"--verbose"}, nullptr, false, [](const Arguments& a) { EXPECT_TRUE(a.verbose); }},
    };
    for (const Base& base : kBases) {
        for (const Option& option : options) {
            const bool accepted =
                option.restoreOnly ? base.command == Command::Restore : !option.wanted || base.*option.wanted;
            // Options go after the positional words or before them alike.
            for (const auto& words : {with(base.words, option.words),
                                      with(with({base.words[0]}, option.words),
                                           std::vector<std::string>(base.words.begin() + 1, base.words.end()))}) {
                ParseResult parsed = ParseArguments(words);
                ASSERT_EQ(parsed.arguments.has_value(), accepted) << joined(words) << parsed.error;
                if (accepted) {
                    EXPECT_EQ(parsed.arguments->command, base.command) << joined(words);
                    option.check(*parsed.arguments);
                } else {
                    EXPECT_EQ(parsed.usageOf, base.command) << joined(words);
                    EXPECT_NE(parsed.error.find(option.words[0].substr(0, option.words[0].find('='))), std::string::npos)
                        << joined(words) << ": " << parsed.error;
                }
            }
        }
        // -v before the sub-command too; --help wins over what follows it, mistakes included.
        ParseResult traced = ParseArguments(with({"-v"}, base.words));
        ASSERT_TRUE(traced.arguments) << traced.error;
        EXPECT_TRUE(traced.arguments->verbose);
        EXPECT_EQ(traced.arguments->command, base.command);
        for (const char* help : {"--help", "-h"}) {
            ParseResult asked = ParseArguments({base.words[0], help, "--no-such-option"});
            ASSERT_TRUE(asked.arguments) << base.words[0];
            EXPECT_EQ(asked.arguments->command, Command::Help);
            EXPECT_EQ(asked.arguments->helpTopic, base.command);
        }
        // The help names each option the sub-command takes.
        const std::string usage = UsageText(base.command);
        EXPECT_EQ(usage.rfind("usage: lumivel " + base.words[0], 0), 0u) << usage;
        EXPECT_EQ(usage.find("--format") != std::string::npos, base.printsRecords) << base.words[0];
        EXPECT_EQ(usage.find("--server") != std::string::npos, base.talksToDc) << base.words[0];
        EXPECT_NE(usage.find("-v, --verbose"), std::string::npos) << base.words[0];
    }
}

TEST(ArgumentsTableTest, AMistakeIsOneLineAndPointsToTheHelpOfItsSubCommand) {
    struct Row {
        std::vector<std::string> words;
        const char* error;
        const char* help;  // the command whose --help is named; nullptr: the program's
    } rows[] = {
        {{"purge", "x"}, "unknown command 'purge'", nullptr},
        {{"--frobnicate"}, "unknown option '--frobnicate'", nullptr},
        {{"-v"}, "-v goes with a command", nullptr},
        {{"list"}, "list takes one DOMAIN", "list"},
        {{"list", "a", "b"}, "list takes one DOMAIN", "list"},
        {{"domains", "extra"}, "domains takes no arguments", "domains"},
        {{"list", "d", "--format", "xml"}, "--format takes table, tsv or json", "list"},
        {{"list", "d", "--format"}, "--format needs table|tsv|json", "list"},
        {{"list", "d", "--format="}, "--format needs table|tsv|json", "list"},
        {{"list", "d", "-f=json"}, "unknown option '-f=json' for list", "list"},
        {{"list", "d", "--yes"}, "--yes does not go with list", "list"},
        {{"log", "--server", "dc1"}, "--server does not go with log", "log"},
        {{"connect", "d", "--format", "json"}, "--format does not go with connect", "connect"},
        {{"restore", "d", "t", "--yes=1"}, "--yes takes no value", "restore"},
        {{"restore", "d", "t", "--new-name", ""}, "--new-name needs NAME", "restore"},
        {{"restore", "d"}, "restore takes DOMAIN and at least one TOMBSTONE (or --from FILE)", "restore"},
        {{"restore", "d", "t", "--keep-going"}, "--keep-going goes with --subtree", "restore"},
        {{"restore", "d", "t", "--reapply"}, "--reapply needs --from-backup", "restore"},
        {{"restore", "d", "t", "--from-backup", "latest", "--reapply-sensitive"},
         "--reapply-sensitive goes with --reapply", "restore"},
        {{"restore", "d", "t", "--trust-archive"}, "--trust-archive needs ARCHIVE", "restore"},
        {{"list", "LDAP://dc1/DC=x", "--server", "dc2"}, "--server and an LDAP:// path both name a server", "list"},
        {{"list", "d", "--expiring-within", "7w"}, "--expiring-within takes days or hours", "list"},
        {{"jobs", "delete"}, "jobs takes nothing, 'delete NAME' or 'run NAME'", "jobs"},
        {{"jobs", "run", "x", "-f", "json"}, "jobs takes --format only for its list", "jobs"},
        {{"backup", "d"}, "backup takes DOMAIN and at least one DN", "backup"},
        // Without its DOMAIN, backups once read past the end of the words and crashed.
        {{"backups"}, "backups takes one DOMAIN", "backups"},
        {{"backups", "d", "e"}, "backups takes one DOMAIN", "backups"},
        {{"config", "x"}, "config takes no arguments", "config"},
        {{"config", "--server", "dc1"}, "--server does not go with config", "config"},
        {{"schedule", "d", "OU=x", "--at", "02:00", "--account", "a"}, "schedule takes one of --daily", "schedule"},
        {{"schedule", "d", "OU=x", "--daily", "one"}, "--daily needs a number", "schedule"},
        {{"schedule", "d", "OU=x", "--daily", "1", "--at", "24:00"}, "--at needs a time as HH:MM", "schedule"},
    };
    for (const Row& row : rows) {
        ParseResult parsed = ParseArguments(row.words);
        ASSERT_FALSE(parsed.arguments) << joined(row.words);
        EXPECT_EQ(parsed.error.rfind(row.error, 0), 0u) << joined(row.words) << ": " << parsed.error;
        const std::string text = MistakeText(parsed);
        const std::string help = row.help ? std::string("lumivel ") + row.help + " --help" : "lumivel --help";
        EXPECT_EQ(text, "lumivel: " + parsed.error + "\nTry '" + help + "' for more information.\n") << joined(row.words);
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << joined(row.words);
    }
}

TEST(ArgumentsTableTest, TheTablesHoldEachNameOnceAndFitAScreen) {
    std::set<std::string> names;
    for (const OptionRow& row : OptionRows()) {
        // The schedule's and restore's options share no name with another row of theirs.
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        if (row.shortName) {
            EXPECT_TRUE(names.insert(row.shortName).second) << row.shortName;
        }
        EXPECT_NE(row.help[0], '\0') << row.name;
    }
    for (const CommandRow& row : CommandRows()) {
        const std::string usage = UsageText(row.command);
        size_t start = 0;
        for (size_t end; (end = usage.find('\n', start)) != std::string::npos; start = end + 1)
            EXPECT_LE(end - start, 100u) << row.word << ": " << usage.substr(start, end - start);
        EXPECT_NE(UsageText(std::nullopt).find(std::string("  ") + row.word + " "), std::string::npos) << row.word;
    }
    EXPECT_EQ(VersionText().rfind("lumivel ", 0), 0u);
    EXPECT_EQ(ParseArguments({"help", "restore"}).arguments->helpTopic, Command::Restore);
}

}  // namespace
