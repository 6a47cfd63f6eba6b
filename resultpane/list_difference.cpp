// A refreshed list applied as its difference: the rows that stay keep their places, and the
// list view is told of the new count without starting afresh, so the view stays where it was.
#include "resultpane/list_difference.h"

#include "resultpane/address_set.h"
#include "resultpane/panorel.h"

namespace panorel {

std::optional<ListDifference> SmallDifference(const std::vector<PropertySet*>& before,
                                              const std::vector<PropertySet*>& after, size_t most) {
    // More records than that must have come, or left: no need to look.
    const size_t apart = before.size() > after.size() ? before.size() - after.size() : after.size() - before.size();
    if (apart > most) return std::nullopt;
    AddressSet previous(before.size());
    for (const PropertySet* record : before) previous.insert(record);
    ListDifference difference;
    size_t stayed = 0;
    for (PropertySet* record : after) {
        if (previous.contains(record)) {
            ++stayed;
            continue;
        }
        difference.added.push_back(record);
        if (difference.added.size() > most) return std::nullopt;
    }
    // A list holding a record twice is not one the difference can describe.
    if (previous.size() != before.size() || stayed + difference.added.size() != after.size()) return std::nullopt;
    AddressSet next(after.size());
    for (const PropertySet* record : after) next.insert(record);
    if (next.size() != after.size()) return std::nullopt;
    for (const PropertySet* record : before) {
        if (next.contains(record)) continue;
        difference.removed.insert(record);
        if (difference.removed.size() > most) return std::nullopt;
    }
    return difference;
}

bool Panorel::applyDifference(const std::vector<PropertySet*>& records) {
    if (!m_topList || m_topInput.empty()) return false;
    std::optional<ListDifference> difference =
        SmallDifference(m_topInput, records, m_topInput.size() * kMostChangedPercent / 100);
    if (!difference) return false;
    KeptView kept = keptView();
    std::vector<PropertySet*> old = m_records.all();
    forgetListedTombstones();
    m_records.applyChanges(difference->removed, difference->added, sortKey());
    m_filter.updateRecords(m_records.all());
    m_records.refilter();
    m_topInput = records;
    // The rows' places moved: what was selected is selected again by record, below.
    m_quietSelection = true;
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(m_topList, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&none));
    m_quietSelection = false;
    SendMessageW(m_topList, LVM_SETITEMCOUNT, WPARAM(m_records.size()), 0);
    const bool reselected = restoreView(kept);
    // The old list's references go only now, after the view no longer names its records.
    releaseRecords(old);
    redraw(m_topList);
    if (!reselected) selectionChanged();
    showStatus();
    return true;
}

}  // namespace panorel
