// The top pane's records in display order: scope records first, then the other objects, each
// group ordered by the sort column's text without regard to case (ties on another column
// decided by "name"). A descending list keeps the ascending order and is read from the end,
// so turning the direction costs nothing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "shared/property_set.h"

namespace panorel {

inline constexpr char16_t kNameKey[] = u"name";

// What a cell shows for a key: the string value, else empty.
std::u16string_view KeyText(const PropertySet* record, const std::u16string& key);

// Orders records ascending by the key, keeping the given order among equals, in O(n log n).
void SortRecords(std::vector<PropertySet*>& records, const std::u16string& key);

// <0, 0, >0: the order SortRecords gives, for one pair.
int CompareRecords(const PropertySet* left, const PropertySet* right, const std::u16string& key);

class TopRecords {
public:
    // Takes the records in list order; they are split by IsNode and sorted by the key.
    void assign(const std::vector<PropertySet*>& records, const std::u16string& key);
    void clear();
    // A new sort column: both groups are ordered again.
    void sortBy(const std::u16string& key);
    void setAscending(bool ascending) { m_ascending = ascending; }
    bool ascending() const { return m_ascending; }

    size_t size() const { return m_scopes.size() + m_objects.size(); }
    bool empty() const { return size() == 0; }
    // The record shown at a display index, or null outside the list.
    PropertySet* at(long index) const;

    // Type-ahead: the first display index from `start` on (wrapping round when asked) whose
    // key text begins with `prefix`, ignoring case; -1 when none does.
    long findPrefix(std::u16string_view prefix, const std::u16string& key, long start, bool wrap) const;

    // Every record, scope records first, in ascending order.
    std::vector<PropertySet*> all() const;

private:
    std::vector<PropertySet*> m_scopes;
    std::vector<PropertySet*> m_objects;
    // Both groups in name order, kept so that another column sorts only by its own text.
    std::vector<PropertySet*> m_scopesByName;
    std::vector<PropertySet*> m_objectsByName;
    bool m_ascending = true;
};

}  // namespace panorel
