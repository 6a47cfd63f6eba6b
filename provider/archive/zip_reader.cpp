#include "provider/archive/zip_reader.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace revivo::zip {

namespace {

constexpr size_t kChunk = 256 * 1024;

// CP437 code points of the bytes 0x80-0xFF.
constexpr char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE,
    0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6,
    0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA,
    0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502,
    0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514,
    0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550,
    0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C,
    0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320,
    0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

void AppendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Info-ZIP's Unicode path field: version 1, the CRC of the stored name, the UTF-8 name. It
// only counts while that CRC still matches, i.e. no tool renamed the member since.
std::optional<std::string> UnicodePathFromExtra(std::string_view extra, std::string_view rawName) {
    while (extra.size() >= 4) {
        auto bytes = reinterpret_cast<const unsigned char*>(extra.data());
        uint16_t id = ReadLe16(bytes);
        uint16_t size = ReadLe16(bytes + 2);
        if (size > extra.size() - 4) return std::nullopt;
        if (id == kExtraUnicodePath && size >= 5 && bytes[4] == 1) {
            uint32_t nameCrc = ReadLe32(bytes + 5);
            uint32_t actual = static_cast<uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(rawName.data()), static_cast<uInt>(rawName.size())));
            std::string_view name = extra.substr(9, size - 5);
            if (nameCrc == actual && IsValidUtf8(name)) return std::string(name);
        }
        extra.remove_prefix(4 + size);
    }
    return std::nullopt;
}

std::string DecodeName(const std::string& rawName, uint16_t flags, std::string_view extra) {
    if (flags & kFlagUtf8Name) return rawName;  // validity is checked with the bare name
    if (std::optional<std::string> unicode = UnicodePathFromExtra(extra, rawName)) return *unicode;
    // Unix tools store UTF-8 without the flag; anything else is the old DOS code page.
    return IsValidUtf8(rawName) ? rawName : Cp437ToUtf8(rawName);
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        size_t extra;
        uint32_t c;
        if (b < 0x80) {
            ++i;
            continue;
        } else if (b >= 0xC2 && b <= 0xDF) {
            extra = 1, c = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            extra = 2, c = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            extra = 3, c = b & 0x07;
        } else {
            return false;
        }
        if (i + extra >= bytes.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = (c << 6) | (next & 0x3F);
        }
        bool overlong = (extra == 2 && c < 0x800) || (extra == 3 && c < 0x10000);
        if (overlong || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) return false;
        i += extra + 1;
    }
    return true;
}

std::string Cp437ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char byte : bytes) {
        unsigned char b = static_cast<unsigned char>(byte);
        AppendUtf8(out, b < 0x80 ? static_cast<char16_t>(b) : kCp437High[b - 0x80]);
    }
    return out;
}

std::optional<std::string> SafeBareName(const std::string& name) {
    size_t cut = name.find_last_of("/\\");
    std::string bare = cut == std::string::npos ? name : name.substr(cut + 1);
    if (bare.size() >= 2 && bare[1] == ':' && ((bare[0] >= 'A' && bare[0] <= 'Z') || (bare[0] >= 'a' && bare[0] <= 'z'))) {
        bare.erase(0, 2);
    }
    if (bare.empty() || bare == "." || bare == ".." || bare.size() > 255 || !IsValidUtf8(bare)) return std::nullopt;
    for (char c : bare) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return std::nullopt;
    }
    return bare;
}

