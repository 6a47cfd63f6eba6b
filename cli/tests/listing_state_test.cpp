// The state `list --incremental` keeps: what it writes it reads back exactly, a file of the
// former form is read once, and a file it did not write for this domain, that is damaged, or
// that others could have written, is never believed.
#include "cli/listing_state.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

#include "cli/domain_listing.h"
#include "cli/terminal_text.h"
#include "shared/listing_changes.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"
#include "tests/support/temporary_directory.h"

namespace lumivel_cli {
namespace {

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

PropertySet* tombstone(std::u16string_view name, std::u16string_view guid, std::u16string_view parent) {
    PropertySet* record = PropertySet::create();
    record->setText(u"name", std::u16string(name) + u"\nDEL:" + std::u16string(guid));
    record->setText(u"distinguishedName", u"CN=" + std::u16string(name) + u"\\0ADEL:" + std::u16string(guid) +
                                              u",CN=Deleted Objects,DC=x");
    record->setText(u"lastKnownParent", parent);
    record->setText(u"Parent", parent);
    record->setText(u"class", u"user");
    record->setText(kDateDeletedUtcKey, u"2026-12-01T10:00:00Z");
    record->setText(kExpiresUtcKey, u"2027-06-07T10:09:40Z");
    return record;
}

// The former writer, kept as the reference of what older versions left behind.
std::string formerText(const std::string& domainKey, const ListingState& state, const std::vector<PropertySet*>& records) {
    auto field = [](std::u16string_view text) { return TerminalText(NarrowText(text), Escaping::Reversible); };
    std::string text = "lumivel-listing\t1\n";
    text += "domain\t" + TerminalText(domainKey, Escaping::Reversible) + "\n";
    text += "server\t" + field(state.server) + "\ninvocation\t" + field(state.invocationId) + "\n";
    text += "usn\t" + field(state.usn) + "\ncookie\t" + field(state.cookie) + "\n";
    text += "whole\t" + std::to_string(static_cast<long long>(state.wholeReadAt)) + "\n";
    for (const PropertySet* record : records) {
        text += "t";
        for (const char16_t* key : {u"name", u"distinguishedName", u"lastKnownParent", u"class", u"FriendlyClassName",
                                    u"dateDeleted", kDateDeletedUtcKey, kExpiresKey, kExpiresUtcKey, u"FocusedDC"})
            text += "\t" + field(record->getText(key));
        text += "\n";
    }
    return text;
}

class ListingStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = m_folder.path() + "/state/lumivel/listings/lumivel.test";
        // Texts with every character an escaping would have to carry, and bytes that are no UTF-8.
        m_records.add(tombstone(u"Tab\there \\ back\x1b[31m \u202e Caf\u00e9 \u4e2d \U0001D11E",
                                u"0a1b2c3d-0000-4000-8000-000000000001", u"OU=Caf\u00e9,DC=x"));
        m_records.add(tombstone(u"", u"0A1B2C3D-0000-4000-8000-000000000002", u""));
        m_state.server = u"dc1.lumivel.test";
        m_state.invocationId = u"6eb80f12-d195-428b-a348-40d1704a81a6";
        m_state.usn = u"4096";
        m_state.cookie = u"4D534453";
        m_state.wholeReadAt = 1796812371;
        for (const PropertySet* record : m_records.records()) m_fields.push_back(TombstoneFieldsOf(record));
        m_fields.back()[kFieldDateDeleted] = "Line\nfeed\r\0nul\xff\xfe";
        m_fields.back()[kFieldDateDeleted].push_back('\0');
        for (const OwnedTombstoneFields& fields : m_fields) m_views.push_back(ViewsOf(fields));
    }

    std::string written() {
        std::ifstream file(m_path);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }
    void rewrite(const std::string& text) {
        std::ofstream(m_path, std::ios::trunc) << text;
        ASSERT_EQ(::chmod(m_path.c_str(), 0600), 0);
    }
    void expectReadBack(const ListingState& read) {
        EXPECT_EQ(read.server, m_state.server);
        EXPECT_EQ(read.invocationId, m_state.invocationId);
        EXPECT_EQ(read.usn, m_state.usn);
        EXPECT_EQ(read.cookie, m_state.cookie);
        EXPECT_EQ(read.wholeReadAt, m_state.wholeReadAt);
    }

    lumivel::testing::TemporaryDirectory m_folder;
    std::string m_path;
    ListingState m_state;
    RecordList m_records;
    std::vector<OwnedTombstoneFields> m_fields;
    std::vector<TombstoneFields> m_views;
};

