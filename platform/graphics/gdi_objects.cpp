// GDI handles: bitmaps, brushes, pens, fonts, stock objects and device contexts.
#include "lumivel/gdi_objects.h"

#include <array>
#include <cstring>

#include "lumivel/handle_table.h"
#include "win/errors.h"

namespace lumivel::gfx {
namespace {

HandleTable<GdiObject>& Objects() {
    static auto* table = new HandleTable<GdiObject>;
    return *table;
}

HandleTable<DeviceContext>& Contexts() {
    static auto* table = new HandleTable<DeviceContext>;
    return *table;
}

std::shared_ptr<GdiObject> NewBitmapObject(Image image) {
    auto object = std::make_shared<GdiObject>();
    object->kind = GdiKind::Bitmap;
    object->pixels = std::make_shared<Image>(std::move(image));
    object->pixelsMutex = std::make_shared<std::mutex>();
    return object;
}

constexpr int kStockCount = 20;

// Stock objects are made once, on first use, and can never be deleted.
HGDIOBJ StockObject(int index) {
    static std::array<HGDIOBJ, kStockCount> handles = [] {
        std::array<HGDIOBJ, kStockCount> made{};
        auto add = [&](int i, std::shared_ptr<GdiObject> object) {
            object->stock = true;
            made[size_t(i)] = Objects().add<HGDIOBJ>(std::move(object));
        };
        auto brush = [](COLORREF color, bool hollow) {
            auto b = std::make_shared<GdiObject>();
            b->kind = GdiKind::Brush;
            b->color = color;
            b->hollow = hollow;
            return b;
        };
        auto pen = [](COLORREF color, bool hollow) {
            auto p = std::make_shared<GdiObject>();
            p->kind = GdiKind::Pen;
            p->color = color;
            p->hollow = hollow;
            return p;
        };
        auto font = [](const char16_t* face) {
            auto f = std::make_shared<GdiObject>();
            f->kind = GdiKind::Font;
            f->face = face;
            return f;
        };
        add(WHITE_BRUSH, brush(RGB(255, 255, 255), false));
        add(LTGRAY_BRUSH, brush(RGB(192, 192, 192), false));
        add(GRAY_BRUSH, brush(RGB(128, 128, 128), false));
        add(DKGRAY_BRUSH, brush(RGB(64, 64, 64), false));
        add(BLACK_BRUSH, brush(RGB(0, 0, 0), false));
        add(NULL_BRUSH, brush(0, true));
        add(WHITE_PEN, pen(RGB(255, 255, 255), false));
        add(BLACK_PEN, pen(RGB(0, 0, 0), false));
        add(NULL_PEN, pen(0, true));
        add(SYSTEM_FONT, font(u"System"));
        add(DEFAULT_GUI_FONT, font(u"MS Shell Dlg"));
        // The 1x1 monochrome bitmap a memory DC starts with.
        auto mono = NewBitmapObject(Image(1, 1, kOpaque));
        mono->bitsPerPixel = 1;
        add(kStockCount - 1, std::move(mono));
        return made;
    }();
    if (index < 0 || index >= kStockCount) return nullptr;
    return handles[size_t(index)];
}

HGDIOBJ DefaultBitmap() { return StockObject(kStockCount - 1); }

HDC NewContext(bool memory) {
    auto dc = std::make_shared<DeviceContext>();
    dc->memory = memory;
    dc->bitmapHandle = DefaultBitmap();
    dc->bitmap = Objects().find(dc->bitmapHandle);
    dc->brushHandle = StockObject(WHITE_BRUSH);
    dc->brush = Objects().find(dc->brushHandle);
    dc->penHandle = StockObject(BLACK_PEN);
    dc->pen = Objects().find(dc->penHandle);
    dc->fontHandle = StockObject(SYSTEM_FONT);
    dc->font = Objects().find(dc->fontHandle);
    return Contexts().add<HDC>(std::move(dc));
}

}  // namespace

std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle) { return Objects().find(handle); }

