#include <cstring>

#include <gtest/gtest.h>

#include "win/errors.h"
#include "win/memory.h"

// A stream over a caller's block grows it; the caller's handle must stay valid and see the data.
TEST(GlobalMemory, MoveableHandleSurvivesGrowth) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 4);
    ASSERT_NE(handle, nullptr);
    std::memcpy(GlobalLock(handle), "abcd", 4);
    GlobalUnlock(handle);
    EXPECT_EQ(GlobalReAlloc(handle, 1 << 20, GMEM_MOVEABLE | GMEM_ZEROINIT), handle);
    EXPECT_EQ(GlobalSize(handle), SIZE_T(1) << 20);
    auto* data = static_cast<char*>(GlobalLock(handle));
    EXPECT_EQ(std::memcmp(data, "abcd", 4), 0);
    EXPECT_EQ(data[(1 << 20) - 1], 0);
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(GetLastError(), DWORD(NO_ERROR));
    EXPECT_FALSE(GlobalUnlock(handle));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_LOCKED));
    EXPECT_EQ(GlobalFree(handle), nullptr);
}

TEST(GlobalMemory, FixedBlockIsItsOwnPointer) {
    HGLOBAL handle = GlobalAlloc(GPTR, 16);
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(GlobalLock(handle), handle);
    EXPECT_EQ(GlobalSize(handle), 16u);
    GlobalUnlock(handle);
    EXPECT_EQ(GlobalFree(handle), nullptr);
}
