#include "shared/listing_index.h"

#include <optional>
#include <unordered_set>

#include "shared/directory_operations.h"
#include "shared/listing_changes.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"

namespace lumivel::shared {

std::u16string ListingGuidOf(const PropertySet* record) {
    if (!record) return {};
    if (record->getRaw(kSyncLeftKey) != 0) return lumivel::FoldCase(record->getText(u"guid"));
    return lumivel::FoldCase(TombstoneGuid(record->getText(u"name")));
}

uint64_t ListingGuidIndex::keyOf(std::u16string_view guid) {
    // FNV-1a: GUIDs are random already, the hash only has to keep their bits.
    uint64_t key = 0xcbf29ce484222325ULL;
    for (char16_t unit : guid) key = (key ^ uint64_t(unit)) * 0x100000001b3ULL;
    return key;
}

void ListingGuidIndex::clear() {
    m_records.clear();
    m_usable = false;
}

bool ListingGuidIndex::put(const std::u16string& guid, PropertySet* record, const PropertySet* expected) {
    auto [at, added] = m_records.try_emplace(keyOf(guid), record);
    if (added || at->second == expected) {
        at->second = record;
        return true;
    }
    clear();
    return false;
}

PropertySet* ListingGuidIndex::recordUnder(const std::u16string& guid) const {
    if (!m_usable || guid.empty()) return nullptr;
    auto at = m_records.find(keyOf(guid));
    return at != m_records.end() ? at->second : nullptr;
}

void ListingGuidIndex::erase(const std::u16string& guid, const PropertySet* expected) {
    auto at = m_records.find(keyOf(guid));
    if (at != m_records.end() && at->second == expected) m_records.erase(at);
}

bool ListingGuidIndex::build(const std::vector<PropertySet*>& listing) {
    clear();
    m_records.reserve(listing.size());
    for (PropertySet* record : listing) {
        const std::u16string guid = ListingGuidOf(record);
        if (guid.empty()) continue;
        if (!m_records.try_emplace(keyOf(guid), record).second) {
            clear();
            return false;
        }
    }
    m_usable = true;
    return true;
}

PropertySet* ListingGuidIndex::find(const std::u16string& guid) const {
    if (!m_usable || guid.empty()) return nullptr;
    auto at = m_records.find(keyOf(guid));
    return at != m_records.end() && ListingGuidOf(at->second) == guid ? at->second : nullptr;
}

bool ApplyListingChangesIndexed(const std::vector<PropertySet*>& current, const std::vector<PropertySet*>& changes,
                                ListingGuidIndex& index, std::vector<PropertySet*>* next) {
    if (!index.usable()) return false;
    // An index that names a record the listing no longer holds is another list's, and that
    // record may be freed: checked by address before any record is read, and before anything
    // is done, so that the caller's scan still starts from the whole answer.
    std::unordered_set<const PropertySet*> named;
    for (const PropertySet* change : changes)
        if (PropertySet* listed = change ? index.recordUnder(ListingGuidOf(change)) : nullptr) named.insert(listed);
    if (!named.empty()) {
        size_t held = 0;
        for (const PropertySet* record : current) held += named.count(record);
        if (held != named.size()) {
            index.clear();
            return false;
        }
    }
    // Where each GUID a change names stands as the changes are laid over one by one: in the
    // place of a listed record (what stands there now, null once it left) or among the records
    // joining at the end. The same steps as ApplyListingChanges, on k records instead of n.
    struct Place {
        PropertySet* listed = nullptr;   // the listed record whose place it is, else null
        size_t joined = 0;               // else its place among `joining`
        PropertySet* indexed = nullptr;  // what the index held for the GUID when it was first named
    };
    std::unordered_map<std::u16string, Place> at;
    std::unordered_map<const PropertySet*, PropertySet*> standing;  // listed record -> what stands there
    std::vector<PropertySet*> joining;
    auto occupant = [&](const Place& place) -> PropertySet*& {
        if (place.listed) return standing.try_emplace(place.listed, place.listed).first->second;
        return joining[place.joined];
    };
    for (PropertySet* change : changes) {
        if (!change) continue;
        const std::u16string guid = ListingGuidOf(change);
        const bool left = change->getRaw(kSyncLeftKey) != 0;
        auto found = guid.empty() ? at.end() : at.find(guid);
        if (found == at.end() && !guid.empty())
            if (PropertySet* listed = index.find(guid)) found = at.emplace(guid, Place{listed, 0, listed}).first;
        PropertySet** stands = found != at.end() ? &occupant(found->second) : nullptr;
        if (stands && *stands) {
            // The listed record's own reference is the old list's: only the changes' go here.
            if (!found->second.listed || *stands != found->second.listed) (*stands)->release();
            *stands = left ? nullptr : change;
        } else if (!left) {
            if (!guid.empty()) {
                PropertySet* indexed = found != at.end() ? found->second.indexed : nullptr;
                at[guid] = Place{nullptr, joining.size(), indexed};
            }
            joining.push_back(change);
        }
        if (left) change->release();
    }
    next->clear();
    next->reserve(current.size() + joining.size());
    for (PropertySet* record : current) {
        if (!record) continue;
        auto replaced = standing.empty() ? standing.end() : standing.find(record);
        if (replaced == standing.end() || replaced->second == record) {
            record->addRef();
            next->push_back(record);
        } else if (replaced->second) {
            next->push_back(replaced->second);
        }
    }
    for (PropertySet* record : joining)
        if (record) next->push_back(record);
    // The index follows: every GUID named now stands for what stands in its place.
    for (auto& [guid, place] : at) {
        PropertySet* now = place.listed ? standing.count(place.listed) ? standing[place.listed] : place.listed
                                        : joining[place.joined];
        if (!now)
            index.erase(guid, place.indexed);
        else if (!index.put(guid, now, place.indexed))
            break;
    }
    return true;
}

}  // namespace lumivel::shared
