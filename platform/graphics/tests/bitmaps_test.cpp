// Bitmaps, memory DCs and pictures: the icon-strip path of the schema cache end to end, the
// saved BMP read back by a decoder written here from the file format alone.
#include <gtest/gtest.h>

#include <cstring>

#include "lumivel/gdi_objects.h"
#include "memory_stream.h"
#include "win/commctrl.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/olectl.h"

namespace {

// An independent reader of uncompressed 24-bit BMP files: returns COLORREF pixels, top row
// first, or nothing when the headers are not what a standard BMP has.
struct DecodedBmp {
    int width = 0, height = 0;
    std::vector<COLORREF> pixels;
    COLORREF at(int x, int y) const { return pixels[size_t(y * width + x)]; }
};

std::optional<DecodedBmp> ReadBmp(const std::vector<BYTE>& file) {
    auto u16 = [&](size_t o) { return unsigned(file[o] | file[o + 1] << 8); };
    auto u32 = [&](size_t o) { return uint32_t(u16(o) | u16(o + 2) << 16); };
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return std::nullopt;
    if (u32(2) != file.size()) return std::nullopt;            // bfSize
    uint32_t offset = u32(10);
    if (u32(14) != 40 || u16(26) != 1 || u16(28) != 24 || u32(30) != 0) return std::nullopt;
    DecodedBmp bmp;
    bmp.width = int(u32(18));
    bmp.height = int(u32(22));
    size_t stride = (size_t(bmp.width) * 3 + 3) & ~size_t(3);
    if (offset + stride * size_t(bmp.height) > file.size()) return std::nullopt;
    bmp.pixels.resize(size_t(bmp.width * bmp.height));
    for (int row = 0; row < bmp.height; ++row) {
        const BYTE* line = file.data() + offset + stride * size_t(row);
        int y = bmp.height - 1 - row;  // bottom-up
        for (int x = 0; x < bmp.width; ++x)
            bmp.pixels[size_t(y * bmp.width + x)] = RGB(line[x * 3 + 2], line[x * 3 + 1], line[x * 3]);
    }
    return bmp;
}

TEST(Bitmaps, ResourceBitmapAndItsDibHeader) {
    HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(201));
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof(info), &info), int(sizeof(info)));
    EXPECT_EQ(info.bmWidth, 16);
    EXPECT_EQ(info.bmHeight, 16);

    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    EXPECT_EQ(GetDIBits(dc, bitmap, 0, 0, nullptr, &header, DIB_RGB_COLORS), 16);
    EXPECT_EQ(header.bmiHeader.biWidth, 16);
    EXPECT_EQ(header.bmiHeader.biHeight, 16);
    EXPECT_EQ(header.bmiHeader.biBitCount, 32);

    // The pixels as 32-bit bottom-up rows: row 0 of the DIB is the picture's last row.
    std::vector<BYTE> rows(16 * 16 * 4);
    ASSERT_EQ(GetDIBits(dc, bitmap, 0, 16, rows.data(), &header, DIB_RGB_COLORS), 16);
    EXPECT_EQ(rows[0], 0xFF) << "white corner";
    const BYTE* secondLastRow = rows.data() + 14 * 16 * 4;
    EXPECT_EQ(secondLastRow[1 * 4], 0x00) << "black frame";
    DeleteDC(dc);
    DeleteObject(bitmap);
    EXPECT_FALSE(DeleteObject(bitmap));
}

