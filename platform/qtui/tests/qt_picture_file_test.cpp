// A picture saved as a BMP file opens in an ordinary image reader (Qt's), pixel for pixel,
// including a width whose rows need padding.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QImage>

#include "win/com.h"
#include "win/gdi.h"
#include "win/memory.h"
#include "win/objidl.h"
#include "win/olectl.h"
#include "win/user.h"

namespace {

COLORREF PixelColour(int x, int y) { return RGB(40 * x + 10, 80 * y + 20, (x * 7 + y * 13) & 0xFF); }

TEST(QtPictureFile, SavedBitmapOpensInQtImageReader) {
    constexpr int kWidth = 5, kHeight = 3;
    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = kWidth;
    header.biHeight = kHeight;
    header.biPlanes = 1;
    header.biBitCount = 32;
    HBITMAP bitmap = CreateDIBitmap(dc, &header, 0, nullptr, nullptr, DIB_RGB_COLORS);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ original = SelectObject(dc, bitmap);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) SetPixel(dc, x, y, PixelColour(x, y));
    SelectObject(dc, original);
    DeleteDC(dc);

    PICTDESC desc{};
    desc.cbSizeofstruct = sizeof(desc);
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = bitmap;
    IPicture* picture = nullptr;
    ASSERT_EQ(OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture)), S_OK);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    LONG size = 0;
    ASSERT_EQ(picture->SaveAsFile(stream, TRUE, &size), S_OK);
    HGLOBAL memory = nullptr;
    ASSERT_EQ(GetHGlobalFromStream(stream, &memory), S_OK);
    ASSERT_GE(GlobalSize(memory), SIZE_T(size));
    QByteArray file(static_cast<const char*>(GlobalLock(memory)), size);
    GlobalUnlock(memory);
    stream->Release();
    picture->Release();

    QImage image = QImage::fromData(file, "BMP");
    ASSERT_FALSE(image.isNull()) << "Qt's BMP reader refused the file";
    ASSERT_EQ(image.width(), kWidth);
    ASSERT_EQ(image.height(), kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            QColor seen = image.pixelColor(x, y);
            COLORREF expected = PixelColour(x, y);
            EXPECT_EQ(seen.red(), GetRValue(expected));
            EXPECT_EQ(seen.green(), GetGValue(expected));
            EXPECT_EQ(seen.blue(), GetBValue(expected));
        }
    }
}

}  // namespace
