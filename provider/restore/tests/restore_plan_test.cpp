// One plan for several tombstones: every deleted parent once, ahead of everything below it,
// whichever selected object needs it first; and the "Restores Into" rule agreeing with the plan.
#include <gtest/gtest.h>

#include <memory>

#include "provider/restore/restore_plan.h"
#include "shared/restore_chain.h"

namespace {

const std::u16string kContext = u"DC=plans,DC=test";

std::u16string guidOf(int n) {
    std::u16string digits = std::u16string(1, char16_t(u'0' + n / 10)) + char16_t(u'0' + n % 10);
    return u"000000" + digits + u"-0000-4000-8000-000000000000";
}

std::u16string tombstoneDn(const std::u16string& rdn, int n) {
    return rdn + u"\\0ADEL:" + guidOf(n) + u",CN=Deleted Objects," + kContext;
}

revivo::TombstoneRef copy(const std::u16string& rdn, int n, const std::u16string& parent,
                          const std::u16string& className = u"organizationalUnit") {
    std::u16string dnText = tombstoneDn(rdn, n), name = rdn.substr(3) + u"\nDEL:" + guidOf(n);
    const std::u16string_view fields[] = {dnText, parent, name, className, u"", u"", u""};
    return std::make_shared<const revivo::TombstoneCopy>(fields, 0);
}

revivo::PlannedStep stepOf(const revivo::TombstoneCopy& of) {
    return revivo::PlannedStep{std::u16string(of.name()), std::u16string(of.className()),
                               std::u16string(of.distinguishedName()), std::u16string(of.lastKnownParent()),
                               {}, {}, {}};
}

// Two deleted OUs: Sales (with Europe deleted inside it) and Finance, each holding users.
struct TwoDeletedOus {
    revivo::TombstoneRef sales = copy(u"OU=Sales", 1, u"OU=Corp," + kContext);
    revivo::TombstoneRef europe = copy(u"OU=Europe", 2, tombstoneDn(u"OU=Sales", 1));
    revivo::TombstoneRef ada = copy(u"CN=Ada", 3, tombstoneDn(u"OU=Europe", 2), u"user");
    revivo::TombstoneRef bob = copy(u"CN=Bob", 4, tombstoneDn(u"OU=Europe", 2), u"user");
    revivo::TombstoneRef finance = copy(u"OU=Finance", 5, u"OU=Corp," + kContext);
    revivo::TombstoneRef cyd = copy(u"CN=Cyd\\, Jr.", 6, tombstoneDn(u"OU=Finance", 5), u"user");
    revivo::TombstoneRef live = copy(u"CN=Dee", 7, u"OU=Staff," + kContext, u"user");
    std::vector<revivo::TombstoneRef> listed() const { return {cyd, ada, live, bob, europe, finance, sales}; }
};

std::vector<std::u16string> namesOf(const std::vector<revivo::SharedPlanStep>& plan) {
    std::vector<std::u16string> names;
    for (const revivo::SharedPlanStep& step : plan)
        names.push_back(step.step.name.substr(0, step.step.name.find(u'\n')) + (step.asked ? u"*" : u""));
    return names;
}

TEST(SharedRestorePlan, ParentsSharedBySeveralComeBackOnceAndFirst) {
    TwoDeletedOus domain;
    revivo::PlanningIndex index(domain.listed());
    auto plan = revivo::PlanRestoreOfMany(
        {stepOf(*domain.ada), stepOf(*domain.cyd), stepOf(*domain.bob), stepOf(*domain.live)}, index);
    EXPECT_EQ(namesOf(plan), (std::vector<std::u16string>{u"Sales", u"Europe", u"Ada*", u"Finance", u"Cyd\\, Jr.*",
                                                          u"Bob*", u"Dee*"}));
    // Each step goes below the one before it in its own chain, and says so.
    EXPECT_EQ(plan[1].parent, 0u);
    EXPECT_EQ(plan[2].parent, 1u);
    EXPECT_EQ(plan[5].parent, 1u) << "Bob goes below the Europe Ada brought back";
    EXPECT_EQ(plan[4].parent, 3u);
    EXPECT_EQ(plan[6].parent, revivo::SharedPlanStep::kNoParent);
    EXPECT_EQ((std::vector<size_t>{plan[0].depth, plan[1].depth, plan[2].depth, plan[5].depth}),
              (std::vector<size_t>{0, 1, 2, 2}));
    EXPECT_EQ(plan[2].object, 0u);
    EXPECT_EQ(plan[4].object, 1u);
    EXPECT_EQ(plan[5].object, 2u);
    EXPECT_EQ(plan[5].step.target, u"CN=Bob,OU=Europe,OU=Sales,OU=Corp," + kContext);
    EXPECT_EQ(plan[4].step.target, u"CN=Cyd\\, Jr.,OU=Finance,OU=Corp," + kContext);

    // A selected container and something selected inside it: the container once, first,
    // counted as asked for; the same object selected twice is planned once.
    plan = revivo::PlanRestoreOfMany({stepOf(*domain.bob), stepOf(*domain.sales), stepOf(*domain.bob)}, index);
    EXPECT_EQ(namesOf(plan), (std::vector<std::u16string>{u"Sales*", u"Europe", u"Bob*"}));
    EXPECT_EQ(plan[0].object, 1u);
    EXPECT_EQ(plan[2].object, 0u);
}

TEST(SharedRestorePlan, AParentNoLongerListedStartsItsChainOneLevelDown) {
    TwoDeletedOus domain;
    // Sales is gone for good: Europe's chain starts below a parent only a backup recreates.
    revivo::PlanningIndex index({domain.ada, domain.europe, domain.finance, domain.cyd});
    auto plan = revivo::PlanRestoreOfMany({stepOf(*domain.ada), stepOf(*domain.cyd)}, index);
    EXPECT_EQ(namesOf(plan), (std::vector<std::u16string>{u"Europe", u"Ada*", u"Finance", u"Cyd\\, Jr.*"}));
    EXPECT_EQ(plan[0].missingParent, tombstoneDn(u"OU=Sales", 1));
    EXPECT_TRUE(plan[0].step.target.empty());
    EXPECT_TRUE(plan[1].step.target.empty());
    EXPECT_EQ(plan[1].depth, 2u);
    EXPECT_TRUE(plan[2].missingParent.empty());
    EXPECT_EQ(plan[3].step.target, u"CN=Cyd\\, Jr.,OU=Finance,OU=Corp," + kContext);
}

// The column's answer for every listed tombstone is the plan command's last target for it.
TEST(SharedRestorePlan, RestoresIntoIsWhatThePlanGivesTheObject) {
    TwoDeletedOus domain;
    auto loopA = copy(u"OU=LoopA", 8, tombstoneDn(u"OU=LoopB", 9));
    auto loopB = copy(u"OU=LoopB", 9, tombstoneDn(u"OU=LoopA", 8));
    std::vector<revivo::TombstoneRef> listed = domain.listed();
    listed.push_back(loopA);
    listed.push_back(loopB);
    revivo::PlanningIndex index(listed);
    lumivel::shared::ListedTombstones byGuid([&](size_t id) {
        return lumivel::shared::ListedTombstones::Texts{listed[id]->distinguishedName(), listed[id]->lastKnownParent()};
    });
    for (size_t i = 0; i < listed.size(); ++i) byGuid.add(listed[i]->name(), i);
    for (const revivo::TombstoneRef& each : listed) {
        revivo::RestoreChain plan = revivo::PlanRestoreChain(stepOf(*each), index);
        EXPECT_EQ(lumivel::shared::RestoredDnOf(each->distinguishedName(), each->lastKnownParent(), byGuid),
                  plan.steps.back().target)
            << std::string(each->distinguishedName().begin(), each->distinguishedName().end());
    }
    EXPECT_EQ(lumivel::shared::RestoredDnOf(domain.ada->distinguishedName(), domain.ada->lastKnownParent(), byGuid),
              u"CN=Ada,OU=Europe,OU=Sales,OU=Corp," + kContext);
    EXPECT_TRUE(lumivel::shared::RestoredDnOf(loopA->distinguishedName(), loopA->lastKnownParent(), byGuid).empty());
    // Without its parents listed it has no place yet.
    lumivel::shared::ListedTombstones alone([](size_t) { return lumivel::shared::ListedTombstones::Texts{}; });
    EXPECT_TRUE(lumivel::shared::RestoredDnOf(domain.ada->distinguishedName(), domain.ada->lastKnownParent(), alone).empty());
    EXPECT_EQ(lumivel::shared::RestoredDnOf(domain.live->distinguishedName(), domain.live->lastKnownParent(), alone),
              u"CN=Dee,OU=Staff," + kContext);
}

}  // namespace
