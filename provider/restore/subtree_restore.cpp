// Command 316: a deleted container with everything deleted below it, parents first, over one
// LDAP session. The tree comes from the listing's last known parents, walked with a queue and
// a set of visited objects, so no listing can drive a recursion or a loop.
#include <deque>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/common/audit.h"
#include "provider/restore/reanimation.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

enum class Outcome { Restored, Failed, NotAttempted };

constexpr const char16_t* kOutcomeNames[] = {u"Restored", u"Failed", u"NotAttempted"};

struct Entry {
    std::u16string name, className, tombstone, target, error;
    std::u16string guid;  // folded
    size_t parent = 0;    // index of the parent entry; the root's is its own
    Outcome outcome = Outcome::NotAttempted;
};

// The live DN of a restored object, read back by its GUID: it may have been renamed.
std::u16string liveDn(std::u16string_view server, std::u16string_view guid) {
    ComPtr<IADs> object;
    if (FAILED(lumivel::shared::BindByGuid(server, guid, IID_IADs, object.putVoid()))) return {};
    lumivel::VariantHolder value;
    lumivel::UniqueBstr name(u"distinguishedName");
    if (FAILED(object->Get(name.get(), value.get())) || value->vt != VT_BSTR) return {};
    return std::u16string(lumivel::shared::ViewOf(value->bstrVal));
}

std::u16string ldapErrorText(ULONG result) {
    const WCHAR* text = ldap_err2string(result);
    return text ? std::u16string(text) : std::u16string();
}

// The record's entry and, breadth first, those of every listed tombstone whose chain of last
// known parents leads to it.
std::vector<Entry> subtreeOf(const PropertySet* record, const std::u16string& rootGuid,
                             const std::vector<TombstoneRef>& cache) {
    std::unordered_map<std::u16string, std::vector<const TombstoneCopy*>> children;
    for (const TombstoneRef& copy : cache) {
        std::u16string parentGuid = lumivel::FoldCase(lumivel::shared::TombstoneGuidOfDn(copy->lastKnownParent()));
        if (!parentGuid.empty()) children[parentGuid].push_back(copy.get());
    }
    std::vector<Entry> entries;
    entries.push_back(Entry{std::u16string(lumivel::shared::ViewOf(record->getString(u"name"))),
                            std::u16string(record->getText(u"class")),
                            std::u16string(record->getText(u"distinguishedName")), {}, {}, rootGuid, 0});
    std::unordered_set<std::u16string> visited{rootGuid};
    for (size_t next = 0; next < entries.size(); ++next) {
        auto found = children.find(entries[next].guid);
        if (found == children.end()) continue;
        for (const TombstoneCopy* child : found->second) {
            std::u16string guid = lumivel::FoldCase(lumivel::shared::TombstoneGuid(child->name()));
            // A tombstone named twice, or a chain of last known parents that loops, is taken once.
            if (guid.empty() || !visited.insert(guid).second) continue;
            entries.push_back(Entry{std::u16string(child->name()), std::u16string(child->className()),
                                    std::u16string(child->distinguishedName()), {}, {}, guid, next});
        }
    }
    return entries;
}

}  // namespace

size_t Revivo::ListedSubtreeSize(const PropertySet* record) const {
    std::u16string rootGuid = lumivel::FoldCase(lumivel::shared::TombstoneGuid(record->getText(u"name")));
    if (rootGuid.empty()) return 0;
    return subtreeOf(record, rootGuid, deletedObjectCacheSnapshot()).size();
}

