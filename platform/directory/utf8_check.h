// Strict UTF-8 validation for bytes that arrive from the wire or from hex escapes.
#pragma once

#include <string_view>

namespace lumivel::ldap {

inline bool IsValidUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t extra;
        unsigned minimum;
        unsigned code;
        if (c < 0x80) { ++i; continue; }
        if ((c & 0xE0) == 0xC0) { extra = 1; minimum = 0x80; code = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; minimum = 0x800; code = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; minimum = 0x10000; code = c & 0x07; }
        else return false;
        if (i + extra >= s.size()) return false;
        for (size_t k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80) return false;
            code = (code << 6) | (cc & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

}  // namespace lumivel::ldap
