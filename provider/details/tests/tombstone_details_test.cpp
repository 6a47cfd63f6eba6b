// What the details pane says of a tombstone: hostile and binary values made harmless, the
// archives that hold it with their trust, and what the newest trusted one would bring back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "provider/details/details_reader.h"
#include "provider/details/tombstone_details.h"
#include "provider/details/value_text.h"
#include "shared/provider_interfaces.h"

namespace revivo {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

std::string Narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            char escaped[12];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            out += escaped;
        }
    }
    return out;
}

struct HarmlessCase {
    const char* what;
    std::u16string text, shown;
};

TEST(HarmlessText, NothingOfAValueCanSteerOrFloodThePane) {
    const std::u16string longText(250, u'x');
    const HarmlessCase cases[] = {
        {"plain text as it is", u"Smith, John", u"Smith, John"},
        {"accents and CJK as they are", u"\u00C5ngstr\u00F6m \u674E\u5A1C", u"\u00C5ngstr\u00F6m \u674E\u5A1C"},
        {"an emoji (a surrogate pair) as it is", u"a\U0001F600b", u"a\U0001F600b"},
        {"a line feed cannot start a line of its own", u"Bob\nDEL:1234", u"Bob<U+000A>DEL:1234"},
        {"an escape cannot reach anything", u"\x1b[2Jx", u"<U+001B>[2Jx"},
        {"a right-to-left override cannot reorder the text", u"evil\u202Egpj.exe", u"evil<U+202E>gpj.exe"},
        {"zero-width and byte-order marks are seen", u"a\u200Bb\uFEFF", u"a<U+200B>b<U+FEFF>"},
        {"a C1 control is seen", u"a\u0085b", u"a<U+0085>b"},
        {"a tag character (hidden text) is seen", u"a\U000E0041", u"a<U+E0041>"},
        {"an unpaired surrogate becomes U+FFFD", std::u16string(u"a") + char16_t(0xD800) + u"b", u"a\uFFFDb"},
        {"a lone low surrogate too", std::u16string(1, char16_t(0xDC00)), u"\uFFFD"},
        {"a long value is cut with its length said", longText, std::u16string(200, u'x') + u"... (250 characters)"},
    };
    for (const HarmlessCase& each : cases) EXPECT_EQ(Narrow(HarmlessText(each.text)), Narrow(each.shown)) << each.what;
}

struct BytesCase {
    const char* what;
    std::u16string attribute;
    std::vector<unsigned char> bytes;
    std::u16string shown;
};

TEST(ByteValueText, GuidsAndSidsAsTextOtherBytesAsBoundedHex) {
    const std::vector<unsigned char> guid = {0x33, 0x22, 0x11, 0x00, 0x55, 0x44, 0x77, 0x66,
                                             0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};
    // S-1-5-21-1-2-3-1104
    const std::vector<unsigned char> sid = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0,
                                            2, 0, 0, 0, 3, 0, 0, 0, 0x50, 0x04, 0, 0, 0, 0, 0, 0};
    std::vector<unsigned char> sidBytes(sid.begin(), sid.begin() + 28);
    const BytesCase cases[] = {
        {"objectGUID in registry form", u"objectGUID", guid, u"00112233-4455-6677-8899-aabbccddeeff"},
        {"any attribute named like a GUID", u"msExchMailboxGuid", guid, u"00112233-4455-6677-8899-aabbccddeeff"},
        {"a GUID-named value of another size is bytes", u"objectGUID", {0xAB, 0xCD}, u"ABCD"},
        {"objectSid as a SID", u"objectSid", sidBytes, u"S-1-5-21-1-2-3-1104"},
        {"sIDHistory as SIDs", u"sIDHistory", sidBytes, u"S-1-5-21-1-2-3-1104"},
        {"a malformed SID is bytes", u"objectSid", {1, 5, 0}, u"010500"},
        {"a security descriptor by its size", u"nTSecurityDescriptor", {1, 0, 4, 0x80}, u"(security descriptor, 4 bytes)"},
        {"other bytes in hex", u"thumbnailPhoto", {0x00, 0x0A, 0xFF}, u"000AFF"},
        {"long bytes cut with their size", u"userCertificate", std::vector<unsigned char>(40, 0x11),
         std::u16string(64, u'1') + u"... (40 bytes)"},
        {"no bytes", u"thumbnailPhoto", {}, u"(empty)"},
    };
    for (const BytesCase& each : cases)
        EXPECT_EQ(Narrow(ByteValueText(each.attribute, each.bytes.data(), each.bytes.size())), Narrow(each.shown))
            << each.what;
}

