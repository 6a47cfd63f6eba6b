#include "shared/json_text.h"

#include <cstdio>

namespace lumivel::shared {

namespace {

std::string unicodeEscape(unsigned code) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04x", code);
    return escape;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        unsigned char byte = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                // C1 controls are U+0080-U+009F, "\xC2\x80" to "\xC2\x9F" in UTF-8.
                if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F)
                    out += unicodeEscape(static_cast<unsigned char>(text[++i]));
                else if (byte < 0x20 || byte == 0x7F)
                    out += unicodeEscape(byte);
                else
                    out += c;
        }
    }
    return out + "\"";
}

}  // namespace lumivel::shared
