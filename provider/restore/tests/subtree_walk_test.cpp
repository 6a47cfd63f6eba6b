// A subtree restore's order and its stops: parents always before what is below them, nothing
// tried below an object that did not come back, and a Cancel at any object leaving exactly
// the rest as tombstones.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <set>

#include "provider/restore/subtree_walk.h"
#include "shared/text_helpers.h"

namespace {

const std::u16string kContext = u"DC=walk,DC=test";
const std::u16string kLive = u"OU=Live," + kContext;

std::u16string guidOf(int n) {
    std::u16string digits = lumivel::shared::WidenText(std::to_string(1000 + n));
    return u"0000" + digits + u"-0000-4000-8000-000000000000";
}

std::u16string tombstoneDn(int n) {
    return u"OU=N" + lumivel::shared::WidenText(std::to_string(n)) + u"\\0ADEL:" + guidOf(n) +
           u",CN=Deleted Objects," + kContext;
}

// Tombstone n, deleted from below tombstone `parent` (or from a live OU when parent < 0).
revivo::TombstoneRef copy(int n, int parent) {
    std::u16string dnText = tombstoneDn(n), parentDn = parent < 0 ? kLive : tombstoneDn(parent);
    std::u16string name = u"N" + lumivel::shared::WidenText(std::to_string(n)) + u"\nDEL:" + guidOf(n);
    const std::u16string_view fields[] = {dnText, parentDn, name, u"organizationalUnit", u"", u"", u""};
    return std::make_shared<const revivo::TombstoneCopy>(fields, 0);
}

revivo::SubtreeEntry rootEntry(const revivo::TombstoneCopy& of) {
    revivo::SubtreeEntry root;
    root.name = of.name();
    root.tombstone = of.distinguishedName();
    root.guid = lumivel::FoldCase(guidOf(std::stoi(lumivel::shared::NarrowText(of.name().substr(1, 4)))));
    return root;
}

int numberOf(const revivo::SubtreeEntry& entry) {
    return std::stoi(lumivel::shared::NarrowText(entry.name.substr(1, entry.name.find(u'\n') - 1)));
}

// The root restored, as the caller does before the walk.
std::vector<revivo::SubtreeEntry> restoredRoot(std::vector<revivo::SubtreeEntry> entries) {
    entries.front().outcome = revivo::StepOutcome::Restored;
    entries.front().target = u"OU=N0," + kLive;
    return entries;
}

TEST(ListedSubtree, ParentsComeFirstAndNoListingLoopsOrRepeats) {
    // 0 holds 1 and 2; 1 holds 3, which is listed twice; 4 and 5 name each other (a loop
    // outside the tree); 6 lies elsewhere.
    std::vector<revivo::TombstoneRef> listed{copy(3, 1), copy(1, 0), copy(4, 5), copy(5, 4), copy(2, 0),
                                             copy(6, -1), copy(3, 1), copy(0, -1)};
    auto entries = revivo::ListedSubtree(rootEntry(*listed.back()), listed);
    std::vector<int> order;
    for (const auto& entry : entries) order.push_back(numberOf(entry));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    for (size_t i = 1; i < entries.size(); ++i) EXPECT_LT(entries[i].parent, i) << "the parent comes first";
    EXPECT_EQ(numberOf(entries[entries[3].parent]), 1);
}

TEST(ListedSubtree, AChildNamingTheRootAsItsOwnParentChainIsTakenOnce) {
    // The root listed again as a child of its own child: it stays the root alone.
    std::vector<revivo::TombstoneRef> listed{copy(0, 1), copy(1, 0)};
    auto entries = revivo::ListedSubtree(rootEntry(*listed.front()), listed);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(numberOf(entries[1]), 1);
}

struct Walk {
    std::vector<int> attempted;
    std::vector<std::pair<size_t, size_t>> heard;
};

TEST(RestoreDescendants, ACancelAtTheKthObjectLeavesThatOneAndTheRestAsTombstones) {
    std::vector<revivo::TombstoneRef> listed{copy(0, -1)};
    for (int n = 1; n <= 6; ++n) listed.push_back(copy(n, n <= 3 ? 0 : n - 3));
    auto entries = restoredRoot(revivo::ListedSubtree(rootEntry(*listed.front()), listed));
    ASSERT_EQ(entries.size(), 7u);
    Walk walk;
    revivo::RestoreDescendants(
        entries, revivo::OnFailure::Stop,
        [&](const revivo::SubtreeEntry& entry) {
            walk.attempted.push_back(numberOf(entry));
            return std::optional<std::u16string>();
        },
        [&](size_t done, size_t total, const revivo::PlannedStep& next) {
            walk.heard.emplace_back(done, total);
            EXPECT_FALSE(next.target.empty());
            return done < 4;
        });
    EXPECT_EQ(walk.attempted, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(walk.heard, (std::vector<std::pair<size_t, size_t>>{{1, 7}, {2, 7}, {3, 7}, {4, 7}}))
        << "asked once per object, not again after it said no";
    for (size_t i = 4; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].outcome, revivo::StepOutcome::NotAttempted);
        EXPECT_EQ(entries[i].error, revivo::kStoppedBeforeIt);
    }
    EXPECT_EQ(entries[1].target, u"OU=N1,OU=N0," + kLive);
    EXPECT_EQ(entries[4].target, u"OU=N4,OU=N1,OU=N0," + kLive) << "the report still says where it would go";
}

