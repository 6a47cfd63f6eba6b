// The backup file as the writer makes it: the two hex encodings, the lines of each value
// type, section names from GUIDs and tombstones, and the file's bytes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <sstream>

#include "provider/archive/archive_commands.h"
#include "provider/backup/backup_inf_file.h"
#include "provider/backup/section_name.h"
#include "provider/backup/tests/test_files.h"
#include "provider/backup/text_hex.h"
#include "provider/backup/value_line.h"
#include "lumivel/com_ptr.h"
#include "lumivel/variant_holder.h"
#include "win/adsi.h"
#include "win/com.h"

namespace revivo {
namespace {

using lumivel::ComPtr;
using lumivel::VariantHolder;
using testing::TempDirectory;

std::string narrow(const std::u16string& text) { return lumivel::ToUtf8(text); }

VARIANT text(const char16_t* value) {
    VARIANT v;
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(value);
    return v;
}

VARIANT bytes(std::initializer_list<unsigned char> values) {
    VARIANT v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(values.size()));
    void* data = nullptr;
    SafeArrayAccessData(v.parray, &data);
    std::copy(values.begin(), values.end(), static_cast<unsigned char*>(data));
    SafeArrayUnaccessData(v.parray);
    return v;
}

VARIANT largeInteger(long long value) {
    IADsLargeInteger* large = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_LargeInteger, nullptr, CLSCTX_INPROC_SERVER, IID_IADsLargeInteger,
                               reinterpret_cast<void**>(&large)),
              S_OK);
    large->put_HighPart(static_cast<LONG>(static_cast<unsigned long long>(value) >> 32));
    large->put_LowPart(static_cast<LONG>(value & 0xFFFFFFFF));
    VARIANT v;
    v.vt = VT_DISPATCH;
    v.pdispVal = large;
    return v;
}

VARIANT scalar(VARTYPE type, long long value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    v.llVal = 0;
    if (type == VT_BOOL) v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    else if (type == VT_DATE) v.date = static_cast<double>(value) / 1000.0;
    else v.lVal = static_cast<LONG>(value);
    return v;
}

VARIANT array(VARTYPE elementType, std::vector<VARIANT> elements) {
    VARIANT v;
    v.vt = VT_ARRAY | elementType;
    v.parray = SafeArrayCreateVector(elementType, 0, static_cast<ULONG>(elements.size()));
    for (LONG i = 0; i < static_cast<LONG>(elements.size()); ++i) {
        if (elementType == VT_BSTR) SafeArrayPutElement(v.parray, &i, elements[i].bstrVal);
        else SafeArrayPutElement(v.parray, &i, &elements[i]);
        VariantClear(&elements[i]);
    }
    return v;
}

std::string hex(const std::u16string& text) { return narrow(EncodeTextHex(text)); }

TEST(TextHex, EncodesUtf16LittleEndianAndDecodesOnlyWhatItEncodes) {
    EXPECT_EQ(EncodeTextHex(u"abc"), u"610062006300");
    EXPECT_EQ(EncodeTextHex(u""), u"");
    // Characters beyond the BMP are two units, each low byte first.
    EXPECT_EQ(EncodeTextHex(u"\u00fc\U00020BB7"), u"FC0042D8B7DF");
    const unsigned char raw[] = {0x00, 0x0f, 0xf0, 0xff};
    EXPECT_EQ(EncodeByteHex(raw, 4), u"000FF0FF");
    std::vector<unsigned char> bytes = {1};
    ASSERT_TRUE(DecodeByteHex(u"000ff0FF", &bytes));
    EXPECT_EQ(bytes, std::vector<unsigned char>(raw, raw + 4));
    EXPECT_FALSE(DecodeByteHex(u"000", &bytes));   // half a byte
    EXPECT_FALSE(DecodeByteHex(u"0G", &bytes));    // not a digit
    EXPECT_EQ(bytes, std::vector<unsigned char>(raw, raw + 4));

    for (const std::u16string& sample : {std::u16string(u"OU=B\u00fcro \"x\",DC=\u738b,DC=\U00020BB7"),
                                         std::u16string(u"CN=a\\, b\\0ADEL:x")}) {
        std::u16string back;
        size_t byteLength = 0;
        ASSERT_TRUE(DecodeTextHex(EncodeTextHex(sample), &back, &byteLength));
        EXPECT_EQ(back, sample);
        EXPECT_EQ(byteLength, sample.size() * 2);
    }
    std::u16string out = u"untouched";
    EXPECT_TRUE(DecodeTextHex(u"6100620063", &out, nullptr) == false);   // half a character
    EXPECT_FALSE(DecodeTextHex(u"61006G00", &out, nullptr));              // not a digit
    EXPECT_FALSE(DecodeTextHex(u"610000006200", &out, nullptr));          // a NUL inside
    EXPECT_FALSE(DecodeTextHex(u"61 0062 00", &out, nullptr));
    EXPECT_EQ(out, u"untouched");
    ASSERT_TRUE(DecodeTextHex(u"fc00", &out, nullptr));                   // lower case digits read
    EXPECT_EQ(out, u"\u00fc");
}

