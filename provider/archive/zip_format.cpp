#include "provider/archive/zip_format.h"

#include <algorithm>

namespace revivo::zip {

uint16_t ReadLe16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t ReadLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

void AppendLe16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void AppendLe32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
}

DosTimestamp MakeDosTimestamp(int year, int month, int day, int hour, int minute, int second) {
    DosTimestamp stamp;
    if (year < 1980) return stamp;
    if (year > 2107) {
        year = 2107, month = 12, day = 31, hour = 23, minute = 59, second = 58;
    }
    month = std::clamp(month, 1, 12);
    day = std::clamp(day, 1, 31);
    hour = std::clamp(hour, 0, 23);
    minute = std::clamp(minute, 0, 59);
    second = std::clamp(second, 0, 59);
    stamp.time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
    stamp.date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
    return stamp;
}

}  // namespace revivo::zip
