// Drawing into a DC's bitmap: rectangle fills, block transfers, pixels; system colours.
#include <algorithm>
#include <array>

#include "lumivel/gdi_objects.h"
#include "win/errors.h"
#include "win/user.h"

namespace lumivel::gfx {
namespace {

constexpr int kSystemColorCount = 31;

// The colours of the default Windows scheme.
constexpr std::array<COLORREF, kSystemColorCount> kSystemColors = {
    RGB(200, 200, 200), RGB(0, 0, 0),       RGB(153, 180, 209), RGB(191, 205, 219), RGB(240, 240, 240),
    RGB(255, 255, 255), RGB(100, 100, 100), RGB(0, 0, 0),       RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(180, 180, 180), RGB(244, 247, 252), RGB(171, 171, 171), RGB(0, 120, 215),   RGB(255, 255, 255),
    RGB(240, 240, 240), RGB(160, 160, 160), RGB(109, 109, 109), RGB(0, 0, 0),       RGB(0, 0, 0),
    RGB(255, 255, 255), RGB(105, 105, 105), RGB(227, 227, 227), RGB(0, 0, 0),       RGB(255, 255, 225),
    RGB(0, 0, 0),       RGB(0, 102, 204),   RGB(185, 209, 234), RGB(215, 228, 242), RGB(0, 120, 215),
    RGB(240, 240, 240)};

struct Target {
    std::shared_ptr<DeviceContext> dc;
    std::unique_lock<std::mutex> lock;
    Image* image = nullptr;
};

Target Lock(HDC hdc) {
    Target target;
    target.dc = FindDeviceContext(hdc);
    if (!target.dc || !target.dc->bitmap || !target.dc->bitmap->pixels) return target;
    target.lock = std::unique_lock(*target.dc->bitmap->pixelsMutex);
    target.image = target.dc->bitmap->pixels.get();
    return target;
}

void Fill(Image& image, POINT origin, RECT rect, Argb color) {
    int left = std::max<LONG>(rect.left + origin.x, 0);
    int top = std::max<LONG>(rect.top + origin.y, 0);
    int right = std::min<LONG>(rect.right + origin.x, image.width);
    int bottom = std::min<LONG>(rect.bottom + origin.y, image.height);
    for (int y = top; y < bottom; ++y)
        for (int x = left; x < right; ++x) image.at(x, y) = color;
}

// A brush handle may also be a system colour index plus one, as FillRect accepts.
std::optional<COLORREF> BrushColor(HBRUSH brush) {
    auto value = reinterpret_cast<ULONG_PTR>(brush);
    if (value > 0 && value <= kSystemColorCount) return SystemColor(int(value - 1));
    auto object = FindGdiObject(brush, GdiKind::Brush);
    if (!object) return std::nullopt;
    if (object->hollow) return std::nullopt;
    return object->color;
}

}  // namespace

COLORREF SystemColor(int index) {
    if (index < 0 || index >= kSystemColorCount) return 0;
    return kSystemColors[size_t(index)];
}

}  // namespace lumivel::gfx

using namespace lumivel::gfx;

extern "C" {

DWORD GetSysColor(int nIndex) { return SystemColor(nIndex); }

HBRUSH GetSysColorBrush(int nIndex) {
    static std::array<HBRUSH, 31> brushes = [] {
        std::array<HBRUSH, 31> made{};
        for (int i = 0; i < 31; ++i) {
            made[size_t(i)] = CreateSolidBrush(SystemColor(i));
            if (auto object = FindGdiObject(made[size_t(i)])) object->stock = true;
        }
        return made;
    }();
    if (nIndex < 0 || nIndex >= 31) return nullptr;
    return brushes[size_t(nIndex)];
}

int FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
    if (lprc == nullptr) return 0;
    auto color = BrushColor(hbr);
    Target target = Lock(hDC);
    if (!target.image) return 0;
    if (color) Fill(*target.image, target.dc->origin, *lprc, FromColorRef(*color));
    return 1;
}

BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom) {
    Target target = Lock(hdc);
    if (!target.image) return FALSE;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const GdiObject& pen = *target.dc->pen;
    const GdiObject& brush = *target.dc->brush;
    POINT origin = target.dc->origin;
    if (pen.hollow) {
        // Without a pen the filled area is one pixel narrower and lower, as on Windows.
        if (!brush.hollow) Fill(*target.image, origin, RECT{left, top, right - 1, bottom - 1}, FromColorRef(brush.color));
        return TRUE;
    }
    int w = pen.penWidth;
    if (!brush.hollow) Fill(*target.image, origin, RECT{left + w, top + w, right - w, bottom - w}, FromColorRef(brush.color));
    Argb line = FromColorRef(pen.color);
    Fill(*target.image, origin, RECT{left, top, right, top + w}, line);
    Fill(*target.image, origin, RECT{left, bottom - w, right, bottom}, line);
    Fill(*target.image, origin, RECT{left, top, left + w, bottom}, line);
    Fill(*target.image, origin, RECT{right - w, top, right, bottom}, line);
    return TRUE;
}

BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop) {
    if (rop == BLACKNESS || rop == WHITENESS) {
        Target target = Lock(hdc);
        if (!target.image) return FALSE;
        Fill(*target.image, target.dc->origin, RECT{x, y, x + cx, y + cy}, rop == BLACKNESS ? kOpaque : 0xFFFFFFFFu);
        return TRUE;
    }
    if (rop != SRCCOPY && rop != SRCAND && rop != SRCPAINT) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    std::optional<Image> source = DeviceContextImage(hdcSrc);  // a copy, so source and target may be one
    auto sourceDc = FindDeviceContext(hdcSrc);
    if (!source || !sourceDc) return FALSE;
    Target target = Lock(hdc);
    if (!target.image) return FALSE;
    POINT to = target.dc->origin;
    POINT from = sourceDc->origin;
    for (int j = 0; j < cy; ++j) {
        for (int i = 0; i < cx; ++i) {
            int sx = x1 + i + from.x, sy = y1 + j + from.y;
            int tx = x + i + to.x, ty = y + j + to.y;
            if (!source->contains(sx, sy) || !target.image->contains(tx, ty)) continue;
            Argb s = source->at(sx, sy) | kOpaque;
            Argb& t = target.image->at(tx, ty);
            if (rop == SRCCOPY) t = s;
            else if (rop == SRCAND) t = (t & s) | kOpaque;
            else t = t | s;
        }
    }
    return TRUE;
}

COLORREF GetPixel(HDC hdc, int x, int y) {
    Target target = Lock(hdc);
    if (!target.image) return CLR_INVALID;
    x += target.dc->origin.x;
    y += target.dc->origin.y;
    if (!target.image->contains(x, y)) return CLR_INVALID;
    return ToColorRef(target.image->at(x, y));
}

COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color) {
    Target target = Lock(hdc);
    if (!target.image) return CLR_INVALID;
    x += target.dc->origin.x;
    y += target.dc->origin.y;
    if (!target.image->contains(x, y)) return CLR_INVALID;
    target.image->at(x, y) = FromColorRef(color);
    return color & 0x00FFFFFF;
}

}  // extern "C"
