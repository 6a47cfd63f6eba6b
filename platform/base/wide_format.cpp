// Wide printf in the Microsoft CRT dialect (see win/wformat.h for the rules).
#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "lumivel/text.h"
#include "win/wformat.h"

namespace {

enum class Dialect { Crt, User32 };
enum class Size { Default, Char, Short, Long32, Long64, Pointer, LongDouble, Wide, Narrow };

struct Conversion {
    bool left = false, plus = false, space = false, zero = false, alternate = false;
    int width = 0;
    int precision = -1;
    Size size = Size::Default;
    char16_t conversion = 0;
};

void Pad(std::u16string& out, size_t length, const Conversion& conv, char16_t fill) {
    if (conv.width > 0 && static_cast<size_t>(conv.width) > length)
        out.append(static_cast<size_t>(conv.width) - length, fill);
}

void EmitPadded(std::u16string& out, std::u16string_view text, const Conversion& conv, bool zeroAllowed) {
    if (conv.left) {
        out += text;
        Pad(out, text.size(), conv, u' ');
    } else {
        Pad(out, text.size(), conv, (conv.zero && zeroAllowed) ? u'0' : u' ');
        out += text;
    }
}

void EmitInteger(std::u16string& out, unsigned long long magnitude, bool negative, const Conversion& conv) {
    unsigned base = 10;
    const char* digits = "0123456789abcdef";
    switch (conv.conversion) {
        case u'x': base = 16; break;
        case u'X': base = 16; digits = "0123456789ABCDEF"; break;
        case u'o': base = 8; break;
        case u'p': base = 16; digits = "0123456789ABCDEF"; break;
        default: break;
    }
    std::u16string body;
    while (magnitude) {
        body.insert(body.begin(), static_cast<char16_t>(digits[magnitude % base]));
        magnitude /= base;
    }
    int precision = conv.precision < 0 ? 1 : conv.precision;
    if (static_cast<int>(body.size()) < precision) body.insert(0, static_cast<size_t>(precision) - body.size(), u'0');
    std::u16string prefix;
    bool isSigned = conv.conversion == u'd' || conv.conversion == u'i';
    if (isSigned) {
        if (negative) prefix = u"-";
        else if (conv.plus) prefix = u"+";
        else if (conv.space) prefix = u" ";
    }
    if (conv.alternate && !body.empty() && body != u"0") {
        if (conv.conversion == u'x') prefix += u"0x";
        if (conv.conversion == u'X') prefix += u"0X";
        if (conv.conversion == u'o' && body[0] != u'0') prefix += u"0";
    }
    size_t length = prefix.size() + body.size();
    if (conv.left) {
        out += prefix;
        out += body;
        Pad(out, length, conv, u' ');
    } else if (conv.zero && conv.precision < 0) {
        out += prefix;
        Pad(out, length, conv, u'0');
        out += body;
    } else {
        Pad(out, length, conv, u' ');
        out += prefix;
        out += body;
    }
}

std::optional<std::u16string> Format(Dialect dialect, const char16_t* format, va_list args) {
    std::u16string out;
    for (const char16_t* p = format; *p; ++p) {
        if (*p != u'%') {
            out.push_back(*p);
            continue;
        }
        const char16_t* start = p++;
        if (*p == u'%') {
            out.push_back(u'%');
            continue;
        }
        Conversion conv;
        for (;; ++p) {
            if (*p == u'-') conv.left = true;
            else if (*p == u'+') conv.plus = true;
            else if (*p == u' ') conv.space = true;
            else if (*p == u'0') conv.zero = true;
            else if (*p == u'#') conv.alternate = true;
            else break;
        }
        if (*p == u'*' && dialect == Dialect::Crt) {
            conv.width = va_arg(args, int);
            if (conv.width < 0) conv.left = true, conv.width = -conv.width;
            ++p;
        } else {
            while (*p >= u'0' && *p <= u'9') {
                if (conv.width > 100000) return std::nullopt;
                conv.width = conv.width * 10 + (*p++ - u'0');
            }
        }
        if (*p == u'.') {
            ++p;
            conv.precision = 0;
            if (*p == u'*' && dialect == Dialect::Crt) {
                conv.precision = va_arg(args, int);
                if (conv.precision < 0) conv.precision = -1;
                ++p;
            } else {
                while (*p >= u'0' && *p <= u'9') {
                    if (conv.precision > 100000) return std::nullopt;
                    conv.precision = conv.precision * 10 + (*p++ - u'0');
                }
            }
        }
        if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') conv.size = Size::Long64, p += 3;
        else if (p[0] == u'I' && p[1] == u'3' && p[2] == u'2') conv.size = Size::Long32, p += 3;
        else if (p[0] == u'I') conv.size = Size::Pointer, ++p;
        else if (p[0] == u'l' && p[1] == u'l') conv.size = Size::Long64, p += 2;
        else if (p[0] == u'h' && p[1] == u'h') conv.size = Size::Char, p += 2;
        else if (p[0] == u'l') conv.size = Size::Long32, ++p;
        else if (p[0] == u'h') conv.size = Size::Short, ++p;
        else if (p[0] == u'w') conv.size = Size::Wide, ++p;
        else if (p[0] == u'z' || p[0] == u't') conv.size = Size::Pointer, ++p;
        else if (p[0] == u'j') conv.size = Size::Long64, ++p;
        else if (p[0] == u'L') conv.size = Size::LongDouble, ++p;
        conv.conversion = *p;
        switch (conv.conversion) {
            case u'd':
            case u'i': {
                long long v;
                switch (conv.size) {
                    case Size::Long64:
                    case Size::Pointer: v = va_arg(args, long long); break;
                    case Size::Short: v = static_cast<short>(va_arg(args, int)); break;
                    case Size::Char: v = static_cast<signed char>(va_arg(args, int)); break;
                    default: v = va_arg(args, int); break;
                }
                unsigned long long magnitude = v < 0 ? 0ULL - static_cast<unsigned long long>(v) : v;
                EmitInteger(out, magnitude, v < 0, conv);
                break;
            }
            case u'u':
            case u'x':
            case u'X':
            case u'o': {
                unsigned long long v;
                switch (conv.size) {
                    case Size::Long64:
                    case Size::Pointer: v = va_arg(args, unsigned long long); break;
                    case Size::Short: v = static_cast<unsigned short>(va_arg(args, unsigned)); break;
                    case Size::Char: v = static_cast<unsigned char>(va_arg(args, unsigned)); break;
                    default: v = va_arg(args, unsigned); break;
                }
                EmitInteger(out, v, false, conv);
                break;
            }
            case u'p': {
                Conversion pointer = conv;
                pointer.precision = 16;
                EmitInteger(out, reinterpret_cast<uintptr_t>(va_arg(args, void*)), false, pointer);
                break;
            }
            case u'c':
            case u'C': {
                bool narrow = conv.size == Size::Short || (conv.conversion == u'C' && conv.size != Size::Long32 &&
                                                            conv.size != Size::Wide);
                int v = va_arg(args, int);
                char16_t c = narrow ? static_cast<char16_t>(static_cast<unsigned char>(v)) : static_cast<char16_t>(v);
                EmitPadded(out, std::u16string_view(&c, 1), conv, true);
                break;
            }
            case u's':
            case u'S':
            case u'Z': {
                bool narrow = conv.size == Size::Short || (conv.conversion == u'S' && conv.size != Size::Long32 &&
                                                            conv.size != Size::Wide);
                std::u16string text;
                if (narrow) {
                    const char* s = va_arg(args, const char*);
                    if (!s) text = u"(null)";
                    else if (conv.precision >= 0) text = lumivel::FromUtf8(std::string_view(s, strnlen(s, size_t(conv.precision))));
                    else text = lumivel::FromUtf8(s);
                } else {
                    const char16_t* s = va_arg(args, const char16_t*);
                    if (!s) {
                        text = u"(null)";
                    } else {
                        size_t n = 0;
                        while (s[n] && (conv.precision < 0 || n < size_t(conv.precision))) ++n;
                        text.assign(s, n);
                    }
                }
                if (conv.precision >= 0 && text.size() > size_t(conv.precision)) text.resize(size_t(conv.precision));
                EmitPadded(out, text, conv, true);
                break;
            }
            case u'e':
            case u'E':
            case u'f':
            case u'F':
            case u'g':
            case u'G':
            case u'a':
            case u'A': {
                if (dialect == Dialect::User32) {
                    out.push_back(conv.conversion);
                    break;
                }
                double v = va_arg(args, double);
                std::string narrowSpec = "%";
                if (conv.left) narrowSpec += '-';
                if (conv.plus) narrowSpec += '+';
                if (conv.space) narrowSpec += ' ';
                if (conv.zero) narrowSpec += '0';
                if (conv.alternate) narrowSpec += '#';
                narrowSpec += std::to_string(conv.width);
                if (conv.precision >= 0) narrowSpec += "." + std::to_string(conv.precision);
                narrowSpec += static_cast<char>(conv.conversion);
                int n = std::snprintf(nullptr, 0, narrowSpec.c_str(), v);
                if (n < 0) return std::nullopt;
                std::string buffer(static_cast<size_t>(n) + 1, '\0');
                std::snprintf(buffer.data(), buffer.size(), narrowSpec.c_str(), v);
                buffer.resize(static_cast<size_t>(n));
                for (char c : buffer) out.push_back(static_cast<unsigned char>(c));
                break;
            }
            default:
                // An unknown or unsupported conversion (%n among them) is an invalid format for
                // the CRT; wsprintfW copies it as text.
                if (dialect == Dialect::Crt) return std::nullopt;
                if (!*p) {
                    out.append(start, p);
                    return out;
                }
                out.append(start, p + 1);
                break;
        }
    }
    return out;
}

}  // namespace