TEST(ColumnValueTexts, EachTypeShownAndTheCountBounded) {
    std::vector<ADSVALUE> values(12);
    for (ADSVALUE& value : values) {
        value.dwType = ADSTYPE_INTEGER;
        value.Integer = static_cast<DWORD>(-5);
    }
    values[1].dwType = ADSTYPE_BOOLEAN;
    values[1].Boolean = 1;
    values[2].dwType = ADSTYPE_LARGE_INTEGER;
    values[2].LargeInteger.QuadPart = 133000000000000000LL;
    values[3].dwType = ADSTYPE_UTC_TIME;
    values[3].UTCTime = SYSTEMTIME{2026, 12, 3, 9, 13, 5, 7, 0};
    WCHAR text[] = u"line\nbreak";
    values[4].dwType = ADSTYPE_CASE_IGNORE_STRING;
    values[4].CaseIgnoreString = text;
    unsigned char binary[] = {0xDE, 0xAD};
    WCHAR dn[] = u"CN=Bob,DC=lumivel,DC=test";
    ADS_DN_WITH_BINARY withBinary{2, binary, dn};
    values[5].dwType = ADSTYPE_DN_WITH_BINARY;
    values[5].pDNWithBinary = &withBinary;
    values[6].dwType = ADSTYPE_NT_SECURITY_DESCRIPTOR;
    values[6].SecurityDescriptor = {120, nullptr};
    WCHAR name[] = u"otherAttribute";
    ADS_SEARCH_COLUMN column{name, ADSTYPE_INTEGER, values.data(), static_cast<DWORD>(values.size()), nullptr};
    std::vector<std::u16string> shown = ColumnValueTexts(column);
    ASSERT_EQ(shown.size(), kMostShownValues);
    EXPECT_EQ(shown[0], u"-5");
    EXPECT_EQ(shown[1], u"TRUE");
    EXPECT_EQ(shown[2], u"133000000000000000");
    EXPECT_EQ(shown[3], u"2026-12-09 13:05:07 UTC");
    EXPECT_EQ(shown[4], u"line<U+000A>break");
    EXPECT_EQ(shown[5], u"B:4:DEAD:CN=Bob,DC=lumivel,DC=test");
    EXPECT_EQ(shown[6], u"(security descriptor, 120 bytes)");
}

// A listing as command 314 answers it: the header, then archives newest first.
class Listing {
public:
    ~Listing() {
        for (PropertySet* record : records) record->release();
    }
    Listing& header(std::u16string folder) {
        PropertySet* record = PropertySet::create();
        record->setText(kBackupFolderKey, folder);
        records.push_back(record);
        return *this;
    }
    Listing& archive(std::u16string name, bool holds, std::u16string distrust = {}, std::u16string origin = {}) {
        PropertySet* record = PropertySet::create();
        record->setText(u"name", name);
        record->setText(u"path", u"/backups/" + name);
        record->setText(kBackupDateKey, u"2026-12-01 09:00:00");
        record->setText(kBackupOriginKey, origin.empty() ? u"CN=Staff,DC=lumivel,DC=test" : origin);
        record->setInt(kHoldsObjectKey, holds ? 1 : 0);
        if (!distrust.empty()) record->setText(kArchiveDistrustKey, distrust);
        records.push_back(record);
        return *this;
    }
    std::vector<PropertySet*> records;
};

TombstoneDetails DetailsOf(const Listing& listing) {
    TombstoneDetails details;
    details.name = u"Bob Baker (deleted user)";
    details.kept = {{u"cn", {u"Bob Baker<U+000A>DEL:1"}, 1}, {u"description", {u"Payroll"}, 1}};
    TakeHoldingArchives(listing.records, &details);
    TakeNewestHoldingArchive(listing.records, &details.reapply);
    return details;
}

void Plan(TombstoneDetails* details, std::vector<ReapplyLine> lines) {
    details->reapply.reapplyPlanned = true;
    for (const ReapplyLine& line : lines) {
        if (line.outcome == u"WouldWrite")
            (line.membership ? details->reapply.wouldJoin : details->reapply.wouldWrite).push_back(line.name);
        if (line.outcome == u"Withheld") details->reapply.sensitive.push_back(line.name);
    }
    details->reapply.reapplyLines = std::move(lines);
}

TEST(TombstoneDetailsText, NoArchiveHoldsTheObject) {
    Listing listing;
    listing.header(u"/backups/").archive(u"other.zip", false);
    TombstoneDetails details = DetailsOf(listing);
    std::string text = Narrow(DetailsText(details));
    EXPECT_THAT(text, HasSubstr("Kept by the directory: 2 attributes\n  cn: Bob Baker<U+000A>DEL:1\n"));
    EXPECT_THAT(text, HasSubstr("No backup archive in /backups/ holds it."));
    EXPECT_THAT(text, Not(HasSubstr("other.zip")));
    EXPECT_THAT(text, Not(HasSubstr("Re-apply")));
}

