#include "shared/listing_changes.h"

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

}  // namespace

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
