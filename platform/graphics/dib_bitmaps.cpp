// Bitmaps from DIBs and from resources, and their DIB form (GetDIBits).
#include <cstring>

#include "lumivel/gdi_objects.h"
#include "lumivel/resource_lookup.h"
#include "win/errors.h"
#include "win/user.h"

namespace {

using namespace lumivel::gfx;

// A caller's BITMAPINFO is read up to a full colour table; its extent is not passed.
constexpr size_t kInfoExtent = sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD);

size_t RowBytes(int bits, int width) { return ((size_t(width) * size_t(bits) + 31) / 32) * 4; }

}  // namespace

extern "C" {

HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const void* pjBits, const BITMAPINFO* pbmi,
                       UINT iUsage) {
    if (hdc != nullptr && !FindDeviceContext(hdc)) return nullptr;
    if (pbmih == nullptr || pbmih->biWidth <= 0 || pbmih->biHeight == 0 || pbmih->biWidth > kMaxImageSide ||
        pbmih->biHeight > kMaxImageSide || pbmih->biHeight < -kMaxImageSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    int height = pbmih->biHeight < 0 ? -pbmih->biHeight : pbmih->biHeight;
    Image image(pbmih->biWidth, height, kOpaque);
    if (flInit & CBM_INIT) {
        if (pjBits == nullptr || pbmi == nullptr || iUsage != DIB_RGB_COLORS) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        auto decoded = DecodeDibRows(reinterpret_cast<const BYTE*>(pbmi), kInfoExtent, static_cast<const BYTE*>(pjBits), 0);
        if (!decoded) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        DrawOver(image, *decoded, 0, 0);
    }
    return CreateBitmapFromImage(std::move(image));
}

int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi, UINT usage) {
    if (!FindDeviceContext(hdc)) return 0;
    auto object = FindGdiObject(hbm, GdiKind::Bitmap);
    if (!object || lpbmi == nullptr || usage != DIB_RGB_COLORS ||
        lpbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::lock_guard lock(*object->pixelsMutex);
    const Image& image = *object->pixels;
    BITMAPINFOHEADER& header = lpbmi->bmiHeader;
    if (lpvBits == nullptr) {
        // Asked for the format only: the bitmap's own, as this platform stores it.
        if (header.biBitCount == 0) {
            header.biWidth = image.width;
            header.biHeight = image.height;
            header.biPlanes = 1;
            header.biBitCount = 32;
            header.biCompression = BI_RGB;
            header.biSizeImage = DWORD(RowBytes(32, image.width) * size_t(image.height));
            header.biXPelsPerMeter = header.biYPelsPerMeter = 0;
            header.biClrUsed = header.biClrImportant = 0;
        } else {
            header.biSizeImage = DWORD(RowBytes(header.biBitCount, image.width) * size_t(image.height));
        }
        return image.height;
    }
    int bits = header.biBitCount;
    if ((bits != 24 && bits != 32) || header.biCompression != BI_RGB || header.biWidth != image.width) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    bool topDown = header.biHeight < 0;
    size_t stride = RowBytes(bits, image.width);
    auto out = static_cast<BYTE*>(lpvBits);
    int copied = 0;
    for (UINT line = start; line < start + cLines && line < UINT(image.height); ++line, ++copied) {
        // Scan line `line` counts from the bottom for bottom-up DIBs.
        int y = topDown ? int(line) : image.height - 1 - int(line);
        BYTE* row = out + stride * size_t(line - start);
        std::memset(row, 0, stride);
        for (int x = 0; x < image.width; ++x) {
            Argb p = image.at(x, y);
            BYTE* px = row + size_t(x) * size_t(bits / 8);
            px[0] = BYTE(p);
            px[1] = BYTE(p >> 8);
            px[2] = BYTE(p >> 16);
            if (bits == 32) px[3] = 0;
        }
    }
    return copied;
}

HBITMAP LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName) {
    auto data = lumivel::FindResourceData(hInstance, lpBitmapName, RT_BITMAP);
    if (!data) return nullptr;
    int bits = 0;
    auto image = DecodePackedDib(data->data, data->size, &bits);
    if (!image) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    return CreateBitmapFromImage(std::move(*image));
}

}  // extern "C"
