// Reads the central directory of an archive and extracts single members, checking every size
// and offset against the archive before trusting it. Pure C++ over ByteSource/ByteSink, so the
// fuzz target drives exactly the code that extraction runs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "provider/archive/zip_format.h"

namespace revivo::zip {

struct ZipEntry {
    std::string rawName;  // bytes as stored
    std::string name;     // UTF-8: flagged names as they are, else Info-ZIP's Unicode path, else CP437
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint32_t compressedSize = 0;
    uint32_t uncompressedSize = 0;
    uint64_t localHeaderOffset = 0;  // already corrected for data in front of the archive
    uint64_t dataLimit = 0;          // the next member's local header, or the central directory
};

class ZipReader {
public:
    explicit ZipReader(ByteSource& source) : m_source(source) {}

    // Finds the end record and reads every central header. Zip64 and split archives are
    // Unsupported; anything that does not add up is Corrupt.
    Status Open();
    const std::vector<ZipEntry>& Entries() const { return m_entries; }

    // Unsupported, Encrypted or Ok: whether Extract can even try this member.
    static Status CheckSupported(const ZipEntry& entry);

    // Writes the member's bytes to the sink. Fails on a CRC mismatch, on data that ends early
    // or runs past its declared sizes, and on sizes that cannot be true, possibly after
    // part of the data has reached the sink.
    Status Extract(const ZipEntry& entry, ByteSink& sink);

private:
    Status ParseCentralDirectory(uint64_t start, uint32_t size, uint32_t count, uint64_t shift);
    Status Inflate(uint64_t dataOffset, const ZipEntry& entry, ByteSink& sink);
    Status Copy(uint64_t dataOffset, const ZipEntry& entry, ByteSink& sink);

    ByteSource& m_source;
    std::vector<ZipEntry> m_entries;
    uint64_t m_centralStart = 0;  // member data must end before this
};

// The file name a member is extracted under: the part after the last '/' or '\', a drive
// letter dropped. None for names that are empty, "." or "..", hold control characters, or
// are longer than a file name can be.
std::optional<std::string> SafeBareName(const std::string& name);

// CP437, the code page of names without the UTF-8 flag, to UTF-8.
std::string Cp437ToUtf8(std::string_view bytes);
bool IsValidUtf8(std::string_view bytes);

}  // namespace revivo::zip
