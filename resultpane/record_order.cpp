#include "resultpane/record_order.h"

#include <algorithm>

#include "lumivel/wide_string.h"

namespace panorel {

namespace {

// Folded texts compare by code point: units of a surrogate pair rank above the rest of the
// BMP, as the code points they stand for do.
int Rank(char16_t unit) {
    if (unit >= 0xE000) return int(unit) - 0x800;
    if (unit >= 0xD800) return int(unit) + 0x2000;
    return unit;
}

int CompareFolded(std::u16string_view a, std::u16string_view b) {
    size_t n = std::min(a.size(), b.size());
    auto [x, y] = std::mismatch(a.begin(), a.begin() + long(n), b.begin());
    if (x == a.begin() + long(n)) return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    return Rank(*x) < Rank(*y) ? -1 : 1;
}

// Simple case folding into `out`; ASCII, nearly all of a directory's names, without a table.
void AppendFolded(std::u16string& out, std::u16string_view text) {
    for (size_t i = 0; i < text.size(); ++i) {
        char16_t unit = text[i];
        if (unit < 0x80) {
            out += (unit >= u'A' && unit <= u'Z') ? char16_t(unit + 32) : unit;
            continue;
        }
        char32_t point = unit;
        if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            point = 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (char32_t(text[++i]) - 0xDC00);
        point = lumivel::FoldCase(point);
        if (point >= 0x10000) {
            out += char16_t(0xD800 + ((point - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            out += char16_t(point);
        }
    }
}

// Orders by one key's text alone, keeping the given order among equals. Each text is folded
// once into one buffer, not once per comparison: 100,000 records sort in a fraction of the time
// a click may take.
void SortByText(std::vector<PropertySet*>& records, const std::u16string& key) {
    if (records.size() < 2) return;
    struct Entry {
        PropertySet* record;
        size_t start, length;
    };
    std::u16string folded;
    folded.reserve(records.size() * 24);
    std::vector<Entry> entries;
    entries.reserve(records.size());
    for (PropertySet* record : records) {
        const size_t start = folded.size();
        AppendFolded(folded, KeyText(record, key));
        entries.push_back(Entry{record, start, folded.size() - start});
    }
    const std::u16string_view text(folded);
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        return CompareFolded(text.substr(a.start, a.length), text.substr(b.start, b.length)) < 0;
    });
    for (size_t i = 0; i < entries.size(); ++i) records[i] = entries[i].record;
}

bool IsNameKey(const std::u16string& key) { return lumivel::EqualsNoCase(key, kNameKey); }

const std::u16string& NameKey() {
    static const std::u16string name(kNameKey);
    return name;
}

}  // namespace

std::u16string_view KeyText(const PropertySet* record, const std::u16string& key) {
    if (!record || key.empty()) return {};
    return record->getText(key.c_str());
}

int CompareRecords(const PropertySet* left, const PropertySet* right, const std::u16string& key) {
    int order = lumivel::CompareNoCase(KeyText(left, key), KeyText(right, key));
    if (order != 0 || IsNameKey(key)) return order;
    return lumivel::CompareNoCase(KeyText(left, NameKey()), KeyText(right, NameKey()));
}

// In name order first, then a stable sort by the key leaves equal keys in name order.
void SortRecords(std::vector<PropertySet*>& records, const std::u16string& key) {
    SortByText(records, NameKey());
    if (!IsNameKey(key)) SortByText(records, key);
}

void TopRecords::assign(const std::vector<PropertySet*>& records, const std::u16string& key) {
    clear();
    for (PropertySet* record : records) {
        if (!record) continue;
        (record->IsNode ? m_scopesByName : m_objectsByName).push_back(record);
    }
    SortByText(m_scopesByName, NameKey());
    SortByText(m_objectsByName, NameKey());
    sortBy(key);
}

void TopRecords::clear() {
    m_scopes.clear();
    m_objects.clear();
    m_scopesByName.clear();
    m_objectsByName.clear();
}

void TopRecords::sortBy(const std::u16string& key) {
    m_scopes = m_scopesByName;
    m_objects = m_objectsByName;
    if (IsNameKey(key)) return;
    SortByText(m_scopes, key);
    SortByText(m_objects, key);
}

PropertySet* TopRecords::at(long index) const {
    if (index < 0 || size_t(index) >= size()) return nullptr;
    size_t i = size_t(index);
    if (i < m_scopes.size()) return m_ascending ? m_scopes[i] : m_scopes[m_scopes.size() - 1 - i];
    i -= m_scopes.size();
    return m_ascending ? m_objects[i] : m_objects[m_objects.size() - 1 - i];
}

long TopRecords::findPrefix(std::u16string_view prefix, const std::u16string& key, long start, bool wrap) const {
    const long n = long(size());
    if (key.empty() || n == 0) return -1;
    if (start < 0 || start >= n) start = 0;
    const long steps = wrap ? n : n - start;
    for (long k = 0; k < steps; ++k) {
        const long index = (start + k) % n;
        std::u16string_view text = KeyText(at(index), key);
        // Simple case folding keeps the number of code units, so the prefix is cut to size.
        if (text.size() >= prefix.size() && lumivel::EqualsNoCase(text.substr(0, prefix.size()), prefix)) return index;
    }
    return -1;
}

std::vector<PropertySet*> TopRecords::all() const {
    std::vector<PropertySet*> records(m_scopes);
    records.insert(records.end(), m_objects.begin(), m_objects.end());
    return records;
}

}  // namespace panorel
