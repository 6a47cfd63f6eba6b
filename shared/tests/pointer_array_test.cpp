#include "shared/pointer_array.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using lumivel::shared::PointerArray;

std::vector<int*> g_destroyed;
void recordDestroy(void* element) { g_destroyed.push_back(static_cast<int*>(element)); }

TEST(PointerArrayTest, RoomStartsAtEightAndGrowsByEight) {
    PointerArray array;
    EXPECT_EQ(array.room(), 0);
    int values[20];
    std::vector<LONG> rooms;
    for (int& value : values) {
        ASSERT_TRUE(array.append(&value));
        rooms.push_back(array.room());
    }
    EXPECT_EQ(rooms[0], 8);
    EXPECT_EQ(rooms[7], 8);
    EXPECT_EQ(rooms[8], 16);
    EXPECT_EQ(rooms[16], 24);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(array.at(i), &values[i]);
    EXPECT_EQ(array.at(20), nullptr);
    EXPECT_EQ(array.at(-1), nullptr);
}

TEST(PointerArrayTest, InsertAndDetachKeepTheOrderOfTheRest) {
    PointerArray array;
    int a, b, c, d;
    array.append(&a);
    array.append(&c);
    EXPECT_TRUE(array.insert(1, &b));
    EXPECT_TRUE(array.insert(3, &d));
    EXPECT_FALSE(array.insert(5, &d)) << "past the end";
    EXPECT_FALSE(array.insert(-1, &d));
    EXPECT_EQ(array.count(), 4);
    EXPECT_EQ(array.detach(0), &a);
    EXPECT_EQ(array.detach(7), nullptr);
    ASSERT_EQ(array.count(), 3);
    EXPECT_EQ(array.at(0), &b);
    EXPECT_EQ(array.at(1), &c);
    EXPECT_EQ(array.at(2), &d);
}

TEST(PointerArrayTest, OnlyAnOwningArrayDestroysItsElements) {
    int a, b, c;
    g_destroyed.clear();
    {
        PointerArray referring;
        referring.append(&a);
        referring.remove(0);
        referring.append(&b);
    }
    EXPECT_TRUE(g_destroyed.empty());
    {
        PointerArray owning(&recordDestroy);
        EXPECT_TRUE(owning.owning());
        owning.append(&a);
        owning.append(&b);
        owning.append(&c);
        owning.remove(1);
        EXPECT_EQ(g_destroyed, std::vector<int*>{&b});
        EXPECT_EQ(owning.detach(0), &a) << "detached elements are handed back, not destroyed";
        PointerArray moved(std::move(owning));
        EXPECT_EQ(owning.count(), 0);
        EXPECT_EQ(moved.count(), 1);
    }
    EXPECT_EQ(g_destroyed, (std::vector<int*>{&b, &c}));
}

}  // namespace
