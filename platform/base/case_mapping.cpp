// Case mapping and the case-insensitive comparisons built on it.
#include <algorithm>

#include "lumivel/text.h"
#include "lumivel/wide_string.h"

namespace lumivel {
namespace {

struct CaseMapping {
    char32_t from;
    char32_t to;
};

#include "case_tables.inc"

template <size_t N>
char32_t Lookup(const CaseMapping (&table)[N], char32_t c) {
    auto it = std::lower_bound(std::begin(table), std::end(table), c,
                               [](const CaseMapping& m, char32_t value) { return m.from < value; });
    return (it != std::end(table) && it->from == c) ? it->to : c;
}

template <class Map>
std::u16string MapString(std::u16string_view text, Map map) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) AppendUtf16(out, map(NextCodePoint(text, i)));
    return out;
}

char16_t AsciiFold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

}  // namespace

char32_t FoldCase(char32_t c) {
    if (c < 0x80) return (c >= U'A' && c <= U'Z') ? c + 32 : c;
    return Lookup(kFoldTable, c);
}

char32_t ToUpperCase(char32_t c) {
    if (c < 0x80) return (c >= U'a' && c <= U'z') ? c - 32 : c;
    return Lookup(kUpperTable, c);
}

char32_t ToLowerCase(char32_t c) {
    if (c < 0x80) return (c >= U'A' && c <= U'Z') ? c + 32 : c;
    return Lookup(kLowerTable, c);
}

std::u16string FoldCase(std::u16string_view text) {
    return MapString(text, [](char32_t c) { return FoldCase(c); });
}
std::u16string ToUpperCase(std::u16string_view text) {
    return MapString(text, [](char32_t c) { return ToUpperCase(c); });
}
std::u16string ToLowerCase(std::u16string_view text) {
    return MapString(text, [](char32_t c) { return ToLowerCase(c); });
}

int CompareNoCase(std::u16string_view a, std::u16string_view b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        char32_t x = FoldCase(NextCodePoint(a, i));
        char32_t y = FoldCase(NextCodePoint(b, j));
        if (x != y) return x < y ? -1 : 1;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

int AsciiCompareNoCase(std::u16string_view a, std::u16string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        char16_t x = AsciiFold(a[i]), y = AsciiFold(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

size_t FindNoCase(std::u16string_view haystack, std::u16string_view needle) {
    if (needle.empty()) return 0;
    std::u16string foldedHaystack = FoldCase(haystack);
    std::u16string foldedNeedle = FoldCase(needle);
    // Simple folding never changes the number of code units of a BMP character or of a pair,
    // so positions in the folded text are positions in the original.
    return foldedHaystack.find(foldedNeedle);
}

const WCHAR* WideFindString(const WCHAR* haystack, const WCHAR* needle) {
    if (!haystack || !needle) return nullptr;
    size_t at = std::u16string_view(haystack).find(std::u16string_view(needle));
    return at == std::u16string_view::npos ? nullptr : haystack + at;
}

int WideCompare(const WCHAR* a, const WCHAR* b) {
    std::u16string_view x(a ? a : u""), y(b ? b : u"");
    int r = x.compare(y);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int WideCompareN(const WCHAR* a, const WCHAR* b, size_t n) {
    std::u16string_view x(a ? a : u""), y(b ? b : u"");
    int r = x.substr(0, std::min(n, x.size())).compare(y.substr(0, std::min(n, y.size())));
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int WideCompareNoCase(const WCHAR* a, const WCHAR* b) { return CompareNoCase(a ? a : u"", b ? b : u""); }

int WideCompareNoCaseN(const WCHAR* a, const WCHAR* b, size_t n) {
    std::u16string_view x(a ? a : u""), y(b ? b : u"");
    return CompareNoCase(x.substr(0, std::min(n, x.size())), y.substr(0, std::min(n, y.size())));
}

int WideAsciiCompareNoCase(const WCHAR* a, const WCHAR* b) { return AsciiCompareNoCase(a ? a : u"", b ? b : u""); }

int WideAsciiCompareNoCaseN(const WCHAR* a, const WCHAR* b, size_t n) {
    std::u16string_view x(a ? a : u""), y(b ? b : u"");
    return AsciiCompareNoCase(x.substr(0, std::min(n, x.size())), y.substr(0, std::min(n, y.size())));
}

bool MatchWildcard(std::u16string_view pattern, std::u16string_view name) {
    // "*.*" and "*" match everything, dotless names included, as on Windows.
    if (pattern == u"*.*" || pattern == u"*") return true;
    std::u16string p = FoldCase(pattern), n = FoldCase(name);
    // A trailing ".*" may match a name without an extension ("readme" matches "readme.*").
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, u".*") == 0 && n.find(u'.') == std::u16string::npos) {
        p.resize(p.size() - 2);
    }
    // Iterative glob with back-tracking to the last star: linear in practice, never exponential.
    size_t pi = 0, ni = 0, star = std::u16string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            mark = ni;
        } else if (star != std::u16string::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    // Trailing stars match nothing; so do trailing '?' (Windows lets "name?" match "name").
    while (pi < p.size() && (p[pi] == u'*' || p[pi] == u'?')) ++pi;
    return pi == p.size();
}

}  // namespace lumivel