TEST(TombstoneDetailsText, AnUntrustedArchiveIsListedWithWhyAndNeverTakenForTheNewest) {
    Listing listing;
    listing.header(u"/backups/").archive(u"planted.zip", true, u"its owner is not an administrator");
    TombstoneDetails details = DetailsOf(listing);
    EXPECT_TRUE(details.reapply.archivePath.empty());
    std::string text = Narrow(DetailsText(details));
    EXPECT_THAT(text, HasSubstr("  planted.zip, 2026-12-01 09:00:00 UTC, from CN=Staff,DC=lumivel,DC=test, not trusted: "
                                "its owner is not an administrator\n"));
    EXPECT_THAT(text, HasSubstr("None of them is trusted"));
    EXPECT_THAT(text, Not(HasSubstr("Lost since")));
}

TEST(TombstoneDetailsText, TheNewestTrustedArchiveSaysWhatTheTombstoneLostAndWhatReapplyWrites) {
    Listing listing;
    listing.header(u"/backups/")
        .archive(u"planted.zip", true, u"it was written by someone else")
        .archive(u"newest.zip", true)
        .archive(u"older.zip", true);
    TombstoneDetails details = DetailsOf(listing);
    EXPECT_EQ(details.reapply.archiveName, u"newest.zip");
    Plan(&details, {{u"cn", u"LeftAlone", 1, false},
                    {u"description", u"WouldWrite", 1, false},
                    {u"telephoneNumber", u"WouldWrite", 1, false},
                    {u"otherTelephone", u"WouldWrite", 3, false},
                    {u"scriptPath", u"Withheld", 1, false},
                    {u"CN=Staff Group,DC=lumivel,DC=test", u"WouldWrite", 0, true},
                    {u"CN=Old Group,DC=lumivel,DC=test", u"Gone", 0, true}});

    std::vector<std::u16string> lost;
    for (const ReapplyLine& line : LostAttributes(details)) lost.push_back(line.name);
    EXPECT_THAT(lost, ::testing::ElementsAre(u"telephoneNumber", u"otherTelephone", u"scriptPath",
                                             u"CN=Staff Group,DC=lumivel,DC=test", u"CN=Old Group,DC=lumivel,DC=test"))
        << "what the tombstone kept (cn, description) is not lost, whatever the plan does with it";

    std::string text = Narrow(DetailsText(details));
    EXPECT_THAT(text, HasSubstr("  planted.zip, 2026-12-01 09:00:00 UTC, from CN=Staff,DC=lumivel,DC=test, not trusted"));
    EXPECT_THAT(text, HasSubstr("  newest.zip, 2026-12-01 09:00:00 UTC, from CN=Staff,DC=lumivel,DC=test, trusted\n"));
    EXPECT_THAT(text, HasSubstr("Lost since the newest trusted backup, newest.zip of 2026-12-01 09:00:00 UTC:\n"
                                "  telephoneNumber (1 value): Re-apply writes it back\n"
                                "  otherTelephone (3 values): Re-apply writes it back\n"
                                "  scriptPath (1 value): Re-apply writes it only with your consent\n"
                                "  member of CN=Staff Group,DC=lumivel,DC=test: Re-apply joins it again\n"
                                "  member of CN=Old Group,DC=lumivel,DC=test: the group is gone\n"));
    EXPECT_THAT(text, HasSubstr("The Restore Plan offers \"Re-apply\": it writes 3 attributes and joins 1 group, 1 more "
                                "only with your consent."))
        << "the counts are the plan's own, kept attributes included";
}

TEST(TombstoneDetailsText, APlanThatWouldWriteNothingOffersNoReapply) {
    Listing listing;
    listing.header(u"/backups/").archive(u"newest.zip", true);
    TombstoneDetails details = DetailsOf(listing);
    Plan(&details, {{u"nTSecurityDescriptor", u"LeftAlone", 1, false}});
    EXPECT_FALSE(ReapplyOffered(details.reapply));
    std::string text = Narrow(DetailsText(details));
    EXPECT_THAT(text, HasSubstr("  nTSecurityDescriptor (1 value): left alone"));
    EXPECT_THAT(text, HasSubstr("Re-apply is not offered: nothing of this backup would be written back."));

    details.reapply.reapplyPlanned = false;
    EXPECT_TRUE(ReapplyOffered(details.reapply)) << "a plan that could not be worked out does not hide the offer";
    EXPECT_THAT(Narrow(DetailsText(details)), HasSubstr("What newest.zip of 2026-12-01 09:00:00 UTC holds of it could not be read."));
}

