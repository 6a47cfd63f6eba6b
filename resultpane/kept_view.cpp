// What a refreshed list keeps of the view: a refresh lays the changes over the list, so most
// records are the very same ones; a tombstone read again comes as a new record of the same
// name, which is found by its name.
#include <algorithm>
#include <unordered_set>

#include "resultpane/panorel.h"

namespace panorel {

Panorel::KeptView Panorel::keptView() const {
    KeptView kept;
    if (!m_topList || m_records.empty()) return kept;
    kept.selected = selectedTopRecords();
    kept.selectedNames.reserve(kept.selected.size());
    for (const PropertySet* record : kept.selected) kept.selectedNames.emplace_back(record->getText(u"name"));
    const long top = long(SendMessageW(m_topList, LVM_GETTOPINDEX, 0, 0));
    if (top > 0 && size_t(top) < m_records.size()) {
        kept.top = m_records.at(top);
        kept.topName = kept.top->getText(u"name");
    }
    return kept;
}

bool Panorel::restoreView(const KeptView& kept) {
    if (!m_topList || (kept.selected.empty() && !kept.top)) return false;
    std::unordered_set<const PropertySet*> wanted(kept.selected.begin(), kept.selected.end());
    std::unordered_set<const PropertySet*> selected;
    std::unordered_set<std::u16string> names;
    long topRow = -1;
    const long rows = long(m_records.size());
    for (long i = 0; i < rows; ++i) {
        PropertySet* record = m_records.at(i);
        if (wanted.count(record)) selected.insert(record);
        if (record == kept.top) topRow = i;
    }
    // Only the names of records not found as they were are looked for.
    for (size_t i = 0; i < kept.selected.size(); ++i)
        if (!selected.count(kept.selected[i]) && !kept.selectedNames[i].empty()) names.insert(kept.selectedNames[i]);
    const bool findTop = kept.top && topRow < 0 && !kept.topName.empty();
    if (!names.empty() || findTop) {
        for (long i = 0; i < rows; ++i) {
            PropertySet* record = m_records.at(i);
            const std::u16string_view name = record->getText(u"name");
            if (!names.empty() && names.count(std::u16string(name))) selected.insert(record);
            if (findTop && topRow < 0 && name == kept.topName) topRow = i;
        }
    }
    if (topRow > 0) {
        // The row comes to the top: shown first at the bottom of the page, then scrolled up to.
        const long page = std::max(long(SendMessageW(m_topList, LVM_GETCOUNTPERPAGE, 0, 0)), 1L);
        SendMessageW(m_topList, LVM_ENSUREVISIBLE, 0, FALSE);
        SendMessageW(m_topList, LVM_ENSUREVISIBLE, WPARAM(std::min(topRow + page - 1, rows - 1)), FALSE);
    }
    if (selected.empty()) return false;
    selectRecords(selected);
    return true;
}

}  // namespace panorel
