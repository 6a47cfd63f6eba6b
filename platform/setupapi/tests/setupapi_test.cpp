#include "win/setupapi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/text.h"
#include "win/errors.h"

namespace {

namespace fs = std::filesystem;

constexpr char kHeader[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";

class InfFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("setupapi_test_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        for (HINF inf : m_open) SetupCloseInfFile(inf);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    std::u16string Write(const std::string& bytes, const std::string& name = "test.inf") {
        fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return lumivel::FromUtf8(path.string());
    }

    HINF Open(const std::string& bytes, UINT* errorLine = nullptr) {
        std::u16string path = Write(bytes);
        HINF inf = SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_WIN4, errorLine);
        if (inf != INVALID_HANDLE_VALUE) m_open.push_back(inf);
        return inf;
    }

    fs::path m_dir;
    std::vector<HINF> m_open;
};

std::optional<std::u16string> Field(INFCONTEXT& context, DWORD index) {
    DWORD required = 0;
    if (!SetupGetStringFieldW(&context, index, nullptr, 0, &required)) return std::nullopt;
    std::u16string text(required, u'\0');
    if (!SetupGetStringFieldW(&context, index, text.data(), required, nullptr)) return std::nullopt;
    text.resize(required - 1);
    return text;
}

std::vector<std::u16string> AllFields(INFCONTEXT& context) {
    std::vector<std::u16string> fields;
    for (DWORD i = 1;; ++i) {
        std::optional<std::u16string> field = Field(context, i);
        if (!field) break;
        fields.push_back(*field);
    }
    return fields;
}

std::u16string U(const char* text) { return lumivel::FromUtf8(text); }

// How Windows splits one line into a key and fields.
struct LineCase {
    const char* line;
    const char* key;  // nullptr: field 0 does not exist
    std::vector<const char*> fields;
};

const LineCase kLineCases[] = {
    {"ab=cd", "ab", {"cd"}},
    {"ab=cd,ef,gh", "ab", {"cd", "ef", "gh"}},
    {"ab", "ab", {"ab"}},
    {"ab,cd", nullptr, {"ab", "cd"}},
    {"ab,cd=ef", nullptr, {"ab", "cd=ef"}},
    {"=abcd,ef", "", {"abcd", "ef"}},
    {",=,,b", nullptr, {"", "=", "", "b"}},
    {"a=\n", "a", {""}},
    {"a=b,,,c", "a", {"b", "", "", "c"}},
    {" a b = c , d \n", "a b", {"c", "d"}},
    {" a b = c ,\" d\" \n", "a b", {"c", " d"}},
    {" a b\r = c\r\n", "a b", {"c"}},
    {"a=b ; comment, not a field", "a", {"b"}},
    {"a=\"b;c\",d", "a", {"b;c", "d"}},
    {"Ab\"Cd\"=Ef", "AbCd", {"Ef"}},
    {"Ab\"Cd=Ef\"", "AbCd=Ef", {"AbCd=Ef"}},
    {"ab\"\"\"cd,ef=gh\"", "ab\"cd,ef=gh", {"ab\"cd,ef=gh"}},
    {"ab=cd\"\"ef", "ab", {"cdef"}},
    {"ab=cd\",\"ef", "ab", {"cd,ef"}},
    {"ab=cd\",ef", "ab", {"cd,ef"}},
    {"k=8\t\"610062\"", "k", {"8\t610062"}},
    {"ba\\\ncd=ef", "bacd", {"ef"}},
    {"ab  \\  \ncd=ef", "abcd", {"ef"}},
    {"ab  \\ ;cc\ncd=ef", "abcd", {"ef"}},
    {"ab \\ \\ \ncd=ef", "abcd", {"ef"}},
    {"ba \\ dc=xx", "ba \\ dc", {"xx"}},
    {"a=b\\\\c", "a", {"b\\\\c"}},
    {"ba=c \\ \n \\ \n a", "ba", {"ca"}},
    {"ab=cd\",ef\\\nab", "ab", {"cd,ef\\"}},
    {"ab=c\x1a" "d", "ab", {"c"}},
    // An open quote ends with its line, whose carriage returns are no part of the text.
    {"ab=\"cd\r\r\nef=gh", "ab", {"cd"}},
    {"ab=\"c\rd\r\n", "ab", {"c\rd"}},
    {"abcd=ef\0gh", "abcd", {"ef gh"}},
    {"na\xc3\xafve=\xf0\x9f\x98\x80", "na\xc3\xafve", {"\xf0\x9f\x98\x80"}},
};

