// The top pane's records in display order: scope records first, then the other objects, each
// group ordered by the sort column's text without regard to case (ties on another column
// decided by "name"); a column whose records carry times (see TimeKeyOf) is ordered by
// time instead, the records without one last. A descending list keeps the ascending
// order and is read from the end (the records without a time still last), so turning the
// direction costs nothing.
#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "shared/property_set.h"

namespace panorel {

class RecordFilter;

inline constexpr char16_t kNameKey[] = u"name";

// What a cell shows for a key: the string value, else empty.
std::u16string_view KeyText(const PropertySet* record, const std::u16string& key);

// Orders records ascending by the key (by time where the records have one), keeping the
// given order among equals, in O(n log n).
void SortRecords(std::vector<PropertySet*>& records, const std::u16string& key);

// The key whose times order a column over these records: the key and the time suffix when the
// first record showing a value in the column carries a time with it, else empty (the column
// orders by its text). A provider gives a column's times with every value it shows or never.
std::u16string TimeKeyOf(const std::vector<PropertySet*>& records, const std::u16string& key);

// <0, 0, >0: the order SortRecords gives, for one pair, with the time key TimeKeyOf gives
// for the records in name order.
int CompareRecords(const PropertySet* left, const PropertySet* right, const std::u16string& key,
                   const std::u16string& timeKey = {});

class TopRecords {
public:
    // Takes the records in list order; they are split by IsNode and sorted by the key.
    void assign(const std::vector<PropertySet*>& records, const std::u16string& key);
    void clear();
    // A few records leave and a few come, the list staying sorted by the key it was sorted by:
    // each new record goes where a whole sort would put it (after its equals), in
    // O(n + k log n) with no text of a record that stays read more than log n times.
    void applyChanges(const std::unordered_set<const PropertySet*>& removed, const std::vector<PropertySet*>& added,
                      const std::u16string& key);
    // A new sort column: both groups are ordered again.
    void sortBy(const std::u16string& key);
    void setAscending(bool ascending) { m_ascending = ascending; }
    bool ascending() const { return m_ascending; }

    // The filter that decides which records are shown (none: all are); it outlives this list.
    // Its records are the ones assigned here.
    void setFilter(const RecordFilter* filter);
    // The filter's criteria changed: the shown records are chosen again, in the same order.
    void refilter();

    // The records shown.
    size_t size() const { return m_shownScopes.size() + m_shownObjects.size(); }
    bool empty() const { return size() == 0; }
    // Every record held, shown or not.
    size_t total() const { return m_scopes.size() + m_objects.size(); }
    // The record shown at a display index, or null outside the list.
    PropertySet* at(long index) const;

    // Type-ahead: the first display index from `start` on (wrapping round when asked) whose
    // key text begins with `prefix`, ignoring case; -1 when none does.
    long findPrefix(std::u16string_view prefix, const std::u16string& key, long start, bool wrap) const;

    // Every record, shown or not, scope records first, in ascending order.
    std::vector<PropertySet*> all() const;

private:
    std::vector<PropertySet*> m_scopes;
    std::vector<PropertySet*> m_objects;
    // Both groups in name order, kept so that another column sorts only by its own text.
    std::vector<PropertySet*> m_scopesByName;
    std::vector<PropertySet*> m_objectsByName;
    // How many records at the end of each group have no time in a column ordered by time.
    size_t m_scopesUntimed = 0;
    size_t m_objectsUntimed = 0;
    // The sorted groups as the filter leaves them, with their own counts of untimed records.
    std::vector<PropertySet*> m_shownScopes;
    std::vector<PropertySet*> m_shownObjects;
    size_t m_shownScopesUntimed = 0;
    size_t m_shownObjectsUntimed = 0;
    const RecordFilter* m_filter = nullptr;
    // Each sorted record's place in the filter's set, found once per order and set of records,
    // so that a keystroke reads the filter's answers in order.
    std::vector<uint32_t> m_scopePlaces;
    std::vector<uint32_t> m_objectPlaces;
    uint64_t m_placesGeneration = 0;
    bool m_placesValid = false;
    bool m_ascending = true;
};

}  // namespace panorel