TEST(SectionName, FromGuidTextsAndTombstonesOnlyWhenTheyAreGuids) {
    EXPECT_EQ(SectionNameOfGuidText(u"a1b2c3d4-e5f6-a7b8-c9d0-e1f2a3b4c5d6"), u"d4c3b2a1f6e5b8a7c9d0e1f2a3b4c5d6");
    EXPECT_EQ(SectionNameOfGuidText(u"{A1B2C3D4-E5F6-A7B8-C9D0-E1F2A3B4C5D6}"), u"D4C3B2A1F6E5B8A7C9D0E1F2A3B4C5D6");
    for (const char16_t* bad : {u"", u"a1b2c3d4-e5f6-a7b8-c9d0-e1f2a3b4c5d", u"a1b2c3d4e5f6-a7b8-c9d0-e1f2a3b4c5d6-",
                                u"a1b2c3d4-e5f6-a7b8-c9d0-e1f2a3b4c5dx", u"a1b2c3d4-e5f6-a7b8-c9d0-e1f2a3b4c5d6,CN=x",
                                u"{a1b2c3d4-e5f6-a7b8-c9d0-e1f2a3b4c5d6"})
        EXPECT_EQ(SectionNameOfGuidText(bad), u"") << narrow(bad);

    const std::u16string guid = u"6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f";
    const std::u16string section = u"5e4a1f6c1c1b574c9d2e0a1b2c3d4e5f";
    EXPECT_EQ(SectionNameOfTombstone(u"CN=Ann\\0ADEL:" + guid + u",CN=Deleted Objects,DC=x"), section);
    // A name that held "DEL:" itself: the GUID follows the last one.
    EXPECT_EQ(SectionNameOfTombstone(u"OU=Outer DEL:1234\\0ADEL:" + guid + u",CN=Deleted Objects,DC=x"), section);
    EXPECT_EQ(SectionNameOfTombstone(u"CN=Smith\\, DEL:x\\0ADEL:" + guid + u",CN=Deleted Objects,DC=x"), section);
    // No escaped line feed in the first relative name: not a tombstone.
    EXPECT_EQ(SectionNameOfTombstone(u"CN=Ann DEL:" + guid + u",CN=Deleted Objects,DC=x"), u"");
    EXPECT_EQ(SectionNameOfTombstone(u"CN=Ann\\\\0ADEL:" + guid + u",DC=x"), u"");
    EXPECT_EQ(SectionNameOfTombstone(u"CN=Ann,OU=Old\\0ADEL:" + guid + u",DC=x"), u"");
    EXPECT_EQ(SectionNameOfTombstone(u"CN=Ann\\0ADEL:not-a-guid,CN=Deleted Objects,DC=x"), u"");
    EXPECT_TRUE(IsSectionName(section));
    EXPECT_FALSE(IsSectionName(section.substr(1)));
}

