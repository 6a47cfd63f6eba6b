#include "provider/backup/inf_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "provider/backup/tests/test_files.h"

namespace revivo {
namespace {

using testing::kInfHeader;
using testing::TempDirectory;
using testing::Utf16File;

enum class Variant { Configuration, Backup };

struct Result {
    bool ok = false;
    LONG count = 0;
    bool hasArray = false;
    std::vector<std::optional<std::u16string>> entries;
};

Result Read(InfFile& file, Variant variant, const char16_t* section, DWORD field) {
    LPWSTR* fields = reinterpret_cast<LPWSTR*>(1);
    Result result;
    result.ok = variant == Variant::Configuration ? file.ReadSectionField(section, field, &fields, &result.count)
                                                  : file.ReadSectionFieldRaw(section, field, &fields, &result.count);
    result.hasArray = fields != nullptr;
    for (LONG i = 0; fields && i < result.count; ++i) {
        result.entries.push_back(fields[i] ? std::optional<std::u16string>(fields[i]) : std::nullopt);
    }
    FreeFieldArray(fields, result.count);
    return result;
}

std::u16string Hex(size_t digits) {
    std::u16string hex;
    for (size_t i = 0; i < digits; ++i) hex.push_back(u"0123456789ABCDEF"[(i * 7) % 16]);
    return hex;
}

std::string Ascii(const std::u16string& text) { return std::string(text.begin(), text.end()); }

TEST(InfFile, WithoutPathOrReadableFileEveryReadFails) {
    TempDirectory dir;
    InfFile none(nullptr);
    EXPECT_EQ(none.ErrorLine(), -1);
    EXPECT_FALSE(none.IsOpen());
    InfFile empty(u"");
    for (InfFile* file : {&none, &empty}) {
        Result result = Read(*file, Variant::Configuration, u"S", 0);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.count, -1);
        EXPECT_FALSE(result.hasArray);
    }
    InfFile unsigned_(dir.Write("plain.inf", "[S]\na=b\n").c_str());
    EXPECT_FALSE(unsigned_.IsOpen());
    EXPECT_FALSE(Read(unsigned_, Variant::Backup, u"S", 0).ok);

    InfFile broken(dir.Write("broken.inf", std::string(kInfHeader) + "[S\n").c_str());
    EXPECT_EQ(broken.ErrorLine(), 4);
}

TEST(InfFile, MissingAndEmptySections) {
    TempDirectory dir;
    InfFile file(dir.Write("a.inf", std::string(kInfHeader) + "[Empty]\n; nothing\n\n[Full]\na=1\n").c_str());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.ErrorLine(), 0);
    for (Variant variant : {Variant::Configuration, Variant::Backup}) {
        Result missing = Read(file, variant, u"Absent", 0);
        EXPECT_FALSE(missing.ok);
        EXPECT_EQ(missing.count, -1);
        EXPECT_FALSE(missing.hasArray);
        Result empty = Read(file, variant, u"empty", 0);
        EXPECT_TRUE(empty.ok);
        EXPECT_EQ(empty.count, 0);
        EXPECT_FALSE(empty.hasArray);
    }
    file.Close();
    EXPECT_FALSE(Read(file, Variant::Configuration, u"Full", 0).ok);
}

// Backup lines "name=type<TAB>"value"" around the parser buffer's edge, read back whole through
// both variants, from 8-bit and UTF-16LE files, with the section header in lower case.
TEST(InfFile, LongBackupValuesAreReadWholeThroughBothVariants) {
    const size_t kDigits[] = {0, 500, 509, 510, 511, 4000, 70000};
    for (bool utf16 : {false, true}) {
        std::u16string text = u"[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[0a1b2c3d4e5f60718293a4b5c6d7e8f9]\r\n";
        for (size_t digits : kDigits) text += u"attr" + Hex(3) + u"=8\t\"" + Hex(digits) + u"\"\r\n";
        text += u"path=8\t\"" + Hex(4000) + u"\"\r\n";
        TempDirectory dir;
        std::u16string path = dir.Write("b.inf", utf16 ? Utf16File(text) : Ascii(text));
        InfFile file(path.c_str());
        ASSERT_TRUE(file.IsOpen());
        for (Variant variant : {Variant::Configuration, Variant::Backup}) {
            SCOPED_TRACE(::testing::Message() << "utf16 " << utf16 << " variant " << static_cast<int>(variant));
            Result values = Read(file, variant, u"0A1B2C3D4E5F60718293A4B5C6D7E8F9", 1);
            ASSERT_TRUE(values.ok);
            ASSERT_EQ(values.count, static_cast<LONG>(std::size(kDigits) + 1));
            for (size_t i = 0; i < std::size(kDigits); ++i) {
                EXPECT_EQ(values.entries[i], std::optional<std::u16string>(u"8\t" + Hex(kDigits[i])))
                    << kDigits[i] << " digits";
            }
            EXPECT_EQ(values.entries.back(), std::optional<std::u16string>(u"8\t" + Hex(4000)));
            Result keys = Read(file, variant, u"0a1b2c3d4e5f60718293a4b5c6d7e8f9", 0);
            ASSERT_TRUE(keys.ok);
            EXPECT_EQ(keys.entries.back(), std::optional<std::u16string>(u"path"));
        }
    }
}

