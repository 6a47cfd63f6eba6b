// Opens arbitrary bytes as an archive and extracts every member the way extraction does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "provider/archive/zip_reader.h"

using namespace revivo::zip;

namespace {

class Source : public ByteSource {
public:
    Source(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > m_size || count > m_size - offset) return false;
        std::memcpy(buffer, m_data + offset, count);
        return true;
    }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// Counts what it is given; a member must never deliver more than it declares.
class CountingSink : public ByteSink {
public:
    bool Write(const void*, size_t count) override {
        m_total += count;
        return true;
    }
    uint64_t m_total = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Source source(data, size);
    ZipReader reader(source);
    if (reader.Open() != Status::Ok) return 0;
    for (const ZipEntry& entry : reader.Entries()) {
        SafeBareName(entry.name);
        if (ZipReader::CheckSupported(entry) != Status::Ok) continue;
        CountingSink sink;
        Status status = reader.Extract(entry, sink);
        if (sink.m_total > entry.uncompressedSize) __builtin_trap();
        if (status == Status::Ok && sink.m_total != entry.uncompressedSize) __builtin_trap();
    }
    return 0;
}
