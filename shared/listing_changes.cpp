#include "shared/listing_changes.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "shared/directory_operations.h"
#include "shared/listing_index.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace lumivel::shared {

namespace {

constexpr size_t kGuidLength = 36;

std::u16string guidOf(const PropertySet* record) { return ListingGuidOf(record); }

// The provider writes purge times as "YYYY-MM-DDTHH:MM:SSZ", whose order as text is their
// order in time: no record needs parsing.
bool isUtcTimeText(std::u16string_view text) {
    static constexpr char16_t kShape[] = u"0000-00-00T00:00:00Z";
    if (text.size() != std::size(kShape) - 1) return false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (kShape[i] == u'0' ? (text[i] < u'0' || text[i] > u'9') : text[i] != kShape[i]) return false;
    }
    return true;
}

std::u16string utcTimeText(std::time_t when) {
    std::tm utc{};
    char text[32] = {};
    if (!gmtime_r(&when, &utc) || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) return {};
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

}  // namespace

std::vector<std::u16string> OverdueTombstoneGuids(const std::vector<PropertySet*>& listing, std::time_t now) {
    std::vector<std::u16string> overdue;
    const std::u16string nowText = utcTimeText(now);
    if (!isUtcTimeText(nowText)) return overdue;
    for (const PropertySet* record : listing) {
        if (!record) continue;
        std::u16string_view expires = record->getText(kExpiresUtcKey);
        if (isUtcTimeText(expires) && expires <= nowText) overdue.push_back(TombstoneGuid(record->getText(u"name")));
    }
    return overdue;
}

std::u16string EarliestPurgeTime(const std::vector<PropertySet*>& records) {
    std::u16string_view earliest;
    for (const PropertySet* record : records) {
        if (!record) continue;
        std::u16string_view expires = record->getText(kExpiresUtcKey);
        if (isUtcTimeText(expires) && (earliest.empty() || expires < earliest)) earliest = expires;
    }
    return std::u16string(earliest);
}

std::u16string EarlierPurgeTime(const std::u16string& left, const std::u16string& right) {
    if (left.empty()) return right;
    if (right.empty()) return left;
    return std::min(left, right);
}

bool MayHoldOverdue(std::u16string_view earliest, std::time_t now) {
    if (earliest.empty()) return false;
    const std::u16string nowText = utcTimeText(now);
    return isUtcTimeText(nowText) && earliest <= nowText;
}

void ApplyListingChanges(std::vector<PropertySet*>* listing, const std::vector<PropertySet*>& changes) {
    // The listing is large and the changes few: only the listed tombstones a change names are
    // looked up by GUID, found by the GUID their name ends with, so that a record that stays
    // costs one read of its name and no allocation.
    std::unordered_set<std::u16string> named;
    for (const PropertySet* change : changes)
        if (change) named.insert(guidOf(change));
    named.erase(std::u16string());
    std::unordered_map<std::u16string, size_t> at;
    at.reserve(named.size() * 2);
    std::u16string tail(kGuidLength, u'\0');
    for (size_t i = 0; i < listing->size() && !named.empty(); ++i) {
        const PropertySet* record = (*listing)[i];
        if (!record) continue;
        std::u16string_view name = record->getText(u"name");
        if (name.size() < kGuidLength) continue;
        name.remove_prefix(name.size() - kGuidLength);
        // GUIDs are ASCII: a tail that is not one never matches a change once read in full.
        for (size_t c = 0; c < kGuidLength; ++c)
            tail[c] = name[c] >= u'A' && name[c] <= u'Z' ? char16_t(name[c] + 32) : name[c];
        if (!named.count(tail)) continue;
        at.emplace(guidOf(record), i);
    }
    bool anyLeft = false;
    for (PropertySet* change : changes) {
        if (!change) continue;
        const std::u16string guid = guidOf(change);
        const bool left = change->getRaw(kSyncLeftKey) != 0;
        auto found = guid.empty() ? at.end() : at.find(guid);
        if (found != at.end() && (*listing)[found->second]) {
            (*listing)[found->second]->release();
            (*listing)[found->second] = left ? nullptr : change;
            anyLeft = anyLeft || left;
        } else if (!left) {
            if (!guid.empty()) at[guid] = listing->size();
            listing->push_back(change);
        }
        if (left) change->release();
    }
    if (anyLeft) std::erase(*listing, nullptr);
}

}  // namespace lumivel::shared
