// A backup file in the writer's format travels through the archive engine and comes back
// through the INF reader the way a restore reads it: the member extracted under the
// archive's base name, keys and values of an object's section, long values whole.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "provider/archive/archive_commands.h"
#include "provider/backup/inf_file.h"
#include "provider/backup/tests/test_files.h"

namespace revivo {
namespace {

using testing::TempDirectory;

std::string TextHex(const std::u16string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    for (char16_t c : text) {
        for (unsigned byte : {static_cast<unsigned>(c & 0xFF), static_cast<unsigned>(c >> 8)}) {
            hex += kDigits[byte >> 4];
            hex += kDigits[byte & 15];
        }
    }
    return hex;
}

std::u16string FromTextHex(std::u16string_view hex) {
    auto digit = [](char16_t c) { return c <= u'9' ? c - u'0' : c - u'A' + 10; };
    std::u16string text;
    for (size_t i = 0; i + 4 <= hex.size(); i += 4) {
        text.push_back(static_cast<char16_t>((digit(hex[i]) << 4 | digit(hex[i + 1])) |
                                             (digit(hex[i + 2]) << 4 | digit(hex[i + 3])) << 8));
    }
    return text;
}

struct Line {
    std::string key;
    std::string value;  // type, TAB, data
};

std::vector<std::optional<std::u16string>> ReadField(InfFile& file, const char16_t* section, DWORD field,
                                                     LONG* count) {
    LPWSTR* fields = nullptr;
    std::vector<std::optional<std::u16string>> out;
    if (!file.ReadSectionFieldRaw(section, field, &fields, count)) return out;
    for (LONG i = 0; fields && i < *count; ++i) {
        out.push_back(fields[i] ? std::optional<std::u16string>(fields[i]) : std::nullopt);
    }
    FreeFieldArray(fields, *count);
    return out;
}

TEST(BackupArchive, ABackupComesBackThroughExtractionAndTheRawReader) {
    TempDirectory dir;
    std::filesystem::create_directories(dir.path() / "work");
    std::filesystem::create_directories(dir.path() / "share");
    std::filesystem::create_directories(dir.path() / "temp");
    const std::string guid = "{6F1C2B3A-0D4E-4F50-9A1B-2C3D4E5F6071}";
    // Deep enough that its line is longer than the parser's buffer, with characters the ANSI
    // code page of other systems lacks.
    std::u16string parent = u"OU=Apollo\\, Phase 2,";
    for (int level = 1; level <= 10; ++level) parent += u"OU=Nested Level " + std::u16string(1, u'0' + level % 10) + u",";
    parent += u"OU=B\u00fcro M\u00fcnchen \U00020BB7,DC=lumivel,DC=test";
    const std::u16string section = u"3a2b1c6f4e0d504f9a1b2c3d4e5f6071";

    std::string photo;
    for (int i = 0; i < 3000; ++i) photo += "0123456789ABCDEF"[(i * 5 + i / 7) % 16];
    const std::vector<Line> lines = {
        {"cn", "8\t" + TextHex(u"Ada Lovelace")},
        {"whenCreated", "7\t12/8/2026 1:45:31 PM"},
        {"otherTelephone_1", "8204\t" + TextHex(u"+358 9 1")},
        {"otherTelephone_2", "8204\t" + TextHex(u"+358 9 2")},
        {"thumbnailPhoto", "8209\t" + photo},
        {"description", "8\t"},
        {"path", "8\t" + TextHex(parent)},
    };
    std::string inf =
        "[Version]\r\nSignature=\"$Windows NT$\"\r\nLayoutFile=layout.inf\r\nProvider=\"Tarvo Software\"\r\n"
        "ClassGUID={ED39F520-9EA3-4c8b-AA07-BA95A75DEA65}\r\nClass=Revivo_Backup\r\n\r\n"
        "[Backup Info]\r\nDateTime=\"2026-12-08 13:45:31\"\r\n"
        "Origin=\"CN=Ada Lovelace,OU=Apollo\\, Phase 2,OU=B\xc3\xbcro M\xc3\xbcnchen,DC=lumivel,DC=test\"\r\n"
        "\r\n[00112233445566778899aabbccddeeff]\r\ncn=8\t\"" + TextHex(u"Other") + "\"\r\n" +
        "path=8\t\"" + TextHex(u"DC=lumivel,DC=test") + "\"\r\n" + "\r\n[" + std::string(section.begin(), section.end()) +
        "]\r\n";
    for (const Line& line : lines) {
        size_t tab = line.value.find('\t');
        inf += line.key + "=" + line.value.substr(0, tab) + "\t\"" + line.value.substr(tab + 1) + "\"\r\n";
    }
    std::u16string source = dir.Write("work/" + guid + ".inf", inf);
    std::u16string archive = dir.Path("share/" + guid + ".zip");
    ASSERT_EQ(PackFile(archive.c_str(), source.c_str()), 0);
    std::filesystem::remove(dir.path() / "work" / (guid + ".inf"));

    std::u16string temp = dir.Path("temp") + u"/";
    ASSERT_EQ(ExtractInfFiles(archive.c_str(), temp.c_str()), 0);
    std::u16string extracted = temp + lumivel::FromUtf8(guid) + u".inf";
    InfFile file(extracted.c_str());
    ASSERT_TRUE(file.IsOpen()) << "no " << lumivel::ToUtf8(extracted);
    EXPECT_EQ(file.ErrorLine(), 0);

    // The restore asks for the section in the case it derives from the tombstone's GUID.
    std::u16string upper = section;
    for (char16_t& c : upper) c = c >= u'a' && c <= u'f' ? static_cast<char16_t>(c - 32) : c;
    LONG keyCount = 0, valueCount = 0;
    std::vector<std::optional<std::u16string>> keys = ReadField(file, upper.c_str(), 0, &keyCount);
    std::vector<std::optional<std::u16string>> values = ReadField(file, upper.c_str(), 1, &valueCount);
    ASSERT_EQ(keyCount, static_cast<LONG>(lines.size()));
    ASSERT_EQ(valueCount, keyCount);
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i].key);
        EXPECT_EQ(keys[i], std::optional<std::u16string>(lumivel::FromUtf8(lines[i].key)));
        EXPECT_EQ(values[i], std::optional<std::u16string>(lumivel::FromUtf8(lines[i].value)));
    }
    ASSERT_TRUE(values.back().has_value());
    ASSERT_GE(values.back()->size(), InfFile::kFieldBufferSize);
    EXPECT_EQ(FromTextHex(std::u16string_view(*values.back()).substr(2)), parent);

    LONG missing = 0;
    EXPECT_TRUE(ReadField(file, u"ffeeddccbbaa99887766554433221100", 0, &missing).empty());
    EXPECT_EQ(missing, -1);
}

}  // namespace
}  // namespace revivo