extern "C" {

int vswprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, va_list argptr) {
    if (!buffer || sizeOfBuffer == 0 || !format) {
        errno = EINVAL;
        return -1;
    }
    auto text = Format(Dialect::Crt, format, argptr);
    if (!text || text->size() >= sizeOfBuffer) {
        buffer[0] = 0;
        errno = text ? ERANGE : EINVAL;
        return -1;
    }
    std::char_traits<char16_t>::copy(buffer, text->data(), text->size());
    buffer[text->size()] = 0;
    return static_cast<int>(text->size());
}

int swprintf_s(WCHAR* buffer, size_t sizeOfBuffer, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    int r = vswprintf_s(buffer, sizeOfBuffer, format, args);
    va_end(args);
    return r;
}

int _vsnwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format, va_list argptr) {
    if (!buffer || sizeOfBuffer == 0 || !format) {
        errno = EINVAL;
        return -1;
    }
    auto text = Format(Dialect::Crt, format, argptr);
    if (!text) {
        buffer[0] = 0;
        errno = EINVAL;
        return -1;
    }
    size_t limit = count == _TRUNCATE ? sizeOfBuffer - 1 : count;
    if (count != _TRUNCATE && count >= sizeOfBuffer && text->size() >= sizeOfBuffer) {
        buffer[0] = 0;
        errno = ERANGE;
        return -1;
    }
    bool truncated = text->size() > limit;
    size_t n = truncated ? limit : text->size();
    if (n >= sizeOfBuffer) n = sizeOfBuffer - 1;
    std::char_traits<char16_t>::copy(buffer, text->data(), n);
    buffer[n] = 0;
    return truncated ? -1 : static_cast<int>(n);
}

