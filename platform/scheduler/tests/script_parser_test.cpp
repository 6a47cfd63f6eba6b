// The script host's language: the generated scripts and their harmless variations read as
// their statements; anything beyond them is refused with VBScript's error and its place.
#include <gtest/gtest.h>

#include "../script_parser.h"

namespace lumivel::scheduler {
namespace {

using Kind = ScriptStatement::Kind;

constexpr char kGenerated[] =
    "Set oObject = CreateObject(\"RevivoProvider.Revivo\")\r\n"
    "\r\n"
    "If IsObject(oObject) Then\r\n"
    "   oObject.BackupObjects \"CN=Ann \"\"The Boss\"\" \xD0\x96,OU=\xF0\x9F\x98\x80,DC=lumivel,DC=test\"\r\n"
    "End If";

TEST(ScriptParser, ReadsTheGeneratedScript) {
    ParsedScript script = ParseScript(kGenerated);
    ASSERT_FALSE(script.error.has_value()) << std::string(script.error->description.begin(), script.error->description.end());
    ASSERT_EQ(script.statements.size(), 4u);
    EXPECT_EQ(script.statements[0].kind, Kind::CreateObject);
    EXPECT_EQ(script.statements[0].variable, u"oObject");
    EXPECT_EQ(script.statements[0].argument, u"RevivoProvider.Revivo");
    EXPECT_EQ(script.statements[1].kind, Kind::IfIsObject);
    EXPECT_EQ(script.statements[1].line, 3);
    EXPECT_EQ(script.statements[2].kind, Kind::CallMethod);
    EXPECT_EQ(script.statements[2].member, u"BackupObjects");
    EXPECT_EQ(script.statements[2].argument, u"CN=Ann \"The Boss\" \u0416,OU=\U0001F600,DC=lumivel,DC=test");
    EXPECT_EQ(script.statements[2].line, 4);
    EXPECT_EQ(script.statements[2].column, 4);
    EXPECT_EQ(script.statements[3].kind, Kind::EndIf);
}

TEST(ScriptParser, ReadsWhatVbscriptAllowsAroundThem) {
    // Case, comments, blanks and tabs, parentheses around the one argument, LF line ends,
    // nested blocks, a byte-order mark.
    ParsedScript script = ParseScript(
        "\xEF\xBB\xBF' made by hand\n"
        "REM another comment\n"
        "set  o = createobject ( \"A.B\" )   ' trailing comment\n"
        "\tif isobject( o ) then\n"
        "if IsObject(o) Then : \n");
    ASSERT_TRUE(script.error.has_value());
    EXPECT_EQ(script.error->code, kScriptExpectedEndOfStatement) << "no second statement on a line";
    EXPECT_EQ(script.error->line, 5);

    script = ParseScript(
        "set  o = createobject ( \"A.B\" )   ' trailing comment\n"
        "\tif isobject( o ) then\n"
        "IF ISOBJECT(o) THEN\n"
        "o.Run(\"x\") rem done\n"
        "end   if\n"
        "End If\n");
    ASSERT_FALSE(script.error.has_value());
    ASSERT_EQ(script.statements.size(), 6u);
    EXPECT_EQ(script.statements[3].argument, u"x");

    // UTF-16 with its byte-order mark, as scripts saved as Unicode are.
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("o.Run \"\xE9\"")) utf16 += c, utf16 += '\0';
    script = ParseScript(utf16);
    ASSERT_FALSE(script.error.has_value());
    EXPECT_EQ(script.statements[0].argument, u"\u00e9");
}

TEST(ScriptParser, RefusesEverythingElseWithItsPlace) {
    struct Case {
        const char* what;
        std::string text;
        HRESULT code;
        int line;
        int column;
    };
    const Case cases[] = {
        {"another function", "Set o = GetObject(\"winmgmts:\")", kScriptExpectedStatement, 1, 9},
        {"a declaration", "Dim o", kScriptExpectedStatement, 1, 1},
        {"a statement of VBScript's own", "Execute \"CreateObject(\"\"x\"\")\"", kScriptExpectedStatement, 1, 8},
        {"a string joined to more", "o.Run \"a\" & \"b\"", kScriptExpectedEndOfStatement, 1, 11},
        {"a built expression", "o.Run Chr(34)", kScriptSyntaxError, 1, 7},
        {"a second argument", "o.Run \"a\", \"b\"", kScriptExpectedEndOfStatement, 1, 10},
        {"a call without its string", "o.Run", kScriptExpectedStatement, 1, 1},
        {"a property", "x = o.Name", kScriptExpectedStatement, 1, 2},
        {"an If on one line", "If IsObject(o) Then o.Run \"a\"", kScriptExpectedEndOfStatement, 1, 21},
        {"an If on something else", "If o Then", kScriptExpectedStatement, 1, 4},
        {"an If without Then", "If IsObject(o)\nEnd If", kScriptExpectedThen, 1, 15},
        {"a block left open", "If IsObject(o) Then\n", kScriptExpectedEnd, 2, 1},
        {"an End If too many", "End If", kScriptExpectedStatement, 1, 1},
        {"End without If", "End", kScriptExpectedIf, 1, 4},
        {"a keyword as a variable", "Set If = CreateObject(\"A\")", kScriptExpectedIdentifier, 1, 5},
        {"an unterminated string", "o.Run \"a\"\"", kScriptUnterminatedString, 1, 7},
        {"a line continued", "o.Run _\n\"a\"", kScriptSyntaxError, 1, 7},
        {"a NUL inside", std::string("o.Run \"a\0b\"", 11), kScriptInvalidCharacter, 1, 9},
        {"bytes that are no UTF-8", "o.Run \"ok\"\no.Run \"\xC3(\"", kScriptInvalidCharacter, 2, 8},
        {"an overlong UTF-8 quote", "o.Run \"\xC0\xA2\"", kScriptInvalidCharacter, 1, 8},
        {"a long name", "o." + std::string(256, 'a') + " \"x\"", kScriptIdentifierTooLong, 1, 3},
    };
    for (const Case& c : cases) {
        ParsedScript script = ParseScript(c.text);
        ASSERT_TRUE(script.error.has_value()) << c.what;
        EXPECT_EQ(script.error->code, c.code) << c.what;
        EXPECT_EQ(script.error->line, c.line) << c.what;
        EXPECT_EQ(script.error->column, c.column) << c.what;
        EXPECT_FALSE(script.error->description.empty()) << c.what;
        EXPECT_TRUE(script.statements.empty() || c.line > 1) << c.what;
    }
    // Blocks nest without bound in VBScript; here 64 deep at most.
    std::string deep;
    for (int i = 0; i < 65; ++i) deep += "If IsObject(o) Then\n";
    EXPECT_EQ(ParseScript(deep).error->code, kScriptExpectedStatement);
}

}  // namespace
}  // namespace lumivel::scheduler
