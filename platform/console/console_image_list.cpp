#include "console_image_list.h"

#include "win/gdi.h"
#include "win/user.h"

namespace lumivel::console {

namespace {

// A position far beyond any icon set a snap-in has; refusing it keeps a hostile or broken
// index from growing the lists without bound.
constexpr long kMaxImages = 65536;

// Grows the list so that `index` exists, then puts the icon there.
bool PutIcon(HIMAGELIST list, long index, HICON icon) {
    int count = ImageList_GetImageCount(list);
    if (index >= count && !ImageList_SetImageCount(list, UINT(index + 1))) return false;
    return ImageList_ReplaceIcon(list, int(index), icon) >= 0;
}

}  // namespace

ConsoleImageList::ConsoleImageList()
    : m_small(ImageList_Create(16, 16, ILC_COLOR32 | ILC_MASK, 8, 8)),
      m_large(ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 8, 8)) {}

ConsoleImageList::~ConsoleImageList() {
    if (m_small) ImageList_Destroy(m_small);
    if (m_large) ImageList_Destroy(m_large);
}

HRESULT ConsoleImageList::ImageListSetIcon(LONG_PTR* pIcon, long nLoc) {
    if (!pIcon) return E_POINTER;
    if (!m_small || !m_large) return E_OUTOFMEMORY;
    HICON icon = reinterpret_cast<HICON>(*pIcon);
    bool leaveLarge = (nLoc & ILSIF_LEAVE_LARGE_ICON) != 0;
    bool leaveSmall = (nLoc & ILSIF_LEAVE_SMALL_ICON) != 0;
    long index = nLoc & ~(ILSIF_LEAVE_LARGE_ICON | ILSIF_LEAVE_SMALL_ICON);
    if (!icon || index < 0 || index >= kMaxImages) return E_INVALIDARG;
    bool ok = true;
    if (!leaveSmall) ok = PutIcon(m_small, index, icon) && ok;
    if (!leaveLarge) ok = PutIcon(m_large, index, icon) && ok;
    if (m_changed) m_changed();
    return ok ? S_OK : E_FAIL;
}

HRESULT ConsoleImageList::ImageListSetStrip(LONG_PTR* pBMapSm, LONG_PTR* pBMapLg, long nStartLoc, COLORREF cMask) {
    if (!pBMapSm || !pBMapLg) return E_POINTER;
    if (!m_small || !m_large) return E_OUTOFMEMORY;
    if (nStartLoc < 0 || nStartLoc >= kMaxImages) return E_INVALIDARG;
    // Strips go through scratch lists, so that they land at nStartLoc in both sizes.
    auto place = [&](HIMAGELIST target, HBITMAP strip, int size) {
        HIMAGELIST scratch = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 8, 8);
        if (!scratch) return false;
        bool ok = ImageList_AddMasked(scratch, strip, cMask) >= 0;
        int count = ImageList_GetImageCount(scratch);
        for (int i = 0; ok && i < count && nStartLoc + i < kMaxImages; ++i) {
            HICON icon = ImageList_GetIcon(scratch, i, ILD_NORMAL);
            ok = icon && PutIcon(target, nStartLoc + i, icon);
            if (icon) DestroyIcon(icon);
        }
        ImageList_Destroy(scratch);
        return ok;
    };
    bool ok = place(m_small, reinterpret_cast<HBITMAP>(*pBMapSm), 16);
    ok = place(m_large, reinterpret_cast<HBITMAP>(*pBMapLg), 32) && ok;
    if (m_changed) m_changed();
    return ok ? S_OK : E_FAIL;
}

bool ConsoleImageList::hasSmall(int index) const {
    return m_small && index >= 0 && index < ImageList_GetImageCount(m_small);
}

}  // namespace lumivel::console
