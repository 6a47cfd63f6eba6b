#include "lumivel/text.h"

namespace lumivel {

Utf8Step DecodeUtf8At(std::string_view text, size_t i) {
    const auto byte = [&](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return {lead, 1, true};
    char32_t c;
    size_t extra;
    if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F, extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F, extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07, extra = 3;
    } else {
        return {0, 1, false};
    }
    size_t k = 1;
    for (; k <= extra; ++k) {
        if (i + k >= text.size() || (byte(i + k) & 0xC0) != 0x80) return {0, k, false};
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    static constexpr char32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
    if (c < kMinimum[extra] || c > 0x10FFFF || IsSurrogate(c)) return {0, 1, false};
    return {c, extra + 1, true};
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::optional<std::string> Utf16ToUtf8(std::u16string_view text, IllFormed rule, std::string_view replacement,
                                       bool* replaced) {
    std::string out;
    out.reserve(text.size());
    bool any = false;
    for (size_t i = 0; i < text.size();) {
        // ASCII runs at once: names, DNs and times are mostly nothing else.
        if (text[i] < 0x80) {
            size_t end = i + 1;
            while (end < text.size() && text[end] < 0x80) ++end;
            const size_t at = out.size();
            out.resize(at + end - i);
            for (size_t k = i; k < end; ++k) out[at + k - i] = static_cast<char>(text[k]);
            i = end;
            continue;
        }
        char32_t c = NextCodePoint(text, i);
        if (!IsSurrogate(c)) {
            AppendUtf8(out, c);
            continue;
        }
        if (rule == IllFormed::Refuse) return std::nullopt;
        out += replacement;
        any = true;
    }
    if (replaced) *replaced = any;
    return out;
}

std::optional<std::u16string> Utf8ToUtf16(std::string_view text, IllFormed rule) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (static_cast<unsigned char>(text[i]) < 0x80) {
            size_t end = i + 1;
            while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
            const size_t at = out.size();
            out.resize(at + end - i);
            for (size_t k = i; k < end; ++k) out[at + k - i] = static_cast<char16_t>(text[k]);
            i = end;
            continue;
        }
        Utf8Step step = DecodeUtf8At(text, i);
        i += step.length;
        if (step.wellFormed) {
            AppendUtf16(out, step.codePoint);
        } else if (rule == IllFormed::Refuse) {
            return std::nullopt;
        } else {
            out.push_back(u'\uFFFD');
        }
    }
    return out;
}

}  // namespace lumivel