int _snwprintf_s(WCHAR* buffer, size_t sizeOfBuffer, size_t count, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    int r = _vsnwprintf_s(buffer, sizeOfBuffer, count, format, args);
    va_end(args);
    return r;
}

int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
    if (!format || (!buffer && count)) return -1;
    va_list args;
    va_start(args, format);
    auto text = Format(Dialect::Crt, format, args);
    va_end(args);
    if (!text) return -1;
    size_t n = std::min(count, text->size());
    if (n) std::char_traits<char16_t>::copy(buffer, text->data(), n);
    if (text->size() < count) buffer[n] = 0;
    return text->size() > count ? -1 : static_cast<int>(text->size());
}

int _scwprintf(const WCHAR* format, ...) {
    if (!format) return -1;
    va_list args;
    va_start(args, format);
    auto text = Format(Dialect::Crt, format, args);
    va_end(args);
    return text ? static_cast<int>(text->size()) : -1;
}

int wvsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, va_list arglist) {
    constexpr size_t kLimit = 1024;
    if (!lpOut || !lpFmt) return -1;
    auto text = Format(Dialect::User32, lpFmt, arglist);
    if (!text) text.emplace();
    size_t n = std::min(text->size(), kLimit - 1);
    std::char_traits<char16_t>::copy(lpOut, text->data(), n);
    lpOut[n] = 0;
    return static_cast<int>(n);
}

int wsprintfW(LPWSTR lpOut, LPCWSTR lpFmt, ...) {
    va_list args;
    va_start(args, lpFmt);
    int r = wvsprintfW(lpOut, lpFmt, args);
    va_end(args);
    return r;
}

}  // extern "C"
