#include "shared/listing_changes.h"

#include <ctime>
#include <iterator>
#include <string>
#include <unordered_map>

#include "shared/directory_operations.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace lumivel::shared {

namespace {

std::u16string guidOf(const PropertySet* record) {
    if (record->getRaw(kSyncLeftKey) != 0) return lumivel::FoldCase(record->getText(u"guid"));
    return lumivel::FoldCase(TombstoneGuid(record->getText(u"name")));
}

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

void ApplyListingChanges(std::vector<PropertySet*>* listing, const std::vector<PropertySet*>& changes) {
    std::unordered_map<std::u16string, size_t> at;
    at.reserve(listing->size() + changes.size());
    for (size_t i = 0; i < listing->size(); ++i) at.emplace(guidOf((*listing)[i]), i);
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
