// Pixels behind bitmaps, icons and image lists, and their device-independent encodings.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "win/types.h"

namespace lumivel::gfx {

// 0xAARRGGBB. Alpha 0 is a transparent (masked) pixel; colour images use 255.
using Argb = uint32_t;

inline constexpr Argb kOpaque = 0xFF000000u;
inline Argb FromColorRef(COLORREF c) { return kOpaque | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF); }
inline COLORREF ToColorRef(Argb p) { return ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16); }
inline bool IsTransparent(Argb p) { return (p >> 24) < 128; }

// Top row first.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Argb> pixels;

    Image() = default;
    Image(int w, int h, Argb fill = 0) : width(w), height(h), pixels(size_t(w) * size_t(h), fill) {}
    bool empty() const { return width <= 0 || height <= 0; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    Argb& at(int x, int y) { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    Argb at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
    bool operator==(const Image&) const = default;
};

// Largest side accepted from any decoded or created picture; bounds allocation by hostile data.
inline constexpr int kMaxImageSide = 16384;

// Nearest-neighbour scaling (icons are drawn at list sizes this way).
Image Scaled(const Image& source, int width, int height);

// Draws `source` at (x, y) over `target`: opaque source pixels replace, transparent ones leave
// the target as it is.
void DrawOver(Image& target, const Image& source, int x, int y);

// A packed DIB: BITMAPINFOHEADER, colour table, rows (1, 4, 8, 24 or 32 bits, BI_RGB).
// `bitCount` receives the stored depth. Bottom-up and top-down rows are both read.
std::optional<Image> DecodePackedDib(const BYTE* data, size_t size, int* bitCount = nullptr);

// Rows described by a BITMAPINFO at a separate address (CreateDIBitmap): the header gives the
// layout, `bits` holds `bitsSize` bytes of rows (or is trusted for the full extent when 0).
std::optional<Image> DecodeDibRows(const BYTE* info, size_t infoSize, const BYTE* bits, size_t bitsSize);

// An RT_ICON image: header of double height, colour table, colour rows, 1-bit AND mask.
std::optional<Image> DecodeIconImage(const BYTE* data, size_t size);

// The images of an .ico file (ICONDIR, its entries, and a DIB icon image per entry); entries
// that do not decode are left out (PNG images among them). Nothing when none decodes.
std::optional<std::vector<Image>> DecodeIconFile(const BYTE* data, size_t size);

// A standard BMP file (BITMAPFILEHEADER + BITMAPINFOHEADER, 24 bits, bottom-up) that every
// image tool reads. Transparent pixels are written in their colour channels.
std::vector<BYTE> EncodeBmpFile(const Image& image);

// Reads a BMP file as EncodeBmpFile writes it (and any BI_RGB BMP of 1..32 bits).
std::optional<Image> DecodeBmpFile(const BYTE* data, size_t size);

}  // namespace lumivel::gfx