TEST(ValueLine, EachValueTypeHasItsTypeNumberAndEncoding) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    struct Row {
        const char* what;
        VARIANT value;
        std::string expected;
    };
    std::vector<Row> rows;
    rows.push_back({"string", text(u"Ada"), "a=8\t\"" + hex(u"Ada") + "\"\r\n"});
    rows.push_back({"empty string", text(u""), "a=8\t\"\"\r\n"});
    rows.push_back({"date, plain text", scalar(VT_DATE, 38053586), "a=7\t\"03/07/2004 14:03:50\"\r\n"});
    rows.push_back({"true", scalar(VT_BOOL, 1), "a=11\t\"" + hex(u"True") + "\"\r\n"});
    rows.push_back({"false", scalar(VT_BOOL, 0), "a=11\t\"" + hex(u"False") + "\"\r\n"});
    rows.push_back({"integer", scalar(VT_I4, -512), "a=3\t\"" + hex(u"-512") + "\"\r\n"});
    rows.push_back({"large integer, maximum", largeInteger(9223372036854775807LL),
                    "a=8\t\"" + hex(u"9223372036854775807") + "\"\r\n"});
    rows.push_back({"large integer, negative interval", largeInteger(-6000000000LL),
                    "a=8\t\"" + hex(u"-6000000000") + "\"\r\n"});
    rows.push_back({"octet string", bytes({0x01, 0xAB, 0x00}), "a=8209\t\"01AB00\"\r\n"});
    rows.push_back({"empty octet string", bytes({}), "a=8209\t\"\"\r\n"});
    VARIANT unreadable;
    unreadable.vt = VT_ARRAY | VT_UI1;
    unreadable.parray = nullptr;
    rows.push_back({"unreadable octets", unreadable, "a=8209\t\"array of unsigned characters\"\r\n"});
    rows.push_back({"strings", array(VT_BSTR, {text(u"x"), text(u"y")}),
                    "a_1=8200\t\"" + hex(u"x") + "\"\r\na_2=8200\t\"" + hex(u"y") + "\"\r\n"});
    // Elements that cannot be converted use up no number.
    VARIANT nothing;
    VariantInit(&nothing);
    nothing.vt = VT_UNKNOWN;
    nothing.punkVal = nullptr;
    rows.push_back({"variants", array(VT_VARIANT, {text(u"one"), nothing, scalar(VT_BOOL, 1), bytes({0xFF}),
                                                   scalar(VT_I4, 7), largeInteger(-1), scalar(VT_DATE, 1500)}),
                    "a_1=8204\t\"" + hex(u"one") + "\"\r\na_2=8204\t\"" + hex(u"True") + "\"\r\na_3=8204\t\"FF\"\r\n" +
                        "a_4=8204\t\"" + hex(u"7") + "\"\r\na_5=8204\t\"" + hex(u"-1") +
                        "\"\r\na_6=8204\t\"12/31/1899 12:00:00\"\r\n"});
    rows.push_back({"array of another type", array(VT_I4, {}), ""});
    rows.push_back({"empty", scalar(VT_EMPTY, 0), ""});
    ComPtr<IDispatch> notLarge;
    ASSERT_EQ(CoCreateInstance(CLSID_Pathname, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, notLarge.putVoid()), S_OK);
    VARIANT object;
    object.vt = VT_DISPATCH;
    object.pdispVal = notLarge.detach();
    rows.push_back({"object without IADsLargeInteger", object, ""});
    for (Row& row : rows) {
        EXPECT_EQ(narrow(FormatValueLine(u"a", row.value)), row.expected) << row.what;
        VariantClear(&row.value);
    }
    CoUninitialize();
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

