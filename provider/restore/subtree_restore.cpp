// Command 316: a deleted container with everything deleted below it, parents first, over one
// LDAP session. The tree comes from the listing's last known parents. The container itself
// comes back on the caller's thread, since it may need an answer (a new name, an archive);
// what lies below needs none and runs wherever the caller's runner puts it.
#include <optional>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/common/audit.h"
#include "provider/restore/reanimation.h"
#include "provider/restore/subtree_walk.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

constexpr const char16_t* kOutcomeNames[] = {u"Restored", u"Failed", u"NotAttempted"};

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

std::vector<SubtreeEntry> subtreeOf(const PropertySet* record, const std::u16string& rootGuid,
                                    const std::vector<TombstoneRef>& cache) {
    SubtreeEntry root;
    root.name = lumivel::shared::ViewOf(record->getString(u"name"));
    root.className = record->getText(u"class");
    root.tombstone = record->getText(u"distinguishedName");
    root.guid = rootGuid;
    return ListedSubtree(std::move(root), cache);
}

}  // namespace

size_t Revivo::ListedSubtreeSize(const PropertySet* record) const {
    std::u16string rootGuid = lumivel::FoldCase(lumivel::shared::TombstoneGuid(record->getText(u"name")));
    if (rootGuid.empty()) return 0;
    return subtreeOf(record, rootGuid, deletedObjectCacheSnapshot()).size();
}

HRESULT Revivo::RestoreSubtree(HWND parent, PropertySet* record, VARIANT* result,
                               std::vector<TombstoneRef>* forgottenCopies, const RestoreRunner& runner) {
    std::u16string rootDn(record->getText(u"distinguishedName"));
    std::u16string rootGuid = lumivel::FoldCase(lumivel::shared::TombstoneGuid(record->getText(u"name")));
    if (rootDn.empty() || rootGuid.empty() || lumivel::shared::ReanimatedDn(rootDn, u"x").empty()) return E_INVALIDARG;
    bool keepGoing = record->getRaw(kKeepGoingKey) != 0;
    std::u16string server(record->getText(u"FocusedDC"));

    // The tree, from the listing as it was before anything came back: restoring the root
    // may re-read and so empty the provider's cache.
    std::vector<TombstoneRef> cache = deletedObjectCacheSnapshot();
    std::vector<SubtreeEntry> entries = subtreeOf(record, rootGuid, cache);

    // The root as a single restore brings it back, deleted parents and all.
    RestoredTombstones restoredFirst;
    m_lastRestoreError.clear();
    HRESULT rootResult = Restore(parent, record, &restoredFirst);
    std::vector<std::u16string> forgotten;
    for (const RestoredTombstone& object : restoredFirst) forgotten.push_back(object.tombstone);
    SubtreeEntry& root = entries.front();
    if (rootResult == S_OK) {
        root.target = liveDn(server, rootGuid);
        root.outcome = StepOutcome::Restored;
        if (root.target.empty()) root.error = u"restored, but its new name cannot be read back";
    } else {
        root.outcome = StepOutcome::Failed;
        // The restore knows why it stopped; E_FAIL without a reason is a name left untaken.
        root.error = !m_lastRestoreError.empty()   ? m_lastRestoreError
                     : rootResult == E_FAIL        ? u"no new name was given for a name that is taken"
                                                   : u"the container could not be restored";
    }

    // Below the container only the entries and one LDAP session of the run's own thread are
    // touched; the cache, the audit and the report wait until the run is over.
    auto descendants = [&](const RestoreStepGate& gate) {
        std::optional<ReanimationSession> session;
        ULONG opened = LDAP_SUCCESS;
        auto reanimate = [&](const SubtreeEntry& entry) -> std::optional<std::u16string> {
            if (!session) opened = session.emplace(server).Open();
            ULONG status = opened == LDAP_SUCCESS ? session->Reanimate(entry.tombstone, entry.target) : opened;
            if (status == LDAP_SUCCESS) return std::nullopt;
            return ldapErrorText(status);
        };
        RestoreDescendants(entries, keepGoing ? OnFailure::KeepGoing : OnFailure::Stop, reanimate, gate);
    };
    bool below = entries.size() > 1 && root.outcome == StepOutcome::Restored && !root.target.empty();
    if (below && runner) {
        if (!runner(descendants))
            for (size_t i = 1; i < entries.size(); ++i) entries[i].error = kSubtreeNotStarted;
    } else {
        descendants({});  // with no parent back, this only says so for each entry
    }
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].outcome == StepOutcome::Restored) forgotten.push_back(entries[i].tombstone);
    std::vector<TombstoneRef> dropped = forgetTombstones(forgotten);
    if (forgottenCopies) *forgottenCopies = std::move(dropped);

    // Deleted parents that had to come back before the container head the report.
    std::vector<SubtreeEntry> reported;
    for (const RestoredTombstone& object : restoredFirst) {
        const std::u16string& tombstoneName = object.tombstone;
        if (tombstoneName == rootDn) continue;
        SubtreeEntry first;
        first.tombstone = tombstoneName;
        first.outcome = StepOutcome::Restored;
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
    for (const SubtreeEntry& entry : reported) {
        if (entry.outcome == StepOutcome::NotAttempted) continue;
        audit.push_back(AuditEntryOf("restore-subtree", entry.tombstone, lumivel::shared::TombstoneGuid(entry.name),
                                     server, entry.outcome == StepOutcome::Restored, entry.error));
    }
    AuditActions(parent, audit);

    std::vector<PropertySet*> records;
    bool complete = true;
    for (const SubtreeEntry& entry : reported) {
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
        complete = complete && entry.outcome == StepOutcome::Restored;
    }
    // A report that cannot be handed over is a failure, not an empty report.
    HRESULT built = result ? lumivel::shared::BuildObjectList(records, result) : S_OK;
    if (!result || FAILED(built))
        for (PropertySet* made : records) made->release();
    if (FAILED(built)) return built;
    return complete ? S_OK : S_FALSE;
}

}  // namespace revivo
