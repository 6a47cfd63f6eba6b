// OLE picture objects over bitmaps: IPicture, saving as a BMP file, and stream persistence.
#include <algorithm>
#include <cstring>

#include "lumivel/com_object.h"
#include "lumivel/gdi_objects.h"
#include "win/errors.h"
#include "win/olectl.h"

#define DEFINE_PLATFORM_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
    extern "C" LUMIVEL_EXPORT const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}

DEFINE_PLATFORM_GUID(IID_IPicture, 0x7BF80980, 0xBF32, 0x101A, 0x8B, 0xBB, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB);
DEFINE_PLATFORM_GUID(CLSID_StdPicture, 0x0BE35204, 0x8F91, 0x11CE, 0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);

namespace lumivel::gfx {
namespace {

// Saved pictures in a stream start with this tag and the byte count of the file after it.
constexpr DWORD kStreamTag = 0x0000746C;  // "lt\0\0"

LONG PixelsToHimetric(int pixels) { return LONG((int64_t(pixels) * 2540 + 48) / 96); }

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
    ULONG written = 0;
    HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : STG_E_MEDIUMFULL;
}

class Picture final : public lumivel::com::ComObject<Picture, IPicture, IPersistStream> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<Picture, IPicture>(IID_IPicture),
        lumivel::com::InterfaceOf<Picture, IPersistStream>(IID_IPersistStream),
        lumivel::com::InterfaceOf<Picture, IPersistStream>(IID_IPersist),
    };

    Picture(HBITMAP bitmap, bool own) : m_bitmap(bitmap), m_own(own) {}

    // IPicture
    HRESULT STDMETHODCALLTYPE get_Handle(OLE_HANDLE* pHandle) override {
        if (pHandle == nullptr) return E_POINTER;
        *pHandle = reinterpret_cast<OLE_HANDLE>(m_bitmap);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_hPal(OLE_HANDLE* phPal) override {
        if (phPal == nullptr) return E_POINTER;
        *phPal = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Type(SHORT* pType) override {
        if (pType == nullptr) return E_POINTER;
        *pType = m_bitmap ? PICTYPE_BITMAP : PICTYPE_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Width(OLE_XSIZE_HIMETRIC* pWidth) override {
        if (pWidth == nullptr) return E_POINTER;
        auto image = BitmapImage(m_bitmap);
        *pWidth = image ? PixelsToHimetric(image->width) : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Height(OLE_YSIZE_HIMETRIC* pHeight) override {
        if (pHeight == nullptr) return E_POINTER;
        auto image = BitmapImage(m_bitmap);
        *pHeight = image ? PixelsToHimetric(image->height) : 0;
        return S_OK;
    }
    // The source rectangle is in HIMETRIC with y growing upwards (ySrc at the bottom edge and
    // cySrc negative for an upright picture), as OLE pictures take it.
    HRESULT STDMETHODCALLTYPE Render(HDC hDC, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC xSrc,
                                     OLE_YPOS_HIMETRIC ySrc, OLE_XSIZE_HIMETRIC cxSrc, OLE_YSIZE_HIMETRIC cySrc,
                                     LPCRECT) override {
        auto image = BitmapImage(m_bitmap);
        auto dc = FindDeviceContext(hDC);
        if (!image || !dc || !dc->bitmap) return E_INVALIDARG;
        if (cx == 0 || cy == 0 || cxSrc == 0 || cySrc == 0) return E_INVALIDARG;
        LONG fullHeight = PixelsToHimetric(image->height);
        std::lock_guard lock(*dc->bitmap->pixelsMutex);
        Image& target = *dc->bitmap->pixels;
        for (LONG j = 0; j < (cy < 0 ? -cy : cy); ++j) {
            for (LONG i = 0; i < (cx < 0 ? -cx : cx); ++i) {
                double hx = xSrc + (i + 0.5) * double(cxSrc) / (cx < 0 ? -cx : cx);
                double hy = ySrc + (j + 0.5) * double(cySrc) / (cy < 0 ? -cy : cy);
                int sx = int(hx * 96 / 2540);
                int sy = int((fullHeight - hy) * 96 / 2540);
                int tx = x + (cx < 0 ? -i : i) + dc->origin.x, ty = y + (cy < 0 ? -j : j) + dc->origin.y;
                if (image->contains(sx, sy) && target.contains(tx, ty)) target.at(tx, ty) = image->at(sx, sy) | kOpaque;
            }
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE set_hPal(OLE_HANDLE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE get_CurDC(HDC* phDC) override {
        if (phDC == nullptr) return E_POINTER;
        *phDC = m_dc;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SelectPicture(HDC hDCIn, HDC* phDCOut, OLE_HANDLE* phBmpOut) override {
        if (SelectObject(hDCIn, m_bitmap) == nullptr) return E_FAIL;
        if (phDCOut) *phDCOut = m_dc;
        if (phBmpOut) *phBmpOut = reinterpret_cast<OLE_HANDLE>(m_bitmap);
        m_dc = hDCIn;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_KeepOriginalFormat(BOOL* pKeep) override {
        if (pKeep == nullptr) return E_POINTER;
        *pKeep = m_keepOriginal;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_KeepOriginalFormat(BOOL keep) override {
        m_keepOriginal = keep;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PictureChanged() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SaveAsFile(LPSTREAM pStream, BOOL, LONG* pCbSize) override {
        if (pStream == nullptr) return E_POINTER;
        auto image = BitmapImage(m_bitmap);
        if (!image) return CTL_E_INVALIDPICTURE;
        std::vector<BYTE> file = EncodeBmpFile(*image);
        HRESULT hr = WriteAll(pStream, file.data(), ULONG(file.size()));
        if (FAILED(hr)) return hr;
        if (pCbSize) *pCbSize = LONG(file.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Attributes(DWORD* pDwAttr) override {
        if (pDwAttr == nullptr) return E_POINTER;
        *pDwAttr = 0;
        return S_OK;
    }

    // IPersistStream
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* pClassID) override {
        if (pClassID == nullptr) return E_POINTER;
        *pClassID = CLSID_StdPicture;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE Load(IStream* pStm) override {
        if (pStm == nullptr) return E_POINTER;
        DWORD header[2];
        ULONG read = 0;
        if (FAILED(pStm->Read(header, sizeof(header), &read)) || read != sizeof(header) || header[0] != kStreamTag)
            return CTL_E_INVALIDPICTURE;
        if (header[1] > (DWORD(256) << 20)) return CTL_E_INVALIDPICTURE;
        std::vector<BYTE> file(header[1]);
        if (!file.empty() && (FAILED(pStm->Read(file.data(), header[1], &read)) || read != header[1]))
            return CTL_E_INVALIDPICTURE;
        auto image = DecodeBmpFile(file.data(), file.size());
        if (!image) return CTL_E_INVALIDPICTURE;
        HBITMAP bitmap = CreateBitmapFromImage(std::move(*image));
        if (!bitmap) return E_OUTOFMEMORY;
        ReleaseBitmap();
        m_bitmap = bitmap;
        m_own = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Save(IStream* pStm, BOOL) override {
        if (pStm == nullptr) return E_POINTER;
        auto image = BitmapImage(m_bitmap);
        if (!image) return CTL_E_INVALIDPICTURE;
        std::vector<BYTE> file = EncodeBmpFile(*image);
        DWORD header[2] = {kStreamTag, DWORD(file.size())};
        HRESULT hr = WriteAll(pStm, header, sizeof(header));
        return FAILED(hr) ? hr : WriteAll(pStm, file.data(), ULONG(file.size()));
    }
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* pcbSize) override {
        if (pcbSize == nullptr) return E_POINTER;
        auto image = BitmapImage(m_bitmap);
        pcbSize->QuadPart = image ? 8 + EncodeBmpFile(*image).size() : 8;
        return S_OK;
    }

private:
    ~Picture() override { ReleaseBitmap(); }
    void ReleaseBitmap() {
        if (m_own && m_bitmap) DeleteObject(m_bitmap);
        m_bitmap = nullptr;
    }

    HBITMAP m_bitmap;
    bool m_own;
    HDC m_dc = nullptr;
    BOOL m_keepOriginal = TRUE;
};

}  // namespace
}  // namespace lumivel::gfx

extern "C" HRESULT OleCreatePictureIndirect(LPPICTDESC lpPictDesc, REFIID riid, BOOL fOwn, LPVOID* lplpvObj) {
    if (lplpvObj == nullptr) return E_POINTER;
    *lplpvObj = nullptr;
    HBITMAP bitmap = nullptr;
    if (lpPictDesc != nullptr) {
        if (lpPictDesc->cbSizeofstruct != sizeof(PICTDESC) && lpPictDesc->cbSizeofstruct < 8 + sizeof(HBITMAP))
            return E_INVALIDARG;
        if (lpPictDesc->picType == UINT(PICTYPE_BITMAP)) {
            if (!lumivel::gfx::FindGdiObject(lpPictDesc->bmp.hbitmap, lumivel::gfx::GdiKind::Bitmap)) return E_INVALIDARG;
            bitmap = lpPictDesc->bmp.hbitmap;
        } else if (lpPictDesc->picType != UINT(PICTYPE_NONE) && lpPictDesc->picType != UINT(PICTYPE_UNINITIALIZED)) {
            return E_NOTIMPL;
        }
    }
    return lumivel::com::CreateComObject<lumivel::gfx::Picture, lumivel::com::Aggregation::Refused>(
        nullptr, riid, lplpvObj, bitmap, fOwn != FALSE);
}
