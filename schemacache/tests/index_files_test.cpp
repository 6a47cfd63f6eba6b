#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "schemacache/index_format.h"
#include "schemacache/index_freshness.h"
#include "schemacache/index_reader.h"
#include "schemacache/index_writer.h"
#include "schemacache/tests/index_test_support.h"
#include "shared/directory_operations.h"
#include "win/datetime.h"
#include "win/files.h"
#include "win/threads.h"

namespace glossar {
namespace {

using testing::DirectoryOf;
using testing::ReadBytes;
using testing::TemporaryDirectory;
using testing::Utf16;
using testing::WriteBytes;

const std::u16string kGuid = u"{BF967ABA-0DE6-11D0-A285-00AA003049E2}";

std::vector<SchemaEntry> LoadClasses(const TemporaryDirectory& folder) {
    std::vector<SchemaEntry> entries;
    LoadClassIndex(DirectoryOf(folder), &entries);
    return entries;
}

void WriteClassFile(const TemporaryDirectory& folder, std::u16string_view text, bool byteOrderMark = true) {
    WriteBytes(folder.path() + "/ClassIndex.txt", Utf16(text, byteOrderMark));
}

TEST(IndexFiles, BothLayoutsWrittenAndReadBack) {
    TemporaryDirectory folder;
    const std::vector<std::u16string> classes = {
        *FormatClassRecord({u"CN=User", u"user", u"User", kGuid, false, u"/opt/icons.so", -4100}),
        *FormatClassRecord({u"CN=Container", u"container", u"Container", u"{BF967A8B-0DE6-11D0-A285-00AA003049E2}",
                            true, u"", 0}),
        *FormatClassRecord({u"CN=Organizational-Unit", u"organizationalUnit", u"Organizational Unit",
                            u"{BF967AA5-0DE6-11D0-A285-00AA003049E2}", true, u"C:\\icons.dll", 7}),
    };
    EXPECT_EQ(classes[0], u"CN=User|user|User|" + kGuid + u"|0|/opt/icons.so|4100");
    EXPECT_EQ(classes[1], u"CN=Container|container|Container|{BF967A8B-0DE6-11D0-A285-00AA003049E2}|1||");
    const std::vector<std::u16string> attributes = {
        *FormatAttributeRecord(u"CN=Change-Password", u"Change Password", u"{ab721a53-1e2f-11d0-9819-00aa0040529b}"),
        *FormatAttributeRecord(u"CN=Common-Name", u"cn", u"{BF96793F-0DE6-11D0-A285-00AA003049E2}"),
    };

    IndexFileWriter writer(DirectoryOf(folder));
    ASSERT_TRUE(writer.stage(kClassIndexFile, classes));
    ASSERT_TRUE(writer.stage(kAttributeIndexFile, attributes));
    ASSERT_TRUE(writer.commit());

    // FF FE, CR LF between records, nothing after the last.
    const auto bytes = ReadBytes(folder.path() + "/AttributeIndex.txt");
    EXPECT_EQ(bytes, Utf16(attributes[0] + u"\r\n" + attributes[1]));

    const auto read = LoadClasses(folder);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[0].relativeName, u"CN=User");
    EXPECT_EQ(read[0].ldapDisplayName, u"user");
    EXPECT_EQ(read[0].friendlyName, u"User");
    EXPECT_EQ(read[0].guid, kGuid);
    EXPECT_EQ(read[0].container, 0);
    EXPECT_EQ(read[0].iconModule, u"/opt/icons.so");
    EXPECT_EQ(read[0].iconIndex, 4100);
    EXPECT_EQ(read[1].container, 1);
    EXPECT_EQ(read[1].iconModule, u"");
    EXPECT_EQ(read[1].iconIndex, 0);
    EXPECT_EQ(read[2].iconModule, u"C:\\icons.dll");
    EXPECT_EQ(read[2].iconIndex, 7);

