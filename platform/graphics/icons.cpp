// Icons and cursors: loading from resources, stock icons and cursors, drawing, destruction.
#include <algorithm>
#include <cstring>
#include <map>

#include "image_files.h"
#include "lumivel/gdi_objects.h"
#include "lumivel/handle_table.h"
#include "lumivel/resource_lookup.h"
#include "lumivel/resource_templates.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/user.h"

namespace lumivel::gfx {
namespace {

struct IconObject {
    std::vector<Image> images;  // ascending size
    bool shared = false;        // from LoadIconW or a stock icon: DestroyIcon leaves it alone
    std::optional<WORD> cursorId;
    uint64_t contentHash = 0;
};

HandleTable<IconObject>& Icons() {
    static auto* table = new HandleTable<IconObject>;
    return *table;
}

uint64_t Fnv1a(uint64_t hash, const void* data, size_t size) {
    auto bytes = static_cast<const BYTE*>(data);
    for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    return hash;
}

// LoadIconW hands out one shared handle per distinct icon, as Windows does for resource
// icons, so callers that never destroy what they load do not pile up copies. The key is the
// decoded content, which stays right even when a module is unloaded and another one loaded
// at the same address.
std::mutex g_sharedMutex;
std::map<uint64_t, HICON>& SharedIcons() {
    static auto* icons = new std::map<uint64_t, HICON>;
    return *icons;
}

const Image& Nearest(const std::vector<Image>& images, int size) {
    // The smallest image at least as large as asked, else the largest.
    for (const auto& image : images)
        if (image.width >= size) return image;
    return images.back();
}

void SortBySize(std::vector<Image>& images) {
    std::stable_sort(images.begin(), images.end(), [](const Image& a, const Image& b) { return a.width < b.width; });
}

std::optional<std::vector<Image>> LoadIconImages(HINSTANCE module, LPCWSTR name, uint64_t* hash) {
    auto group = FindResourceData(module, name, RT_GROUP_ICON);
    if (!group) return std::nullopt;
    auto entries = ParseIconDirectory(group->data, group->size);
    if (!entries) {
        SetLastError(ERROR_INVALID_DATA);
        return std::nullopt;
    }
    std::vector<Image> images;
    uint64_t h = 0xCBF29CE484222325ull;
    for (const auto& entry : *entries) {
        auto data = FindResourceData(module, MAKEINTRESOURCEW(entry.iconId), RT_ICON);
        if (!data) continue;
        auto image = DecodeIconImage(data->data, data->size);
        if (!image) continue;
        h = Fnv1a(h, image->pixels.data(), image->pixels.size() * sizeof(Argb));
        images.push_back(std::move(*image));
    }
    if (images.empty()) {
        SetLastError(ERROR_INVALID_DATA);
        return std::nullopt;
    }
    SortBySize(images);
    if (hash) *hash = h;
    return images;
}

HICON SharedIcon(std::vector<Image> images, uint64_t hash) {
    std::lock_guard lock(g_sharedMutex);
    auto& shared = SharedIcons();
    if (auto it = shared.find(hash); it != shared.end()) {
        auto existing = Icons().find(it->second);
        if (existing && existing->images == images) return it->second;
    }
    auto icon = std::make_shared<IconObject>();
    icon->images = std::move(images);
    icon->shared = true;
    icon->contentHash = hash;
    HICON handle = Icons().add<HICON>(std::move(icon));
    shared[hash] = handle;
    return handle;
}

// Stock icons: a disc in the colour of the kind (the backends draw their own standard icons
// for message boxes; these exist so that LoadIconW(NULL, IDI_*) works everywhere).
Image Disc(int size, Argb color) {
    Image image(size, size, 0);
    double r = size / 2.0 - 0.5;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            double dx = x - r, dy = y - r;
            if (dx * dx + dy * dy <= r * r) image.at(x, y) = color;
        }
    return image;
}

HICON StockIcon(WORD id) {
    static std::mutex mutex;
    static std::map<WORD, HICON> made;
    Argb color;
    switch (id) {
    case 32512: color = 0xFFFFFFFFu; break;  // IDI_APPLICATION
    case 32513: color = 0xFFE81123u; break;  // IDI_HAND
    case 32514: color = 0xFF0063B1u; break;  // IDI_QUESTION
    case 32515: color = 0xFFFFC83Du; break;  // IDI_EXCLAMATION
    case 32516: color = 0xFF0078D7u; break;  // IDI_ASTERISK
    default: SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND); return nullptr;
    }
    std::lock_guard lock(mutex);
    if (auto it = made.find(id); it != made.end()) return it->second;
    auto icon = std::make_shared<IconObject>();
    icon->images = {Disc(16, color), Disc(32, color)};
    icon->shared = true;
    HICON handle = Icons().add<HICON>(std::move(icon));
    made[id] = handle;
    return handle;
}

}  // namespace

