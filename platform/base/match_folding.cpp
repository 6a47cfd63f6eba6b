// Text as a search compares it: case folded and accents dropped, so that "angstrom" finds
// "Ångström" as a person typing without accents expects.
#include <algorithm>

#include "lumivel/match_folding.h"
#include "lumivel/text.h"
#include "lumivel/wide_string.h"

namespace lumivel {
namespace {

struct MarkRange {
    char32_t first;
    char32_t last;
};

struct CaseMapping {
    char32_t from;
    char32_t to;
};

#include "mark_tables.inc"

bool IsNonspacingMark(char32_t c) {
    auto it = std::upper_bound(std::begin(kMarkRanges), std::end(kMarkRanges), c,
                               [](char32_t value, const MarkRange& range) { return value < range.first; });
    return it != std::begin(kMarkRanges) && c <= std::prev(it)->last;
}

char32_t BaseLetter(char32_t c) {
    auto it = std::lower_bound(std::begin(kBaseLetters), std::end(kBaseLetters), c,
                               [](const CaseMapping& m, char32_t value) { return m.from < value; });
    return (it != std::end(kBaseLetters) && it->from == c) ? it->to : c;
}

}  // namespace

void AppendFoldedForMatching(std::u16string& out, std::u16string_view text) {
    for (size_t i = 0; i < text.size();) {
        // ASCII, nearly all of a directory's text, needs no table: a run of it is copied at once.
        size_t run = i;
        while (run < text.size() && text[run] < 0x80) ++run;
        if (run > i) {
            const size_t at = out.size();
            out.resize(at + (run - i));
            for (size_t k = i; k < run; ++k) {
                const char16_t unit = text[k];
                out[at + k - i] = (unit >= u'A' && unit <= u'Z') ? char16_t(unit + 32) : unit;
            }
            i = run;
            continue;
        }
        const char32_t point = NextCodePoint(text, i);
        if (IsNonspacingMark(point)) continue;
        AppendUtf16(out, FoldCase(BaseLetter(point)));
    }
}

std::u16string FoldForMatching(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    AppendFoldedForMatching(out, text);
    return out;
}

}  // namespace lumivel
