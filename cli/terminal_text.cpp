#include "cli/terminal_text.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace lumivel_cli {

namespace {

// U+0080-U+009F in UTF-8: some terminals act on these as on escape sequences.
bool isC1Control(std::string_view text, size_t i) {
    return static_cast<unsigned char>(text[i]) == 0xC2 && i + 1 < text.size() &&
           static_cast<unsigned char>(text[i + 1]) >= 0x80 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

bool isC0Control(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

std::string hexEscape(const char* form, unsigned code) {
    char escape[8];
    std::snprintf(escape, sizeof escape, form, code);
    return escape;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code point starting at text[i] (valid UTF-8 assumed; a stray byte counts as itself),
// advancing i.
char32_t nextCodePoint(std::string_view text, size_t& i) {
    auto byte = static_cast<unsigned char>(text[i++]);
    int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
    char32_t c = extra == 3 ? byte & 0x07 : extra == 2 ? byte & 0x0F : extra == 1 ? byte & 0x1F : byte;
    for (; extra > 0 && i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80; --extra)
        c = (c << 6) | (static_cast<unsigned char>(text[i++]) & 0x3F);
    return c;
}

struct Range {
    char32_t first, last;
};

// East Asian Wide and Fullwidth blocks, the ones directory names use.
constexpr Range kWide[] = {
    {0x1100, 0x115F},   {0x231A, 0x231B},   {0x2329, 0x232A},   {0x23E9, 0x23EC},   {0x23F0, 0x23F0},
    {0x23F3, 0x23F3},   {0x25FD, 0x25FE},   {0x2614, 0x2615},   {0x2648, 0x2653},   {0x267F, 0x267F},
    {0x2693, 0x2693},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},   {0x26BD, 0x26BE},   {0x26C4, 0x26C5},
    {0x26CE, 0x26CE},   {0x26D4, 0x26D4},   {0x26EA, 0x26EA},   {0x26F2, 0x26F3},   {0x26F5, 0x26F5},
    {0x26FA, 0x26FA},   {0x26FD, 0x26FD},   {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2755},   {0x2757, 0x2757},   {0x2795, 0x2797},
    {0x27B0, 0x27B0},   {0x27BF, 0x27BF},   {0x2B1B, 0x2B1C},   {0x2B50, 0x2B50},   {0x2B55, 0x2B55},
    {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},
    {0xA960, 0xA97F},   {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE10, 0xFE19},   {0xFE30, 0xFE6F},
    {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},   {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF},
    {0x1F004, 0x1F004}, {0x1F0CF, 0x1F0CF}, {0x1F18E, 0x1F18E}, {0x1F191, 0x1F19A}, {0x1F200, 0x1F202},
    {0x1F210, 0x1F23B}, {0x1F240, 0x1F248}, {0x1F250, 0x1F251}, {0x1F260, 0x1F265}, {0x1F300, 0x1F320},
    {0x1F32D, 0x1F335}, {0x1F337, 0x1F37C}, {0x1F37E, 0x1F393}, {0x1F3A0, 0x1F3CA}, {0x1F3CF, 0x1F3D3},
    {0x1F3E0, 0x1F3F0}, {0x1F3F4, 0x1F3F4}, {0x1F3F8, 0x1F43E}, {0x1F440, 0x1F440}, {0x1F442, 0x1F4FC},
    {0x1F4FF, 0x1F53D}, {0x1F54B, 0x1F54E}, {0x1F550, 0x1F567}, {0x1F57A, 0x1F57A}, {0x1F595, 0x1F596},
    {0x1F5A4, 0x1F5A4}, {0x1F5FB, 0x1F64F}, {0x1F680, 0x1F6C5}, {0x1F6CC, 0x1F6CC}, {0x1F6D0, 0x1F6D2},
    {0x1F6D5, 0x1F6D7}, {0x1F6EB, 0x1F6EC}, {0x1F6F4, 0x1F6FC}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F93A},
    {0x1F93C, 0x1F945}, {0x1F947, 0x1F9FF}, {0x1FA70, 0x1FAFF}, {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD},
};

// Combining marks and zero-width characters: drawn on the cell before them, or not at all.
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A}, {0x064B, 0x065F},
    {0x0E31, 0x0E31}, {0x0E34, 0x0E3A}, {0x0E47, 0x0E4E}, {0x1160, 0x11FF}, {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF}, {0x200B, 0x200F}, {0x202A, 0x202E}, {0x2060, 0x2064}, {0x20D0, 0x20FF},
    {0x302A, 0x302D}, {0x3099, 0x309A}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F}, {0xFEFF, 0xFEFF},
    {0xE0001, 0xE007F}, {0xE0100, 0xE01EF},
};

template <size_t N>
bool within(const Range (&ranges)[N], char32_t c) {
    const Range* found = std::upper_bound(std::begin(ranges), std::end(ranges), c,
                                          [](char32_t value, const Range& range) { return value < range.first; });
    return found != std::begin(ranges) && c <= (found - 1)->last;
}

}  // namespace

std::string TerminalText(std::string_view text, Escaping escaping) {
    std::string out;
    out.reserve(text.size());
    bool keepLines = escaping == Escaping::ReadableLines;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (keepLines && (c == '\n' || c == '\t')) {
            out += c;
        } else if (keepLines && c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += escaping == Escaping::Reversible ? "\\\\" : "\\";
        } else if (isC1Control(text, i)) {
            out += hexEscape("\\x%02x", static_cast<unsigned char>(text[++i]));
        } else if (isC0Control(c)) {
            out += hexEscape("\\x%02x", static_cast<unsigned char>(c));
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> UnescapeField(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (++i >= field.size()) return std::nullopt;
        switch (field[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 'x': {
                int high = i + 1 < field.size() ? hexDigit(field[i + 1]) : -1;
                int low = i + 2 < field.size() ? hexDigit(field[i + 2]) : -1;
                if (high < 0 || low < 0) return std::nullopt;
                unsigned code = static_cast<unsigned>(high * 16 + low);
                if (code >= 0x80 && code <= 0x9F) {
                    out += static_cast<char>(0xC2);
                    out += static_cast<char>(code);
                } else if (code < 0x20 || code == 0x7F) {
                    out += static_cast<char>(code);
                } else {
                    return std::nullopt;  // only control characters are written this way
                }
                i += 2;
                break;
            }
            default: return std::nullopt;
        }
    }
    return out;
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (isC1Control(text, i))
                    out += hexEscape("\\u%04x", static_cast<unsigned char>(text[++i]));
                else if (isC0Control(c))
                    out += hexEscape("\\u%04x", static_cast<unsigned char>(c));
                else
                    out += c;
        }
    }
    return out + "\"";
}

size_t DisplayWidth(std::string_view text) {
    size_t width = 0;
    for (size_t i = 0; i < text.size();) {
        char32_t c = nextCodePoint(text, i);
        if (within(kZeroWidth, c)) continue;
        width += within(kWide, c) ? 2 : 1;
    }
    return width;
}

}  // namespace lumivel_cli
