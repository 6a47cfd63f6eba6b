#include "lumivel/terminal_text.h"

#include <algorithm>
#include <cstdio>

#include "lumivel/text.h"

namespace lumivel {
namespace {

constexpr bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }
constexpr bool IsBidiControl(char32_t c) { return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069); }

// Printable ASCII that every form writes as it is.
constexpr bool IsPlain(unsigned char byte, TerminalEscaping escaping) {
    return byte >= 0x20 && byte < 0x7F && byte != '\\' && !(byte == '"' && escaping == TerminalEscaping::Json);
}

void AppendHex(std::string& out, const char* form, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, form, value);
    out += escape;
}

// The character c, well-formed, as the escaping writes it; next is the byte after it.
void AppendCharacter(std::string& out, char32_t c, char next, TerminalEscaping escaping) {
    const bool json = escaping == TerminalEscaping::Json;
    if (escaping == TerminalEscaping::ReadableLines) {
        if (c == '\n' || c == '\t') return out.push_back(static_cast<char>(c));
        if (c == '\r' && next == '\n') return;
    }
    if (c == '\\') {
        out += escaping == TerminalEscaping::Readable || escaping == TerminalEscaping::ReadableLines ? "\\" : "\\\\";
    } else if (c == '"' && json) {
        out += "\\\"";
    } else if (c == '\t') {
        out += "\\t";
    } else if (c == '\n') {
        out += "\\n";
    } else if (c == '\r') {
        out += "\\r";
    } else if (IsControl(c)) {
        AppendHex(out, json ? "\\u%04x" : "\\x%02x", static_cast<unsigned>(c));
    } else if (IsBidiControl(c)) {
        AppendHex(out, "\\u%04x", static_cast<unsigned>(c));
    } else {
        AppendUtf8(out, c);
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The value of `digits` hex digits at text[at], or -1.
long HexValue(std::string_view text, size_t at, size_t digits) {
    if (at + digits > text.size()) return -1;
    long value = 0;
    for (size_t i = 0; i < digits; ++i) {
        int digit = HexDigit(text[at + i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

}  // namespace

std::string TerminalText(std::string_view text, TerminalEscaping escaping) {
    std::string out;
    out.reserve(text.size());
    AppendTerminalText(text, escaping, &out);
    return out;
}

void AppendTerminalText(std::string_view text, TerminalEscaping escaping, std::string* appended) {
    std::string& out = *appended;
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsPlain(byte, escaping)) {
            // A run of plain bytes at once: most directory text is nothing else.
            size_t end = i + 1;
            while (end < text.size() && IsPlain(static_cast<unsigned char>(text[end]), escaping)) ++end;
            out.append(text, i, end - i);
            i = end;
            continue;
        }
        const Utf8Step step = DecodeUtf8At(text, i);
        if (step.wellFormed) {
            i += step.length;
            AppendCharacter(out, step.codePoint, i < text.size() ? text[i] : '\0', escaping);
        } else if (escaping == TerminalEscaping::Json) {
            i += step.length;
            AppendUtf8(out, 0xFFFD);
        } else {
            // Byte by byte, so that a Reversible text keeps every one of them.
            for (size_t end = i + step.length; i < end; ++i)
                AppendHex(out, escaping == TerminalEscaping::Reversible ? "\\udc%02x" : "\\x%02x",
                          static_cast<unsigned char>(text[i]));
        }
    }
}

std::optional<std::string> UnescapeTerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            const size_t end = std::min(text.find('\\', i), text.size());
            out.append(text, i, end - i);
            i = end - 1;
            continue;
        }
        if (++i >= text.size()) return std::nullopt;
        switch (text[i]) {
            case '\\': out += '\\'; break;
            case 't': out += '\t'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 'x': {
                // Only control characters are written this way.
                long code = HexValue(text, i + 1, 2);
                if (code < 0 || !IsControl(static_cast<char32_t>(code))) return std::nullopt;
                AppendUtf8(out, static_cast<char32_t>(code));
                i += 2;
                break;
            }
            case 'u': {
                long code = HexValue(text, i + 1, 4);
                if (code >= 0xDC80 && code <= 0xDCFF) {
                    out += static_cast<char>(code - 0xDC00);
                } else if (code >= 0 && IsBidiControl(static_cast<char32_t>(code))) {
                    AppendUtf8(out, static_cast<char32_t>(code));
                } else {
                    return std::nullopt;
                }
                i += 4;
                break;
            }
            default: return std::nullopt;
        }
    }
    return out;
}

}  // namespace lumivel