    std::vector<SchemaEntry> rights;
    ASSERT_TRUE(LoadAttributeIndex(DirectoryOf(folder), &rights));
    ASSERT_EQ(rights.size(), 2u);
    EXPECT_EQ(rights[0].ldapDisplayName, u"Change Password");
    EXPECT_EQ(rights[0].guid, u"{ab721a53-1e2f-11d0-9819-00aa0040529b}");
    EXPECT_EQ(rights[1].relativeName, u"CN=Common-Name");
    EXPECT_EQ(rights[1].container, 0);
    EXPECT_EQ(rights[1].iconIndex, 0);
}

TEST(IndexFiles, FieldsThatWouldBreakTheRecordAreRefused) {
    EXPECT_FALSE(FormatAttributeRecord(u"CN=A", u"Read|Write", kGuid));
    EXPECT_FALSE(FormatAttributeRecord(u"CN=A\r\nCN=Forged|x|{0}", u"a", kGuid));
    EXPECT_FALSE(FormatClassRecord({u"CN=A", u"a", u"Line\nbreak", kGuid, false, u"", 0}));
    EXPECT_FALSE(FormatClassRecord({u"CN=A", u"a", u"A", kGuid, false, u"/icons|x.so", 3}));
    // An icon path without an icon is not written, so it cannot spoil the record.
    EXPECT_TRUE(FormatClassRecord({u"CN=A", u"a", u"A", kGuid, false, u"/icons|x.so", 0}));
    // The sign of the id is dropped, also for the smallest id.
    EXPECT_EQ(*FormatClassRecord({u"CN=A", u"a", u"A", kGuid, false, u"m", -2147483648LL}),
              u"CN=A|a|A|" + kGuid + u"|0|m|2147483648");
}

TEST(IndexFiles, ReaderTakesEveryRecordWhole) {
    TemporaryDirectory folder;
    const std::u16string longName(1500, u'x');
    const std::u16string text = u"CN=A|a|A|" + kGuid + u"|1||\r\n" +                     // container, no icon
                                u"CN=Long|long|" + longName + u"|" + kGuid + u"|0||\r\n" +  // 1,500 units and more
                                u"\r\n" +                                                    // empty: skipped
                                u"CN=Cr|c\rr|Cr|" + kGuid + u"|0|/m.so|\r\n" +               // lone CR stays
                                u"CN=Last|last|Last|" + kGuid + u"|0|/m.so|12x";             // no CR LF at the end
    WriteClassFile(folder, text);
    const auto read = LoadClasses(folder);
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(read[0].container, 1);
    EXPECT_EQ(read[1].friendlyName, longName);
    EXPECT_EQ(read[2].ldapDisplayName, u"c\rr");
    EXPECT_EQ(read[2].iconModule, u"/m.so");
    EXPECT_EQ(read[2].iconIndex, 0);
    EXPECT_EQ(read[3].ldapDisplayName, u"last");
    EXPECT_EQ(read[3].iconIndex, 12);
}

TEST(IndexFiles, ReaderCopesWithAnOddByteCountAndAMissingByteOrderMark) {
    TemporaryDirectory folder;
    const std::u16string record = u"CN=Person|person|Person|" + kGuid + u"|0||";
    auto bytes = Utf16(record + u"\r\n" + record);
    bytes.push_back(0x41);
    WriteBytes(folder.path() + "/ClassIndex.txt", bytes);
    auto read = LoadClasses(folder);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[1].relativeName, u"CN=Person");

    // Without a byte-order mark the first record keeps its first character.
    WriteClassFile(folder, record, false);
    read = LoadClasses(folder);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].relativeName, u"CN=Person");
}

TEST(IndexFiles, MalformedRecordsAreDroppedAndReadingGoesOn) {
    TemporaryDirectory folder;
    const std::u16string lines[] = {
        u"CN=Six|six|Six|" + kGuid + u"|0|",                  // six fields
        u"CN=Eight|eight|Ei|ght|" + kGuid + u"|0||",          // a "|" inside a name
        u"|noname|No name|" + kGuid + u"|0||",                // empty relative name
        u"CN=NoFriendly|nofriendly||" + kGuid + u"|0||",      // empty friendly name
        u"CN=NoGuid|noguid|No Guid||1||",                     // empty GUID
        u"CN=Good|good|Good|" + kGuid + u"|TRUE|/m.so|-3",    // only "1" makes a container
    };
    std::u16string text;
    for (const auto& line : lines) text += line + u"\r\n";
    WriteClassFile(folder, text);
    const auto read = LoadClasses(folder);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].ldapDisplayName, u"good");
    EXPECT_EQ(read[0].container, 0);
    EXPECT_EQ(read[0].iconIndex, -3);

    WriteBytes(folder.path() + "/AttributeIndex.txt",
               Utf16(u"CN=Right||{00000000-0000-0000-0000-000000000001}\r\nCN=Two|two\r\nCN=Cn|cn|" + kGuid));
    std::vector<SchemaEntry> attributes;
    ASSERT_TRUE(LoadAttributeIndex(DirectoryOf(folder), &attributes));
    ASSERT_EQ(attributes.size(), 1u);
    EXPECT_EQ(attributes[0].ldapDisplayName, u"cn");
}

