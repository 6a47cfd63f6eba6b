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

// One record's folded texts, as views into one buffer: folding once per sort instead of once
// per comparison keeps a sort of 100,000 records well under the time a click may take.
struct SortEntry {
    PropertySet* record;
    size_t keyStart, keyLength;
    size_t nameStart, nameLength;
};

}  // namespace

std::u16string_view KeyText(const PropertySet* record, const std::u16string& key) {
    if (!record || key.empty()) return {};
    return record->getText(key.c_str());
}

int CompareRecords(const PropertySet* left, const PropertySet* right, const std::u16string& key) {
    int order = lumivel::CompareNoCase(KeyText(left, key), KeyText(right, key));
    if (order != 0 || lumivel::EqualsNoCase(key, kNameKey)) return order;
    static const std::u16string name(kNameKey);
    return lumivel::CompareNoCase(KeyText(left, name), KeyText(right, name));
}

void SortRecords(std::vector<PropertySet*>& records, const std::u16string& key) {
    if (records.size() < 2) return;
    static const std::u16string name(kNameKey);
    const bool byName = lumivel::EqualsNoCase(key, kNameKey);
    std::u16string folded;
    std::vector<SortEntry> entries;
    entries.reserve(records.size());
    for (PropertySet* record : records) {
        SortEntry entry{record, folded.size(), 0, 0, 0};
        folded += lumivel::FoldCase(KeyText(record, key));
        entry.keyLength = folded.size() - entry.keyStart;
        entry.nameStart = entry.keyStart;
        entry.nameLength = entry.keyLength;
        if (!byName) {
            entry.nameStart = folded.size();
            folded += lumivel::FoldCase(KeyText(record, name));
            entry.nameLength = folded.size() - entry.nameStart;
        }
        entries.push_back(entry);
    }
    const std::u16string_view text(folded);
    std::stable_sort(entries.begin(), entries.end(), [&](const SortEntry& a, const SortEntry& b) {
        int order = CompareFolded(text.substr(a.keyStart, a.keyLength), text.substr(b.keyStart, b.keyLength));
        if (order == 0 && !byName)
            order = CompareFolded(text.substr(a.nameStart, a.nameLength), text.substr(b.nameStart, b.nameLength));
        return order < 0;
    });
    for (size_t i = 0; i < entries.size(); ++i) records[i] = entries[i].record;
}

void TopRecords::assign(const std::vector<PropertySet*>& records, const std::u16string& key) {
    clear();
    for (PropertySet* record : records) {
        if (!record) continue;
        (record->IsNode ? m_scopes : m_objects).push_back(record);
    }
    sortBy(key);
}

void TopRecords::clear() {
    m_scopes.clear();
    m_objects.clear();
}

void TopRecords::sortBy(const std::u16string& key) {
    SortRecords(m_scopes, key);
    SortRecords(m_objects, key);
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
