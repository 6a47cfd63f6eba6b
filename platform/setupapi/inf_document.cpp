#include "inf_document.h"

#include <clocale>
#include <cwctype>
#include <locale.h>

namespace lumivel::setupapi {

namespace {

// Non-ASCII letters fold through the C library's UTF-8 tables; the locale object is made
// once and never freed, as it is shared by every thread.
locale_t FoldingLocale() {
    static locale_t locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return locale;
}

char16_t FoldUnit(char16_t c) {
    if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
    if (c >= 0xD800 && c <= 0xDFFF) return c;  // surrogates compare exactly
    locale_t locale = FoldingLocale();
    if (!locale) return c;
    wint_t lower = towlower_l(static_cast<wint_t>(c), locale);
    return lower <= 0xFFFF && (lower < 0xD800 || lower > 0xDFFF) ? static_cast<char16_t>(lower) : c;
}

}  // namespace

std::u16string InfDocument::Fold(std::u16string_view name) {
    std::u16string folded(name);
    for (char16_t& c : folded) c = FoldUnit(c);
    return folded;
}

size_t InfDocument::OpenSection(std::u16string_view name) {
    std::u16string key = Fold(name);
    auto found = m_sectionIndex.find(key);
    if (found != m_sectionIndex.end()) return found->second;
    m_sections.push_back(InfSection{std::u16string(name), {}});
    m_sectionIndex.emplace(std::move(key), m_sections.size() - 1);
    return m_sections.size() - 1;
}

std::optional<size_t> InfDocument::FindSection(std::u16string_view name) const {
    auto found = m_sectionIndex.find(Fold(name));
    if (found == m_sectionIndex.end()) return std::nullopt;
    return found->second;
}

uint32_t InfDocument::AddField(std::u16string_view text) {
    m_fields.push_back(InfField{m_pool.size(), text.size()});
    m_pool.append(text);
    return static_cast<uint32_t>(m_fields.size() - 1);
}

std::optional<std::u16string_view> InfDocument::Field(const InfLine& line, uint32_t index) const {
    if (index == 0) {
        if (line.keyField < 0) return std::nullopt;
        return Text(m_fields[static_cast<size_t>(line.keyField)]);
    }
    if (index > line.fieldCount) return std::nullopt;
    return Text(m_fields[line.firstField + index - 1]);
}

}  // namespace lumivel::setupapi
