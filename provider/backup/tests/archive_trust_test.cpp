// Whether an archive may be believed: its local writer, the time it records, where its parent
// path points, the SIDs it is judged by, and the digest the audit log names it by.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "provider/backup/archive_digest.h"
#include "provider/backup/archive_trust.h"
#include "provider/backup/tests/test_files.h"
#include "shared/provider_interfaces.h"
#include "win/datetime.h"

namespace revivo {
namespace {

using lumivel::FileWriterInfo;

constexpr uint32_t kCaller = 1000;

FileWriterInfo owned(uint32_t uid, bool groupWritable = false, bool otherWritable = false, bool link = false) {
    FileWriterInfo info;
    info.ownerUid = uid, info.groupWritable = groupWritable, info.otherWritable = otherWritable, info.isLink = link;
    return info;
}

TEST(ArchiveTrust, ALocalArchiveAndItsFolderBelongToRootOrTheCallerAndNobodyElseWrites) {
    struct Row {
        FileWriterInfo file, folder;
        const char16_t* reasonPart;  // nullptr: trusted
    } rows[] = {
        {owned(kCaller), owned(kCaller), nullptr},
        {owned(0), owned(0), nullptr},
        {owned(kCaller), owned(0), nullptr},
        {owned(1001), owned(kCaller), u"the archive belongs to user 1001"},
        {owned(kCaller), owned(1001), u"its folder belongs to user 1001"},
        {owned(kCaller, true), owned(kCaller), u"the archive may be written by its group"},
        {owned(kCaller), owned(kCaller, false, true), u"its folder may be written by every user"},
        {owned(kCaller, false, false, true), owned(kCaller), u"symbolic link"},
    };
    for (const Row& row : rows) {
        std::u16string why = LocalWriterDistrust(row.file, row.folder, kCaller);
        if (!row.reasonPart)
            EXPECT_TRUE(why.empty()) << lumivel::ToUtf8(why);
        else
            EXPECT_NE(why.find(row.reasonPart), std::u16string::npos) << lumivel::ToUtf8(why);
    }
}

TEST(ArchiveTrust, TheFileSystemsOwnerAndModeAreWhatIsJudged) {
    testing::TempDirectory dir;
    std::u16string archive = dir.Write("{A}.zip", "PK");
    ::chmod(lumivel::ToUtf8(archive).c_str(), 0644);
    ::chmod(dir.path().c_str(), 0700);
    FileWriterInfo file, folder;
    ASSERT_EQ(lumivel::GetFileWriter(archive, &file), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(lumivel::GetFileWriter(lumivel::FromUtf8(dir.path().string()), &folder), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(file.ownerUid, lumivel::CurrentUserId());
    EXPECT_TRUE(LocalWriterDistrust(file, folder, lumivel::CurrentUserId()).empty());
    ::chmod(lumivel::ToUtf8(archive).c_str(), 0666);
    ASSERT_EQ(lumivel::GetFileWriter(archive, &file), DWORD(ERROR_SUCCESS));
    EXPECT_FALSE(LocalWriterDistrust(file, folder, lumivel::CurrentUserId()).empty());

    // A link is judged as a link, not as what it points at.
    std::filesystem::create_symlink(lumivel::ToUtf8(archive), dir.path() / "{B}.zip");
    ASSERT_EQ(lumivel::GetFileWriter(dir.Path("{B}.zip"), &file), DWORD(ERROR_SUCCESS));
    EXPECT_TRUE(file.isLink);
    EXPECT_NE(lumivel::GetFileWriter(dir.Path("missing.zip"), &file), DWORD(ERROR_SUCCESS));
}

FILETIME fileTime(int year, int month, int day, int hour, int minute, int second = 0) {
    SYSTEMTIME t{};
    t.wYear = WORD(year), t.wMonth = WORD(month), t.wDay = WORD(day), t.wHour = WORD(hour), t.wMinute = WORD(minute),
    t.wSecond = WORD(second);
    FILETIME f{};
    SystemTimeToFileTime(&t, &f);
    return f;
}

TEST(ArchiveTrust, TheRecordedTimeMustFitTheFilesLastWriteAndNotLieAhead) {
    const FILETIME now = fileTime(2026, 12, 9, 12, 0);
    const FILETIME written = fileTime(2026, 12, 9, 2, 10);
    EXPECT_TRUE(BackupDateDistrust(u"2026-12-09 02:00:00", written, now).empty()) << "a backup takes its minutes";
    EXPECT_TRUE(BackupDateDistrust(u"2026-12-08 03:00:00", written, now).empty());
    EXPECT_NE(BackupDateDistrust(u"2026-12-07 01:00:00", written, now).find(u"far from"), std::u16string::npos)
        << "an old date on a new file is a date someone chose";
    EXPECT_NE(BackupDateDistrust(u"2026-12-09 04:00:00", written, now).find(u"far from"), std::u16string::npos)
        << "no backup records a time after its file was written";
    EXPECT_NE(BackupDateDistrust(u"2027-01-01 00:00:00", fileTime(2027, 1, 1, 0, 1), now).find(u"future"),
              std::u16string::npos);
    for (const char16_t* nonsense : {u"", u"yesterday", u"2026-13-40 99:99:99", u"2026-12-09 02:00:00x"})
        EXPECT_NE(BackupDateDistrust(nonsense, written, now).find(u"is no time"), std::u16string::npos);
}

TEST(ArchiveTrust, AParentPathMustLieInTheTombstonesOwnNamingContext) {
    const std::u16string tombstone = u"CN=Ann\\0ADEL:5e4a1f6c-1c1b-574c-9d2e-0a1b2c3d4e5f,CN=Deleted Objects,DC=lumivel,DC=test";
    EXPECT_TRUE(ParentOutsideNamingContext(tombstone, u"OU=Staff,OU=Corp,DC=lumivel,DC=test").empty());
    EXPECT_TRUE(ParentOutsideNamingContext(tombstone, u"ou=Staff,dc=LUMIVEL,dc=test").empty());
    for (const char16_t* elsewhere :
         {u"OU=Staff,DC=other,DC=test", u"OU=Staff,DC=evillumivel,DC=test", u"CN=Sites,CN=Configuration,DC=lumivel,DC=test2",
          u"OU=x,CN=Deleted Objects,DC=lumivel,DC=test", u"DC=test", u""}) {
        std::u16string why = ParentOutsideNamingContext(tombstone, elsewhere);
        EXPECT_NE(why.find(u"outside the naming context"), std::u16string::npos) << lumivel::ToUtf8(elsewhere);
        EXPECT_NE(why.find(elsewhere), std::u16string::npos) << "the message names the path";
    }
    // Below the domain's name, but another context of the server's.
    const std::vector<std::u16string> contexts = {u"DC=lumivel,DC=test", u"CN=Configuration,DC=lumivel,DC=test",
                                                  u"CN=Schema,CN=Configuration,DC=lumivel,DC=test",
                                                  u"DC=DomainDnsZones,DC=lumivel,DC=test"};
    EXPECT_TRUE(ParentOutsideNamingContext(tombstone, u"OU=Staff,OU=Corp,DC=lumivel,DC=test", contexts).empty());
    EXPECT_TRUE(ParentOutsideNamingContext(tombstone, u"OU=Configuration,DC=lumivel,DC=test", contexts).empty())
        << "a unit that only shares the context's first name";
    for (const char16_t* nested : {u"CN=Services,CN=Configuration,DC=lumivel,DC=test", u"CN=Configuration,DC=lumivel,DC=test",
                                   u"CN=x,CN=Schema,cn=configuration,DC=lumivel,DC=test", u"CN=MicrosoftDNS,DC=DomainDnsZones,DC=lumivel,DC=test"}) {
        std::u16string why = ParentOutsideNamingContext(tombstone, nested, contexts);
        EXPECT_NE(why.find(u"outside the naming context"), std::u16string::npos) << lumivel::ToUtf8(nested);
        EXPECT_NE(why.find(nested), std::u16string::npos) << "the message names the path";
    }
}

TEST(ArchiveTrust, SidsConvertBothWaysAndRefuseWhatIsNoSid) {
    for (const char16_t* text : {u"S-1-5-32-544", u"S-1-5-21-1004336348-1177238915-682003330-512", u"S-1-1-0"}) {
        std::vector<uint8_t> bytes = SidBytesOfText(text);
        ASSERT_FALSE(bytes.empty()) << lumivel::ToUtf8(text);
        EXPECT_EQ(SidTextOfBytes(bytes), text);
    }
    EXPECT_EQ(SidBytesOfText(u"S-1-5-32-544"), (std::vector<uint8_t>{1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0}));
    for (const char16_t* text : {u"", u"S-", u"S-1", u"S-2-5-32", u"S-1-5-x", u"S-1-5-4294967296", u"X-1-5-32"})
        EXPECT_TRUE(SidBytesOfText(text).empty()) << lumivel::ToUtf8(text);
    EXPECT_TRUE(SidTextOfBytes({1, 3, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0}).empty()) << "claims more sub-authorities than it has";
}

TEST(ArchiveTrust, OnlyTheArchiveTheAdministratorNamedIsTrustedAllTheSame) {
    PropertySet* record = PropertySet::create();
    const std::u16string path = u"\\\\dc1\\sysvol\\Tarvo Lumivel\\{ABC}.zip";
    EXPECT_FALSE(TrustNamedArchive(record, path));
    for (const char16_t* named : {u"{ABC}.zip", u"{abc}", u"\\\\dc1\\sysvol\\Tarvo Lumivel\\{ABC}.zip"}) {
        record->setText(kTrustArchiveKey, named);
        EXPECT_TRUE(TrustNamedArchive(record, path)) << lumivel::ToUtf8(named);
    }
    for (const char16_t* named : {u"{ABCD}.zip", u"latest", u"{AB"}) {
        record->setText(kTrustArchiveKey, named);
        EXPECT_FALSE(TrustNamedArchive(record, path)) << lumivel::ToUtf8(named);
    }
    record->release();
}

TEST(ArchiveDigest, KnownDigestsAcrossBlockBoundaries) {
    auto hex = [](const std::string& text) {
        Sha256 hash;
        hash.Update(text.data(), text.size());
        std::string out;
        for (uint8_t byte : hash.Finish()) {
            char two[3];
            std::snprintf(two, sizeof two, "%02x", byte);
            out += two;
        }
        return out;
    };
    EXPECT_EQ(hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    testing::TempDirectory dir;
    EXPECT_EQ(FileSha256(dir.Write("a.zip", std::string(1000000, 'a'))),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    EXPECT_EQ(FileSha256(dir.Path("missing.zip")), "");
}

}  // namespace
}  // namespace revivo
