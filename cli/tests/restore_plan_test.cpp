// The plan shown before a restore, worked out from the listing alone.
#include <gtest/gtest.h>

#include "cli/restore_plan.h"
#include "shared/directory_operations.h"

using namespace lumivel_cli;

namespace {

class RestorePlanTest : public ::testing::Test {
protected:
    ~RestorePlanTest() override {
        for (PropertySet* record : m_records) record->release();
    }
    // A tombstone named `name` with that GUID, deleted from `parent`.
    PropertySet* tombstone(const std::u16string& rdn, const std::u16string& guid, const std::u16string& parent) {
        PropertySet* record = PropertySet::create();
        std::u16string name = rdn.substr(3);
        record->setText(u"name", name + u"\nDEL:" + guid);
        record->setText(u"distinguishedName", rdn + u"\\0ADEL:" + guid + u",CN=Deleted Objects,DC=x");
        record->setText(u"lastKnownParent", parent);
        m_records.push_back(record);
        return record;
    }
    static std::u16string tombstoneDn(const std::u16string& rdn, const std::u16string& guid) {
        return rdn + u"\\0ADEL:" + guid + u",CN=Deleted Objects,DC=x";
    }
    std::vector<PropertySet*> m_records;
};

constexpr char16_t kTop[] = u"aaaaaaaa-0000-0000-0000-000000000001";
constexpr char16_t kMiddle[] = u"bbbbbbbb-0000-0000-0000-000000000002";
constexpr char16_t kChild[] = u"cccccccc-0000-0000-0000-000000000003";

TEST_F(RestorePlanTest, DeletedParentsComeFirstAndEachGoesBelowTheNameItsParentGets) {
    PropertySet* top = tombstone(u"OU=Apollo\\, Phase 2", kTop, u"OU=Projects,DC=x");
    PropertySet* middle = tombstone(u"OU=Archive", kMiddle, tombstoneDn(u"OU=Apollo\\, Phase 2", kTop));
    PropertySet* child = tombstone(u"CN=Ada", kChild, tombstoneDn(u"OU=Archive", kMiddle));
    TombstoneIndex index(m_records);

    RestorePlan plan = PlanRestore(child, index);
    ASSERT_EQ(plan.chain.size(), 3u);
    EXPECT_TRUE(plan.missingParent.empty());
    EXPECT_EQ(plan.chain[0].tombstone, top);
    EXPECT_EQ(plan.chain[0].target, u"OU=Apollo\\, Phase 2,OU=Projects,DC=x");
    EXPECT_EQ(plan.chain[1].tombstone, middle);
    EXPECT_EQ(plan.chain[1].target, u"OU=Archive,OU=Apollo\\, Phase 2,OU=Projects,DC=x");
    EXPECT_EQ(plan.chain[2].tombstone, child);
    EXPECT_EQ(plan.chain[2].target, u"CN=Ada,OU=Archive,OU=Apollo\\, Phase 2,OU=Projects,DC=x");

    // The top of the chain alone goes straight under its live parent.
    RestorePlan alone = PlanRestore(top, index);
    ASSERT_EQ(alone.chain.size(), 1u);
    EXPECT_EQ(alone.chain[0].target, u"OU=Apollo\\, Phase 2,OU=Projects,DC=x");
}

TEST_F(RestorePlanTest, AParentNoLongerListedOrAChainThatLoopsEndsTheWalk) {
    std::u16string gone = tombstoneDn(u"OU=Gone", u"dddddddd-0000-0000-0000-000000000004");
    PropertySet* orphan = tombstone(u"CN=Orphan", kChild, gone);
    // Two tombstones that name each other as parents: no directory makes them, a file could.
    PropertySet* first = tombstone(u"OU=First", kTop, tombstoneDn(u"OU=Second", kMiddle));
    tombstone(u"OU=Second", kMiddle, tombstoneDn(u"OU=First", kTop));
    TombstoneIndex index(m_records);

    RestorePlan missing = PlanRestore(orphan, index);
    EXPECT_EQ(missing.missingParent, gone);
    ASSERT_EQ(missing.chain.size(), 1u);
    EXPECT_TRUE(missing.chain[0].target.empty());

    RestorePlan loop = PlanRestore(first, index);
    EXPECT_FALSE(loop.missingParent.empty());
    EXPECT_EQ(loop.chain.size(), 2u);
}

TEST(ReanimatedDnTest, OnlyTheEscapedLineFeedEndsTheOldName) {
    using lumivel::shared::ReanimatedDn;
    auto PlainName = lumivel::shared::PlainTombstoneName;
    EXPECT_EQ(ReanimatedDn(u"CN=Back\\\\0A\\0ADEL:x,CN=Deleted Objects", u"OU=P"), u"CN=Back\\\\0A,OU=P");
    EXPECT_EQ(ReanimatedDn(u"CN=a\\0aDEL:x,CN=Deleted Objects", u"OU=P"), u"CN=a,OU=P");
    EXPECT_EQ(ReanimatedDn(u"CN=live,OU=P", u"OU=Q"), u"");
    EXPECT_EQ(PlainName(u"Smith, John\nDEL:x"), u"Smith, John");
    EXPECT_EQ(PlainName(u"no mangling"), u"no mangling");
}

}  // namespace
