// In-memory streams for testing the ZIP format code without files.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "provider/archive/zip_format.h"

namespace revivo::zip::testing {

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::string bytes) : m_bytes(std::move(bytes)) {}
    uint64_t Size() const override { return m_bytes.size(); }
    bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
        if (offset > m_bytes.size() || count > m_bytes.size() - offset) return false;
        std::memcpy(buffer, m_bytes.data() + offset, count);
        return true;
    }

private:
    std::string m_bytes;
};

class MemoryInput : public InputStream {
public:
    explicit MemoryInput(std::string bytes) : m_bytes(std::move(bytes)) {}
    bool Read(void* buffer, size_t capacity, size_t* read) override {
        *read = std::min(capacity, m_bytes.size() - m_position);
        std::memcpy(buffer, m_bytes.data() + m_position, *read);
        m_position += *read;
        return true;
    }

private:
    std::string m_bytes;
    size_t m_position = 0;
};

class MemoryOutput : public ArchiveOutput {
public:
    bool Write(const void* data, size_t count) override {
        m_bytes.append(static_cast<const char*>(data), count);
        return true;
    }
    uint64_t Position() const override { return m_bytes.size(); }
    bool WriteAt(uint64_t offset, const void* data, size_t count) override {
        if (offset + count > m_bytes.size()) return false;
        std::memcpy(m_bytes.data() + offset, data, count);
        return true;
    }
    std::string m_bytes;
};

class StringSink : public ByteSink {
public:
    bool Write(const void* data, size_t count) override {
        m_bytes.append(static_cast<const char*>(data), count);
        return true;
    }
    std::string m_bytes;
};

}  // namespace revivo::zip::testing
