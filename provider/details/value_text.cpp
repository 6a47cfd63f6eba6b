#include "provider/details/value_text.h"

#include <cstdio>

#include "provider/backup/archive_trust.h"
#include "provider/backup/text_hex.h"
#include "shared/text_helpers.h"

namespace revivo {

namespace {

bool endsWithNoCase(std::u16string_view text, std::u16string_view end) {
    return text.size() >= end.size() && lumivel::EqualsNoCase(text.substr(text.size() - end.size()), end);
}

// Characters that are invisible, or that move or reorder the text around them.
bool steersText(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2060 && c <= 0x206F) || c == 0xFEFF ||
           (c >= 0xFFF9 && c <= 0xFFFB) || (c >= 0xE0000 && c <= 0xE007F);
}

std::u16string codePointText(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "<U+%04X>", static_cast<unsigned>(c));
    return lumivel::shared::WidenText(text);
}

std::u16string numberText(unsigned long long number) { return lumivel::shared::WidenText(std::to_string(number)); }

// Registry form without braces; the first three groups are stored low byte first.
std::u16string guidText(const unsigned char* b) {
    char text[40];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[3], b[2],
                  b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return lumivel::shared::WidenText(text);
}

std::u16string hexText(const unsigned char* bytes, size_t count) {
    size_t shown = count < kMostValueBytes ? count : kMostValueBytes;
    std::u16string text = EncodeByteHex(bytes, shown);
    if (shown < count) text += u"... (" + numberText(count) + u" bytes)";
    return text;
}

std::u16string utcText(const SYSTEMTIME& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u UTC", time.wYear, time.wMonth, time.wDay, time.wHour,
                  time.wMinute, time.wSecond);
    return lumivel::shared::WidenText(text);
}

std::u16string valueText(std::u16string_view attribute, const ADSVALUE& value) {
    switch (value.dwType) {
        case ADSTYPE_DN_STRING:
        case ADSTYPE_CASE_EXACT_STRING:
        case ADSTYPE_CASE_IGNORE_STRING:
        case ADSTYPE_PRINTABLE_STRING:
        case ADSTYPE_NUMERIC_STRING:
        case ADSTYPE_OBJECT_CLASS:
            return HarmlessText(lumivel::shared::ViewOf(value.CaseIgnoreString));
        case ADSTYPE_BOOLEAN:
            return value.Boolean ? u"TRUE" : u"FALSE";
        case ADSTYPE_INTEGER:
            return lumivel::shared::WidenText(std::to_string(static_cast<LONG>(value.Integer)));
        case ADSTYPE_LARGE_INTEGER:
            return lumivel::shared::WidenText(std::to_string(value.LargeInteger.QuadPart));
        case ADSTYPE_UTC_TIME:
            return utcText(value.UTCTime);
        case ADSTYPE_NT_SECURITY_DESCRIPTOR:
            return u"(security descriptor, " + numberText(value.SecurityDescriptor.dwLength) + u" bytes)";
        case ADSTYPE_OCTET_STRING:
        case ADSTYPE_PROV_SPECIFIC:
            return ByteValueText(attribute, value.OctetString.lpValue, value.OctetString.lpValue ? value.OctetString.dwLength : 0);
        case ADSTYPE_DN_WITH_BINARY:
            if (!value.pDNWithBinary) break;
            return u"B:" + numberText(size_t(value.pDNWithBinary->dwLength) * 2) + u":" +
                   hexText(value.pDNWithBinary->lpBinaryValue,
                           value.pDNWithBinary->lpBinaryValue ? value.pDNWithBinary->dwLength : 0) +
                   u":" + HarmlessText(lumivel::shared::ViewOf(value.pDNWithBinary->pszDNString));
        case ADSTYPE_DN_WITH_STRING:
            if (!value.pDNWithString) break;
            return u"S:" + HarmlessText(lumivel::shared::ViewOf(value.pDNWithString->pszStringValue)) + u":" +
                   HarmlessText(lumivel::shared::ViewOf(value.pDNWithString->pszDNString));
        default:
            break;
    }
    return u"(a value of a type not shown)";
}

}  // namespace

std::u16string HarmlessText(std::u16string_view text, size_t most) {
    std::u16string out;
    size_t characters = 0;
    size_t i = 0;
    for (; i < text.size() && characters < most; ++characters) {
        char32_t c = text[i];
        size_t units = 1;
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            units = 2;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (steersText(c))
            out += codePointText(c);
        else if (c == 0xFFFD)
            out.push_back(u'\uFFFD');
        else
            out.append(text.substr(i, units));
        i += units;
    }
    if (i < text.size()) out += u"... (" + numberText(text.size()) + u" characters)";
    return out;
}

std::u16string ByteValueText(std::u16string_view attribute, const unsigned char* bytes, size_t count) {
    if (!bytes || count == 0) return u"(empty)";
    if (count == 16 && endsWithNoCase(attribute, u"guid")) return guidText(bytes);
    if (lumivel::shared::ContainsTextNoCase(attribute, u"sid")) {
        std::u16string sid = SidTextOfBytes(std::vector<uint8_t>(bytes, bytes + count));
        if (!sid.empty()) return sid;
    }
    if (lumivel::EqualsNoCase(attribute, u"nTSecurityDescriptor"))
        return u"(security descriptor, " + numberText(count) + u" bytes)";
    return hexText(bytes, count);
}

std::vector<std::u16string> ColumnValueTexts(const ADS_SEARCH_COLUMN& column, size_t most) {
    std::vector<std::u16string> texts;
    std::u16string_view attribute = lumivel::shared::ViewOf(column.pszAttrName);
    for (DWORD i = 0; column.pADsValues && i < column.dwNumValues && texts.size() < most; ++i)
        texts.push_back(valueText(attribute, column.pADsValues[i]));
    return texts;
}

}  // namespace revivo
