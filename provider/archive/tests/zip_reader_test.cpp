#include "provider/archive/zip_reader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <optional>
#include <vector>

#include "provider/archive/member_pattern.h"
#include "provider/archive/tests/memory_streams.h"
#include "provider/archive/zip_writer.h"

namespace revivo::zip {
namespace {

using testing::MemoryInput;
using testing::MemoryOutput;
using testing::MemorySource;
using testing::StringSink;

// Text that looks like a backup: long lines of text hex.
std::string BackupText(size_t bytes) {
    std::string text = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";
    for (unsigned line = 0; text.size() < bytes; ++line) {
        text += "description_" + std::to_string(line) + "=8\t\"";
        for (unsigned i = 0; i < 300; ++i) text += "00" + std::string(1, "456789ABCDEF"[(line * 31 + i * 7) % 12]) + "6";
        text += "\"\r\n";
    }
    text.resize(bytes);
    return text;
}

struct Member {
    std::string name;
    std::string data;
};

std::string MakeArchive(const std::vector<Member>& members, int level) {
    MemoryOutput output;
    ZipWriter writer(output, level);
    for (const Member& member : members) {
        MemoryInput input(member.data);
        EXPECT_EQ(writer.AddMember(member.name, input, MakeDosTimestamp(2026, 12, 8, 13, 45, 31)), Status::Ok);
    }
    EXPECT_EQ(writer.Finish(), Status::Ok);
    return output.m_bytes;
}

std::optional<std::string> ExtractOnly(const std::string& archive, Status* status = nullptr) {
    MemorySource source(archive);
    ZipReader reader(source);
    Status opened = reader.Open();
    if (status) *status = opened;
    if (opened != Status::Ok || reader.Entries().size() != 1) return std::nullopt;
    StringSink sink;
    Status extracted = reader.Extract(reader.Entries()[0], sink);
    if (status) *status = extracted;
    if (extracted != Status::Ok) return std::nullopt;
    return sink.m_bytes;
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
void Put16(std::string& bytes, size_t at, uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}
size_t CentralAt(const std::string& archive) { return archive.rfind("PK\x01\x02"); }
size_t EndAt(const std::string& archive) { return archive.rfind("PK\x05\x06"); }

TEST(ZipFormat, WhatIsWrittenReadsBackAtEveryLevel) {
    const std::vector<Member> members = {
        {"empty.inf", ""},
        {"small.inf", "[Version]\r\n"},
        {"{0A1B2C3D-0000-4000-8000-00000000ABCD}.inf", BackupText(3 << 20)},
        {"caf\xc3\xa9 \xe4\xb8\xad.inf", std::string(70000, 'x')},
    };
    for (int level : {0, 1, 5, 9}) {
        SCOPED_TRACE(level);
        std::string archive = MakeArchive(members, level);
        MemorySource source(archive);
        ZipReader reader(source);
        ASSERT_EQ(reader.Open(), Status::Ok);
        ASSERT_EQ(reader.Entries().size(), members.size());
        for (size_t i = 0; i < members.size(); ++i) {
            const ZipEntry& entry = reader.Entries()[i];
            EXPECT_EQ(entry.name, members[i].name);
            EXPECT_EQ((entry.flags & kFlagUtf8Name) != 0, i == 3);
            EXPECT_EQ(entry.method, level == 0 ? kMethodStored : kMethodDeflated);
            EXPECT_EQ(entry.dosDate, ((2026 - 1980) << 9) | (12 << 5) | 8);
            EXPECT_EQ(entry.dosTime, (13 << 11) | (45 << 5) | 15);
            StringSink sink;
            ASSERT_EQ(reader.Extract(entry, sink), Status::Ok);
            EXPECT_TRUE(sink.m_bytes == members[i].data) << entry.name;
        }
        if (level == 5) {
            EXPECT_LT(archive.size(), (3u << 20) / 4);  // hex text compresses well
        }
    }
}

TEST(ZipFormat, EveryTruncationIsRefused) {
    std::string archive = MakeArchive({{"a.inf", BackupText(5000)}}, 5);
    for (size_t length = 0; length < archive.size(); ++length) {
        MemorySource source(archive.substr(0, length));
        ZipReader reader(source);
        EXPECT_NE(reader.Open(), Status::Ok) << length;
    }
}

// Tampered archives: each must fail with the given status, never deliver wrong bytes.
TEST(ZipFormat, TamperedArchivesAreRefused) {
    const std::string data = BackupText(20000);
    struct Case {
        const char* what;
        int level;
        void (*tamper)(std::string&);
        Status expected;
        Status alternative = Status::Ok;
    };
    const Case cases[] = {
        {"stored byte flipped", 0, [](std::string& a) { a[40] ^= 1; }, Status::CrcMismatch},
        // A damaged deflate stream either breaks or inflates to other bytes.
        {"deflated byte flipped", 5, [](std::string& a) { a[CentralAt(a) - 10] ^= 0x55; }, Status::Corrupt,
         Status::CrcMismatch},
        {"crc changed", 5, [](std::string& a) { a[CentralAt(a) + 16] ^= 1; }, Status::CrcMismatch},
        {"absurd uncompressed size", 5, [](std::string& a) { Put32(a, CentralAt(a) + 24, 0x7FFFFFF0); }, Status::Corrupt},
        {"one byte more declared", 5,
         [](std::string& a) { Put32(a, CentralAt(a) + 24, 20001); }, Status::Corrupt},
        {"one byte less declared", 5,
         [](std::string& a) { Put32(a, CentralAt(a) + 24, 19999); }, Status::Corrupt},
        {"stored sizes disagree", 0, [](std::string& a) { Put32(a, CentralAt(a) + 24, 19999); }, Status::Corrupt},
        {"compressed size past the directory", 5,
         [](std::string& a) { Put32(a, CentralAt(a) + 20, 0x00100000); }, Status::Corrupt},
        {"local header offset past the directory", 5,
         [](std::string& a) { Put32(a, CentralAt(a) + 42, static_cast<uint32_t>(CentralAt(a))); }, Status::Corrupt},
        {"local name differs", 5, [](std::string& a) { a[30] = 'b'; }, Status::Corrupt},
        {"local signature broken", 5, [](std::string& a) { a[0] = 'X'; }, Status::Corrupt},
        {"central signature broken", 5, [](std::string& a) { a[CentralAt(a)] = 'X'; }, Status::Corrupt},
        {"entry count too high", 5, [](std::string& a) { Put16(a, EndAt(a) + 10, 2), Put16(a, EndAt(a) + 8, 2); },
         Status::Corrupt},
        {"directory size beyond the end record", 5, [](std::string& a) { Put32(a, EndAt(a) + 12, 0x10000); },
         Status::Corrupt},
        {"zip64 entry count", 5, [](std::string& a) { Put16(a, EndAt(a) + 10, 0xFFFF); }, Status::Unsupported},
        {"zip64 sizes", 5, [](std::string& a) { Put32(a, CentralAt(a) + 20, 0xFFFFFFFF); }, Status::Unsupported},
        {"zip64 locator", 5, [](std::string& a) { a.insert(EndAt(a), std::string("PK\x06\x07", 4) + std::string(16, '\0')); },
         Status::Unsupported},
        {"second volume", 5, [](std::string& a) { Put16(a, EndAt(a) + 4, 1); }, Status::Unsupported},
        {"encrypted flag", 5, [](std::string& a) { a[CentralAt(a) + 8] |= 1; }, Status::Encrypted},
        {"bzip2 method", 5, [](std::string& a) { Put16(a, CentralAt(a) + 10, 12), Put16(a, 8, 12); }, Status::Unsupported},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.what);
        std::string archive = MakeArchive({{"a.inf", data}}, testCase.level);
        testCase.tamper(archive);
        Status status = Status::Ok;
        std::optional<std::string> extracted = ExtractOnly(archive, &status);
        EXPECT_FALSE(extracted.has_value());
        if (status != testCase.alternative || status == Status::Ok) {
            EXPECT_EQ(status, testCase.expected);
        }
    }
}

TEST(ZipFormat, MembersSharingTheirDataAreRefused) {
    // Many central entries pointing at one compressed block would unpack far more than the
    // archive holds.
    std::string archive = MakeArchive({{"a.inf", std::string(100000, 'a')}, {"b.inf", "b"}}, 5);
    size_t second = archive.rfind("PK\x01\x02");
    Put32(archive, second + 42, 0);
    MemorySource source(archive);
    ZipReader reader(source);
    EXPECT_EQ(reader.Open(), Status::Corrupt);
}

// A local header's extra field can move a member's data onto the next member's: both would
// then unpack the same bytes, and a chain of such members multiplies a small archive.
TEST(ZipFormat, MembersReachingIntoTheNextMemberAreRefused) {
    const std::string payload = BackupText(4000);
    std::string archive = MakeArchive({{"a.inf", payload}, {"b.inf", payload}}, 0);
    const size_t second = kLocalHeaderSize + 5 + payload.size();
    ASSERT_EQ(ReadLe32(reinterpret_cast<const unsigned char*>(archive.data()) + second), kLocalHeaderSignature);
    Put16(archive, 28, static_cast<uint16_t>(second));  // a.inf's data now starts where b.inf's does
    MemorySource source(archive);
    ZipReader reader(source);
    ASSERT_EQ(reader.Open(), Status::Ok);
    StringSink sink;
    EXPECT_EQ(reader.Extract(reader.Entries()[0], sink), Status::Corrupt);
    StringSink intact;
    EXPECT_EQ(reader.Extract(reader.Entries()[1], intact), Status::Ok);
    EXPECT_TRUE(intact.m_bytes == payload);
}

// Runs of one character inflate to more than a whole output buffer from the last few input
// bytes; such members must still read back.
TEST(ZipFormat, CompressibleMembersAroundTheBufferSizeReadBack) {
    constexpr size_t kBuffer = 256 * 1024;
    for (size_t size : {kBuffer - 1, kBuffer, kBuffer + 1, kBuffer + 21, kBuffer + 259, 2 * kBuffer + 100}) {
        for (char fill : {'a', '0'}) {
            for (int level : {1, 5, 9}) {
                SCOPED_TRACE(::testing::Message() << size << " x '" << fill << "' at level " << level);
                std::string data(size, fill);
                EXPECT_EQ(ExtractOnly(MakeArchive({{"a.inf", data}}, level)), std::optional<std::string>(data));
            }
        }
    }
}

TEST(ZipFormat, DataInFrontOfTheArchiveIsSkipped) {
    std::string archive = std::string(1000, '#') + MakeArchive({{"a.inf", "payload"}}, 5);
    EXPECT_EQ(ExtractOnly(archive), std::optional<std::string>("payload"));
    std::string commented = MakeArchive({{"a.inf", "payload"}}, 5);
    Put16(commented, commented.size() - 2, 5);
    EXPECT_EQ(ExtractOnly(commented + "hello"), std::optional<std::string>("payload"));
}

TEST(ZipFormat, BareNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"a.inf", "a.inf"},
        {"dir/sub/a.inf", "a.inf"},
        {"..\\..\\x.inf", "x.inf"},
        {"../../../etc/y.inf", "y.inf"},
        {"/etc/z.inf", "z.inf"},
        {"C:\\Windows\\w.inf", "w.inf"},
        {"C:v.inf", "v.inf"},
        {"caf\xc3\xa9.inf", "caf\xc3\xa9.inf"},
        {"dir/", nullptr},
        {"", nullptr},
        {".", nullptr},
        {"..", nullptr},
        {"a/..", nullptr},
        {"a\\.", nullptr},
        {"bad\x01.inf", nullptr},
        {"tab\t.inf", nullptr},
        {"line\n.inf", nullptr},
        {"del\x7f.inf", nullptr},
        {"bad\xff.inf", nullptr},
    };
    for (const auto& [name, bare] : cases) {
        std::optional<std::string> got = SafeBareName(name);
        if (bare) {
            EXPECT_EQ(got, std::optional<std::string>(bare)) << name;
        } else {
            EXPECT_FALSE(got.has_value()) << name;
        }
    }
    EXPECT_FALSE(SafeBareName(std::string(256, 'a')).has_value());
    EXPECT_TRUE(SafeBareName(std::string(255, 'a')).has_value());
}