HRESULT Revivo::RestoreSubtree(HWND parent, PropertySet* record, VARIANT* result,
                               std::vector<TombstoneRef>* forgottenCopies) {
    std::u16string rootDn(record->getText(u"distinguishedName"));
    std::u16string rootGuid = lumivel::FoldCase(lumivel::shared::TombstoneGuid(record->getText(u"name")));
    if (rootDn.empty() || rootGuid.empty() || lumivel::shared::ReanimatedDn(rootDn, u"x").empty()) return E_INVALIDARG;
    bool keepGoing = record->getRaw(kKeepGoingKey) != 0;
    std::u16string server(record->getText(u"FocusedDC"));

    // The tree, from the listing as it was before anything came back: restoring the root
    // may re-read and so empty the provider's cache.
    std::vector<TombstoneRef> cache = deletedObjectCacheSnapshot();
    std::vector<Entry> entries = subtreeOf(record, rootGuid, cache);

    // The root as a single restore brings it back, deleted parents and all.
    RestoredTombstones restoredFirst;
    m_lastRestoreError.clear();
    HRESULT rootResult = Restore(parent, record, &restoredFirst);
    std::vector<std::u16string> forgotten;
    for (const RestoredTombstone& object : restoredFirst) forgotten.push_back(object.tombstone);
    Entry& root = entries.front();
    if (rootResult == S_OK) {
        root.target = liveDn(server, rootGuid);
        root.outcome = Outcome::Restored;
        if (root.target.empty()) root.error = u"restored, but its new name cannot be read back";
    } else {
        root.outcome = Outcome::Failed;
        // The restore knows why it stopped; E_FAIL without a reason is a name left untaken.
        root.error = !m_lastRestoreError.empty()   ? m_lastRestoreError
                     : rootResult == E_FAIL        ? u"no new name was given for a name that is taken"
                                                   : u"the container could not be restored";
    }

    ReanimationSession session(server);
    ULONG opened = LDAP_SUCCESS;
    bool sessionOpen = false;
    bool stopped = !keepGoing && rootResult != S_OK;
    for (size_t i = 1; i < entries.size(); ++i) {
        Entry& entry = entries[i];
        const Entry& above = entries[entry.parent];
        if (above.outcome != Outcome::Restored || above.target.empty()) {
            entry.error = u"its parent was not restored";
            continue;
        }
        entry.target = lumivel::shared::ReanimatedDn(entry.tombstone, above.target);
        if (stopped) {
            entry.error = u"the restore stopped at the first failure";
            continue;
        }
        if (!sessionOpen) {
            opened = session.Open();
            sessionOpen = true;
        }
        ULONG status = opened == LDAP_SUCCESS ? session.Reanimate(entry.tombstone, entry.target) : opened;
        if (status == LDAP_SUCCESS) {
            entry.outcome = Outcome::Restored;
            forgotten.push_back(entry.tombstone);
        } else {
            entry.outcome = Outcome::Failed;
            entry.error = ldapErrorText(status);
            stopped = !keepGoing;
        }
    }
    std::vector<TombstoneRef> dropped = forgetTombstones(forgotten);
    if (forgottenCopies) *forgottenCopies = std::move(dropped);

    // Deleted parents that had to come back before the container head the report.
    std::vector<Entry> reported;
    for (const RestoredTombstone& object : restoredFirst) {
        const std::u16string& tombstoneName = object.tombstone;
        if (tombstoneName == rootDn) continue;
        Entry first{{}, {}, tombstoneName, {}, {}, {}, 0, Outcome::Restored};
        for (const TombstoneRef& copy : cache) {
            if (copy->distinguishedName() != tombstoneName) continue;
            first.name = copy->name();
            first.className = copy->className();
            first.target = liveDn(server, lumivel::FoldCase(lumivel::shared::TombstoneGuid(copy->name())));
            break;
        }
        reported.push_back(std::move(first));
    }
    reported.insert(reported.end(), std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()));

    std::vector<lumivel::shared::AuditEntry> audit;
    for (const Entry& entry : reported) {
        if (entry.outcome == Outcome::NotAttempted) continue;
        audit.push_back(AuditEntryOf("restore-subtree", entry.tombstone, lumivel::shared::TombstoneGuid(entry.name),
                                     server, entry.outcome == Outcome::Restored, entry.error));
    }
    AuditActions(parent, audit);

    std::vector<PropertySet*> records;
    bool complete = true;
    for (const Entry& entry : reported) {
        PropertySet* reported = PropertySet::create();
        if (!reported) {
            for (PropertySet* made : records) made->release();
            return E_OUTOFMEMORY;
        }
        records.push_back(reported);
        reported->setText(u"name", entry.name);
        reported->setText(u"class", entry.className);
        reported->setText(u"distinguishedName", entry.tombstone);
        reported->setText(kPlanTargetKey, entry.target);
        reported->setText(kSubtreeOutcomeKey, kOutcomeNames[static_cast<int>(entry.outcome)]);
        reported->setText(kSubtreeErrorKey, entry.error);
        complete = complete && entry.outcome == Outcome::Restored;
    }
    // A report that cannot be handed over is a failure, not an empty report.
    HRESULT built = result ? lumivel::shared::BuildObjectList(records, result) : S_OK;
    if (!result || FAILED(built))
        for (PropertySet* made : records) made->release();
    if (FAILED(built)) return built;
    return complete ? S_OK : S_FALSE;
}

}  // namespace revivo
