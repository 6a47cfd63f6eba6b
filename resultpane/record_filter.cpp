#include "resultpane/record_filter.h"

#include <algorithm>
#include <cstdio>

#include "lumivel/match_folding.h"
#include "lumivel/wide_string.h"
#include "shared/directory_operations.h"
#include "shared/panorel_interface.h"
#include "shared/provider_interfaces.h"

namespace panorel {

namespace {

// The searched texts of one record are kept apart by a character no typed text holds: a
// match never spans two of them.
constexpr char16_t kFieldBreak = u'\x1F';

// "name", the last known parent, the friendly class and the directory class.
constexpr const char16_t* kSearchedKeys[] = {u"parent", u"FriendlyClassName", u"class"};

std::u16string FormatUtc(const SYSTEMTIME& t) {
    char text[64];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned(t.wYear), unsigned(t.wMonth),
                  unsigned(t.wDay), unsigned(t.wHour), unsigned(t.wMinute), unsigned(t.wSecond));
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

std::u16string DayStartUtc(SYSTEMTIME day, int addDays) {
    day.wHour = day.wMinute = day.wSecond = day.wMilliseconds = 0;
    FILETIME local{};
    if (!SystemTimeToFileTime(&day, &local)) return {};
    ULARGE_INTEGER value{};
    value.LowPart = local.dwLowDateTime;
    value.HighPart = local.dwHighDateTime;
    value.QuadPart += uint64_t(addDays) * 864000000000ULL;
    local.dwLowDateTime = value.LowPart;
    local.dwHighDateTime = value.HighPart;
    SYSTEMTIME start{}, utc{};
    if (!FileTimeToSystemTime(&local, &start) || !TzSpecificLocalTimeToSystemTime(nullptr, &start, &utc)) return {};
    return FormatUtc(utc);
}

// Control characters cannot be typed into the filter; dropping them also keeps the field break out.
std::u16string FoldedNeedle(std::u16string_view text) {
    std::u16string folded = lumivel::FoldForMatching(text);
    std::erase_if(folded, [](char16_t c) { return c < 0x20; });
    return folded;
}

// "YYYY-MM-DDThh:mm:ssZ" as the number YYYYMMDDhhmmss, which orders as the time does; 0 for
// any other text.
uint64_t TimeNumber(std::u16string_view text) {
    static constexpr char16_t kShape[] = u"0000-00-00T00:00:00Z";
    if (text.size() != std::size(kShape) - 1) return 0;
    uint64_t number = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= u'0' && text[i] <= u'9';
        if (kShape[i] == u'0') {
            if (!digit) return 0;
            number = number * 10 + uint64_t(text[i] - u'0');
        } else if (text[i] != kShape[i]) {
            return 0;
        }
    }
    return number;
}

}  // namespace

std::u16string LocalDayStartUtc(const SYSTEMTIME& day) { return DayStartUtc(day, 0); }
std::u16string LocalDayEndUtc(const SYSTEMTIME& day) { return DayStartUtc(day, 1); }

void RecordFilter::setRecords(const std::vector<PropertySet*>& records) {
    ++m_generation;
    m_entries.clear();
    m_entries.reserve(records.size());
    // The deletion time is read at once: the date bounds need no folded texts.
    for (PropertySet* record : records)
        if (record) m_entries.push_back(Entry{record, 0, 0, TimeNumber(record->getText(kDateDeletedUtcKey))});
    indexPlaces();
    m_folded.clear();
    m_textsFolded = false;
    const FilterCriteria criteria = m_criteria;
    m_criteria = {};
    m_foldedText.clear();
    setCriteria(criteria);
}

void RecordFilter::updateRecords(const std::vector<PropertySet*>& records) {
    std::vector<Entry> entries;
    entries.reserve(records.size());
    for (PropertySet* record : records) {
        if (!record) continue;
        const uint32_t place = placeOf(record);
        if (place != kNoPlace) {
            entries.push_back(m_entries[place]);
            continue;
        }
        Entry entry{record, 0, 0, TimeNumber(record->getText(kDateDeletedUtcKey))};
        if (m_textsFolded) appendTexts(entry);
        entry.passes = !active() || (matchesText(entry, m_foldedText) && matchesDates(entry));
        entries.push_back(entry);
    }
    ++m_generation;
    m_entries = std::move(entries);
    indexPlaces();
}

void RecordFilter::indexPlaces() {
    m_places = AddressPlaces(m_entries.size());
    for (size_t i = 0; i < m_entries.size(); ++i) m_places.insert(m_entries[i].record, uint32_t(i));
}

void RecordFilter::appendTexts(Entry& entry) {
    entry.start = uint32_t(m_folded.size());
    lumivel::AppendFoldedForMatching(m_folded, lumivel::shared::PlainTombstoneName(entry.record->getText(u"name")));
    for (const char16_t* key : kSearchedKeys) {
        m_folded += kFieldBreak;
        lumivel::AppendFoldedForMatching(m_folded, entry.record->getText(key));
    }
    entry.length = uint32_t(m_folded.size() - entry.start);
}

void RecordFilter::foldTexts() {
    m_folded.clear();
    m_folded.reserve(m_entries.size() * 96);
    for (Entry& entry : m_entries) appendTexts(entry);
    // A long-lived list keeps no more than its texts need.
    if (m_folded.capacity() > m_folded.size() * 2) m_folded.shrink_to_fit();
    m_textsFolded = true;
}

void RecordFilter::prepare() {
    if (!m_textsFolded) foldTexts();
}

bool RecordFilter::matchesText(const Entry& entry, std::u16string_view needle) const {
    if (needle.empty()) return true;
    return std::u16string_view(m_folded).substr(entry.start, entry.length).find(needle) != std::u16string_view::npos;
}

bool RecordFilter::matchesDates(const Entry& entry) const {
    if (!m_deletedFrom && !m_deletedBefore) return true;
    if (!entry.deleted) return false;
    if (m_deletedFrom && entry.deleted < m_deletedFrom) return false;
    if (m_deletedBefore && entry.deleted >= m_deletedBefore) return false;
    return true;
}

bool RecordFilter::setCriteria(const FilterCriteria& criteria) {
    if (criteria == m_criteria) return false;
    std::u16string needle = FoldedNeedle(criteria.text);
    const bool sameDates = criteria.deletedFromUtc == m_criteria.deletedFromUtc &&
                           criteria.deletedBeforeUtc == m_criteria.deletedBeforeUtc;
    // A longer text that holds the previous one lets through a part of what that let through.
    const bool narrowing = sameDates && needle.find(m_foldedText) != std::u16string::npos;
    if (criteria.active()) prepare();
    m_criteria = criteria;
    m_foldedText = std::move(needle);
    m_deletedFrom = TimeNumber(criteria.deletedFromUtc);
    m_deletedBefore = TimeNumber(criteria.deletedBeforeUtc);
    for (Entry& entry : m_entries) {
        if (narrowing && !entry.passes) continue;
        entry.passes = matchesText(entry, m_foldedText) && matchesDates(entry);
    }
    return true;
}

uint32_t RecordFilter::placeOf(const PropertySet* record) const {
    const uint32_t place = m_places.find(record);
    return place == AddressPlaces::kNone ? kNoPlace : place;
}

bool RecordFilter::passes(const PropertySet* record) const {
    if (!active()) return true;
    return passesAt(placeOf(record));
}

size_t RecordFilter::passingCount() const {
    if (!active()) return m_entries.size();
    return size_t(std::count_if(m_entries.begin(), m_entries.end(), [](const Entry& e) { return e.passes; }));
}

}  // namespace panorel
