// The parsed form of one INF file: sections of lines of fields, all text in one pool.
//
// A 50 MB backup file has hundreds of thousands of lines, so fields are (offset, length)
// references into a single UTF-16 pool instead of one allocation each.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace lumivel::setupapi {

struct InfField {
    size_t offset = 0;
    size_t length = 0;
};

struct InfLine {
    uint32_t firstField = 0;  // index into InfDocument::m_fields
    uint32_t fieldCount = 0;
    int64_t keyField = -1;    // index into m_fields, -1 when the line has no key
};

struct InfSection {
    std::u16string name;
    std::vector<InfLine> lines;
};

class InfDocument {
public:
    // Returns the index of the section, creating it when new; names compare without case.
    size_t OpenSection(std::u16string_view name);
    std::optional<size_t> FindSection(std::u16string_view name) const;

    // Appends a field's text to the pool and returns its index.
    uint32_t AddField(std::u16string_view text);
    void AddLine(size_t section, const InfLine& line) { m_sections[section].lines.push_back(line); }

    size_t SectionCount() const { return m_sections.size(); }
    const InfSection& Section(size_t index) const { return m_sections[index]; }
    uint32_t FieldCount() const { return static_cast<uint32_t>(m_fields.size()); }

    // Field 0 is the key; nullopt when the line has no such field.
    std::optional<std::u16string_view> Field(const InfLine& line, uint32_t index) const;

    // Case folding used for section names.
    static std::u16string Fold(std::u16string_view name);

private:
    std::u16string_view Text(const InfField& field) const {
        return std::u16string_view(m_pool).substr(field.offset, field.length);
    }

    std::vector<InfSection> m_sections;
    std::unordered_map<std::u16string, size_t> m_sectionIndex;  // folded name -> index
    std::vector<InfField> m_fields;
    std::u16string m_pool;
};

}  // namespace lumivel::setupapi
