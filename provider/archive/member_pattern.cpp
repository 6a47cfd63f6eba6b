#include "provider/archive/member_pattern.h"

#include "win/strings.h"

namespace revivo::zip {

namespace {

bool SameNoCase(char16_t left, char16_t right) {
    if (left == right) return true;
    if (left < 0x80 && right < 0x80) {
        auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
        return lower(left) == lower(right);
    }
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, &left, 1, &right, 1) == CSTR_EQUAL;
}

}  // namespace

// Greedy match that backtracks only to the last '*': linear in practice, never exponential.
bool MatchesPattern(std::u16string_view name, std::u16string_view pattern) {
    size_t n = 0, p = 0;
    size_t starPattern = std::u16string_view::npos, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starPattern = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || SameNoCase(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (starPattern != std::u16string_view::npos) {
            p = starPattern + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

int CompareNamesNoCase(const std::string& left, const std::string& right) {
    auto wide = [](const std::string& text) {
        std::u16string out(text.size(), u'\0');
        int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                                       static_cast<int>(out.size()));
        out.resize(size > 0 ? static_cast<size_t>(size) : 0);
        return out;
    };
    std::u16string a = wide(left), b = wide(right);
    return CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) -
           CSTR_EQUAL;
}

bool NamesEqualNoCase(const std::string& left, const std::string& right) { return CompareNamesNoCase(left, right) == 0; }

}  // namespace revivo::zip