std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle, GdiKind kind) {
    auto object = Objects().find(handle);
    if (!object || object->kind != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

std::shared_ptr<DeviceContext> FindDeviceContext(HDC handle) {
    auto dc = Contexts().find(handle);
    if (!dc) SetLastError(ERROR_INVALID_HANDLE);
    return dc;
}

HBITMAP CreateBitmapFromImage(Image image) {
    if (image.width <= 0 || image.height <= 0 || image.width > kMaxImageSide || image.height > kMaxImageSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return Objects().add<HBITMAP>(NewBitmapObject(std::move(image)));
}

HDC CreateSurfaceDC(std::shared_ptr<Image> pixels, std::shared_ptr<std::mutex> mutex) {
    HDC handle = NewContext(false);
    auto dc = Contexts().find(handle);
    auto surface = std::make_shared<GdiObject>();
    surface->kind = GdiKind::Bitmap;
    surface->pixels = std::move(pixels);
    surface->pixelsMutex = std::move(mutex);
    dc->bitmap = std::move(surface);
    dc->bitmapHandle = nullptr;  // a window DC's surface is no selectable bitmap
    return handle;
}

std::optional<Image> BitmapImage(HBITMAP bitmap) {
    auto object = FindGdiObject(bitmap, GdiKind::Bitmap);
    if (!object) return std::nullopt;
    std::lock_guard lock(*object->pixelsMutex);
    return *object->pixels;
}

std::optional<Image> DeviceContextImage(HDC handle) {
    auto dc = FindDeviceContext(handle);
    if (!dc || !dc->bitmap) return std::nullopt;
    std::lock_guard lock(*dc->bitmap->pixelsMutex);
    return *dc->bitmap->pixels;
}

}  // namespace lumivel::gfx

using namespace lumivel::gfx;

extern "C" {

HGDIOBJ GetStockObject(int i) {
    if (i == kStockCount - 1) return nullptr;  // the default bitmap is not a public stock object
    return StockObject(i);
}

HDC CreateCompatibleDC(HDC hdc) {
    if (hdc != nullptr && !FindDeviceContext(hdc)) return nullptr;
    return NewContext(true);
}

BOOL DeleteDC(HDC hdc) { return Contexts().remove(hdc) ? TRUE : FALSE; }

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h) {
    auto dc = FindDeviceContext(hdc);
    auto object = FindGdiObject(h);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    HGDIOBJ previous = nullptr;
    switch (object->kind) {
    case GdiKind::Bitmap:
        if (!dc->memory) return HGDI_ERROR;  // only memory DCs take bitmaps
        previous = dc->bitmapHandle;
        dc->bitmap = object;
        dc->bitmapHandle = h;
        break;
    case GdiKind::Brush:
        previous = dc->brushHandle;
        dc->brush = object;
        dc->brushHandle = h;
        break;
    case GdiKind::Pen:
        previous = dc->penHandle;
        dc->pen = object;
        dc->penHandle = h;
        break;
    case GdiKind::Font:
        previous = dc->fontHandle;
        dc->font = object;
        dc->fontHandle = h;
        break;
    }
    return previous;
}

HGDIOBJ GetCurrentObject(HDC hdc, UINT type) {
    auto dc = FindDeviceContext(hdc);
    if (!dc) return nullptr;
    switch (type) {
    case OBJ_BITMAP: return dc->bitmapHandle;
    case OBJ_BRUSH: return dc->brushHandle;
    case OBJ_PEN: return dc->penHandle;
    case OBJ_FONT: return dc->fontHandle;
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

// A DC keeps its own reference to what is selected into it, so deleting a selected object
// cannot leave the DC drawing into freed pixels.
BOOL DeleteObject(HGDIOBJ ho) {
    auto object = Objects().find(ho);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock) return TRUE;
    Objects().remove(ho);
    return TRUE;
}

int GetObjectW(HANDLE h, int c, LPVOID pv) {
    auto object = FindGdiObject(h);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (object->kind != GdiKind::Bitmap) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    if (pv == nullptr) return int(sizeof(BITMAP));
    if (c < int(sizeof(BITMAP))) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    BITMAP info{};
    std::lock_guard lock(*object->pixelsMutex);
    info.bmWidth = object->pixels->width;
    info.bmHeight = object->pixels->height;
    info.bmBitsPixel = WORD(object->bitsPerPixel);
    info.bmPlanes = 1;
    info.bmWidthBytes = ((info.bmWidth * info.bmBitsPixel + 15) / 16) * 2;
    std::memcpy(pv, &info, sizeof(info));
    return int(sizeof(BITMAP));
}

int GetDeviceCaps(HDC hdc, int index) {
    if (hdc != nullptr && !FindDeviceContext(hdc)) return 0;
    switch (index) {
    case BITSPIXEL: return 32;
    case PLANES: return 1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case HORZRES: return 1920;
    case VERTRES: return 1080;
    default: return 0;
    }
}

HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
    if (hdc != nullptr && !FindDeviceContext(hdc)) return nullptr;
    return CreateBitmapFromImage(Image(cx, cy, kOpaque));
}

HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits) {
    if (nPlanes != 1 || (nBitCount != 1 && nBitCount != 32)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (nWidth <= 0 || nHeight <= 0 || nWidth > kMaxImageSide || nHeight > kMaxImageSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Image image(nWidth, nHeight, kOpaque);
    if (lpBits) {
        auto bytes = static_cast<const BYTE*>(lpBits);
        // Device-dependent rows are padded to 16 bits, top row first.
        size_t stride = ((size_t(nWidth) * nBitCount + 15) / 16) * 2;
        for (int y = 0; y < nHeight; ++y) {
            const BYTE* row = bytes + stride * size_t(y);
            for (int x = 0; x < nWidth; ++x) {
                if (nBitCount == 1) {
                    bool set = row[x / 8] & (0x80 >> (x % 8));
                    image.at(x, y) = set ? 0xFFFFFFFFu : kOpaque;
                } else {
                    image.at(x, y) = kOpaque | (Argb(row[x * 4 + 2]) << 16) | (Argb(row[x * 4 + 1]) << 8) | row[x * 4];
                }
            }
        }
    }
    HBITMAP bitmap = CreateBitmapFromImage(std::move(image));
    if (auto object = FindGdiObject(bitmap)) object->bitsPerPixel = int(nBitCount);
    return bitmap;
}

HBRUSH CreateSolidBrush(COLORREF color) {
    auto brush = std::make_shared<GdiObject>();
    brush->kind = GdiKind::Brush;
    brush->color = color & 0x00FFFFFF;
    return Objects().add<HBRUSH>(std::move(brush));
}

HPEN CreatePen(int iStyle, int cWidth, COLORREF color) {
    auto pen = std::make_shared<GdiObject>();
    pen->kind = GdiKind::Pen;
    pen->color = color & 0x00FFFFFF;
    pen->hollow = iStyle == PS_NULL;
    pen->penWidth = cWidth < 1 ? 1 : cWidth;
    return Objects().add<HPEN>(std::move(pen));
}

COLORREF SetBkColor(HDC hdc, COLORREF color) {
    auto dc = FindDeviceContext(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->bkColor;
    dc->bkColor = color;
    return previous;
}

COLORREF GetBkColor(HDC hdc) {
    auto dc = FindDeviceContext(hdc);
    return dc ? dc->bkColor : CLR_INVALID;
}

COLORREF SetTextColor(HDC hdc, COLORREF color) {
    auto dc = FindDeviceContext(hdc);
    if (!dc) return CLR_INVALID;
    COLORREF previous = dc->textColor;
    dc->textColor = color;
    return previous;
}

int SetBkMode(HDC hdc, int mode) {
    auto dc = FindDeviceContext(hdc);
    if (!dc || (mode != TRANSPARENT && mode != OPAQUE)) return 0;
    int previous = dc->bkMode;
    dc->bkMode = mode;
    return previous;
}

}  // extern "C"
