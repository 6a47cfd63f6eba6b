// Icons from resources: every size kept, shared handles, sized copies, stale handles.
#include <gtest/gtest.h>

#include "lumivel/gdi_objects.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/user.h"

namespace {

TEST(Icons, LoadIconKeepsBothSizesAndSharesTheHandle) {
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(101));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(101)), icon) << "one handle per resource icon";
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 16)->at(5, 5), 0xFFFF0000u);
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 32)->at(5, 5), 0xFF00FF00u);
    EXPECT_EQ(lumivel::gfx::IconImage(icon, 20)->width, 32) << "the nearest larger image";
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_NE(lumivel::gfx::IconImage(icon, 16), std::nullopt) << "a shared icon outlives DestroyIcon";

    SetLastError(0);
    EXPECT_EQ(LoadIconW(nullptr, MAKEINTRESOURCEW(555)), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_NE(LoadIconW(nullptr, IDI_APPLICATION), nullptr);
}

TEST(Icons, LoadImageGivesOwnSizedCopies) {
    struct Case {
        int cx, cy;
        UINT flags;
        int expectedWidth;
    };
    const Case cases[] = {{16, 16, 0, 16}, {32, 32, 0, 32}, {24, 24, 0, 24}, {0, 0, LR_DEFAULTSIZE, 32}, {48, 0, 0, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cx);
        HICON icon = static_cast<HICON>(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, c.cx, c.cy, c.flags));
        ASSERT_NE(icon, nullptr);
        auto image = lumivel::gfx::IconImage(icon, 1);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->width, c.expectedWidth);
        EXPECT_NE(icon, LoadIconW(nullptr, MAKEINTRESOURCEW(101)));
        EXPECT_TRUE(DestroyIcon(icon));
        EXPECT_FALSE(DestroyIcon(icon)) << "an own copy is gone after DestroyIcon";
    }
    EXPECT_EQ(LoadImageW(nullptr, MAKEINTRESOURCEW(101), IMAGE_ICON, 5000, 5000, 0), nullptr);
}

TEST(Icons, DrawIconExScalesAndMasks) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateCompatibleBitmap(dc, 40, 40);
    SelectObject(dc, target);
    RECT all{0, 0, 40, 40};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(101));
    ASSERT_TRUE(DrawIconEx(dc, 4, 4, icon, 16, 16, 0, nullptr, DI_NORMAL));
    EXPECT_EQ(GetPixel(dc, 4, 4), RGB(255, 255, 255)) << "transparent border leaves the background";
    EXPECT_EQ(GetPixel(dc, 10, 10), RGB(255, 0, 0));
    EXPECT_FALSE(DrawIconEx(dc, 0, 0, reinterpret_cast<HICON>(0x7000), 16, 16, 0, nullptr, DI_NORMAL));
    DeleteDC(dc);
    DeleteObject(target);
}

}  // namespace
