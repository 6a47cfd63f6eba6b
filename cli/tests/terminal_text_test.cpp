// Directory text on its way to terminals and scripts: escaping, its reversal, and widths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

#include "cli/cli_output.h"
#include "cli/restore_command.h"
#include "cli/terminal_text.h"

using namespace lumivel_cli;

namespace {

TEST(TerminalTextTest, TsvFieldsComeBackExactlyAndNothingSteersTheTerminal) {
    const std::string hostile[] = {
        "plain",
        "Back\\slash \\0A \\\\ \\x1b",
        "tab\there\nline\r\nfeed",
        std::string("nul\0byte", 8),
        "\x1b]0;title\x07 \x1b[2J",
        "C1 \xc2\x9b" "31m and \xc2\x85 next line",
        "\x7f delete",
        "Zo\xc3\xab \xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e \xf0\xa0\xae\xb7",  // Zoë 王小明 𠮷
    };
    for (const std::string& text : hostile) {
        std::string field = TerminalText(text, Escaping::Reversible);
        EXPECT_EQ(UnescapeField(field), text) << field;
        for (const std::string& shown : {field, TerminalText(text), JsonString(text)}) {
            for (size_t i = 0; i < shown.size(); ++i) {
                auto byte = static_cast<unsigned char>(shown[i]);
                EXPECT_FALSE(byte < 0x20 || byte == 0x7f) << "control byte in " << shown;
                EXPECT_FALSE(byte == 0xc2 && i + 1 < shown.size() && static_cast<unsigned char>(shown[i + 1]) < 0xa0)
                    << "C1 control in " << shown;
            }
        }
    }
    // A person sees a DN's own escapes once; a script sees them doubled and gets them back.
    EXPECT_EQ(TerminalText("OU=Apollo\\, Phase 2"), "OU=Apollo\\, Phase 2");
    EXPECT_EQ(TerminalText("OU=Apollo\\, Phase 2", Escaping::Reversible), "OU=Apollo\\\\, Phase 2");
    EXPECT_EQ(TerminalText("one\ntwo\r\n\x1b", Escaping::ReadableLines), "one\ntwo\n\\x1b");
    EXPECT_EQ(JsonString("\xc2\x9b\x1b\""), "\"\\u009b\\u001b\\\"\"");
    // Only what the escaping writes is read back.
    for (const char* malformed : {"trailing\\", "\\q", "\\x4", "\\x41", "\\xzz"})
        EXPECT_FALSE(UnescapeField(malformed).has_value()) << malformed;
}

TEST(TerminalTextTest, WideAndCombiningCharactersKeepTableColumnsAligned) {
    EXPECT_EQ(DisplayWidth("Ann"), 3u);
    EXPECT_EQ(DisplayWidth("\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e"), 6u);   // 王小明
    EXPECT_EQ(DisplayWidth("\xf0\xa0\xae\xb7\xe9\x87\x8e Taro"), 9u);      // 𠮷野 Taro
    EXPECT_EQ(DisplayWidth("e\xcc\x81"), 1u);                             // e and a combining acute
    EXPECT_EQ(DisplayWidth("\xed\x95\x9c\xea\xb8\x80"), 4u);              // 한글
    EXPECT_EQ(DisplayWidth("\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0"), 4u);      // Анна

    std::vector<DeletedRow> rows;
    for (const char* name : {"Ann", "\xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e", "\xf0\xa0\xae\xb7\xe9\x87\x8e", "e\xcc\x81"})
        rows.push_back(DeletedRow{name, name, "OU=P,DC=x", "user", "d", "u", "g", "t"});
    std::istringstream table(FormatRows(rows, OutputFormat::Table));
    std::string line;
    std::getline(table, line);  // the heading
    // Each name is followed by blanks up to the widest name (6 columns) plus two.
    for (size_t blanks : {5u, 2u, 4u, 7u}) {
        ASSERT_TRUE(std::getline(table, line));
        size_t parent = line.find("OU=P");
        ASSERT_NE(parent, std::string::npos);
        EXPECT_EQ(line.substr(parent - blanks - 1, blanks + 1).find_first_not_of(' '), 0u) << line;
        EXPECT_EQ(line.substr(parent - blanks, blanks), std::string(blanks, ' ')) << line;
    }
}

TEST(TerminalTextTest, DatesShowSecondsAndTheZone) {
    const char* saved = std::getenv("TZ");
    std::string previous = saved ? saved : "";
    setenv("TZ", "Pacific/Kiritimati", 1);
    tzset();
    // 23:30 UTC on New Year's Eve is the next afternoon there, a year on.
    EXPECT_EQ(LocalTimeText("2026-12-31T23:30:05Z"), "2027-01-01 13:30:05 +14");
    setenv("TZ", "America/Los_Angeles", 1);
    tzset();
    EXPECT_EQ(LocalTimeText("2026-07-01T07:00:00Z"), "2026-07-01 00:00:00 PDT");
    EXPECT_EQ(LocalTimeText("2026-12-01T08:00:59Z"), "2026-12-01 00:00:59 PST");
    for (const char* odd : {"", "07/01/2026 - 00:00", "2026-07-01T07:00:00", "2026-07-01T07:00:00Zjunk"})
        EXPECT_EQ(LocalTimeText(odd), odd);
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST(TerminalTextTest, TombstoneFilesSkipWhatIsNoTombstone) {
    std::istringstream file(
        "name\tlastKnownParent\n"  // not a heading of its own: kept, and reported as no tombstone
        "tombstone\n"
        "guid\r\n"
        "# a comment\n"
        "\n"
        "   \n"
        "CN=a\\\\0ADEL:1,CN=Deleted Objects\r\n"
        "11111111-2222-3333-4444-555555555555\n"
        // The listing piped in whole: its heading skipped, each row's last field taken.
        "name\tlastKnownParent\tclass\tdateDeleted\tdeletedUtc\tguid\ttombstoneName\ttombstone\n"
        "a\tOU=x\tuser\td\tu\tg\ta\\nDEL:g\tCN=b\\\\0ADEL:2,CN=Deleted Objects\n");
    EXPECT_EQ(ReadTombstoneLines(file),
              (std::vector<std::string>{"name\tlastKnownParent", "CN=a\\\\0ADEL:1,CN=Deleted Objects",
                                        "11111111-2222-3333-4444-555555555555", "CN=b\\\\0ADEL:2,CN=Deleted Objects"}));
}

}  // namespace
