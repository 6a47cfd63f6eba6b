// Device contexts, bitmaps, brushes and pens: the GDI subset the product uses for icon strips
// and for painting a control's surface.
//
// ABI decisions made here: every bitmap this platform creates is a 32-bit device-dependent
// bitmap (the "screen" is 32 bits deep, BGRA); GetDIBits reports that format. Memory DCs
// start with the stock 1x1 monochrome bitmap selected, as on Windows. BITMAPFILEHEADER is
// 2-byte packed, as BMP files lay it out.
#pragma once

#include "win/types.h"

#define BI_RGB 0L
#define BI_BITFIELDS 3L

#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1
#define CBM_INIT 0x04L

#define SRCCOPY 0x00CC0020L
#define SRCPAINT 0x00EE0086L
#define SRCAND 0x008800C6L
#define BLACKNESS 0x00000042L
#define WHITENESS 0x00FF0062L

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13
#define DEFAULT_GUI_FONT 17

#define PS_SOLID 0
#define PS_DASH 1
#define PS_DOT 2
#define PS_NULL 5

#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90

#define TRANSPARENT 1
#define OPAQUE 2

#define HGDI_ERROR ((HGDIOBJ)(LONG_PTR)-1)
#define CLR_INVALID 0xFFFFFFFF

typedef struct tagRGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER, *PBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO, *PBITMAPINFO;

#pragma pack(push, 2)
typedef struct tagBITMAPFILEHEADER {
    WORD bfType;
    DWORD bfSize;
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;
} BITMAPFILEHEADER, *LPBITMAPFILEHEADER;
#pragma pack(pop)

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP, *PBITMAP, *LPBITMAP;

typedef struct tagICONINFO {
    BOOL fIcon;
    DWORD xHotspot;
    DWORD yHotspot;
    HBITMAP hbmMask;
    HBITMAP hbmColor;
} ICONINFO, *PICONINFO;

extern "C" {
WINBASEAPI HDC CreateCompatibleDC(HDC hdc);
WINBASEAPI BOOL DeleteDC(HDC hdc);
WINBASEAPI HGDIOBJ SelectObject(HDC hdc, HGDIOBJ h);
WINBASEAPI BOOL DeleteObject(HGDIOBJ ho);
WINBASEAPI HGDIOBJ GetStockObject(int i);
WINBASEAPI HGDIOBJ GetCurrentObject(HDC hdc, UINT type);
WINBASEAPI int GetObjectW(HANDLE h, int c, LPVOID pv);
WINBASEAPI int GetDeviceCaps(HDC hdc, int index);

WINBASEAPI HBITMAP CreateCompatibleBitmap(HDC hdc, int cx, int cy);
WINBASEAPI HBITMAP CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits);
WINBASEAPI HBITMAP CreateDIBitmap(HDC hdc, const BITMAPINFOHEADER* pbmih, DWORD flInit, const void* pjBits,
                                  const BITMAPINFO* pbmi, UINT iUsage);
WINBASEAPI int GetDIBits(HDC hdc, HBITMAP hbm, UINT start, UINT cLines, LPVOID lpvBits, LPBITMAPINFO lpbmi,
                         UINT usage);

WINBASEAPI HBRUSH CreateSolidBrush(COLORREF color);
WINBASEAPI HPEN CreatePen(int iStyle, int cWidth, COLORREF color);

WINBASEAPI BOOL Rectangle(HDC hdc, int left, int top, int right, int bottom);
WINBASEAPI BOOL BitBlt(HDC hdc, int x, int y, int cx, int cy, HDC hdcSrc, int x1, int y1, DWORD rop);
WINBASEAPI COLORREF GetPixel(HDC hdc, int x, int y);
WINBASEAPI COLORREF SetPixel(HDC hdc, int x, int y, COLORREF color);
WINBASEAPI COLORREF SetBkColor(HDC hdc, COLORREF color);
WINBASEAPI COLORREF GetBkColor(HDC hdc);
WINBASEAPI COLORREF SetTextColor(HDC hdc, COLORREF color);
WINBASEAPI int SetBkMode(HDC hdc, int mode);

WINBASEAPI HICON CreateIconIndirect(PICONINFO piconinfo);
WINBASEAPI BOOL GetIconInfo(HICON hIcon, PICONINFO piconinfo);
}
