#include "inf_document.h"

#include "lumivel/wide_string.h"

namespace lumivel::setupapi {

// The platform's one case folding, which CompareStringW and CompareStringOrdinal use too, so
// that a reader comparing section names with those finds the sections the parser finds.
std::u16string InfDocument::Fold(std::u16string_view name) { return FoldCase(name); }

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
