#include "resultpane/record_order.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <tuple>

#include "lumivel/wide_string.h"
#include "resultpane/address_set.h"
#include "resultpane/record_filter.h"
#include "shared/panorel_interface.h"

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

bool IsNameKey(const std::u16string& key) { return lumivel::EqualsNoCase(key, kNameKey); }

// "YYYY-MM-DDThh:mm:ssZ": in that shape the text orders as the time does.
bool IsUtcTime(std::u16string_view text) {
    static constexpr char16_t kShape[] = u"0000-00-00T00:00:00Z";
    if (text.size() != std::size(kShape) - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= u'0' && text[i] <= u'9';
        if (kShape[i] == u'0' ? !digit : text[i] != kShape[i]) return false;
    }
    return true;
}

// The record's time for a column, when the column has one and the record holds it.
std::optional<std::u16string_view> TimeOf(const PropertySet* record, const std::u16string& timeKey) {
    if (timeKey.empty()) return std::nullopt;
    std::u16string_view text = KeyText(record, timeKey);
    if (!IsUtcTime(text)) return std::nullopt;
    return text;
}

// Orders by one key alone, keeping the given order among equals: with a time key, the records
// with a time under it first, by that time, then the rest; each group by the key's text. Each
// text is folded once into one buffer, not once per comparison: 100,000 records sort in a
// fraction of the time a click may take. Returns how many records have no time (0 without a
// time key).
size_t SortByKey(std::vector<PropertySet*>& records, const std::u16string& key, const std::u16string& timeKey) {
    if (records.empty()) return 0;
    struct Entry {
        PropertySet* record;
        size_t start, length;
        bool timed;
    };
    // Folding keeps a text's length but for the rare letter that folds into another plane, so
    // the buffer is made as long as the texts once: growing it by doubling would hold twice
    // their size, and the old buffer beside the new one, at the moment a large list is ordered.
    size_t length = 0;
    for (const PropertySet* record : records) {
        std::optional<std::u16string_view> time = TimeOf(record, timeKey);
        length += (time ? *time : KeyText(record, key)).size();
    }
    std::u16string folded;
    folded.reserve(length + length / 64);
    std::vector<Entry> entries;
    entries.reserve(records.size());
    size_t timed = 0;
    for (PropertySet* record : records) {
        const size_t start = folded.size();
        std::optional<std::u16string_view> time = TimeOf(record, timeKey);
        AppendFolded(folded, time ? *time : KeyText(record, key));
        entries.push_back(Entry{record, start, folded.size() - start, time.has_value()});
        if (time) ++timed;
    }
    const std::u16string_view text(folded);
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        if (a.timed != b.timed) return a.timed;
        return CompareFolded(text.substr(a.start, a.length), text.substr(b.start, b.length)) < 0;
    });
    for (size_t i = 0; i < entries.size(); ++i) records[i] = entries[i].record;
    return timeKey.empty() ? 0 : records.size() - timed;
}

const std::u16string& NameKey() {
    static const std::u16string name(kNameKey);
    return name;
}

// A descending group is read from the end, except for the records without a time at its end,
// which stay last.
PropertySet* Shown(const std::vector<PropertySet*>& group, size_t untimed, size_t i, bool ascending) {
    const size_t timed = group.size() - untimed;
    if (ascending || i >= timed) return group[i];
    return group[timed - 1 - i];
}

// The text a record sorts by under a key, folded as SortByKey folds it, and whether it is a time.
struct SortText {
    bool timed = false;
    std::u16string folded;
};

SortText SortTextOf(const PropertySet* record, const std::u16string& key, const std::u16string& timeKey) {
    SortText text;
    std::optional<std::u16string_view> time = TimeOf(record, timeKey);
    text.timed = time.has_value();
    AppendFolded(text.folded, time ? *time : KeyText(record, key));
    return text;
}

int CompareSortTexts(const SortText& a, const SortText& b) {
    if (a.timed != b.timed) return a.timed ? -1 : 1;
    return CompareFolded(a.folded, b.folded);
}

// Whether a whole sort puts `a` before `b`: by the key, and among equals by name (the order a
// stable sort by the key keeps from the name order it starts from).
bool SortsBefore(const PropertySet* a, const PropertySet* b, const std::u16string& key, const std::u16string& timeKey) {
    const int order = CompareSortTexts(SortTextOf(a, key, timeKey), SortTextOf(b, key, timeKey));
    if (order != 0 || IsNameKey(key)) return order < 0;
    return CompareSortTexts(SortTextOf(a, NameKey(), {}), SortTextOf(b, NameKey(), {})) < 0;
}