TEST_F(ListingStateTest, WhatIsWrittenIsReadBackExactly) {
    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", m_state, m_views));
    struct stat info {};
    ASSERT_EQ(::stat(m_path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((m_folder.path() + "/state/lumivel/listings").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    ListingState read;
    std::string why;
    ASSERT_TRUE(ReadListingState(m_path, "lumivel.test", &read, &why)) << why;
    expectReadBack(read);
    ASSERT_EQ(read.tombstones.size(), m_views.size());
    for (size_t i = 0; i < m_views.size(); ++i)
        for (size_t field = 0; field < kTombstoneFieldCount; ++field)
            EXPECT_EQ(read.tombstones[i][field], m_views[i][field]) << i << " " << field;

    // No tombstones at all is a listing too.
    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", m_state, {}));
    ASSERT_TRUE(ReadListingState(m_path, "lumivel.test", &read, &why)) << why;
    EXPECT_TRUE(read.tombstones.empty());
}

TEST_F(ListingStateTest, AFileOfTheFormerFormIsReadAndThenWrittenInTheNewOne) {
    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", m_state, {}));
    rewrite(formerText("lumivel.test", m_state, m_records.records()));
    ListingState read;
    std::string why;
    ASSERT_TRUE(ReadListingState(m_path, "lumivel.test", &read, &why)) << why;
    expectReadBack(read);
    ASSERT_EQ(read.tombstones.size(), 2u);
    // The same fields a listing of the records gives.
    for (size_t i = 0; i < 2; ++i)
        for (size_t field = 0; field < kTombstoneFieldCount; ++field)
            EXPECT_EQ(read.tombstones[i][field], ViewsOf(TombstoneFieldsOf(m_records.records()[i]))[field]);

    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", read, read.tombstones));
    EXPECT_TRUE(written().starts_with("lumivel-listing\t2\n"));
    ListingState again;
    ASSERT_TRUE(ReadListingState(m_path, "lumivel.test", &again, &why)) << why;
    ASSERT_EQ(again.tombstones.size(), 2u);
    EXPECT_EQ(again.tombstones[0][kFieldName], read.tombstones[0][kFieldName]);

    // A damaged one of that form is as little believed as before.
    const std::string former = formerText("lumivel.test", m_state, m_records.records());
    for (const std::string& text : {former.substr(0, former.size() - 3), former + "t\t\\q\n", former + "owner\troot\n",
                                    std::string("lumivel-listing\t1\nwhole\t1\n"), former + "whole\tsoon\n"}) {
        rewrite(text);
        EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why)) << text;
        EXPECT_NE(why.find("damaged"), std::string::npos) << why;
        EXPECT_TRUE(read.tombstones.empty());
    }
}

TEST_F(ListingStateTest, ADamagedFileOrOneOfAnotherDomainIsNotBelieved) {
    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", m_state, m_views));
    const std::string good = written();
    ListingState read;
    std::string why;
    EXPECT_FALSE(ReadListingState(m_path, "other.test", &read, &why));
    EXPECT_NE(why.find("another domain"), std::string::npos) << why;

    // Cut at every length, and every byte changed in turn: never believed, never a crash.
    for (size_t size = 0; size < good.size(); size += 1 + size / 16) {
        rewrite(good.substr(0, size));
        EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why)) << size;
        EXPECT_TRUE(read.tombstones.empty());
    }
    for (size_t at = 0; at < good.size(); at += 1 + at % 7) {
        std::string changed = good;
        changed[at] = static_cast<char>(changed[at] ^ 0x41);
        rewrite(changed);
        EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why)) << at;
        EXPECT_TRUE(read.tombstones.empty()) << at;
    }
    rewrite(good + "x");
    EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why));
    EXPECT_NE(why.find("damaged"), std::string::npos) << why;
    rewrite("lumivel-listing\t3\n" + good.substr(good.find('\n') + 1));
    EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why));
    EXPECT_NE(why.find("not a listing of this version"), std::string::npos) << why;
}

TEST_F(ListingStateTest, AFileOthersCouldHaveWrittenIsNotBelieved) {
    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", m_state, m_views));
    ListingState read;
    std::string why;
    ASSERT_EQ(::chmod(m_path.c_str(), 0640), 0);
    EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why));
    EXPECT_NE(why.find("not a private file"), std::string::npos) << why;
    ASSERT_EQ(::chmod(m_path.c_str(), 0600), 0);
    // Someone else's file, however private.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(m_path.c_str(), 12345, 12345), 0);
        EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why));
        EXPECT_NE(why.find("not a private file"), std::string::npos) << why;
        ASSERT_EQ(::chown(m_path.c_str(), 0, 0), 0);
    }
    // Through a link, even to a file of the user's own; and a link in its place is replaced,
    // not written through.
    const std::string link = m_path + ".link";
    ASSERT_EQ(::symlink(m_path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(ReadListingState(link, "lumivel.test", &read, &why));
    const std::string target = m_folder.path() + "/target";
    std::ofstream(target) << "kept";
    const std::string planted = m_folder.path() + "/state/lumivel/listings/planted";
    ASSERT_EQ(::symlink(target.c_str(), planted.c_str()), 0);
    EXPECT_TRUE(WriteListingState(planted, "lumivel.test", m_state, m_views));
    std::ifstream kept(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "kept");
    EXPECT_FALSE(ReadListingState(m_folder.path() + "/state/lumivel/listings/none", "lumivel.test", &read, &why));
    EXPECT_EQ(why, "no saved listing");
    // In a folder others may write, neither read nor written.
    ASSERT_EQ(::chmod((m_folder.path() + "/state/lumivel/listings").c_str(), 0777), 0);
    EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why));
    EXPECT_FALSE(WriteListingState(m_path, "lumivel.test", m_state, m_views));
}