TEST_F(InfFixture, SplitsLinesIntoKeyAndFieldsAsWindowsDoes) {
    for (const LineCase& testCase : kLineCases) {
        SCOPED_TRACE(testCase.line);
        std::string line = testCase.line;
        if (line == "abcd=ef") line = std::string("abcd=ef\0gh", 10);
        HINF inf = Open(std::string(kHeader) + "[Test]\n" + line);
        ASSERT_NE(inf, INVALID_HANDLE_VALUE) << GetLastError();
        INFCONTEXT context{};
        ASSERT_TRUE(SetupGetLineByIndexW(inf, u"Test", 0, &context));
        std::optional<std::u16string> key = Field(context, 0);
        if (testCase.key) {
            ASSERT_TRUE(key.has_value());
            EXPECT_EQ(*key, U(testCase.key));
        } else {
            EXPECT_FALSE(key.has_value());
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
        std::vector<std::u16string> expected;
        for (const char* field : testCase.fields) expected.push_back(U(field));
        EXPECT_EQ(AllFields(context), expected);
    }
}

struct OpenCase {
    const char* contents;
    DWORD error;
    UINT errorLine;
};

const OpenCase kOpenCases[] = {
    {"", ERROR_WRONG_INF_STYLE, 0},
    {"[Version]\r\n", ERROR_WRONG_INF_STYLE, 0},
    {"[Version]\nSignature=foo", ERROR_WRONG_INF_STYLE, 0},
    {"[Restricted.Attributes]\nobjectGUID\n", ERROR_WRONG_INF_STYLE, 0},
    {"[version]\nsignature=$chicago$", 0, 0},
    {"[Version]\nSignature=$Windows NT$,abcd", 0, 0},
    {"[Version]\nabc=def\n[Version]\nSignature=\"$Windows NT$\"", 0, 0},
    {"[abc]\n[Version]\nSignature=$Chicago$", 0, 0},
    {"abc\r\n[Version]\nSignature=$Chicago$", ERROR_EXPECTED_SECTION_NAME, 1},
    {";\n;\nabc\r\n[Version]\nSignature=$Chicago$", ERROR_EXPECTED_SECTION_NAME, 3},
    {"[Version]\nSignature=$Chicago$\n[ab\r\n", ERROR_BAD_SECTION_NAME_LINE, 3},
    {"[Version]\nSignature=$Chicago$\n\n\n[ab\x1a]\n", ERROR_BAD_SECTION_NAME_LINE, 5},
};

// Whether a backslash continues its line depends on what follows the whole run it starts;
// a run of a million is one scan, not a million.
TEST_F(InfFixture, LongRunsOfBackslashesParseWhole) {
    const size_t kRun = 1'000'000;
    std::string backslashes(kRun, '\\');
    std::string spaced;
    for (size_t i = 0; i < kRun / 2; ++i) spaced += "\\ ";
    HINF inf = Open(std::string(kHeader) + "[S]\na=" + backslashes + "x\nb=" + spaced + "y\nc=1" + spaced + "\nd=2\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetupGetLineCountW(inf, u"S"), 3);
    INFCONTEXT context{};
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"S", 0, &context));
    EXPECT_EQ(Field(context, 1), std::optional<std::u16string>(std::u16string(kRun, u'\\') + u"x"));
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"S", 1, &context));
    std::optional<std::u16string> spacedField = Field(context, 1);
    ASSERT_TRUE(spacedField.has_value());
    EXPECT_EQ(spacedField->size(), kRun + 1);
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"S", 2, &context));  // the run continued c onto d's line
    EXPECT_EQ(Field(context, 0), std::optional<std::u16string>(u"c"));
    EXPECT_EQ(Field(context, 1), std::optional<std::u16string>(u"1d=2"));
}

TEST_F(InfFixture, ReportsOpenErrorsWithTheirLine) {
    for (const OpenCase& testCase : kOpenCases) {
        SCOPED_TRACE(testCase.contents);
        UINT errorLine = 12345;
        HINF inf = Open(testCase.contents, &errorLine);
        if (testCase.error) {
            EXPECT_EQ(inf, INVALID_HANDLE_VALUE);
            EXPECT_EQ(GetLastError(), testCase.error);
        } else {
            EXPECT_NE(inf, INVALID_HANDLE_VALUE) << std::hex << GetLastError();
        }
        EXPECT_EQ(errorLine, testCase.errorLine);
    }
    std::string longName(256, 'a');
    UINT errorLine = 0;
    EXPECT_EQ(Open(std::string(kHeader) + "[" + longName + "]\r\n", &errorLine), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SECTION_NAME_TOO_LONG));
    EXPECT_EQ(errorLine, 3u);
    EXPECT_NE(Open(std::string(kHeader) + "[" + longName.substr(1) + "]\r\n"), INVALID_HANDLE_VALUE);
}

