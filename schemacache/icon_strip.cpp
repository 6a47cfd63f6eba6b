// Strips of images for GetImageListForNodeType: drawn into a bitmap of the format of the
// module's strip template, on the cyan background the callers expect for transparent pixels,
// and handed out as the bytes of a bitmap file.
#include <algorithm>

#include "schemacache/icon_cache.h"
#include "schemacache/resource_ids.h"
#include "win/gdi.h"
#include "win/olectl.h"

namespace glossar {
namespace {

constexpr COLORREF kStripBackground = 0x00FFFF00;

// The picture's saved form, a bitmap file, as VT_ARRAY | VT_UI1.
bool PictureBytes(IPicture* picture, VARIANT* out) {
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) return false;
    bool made = false;
    LONG saved = 0;
    STATSTG stat{};
    LARGE_INTEGER start{};
    if (SUCCEEDED(picture->SaveAsFile(stream, TRUE, &saved)) && SUCCEEDED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) &&
        SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) && stat.cbSize.QuadPart <= 0x7FFFFFFF) {
        const ULONG size = static_cast<ULONG>(stat.cbSize.QuadPart);
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, size);
        void* data = nullptr;
        if (array && SUCCEEDED(SafeArrayAccessData(array, &data))) {
            ULONG read = 0;
            const bool complete = size == 0 || (SUCCEEDED(stream->Read(data, size, &read)) && read == size);
            SafeArrayUnaccessData(array);
            if (complete) {
                out->vt = VT_ARRAY | VT_UI1;
                out->parray = array;
                array = nullptr;
                made = true;
            }
        }
        if (array) SafeArrayDestroy(array);
    }
    stream->Release();
    return made;
}

}  // namespace

bool IconCache::strip(LONG firstIndex, bool allImages, LONG size, VARIANT* out) {
    if (!out) return false;
    std::lock_guard guard(m_mutex);
    HIMAGELIST list = size == 32 ? m_large : m_small;
    const int count = list ? ImageList_GetImageCount(list) : 0;
    const int step = size == 32 ? 32 : 16;

    HDC dc = CreateCompatibleDC(nullptr);
    if (!dc) return false;
    HBITMAP format = LoadBitmapW(m_resources, MAKEINTRESOURCEW(IDB_STRIP_TEMPLATE));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    HBITMAP strip = nullptr;
    if (format && GetDIBits(dc, format, 0, 0, nullptr, &info, DIB_RGB_COLORS)) {
        BITMAPINFOHEADER header = info.bmiHeader;
        header.biWidth = step * (allImages ? count + 1 : 3);
        // 32-pixel images get a strip as tall as they are.
        header.biHeight = std::max<LONG>(header.biHeight < 0 ? -header.biHeight : header.biHeight, step);
        strip = CreateDIBitmap(dc, &header, 0, nullptr, nullptr, DIB_RGB_COLORS);
    }
    if (format) DeleteObject(format);
    if (!strip) {
        DeleteDC(dc);
        return false;
    }
    HGDIOBJ previous = SelectObject(dc, strip);
    if (list) {
        ImageList_SetBkColor(list, kStripBackground);
        if (allImages) {
            for (int i = 0; i < count; ++i) ImageList_Draw(list, i, dc, step * i, 0, ILD_NORMAL);
        } else if (firstIndex >= 0) {
            for (int i = 0; i < 3; ++i) ImageList_Draw(list, firstIndex + i, dc, step * i, 0, ILD_NORMAL);
        }
    }
    SelectObject(dc, previous);
    DeleteDC(dc);

    PICTDESC description{};
    description.cbSizeofstruct = sizeof description;
    description.picType = PICTYPE_BITMAP;
    description.bmp.hbitmap = strip;
    IPicture* picture = nullptr;
    if (FAILED(OleCreatePictureIndirect(&description, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture)))) {
        DeleteObject(strip);
        return false;
    }
    const bool made = PictureBytes(picture, out);
    picture->Release();
    return made;
}

}  // namespace glossar
