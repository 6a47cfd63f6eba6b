// The keytab file format (MIT, version 0x0502) of the keys an account's password gives
// (scheduler area only).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lumivel::scheduler {

struct KeytabEntry {
    std::string realm;
    std::vector<std::string> components;
    uint32_t nameType = 1;  // KRB5_NT_PRINCIPAL
    uint32_t timestamp = 0;
    uint32_t version = 0;
    int32_t encryptionType = 0;
    std::vector<uint8_t> key;
};

std::vector<uint8_t> EncodeKeytab(const std::vector<KeytabEntry>& entries);

}  // namespace lumivel::scheduler
