// The context menu's ids: every provider command keeps its provider, "&New" items their mark,
// and nothing lands on the built-in items.
#include <gtest/gtest.h>

#include <set>

#include "resultpane/menu_ids.h"

namespace panorel {
namespace {

TEST(MenuIds, EveryCarriedCommandDecodesToItsProviderAndNoTwoCollide) {
    std::set<UINT> seen;
    for (size_t provider = 0; provider < kMaxMenuProviders; ++provider) {
        for (UINT command = 1; command <= 0xFFF; ++command) {
            for (bool fromNew : {false, true}) {
                UINT id = ProviderMenuId(provider, command, fromNew);
                if (id == 0) continue;
                EXPECT_TRUE(seen.insert(id).second) << id;
                auto decoded = DecodeMenuId(id);
                ASSERT_TRUE(decoded);
                EXPECT_EQ(decoded->provider, provider);
                EXPECT_EQ(decoded->command, LONG(command));
                EXPECT_EQ(decoded->fromNew, fromNew);
            }
        }
    }
    for (UINT builtIn : {kMenuDelete, kMenuReserved, kMenuProperties}) {
        EXPECT_FALSE(seen.count(builtIn));
        EXPECT_FALSE(DecodeMenuId(builtIn));
    }
}

TEST(MenuIds, CommandsThatCannotBeCarriedAreRefused) {
    EXPECT_EQ(ProviderMenuId(1, 904, false), 0u) << "would be 5000";
    EXPECT_NE(ProviderMenuId(1, 904, true), 0u) << "a \"&New\" item is told apart by its mark";
    EXPECT_EQ(ProviderMenuId(16, 1, false), 0u);
    EXPECT_EQ(ProviderMenuId(0, 0, false), 0u);
    EXPECT_EQ(ProviderMenuId(0, 0x1000, false), 0u);
    EXPECT_NE(ProviderMenuId(8, 1, false), ProviderMenuId(0, 1, true)) << "index 8 is no \"&New\" mark";
    EXPECT_FALSE(DecodeMenuId(0));
    EXPECT_FALSE(DecodeMenuId(0x20001));
}

}  // namespace
}  // namespace panorel