// Bitmap 201 gives the format, a strip three images wide is drawn from the list over the
// background colour, wrapped in a picture and saved as a BMP file.
TEST(Bitmaps, IconStripSavedAsBmpDecodesIndependently) {
    HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK | ILC_COLOR8, 1, 500);
    ImageList_ReplaceIcon(list, -1, LoadIconW(nullptr, MAKEINTRESOURCEW(101)));
    ImageList_ReplaceIcon(list, -1, LoadIconW(nullptr, MAKEINTRESOURCEW(110)));
    ImageList_ReplaceIcon(list, -1, LoadIconW(nullptr, MAKEINTRESOURCEW(101)));

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP format = LoadBitmapW(nullptr, MAKEINTRESOURCEW(201));
    HGDIOBJ original = SelectObject(dc, format);
    ASSERT_NE(original, nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_NE(GetDIBits(dc, format, 0, 0, nullptr, &info, DIB_RGB_COLORS), 0);
    info.bmiHeader.biWidth = 16 * 3;
    HBITMAP strip = CreateDIBitmap(dc, &info.bmiHeader, 0, nullptr, nullptr, DIB_RGB_COLORS);
    ASSERT_NE(strip, nullptr);
    EXPECT_EQ(SelectObject(dc, strip), format) << "SelectObject returns what was selected";
    ImageList_SetBkColor(list, 0x00FFFF00);
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(ImageList_Draw(list, i, dc, 16 * i, 0, ILD_NORMAL));

    PICTDESC desc{};
    desc.cbSizeofstruct = sizeof(desc);
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = strip;
    IPicture* picture = nullptr;
    ASSERT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture)), S_OK);
    MemoryStream stream;
    LONG size = 0;
    ASSERT_EQ(picture->SaveAsFile(&stream, TRUE, &size), S_OK);
    EXPECT_EQ(size_t(size), stream.data().size());
    SHORT type = 0;
    picture->get_Type(&type);
    EXPECT_EQ(type, PICTYPE_BITMAP);

    auto bmp = ReadBmp(stream.data());
    ASSERT_TRUE(bmp.has_value());
    EXPECT_EQ(bmp->width, 48);
    EXPECT_EQ(bmp->height, 16);
    EXPECT_EQ(bmp->at(0, 0), RGB(0, 255, 255)) << "transparent pixels in the background colour";
    EXPECT_EQ(bmp->at(5, 5), RGB(255, 0, 0)) << "first image";
    EXPECT_EQ(bmp->at(16 + 13, 13), RGB(0, 0, 255)) << "second image";
    EXPECT_EQ(bmp->at(16 + 5, 5), RGB(0, 255, 255));
    EXPECT_EQ(bmp->at(32 + 5, 5), RGB(255, 0, 0)) << "third image";

    // The picture owns the strip: releasing it deletes the bitmap.
    SelectObject(dc, original);
    picture->Release();
    EXPECT_FALSE(DeleteObject(strip));
    DeleteObject(format);
    DeleteDC(dc);
    ImageList_Destroy(list);
}

TEST(Bitmaps, PictureStreamFormRoundTrips) {
    HBITMAP bitmap = LoadBitmapW(nullptr, MAKEINTRESOURCEW(201));
    PICTDESC desc{};
    desc.cbSizeofstruct = sizeof(desc);
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = bitmap;
    IPersistStream* persist = nullptr;
    ASSERT_EQ(OleCreatePictureIndirect(&desc, IID_IPersistStream, FALSE, reinterpret_cast<void**>(&persist)), S_OK);
    MemoryStream stream;
    ASSERT_EQ(persist->Save(&stream, TRUE), S_OK);
    persist->Release();
    EXPECT_TRUE(DeleteObject(bitmap)) << "a picture that does not own its bitmap leaves it";

    IPersistStream* loaded = nullptr;
    ASSERT_EQ(OleCreatePictureIndirect(nullptr, IID_IPersistStream, TRUE, reinterpret_cast<void**>(&loaded)), S_OK);
    stream.rewind();
    ASSERT_EQ(loaded->Load(&stream), S_OK);
    IPicture* picture = nullptr;
    ASSERT_EQ(loaded->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&picture)), S_OK);
    OLE_XSIZE_HIMETRIC width = 0;
    picture->get_Width(&width);
    EXPECT_EQ(width, 423) << "16 pixels at 96 dots per inch";
    picture->Release();

    MemoryStream garbage(std::vector<BYTE>(64, 0x33));
    EXPECT_NE(loaded->Load(&garbage), S_OK);
    loaded->Release();

    desc.picType = PICTYPE_ICON;
    void* none = nullptr;
    EXPECT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, FALSE, &none), E_NOTIMPL);
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = bitmap;  // deleted above
    EXPECT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, FALSE, &none), E_INVALIDARG);
}

TEST(Bitmaps, FillAndRectangleOnTheControlSurface) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateCompatibleBitmap(dc, 10, 10);
    SelectObject(dc, target);
    RECT all{0, 0, 10, 10};
    ASSERT_TRUE(FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE)));
    EXPECT_EQ(GetPixel(dc, 9, 9), GetSysColor(COLOR_BTNFACE));
    // A brush may be a colour index plus one.
    ASSERT_TRUE(FillRect(dc, &all, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1)));
    EXPECT_EQ(GetPixel(dc, 0, 0), GetSysColor(COLOR_WINDOW));

    SelectObject(dc, GetSysColorBrush(COLOR_BTNFACE));
    SelectObject(dc, GetStockObject(NULL_PEN));
    ASSERT_TRUE(Rectangle(dc, 0, 0, 10, 10));
    EXPECT_EQ(GetPixel(dc, 8, 8), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(GetPixel(dc, 9, 9), GetSysColor(COLOR_WINDOW)) << "without a pen the fill stops one pixel short";
    EXPECT_EQ(GetPixel(dc, 10, 10), CLR_INVALID);

    EXPECT_TRUE(DeleteObject(GetStockObject(NULL_PEN))) << "stock objects survive deletion";
    DeleteDC(dc);
    EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID) << "a deleted DC is refused";
    DeleteObject(target);
}

}  // namespace
