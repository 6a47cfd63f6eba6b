// Pixel operations and the DIB, icon-image and BMP-file encodings.
#include "lumivel/raster.h"

#include <cstring>

#include "win/gdi.h"

namespace lumivel::gfx {
namespace {

template <typename T>
bool ReadAt(const BYTE* data, size_t size, size_t offset, T& value) {
    if (offset > size || size - offset < sizeof(T)) return false;
    std::memcpy(&value, data + offset, sizeof(T));
    return true;
}

size_t RowBytes(int bits, int width) { return ((size_t(width) * size_t(bits) + 31) / 32) * 4; }

struct DibLayout {
    int width = 0;
    int height = 0;  // rows in the colour plane
    bool topDown = false;
    int bits = 0;
    size_t paletteOffset = 0;
    std::vector<Argb> palette;
};

// Reads and checks a BITMAPINFOHEADER at the start of `info`; `heightDivisor` is 2 for icon
// images, whose header counts the colour and mask planes together.
std::optional<DibLayout> ReadLayout(const BYTE* info, size_t size, int heightDivisor) {
    BITMAPINFOHEADER header;
    if (!ReadAt(info, size, 0, header) || header.biSize < sizeof(BITMAPINFOHEADER) || header.biSize > size)
        return std::nullopt;
    if (header.biCompression != BI_RGB || header.biPlanes != 1) return std::nullopt;
    int bits = header.biBitCount;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return std::nullopt;
    LONG rawHeight = header.biHeight;
    if (header.biWidth <= 0 || header.biWidth > kMaxImageSide || rawHeight == 0 || rawHeight == INT32_MIN)
        return std::nullopt;
    DibLayout layout;
    layout.width = header.biWidth;
    layout.topDown = rawHeight < 0 && heightDivisor == 1;
    LONG height = rawHeight < 0 ? -rawHeight : rawHeight;
    if (height % heightDivisor != 0 || height / heightDivisor > kMaxImageSide) return std::nullopt;
    layout.height = height / heightDivisor;
    layout.bits = bits;
    layout.paletteOffset = header.biSize;
    if (bits <= 8) {
        size_t entries = header.biClrUsed ? header.biClrUsed : (size_t(1) << bits);
        if (entries > (size_t(1) << bits)) return std::nullopt;
        if (size - layout.paletteOffset < entries * 4) return std::nullopt;
        for (size_t i = 0; i < entries; ++i) {
            RGBQUAD q;
            std::memcpy(&q, info + layout.paletteOffset + i * 4, 4);
            layout.palette.push_back(kOpaque | (Argb(q.rgbRed) << 16) | (Argb(q.rgbGreen) << 8) | q.rgbBlue);
        }
    }
    return layout;
}

size_t InfoSize(const DibLayout& layout) { return layout.paletteOffset + layout.palette.size() * 4; }

std::optional<Image> DecodeRows(const DibLayout& layout, const BYTE* bits, size_t size) {
    size_t stride = RowBytes(layout.bits, layout.width);
    if (size / stride < size_t(layout.height)) return std::nullopt;
    Image image(layout.width, layout.height);
    for (int row = 0; row < layout.height; ++row) {
        const BYTE* line = bits + stride * size_t(row);
        int y = layout.topDown ? row : layout.height - 1 - row;
        for (int x = 0; x < layout.width; ++x) {
            Argb pixel;
            switch (layout.bits) {
            case 32:
                pixel = kOpaque | (Argb(line[x * 4 + 2]) << 16) | (Argb(line[x * 4 + 1]) << 8) | line[x * 4];
                break;
            case 24:
                pixel = kOpaque | (Argb(line[x * 3 + 2]) << 16) | (Argb(line[x * 3 + 1]) << 8) | line[x * 3];
                break;
            default: {
                int perByte = 8 / layout.bits;
                int shift = (perByte - 1 - x % perByte) * layout.bits;
                size_t index = (line[x / perByte] >> shift) & ((1 << layout.bits) - 1);
                pixel = index < layout.palette.size() ? layout.palette[index] : kOpaque;
            }
            }
            image.at(x, y) = pixel;
        }
    }
    return image;
}

void PutLe16(std::vector<BYTE>& out, WORD v) {
    out.push_back(BYTE(v));
    out.push_back(BYTE(v >> 8));
}

void PutLe32(std::vector<BYTE>& out, DWORD v) {
    for (int i = 0; i < 4; ++i) out.push_back(BYTE(v >> (8 * i)));
}

}  // namespace

Image Scaled(const Image& source, int width, int height) {
    if (source.width == width && source.height == height) return source;
    Image out(width, height);
    if (source.empty()) return out;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            out.at(x, y) = source.at(int(int64_t(x) * source.width / width), int(int64_t(y) * source.height / height));
    return out;
}

void DrawOver(Image& target, const Image& source, int x, int y) {
    for (int sy = 0; sy < source.height; ++sy) {
        int ty = y + sy;
        if (ty < 0 || ty >= target.height) continue;
        for (int sx = 0; sx < source.width; ++sx) {
            int tx = x + sx;
            if (tx < 0 || tx >= target.width) continue;
            Argb p = source.at(sx, sy);
            if (!IsTransparent(p)) target.at(tx, ty) = p | kOpaque;
        }
    }
}

std::optional<Image> DecodePackedDib(const BYTE* data, size_t size, int* bitCount) {
    if (data == nullptr) return std::nullopt;
    auto layout = ReadLayout(data, size, 1);
    if (!layout) return std::nullopt;
    if (bitCount) *bitCount = layout->bits;
    size_t offset = InfoSize(*layout);
    return DecodeRows(*layout, data + offset, size - offset);
}

std::optional<Image> DecodeDibRows(const BYTE* info, size_t infoSize, const BYTE* bits, size_t bitsSize) {
    if (info == nullptr || bits == nullptr) return std::nullopt;
    auto layout = ReadLayout(info, infoSize, 1);
    if (!layout) return std::nullopt;
    if (bitsSize == 0) bitsSize = RowBytes(layout->bits, layout->width) * size_t(layout->height);
    return DecodeRows(*layout, bits, bitsSize);
}

std::optional<Image> DecodeIconImage(const BYTE* data, size_t size) {
    if (data == nullptr) return std::nullopt;
    auto layout = ReadLayout(data, size, 2);
    if (!layout) return std::nullopt;
    size_t offset = InfoSize(*layout);
    auto image = DecodeRows(*layout, data + offset, size - offset);
    if (!image) return std::nullopt;
    size_t maskOffset = offset + RowBytes(layout->bits, layout->width) * size_t(layout->height);
    size_t maskStride = RowBytes(1, layout->width);
    bool hasMask = size >= maskOffset && (size - maskOffset) / maskStride >= size_t(layout->height);
    bool alphaUsed = false;
    if (layout->bits == 32) {
        // A 32-bit icon carries alpha; when every alpha byte is zero the mask alone decides.
        const BYTE* rows = data + offset;
        size_t stride = RowBytes(32, layout->width);
        for (int row = 0; row < layout->height && !alphaUsed; ++row)
            for (int x = 0; x < layout->width; ++x)
                if (rows[stride * size_t(row) + size_t(x) * 4 + 3] != 0) alphaUsed = true;
        if (alphaUsed) {
            for (int row = 0; row < layout->height; ++row) {
                int y = layout->height - 1 - row;
                for (int x = 0; x < layout->width; ++x) {
                    BYTE a = rows[stride * size_t(row) + size_t(x) * 4 + 3];
                    image->at(x, y) = (image->at(x, y) & 0x00FFFFFF) | (a >= 128 ? kOpaque : 0);
                }
            }
        }
    }
    if (!alphaUsed && hasMask) {
        const BYTE* mask = data + maskOffset;
        for (int row = 0; row < layout->height; ++row) {
            int y = layout->height - 1 - row;
            for (int x = 0; x < layout->width; ++x)
                if (mask[maskStride * size_t(row) + size_t(x / 8)] & (0x80 >> (x % 8)))
                    image->at(x, y) &= 0x00FFFFFF;
        }
    } else if (!alphaUsed && !hasMask) {
        return std::nullopt;
    }
    return image;
}

std::optional<std::vector<Image>> DecodeIconFile(const BYTE* data, size_t size) {
    WORD reserved = 0, type = 0, count = 0;
    if (data == nullptr || !ReadAt(data, size, 0, reserved) || !ReadAt(data, size, 2, type) || !ReadAt(data, size, 4, count))
        return std::nullopt;
    if (reserved != 0 || type != 1 || count == 0) return std::nullopt;
    std::vector<Image> images;
    for (size_t i = 0; i < count; ++i) {
        DWORD bytes = 0, offset = 0;
        size_t entry = 6 + i * 16;
        if (!ReadAt(data, size, entry + 8, bytes) || !ReadAt(data, size, entry + 12, offset)) return std::nullopt;
        if (offset > size || bytes > size - offset) continue;
        if (auto image = DecodeIconImage(data + offset, bytes)) images.push_back(std::move(*image));
    }
    if (images.empty()) return std::nullopt;
    return images;
}

std::vector<BYTE> EncodeBmpFile(const Image& image) {
    size_t stride = RowBytes(24, image.width);
    size_t pixelBytes = stride * size_t(image.height);
    DWORD offset = 14 + 40;
    std::vector<BYTE> out;
    out.reserve(offset + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    PutLe32(out, DWORD(offset + pixelBytes));
    PutLe32(out, 0);
    PutLe32(out, offset);
    PutLe32(out, 40);
    PutLe32(out, DWORD(image.width));
    PutLe32(out, DWORD(image.height));
    PutLe16(out, 1);
    PutLe16(out, 24);
    PutLe32(out, BI_RGB);
    PutLe32(out, DWORD(pixelBytes));
    PutLe32(out, 3780);  // 96 dots per inch
    PutLe32(out, 3780);
    PutLe32(out, 0);
    PutLe32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        size_t start = out.size();
        for (int x = 0; x < image.width; ++x) {
            Argb p = image.at(x, y);
            out.push_back(BYTE(p));
            out.push_back(BYTE(p >> 8));
            out.push_back(BYTE(p >> 16));
        }
        out.resize(start + stride, 0);
    }
    return out;
}

std::optional<Image> DecodeBmpFile(const BYTE* data, size_t size) {
    BITMAPFILEHEADER file;
    if (data == nullptr || !ReadAt(data, size, 0, file) || file.bfType != 0x4D42) return std::nullopt;
    if (file.bfOffBits < sizeof(BITMAPFILEHEADER) || file.bfOffBits > size) return std::nullopt;
    const BYTE* info = data + sizeof(BITMAPFILEHEADER);
    size_t infoSize = file.bfOffBits - sizeof(BITMAPFILEHEADER);
    auto layout = ReadLayout(info, infoSize, 1);
    if (!layout) return std::nullopt;
    return DecodeRows(*layout, data + file.bfOffBits, size - file.bfOffBits);
}

}  // namespace lumivel::gfx
