// Terminal text: one table of inputs, forms and what each form writes, then the promises every
// form keeps for hostile text (nothing that steers a terminal gets through, and a reversible
// text gives back its bytes).
#include <gtest/gtest.h>

#include <string>

#include "lumivel/terminal_text.h"
#include "lumivel/text.h"

namespace {

using lumivel::TerminalEscaping;
using lumivel::TerminalText;
using lumivel::UnescapeTerminalText;

constexpr TerminalEscaping kReversible = TerminalEscaping::Reversible;
constexpr TerminalEscaping kReadable = TerminalEscaping::Readable;
constexpr TerminalEscaping kLines = TerminalEscaping::ReadableLines;
constexpr TerminalEscaping kJson = TerminalEscaping::Json;

TEST(TerminalText, EachFormWritesWhatItsTableSays) {
    struct Row {
        std::string input;
        TerminalEscaping escaping;
        std::string output;
    };
    const Row rows[] = {
        // Plain text and text beyond ASCII pass in every form.
        {"Smith, John", kReversible, "Smith, John"},
        {"Zo\xc3\xab \xe7\x8e\x8b \xf0\x9f\x98\x80", kReadable, "Zo\xc3\xab \xe7\x8e\x8b \xf0\x9f\x98\x80"},
        {"Zo\xc3\xab \xf0\x9f\x98\x80", kJson, "Zo\xc3\xab \xf0\x9f\x98\x80"},
        // A backslash: doubled where the text is read back, single for a person.
        {"OU=A\\, B", kReversible, "OU=A\\\\, B"},
        {"OU=A\\, B", kReadable, "OU=A\\, B"},
        {"OU=A\\, B", kLines, "OU=A\\, B"},
        {"a\\\"b", kJson, "a\\\\\\\"b"},
        {"\"quoted\"", kReadable, "\"quoted\""},
        // Tabs and line ends.
        {"a\tb\nc\rd\r\ne", kReversible, "a\\tb\\nc\\rd\\r\\ne"},
        {"a\tb\nc\rd\r\ne", kReadable, "a\\tb\\nc\\rd\\r\\ne"},
        {"a\tb\nc\rd\r\ne", kLines, "a\tb\nc\\rd\ne"},
        {"a\tb\nc\rd\r\ne", kJson, "a\\tb\\nc\\rd\\r\\ne"},
        {"ends\r", kLines, "ends\\r"},
        // C0 controls and DEL.
        {std::string("nul\0x", 5), kReversible, "nul\\x00x"},
        {"\x1b]0;owned\x07\x1b[2J", kReadable, "\\x1b]0;owned\\x07\\x1b[2J"},
        {"\x1b[31m", kLines, "\\x1b[31m"},
        {"\x1b\x7f", kJson, "\\u001b\\u007f"},
        {"\x7f", kReversible, "\\x7f"},
        {"\x1f \x20", kReadable, "\\x1f  "},
        // C1 controls, U+0080 to U+009F; U+00A0 is a character.
        {"\xc2\x9b" "2J \xc2\x85", kReversible, "\\x9b2J \\x85"},
        {"\xc2\x80\xc2\x9f\xc2\xa0", kReadable, "\\x80\\x9f\xc2\xa0"},
        {"\xc2\x9b", kJson, "\\u009b"},
        // Bidirectional controls, and their neighbours that are none.
        {"abc\xe2\x80\xae" "exe.txt", kReversible, "abc\\u202eexe.txt"},
        {"\xe2\x80\xaa\xe2\x80\xab\xe2\x80\xac\xe2\x80\xad\xe2\x80\xae", kReadable,
         "\\u202a\\u202b\\u202c\\u202d\\u202e"},
        {"\xe2\x81\xa6\xe2\x81\xa7\xe2\x81\xa8\xe2\x81\xa9", kLines, "\\u2066\\u2067\\u2068\\u2069"},
        {"\xe2\x81\xa6x\xe2\x81\xa9", kJson, "\\u2066x\\u2069"},
        {"\xe2\x80\xa9\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa", kReadable, "\xe2\x80\xa9\xe2\x80\xaf\xe2\x81\xa5\xe2\x81\xaa"},
        // Bytes that are no UTF-8: a lone CSI byte, a lead byte without its tail, an overlong
        // form, a surrogate, a byte that never occurs.
        {"a\x9b" "2J", kReversible, "a\\udc9b2J"},
        {"a\x9b" "2J", kReadable, "a\\x9b2J"},
        {"a\x9b" "2J", kJson, "a\xef\xbf\xbd" "2J"},
        {"\xe2\x80", kReversible, "\\udce2\\udc80"},
        {"\xe2\x80" "x", kJson, "\xef\xbf\xbdx"},
        {"\xc0\xaf", kReadable, "\\xc0\\xaf"},
        {"\xed\xa0\x80", kReversible, "\\udced\\udca0\\udc80"},
        {"\xff", kLines, "\\xff"},
        {"Ren\xe9", kReversible, "Ren\\udce9"},
        {"", kReversible, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(TerminalText(row.input, row.escaping), row.output)
            << "form " << static_cast<int>(row.escaping) << " of " << TerminalText(row.input, kReversible);
    }
}

TEST(TerminalText, NoFormLetsThroughWhatSteersATerminalAndReversibleTextComesBack) {
    const std::string hostile[] = {
        "plain",
        "Back\\slash \\0A \\\\ \\x1b \\u202e \\udc9b",
        "tab\there\nline\r\nfeed\r",
        std::string("nul\0byte", 8),
        "\x1b]0;title\x07 \x1b[2J \x7f",
        "C1 \xc2\x9b" "31m \xc2\x85 \xc2\x9f",
        "txt.\xe2\x80\xae" "exe \xe2\x81\xa7isolated\xe2\x81\xa9",
        "Latin-1 path /home/Ren\xe9/\x9b" "2J",
        "cut \xf0\x9f\x98",
        "Zo\xc3\xab \xe7\x8e\x8b\xe5\xb0\x8f\xe6\x98\x8e \xf0\xa0\xae\xb7",
    };
    for (const std::string& text : hostile) {
        const std::string field = TerminalText(text, kReversible);
        EXPECT_EQ(UnescapeTerminalText(field), text) << field;
        for (TerminalEscaping escaping : {kReversible, kReadable, kLines, kJson}) {
            const std::string shown = TerminalText(text, escaping);
            EXPECT_TRUE(lumivel::IsWellFormedUtf8(shown)) << shown;
            const std::u16string wide = lumivel::FromUtf8(shown);
            for (char16_t c : wide) {
                const bool keptLine = escaping == kLines && (c == u'\n' || c == u'\t');
                EXPECT_FALSE((c < 0x20 && !keptLine) || (c >= 0x7F && c <= 0x9F)) << "control in " << field;
                EXPECT_FALSE((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) << "bidi in " << field;
            }
        }
    }
}

TEST(TerminalText, OnlyWhatTheReversibleFormWritesIsReadBack) {
    // Stored files written before the forms were one spell control characters in capitals.
    EXPECT_EQ(UnescapeTerminalText("a\\x09b\\x0D\\x7F\\x1b\\x9B"), "a\tb\r\x7f\x1b\xc2\x9b");
    EXPECT_EQ(UnescapeTerminalText("\\u202E\\uDC9B"), "\xe2\x80\xae\x9b");
    for (const char* malformed : {"trailing\\", "\\q", "\\x4", "\\x41", "\\xzz", "\\xa0", "\\u0041", "\\u202",
                                  "\\udc41", "\\ud800", "\\u20zz"})
        EXPECT_FALSE(UnescapeTerminalText(malformed).has_value()) << malformed;
}

}  // namespace
