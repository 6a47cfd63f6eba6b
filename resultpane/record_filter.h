// Which of the top pane's records the filter bar lets through: those whose name (as a person
// knows it, without the tombstone's "\nDEL:" suffix), last known parent or class contains the
// typed text, case and accents ignored, deleted within the chosen days. The records are never
// fetched again: their texts are folded once, when the filter is first wanted for them (the bar
// taking the focus, or the first keystroke), and a keystroke only searches; one that lengthens
// the text searches only the rows still shown.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "resultpane/address_set.h"
#include "shared/property_set.h"
#include "win/datetime.h"

namespace panorel {

struct FilterCriteria {
    std::u16string text;
    // Bounds on the deletion time ("YYYY-MM-DDThh:mm:ssZ", compared as text): from this one on,
    // and before that one; empty for no bound. A record without a deletion time passes only
    // when neither is set.
    std::u16string deletedFromUtc;
    std::u16string deletedBeforeUtc;

    bool active() const { return !text.empty() || !deletedFromUtc.empty() || !deletedBeforeUtc.empty(); }
    bool operator==(const FilterCriteria&) const = default;
};

// The UTC time at which a local calendar day starts ("YYYY-MM-DDThh:mm:ssZ"), in the zone the
// platform's local time uses; empty for a day that is no date.
std::u16string LocalDayStartUtc(const SYSTEMTIME& day);
// The day after it, for a bound that includes the chosen day.
std::u16string LocalDayEndUtc(const SYSTEMTIME& day);

class RecordFilter {
public:
    // The records it decides on; their texts are read again only after the next call.
    void setRecords(const std::vector<PropertySet*>& records);
    // The records it decides on, mostly the ones it had (a refresh's few changes laid over
    // them): those it knew keep their folded texts and answers, only the new ones are read.
    void updateRecords(const std::vector<PropertySet*>& records);
    // True when what passes may have changed.
    bool setCriteria(const FilterCriteria& criteria);
    // Folds the records' texts now, ahead of the first keystroke that needs them.
    void prepare();
    const FilterCriteria& criteria() const { return m_criteria; }
    bool active() const { return m_criteria.active(); }

    // Whether a record of the current set passes; every record passes while inactive.
    bool passes(const PropertySet* record) const;
    size_t passingCount() const;
    size_t recordCount() const { return m_entries.size(); }

    // A record's place in the set, found once so that a list kept in another order asks by
    // place (passesAt) on every keystroke; kNoPlace for a record not in the set.
    static constexpr uint32_t kNoPlace = UINT32_MAX;
    uint32_t placeOf(const PropertySet* record) const;
    // The record at a place, for a list that checks whether it holds them in the same order.
    const PropertySet* recordAt(uint32_t place) const {
        return place < m_entries.size() ? m_entries[place].record : nullptr;
    }
    bool passesAt(uint32_t place) const {
        return !active() || (place < m_entries.size() && m_entries[place].passes);
    }
    // Changes with every setRecords: places found before are no longer valid.
    uint64_t generation() const { return m_generation; }

private:
    struct Entry {
        PropertySet* record;
        uint32_t start = 0, length = 0;
        // The deletion time as the number YYYYMMDDhhmmss orders it; 0 when the record has none.
        uint64_t deleted = 0;
        bool passes = true;
    };
    void foldTexts();
    void appendTexts(Entry& entry);
    bool matchesText(const Entry& entry, std::u16string_view needle) const;
    bool matchesDates(const Entry& entry) const;

    std::vector<Entry> m_entries;
    void indexPlaces();

    // Each record's place, found without a search: a refresh's update asks for every record.
    AddressPlaces m_places;
    // Every record's searched texts, folded, one after the other.
    std::u16string m_folded;
    bool m_textsFolded = false;
    FilterCriteria m_criteria;
    std::u16string m_foldedText;
    uint64_t m_deletedFrom = 0, m_deletedBefore = 0;
    uint64_t m_generation = 0;
};

}  // namespace panorel