HICON CreateIconFromImages(std::vector<Image> images) {
    if (images.empty()) return nullptr;
    for (const auto& image : images)
        if (image.empty()) return nullptr;
    SortBySize(images);
    auto icon = std::make_shared<IconObject>();
    icon->images = std::move(images);
    return Icons().add<HICON>(std::move(icon));
}

std::optional<Image> IconImage(HICON handle, int size) {
    auto icon = Icons().find(handle);
    if (!icon || icon->images.empty()) return std::nullopt;
    return Nearest(icon->images, size);
}

std::optional<Image> IconImageScaled(HICON handle, int width, int height) {
    auto image = IconImage(handle, std::max(width, height));
    if (!image) return std::nullopt;
    return Scaled(*image, width, height);
}

HCURSOR SystemCursor(WORD id) {
    static std::mutex mutex;
    static std::map<WORD, HCURSOR> made;
    switch (id) {
    case 32512: case 32513: case 32514: case 32515: case 32642: case 32643: case 32644: case 32645: case 32646:
    case 32648: case 32649: break;
    default: SetLastError(ERROR_INVALID_CURSOR_HANDLE); return nullptr;
    }
    std::lock_guard lock(mutex);
    if (auto it = made.find(id); it != made.end()) return it->second;
    auto cursor = std::make_shared<IconObject>();
    cursor->images = {Image(32, 32, 0)};
    cursor->shared = true;
    cursor->cursorId = id;
    HCURSOR handle = Icons().add<HCURSOR>(std::move(cursor));
    made[id] = handle;
    return handle;
}

std::optional<WORD> SystemCursorId(HCURSOR handle) {
    auto cursor = Icons().find(handle);
    if (!cursor) return std::nullopt;
    return cursor->cursorId;
}

}  // namespace lumivel::gfx

using namespace lumivel::gfx;

extern "C" {

HICON LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
    if (hInstance == nullptr && IS_INTRESOURCE(lpIconName)) {
        WORD id = WORD(reinterpret_cast<ULONG_PTR>(lpIconName));
        if (id >= 32512 && id <= 32516) return StockIcon(id);
    }
    uint64_t hash = 0;
    auto images = LoadIconImages(hInstance, lpIconName, &hash);
    if (!images) return nullptr;
    return SharedIcon(std::move(*images), hash);
}