// The saved listing takes the changes exactly as the console's records do.
TEST(TombstoneChangesTest, ChangesLandAsOnTheConsolesRecords) {
    const std::u16string guids[] = {u"aaaaaaaa-0000-4000-8000-000000000001", u"aaaaaaaa-0000-4000-8000-000000000002",
                                    u"aaaaaaaa-0000-4000-8000-000000000003", u"aaaaaaaa-0000-4000-8000-000000000004"};
    auto left = [](std::u16string_view guid) {
        PropertySet* record = PropertySet::create();
        record->setInt(kSyncLeftKey, 1);
        record->setText(u"guid", guid);
        return record;
    };
    auto upper = [](std::u16string text) {
        for (char16_t& c : text) c = c >= u'a' && c <= u'z' ? c - 32 : c;
        return text;
    };
    // Each case: the changes, in order, over a listing of the first three.
    std::vector<std::vector<PropertySet*>> cases = {
        {tombstone(u"A", guids[0], u"OU=moved"), left(upper(guids[1])), tombstone(u"D", guids[3], u"OU=new")},
        {left(guids[0]), tombstone(u"A", guids[0], u"OU=again"), left(guids[3]), tombstone(u"D", guids[3], u"OU=x"),
         tombstone(u"D", upper(guids[3]), u"OU=y")},
        {tombstone(u"D", guids[3], u"OU=x"), left(guids[3]), left(guids[2]), left(guids[2])},
        {},
    };
    for (const std::vector<PropertySet*>& changes : cases) {
        std::vector<PropertySet*> records;
        std::vector<TombstoneFields> saved;
        std::deque<OwnedTombstoneFields> owned;
        for (size_t i = 0; i < 3; ++i) {
            records.push_back(tombstone(u"listed", guids[i], u"OU=old"));
            owned.push_back(TombstoneFieldsOf(records.back()));
            saved.push_back(ViewsOf(owned.back()));
        }
        ApplyTombstoneChanges(&saved, &owned, changes);
        // ApplyListingChanges takes the changes over: give it copies.
        std::vector<PropertySet*> copies;
        for (PropertySet* change : changes) copies.push_back(change->clone());
        lumivel::shared::ApplyListingChanges(&records, copies);
        ASSERT_EQ(saved.size(), records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            const OwnedTombstoneFields expected = TombstoneFieldsOf(records[i]);
            for (size_t field = 0; field < kTombstoneFieldCount; ++field) EXPECT_EQ(saved[i][field], expected[field]);
        }
        for (PropertySet* record : records) record->release();
        for (PropertySet* change : changes) change->release();
    }
}

// Many changes in random order over a listing: renamed, moved, gone, back again, new, named by
// GUIDs in either case.
TEST(TombstoneChangesTest, RandomChangesLandAsOnTheConsolesRecords) {
    std::mt19937 random(34);
    auto guidOf = [](size_t n, bool upper) {
        char text[40];
        std::snprintf(text, sizeof text, upper ? "%08zX-0000-4000-8000-00000000000A" : "%08zx-0000-4000-8000-00000000000a", n);
        return WidenText(text);
    };
    for (int round = 0; round < 40; ++round) {
        std::vector<PropertySet*> records;
        std::vector<TombstoneFields> saved;
        std::deque<OwnedTombstoneFields> owned;
        const size_t listed = random() % 30;
        for (size_t i = 0; i < listed; ++i) {
            records.push_back(tombstone(u"listed " + WidenText(std::to_string(i)), guidOf(i, false), u"OU=old"));
            owned.push_back(TombstoneFieldsOf(records.back()));
            saved.push_back(ViewsOf(owned.back()));
        }
        std::vector<PropertySet*> changes;
        const size_t count = random() % 25;
        for (size_t i = 0; i < count; ++i) {
            const size_t n = random() % (listed + 10);
            const bool upper = random() % 4 == 0;
            if (random() % 3 == 0) {
                PropertySet* left = PropertySet::create();
                left->setInt(kSyncLeftKey, 1);
                left->setText(u"guid", guidOf(n, upper));
                changes.push_back(left);
            } else {
                changes.push_back(tombstone(u"changed " + WidenText(std::to_string(i)), guidOf(n, upper),
                                            u"OU=" + WidenText(std::to_string(random() % 5))));
            }
        }
        ApplyTombstoneChanges(&saved, &owned, changes);
        lumivel::shared::ApplyListingChanges(&records, changes);
        SCOPED_TRACE(round);
        ASSERT_EQ(saved.size(), records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            const OwnedTombstoneFields expected = TombstoneFieldsOf(records[i]);
            for (size_t field = 0; field < kTombstoneFieldCount; ++field) EXPECT_EQ(saved[i][field], expected[field]);
        }
        for (PropertySet* record : records) record->release();
    }
}

}  // namespace
}  // namespace lumivel_cli
