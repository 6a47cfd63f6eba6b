// Image lists: icons in and out, merge, duplicate, and the stream form round trip with its
// refusal of short and damaged streams.
#include <gtest/gtest.h>

#include "lumivel/gdi_objects.h"
#include "memory_stream.h"
#include "win/commctrl.h"
#include "win/errors.h"

namespace {

using lumivel::gfx::Image;

constexpr lumivel::gfx::Argb kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu;

struct ImageListPtr {
    HIMAGELIST handle;
    explicit ImageListPtr(HIMAGELIST h) : handle(h) {}
    ~ImageListPtr() {
        if (handle) ImageList_Destroy(handle);
    }
    operator HIMAGELIST() const { return handle; }
};

// A list like the schema cache's: base icons and their overlaid variants.
HIMAGELIST MakeList(int size) {
    HIMAGELIST list = ImageList_Create(size, size, ILC_MASK | ILC_COLOR8, 1, 500);
    HICON icon = LoadIconW(nullptr, MAKEINTRESOURCEW(101));
    HICON overlay = LoadIconW(nullptr, MAKEINTRESOURCEW(110));
    ImageList_ReplaceIcon(list, -1, icon);
    ImageList_ReplaceIcon(list, -1, overlay);
    ImageList_ReplaceIcon(list, -1, icon);
    return list;
}

TEST(ImageList, IconsAreTakenAtTheListSize) {
    ImageListPtr small(MakeList(16));
    ImageListPtr large(MakeList(32));
    ASSERT_EQ(ImageList_GetImageCount(small), 3);
    auto s = lumivel::gfx::ImageListImage(small, 0);
    auto l = lumivel::gfx::ImageListImage(large, 0);
    ASSERT_TRUE(s && l);
    EXPECT_EQ(s->width, 16);
    EXPECT_EQ(s->at(5, 5), kRed) << "the 16-pixel image of the icon";
    EXPECT_TRUE(lumivel::gfx::IsTransparent(s->at(0, 0)));
    EXPECT_EQ(l->width, 32);
    EXPECT_EQ(l->at(5, 5), kGreen) << "the 32-pixel image of the icon";
    EXPECT_TRUE(lumivel::gfx::IsTransparent(l->at(0, 0)));

    // Replacing in place, and refusing a position past the end.
    HICON overlay = LoadIconW(nullptr, MAKEINTRESOURCEW(110));
    EXPECT_EQ(ImageList_ReplaceIcon(small, 0, overlay), 0);
    EXPECT_EQ(ImageList_ReplaceIcon(small, 3, overlay), -1);
    EXPECT_EQ(ImageList_GetImageCount(small), 3);
}

TEST(ImageList, MergeDrawsTheSecondImageOverTheFirst) {
    ImageListPtr list(MakeList(16));
    ImageListPtr merged(ImageList_Merge(list, 0, list, 1, 0, 0));
    ASSERT_NE(merged.handle, nullptr);
    ASSERT_EQ(ImageList_GetImageCount(merged), 1);
    auto image = lumivel::gfx::ImageListImage(merged, 0);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 16);
    EXPECT_EQ(image->at(5, 5), kRed) << "base where the overlay is transparent";
    EXPECT_EQ(image->at(13, 13), kBlue) << "overlay where it is opaque";
    EXPECT_TRUE(lumivel::gfx::IsTransparent(image->at(0, 0))) << "transparent where both are";

    // The merged icon carries the same pixels and its mask.
    HICON icon = ImageList_GetIcon(merged, 0, ILD_NORMAL);
    auto drawn = lumivel::gfx::IconImage(icon, 16);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(*drawn, *image);
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon)) << "a destroyed icon handle is stale";

    // An offset widens the result to hold both images.
    ImageListPtr shifted(ImageList_Merge(list, 0, list, 1, 4, -2));
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(shifted, &cx, &cy));
    EXPECT_EQ(cx, 20);
    EXPECT_EQ(cy, 18);
    EXPECT_EQ(ImageList_Merge(list, 0, list, 7, 0, 0), nullptr);
}

TEST(ImageList, DuplicateIsIndependent) {
    ImageListPtr list(MakeList(16));
    ImageListPtr copy(ImageList_Duplicate(list));
    ASSERT_EQ(ImageList_GetImageCount(copy), 3);
    ASSERT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
    EXPECT_EQ(ImageList_GetImageCount(copy), 3);
    EXPECT_EQ(ImageList_SetBkColor(copy, RGB(0, 255, 255)), CLR_NONE);
    EXPECT_EQ(ImageList_GetBkColor(list), CLR_NONE) << "the background is the copy's own";
    ImageList_Destroy(copy.handle);
    copy.handle = nullptr;
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
}

