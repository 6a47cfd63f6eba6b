// The objects behind GDI handles, for the graphics and UI areas and for the backends that
// show bitmaps, icons and image lists.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/raster.h"
#include "win/gdi.h"

namespace lumivel::gfx {

enum class GdiKind { Bitmap, Brush, Pen, Font };

struct GdiObject {
    GdiKind kind = GdiKind::Bitmap;
    bool stock = false;
    // Bitmap: its pixels, shared with any DC it is selected into. The mutex guards them.
    std::shared_ptr<Image> pixels;
    std::shared_ptr<std::mutex> pixelsMutex;
    int bitsPerPixel = 32;
    // Brush and pen.
    COLORREF color = 0;
    bool hollow = false;  // NULL_BRUSH / PS_NULL
    int penWidth = 1;
    // Font.
    std::u16string face;
    int pointSize = 8;
    int weight = 400;
};

struct DeviceContext {
    std::shared_ptr<GdiObject> bitmap;  // drawing target
    std::shared_ptr<GdiObject> brush;
    std::shared_ptr<GdiObject> pen;
    std::shared_ptr<GdiObject> font;
    HGDIOBJ bitmapHandle = nullptr;
    HGDIOBJ brushHandle = nullptr;
    HGDIOBJ penHandle = nullptr;
    HGDIOBJ fontHandle = nullptr;
    COLORREF bkColor = 0x00FFFFFF;
    COLORREF textColor = 0;
    int bkMode = 2;  // OPAQUE
    bool memory = true;
    POINT origin{0, 0};  // window DCs draw into a parent surface at an offset
};

std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle);
std::shared_ptr<GdiObject> FindGdiObject(HGDIOBJ handle, GdiKind kind);  // sets ERROR_INVALID_HANDLE
std::shared_ptr<DeviceContext> FindDeviceContext(HDC handle);

// A new 32-bit bitmap holding `image`.
LUMIVEL_EXPORT HBITMAP CreateBitmapFromImage(Image image);

// A DC drawing into a surface the caller owns (a window's client area); `pixels` must
// outlive the DC or the DC must be deleted first.
LUMIVEL_EXPORT HDC CreateSurfaceDC(std::shared_ptr<Image> pixels, std::shared_ptr<std::mutex> mutex);

// Copies of the pixels behind handles, for backends and tests; nothing for a bad handle.
LUMIVEL_EXPORT std::optional<Image> BitmapImage(HBITMAP bitmap);
LUMIVEL_EXPORT std::optional<Image> IconImage(HICON icon, int size);   // the image nearest `size`
LUMIVEL_EXPORT std::optional<Image> ImageListImage(HIMAGELIST list, int index);
LUMIVEL_EXPORT std::optional<Image> DeviceContextImage(HDC dc);

// Icons and cursors. An icon holds every size its resource carries and is drawn from the
// image nearest the size asked for.
LUMIVEL_EXPORT HICON CreateIconFromImages(std::vector<Image> images);
LUMIVEL_EXPORT std::optional<Image> IconImageScaled(HICON icon, int width, int height);
// The stock cursor of an IDC_ number (32512 IDC_ARROW ...), and back.
LUMIVEL_EXPORT HCURSOR SystemCursor(WORD id);
LUMIVEL_EXPORT std::optional<WORD> SystemCursorId(HCURSOR cursor);

// The colour of a system colour index, as GetSysColor gives it.
COLORREF SystemColor(int index);

}  // namespace lumivel::gfx