Status ZipReader::Open() {
    m_entries.clear();
    uint64_t size = m_source.Size();
    if (size < kEndRecordSize) return Status::Corrupt;
    size_t tailSize = static_cast<size_t>(std::min<uint64_t>(size, kEndRecordSize + kMaxCommentSize));
    std::string tail;
    try {
        tail.resize(tailSize);
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
    uint64_t tailStart = size - tailSize;
    if (!m_source.ReadAt(tailStart, tail.data(), tailSize)) return Status::ReadFailed;
    auto bytes = reinterpret_cast<const unsigned char*>(tail.data());

    // The last end record whose comment fits in what follows it.
    std::optional<size_t> end;
    for (size_t p = tailSize - kEndRecordSize + 1; p-- > 0;) {
        if (ReadLe32(bytes + p) == kEndRecordSignature &&
            p + kEndRecordSize + ReadLe16(bytes + p + 20) <= tailSize) {
            end = p;
            break;
        }
    }
    if (!end) return Status::Corrupt;
    const unsigned char* record = bytes + *end;
    uint64_t endOffset = tailStart + *end;

    if (endOffset >= kZip64LocatorSize) {
        unsigned char locator[4];
        if (m_source.ReadAt(endOffset - kZip64LocatorSize, locator, 4) && ReadLe32(locator) == kZip64LocatorSignature) {
            return Status::Unsupported;
        }
    }
    uint16_t disk = ReadLe16(record + 4);
    uint16_t centralDisk = ReadLe16(record + 6);
    uint16_t entriesHere = ReadLe16(record + 8);
    uint16_t entries = ReadLe16(record + 10);
    uint32_t centralSize = ReadLe32(record + 12);
    uint32_t centralOffset = ReadLe32(record + 16);
    if (entries == 0xFFFF || centralSize == 0xFFFFFFFF || centralOffset == 0xFFFFFFFF) return Status::Unsupported;
    if (disk != 0 || centralDisk != 0 || entriesHere != entries) return Status::Unsupported;
    if (static_cast<uint64_t>(centralSize) + centralOffset > endOffset) return Status::Corrupt;
    // Data in front of the archive (a stub) moves every offset by the same amount.
    uint64_t shift = endOffset - centralSize - centralOffset;
    return ParseCentralDirectory(centralOffset + shift, centralSize, entries, shift);
}

Status ZipReader::ParseCentralDirectory(uint64_t start, uint32_t size, uint32_t count, uint64_t shift) {
    if (static_cast<uint64_t>(count) * kCentralHeaderSize > size) return Status::Corrupt;
    std::string directory;
    try {
        directory.resize(size);
        m_entries.reserve(count);
    } catch (const std::bad_alloc&) {
        return Status::OutOfMemory;
    }
    if (size && !m_source.ReadAt(start, directory.data(), size)) return Status::ReadFailed;
    m_centralStart = start;
    auto bytes = reinterpret_cast<const unsigned char*>(directory.data());
    size_t pos = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - pos < kCentralHeaderSize) return Status::Corrupt;
        const unsigned char* h = bytes + pos;
        if (ReadLe32(h) != kCentralHeaderSignature) return Status::Corrupt;
        size_t nameLength = ReadLe16(h + 28), extraLength = ReadLe16(h + 30), commentLength = ReadLe16(h + 32);
        if (size - pos - kCentralHeaderSize < nameLength + extraLength + commentLength) return Status::Corrupt;
        ZipEntry entry;
        entry.flags = ReadLe16(h + 8);
        entry.method = ReadLe16(h + 10);
        entry.dosTime = ReadLe16(h + 12);
        entry.dosDate = ReadLe16(h + 14);
        entry.crc = ReadLe32(h + 16);
        entry.compressedSize = ReadLe32(h + 20);
        entry.uncompressedSize = ReadLe32(h + 24);
        uint16_t diskStart = ReadLe16(h + 34);
        uint32_t localOffset = ReadLe32(h + 42);
        if (entry.compressedSize == 0xFFFFFFFF || entry.uncompressedSize == 0xFFFFFFFF || localOffset == 0xFFFFFFFF ||
            diskStart == 0xFFFF) {
            return Status::Unsupported;
        }
        if (diskStart != 0) return Status::Unsupported;
        entry.localHeaderOffset = localOffset + shift;
        if (entry.localHeaderOffset + kLocalHeaderSize > m_centralStart) return Status::Corrupt;
        const char* name = directory.data() + pos + kCentralHeaderSize;
        entry.rawName.assign(name, nameLength);
        entry.name = DecodeName(entry.rawName, entry.flags, std::string_view(name + nameLength, extraLength));
        m_entries.push_back(std::move(entry));
        pos += kCentralHeaderSize + nameLength + extraLength + commentLength;
    }
    // Members that share or overlap their data would let a small archive unpack without end.
    // A local header's extra field is only known at extraction, so each member is also held
    // to end before the next one starts.
    std::vector<ZipEntry*> byOffset;
    byOffset.reserve(m_entries.size());
    for (ZipEntry& entry : m_entries) byOffset.push_back(&entry);
    std::sort(byOffset.begin(), byOffset.end(),
              [](const ZipEntry* a, const ZipEntry* b) { return a->localHeaderOffset < b->localHeaderOffset; });
    for (size_t i = 0; i < byOffset.size(); ++i) {
        ZipEntry& entry = *byOffset[i];
        entry.dataLimit = i + 1 < byOffset.size() ? byOffset[i + 1]->localHeaderOffset : m_centralStart;
        uint64_t end = entry.localHeaderOffset + kLocalHeaderSize + entry.rawName.size() + entry.compressedSize;
        if (entry.dataLimit < end) return Status::Corrupt;
    }
    return Status::Ok;
}

Status ZipReader::CheckSupported(const ZipEntry& entry) {
    if ((entry.flags & (kFlagEncrypted | kFlagStrongEncryption)) || entry.method == kMethodAes) {
        return Status::Encrypted;
    }
    if (entry.method != kMethodStored && entry.method != kMethodDeflated) return Status::Unsupported;
    return Status::Ok;
}

