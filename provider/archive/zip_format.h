// Record layouts of the PKWARE APPNOTE format as far as this engine writes and reads them,
// and the byte streams the writer and reader work on. No zip64, no encryption, no volumes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace revivo::zip {

inline constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr uint32_t kEndRecordSignature = 0x06054b50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064b50;

inline constexpr size_t kLocalHeaderSize = 30;
inline constexpr size_t kCentralHeaderSize = 46;
inline constexpr size_t kEndRecordSize = 22;
inline constexpr size_t kZip64LocatorSize = 20;
inline constexpr size_t kMaxCommentSize = 0xFFFF;

inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodAes = 99;

inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr uint16_t kFlagUtf8Name = 0x0800;

inline constexpr uint16_t kExtraUnicodePath = 0x7075;  // Info-ZIP's UTF-8 name

inline constexpr uint16_t kVersionNeededDeflate = 20;
inline constexpr uint16_t kVersionMadeByUnix = (3 << 8) | 30;
inline constexpr uint32_t kRegularFileMode = 0100644;

// Sizes and offsets at or past this need zip64, which the engine neither writes nor reads.
inline constexpr uint64_t kZip64Threshold = 0xFFFFFFFFu;
inline constexpr uint32_t kMaxEntries = 0xFFFF;

// Deflate cannot expand more than about 1032:1, so a larger declared size is a lie.
inline constexpr uint64_t kMaxDeflateRatio = 1032;

enum class Status {
    Ok,
    ReadFailed,      // the archive or an input file could not be read
    WriteFailed,     // the output could not be written
    Corrupt,         // structure inconsistent, truncated, or sizes that cannot be true
    Unsupported,     // zip64, split archives, compression methods other than stored/deflate
    Encrypted,
    CrcMismatch,
    TooLarge,        // would need zip64
    OutOfMemory,
};

uint16_t ReadLe16(const unsigned char* p);
uint32_t ReadLe32(const unsigned char* p);
void AppendLe16(std::string& out, uint16_t value);
void AppendLe32(std::string& out, uint32_t value);

struct DosTimestamp {
    uint16_t time = 0;
    uint16_t date = (1 << 5) | 1;  // 1980-01-01 00:00:00
};
// Local calendar time to MS-DOS form; years outside 1980-2107 are clamped.
DosTimestamp MakeDosTimestamp(int year, int month, int day, int hour, int minute, int second);

// Random access to the archive being read.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `count` bytes at `offset`; false on any shortfall.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t count) = 0;
};

// Sequential input of a file being packed.
class InputStream {
public:
    virtual ~InputStream() = default;
    // Up to `capacity` bytes; *read 0 at the end. False on an error.
    virtual bool Read(void* buffer, size_t capacity, size_t* read) = 0;
};

// Where extracted bytes go.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual bool Write(const void* data, size_t count) = 0;
};

// The archive being written: sequential writes, plus patching a header already written.
class ArchiveOutput : public ByteSink {
public:
    virtual uint64_t Position() const = 0;
    virtual bool WriteAt(uint64_t offset, const void* data, size_t count) = 0;
};

}  // namespace revivo::zip