TEST(IndexFiles, MissingAndEmptyFiles) {
    TemporaryDirectory folder;
    std::vector<SchemaEntry> entries;
    EXPECT_TRUE(LoadClasses(folder).empty());
    EXPECT_FALSE(LoadAttributeIndex(DirectoryOf(folder), &entries));
    WriteBytes(folder.path() + "/AttributeIndex.txt", {});
    EXPECT_FALSE(LoadAttributeIndex(DirectoryOf(folder), &entries));
    // Only the byte-order mark: a file of two bytes, loaded with nothing in it.
    WriteBytes(folder.path() + "/AttributeIndex.txt", {0xFF, 0xFE});
    EXPECT_TRUE(LoadAttributeIndex(DirectoryOf(folder), &entries));
    EXPECT_TRUE(entries.empty());
}

TEST(IndexFiles, IconNumbers) {
    const std::pair<std::u16string_view, LONG> cases[] = {
        {u"", 0}, {u"abc", 0}, {u"42", 42}, {u"  7", 7}, {u"12x", 12}, {u"-5", -5}, {u"+9", 9},
        {u"99999999999", 2147483647}, {u"-99999999999", -2147483647 - 1},
    };
    for (const auto& [text, number] : cases) EXPECT_EQ(ParseIconNumber(text), number) << lumivel::ToUtf8(text);
}

TEST(IndexFileWriter, OldFilesStayUntilEveryListIsWritten) {
    TemporaryDirectory folder;
    const std::u16string old = u"CN=Old|old|Old|" + kGuid + u"|0||";
    WriteClassFile(folder, old);
    {
        // A generator that dies after writing its temporaries changes nothing a reader sees.
        IndexFileWriter writer(DirectoryOf(folder));
        ASSERT_TRUE(writer.stage(kClassIndexFile, {u"CN=New|new|New|" + kGuid + u"|0||"}));
    }
    EXPECT_EQ(ReadBytes(folder.path() + "/ClassIndex.txt"), Utf16(old));
    EXPECT_EQ(testing::Listing(folder.path()), std::vector<std::string>{"ClassIndex.txt"});

    // An empty list writes no file and leaves the old one.
    IndexFileWriter empty(DirectoryOf(folder));
    EXPECT_TRUE(empty.stage(kClassIndexFile, {}));
    EXPECT_TRUE(empty.commit());
    EXPECT_EQ(ReadBytes(folder.path() + "/ClassIndex.txt"), Utf16(old));
}

TEST(IndexFileWriter, ReplacesAReadOnlyFileAndOneThatIsBeingRead) {
    TemporaryDirectory folder;
    const std::string path = folder.path() + "/ClassIndex.txt";
    std::u16string old;
    for (int i = 0; i < 5000; ++i) old += u"CN=Old|old" + std::u16string(1, char16_t(u'a' + i % 26)) + u"|Old|" + kGuid + u"|0||\r\n";
    WriteClassFile(folder, old);
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);

    // A cache that opened the old file keeps reading it whole while the new one takes its name.
    HANDLE reader = CreateFileW(lumivel::FromUtf8(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    IndexFileWriter writer(DirectoryOf(folder));
    ASSERT_TRUE(writer.stage(kClassIndexFile, {u"CN=New|new|New|" + kGuid + u"|0||"}));
    ASSERT_TRUE(writer.commit());
    std::vector<unsigned char> seen(Utf16(old).size() + 16);
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(reader, seen.data(), static_cast<DWORD>(seen.size()), &got, nullptr));
    CloseHandle(reader);
    seen.resize(got);
    EXPECT_EQ(seen, Utf16(old));

    const auto read = LoadClasses(folder);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].ldapDisplayName, u"new");
    EXPECT_EQ(testing::Listing(folder.path()), std::vector<std::string>{"ClassIndex.txt"});
}

// Index files lie under names anyone can work out: a link planted in their place is replaced,
// and what it points at keeps its content and its attributes.
TEST(IndexFileWriter, APlantedLinkIsReplacedNotWrittenThrough) {
    TemporaryDirectory folder;
    const std::string victim = folder.path() + "/victim";
    WriteBytes(victim, {'k', 'e', 'e', 'p'});
    ASSERT_EQ(chmod(victim.c_str(), 0444), 0);
    const std::string path = folder.path() + "/ClassIndex.txt";
    ASSERT_EQ(symlink(victim.c_str(), path.c_str()), 0);

    IndexFileWriter writer(DirectoryOf(folder));
    ASSERT_TRUE(writer.stage(kClassIndexFile, {u"CN=New|new|New|" + kGuid + u"|0||"}));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(ReadBytes(victim), (std::vector<unsigned char>{'k', 'e', 'e', 'p'}));
    struct stat st {};
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0644u) << "readable by every user of the index";
    ASSERT_EQ(LoadClasses(folder).size(), 1u);
}