Status ZipReader::Extract(const ZipEntry& entry, ByteSink& sink) {
    Status supported = CheckSupported(entry);
    if (supported != Status::Ok) return supported;
    unsigned char local[kLocalHeaderSize];
    if (!m_source.ReadAt(entry.localHeaderOffset, local, sizeof local)) return Status::Corrupt;
    if (ReadLe32(local) != kLocalHeaderSignature) return Status::Corrupt;
    uint16_t localFlags = ReadLe16(local + 6);
    if (localFlags & (kFlagEncrypted | kFlagStrongEncryption)) return Status::Encrypted;
    if (ReadLe16(local + 8) != entry.method) return Status::Corrupt;
    size_t nameLength = ReadLe16(local + 26), extraLength = ReadLe16(local + 28);
    uint64_t dataOffset = entry.localHeaderOffset + kLocalHeaderSize + nameLength + extraLength;
    if (dataOffset + entry.compressedSize > entry.dataLimit) return Status::Corrupt;
    std::string localName(nameLength, '\0');
    if (nameLength && !m_source.ReadAt(entry.localHeaderOffset + kLocalHeaderSize, localName.data(), nameLength)) {
        return Status::Corrupt;
    }
    if (localName != entry.rawName) return Status::Corrupt;
    return entry.method == kMethodStored ? Copy(dataOffset, entry, sink) : Inflate(dataOffset, entry, sink);
}

Status ZipReader::Copy(uint64_t dataOffset, const ZipEntry& entry, ByteSink& sink) {
    if (entry.compressedSize != entry.uncompressedSize) return Status::Corrupt;
    std::string buffer(std::min<size_t>(kChunk, entry.compressedSize), '\0');
    uLong crc = crc32(0, nullptr, 0);
    uint64_t done = 0;
    while (done < entry.compressedSize) {
        size_t take = static_cast<size_t>(std::min<uint64_t>(buffer.size(), entry.compressedSize - done));
        if (!m_source.ReadAt(dataOffset + done, buffer.data(), take)) return Status::Corrupt;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(buffer.data()), static_cast<uInt>(take));
        if (!sink.Write(buffer.data(), take)) return Status::WriteFailed;
        done += take;
    }
    return crc == entry.crc ? Status::Ok : Status::CrcMismatch;
}

Status ZipReader::Inflate(uint64_t dataOffset, const ZipEntry& entry, ByteSink& sink) {
    if (entry.uncompressedSize > static_cast<uint64_t>(entry.compressedSize) * kMaxDeflateRatio + 1024) {
        return Status::Corrupt;
    }
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return Status::OutOfMemory;
    struct Ender {
        z_stream* s;
        ~Ender() { inflateEnd(s); }
    } ender{&stream};

    std::string input(std::min<size_t>(kChunk, std::max<uint32_t>(entry.compressedSize, 1)), '\0');
    std::string output(kChunk, '\0');
    uint64_t consumed = 0, produced = 0;
    uLong crc = crc32(0, nullptr, 0);
    for (;;) {
        // Once the input is used up, inflate may still hold output for a full buffer: only
        // a call that makes no progress at all proves the data ended before the stream.
        if (stream.avail_in == 0 && consumed < entry.compressedSize) {
            size_t take = static_cast<size_t>(std::min<uint64_t>(input.size(), entry.compressedSize - consumed));
            if (!m_source.ReadAt(dataOffset + consumed, input.data(), take)) return Status::Corrupt;
            consumed += take;
            stream.next_in = reinterpret_cast<Bytef*>(input.data());
            stream.avail_in = static_cast<uInt>(take);
        }
        stream.next_out = reinterpret_cast<Bytef*>(output.data());
        stream.avail_out = static_cast<uInt>(output.size());
        int result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            return result == Z_MEM_ERROR ? Status::OutOfMemory : Status::Corrupt;
        }
        size_t got = output.size() - stream.avail_out;
        if (produced + got > entry.uncompressedSize) return Status::Corrupt;  // more than declared
        if (got) {
            crc = crc32(crc, reinterpret_cast<const Bytef*>(output.data()), static_cast<uInt>(got));
            if (!sink.Write(output.data(), got)) return Status::WriteFailed;
            produced += got;
        }
        if (result == Z_STREAM_END) break;
        if (result == Z_BUF_ERROR && got == 0) return Status::Corrupt;
    }
    if (produced != entry.uncompressedSize) return Status::Corrupt;
    return crc == entry.crc ? Status::Ok : Status::CrcMismatch;
}

}  // namespace revivo::zip
