#include "provider/backup/text_hex.h"

namespace revivo {

namespace {

constexpr char16_t kDigits[] = u"0123456789ABCDEF";

void appendByte(std::u16string& out, unsigned byte) {
    out.push_back(kDigits[(byte >> 4) & 0xF]);
    out.push_back(kDigits[byte & 0xF]);
}

int digitValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

}  // namespace

std::u16string EncodeTextHex(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size() * 4);
    for (char16_t c : text) {
        appendByte(out, c & 0xFF);
        appendByte(out, c >> 8);
    }
    return out;
}

std::u16string EncodeByteHex(const unsigned char* bytes, size_t count) {
    std::u16string out;
    out.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) appendByte(out, bytes[i]);
    return out;
}

bool DecodeTextHex(std::u16string_view hex, std::u16string* text, size_t* byteLength) {
    if (hex.size() % 4 != 0) return false;
    std::u16string decoded;
    decoded.reserve(hex.size() / 4);
    for (size_t i = 0; i < hex.size(); i += 4) {
        int digits[4];
        for (int k = 0; k < 4; ++k) {
            digits[k] = digitValue(hex[i + k]);
            if (digits[k] < 0) return false;
        }
        const char16_t c = static_cast<char16_t>((digits[0] << 4 | digits[1]) | (digits[2] << 4 | digits[3]) << 8);
        // A NUL would cut the name short wherever it is used as a C string.
        if (c == 0) return false;
        decoded.push_back(c);
    }
    *text = std::move(decoded);
    if (byteLength) *byteLength = hex.size() / 2;
    return true;
}

bool DecodeByteHex(std::u16string_view hex, std::vector<unsigned char>* bytes) {
    if (hex.size() % 2 != 0) return false;
    std::vector<unsigned char> decoded;
    decoded.reserve(hex.size() / 2);
    for (size_t i = 0; i < hex.size(); i += 2) {
        int high = digitValue(hex[i]), low = digitValue(hex[i + 1]);
        if (high < 0 || low < 0) return false;
        decoded.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    *bytes = std::move(decoded);
    return true;
}

}  // namespace revivo