TEST(TombstoneDetailsText, HostileNamesFromTheArchiveAndTheDirectoryStayOnTheirLine) {
    Listing listing;
    listing.header(u"/backups/\n").archive(u"a\nb.zip", true, {}, u"CN=x\u202E,DC=test\x1b[0m");
    TombstoneDetails details = DetailsOf(listing);
    details.name = u"Eve\r\nKept by the directory: 0 attributes";
    details.kept.push_back({u"evil\nname", {u"v"}, 1});
    Plan(&details, {{u"bad\nattribute", u"WouldWrite", 1, false}, {u"CN=G\n,DC=test", u"WouldWrite", 0, true}});
    std::u16string text = DetailsText(details);
    EXPECT_EQ(text.find(u'\r'), std::u16string::npos);
    EXPECT_EQ(text.find(u'\x1b'), std::u16string::npos);
    EXPECT_EQ(text.find(u'\u202E'), std::u16string::npos);
    std::string narrow = Narrow(text);
    EXPECT_THAT(narrow, HasSubstr("Eve<U+000D><U+000A>Kept by the directory: 0 attributes\n\n"));
    EXPECT_THAT(narrow, HasSubstr("  evil<U+000A>name: v\n"));
    EXPECT_THAT(narrow, HasSubstr("  a<U+000A>b.zip, "));
    EXPECT_THAT(narrow, HasSubstr("from CN=x<U+202E>,DC=test<U+001B>[0m, trusted"));
    EXPECT_THAT(narrow, HasSubstr("  bad<U+000A>attribute (1 value)"));
    EXPECT_THAT(narrow, HasSubstr("  member of CN=G<U+000A>,DC=test: "));
}

TEST(TombstoneDetailsText, FailuresAndLongListsAreSaidNotHidden) {
    TombstoneDetails details;
    details.name = u"Bob";
    details.keptRead = HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
    details.backupsRead = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    details.backupFolder = u"\\\\dc1\\sysvol\\Tarvo Lumivel\\";
    std::string text = Narrow(DetailsText(details));
    EXPECT_THAT(text, HasSubstr("What the directory kept of it could not be read (error 0x80072030)."));
    EXPECT_THAT(text, HasSubstr("The backup folder in \\\\dc1\\sysvol\\Tarvo Lumivel\\ could not be listed."));

    details.keptRead = S_OK;
    details.backupsRead = S_OK;
    for (int i = 0; i < 130; ++i) details.kept.push_back({u"a" + std::u16string(1, char16_t(u'A' + i % 26)), {u"v"}, 20});
    for (int i = 0; i < 15; ++i) details.archives.push_back({u"b.zip", {}, {}, {}});
    details.kept.front().texts.assign(kMostShownValues, u"v");
    text = Narrow(DetailsText(details));
    EXPECT_THAT(text, HasSubstr("Kept by the directory: 130 attributes\n"));
    EXPECT_THAT(text, HasSubstr("  ... and 30 more attributes\n"));
    EXPECT_THAT(text, HasSubstr("  ... and 5 more archives\n"));
    EXPECT_THAT(text, HasSubstr("v; v; v; v; v; v; v; v; ... (20 values)\n"));
}

TEST(DetailsRequestOf, OnlyATombstoneRecordIsRead) {
    PropertySet* record = PropertySet::create();
    record->setText(u"distinguishedName", u"CN=Bob\\0ADEL:2b7e1f30-7a47-4b0a-9d49-1c1c2b6a3e01,CN=Deleted Objects,DC=lumivel,DC=test");
    record->setText(u"name", u"Bob\nDEL:2b7e1f30-7a47-4b0a-9d49-1c1c2b6a3e01");
    record->setText(u"class", u"user");
    record->setText(u"FocusedDC", u"dc1.lumivel.test");
    DetailsRequest request;
    ASSERT_TRUE(DetailsRequestOf(record, &request));
    EXPECT_EQ(request.name, u"Bob");
    EXPECT_EQ(request.focusedDc, u"dc1.lumivel.test");
    record->setText(u"distinguishedName", u"CN=Bob,OU=Staff,DC=lumivel,DC=test");
    EXPECT_FALSE(DetailsRequestOf(record, &request)) << "a live object";
    record->IsNode = TRUE;
    EXPECT_FALSE(DetailsRequestOf(record, &request));
    EXPECT_FALSE(DetailsRequestOf(nullptr, &request));
    record->release();
}

}  // namespace
}  // namespace revivo