// The sorted group without the removed records and with the added ones (sorted alike) where
// a whole sort puts them. Positions are found in the group as it stands, removed records
// included: they still hold their place in its order.
std::vector<PropertySet*> Splice(const std::vector<PropertySet*>& sorted, const AddressSet& removed,
                                 const std::vector<PropertySet*>& added, const std::u16string& key,
                                 const std::u16string& timeKey) {
    std::vector<size_t> places;
    places.reserve(added.size());
    auto from = sorted.begin();
    for (PropertySet* record : added) {
        from = std::upper_bound(from, sorted.end(), record, [&](const PropertySet* a, const PropertySet* b) {
            return SortsBefore(a, b, key, timeKey);
        });
        places.push_back(size_t(from - sorted.begin()));
    }
    std::vector<PropertySet*> result;
    result.reserve(sorted.size() + added.size());
    size_t next = 0;
    for (size_t i = 0; i <= sorted.size(); ++i) {
        while (next < added.size() && places[next] == i) result.push_back(added[next++]);
        if (i < sorted.size() && !removed.contains(sorted[i])) result.push_back(sorted[i]);
    }
    return result;
}

size_t CountUntimed(const std::vector<PropertySet*>& records, const std::u16string& timeKey) {
    if (timeKey.empty()) return 0;
    return size_t(std::count_if(records.begin(), records.end(),
                                [&](const PropertySet* record) { return !TimeOf(record, timeKey); }));
}

}  // namespace

std::u16string_view KeyText(const PropertySet* record, const std::u16string& key) {
    if (!record || key.empty()) return {};
    return record->getText(key.c_str());
}

std::u16string TimeKeyOf(const std::vector<PropertySet*>& records, const std::u16string& key) {
    if (key.empty() || IsNameKey(key)) return {};
    for (const PropertySet* record : records) {
        if (KeyText(record, key).empty()) continue;
        std::u16string timeKey = key + kPanorelTimeKeySuffix;
        return TimeOf(record, timeKey) ? timeKey : std::u16string();
    }
    return {};
}

int CompareRecords(const PropertySet* left, const PropertySet* right, const std::u16string& key,
                   const std::u16string& timeKey) {
    std::optional<std::u16string_view> leftTime = TimeOf(left, timeKey), rightTime = TimeOf(right, timeKey);
    if (leftTime.has_value() != rightTime.has_value()) return leftTime ? -1 : 1;
    int order = leftTime ? lumivel::CompareNoCase(*leftTime, *rightTime)
                         : lumivel::CompareNoCase(KeyText(left, key), KeyText(right, key));
    if (order != 0 || IsNameKey(key)) return order;
    return lumivel::CompareNoCase(KeyText(left, NameKey()), KeyText(right, NameKey()));
}

// In name order first, then a stable sort by the key leaves equal keys in name order.
void SortRecords(std::vector<PropertySet*>& records, const std::u16string& key) {
    SortByKey(records, NameKey(), {});
    if (!IsNameKey(key)) SortByKey(records, key, TimeKeyOf(records, key));
}

void TopRecords::assign(const std::vector<PropertySet*>& records, const std::u16string& key) {
    clear();
    for (PropertySet* record : records) {
        if (!record) continue;
        (record->IsNode ? m_scopesByName : m_objectsByName).push_back(record);
    }
    SortByKey(m_scopesByName, NameKey(), {});
    SortByKey(m_objectsByName, NameKey(), {});
    sortBy(key);
}