TEST(IndexFileWriter, TheDirectoryIsAPrefixOfTheFileNames) {
    TemporaryDirectory folder;
    // "dir" without its separator: the files land beside it, their names run together with it.
    IndexFileWriter writer(folder.wide("out"));
    ASSERT_TRUE(writer.stage(kAttributeIndexFile, {u"CN=Cn|cn|" + kGuid}));
    ASSERT_TRUE(writer.commit());
    EXPECT_EQ(testing::Listing(folder.path()), std::vector<std::string>{"outAttributeIndex.txt"});

    // A directory that does not exist: nothing is written and nothing is left behind.
    IndexFileWriter missing(folder.wide("missing") + u"/");
    EXPECT_FALSE(missing.stage(kAttributeIndexFile, {u"CN=Cn|cn|" + kGuid}));
}

FILETIME LastWrite(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExW(lumivel::FromUtf8(path).c_str(), GetFileExInfoStandard, &data);
    return data.ftLastWriteTime;
}

FILETIME Shifted(FILETIME time, long long seconds) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    value.QuadPart += static_cast<ULONGLONG>(seconds * 10000000LL);
    return FILETIME{value.LowPart, value.HighPart};
}

TEST(IndexFreshness, StaleMissingAndEmptyFiles) {
    TemporaryDirectory folder;
    const std::u16string directory = DirectoryOf(folder);
    const FILETIME never{};
    EXPECT_FALSE(ClassIndexIsStale(directory, never));
    EXPECT_TRUE(IndexNeedsRebuild(directory, never));

    WriteClassFile(folder, u"CN=A|a|A|" + kGuid + u"|0||");
    WriteBytes(folder.path() + "/AttributeIndex.txt", Utf16(u"CN=Cn|cn|" + kGuid));
    const FILETIME written = LastWrite(folder.path() + "/ClassIndex.txt");
    EXPECT_FALSE(ClassIndexIsStale(directory, never));
    EXPECT_FALSE(ClassIndexIsStale(directory, Shifted(written, -60)));
    EXPECT_TRUE(ClassIndexIsStale(directory, Shifted(written, 60)));
    EXPECT_FALSE(IndexNeedsRebuild(directory, Shifted(written, -60)));
    EXPECT_TRUE(IndexNeedsRebuild(directory, Shifted(written, 60)));

    // A file a cache is reading at this moment is still present.
    HANDLE reader = CreateFileW(folder.wide("AttributeIndex.txt").c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0,
                                nullptr);
    EXPECT_TRUE(IndexFilePresent(directory, kAttributeIndexFile));
    CloseHandle(reader);

    WriteBytes(folder.path() + "/AttributeIndex.txt", {});
    EXPECT_FALSE(IndexFilePresent(directory, kAttributeIndexFile));
    EXPECT_TRUE(IndexNeedsRebuild(directory, never));
    WriteBytes(folder.path() + "/AttributeIndex.txt", Utf16(u"CN=Cn|cn|" + kGuid));
    WriteBytes(folder.path() + "/ClassIndex.txt", {});
    EXPECT_TRUE(ClassIndexIsStale(directory, never));
}

// The generator and the cache bind schema DNs through the shared paths.
TEST(IndexFreshness, PathsOfDistinguishedNames) {
    auto LdapPathOf = [](std::u16string_view dn) { return lumivel::shared::LdapPathOfDn(u"", dn); };
    EXPECT_EQ(LdapPathOf(u"CN=Schema,CN=Configuration,DC=x"), u"LDAP://CN=Schema,CN=Configuration,DC=x");
    // A slash would otherwise make the DN's head a server name.
    EXPECT_EQ(LdapPathOf(u"CN=Schema,DC=evil.example/DC=x"), u"LDAP://CN=Schema,DC=evil.example\\/DC=x");
    EXPECT_EQ(LdapPathOf(u"CN=a\\,b\\\\/c"), u"LDAP://CN=a\\,b\\\\\\/c");
}

}  // namespace
}  // namespace glossar