TEST(RestoreDescendants, NothingIsTriedBelowAFailureAndStopEndsTheRest) {
    std::vector<revivo::TombstoneRef> listed{copy(0, -1), copy(1, 0), copy(2, 0), copy(3, 1), copy(4, 2)};
    for (revivo::OnFailure onFailure : {revivo::OnFailure::Stop, revivo::OnFailure::KeepGoing}) {
        auto entries = restoredRoot(revivo::ListedSubtree(rootEntry(*listed.front()), listed));
        std::vector<int> attempted;
        revivo::RestoreDescendants(
            entries, onFailure,
            [&](const revivo::SubtreeEntry& entry) -> std::optional<std::u16string> {
                attempted.push_back(numberOf(entry));
                if (numberOf(entry) == 1) return std::u16string();  // a failure without words
                return std::nullopt;
            },
            {});
        EXPECT_EQ(entries[1].outcome, revivo::StepOutcome::Failed);
        EXPECT_FALSE(entries[1].error.empty()) << "a failure always says something";
        EXPECT_EQ(entries[3].error, u"its parent was not restored");
        if (onFailure == revivo::OnFailure::Stop) {
            EXPECT_EQ(attempted, (std::vector<int>{1}));
            EXPECT_EQ(entries[2].error, u"the restore stopped at the first failure");
        } else {
            EXPECT_EQ(attempted, (std::vector<int>{1, 2, 4}));
            EXPECT_EQ(entries[4].outcome, revivo::StepOutcome::Restored);
        }
    }
}

TEST(RestoreDescendants, NoRootBackMeansNothingIsTriedOrAsked) {
    std::vector<revivo::TombstoneRef> listed{copy(0, -1), copy(1, 0), copy(2, 1)};
    auto entries = revivo::ListedSubtree(rootEntry(*listed.front()), listed);
    entries.front().outcome = revivo::StepOutcome::Failed;
    bool called = false;
    revivo::RestoreDescendants(
        entries, revivo::OnFailure::KeepGoing,
        [&](const revivo::SubtreeEntry&) {
            called = true;
            return std::optional<std::u16string>();
        },
        [&](size_t, size_t, const revivo::PlannedStep&) { return called = true; });
    EXPECT_FALSE(called);
    for (size_t i = 1; i < entries.size(); ++i) EXPECT_EQ(entries[i].outcome, revivo::StepOutcome::NotAttempted);
}

// Random trees, failures and cancel points: whatever happens, what came back is closed under
// "its parent came back", objects are tried in list order, and none after the Cancel.
TEST(RestoreDescendants, NoChildEverComesBackWithoutItsParent) {
    std::mt19937 random(20261209);
    for (int round = 0; round < 200; ++round) {
        int count = 2 + int(random() % 60);
        std::vector<revivo::TombstoneRef> listed{copy(0, -1)};
        for (int n = 1; n < count; ++n) listed.push_back(copy(n, int(random() % n)));
        std::shuffle(listed.begin() + 1, listed.end(), random);
        auto entries = restoredRoot(revivo::ListedSubtree(rootEntry(*listed.front()), listed));
        ASSERT_EQ(entries.size(), size_t(count));
        size_t cancelAt = 1 + random() % count;
        std::set<int> failing;
        for (int n = 1; n < count; ++n)
            if (random() % 8 == 0) failing.insert(n);
        std::vector<size_t> triedAt;
        size_t lastAsked = 0;
        revivo::RestoreDescendants(
            entries, revivo::OnFailure::KeepGoing,
            [&](const revivo::SubtreeEntry& entry) -> std::optional<std::u16string> {
                triedAt.push_back(lastAsked);
                if (failing.count(numberOf(entry))) return std::u16string(u"refused");
                return std::nullopt;
            },
            [&](size_t done, size_t, const revivo::PlannedStep&) {
                EXPECT_GT(done, lastAsked);
                lastAsked = done;
                return done < cancelAt;
            });
        for (size_t i = 1; i < triedAt.size(); ++i) EXPECT_LT(triedAt[i - 1], triedAt[i]);
        for (size_t i = 1; i < entries.size(); ++i) {
            const auto& entry = entries[i];
            if (entry.outcome == revivo::StepOutcome::Restored) {
                EXPECT_EQ(entries[entry.parent].outcome, revivo::StepOutcome::Restored) << "round " << round;
            }
            if (i >= cancelAt) {
                EXPECT_EQ(entry.outcome, revivo::StepOutcome::NotAttempted) << "round " << round;
            }
            if (entry.outcome == revivo::StepOutcome::NotAttempted) {
                EXPECT_FALSE(entry.error.empty());
            }
        }
    }
}

}  // namespace