TEST(InfFile, RawRereadingFollowsTheParsersLines) {
    std::u16string longName = Hex(700);
    std::string contents = std::string(kInfHeader) +
                           "[restricted.attributes]\n"
                           "; a comment line\n"
                           "\n"
                           "shortName\n"
                           "  " + Ascii(longName) + " = ignored, too ; trailing comment\n"
                           "\"quoted, " + Ascii(Hex(600)) + "\"\n"
                           "[Other]\n"
                           "x=1\n"
                           "[Restricted.Attributes]\n"
                           "  ; merged section, comment first\n" +
                           Ascii(Hex(800)) + "\n";
    TempDirectory dir;
    InfFile file(dir.Write("config.inf", contents).c_str());
    ASSERT_TRUE(file.IsOpen());
    for (Variant variant : {Variant::Configuration, Variant::Backup}) {
        Result keys = Read(file, variant, u"Restricted.Attributes", 0);
        ASSERT_TRUE(keys.ok);
        ASSERT_EQ(keys.count, 4);
        EXPECT_EQ(keys.entries[0], std::optional<std::u16string>(u"shortName"));
        EXPECT_EQ(keys.entries[1], std::optional<std::u16string>(longName));
        EXPECT_EQ(keys.entries[2], std::optional<std::u16string>(u"quoted, " + Hex(600)));
        EXPECT_EQ(keys.entries[3], std::optional<std::u16string>(Hex(800)));
    }
}

// Long fields really come from the raw text: with the file rewritten after opening (same
// lines, other digits), short fields are still the parser's and long ones the file's.
TEST(InfFile, LongFieldsAreTakenFromTheRawText) {
    auto contents = [](char16_t digit) {
        return std::string(kInfHeader) + "[S]\nshort=8\t\"" + std::string(10, static_cast<char>(digit)) +
               "\"\nlong=8\t\"" + std::string(600, static_cast<char>(digit)) + "\"\n";
    };
    TempDirectory dir;
    InfFile file(dir.Write("r.inf", contents(u'1')).c_str());
    ASSERT_TRUE(file.IsOpen());
    dir.Write("r.inf", contents(u'2'));
    Result values = Read(file, Variant::Backup, u"S", 1);
    ASSERT_TRUE(values.ok);
    EXPECT_EQ(values.entries, (std::vector<std::optional<std::u16string>>{u"8\t" + std::u16string(10, u'1'),
                                                                           u"8\t" + std::u16string(600, u'2')}));
}

TEST(InfFile, RawLinesThatAreNotTheParsersLineGiveWayToTheParser) {
    // The continued first line is two raw lines but one parser line, so raw line 1 is not
    // parser line 1, and a header-like continuation hides the rest of the section from the
    // raw text; neither may hand out another line's text or lose the field.
    std::string contents = std::string(kInfHeader) + "[S]\na=1,\\\n 2\nb=" + Ascii(Hex(600)) + "\nc=3,\\\n[x]\n" +
                           "d=" + Ascii(Hex(700)) + "\n";
    TempDirectory dir;
    InfFile file(dir.Write("c.inf", contents).c_str());
    for (Variant variant : {Variant::Configuration, Variant::Backup}) {
        Result values = Read(file, variant, u"S", 1);
        ASSERT_TRUE(values.ok);
        EXPECT_EQ(values.entries, (std::vector<std::optional<std::u16string>>{u"1", Hex(600), u"3", Hex(700)}));
    }
}

