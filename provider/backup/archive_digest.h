// The SHA-256 of an archive, as the audit log names what a restore read: the file itself can
// be replaced later, the digest says which bytes were trusted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace revivo {

class Sha256 {
public:
    Sha256();
    void Update(const void* data, size_t size);
    std::array<uint8_t, 32> Finish();

private:
    void block(const uint8_t* data);
    uint32_t m_state[8];
    uint8_t m_buffer[64];
    size_t m_buffered = 0;
    uint64_t m_length = 0;
};

// Lower-case hex of the file's SHA-256; empty when it cannot be read.
std::string FileSha256(const std::u16string& path);

}  // namespace revivo