TEST(BackupInfFile, HeaderInfoAndSectionsByteForByte) {
    TempDirectory dir;
    std::u16string path = dir.Path("{GUID}.inf");
    SYSTEMTIME when{};
    when.wYear = 2026, when.wMonth = 3, when.wDay = 7, when.wHour = 4, when.wMinute = 5, when.wSecond = 9;
    BackupInfFile file;
    ASSERT_TRUE(file.Create(path));
    // A record of the listing carries a bare DN; characters the file's code page lacks (an
    // unpaired surrogate) become "?", and nothing can start a line of its own.
    std::u16string origin = u"LDAP://OU=B\u00fcro \xD800\r\n[forged],DC=x";
    file.WriteHeader(when, origin);
    file.BeginSection(u"00112233445566778899aabbccddeeff");
    file.WriteLines(u"cn=8\t\"41006E006E00\"\r\n");
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(file.SectionCount(), 1u);
    EXPECT_EQ(readBytes(dir.path() / "{GUID}.inf"),
              "[Version]\r\nSignature=\"$Windows NT$\"\r\nLayoutFile=layout.inf\r\nProvider=\"Tarvo Software\"\r\n"
              "ClassGUID={ED39F520-9EA3-4c8b-AA07-BA95A75DEA65}\r\nClass=Revivo_Backup\r\n\r\n"
              "[Backup Info]\r\nDateTime=\"2026-03-07 04:05:09\"\r\nOrigin=\"OU=B\xc3\xbcro ???[forged],DC=x\"\r\n"
              "\r\n[00112233445566778899aabbccddeeff]\r\ncn=8\t\"41006E006E00\"\r\n");
    EXPECT_EQ(OriginText(u"OU=x,DC=y"), u"OU=x,DC=y");
    EXPECT_EQ(OriginText(u"ldap://OU=x"), u"OU=x");
    EXPECT_EQ(OriginText(u""), u"");

    // An existing file is not overwritten.
    BackupInfFile again;
    EXPECT_FALSE(again.Create(path));
    EXPECT_EQ(again.Error(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

// Packed as it is written, the file is the member of its archive, byte for byte what the
// plain file holds; one discarded, or one whose archive cannot be written, leaves nothing.
TEST(BackupInfFile, PackedAsWrittenOrNotAtAll) {
    TempDirectory dir;
    SYSTEMTIME when{};
    when.wYear = 2026, when.wMonth = 3, when.wDay = 7;
    auto fill = [&](BackupInfFile& file, int sections) {
        file.WriteHeader(when, u"OU=B\u00fcro,DC=x");
        for (int i = 0; i < sections; ++i) {
            file.BeginSection(u"00112233445566778899aabbccddee" + lumivel::FromUtf8(std::to_string(i % 100)));
            file.WriteLines(u"description=8\t\"" + EncodeTextHex(u"Caf\u00e9 " + lumivel::FromUtf8(std::to_string(i))) +
                            u"\"\r\nname=8\t\"B\u00fcro\"\r\n");
        }
    };
    BackupInfFile plain, packed;
    ASSERT_TRUE(plain.Create(dir.Path("plain.inf")));
    ASSERT_TRUE(packed.CreatePacked(dir.Path("{GUID}.zip"), u"{GUID}.inf"));
    fill(plain, 20000);
    fill(packed, 20000);
    ASSERT_TRUE(plain.Close());
    ASSERT_TRUE(packed.Close());
    EXPECT_EQ(packed.SectionCount(), 20000u);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "{GUID}.inf"));
    std::filesystem::create_directories(dir.path() / "out");
    ASSERT_EQ(ExtractInfFiles(dir.Path("{GUID}.zip").c_str(), dir.Path("out").c_str()), 0);
    EXPECT_TRUE(readBytes(dir.path() / "out" / "{GUID}.inf") == readBytes(dir.path() / "plain.inf"));

    BackupInfFile discarded;
    ASSERT_TRUE(discarded.CreatePacked(dir.Path("discarded.zip"), u"discarded.inf"));
    fill(discarded, 5000);
    discarded.Discard();
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "discarded.zip"));
    EXPECT_FALSE(discarded.Close());

    // The file size limit fails the packing thread's writes the way a full disk does.
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    BackupInfFile full;
    ASSERT_TRUE(full.CreatePacked(dir.Path("full.zip"), u"full.inf"));
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    full.WriteHeader(when, u"DC=x");
    for (int i = 0; i < 20000; ++i) {
        full.BeginSection(EncodeTextHex(lumivel::FromUtf8(std::to_string(i * 7919))));
        full.WriteLines(u"objectGUID=8209\t\"" + EncodeTextHex(lumivel::FromUtf8(std::to_string(i * 104729))) + u"\"\r\n");
    }
    bool closed = full.Close();
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(closed);
    EXPECT_NE(full.Error(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "full.zip"));

    // An archive already there is left alone.
    BackupInfFile again;
    EXPECT_FALSE(again.CreatePacked(dir.Path("{GUID}.zip"), u"{GUID}.inf"));
    EXPECT_EQ(again.Error(), static_cast<DWORD>(ERROR_FILE_EXISTS));
}

TEST(BackupInfFile, AFailingWriteIsReportedAtTheClose) {
    TempDirectory dir;
    // The file size limit makes the writes fail the way a full disk does.
    signal(SIGXFSZ, SIG_IGN);
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    BackupInfFile file;
    ASSERT_TRUE(file.Create(dir.Path("big.inf")));
    rlimit small = previous;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    SYSTEMTIME when{};
    file.WriteHeader(when, u"DC=x");
    for (int i = 0; i < 2000; ++i) {
        file.BeginSection(u"00112233445566778899aabbccddeeff");
        file.WriteLines(u"description=8\t\"" + std::u16string(200, u'A') + u"\"\r\n");
    }
    bool closed = file.Close();
    setrlimit(RLIMIT_FSIZE, &previous);
    EXPECT_FALSE(closed);
    EXPECT_NE(file.Error(), static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace
}  // namespace revivo