TEST(ZipFormat, NamesWithoutTheUtf8FlagAreDecoded) {
    EXPECT_EQ(Cp437ToUtf8("\x80\x81\xe1 A"), "\xc3\x87\xc3\xbc\xc3\x9f A");
    // Info-ZIP's Unicode path field wins while its CRC matches the stored name.
    std::string archive = MakeArchive({{"x_.inf", "1"}}, 5);
    size_t central = CentralAt(archive);
    std::string unicodeName = "x\xc3\xa9.inf";
    std::string extra;
    AppendLe16(extra, kExtraUnicodePath);
    AppendLe16(extra, static_cast<uint16_t>(5 + unicodeName.size()));
    extra.push_back(1);
    AppendLe32(extra, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>("x_.inf"), 6)));
    extra += unicodeName;
    for (bool crcMatches : {true, false}) {
        std::string patched = archive;
        std::string field = extra;
        if (!crcMatches) field[5] ^= 1;
        Put16(patched, central + 30, static_cast<uint16_t>(field.size()));
        patched.insert(central + kCentralHeaderSize + 6, field);
        Put32(patched, EndAt(patched) + 12, static_cast<uint32_t>(EndAt(patched) - central));
        MemorySource source(patched);
        ZipReader reader(source);
        ASSERT_EQ(reader.Open(), Status::Ok);
        EXPECT_EQ(reader.Entries()[0].name, crcMatches ? unicodeName : std::string("x_.inf"));
    }
}

TEST(ZipFormat, PatternsMatchWithoutRegardToCase) {
    const std::tuple<const char16_t*, const char16_t*, bool> cases[] = {
        {u"a.inf", u"*.inf", true},
        {u"A.INF", u"*.inf", true},
        {u"dir/sub/b.Inf", u"*.inf", true},
        {u"a.inf.bak", u"*.inf", false},
        {u"ainf", u"*.inf", false},
        {u".inf", u"*.inf", true},
        {u"a.inf", u"?.inf", true},
        {u"ab.inf", u"?.inf", false},
        {u"\u00c9T\u00c9.INF", u"\u00e9t\u00e9.inf", true},
        {u"", u"*", true},
        {u"x", u"", false},
        {u"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", u"*a*a*a*a*a*a*a*a*a*c", false},
    };
    for (const auto& [name, pattern, expected] : cases) {
        EXPECT_EQ(MatchesPattern(name, pattern), expected);
    }
}

}  // namespace
}  // namespace revivo::zip