HANDLE LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad) {
    if (type != IMAGE_BITMAP && type != IMAGE_ICON && type != IMAGE_CURSOR) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (cx < 0 || cy < 0 || cx > kMaxImageSide || cy > kMaxImageSide) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    bool fromFile = (fuLoad & LR_LOADFROMFILE) != 0;
    if (fromFile && (name == nullptr || IS_INTRESOURCE(name))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (type == IMAGE_CURSOR) {
        // Only the stock cursors exist here: no module or file carries cursors.
        if (!fromFile && hInst == nullptr && IS_INTRESOURCE(name) && reinterpret_cast<ULONG_PTR>(name) >= 32512)
            return SystemCursor(WORD(reinterpret_cast<ULONG_PTR>(name)));
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    std::optional<std::vector<BYTE>> file;
    if (fromFile && !(file = ReadImageFile(name))) return nullptr;
    if (type == IMAGE_BITMAP) {
        if (!fromFile) {
            HBITMAP bitmap = LoadBitmapW(hInst, name);
            if (!bitmap || (cx == 0 && cy == 0)) return bitmap;
            auto image = BitmapImage(bitmap);
            DeleteObject(bitmap);
            if (!image) return nullptr;
            return CreateBitmapFromImage(Scaled(*image, cx ? cx : image->width, cy ? cy : image->height));
        }
        auto image = DecodeBmpFile(file->data(), file->size());
        if (!image) {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        if (cx || cy) *image = Scaled(*image, cx ? cx : image->width, cy ? cy : image->height);
        return CreateBitmapFromImage(std::move(*image));
    }
    if ((fuLoad & LR_SHARED) && !fromFile) return LoadIconW(hInst, name);
    std::vector<Image> images;
    WORD number = IS_INTRESOURCE(name) ? WORD(reinterpret_cast<ULONG_PTR>(name)) : 0;
    if (fromFile) {
        auto decoded = DecodeIconFile(file->data(), file->size());
        if (!decoded) {
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        images = std::move(*decoded);
        SortBySize(images);
    } else if (hInst == nullptr && number >= 32512 && number <= 32516) {
        HICON stock = StockIcon(number);
        auto icon = Icons().find(stock);
        if (!icon) return nullptr;
        images = icon->images;
    } else {
        auto loaded = LoadIconImages(hInst, name, nullptr);
        if (!loaded) return nullptr;
        images = std::move(*loaded);
    }
    if (cx == 0 && cy == 0) {
        if (!(fuLoad & LR_DEFAULTSIZE)) return CreateIconFromImages(std::move(images));
        cx = cy = 32;
    }
    if (cx == 0) cx = (fuLoad & LR_DEFAULTSIZE) ? 32 : cy;
    if (cy == 0) cy = (fuLoad & LR_DEFAULTSIZE) ? 32 : cx;
    if (cx > 256 || cy > 256) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateIconFromImages({Scaled(Nearest(images, std::max(cx, cy)), cx, cy)});
}

BOOL DestroyIcon(HICON hIcon) {
    auto icon = Icons().find(hIcon);
    if (!icon) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    if (!icon->shared) Icons().remove(hIcon);
    return TRUE;
}

HICON CopyIcon(HICON hIcon) {
    auto icon = Icons().find(hIcon);
    if (!icon) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return nullptr;
    }
    return CreateIconFromImages(icon->images);
}

BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT /*istepIfAniCur*/,
                HBRUSH hbrFlickerFreeDraw, UINT diFlags) {
    auto icon = Icons().find(hIcon);
    auto dc = FindDeviceContext(hdc);
    if (!icon || !dc || !dc->bitmap) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (cxWidth == 0) cxWidth = icon->images.back().width;
    if (cyWidth == 0) cyWidth = icon->images.back().height;
    Image picture = Scaled(Nearest(icon->images, std::max(cxWidth, cyWidth)), cxWidth, cyWidth);
    if (hbrFlickerFreeDraw) {
        RECT all{xLeft, yTop, xLeft + cxWidth, yTop + cyWidth};
        FillRect(hdc, &all, hbrFlickerFreeDraw);
    }
    std::lock_guard lock(*dc->bitmap->pixelsMutex);
    Image& target = *dc->bitmap->pixels;
    int x0 = xLeft + dc->origin.x, y0 = yTop + dc->origin.y;
    if ((diFlags & DI_NORMAL) == DI_MASK) {
        for (int y = 0; y < picture.height; ++y)
            for (int x = 0; x < picture.width; ++x)
                if (target.contains(x0 + x, y0 + y))
                    target.at(x0 + x, y0 + y) = IsTransparent(picture.at(x, y)) ? 0xFFFFFFFFu : kOpaque;
    } else if ((diFlags & DI_NORMAL) == DI_IMAGE) {
        for (auto& p : picture.pixels) p |= kOpaque;
        DrawOver(target, picture, x0, y0);
    } else {
        DrawOver(target, picture, x0, y0);
    }
    return TRUE;
}

HICON CreateIconIndirect(PICONINFO piconinfo) {
    if (piconinfo == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto color = piconinfo->hbmColor ? BitmapImage(piconinfo->hbmColor) : std::nullopt;
    auto mask = BitmapImage(piconinfo->hbmMask);
    if (!mask || (piconinfo->hbmColor && !color)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Image image = color ? *color : Image(mask->width, mask->height, kOpaque);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            bool transparent = mask->contains(x, y) && (mask->at(x, y) & 0x00FFFFFF) != 0;
            image.at(x, y) = transparent ? (image.at(x, y) & 0x00FFFFFF) : (image.at(x, y) | kOpaque);
        }
    return CreateIconFromImages({std::move(image)});
}

BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo) {
    auto icon = Icons().find(hIcon);
    if (!icon || piconinfo == nullptr) {
        SetLastError(ERROR_INVALID_CURSOR_HANDLE);
        return FALSE;
    }
    const Image& image = icon->images.back();
    Image color = image, mask(image.width, image.height, kOpaque);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            if (IsTransparent(image.at(x, y))) {
                mask.at(x, y) = 0xFFFFFFFFu;
                color.at(x, y) = kOpaque;
            } else {
                color.at(x, y) |= kOpaque;
            }
        }
    piconinfo->fIcon = icon->cursorId ? FALSE : TRUE;
    piconinfo->xHotspot = DWORD(image.width / 2);
    piconinfo->yHotspot = DWORD(image.height / 2);
    piconinfo->hbmColor = CreateBitmapFromImage(std::move(color));
    piconinfo->hbmMask = CreateBitmapFromImage(std::move(mask));
    return TRUE;
}

}  // extern "C"
