// The state `list --incremental` keeps: what it writes it reads back exactly, and a file it
// did not write for this domain, or that others could have written, is never believed.
#include "cli/listing_state.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "shared/provider_interfaces.h"
#include "tests/support/temporary_directory.h"

namespace lumivel_cli {
namespace {

class ListingStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_path = m_folder.path() + "/state/lumivel/listings/lumivel.test";
        PropertySet* record = PropertySet::create();
        // Texts with every character the escaping has to carry.
        record->setText(u"name", u"Tab\there \\ back\nDEL:0a1b2c3d-0000-4000-8000-000000000001");
        record->setText(u"distinguishedName", u"CN=Tab\there \\\\ back\\0ADEL:0a1b2c3d-0000-4000-8000-000000000001,CN=Deleted Objects,DC=x");
        record->setText(u"lastKnownParent", u"OU=Caf\u00e9,DC=x");
        record->setText(u"class", u"user");
        record->setText(kExpiresUtcKey, u"2027-06-07T10:09:40Z");
        m_records.add(record);
        m_state.server = u"dc1.lumivel.test";
        m_state.invocationId = u"6eb80f12-d195-428b-a348-40d1704a81a6";
        m_state.usn = u"4096";
        m_state.cookie = u"4D534453";
        m_state.wholeReadAt = 1796812371;
    }

    void rewrite(const std::string& text) {
        std::ofstream(m_path, std::ios::trunc) << text;
    }

    lumivel::testing::TemporaryDirectory m_folder;
    std::string m_path;
    ListingState m_state;
    RecordList m_records;
};

TEST_F(ListingStateTest, WhatIsWrittenIsReadBackExactly) {
    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", m_state, m_records.records()));
    struct stat info {};
    ASSERT_EQ(::stat(m_path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat((m_folder.path() + "/state/lumivel/listings").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    ListingState read;
    std::string why;
    ASSERT_TRUE(ReadListingState(m_path, "lumivel.test", &read, &why)) << why;
    EXPECT_EQ(read.server, m_state.server);
    EXPECT_EQ(read.invocationId, m_state.invocationId);
    EXPECT_EQ(read.usn, m_state.usn);
    EXPECT_EQ(read.cookie, m_state.cookie);
    EXPECT_EQ(read.wholeReadAt, m_state.wholeReadAt);
    ASSERT_EQ(read.tombstones.records().size(), 1u);
    const PropertySet* record = read.tombstones.records()[0];
    for (const char16_t* key : {u"name", u"distinguishedName", u"lastKnownParent", u"class", kExpiresUtcKey})
        EXPECT_EQ(record->getText(key), m_records.records()[0]->getText(key));
    EXPECT_EQ(record->getText(u"path"), record->getText(u"distinguishedName"));
    EXPECT_EQ(record->getText(u"Parent"), record->getText(u"lastKnownParent"));
}

TEST_F(ListingStateTest, AStateNotWrittenForThisDomainOrByThisUserIsNotBelieved) {
    ASSERT_TRUE(WriteListingState(m_path, "lumivel.test", m_state, m_records.records()));
    const std::string written = [&] {
        std::ifstream file(m_path);
        return std::string(std::istreambuf_iterator<char>(file), {});
    }();
    struct Case {
        const char* what;
        std::string text;
        const char* why;
    };
    const Case cases[] = {
        {"another domain's", written, "another domain"},
        {"cut short", written.substr(0, written.size() - 5), "damaged"},
        {"another version", "lumivel-listing\t2\n" + written.substr(written.find('\n') + 1), "damaged"},
        {"a field escaped wrongly", written + "t\t\\q\n", "damaged"},
        {"a line of an unknown kind", written + "owner\troot\n", "damaged"},
        {"no domain line", "lumivel-listing\t1\nwhole\t1\n", "damaged"},
        {"a time that is no number", written + "whole\tsoon\n", "damaged"},
    };
    for (const Case& each : cases) {
        rewrite(each.text);
        ASSERT_EQ(::chmod(m_path.c_str(), 0600), 0);
        ListingState read;
        std::string why;
        const std::string domain = std::string(each.what) == "another domain's" ? "other.test" : "lumivel.test";
        EXPECT_FALSE(ReadListingState(m_path, domain, &read, &why)) << each.what;
        EXPECT_NE(why.find(each.why), std::string::npos) << each.what << ": " << why;
        EXPECT_TRUE(read.tombstones.records().empty()) << each.what;
    }

    rewrite(written);
    ListingState read;
    std::string why;
    ASSERT_EQ(::chmod(m_path.c_str(), 0640), 0);
    EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why));
    EXPECT_NE(why.find("not a private file"), std::string::npos) << why;
    ASSERT_EQ(::chmod(m_path.c_str(), 0600), 0);
    // Through a link, even to a file of the user's own.
    const std::string link = m_path + ".link";
    ASSERT_EQ(::symlink(m_path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(ReadListingState(link, "lumivel.test", &read, &why));
    EXPECT_FALSE(ReadListingState(m_folder.path() + "/state/lumivel/listings/none", "lumivel.test", &read, &why));
    EXPECT_EQ(why, "no saved listing");
    // In a folder others may write, neither read nor written.
    ASSERT_EQ(::chmod((m_folder.path() + "/state/lumivel/listings").c_str(), 0777), 0);
    EXPECT_FALSE(ReadListingState(m_path, "lumivel.test", &read, &why));
    EXPECT_FALSE(WriteListingState(m_path, "lumivel.test", m_state, m_records.records()));
}

}  // namespace
}  // namespace lumivel_cli