void TopRecords::applyChanges(const std::unordered_set<const PropertySet*>& removed,
                              const std::vector<PropertySet*>& added, const std::u16string& key) {
    std::vector<PropertySet*> addedScopes, addedObjects;
    for (PropertySet* record : added)
        if (record) (record->IsNode ? addedScopes : addedObjects).push_back(record);
    SortByKey(addedScopes, NameKey(), {});
    SortByKey(addedObjects, NameKey(), {});
    // Asked once for every record held: a flat table, not the caller's node-based set.
    AddressSet leavingSet(removed.size());
    for (const PropertySet* record : removed) leavingSet.insert(record);
    m_scopesByName = Splice(m_scopesByName, leavingSet, addedScopes, NameKey(), {});
    m_objectsByName = Splice(m_objectsByName, leavingSet, addedObjects, NameKey(), {});
    m_placesValid = false;
    if (IsNameKey(key)) {
        m_scopes = m_scopesByName;
        m_objects = m_objectsByName;
        m_scopesUntimed = m_objectsUntimed = 0;
        refilter();
        return;
    }
    std::u16string timeKey = TimeKeyOf(m_objectsByName, key);
    if (timeKey.empty()) timeKey = TimeKeyOf(m_scopesByName, key);
    for (auto [group, untimed, addedGroup] : {std::tuple{&m_scopes, &m_scopesUntimed, &addedScopes},
                                              std::tuple{&m_objects, &m_objectsUntimed, &addedObjects}}) {
        std::vector<PropertySet*> leaving;
        if (!removed.empty())
            for (PropertySet* record : *group)
                if (leavingSet.contains(record)) leaving.push_back(record);
        SortByKey(*addedGroup, key, timeKey);
        *untimed = *untimed - CountUntimed(leaving, timeKey) + CountUntimed(*addedGroup, timeKey);
        *group = Splice(*group, leavingSet, *addedGroup, key, timeKey);
    }
    refilter();
}

void TopRecords::clear() {
    m_scopes.clear();
    m_objects.clear();
    m_scopesByName.clear();
    m_objectsByName.clear();
    m_scopesUntimed = m_objectsUntimed = 0;
    m_shownScopes.clear();
    m_shownObjects.clear();
    m_shownScopesUntimed = m_shownObjectsUntimed = 0;
    m_placesValid = false;
}

void TopRecords::setFilter(const RecordFilter* filter) {
    m_filter = filter;
    m_placesValid = false;
    refilter();
}

void TopRecords::refilter() {
    const bool filtering = m_filter && m_filter->active();
    if (filtering && (!m_placesValid || m_placesGeneration != m_filter->generation())) {
        // A filter handed the records in this very order (all()) needs no search.
        uint32_t next = 0;
        for (auto [group, places] : {std::pair{&m_scopes, &m_scopePlaces}, std::pair{&m_objects, &m_objectPlaces}}) {
            places->resize(group->size());
            for (size_t i = 0; i < group->size(); ++i, ++next)
                (*places)[i] = m_filter->recordAt(next) == (*group)[i] ? next : m_filter->placeOf((*group)[i]);
        }
        m_placesGeneration = m_filter->generation();
        m_placesValid = true;
    }
    auto choose = [&](const std::vector<PropertySet*>& group, const std::vector<uint32_t>& places, size_t untimed,
                      std::vector<PropertySet*>& shown, size_t& shownUntimed) {
        shownUntimed = 0;
        if (!filtering) {
            shown = group;
            shownUntimed = untimed;
            return;
        }
        shown.clear();
        const size_t timed = group.size() - untimed;
        for (size_t i = 0; i < group.size(); ++i) {
            if (!m_filter->passesAt(places[i])) continue;
            shown.push_back(group[i]);
            if (i >= timed) ++shownUntimed;
        }
    };
    choose(m_scopes, m_scopePlaces, m_scopesUntimed, m_shownScopes, m_shownScopesUntimed);
    choose(m_objects, m_objectPlaces, m_objectsUntimed, m_shownObjects, m_shownObjectsUntimed);
}

void TopRecords::sortBy(const std::u16string& key) {
    m_placesValid = false;
    m_scopes = m_scopesByName;
    m_objects = m_objectsByName;
    m_scopesUntimed = m_objectsUntimed = 0;
    if (IsNameKey(key)) {
        refilter();
        return;
    }
    // Scope records and objects are both the provider's: the first that shows a value decides.
    std::u16string timeKey = TimeKeyOf(m_objectsByName, key);
    if (timeKey.empty()) timeKey = TimeKeyOf(m_scopesByName, key);
    m_scopesUntimed = SortByKey(m_scopes, key, timeKey);
    m_objectsUntimed = SortByKey(m_objects, key, timeKey);
    refilter();
}

PropertySet* TopRecords::at(long index) const {
    if (index < 0 || size_t(index) >= size()) return nullptr;
    size_t i = size_t(index);
    if (i < m_shownScopes.size()) return Shown(m_shownScopes, m_shownScopesUntimed, i, m_ascending);
    return Shown(m_shownObjects, m_shownObjectsUntimed, i - m_shownScopes.size(), m_ascending);
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
