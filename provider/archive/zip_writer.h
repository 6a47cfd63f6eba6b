// Writes an archive member by member: local header, deflated (or stored) data, then the
// central directory and end record. Sizes and CRC are patched into each local header once the
// data is written, so no data descriptors are needed.
#pragma once

#include <string>
#include <vector>

#include "provider/archive/zip_format.h"

namespace revivo::zip {

class ZipWriter {
public:
    // Level 0 stores; 1-9 deflate at that zlib level.
    ZipWriter(ArchiveOutput& output, int level) : m_output(output), m_level(level) {}

    // `name` is UTF-8; non-ASCII names get the UTF-8 flag.
    Status AddMember(const std::string& name, InputStream& input, DosTimestamp stamp);
    // Central directory and end record; the archive is complete afterwards.
    Status Finish();

private:
    struct Member {
        std::string name;
        uint16_t flags;
        uint16_t method;
        DosTimestamp stamp;
        uint32_t crc;
        uint32_t compressedSize;
        uint32_t uncompressedSize;
        uint32_t localHeaderOffset;
    };

    Status WriteData(InputStream& input, Member& member);

    ArchiveOutput& m_output;
    int m_level;
    std::vector<Member> m_members;
};

}  // namespace revivo::zip
