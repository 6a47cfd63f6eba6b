#include "snapin/listing_refresh.h"

#include "lumivel/com_ptr.h"
#include "shared/listing_changes.h"
#include "shared/object_list.h"
#include "shared/text_list.h"

namespace snapin {

bool SyncPointUsable(const ListingSyncPoint& point, std::time_t now) {
    return !point.cookie.empty() && now >= point.wholeReadAt &&
           now - point.wholeReadAt <= lumivel::shared::kWholeListingReadEvery;
}

PropertySet* ChangesRequest(const PropertySet* nodeRecord, const ListingSyncPoint* since,
                            const std::vector<PropertySet*>& listed, std::time_t now,
                            const std::optional<std::u16string>& earliestPurge) {
    if (!nodeRecord) return nullptr;
    // A copy: the sync point is the listing's, not the stored domain's.
    PropertySet* request = nodeRecord->clone();
    if (!request) return nullptr;
    // Failures come back in the answer, never in a box on a thread that shows no window.
    request->setInt(kNoDialogsKey, 1);
    if (since && SyncPointUsable(*since, now)) {
        request->setText(kSyncServerKey, since->server);
        request->setText(kSyncInvocationKey, since->invocationId);
        request->setText(kSyncUsnKey, since->usn);
        request->setText(kSyncCookieKey, since->cookie);
        // Reading a purge time from each of 100,000 records is most of an unchanged refresh's
        // work on the console's thread: done only once one may have come.
        if (!earliestPurge || lumivel::shared::MayHoldOverdue(*earliestPurge, now))
            lumivel::shared::SetTextList(request, kSyncRecheckKey, lumivel::shared::OverdueTombstoneGuids(listed, now));
    }
    return request;
}

std::u16string MarkFromProvider(const std::vector<PropertySet*>& records) {
    std::vector<PropertySet*> tombstones;
    tombstones.reserve(records.size());
    for (PropertySet* record : records) {
        if (!record || record->getRaw(kSyncLeftKey) != 0) continue;
        record->setInt(u"FromRevivoProvider", 1);
        tombstones.push_back(record);
    }
    return lumivel::shared::EarliestPurgeTime(tombstones);
}

HRESULT ReadListingChanges(IRevivo* provider, PropertySet* request, VARIANT* answer) {
    VariantInit(answer);
    lumivel::ComPtr<IProviderCommands> commands;
    if (!provider || !request || FAILED(provider->QueryInterface(IID_IProviderCommands, commands.putVoid())))
        return E_NOTIMPL;
    VARIANT selection;
    VariantInit(&selection);
    HRESULT status = lumivel::shared::BuildObjectList({request}, &selection);
    if (FAILED(status)) return status;
    status = commands->ExecuteCommand(nullptr, kMenuTypeContext, kCommandListChanges, &selection, answer);
    // The list held no reference of its own: the request stays the caller's.
    VariantClear(&selection);
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(answer);
    if (SUCCEEDED(status) && (records.empty() || !records.front())) status = E_NOTIMPL;
    if (FAILED(status)) lumivel::shared::FreeObjectListRecords(answer);
    return status;
}

ListingUpdate ApplyListingAnswer(VARIANT* answer, const std::vector<PropertySet*>& current,
                                 std::vector<PropertySet*>* next, ListingSyncPoint* point, std::time_t now,
                                 lumivel::shared::ListingGuidIndex* index) {
    ListingUpdate update;
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(answer);
    // The array goes; its records are taken over here.
    VariantClear(answer);
    if (records.empty()) return update;
    PropertySet* header = records.front();
    std::vector<PropertySet*> changes;
    for (size_t i = 1; i < records.size(); ++i)
        if (records[i]) changes.push_back(records[i]);
    // The answer alone says whether it holds everything: changes laid over a list that is not
    // there would make a list of the changes alone.
    update.whole = !header || header->getRaw(kSyncWholeKey) != 0;
    if (point && header) {
        ListingSyncPoint reached;
        reached.server = header->getText(kSyncServerKey);
        reached.invocationId = header->getText(kSyncInvocationKey);
        reached.usn = header->getText(kSyncUsnKey);
        reached.cookie = header->getText(kSyncCookieKey);
        reached.wholeReadAt = update.whole ? now : point->wholeReadAt;
        *point = std::move(reached);
    }
    if (header) header->release();
    next->clear();
    if (update.whole) {
        if (index) index->clear();
        for (PropertySet* change : changes) {
            if (change->getRaw(kSyncLeftKey) != 0)
                change->release();
            else
                next->push_back(change);
        }
        update.changed = true;
        return update;
    }
    if (changes.empty()) return update;
    update.changed = true;
    // Made once for a list, then kept up to date: reading every listed name on each refresh
    // is what a few changes would otherwise cost.
    if (index && !index->usable()) index->build(current);
    if (index && lumivel::shared::ApplyListingChangesIndexed(current, changes, *index, next)) return update;
    if (index) index->clear();
    next->reserve(current.size() + changes.size());
    for (PropertySet* record : current) {
        if (!record) continue;
        record->addRef();
        next->push_back(record);
    }
    lumivel::shared::ApplyListingChanges(next, changes);
    return update;
}

}  // namespace snapin
