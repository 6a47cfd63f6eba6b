#include "provider/backup/raw_inf_lines.h"

#include "provider/backup/raw_inf_field.h"

namespace revivo {

namespace {

constexpr char16_t kEndOfFileMark = 0x1A;

std::u16string_view WithoutLeadingBlanks(std::u16string_view text) {
    size_t start = 0;
    while (start < text.size() && IsInfBlank(text[start])) ++start;
    return text.substr(start);
}

std::u16string_view WithoutTrailingBlanks(std::u16string_view text) {
    size_t end = text.size();
    while (end > 0 && IsInfBlank(text[end - 1])) --end;
    return text.substr(0, end);
}

// Where a backslash continues the entry: outside quotes and before any comment, followed by
// nothing but blanks, further backslashes or a comment. Every backslash of one run has the
// same answer, so a run is looked at once.
size_t ContinuationAt(std::u16string_view line) {
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        char16_t c = line[i];
        if (inQuotes) {
            if (c == u'"') {
                if (i + 1 < line.size() && line[i + 1] == u'"') ++i;
                else inQuotes = false;
            }
        } else if (c == u'"') {
            inQuotes = true;
        } else if (c == u';') {
            return std::u16string_view::npos;
        } else if (c == u'\\') {
            size_t q = i + 1;
            while (q < line.size() && (IsInfBlank(line[q]) || line[q] == u'\\')) ++q;
            if (q == line.size() || line[q] == u';') return i;
            i = q - 1;
        }
    }
    return std::u16string_view::npos;
}

}  // namespace

RawInfLines::Kind RawInfLines::add(std::u16string_view line) {
    if (m_ended) return Kind::None;
    if (size_t mark = line.find(kEndOfFileMark); mark != std::u16string_view::npos) {
        line = line.substr(0, mark);
        while (!line.empty() && line.back() == u'\r') line.remove_suffix(1);  // they ended the line
        m_ended = true;
    }
    if (m_continued) {
        line = WithoutLeadingBlanks(line);
        m_joins.push_back(m_text.size());
    } else {
        std::u16string_view text = WithoutLeadingBlanks(line);
        if (text.empty() || text.front() == u';') return Kind::None;
        m_joins.clear();
        if (text.front() == u'[') {
            m_text.assign(line);
            return Kind::Header;
        }
        m_text.clear();
    }
    size_t cut = ContinuationAt(line);
    if (cut == std::u16string_view::npos) {
        m_text.append(line);
        m_continued = false;
        return Kind::Entry;
    }
    m_text.append(WithoutTrailingBlanks(line.substr(0, cut)));
    m_continued = !m_ended;
    return m_ended ? Kind::Entry : Kind::None;
}

RawInfLines::Kind RawInfLines::finish() {
    if (!m_continued) return Kind::None;
    m_continued = false;
    return Kind::Entry;
}

}  // namespace revivo
