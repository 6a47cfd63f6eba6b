// OLE pictures: a bitmap or icon wrapped as a COM object that can save itself as a file.
//
// ABI decision made here: OLE_HANDLE carries a GDI handle and is pointer-sized on this
// platform (handles are pointers here), where Windows keeps it 32 bits wide.
#pragma once

#include "win/objidl.h"

typedef UINT_PTR OLE_HANDLE;
typedef LONG OLE_XPOS_HIMETRIC;
typedef LONG OLE_YPOS_HIMETRIC;
typedef LONG OLE_XSIZE_HIMETRIC;
typedef LONG OLE_YSIZE_HIMETRIC;
DECLARE_OPAQUE_HANDLE(HPALETTE);

#define PICTYPE_UNINITIALIZED (-1)
#define PICTYPE_NONE 0
#define PICTYPE_BITMAP 1
#define PICTYPE_METAFILE 2
#define PICTYPE_ICON 3
#define PICTYPE_ENHMETAFILE 4

#define PICTURE_SCALABLE 0x1
#define PICTURE_TRANSPARENT 0x2

#define CTL_E_INVALIDPICTURE MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 481)

typedef struct tagPICTDESC {
    UINT cbSizeofstruct;
    UINT picType;
    union {
        struct {
            HBITMAP hbitmap;
            HPALETTE hpal;
        } bmp;
        struct {
            HICON hicon;
        } icon;
    };
} PICTDESC, *LPPICTDESC;

EXTERN_GUID(IID_IPicture);
EXTERN_GUID(CLSID_StdPicture);

struct IPicture : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE get_Handle(OLE_HANDLE* pHandle) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_hPal(OLE_HANDLE* phPal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Type(SHORT* pType) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Width(OLE_XSIZE_HIMETRIC* pWidth) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Height(OLE_YSIZE_HIMETRIC* pHeight) = 0;
    virtual HRESULT STDMETHODCALLTYPE Render(HDC hDC, LONG x, LONG y, LONG cx, LONG cy, OLE_XPOS_HIMETRIC xSrc,
                                             OLE_YPOS_HIMETRIC ySrc, OLE_XSIZE_HIMETRIC cxSrc,
                                             OLE_YSIZE_HIMETRIC cySrc, LPCRECT pRcWBounds) = 0;
    virtual HRESULT STDMETHODCALLTYPE set_hPal(OLE_HANDLE hPal) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_CurDC(HDC* phDC) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectPicture(HDC hDCIn, HDC* phDCOut, OLE_HANDLE* phBmpOut) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_KeepOriginalFormat(BOOL* pKeep) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_KeepOriginalFormat(BOOL keep) = 0;
    virtual HRESULT STDMETHODCALLTYPE PictureChanged() = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveAsFile(LPSTREAM pStream, BOOL fSaveMemCopy, LONG* pCbSize) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Attributes(DWORD* pDwAttr) = 0;
};
typedef IPicture* LPPICTURE;

extern "C" {
// Only bitmap pictures are made; other kinds give E_NOTIMPL. With fOwn the picture deletes
// the bitmap when it is released.
WINBASEAPI HRESULT OleCreatePictureIndirect(LPPICTDESC lpPictDesc, REFIID riid, BOOL fOwn, LPVOID* lplpvObj);
}
