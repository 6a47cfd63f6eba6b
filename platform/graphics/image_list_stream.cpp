// ImageList_Write and ImageList_Read in this platform's own stream format:
//
//   offset  size  field
//        0     4  "LMIL"
//        4     2  version (1)
//        6     2  header size (32)
//        8     4  image width        12  4  image height
//       16     4  ILC_* flags        20  4  image count
//       24     4  growth             28  4  background COLORREF (CLR_NONE = none)
//       32     n  count * width * height pixels, 4 bytes each (B, G, R, A), top row first
//     32+n     4  CRC-32 of everything before it
//
// All numbers little-endian. Read refuses anything that does not check out: wrong magic or
// version, sizes out of range, a short stream, a checksum mismatch. Some callers' streams
// report a full read even when the file ended early, so the checksum is what catches a
// truncated file.
#include <algorithm>
#include <array>
#include <cstring>

#include "image_list_object.h"
#include "win/errors.h"
#include "win/objidl.h"

namespace lumivel::gfx {
namespace {

constexpr BYTE kMagic[4] = {'L', 'M', 'I', 'L'};
constexpr WORD kVersion = 1;
constexpr WORD kHeaderSize = 32;
// A stream claiming more than this is refused before anything is allocated for it.
constexpr size_t kMaxPixelBytes = size_t(64) << 20;

class Crc32 {
public:
    void add(const BYTE* data, size_t size) {
        static const std::array<uint32_t, 256> table = [] {
            std::array<uint32_t, 256> t{};
            for (uint32_t n = 0; n < 256; ++n) {
                uint32_t c = n;
                for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
                t[n] = c;
            }
            return t;
        }();
        for (size_t i = 0; i < size; ++i) m_value = table[(m_value ^ data[i]) & 0xFF] ^ (m_value >> 8);
    }
    uint32_t value() const { return m_value ^ 0xFFFFFFFFu; }

private:
    uint32_t m_value = 0xFFFFFFFFu;
};

void Put32(BYTE* at, uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = BYTE(v >> (8 * i));
}

uint32_t Get32(const BYTE* at) { return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24; }

bool WriteAll(IStream* stream, const BYTE* data, size_t size, Crc32* crc) {
    while (size > 0) {
        ULONG chunk = ULONG(std::min<size_t>(size, 1u << 20));
        ULONG written = 0;
        if (FAILED(stream->Write(data, chunk, &written)) || written != chunk) return false;
        if (crc) crc->add(data, chunk);
        data += chunk;
        size -= chunk;
    }
    return true;
}

bool ReadAll(IStream* stream, BYTE* data, size_t size) {
    while (size > 0) {
        ULONG chunk = ULONG(std::min<size_t>(size, 1u << 20));
        ULONG read = 0;
        HRESULT hr = stream->Read(data, chunk, &read);
        if (FAILED(hr) || read == 0 || read > chunk) return false;
        data += read;
        size -= read;
    }
    return true;
}

}  // namespace
}  // namespace lumivel::gfx

using namespace lumivel::gfx;

extern "C" {

BOOL ImageList_Write(HIMAGELIST himl, IStream* pstm) {
    auto list = FindImageList(himl);
    if (!list || pstm == nullptr) return FALSE;
    std::lock_guard lock(list->mutex);
    BYTE header[kHeaderSize] = {};
    std::memcpy(header, kMagic, 4);
    header[4] = BYTE(kVersion);
    header[6] = BYTE(kHeaderSize);
    Put32(header + 8, uint32_t(list->cx));
    Put32(header + 12, uint32_t(list->cy));
    Put32(header + 16, list->flags);
    Put32(header + 20, uint32_t(list->images.size()));
    Put32(header + 24, uint32_t(list->grow));
    Put32(header + 28, list->background);
    Crc32 crc;
    if (!WriteAll(pstm, header, sizeof(header), &crc)) return FALSE;
    std::vector<BYTE> row(size_t(list->cx) * 4);
    for (const Image& image : list->images) {
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                Argb p = image.at(x, y);
                BYTE* px = row.data() + size_t(x) * 4;
                px[0] = BYTE(p);
                px[1] = BYTE(p >> 8);
                px[2] = BYTE(p >> 16);
                px[3] = BYTE(p >> 24);
            }
            if (!WriteAll(pstm, row.data(), row.size(), &crc)) return FALSE;
        }
    }
    BYTE trailer[4];
    Put32(trailer, crc.value());
    return WriteAll(pstm, trailer, 4, nullptr) ? TRUE : FALSE;
}

HIMAGELIST ImageList_Read(IStream* pstm) {
    if (pstm == nullptr) return nullptr;
    // Zeroed first: a stream that reports more than it read leaves the rest as it was.
    BYTE header[kHeaderSize] = {};
    if (!ReadAll(pstm, header, sizeof(header))) return nullptr;
    if (std::memcmp(header, kMagic, 4) != 0 || (header[4] | header[5] << 8) != kVersion ||
        (header[6] | header[7] << 8) != kHeaderSize)
        return nullptr;
    uint32_t cx = Get32(header + 8), cy = Get32(header + 12), count = Get32(header + 20);
    if (cx == 0 || cy == 0 || cx > uint32_t(kMaxImageListSide) || cy > uint32_t(kMaxImageListSide) ||
        count > kMaxImageListCount)
        return nullptr;
    size_t imageBytes = size_t(cx) * cy * 4;
    if (count != 0 && imageBytes * count > kMaxPixelBytes) return nullptr;
    Crc32 crc;
    crc.add(header, sizeof(header));
    auto list = std::make_shared<ImageListObject>();
    list->cx = int(cx);
    list->cy = int(cy);
    list->flags = Get32(header + 16);
    uint32_t grow = Get32(header + 24);
    list->grow = grow == 0 || grow > kMaxImageListCount ? 1 : int(grow);
    uint32_t background = Get32(header + 28);
    list->background = background == CLR_NONE ? CLR_NONE : (background & 0x00FFFFFF);
    // Images are read one at a time, so a stream that ends early costs only what it held.
    std::vector<BYTE> buffer(imageBytes);
    for (uint32_t n = 0; n < count; ++n) {
        std::fill(buffer.begin(), buffer.end(), BYTE(0));
        if (!ReadAll(pstm, buffer.data(), buffer.size())) return nullptr;
        crc.add(buffer.data(), buffer.size());
        Image image{int(cx), int(cy)};
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            const BYTE* px = buffer.data() + i * 4;
            image.pixels[i] = Argb(px[0]) | Argb(px[1]) << 8 | Argb(px[2]) << 16 | Argb(px[3]) << 24;
        }
        list->images.push_back(std::move(image));
    }
    BYTE trailer[4] = {};
    if (!ReadAll(pstm, trailer, 4) || Get32(trailer) != crc.value()) return nullptr;
    return AddImageList(std::move(list));
}

}  // extern "C"