TEST(ImageList, WriteReadRoundTripsPixelForPixel) {
    ImageListPtr list(MakeList(32));
    ImageList_SetBkColor(list, RGB(0, 255, 255));
    MemoryStream stream;
    ASSERT_TRUE(ImageList_Write(list, &stream));
    stream.data().push_back(0x5A);  // whatever follows the list stays unread
    stream.rewind();
    ImageListPtr read(ImageList_Read(&stream));
    ASSERT_NE(read.handle, nullptr);
    EXPECT_EQ(stream.position(), stream.data().size() - 1);
    ASSERT_EQ(ImageList_GetImageCount(read), 3);
    EXPECT_EQ(ImageList_GetBkColor(read), RGB(0, 255, 255));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(lumivel::gfx::ImageListImage(read, i), lumivel::gfx::ImageListImage(list, i)) << i;

    ImageListPtr empty(ImageList_Create(16, 16, ILC_MASK, 1, 1));
    MemoryStream emptyStream;
    ASSERT_TRUE(ImageList_Write(empty, &emptyStream));
    emptyStream.rewind();
    ImageListPtr emptyRead(ImageList_Read(&emptyStream));
    ASSERT_NE(emptyRead.handle, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(emptyRead), 0);
}

// Every cut of a saved list is refused, also through a stream that claims full reads (the
// schema cache's file stream behaves so), and so is any single damaged byte.
TEST(ImageList, ShortOrDamagedStreamsGiveNoList) {
    ImageListPtr list(MakeList(16));
    MemoryStream saved;
    ASSERT_TRUE(ImageList_Write(list, &saved));
    const std::vector<BYTE> bytes = saved.data();
    for (size_t n = 0; n < bytes.size(); n += (n < 64 ? 1 : 97)) {
        for (bool claim : {false, true}) {
            MemoryStream cut(std::vector<BYTE>(bytes.begin(), bytes.begin() + long(n)), claim);
            HIMAGELIST read = ImageList_Read(&cut);
            EXPECT_EQ(read, nullptr) << "cut at " << n << (claim ? " (claiming full reads)" : "");
            if (read) ImageList_Destroy(read);
        }
    }
    for (size_t at : {size_t(0), size_t(4), size_t(9), size_t(40), bytes.size() / 2, bytes.size() - 1}) {
        std::vector<BYTE> damaged = bytes;
        damaged[at] ^= 0x01;
        MemoryStream stream(damaged);
        HIMAGELIST read = ImageList_Read(&stream);
        EXPECT_EQ(read, nullptr) << "byte " << at;
        if (read) ImageList_Destroy(read);
    }
}

TEST(ImageList, HostileHeadersAreRefusedBeforeAllocating) {
    ImageListPtr list(ImageList_Create(16, 16, ILC_MASK, 1, 1));
    MemoryStream saved;
    ASSERT_TRUE(ImageList_Write(list, &saved));
    auto patched = [&](size_t offset, uint32_t value) {
        std::vector<BYTE> bytes = saved.data();
        for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = BYTE(value >> (8 * i));
        return bytes;
    };
    const std::vector<BYTE> cases[] = {
        patched(8, 0),           // zero width
        patched(8, 100000),      // huge width
        patched(20, 0xFFFFFFFF), // impossible count
        patched(20, 60000),      // plausible count, far more pixels than allowed
    };
    for (const auto& bytes : cases) {
        MemoryStream stream(bytes, true);
        EXPECT_EQ(ImageList_Read(&stream), nullptr);
    }
    EXPECT_EQ(ImageList_Read(nullptr), nullptr);
    EXPECT_FALSE(ImageList_Write(list, nullptr));
}

TEST(ImageList, BadArgumentsAndStaleHandles) {
    EXPECT_EQ(ImageList_Create(0, 16, ILC_MASK, 1, 1), nullptr);
    EXPECT_EQ(ImageList_Create(16, 100000, ILC_MASK, 1, 1), nullptr);
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
    ASSERT_TRUE(ImageList_Destroy(list));
    SetLastError(0);
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(ImageList_Destroy(list));
    EXPECT_EQ(ImageList_Duplicate(list), nullptr);
    EXPECT_EQ(ImageList_ReplaceIcon(list, -1, LoadIconW(nullptr, MAKEINTRESOURCEW(101))), -1);
    ImageListPtr live(ImageList_Create(16, 16, ILC_MASK, 1, 1));
    EXPECT_EQ(ImageList_ReplaceIcon(live, -1, reinterpret_cast<HICON>(0x4444)), -1);
}

}  // namespace
