#include "keytab_file.h"

#include <string.h>

namespace lumivel::scheduler {
namespace {

// Big-endian, as version 0x0502 keytabs are.
void PutWord(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void PutCounted(std::vector<uint8_t>& out, const void* data, size_t size) {
    PutWord(out, static_cast<uint32_t>(size), 2);
    const auto* bytes = static_cast<const uint8_t*>(data);
    out.insert(out.end(), bytes, bytes + size);
}

}  // namespace

std::vector<uint8_t> EncodeKeytab(const std::vector<KeytabEntry>& entries) {
    std::vector<uint8_t> out{0x05, 0x02};
    for (const KeytabEntry& entry : entries) {
        std::vector<uint8_t> body;
        PutWord(body, static_cast<uint32_t>(entry.components.size()), 2);
        PutCounted(body, entry.realm.data(), entry.realm.size());
        for (const std::string& component : entry.components) PutCounted(body, component.data(), component.size());
        PutWord(body, entry.nameType, 4);
        PutWord(body, entry.timestamp, 4);
        PutWord(body, entry.version & 0xFF, 1);
        PutWord(body, static_cast<uint32_t>(entry.encryptionType), 2);
        PutCounted(body, entry.key.data(), entry.key.size());
        // The 32-bit version after the entry, for numbers past 255.
        PutWord(body, entry.version, 4);
        PutWord(out, static_cast<uint32_t>(body.size()), 4);
        out.insert(out.end(), body.begin(), body.end());
        if (!body.empty()) explicit_bzero(body.data(), body.size());
    }
    return out;
}

}  // namespace lumivel::scheduler
