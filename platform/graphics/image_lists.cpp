// Image lists: equally sized images with masks, filled from icons and bitmaps, merged,
// duplicated and drawn.
#include <algorithm>
#include <functional>

#include "image_list_object.h"
#include "lumivel/gdi_objects.h"
#include "lumivel/handle_table.h"
#include "win/errors.h"

namespace lumivel::gfx {
namespace {

HandleTable<ImageListObject>& Lists() {
    static auto* table = new HandleTable<ImageListObject>;
    return *table;
}

std::shared_ptr<ImageListObject> CopyOf(const ImageListObject& source) {
    auto copy = std::make_shared<ImageListObject>();
    std::lock_guard lock(source.mutex);
    copy->cx = source.cx;
    copy->cy = source.cy;
    copy->flags = source.flags;
    copy->grow = source.grow;
    copy->background = source.background;
    copy->images = source.images;
    return copy;
}

Argb Blend(Argb a, Argb b, int percentB) {
    auto channel = [&](int shift) {
        int ca = int((a >> shift) & 0xFF), cb = int((b >> shift) & 0xFF);
        return Argb((ca * (100 - percentB) + cb * percentB) / 100) << shift;
    };
    return kOpaque | channel(16) | channel(8) | channel(0);
}

// The pixels drawn for an image in a style; transparent pixels stay transparent.
Image StyledImage(const ImageListObject& list, const Image& source, UINT style) {
    Image image = source;
    bool masked = (list.flags & ILC_MASK) != 0;
    if ((style & ILD_MASK) && masked) {
        for (auto& p : image.pixels) p = IsTransparent(p) ? 0xFFFFFFFFu : kOpaque;
        return image;
    }
    if (!masked || (style & ILD_IMAGE)) {
        for (auto& p : image.pixels) p |= kOpaque;
        return image;
    }
    int blend = (style & ILD_BLEND50) ? 50 : (style & ILD_BLEND25) ? 25 : 0;
    if (blend) {
        Argb highlight = FromColorRef(SystemColor(COLOR_HIGHLIGHT));
        for (auto& p : image.pixels)
            if (!IsTransparent(p)) p = Blend(p, highlight, blend);
    }
    if (!(style & ILD_TRANSPARENT) && list.background != CLR_NONE) {
        Argb background = FromColorRef(list.background);
        for (auto& p : image.pixels)
            if (IsTransparent(p)) p = background;
    }
    return image;
}

int Append(ImageListObject& list, Image image) {
    if (list.images.size() >= kMaxImageListCount) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return -1;
    }
    list.images.push_back(std::move(image));
    return int(list.images.size() - 1);
}

// Cuts a bitmap strip into images of the list's size and appends them; the index of the first.
int AppendStrip(ImageListObject& list, const Image& strip, const std::function<bool(int, int, Argb)>& transparent) {
    std::lock_guard lock(list.mutex);
    int count = strip.width / list.cx;
    int first = -1;
    for (int n = 0; n < count; ++n) {
        Image image(list.cx, list.cy, 0);
        for (int y = 0; y < list.cy && y < strip.height; ++y)
            for (int x = 0; x < list.cx; ++x) {
                int sx = n * list.cx + x;
                Argb p = strip.at(sx, y);
                image.at(x, y) = transparent(sx, y, p) ? 0 : (p | kOpaque);
            }
        int index = Append(list, std::move(image));
        if (index < 0) return first;
        if (first < 0) first = index;
    }
    return first;
}

}  // namespace

std::shared_ptr<ImageListObject> FindImageList(HIMAGELIST handle) {
    auto list = Lists().find(handle);
    if (!list) SetLastError(ERROR_INVALID_HANDLE);
    return list;
}

HIMAGELIST AddImageList(std::shared_ptr<ImageListObject> list) { return Lists().add<HIMAGELIST>(std::move(list)); }

std::optional<Image> ImageListImage(HIMAGELIST handle, int index) {
    auto list = FindImageList(handle);
    if (!list) return std::nullopt;
    std::lock_guard lock(list->mutex);
    if (index < 0 || size_t(index) >= list->images.size()) return std::nullopt;
    return StyledImage(*list, list->images[size_t(index)], ILD_TRANSPARENT);
}

}  // namespace lumivel::gfx

using namespace lumivel::gfx;

extern "C" {

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow) {
    if (cx <= 0 || cy <= 0 || cx > kMaxImageListSide || cy > kMaxImageListSide || cInitial < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto list = std::make_shared<ImageListObject>();
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    list->grow = std::max(cGrow, 1);
    list->images.reserve(std::min<size_t>(size_t(cInitial), 1024));
    return AddImageList(std::move(list));
}

BOOL ImageList_Destroy(HIMAGELIST himl) {
    if (!Lists().remove(himl)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

int ImageList_GetImageCount(HIMAGELIST himl) {
    auto list = FindImageList(himl);
    if (!list) return 0;
    std::lock_guard lock(list->mutex);
    return int(list->images.size());
}

BOOL ImageList_SetImageCount(HIMAGELIST himl, UINT uNewCount) {
    auto list = FindImageList(himl);
    if (!list || uNewCount > kMaxImageListCount) return FALSE;
    std::lock_guard lock(list->mutex);
    list->images.resize(uNewCount, Image(list->cx, list->cy, 0));
    return TRUE;
}

BOOL ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
    auto list = FindImageList(himl);
    if (!list || cx == nullptr || cy == nullptr) return FALSE;
    *cx = list->cx;
    *cy = list->cy;
    return TRUE;
}

int ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon) {
    auto list = FindImageList(himl);
    if (!list) return -1;
    auto image = IconImageScaled(hicon, list->cx, list->cy);
    if (!image) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return -1;
    }
    std::lock_guard lock(list->mutex);
    if (i == -1) return Append(*list, std::move(*image));
    if (i < 0 || size_t(i) >= list->images.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return -1;
    }
    list->images[size_t(i)] = std::move(*image);
    return i;
}

int ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask) {
    auto list = FindImageList(himl);
    auto strip = BitmapImage(hbmImage);
    if (!list || !strip) return -1;
    std::optional<Image> mask = hbmMask ? BitmapImage(hbmMask) : std::nullopt;
    // A set (white) mask pixel marks a transparent pixel.
    return AppendStrip(*list, *strip, [&](int x, int y, Argb) {
        return mask && mask->contains(x, y) && (mask->at(x, y) & 0x00FFFFFF) != 0;
    });
}

int ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask) {
    auto list = FindImageList(himl);
    auto strip = BitmapImage(hbmImage);
    if (!list || !strip) return -1;
    Argb key = FromColorRef(crMask);
    return AppendStrip(*list, *strip, [&](int, int, Argb p) { return (p | kOpaque) == key; });
}

BOOL ImageList_Remove(HIMAGELIST himl, int i) {
    auto list = FindImageList(himl);
    if (!list) return FALSE;
    std::lock_guard lock(list->mutex);
    if (i == -1) {
        list->images.clear();
        return TRUE;
    }
    if (i < 0 || size_t(i) >= list->images.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return FALSE;
    }
    list->images.erase(list->images.begin() + i);
    return TRUE;
}

HICON ImageList_GetIcon(HIMAGELIST himl, int i, UINT flags) {
    auto list = FindImageList(himl);
    if (!list) return nullptr;
    std::lock_guard lock(list->mutex);
    if (i < 0 || size_t(i) >= list->images.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return nullptr;
    }
    // An icon keeps its mask whatever the background colour; only the style's effects apply.
    return CreateIconFromImages({StyledImage(*list, list->images[size_t(i)], flags | ILD_TRANSPARENT)});
}

BOOL ImageList_Draw(HIMAGELIST himl, int i, HDC hdcDst, int x, int y, UINT fStyle) {
    auto list = FindImageList(himl);
    auto dc = FindDeviceContext(hdcDst);
    if (!list || !dc || !dc->bitmap) return FALSE;
    Image picture;
    {
        std::lock_guard lock(list->mutex);
        if (i < 0 || size_t(i) >= list->images.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return FALSE;
        }
        picture = StyledImage(*list, list->images[size_t(i)], fStyle);
    }
    std::lock_guard lock(*dc->bitmap->pixelsMutex);
    DrawOver(*dc->bitmap->pixels, picture, x + dc->origin.x, y + dc->origin.y);
    return TRUE;
}

COLORREF ImageList_SetBkColor(HIMAGELIST himl, COLORREF clrBk) {
    auto list = FindImageList(himl);
    if (!list) return CLR_NONE;
    std::lock_guard lock(list->mutex);
    COLORREF previous = list->background;
    list->background = clrBk == CLR_NONE ? CLR_NONE : (clrBk & 0x00FFFFFF);
    return previous;
}

COLORREF ImageList_GetBkColor(HIMAGELIST himl) {
    auto list = FindImageList(himl);
    if (!list) return CLR_NONE;
    std::lock_guard lock(list->mutex);
    return list->background;
}

// The result spans both images: the second drawn over the first at (dx, dy).
HIMAGELIST ImageList_Merge(HIMAGELIST himl1, int i1, HIMAGELIST himl2, int i2, int dx, int dy) {
    auto first = FindImageList(himl1);
    auto second = FindImageList(himl2);
    if (!first || !second) return nullptr;
    Image a, b;
    UINT flags;
    {
        std::lock_guard lock(first->mutex);
        if (i1 < 0 || size_t(i1) >= first->images.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return nullptr;
        }
        a = first->images[size_t(i1)];
        flags = first->flags;
    }
    {
        std::lock_guard lock(second->mutex);
        if (i2 < 0 || size_t(i2) >= second->images.size()) {
            SetLastError(ERROR_INVALID_INDEX);
            return nullptr;
        }
        b = second->images[size_t(i2)];
    }
    int left = std::min(0, dx), top = std::min(0, dy);
    int right = std::max(a.width, dx + b.width), bottom = std::max(a.height, dy + b.height);
    if (right - left > kMaxImageListSide || bottom - top > kMaxImageListSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Image merged(right - left, bottom - top, 0);
    DrawOver(merged, a, -left, -top);
    DrawOver(merged, b, dx - left, dy - top);
    auto list = std::make_shared<ImageListObject>();
    list->cx = merged.width;
    list->cy = merged.height;
    list->flags = flags | ILC_MASK;
    list->images.push_back(std::move(merged));
    return AddImageList(std::move(list));
}

HIMAGELIST ImageList_Duplicate(HIMAGELIST himl) {
    auto list = FindImageList(himl);
    if (!list) return nullptr;
    return AddImageList(CopyOf(*list));
}

}  // extern "C"