TEST_F(InfFixture, FindsSectionsWithoutRegardToCaseAndMergesDuplicates) {
    HINF inf = Open(std::string(kHeader) +
                    "[backup info]\nDateTime=x\n"
                    "   [  Spaced Name  ]  trailing text\nk=v\n"
                    ";[Commented]\n"
                    "[Test[S]ection]\nq=1\n"
                    "[BACKUP INFO]\nOrigin=y\n"
                    "[Empty]\n; only a comment\n\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    EXPECT_EQ(SetupGetLineCountW(inf, u"Backup Info"), 2);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    INFCONTEXT context{};
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"Backup Info", 1, &context));
    EXPECT_EQ(Field(context, 0), std::optional<std::u16string>(u"Origin"));
    EXPECT_EQ(SetupGetLineCountW(inf, u"  spaced name  "), 1);
    EXPECT_EQ(SetupGetLineCountW(inf, u"Spaced Name"), -1);
    EXPECT_EQ(SetupGetLineCountW(inf, u"Test[S"), 1);
    EXPECT_EQ(SetupGetLineCountW(inf, u"Empty"), 0);
    EXPECT_EQ(SetupGetLineCountW(inf, u"Commented"), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SECTION_NOT_FOUND));

    EXPECT_FALSE(SetupGetLineByIndexW(inf, u"Empty", 0, &context));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LINE_NOT_FOUND));
    EXPECT_FALSE(SetupGetLineByIndexW(inf, u"Missing", 0, &context));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LINE_NOT_FOUND));
}

TEST_F(InfFixture, StringFieldBufferBehaviour) {
    std::string value(600, 'A');
    HINF inf = Open(std::string(kHeader) + "[S]\nlong=" + value + "\nshort=" + std::string(511, 'b') + "\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context{};
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"S", 0, &context));

    std::u16string buffer(512, u'#');
    DWORD required = 0;
    EXPECT_FALSE(SetupGetStringFieldW(&context, 1, buffer.data(), 512, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(required, 601u);
    EXPECT_EQ(buffer, std::u16string(512, u'#'));  // a failed call leaves the buffer alone

    required = 0;
    EXPECT_TRUE(SetupGetStringFieldW(&context, 1, nullptr, 0, &required));
    EXPECT_EQ(required, 601u);

    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"S", 1, &context));
    EXPECT_TRUE(SetupGetStringFieldW(&context, 1, buffer.data(), 512, &required));
    EXPECT_EQ(required, 512u);
    EXPECT_EQ(std::u16string(buffer.c_str()), std::u16string(511, u'b'));

    EXPECT_FALSE(SetupGetStringFieldW(&context, 2, buffer.data(), 512, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(SetupGetStringFieldW(nullptr, 1, buffer.data(), 512, &required));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(InfFixture, ReadsUtf16LittleEndianWithByteOrderMark) {
    std::u16string text = u"[Version]\r\nSignature=\"$Windows NT$\"\r\n[restricted.attributes]\r\n"
                          u"\u00e9t\u00e9=\U0001F600,\"\u4e2d \"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    HINF inf = Open(bytes);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE) << std::hex << GetLastError();
    EXPECT_EQ(SetupGetLineCountW(inf, u"Restricted.Attributes"), 1);
    INFCONTEXT context{};
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"RESTRICTED.ATTRIBUTES", 0, &context));
    EXPECT_EQ(Field(context, 0), std::optional<std::u16string>(u"\u00e9t\u00e9"));
    EXPECT_EQ(AllFields(context), (std::vector<std::u16string>{u"\U0001F600", u"\u4e2d "}));

    // Without the mark the same text is 8-bit, and a UTF-8 mark is skipped.
    inf = Open("\xEF\xBB\xBF" + std::string(kHeader) + "[S]\nk=\xc3\xa9\n");
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"S", 0, &context));
    EXPECT_EQ(Field(context, 1), std::optional<std::u16string>(u"\u00e9"));
}

TEST_F(InfFixture, RefusesBadHandlesMissingFilesAndOtherClasses) {
    UINT errorLine = 7;
    std::u16string missing = lumivel::FromUtf8((m_dir / "missing.inf").string());
    EXPECT_EQ(SetupOpenInfFileW(missing.c_str(), nullptr, INF_STYLE_WIN4, &errorLine), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(errorLine, 0u);

    std::u16string path = Write(std::string(kHeader) + "Class=Revivo_Backup\n[S]\na=b\n");
    EXPECT_EQ(SetupOpenInfFileW(path.c_str(), u"Net", INF_STYLE_WIN4, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CLASS_MISMATCH));
    EXPECT_EQ(SetupOpenInfFileW(path.c_str(), nullptr, INF_STYLE_OLDNT, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRONG_INF_STYLE));

    HINF inf = SetupOpenInfFileW(path.c_str(), u"revivo_backup", INF_STYLE_WIN4, nullptr);
    ASSERT_NE(inf, INVALID_HANDLE_VALUE);
    INFCONTEXT context{};
    ASSERT_TRUE(SetupGetLineByIndexW(inf, u"S", 0, &context));
    SetupCloseInfFile(inf);
    EXPECT_EQ(SetupGetLineCountW(inf, u"S"), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    WCHAR buffer[8];
    EXPECT_FALSE(SetupGetStringFieldW(&context, 1, buffer, 8, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetupCloseInfFile(nullptr);
    SetupCloseInfFile(INVALID_HANDLE_VALUE);
}

}  // namespace
