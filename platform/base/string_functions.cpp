// lstr*, CompareStringW and the shlwapi string helpers.
#include "lumivel/wide_string.h"
#include "win/errors.h"
#include "win/strings.h"

using lumivel::CompareNoCase;

namespace {

std::u16string_view View(PCWSTR s, int cch) {
    if (!s) return {};
    return cch < 0 ? std::u16string_view(s) : std::u16string_view(s, static_cast<size_t>(cch));
}

int Sign(int r) { return r < 0 ? -1 : (r > 0 ? 1 : 0); }

bool IsLowerLetter(char16_t c) { return lumivel::ToUpperCase(c) != c; }

// Case-sensitive order of the Windows word sort, approximated: letters compare by their folded
// form first; when the strings are equal apart from case, the first lower-case letter sorts
// before its upper-case form; everything else by code unit.
int CompareWithCase(std::u16string_view a, std::u16string_view b) {
    int folded = CompareNoCase(a, b);
    if (folded != 0) return folded;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i] == b[i]) continue;
        bool lowerA = IsLowerLetter(a[i]), lowerB = IsLowerLetter(b[i]);
        if (lowerA != lowerB) return lowerA ? -1 : 1;
        return a[i] < b[i] ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

extern "C" {

int lstrlenW(LPCWSTR lpString) { return lpString ? static_cast<int>(std::char_traits<char16_t>::length(lpString)) : 0; }

LPWSTR lstrcpyW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return nullptr;
    size_t n = std::char_traits<char16_t>::length(lpString2);
    std::char_traits<char16_t>::move(lpString1, lpString2, n + 1);
    return lpString1;
}

LPWSTR lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
    if (!lpString1 || !lpString2 || iMaxLength <= 0) return iMaxLength == 0 ? lpString1 : nullptr;
    int i = 0;
    for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
    lpString1[i] = 0;
    return lpString1;
}

LPWSTR lstrcatW(LPWSTR lpString1, LPCWSTR lpString2) {
    if (!lpString1 || !lpString2) return nullptr;
    size_t n = std::char_traits<char16_t>::length(lpString1);
    lstrcpyW(lpString1 + n, lpString2);
    return lpString1;
}

int lstrcmpW(LPCWSTR lpString1, LPCWSTR lpString2) {
    return CompareWithCase(View(lpString1, -1), View(lpString2, -1));
}

int lstrcmpiW(LPCWSTR lpString1, LPCWSTR lpString2) {
    return CompareNoCase(View(lpString1, -1), View(lpString2, -1));
}

int CompareStringW(LCID, DWORD dwCmpFlags, PCWSTR lpString1, int cchCount1, PCWSTR lpString2, int cchCount2) {
    if (!lpString1 || !lpString2 || cchCount1 < -1 || cchCount2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    constexpr DWORD kKnown = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS | NORM_IGNOREKANATYPE |
                             NORM_IGNOREWIDTH | LINGUISTIC_IGNORECASE | SORT_STRINGSORT;
    if (dwCmpFlags & ~kKnown) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    auto a = View(lpString1, cchCount1), b = View(lpString2, cchCount2);
    // A counted string stops at an embedded terminator, as on Windows.
    if (auto z = a.find(u'\0'); z != std::u16string_view::npos) a = a.substr(0, z);
    if (auto z = b.find(u'\0'); z != std::u16string_view::npos) b = b.substr(0, z);
    int r = (dwCmpFlags & (NORM_IGNORECASE | LINGUISTIC_IGNORECASE)) ? CompareNoCase(a, b) : CompareWithCase(a, b);
    return CSTR_EQUAL + Sign(r);
}

int CompareStringOrdinal(LPCWSTR lpString1, int cchCount1, LPCWSTR lpString2, int cchCount2, BOOL bIgnoreCase) {
    if (!lpString1 || !lpString2 || cchCount1 < -1 || cchCount2 < -1) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    auto a = View(lpString1, cchCount1), b = View(lpString2, cchCount2);
    int r = bIgnoreCase ? CompareNoCase(a, b) : a.compare(b);
    return CSTR_EQUAL + Sign(r);
}

int StrCmpIW(LPCWSTR psz1, LPCWSTR psz2) { return CompareNoCase(View(psz1, -1), View(psz2, -1)); }

int StrCmpNIW(LPCWSTR psz1, LPCWSTR psz2, int nChar) {
    if (nChar <= 0) return 0;
    return lumivel::WideCompareNoCaseN(psz1, psz2, static_cast<size_t>(nChar));
}

int StrCmpNW(LPCWSTR psz1, LPCWSTR psz2, int nChar) {
    if (nChar <= 0) return 0;
    return lumivel::WideCompareN(psz1, psz2, static_cast<size_t>(nChar));
}

LPWSTR StrStrW(LPCWSTR pszFirst, LPCWSTR pszSrch) {
    return const_cast<LPWSTR>(lumivel::WideFindString(pszFirst, pszSrch));
}

LPWSTR StrStrIW(LPCWSTR pszFirst, LPCWSTR pszSrch) {
    if (!pszFirst || !pszSrch) return nullptr;
    size_t at = lumivel::FindNoCase(pszFirst, pszSrch);
    return at == std::u16string_view::npos ? nullptr : const_cast<LPWSTR>(pszFirst + at);
}

LPWSTR StrChrW(LPCWSTR pszStart, WCHAR wMatch) {
    if (!pszStart) return nullptr;
    for (; *pszStart; ++pszStart)
        if (*pszStart == wMatch) return const_cast<LPWSTR>(pszStart);
    return nullptr;
}

LPWSTR StrRChrW(LPCWSTR pszStart, LPCWSTR pszEnd, WCHAR wMatch) {
    if (!pszStart) return nullptr;
    LPCWSTR found = nullptr;
    for (LPCWSTR p = pszStart; *p && (!pszEnd || p < pszEnd); ++p)
        if (*p == wMatch) found = p;
    return const_cast<LPWSTR>(found);
}

}  // extern "C"