// Continued lines before long fields of the same length: the raw re-reading must count the
// continued line as the one line the parser sees, or it hands out the next line's text with
// nothing to tell it apart. Headers inside a continued entry and text after the end-of-file
// mark are no lines either.
TEST(InfFile, ContinuedLinesNeverShiftTheRawRereading) {
    auto run = [](char digit) { return std::u16string(600, static_cast<char16_t>(digit)); };
    std::u16string text = std::u16string(u"[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n[S]\r\n") +
                          u"a=8\t\"" + run('1') + u"\",\\\r\n" +      // continued by the next raw line
                          u"x=8\t\"" + run('2') + u"\"\r\n" +
                          u"b=8\t\"" + run('3') + u"\"\r\n" +
                          u"c=8\t\"" + run('4') + u"\" \\ \\ ; a comment after the backslashes\r\n" +
                          u"   [T]\r\n" +                                     // part of c, not a header
                          u"d=8\t\"" + run('5') + u"\"\r\n" +
                          u"e=\"q\\\" \\\r\n" +                          // a backslash in quotes is text
                          u"   f\r\n" +
                          u"g=8\t\"" + run('6') + u"\"\r\n" +
                          u"h=8\t\"" + run('7') + u"\"\x1a\r\n" +
                          u"i=8\t\"" + run('8') + u"\"\r\n";            // after the end-of-file mark
    for (bool utf16 : {false, true}) {
        TempDirectory dir;
        InfFile file(dir.Write("c.inf", utf16 ? Utf16File(text) : Ascii(text)).c_str());
        ASSERT_TRUE(file.IsOpen());
        for (Variant variant : {Variant::Configuration, Variant::Backup}) {
            SCOPED_TRACE(::testing::Message() << "utf16 " << utf16 << " variant " << static_cast<int>(variant));
            Result keys = Read(file, variant, u"S", 0);
            ASSERT_TRUE(keys.ok);
            EXPECT_EQ(keys.entries, (std::vector<std::optional<std::u16string>>{u"a", u"b", u"c", u"d", u"e", u"g", u"h"}));
            Result values = Read(file, variant, u"S", 1);
            ASSERT_TRUE(values.ok);
            EXPECT_EQ(values.entries, (std::vector<std::optional<std::u16string>>{
                                          u"8\t" + run('1'), u"8\t" + run('3'), u"8\t" + run('4') + u"[T]",
                                          u"8\t" + run('5'), u"q\\f", u"8\t" + run('6'), u"8\t" + run('7')}));
            Result continued = Read(file, variant, u"S", 2);
            ASSERT_TRUE(continued.ok);
            ASSERT_EQ(continued.entries.size(), 7u);
            EXPECT_EQ(continued.entries[0], std::optional<std::u16string>(u"x=8\t" + run('2')));
        }
    }
}

TEST(InfFile, FailsWhenTheRawFileIsGoneAndLeavesNoArray) {
    TempDirectory dir;
    std::u16string path = dir.Write("gone.inf", std::string(kInfHeader) + "[S]\na=1\nb=" + Ascii(Hex(600)) + "\n");
    InfFile file(path.c_str());
    ASSERT_TRUE(file.IsOpen());
    std::filesystem::remove(dir.path() / "gone.inf");
    Result shortOnly = Read(file, Variant::Backup, u"S", 0);
    EXPECT_TRUE(shortOnly.ok);  // keys are short: the raw file is never needed
    for (Variant variant : {Variant::Configuration, Variant::Backup}) {
        Result values = Read(file, variant, u"S", 1);
        EXPECT_FALSE(values.ok);
        EXPECT_FALSE(values.hasArray);
    }
}

TEST(InfFile, MissingFieldsAreNullEntries) {
    TempDirectory dir;
    InfFile file(dir.Write("m.inf", std::string(kInfHeader) + "[S]\na=1,2\nlonely\nx,y\n").c_str());
    Result second = Read(file, Variant::Configuration, u"S", 2);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.entries, (std::vector<std::optional<std::u16string>>{u"2", std::nullopt, u"y"}));
    Result keys = Read(file, Variant::Backup, u"S", 0);
    EXPECT_EQ(keys.entries, (std::vector<std::optional<std::u16string>>{u"a", u"lonely", std::nullopt}));
}

}  // namespace
}  // namespace revivo
