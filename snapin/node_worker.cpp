#include "snapin/node_worker.h"

#include <ctime>
#include <optional>
#include <thread>

#include "lumivel/unique_bstr.h"
#include "shared/listing_changes.h"
#include "shared/object_list.h"
#include "snapin/listing_refresh.h"
#include "snapin/snapin_module.h"
#include "win/dserror.h"
#include "win/errors.h"

namespace snapin {

namespace {

void SetItemImage(IConsoleNameSpace2* names, HSCOPEITEM item, int image) {
    if (!names || !item) return;
    SCOPEDATAITEM data{};
    data.mask = SDI_IMAGE | SDI_OPENIMAGE;
    data.ID = item;
    data.nImage = data.nOpenImage = image;
    names->SetItem(&data);
}

void SetStatus(IConsoleNameSpace2* names, const std::u16string& text) {
    lumivel::ComPtr<IConsole2> console;
    if (!names || FAILED(names->QueryInterface(IID_IConsole2, console.putVoid()))) return;
    std::u16string copy = text;
    console->SetStatusText(copy.data());
}

std::u16string NumberText(size_t number) {
    std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

std::u16string FailureText(const std::u16string& name, HRESULT hr) {
    WCHAR* message = nullptr;
    std::u16string text = u"The deleted objects of " + name + u" could not be read";
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, DWORD(hr), 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
    if (length && message) {
        std::u16string detail(message, length);
        while (!detail.empty() && (detail.back() == u'\n' || detail.back() == u'\r' || detail.back() == u' '))
            detail.pop_back();
        text += u": " + detail;
    } else {
        text += u".";
    }
    LocalFree(message);
    if (hr == HRESULT_FROM_WIN32(ERROR_DS_SIZELIMIT_EXCEEDED) || hr == HRESULT_FROM_WIN32(ERROR_DS_ADMIN_LIMIT_EXCEEDED) ||
        hr == HRESULT_FROM_WIN32(ERROR_DS_TIMELIMIT_EXCEEDED))
        text += u" The answer was cut short by a limit, and a part is never shown as the whole: the list stays as it was.";
    return text;
}

void ShowCount(IConsoleNameSpace2* names, size_t count, const std::u16string& name) {
    SetStatus(names, NumberText(count) + (count == 1 ? u" deleted object in " : u" deleted objects in ") + name + u".");
}

// The node's list brought up to date by the provider's answer to command 322.
void ApplyChanges(const std::shared_ptr<NodeFetch>& fetch, ScopeNode* node, VARIANT* answer, const std::u16string& name,
                  const std::u16string& earliestPurge, lumivel::shared::ListingGuidIndex* wholeIndex) {
    std::vector<PropertySet*> next;
    // The changes' earliest purge time and the list's before them bound the new list's.
    std::optional<std::u16string> earliest = node->m_earliestPurge;
    ListingUpdate update =
        ApplyListingAnswer(answer, node->objects(), &next, fetch->syncPoint, std::time(nullptr), &node->m_guidIndex);
    if (update.whole)
        earliest = earliestPurge;
    else if (earliest)
        earliest = lumivel::shared::EarlierPurgeTime(*earliest, earliestPurge);
    if (update.changed) {
        VARIANT list;
        VariantInit(&list);
        if (FAILED(lumivel::shared::BuildObjectList(next, &list))) {
            // The list stays as it was, and so must the sync point: the next refresh reads all.
            for (PropertySet* record : next) record->release();
            node->m_guidIndex.clear();
            if (fetch->syncPoint) *fetch->syncPoint = ListingSyncPoint{};
            SetStatus(fetch->names.get(), FailureText(name, E_OUTOFMEMORY));
            return;
        }
        ShowCount(fetch->names.get(), next.size(), name);
        // The index already follows the new list, or was made with a whole one on the fetch's thread.
        lumivel::shared::ListingGuidIndex index = std::move(update.whole && wholeIndex ? *wholeIndex : node->m_guidIndex);
        node->replaceObjects(&list);
        node->m_guidIndex = std::move(index);
        node->m_earliestPurge = std::move(earliest);
    } else {
        ShowCount(fetch->names.get(), node->objects().size(), name);
        // The same list again: the control keeps its rows, and says what its filter shows.
        node->showObjects();
    }
    node->AfterObjectsShown();
}

// On the console's thread: the fetch is over. `changes` when the list is command 322's answer.
void ApplyFetch(const std::shared_ptr<NodeFetch>& fetch, HRESULT hr, VARIANT* list, bool changes,
                const std::u16string& earliestPurge, lumivel::shared::ListingGuidIndex* wholeIndex) {
    ScopeNode* node = fetch->node;
    if (!node) {
        lumivel::shared::FreeObjectListRecords(list);
        return;
    }
    node->m_fetch.reset();
    if (PropertySet* record = node->record()) record->ImageIndex = fetch->savedImage;
    node->m_imageIndex = fetch->savedImage;
    SetItemImage(fetch->names.get(), node->scopeItem(), int(fetch->savedImage));
    std::u16string name = node->displayName() ? node->displayName() : u"";
    if (SUCCEEDED(hr) && changes) {
        ApplyChanges(fetch, node, list, name, earliestPurge, wholeIndex);
    } else if (SUCCEEDED(hr)) {
        // A whole list read otherwise is newer than the sync point: changes since that point,
        // laid over it, still give the domain's list.
        if (fetch->kind == FetchKind::FreshListing && fetch->syncPoint) fetch->syncPoint->wholeReadAt = std::time(nullptr);
        // Said before the list is shown: a control that filters it says how many it shows.
        ShowCount(fetch->names.get(), lumivel::shared::ReadObjectList(list).size(), name);
        node->replaceObjects(list);
        node->m_earliestPurge = earliestPurge;
        if (wholeIndex) node->m_guidIndex = std::move(*wholeIndex);
        node->AfterObjectsShown();
    } else {
        // A failed fetch leaves the list as it was, and the node says so on its icon until a
        // fetch succeeds: a list that stays may no longer be the domain's.
        lumivel::shared::FreeObjectListRecords(list);
        SetStatus(fetch->names.get(), FailureText(name, hr));
        PropertySet* record = node->record();
        IconLookup failed = IconIndexOf(std::u16string(record ? record->getText(u"class") : u"") +
                                        kListingFailedIconSuffix);
        if (failed.hr == S_OK && failed.index >= 0) {
            if (record) record->ImageIndex = failed.index;
            SetItemImage(fetch->names.get(), node->scopeItem(), int(failed.index));
        }
    }
}

}  // namespace

NodeFetch::NodeFetch() { HoldModule(); }

NodeFetch::~NodeFetch() {
    if (record) record->release();
    if (request) request->release();
    ReleaseModule();
}

HRESULT StartNodeFetch(ScopeNode* node, IConsoleNameSpace2* names, FetchKind kind, ListingSyncPoint* syncPoint) {
    if (!node || node->fetching()) return S_OK;
    PropertySet* record = node->record();
    if (!record) return S_OK;
    IUnknown* provider = node->m_providers.find(DefaultProviderClsid());
    if (!provider) return S_OK;
    auto fetch = std::make_shared<NodeFetch>();
    HRESULT hr = provider->QueryInterface(IID_IRevivo, fetch->provider.putVoid());
    if (FAILED(hr)) return hr;
    fetch->node = node;
    fetch->names = lumivel::ComPtr<IConsoleNameSpace2>(names);
    fetch->kind = kind;
    fetch->syncPoint = syncPoint;
    fetch->consoleThread = lumivel::CurrentThreadQueue();
    if (kind == FetchKind::Changes) {
        // Asked on this thread, which alone reads the listed records.
        fetch->request = ChangesRequest(record, syncPoint, node->objects(), std::time(nullptr), node->m_earliestPurge);
        if (!fetch->request) return E_OUTOFMEMORY;
    }
    record->addRef();
    fetch->record = record;

    // The busy icon of the record's class; without one the fallback's index stands in the
    // record while the fetch runs.
    fetch->savedImage = node->m_imageIndex;
    IconLookup busy = IconIndexOf(std::u16string(record->getText(u"class")) + u"Busy");
    if (busy.hr != S_OK) {
        busy = IconIndexOf(u"");
        record->ImageIndex = busy.index;
    }
    SetItemImage(names, node->scopeItem(), int(busy.index));
    SetStatus(names, u"Reading the deleted objects of " + std::u16string(node->displayName() ? node->displayName() : u"") +
                         u"...");
    node->m_fetch = fetch;

    HoldModule();
    try {
        std::thread([fetch]() mutable {
            CoInitialize(nullptr);
            VARIANT list;
            VariantInit(&list);
            HRESULT result = E_NOTIMPL;
            bool changes = false;
            std::u16string earliestPurge;
            // A whole list's tombstones by GUID, made here for the refreshes that lay changes
            // over it: reading 100,000 names is a console thread's twentieth of a second.
            auto guids = std::make_shared<lumivel::shared::ListingGuidIndex>();
            if (fetch->kind == FetchKind::Changes) {
                result = ReadListingChanges(fetch->provider.get(), fetch->request, &list);
                changes = SUCCEEDED(result);
                // Marked here, while the records are the fetch's alone: a whole answer of
                // 100,000 would hold the console's thread for a large part of a second.
                if (changes) {
                    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&list);
                    const bool whole = !records.empty() && records.front() && records.front()->getRaw(kSyncWholeKey) != 0;
                    records.erase(records.begin());
                    earliestPurge = MarkFromProvider(records);
                    if (whole) {
                        std::erase_if(records, [](const PropertySet* record) {
                            return !record || record->getRaw(kSyncLeftKey) != 0;
                        });
                        guids->build(records);
                    }
                }
            }
            if (!changes) {
                // An empty filter asks for a fresh list; none lets the provider reuse what it has.
                lumivel::UniqueBstr filter(fetch->kind == FetchKind::Listing ? nullptr : u"");
                result = fetch->provider->EnumDeletedObjects(reinterpret_cast<LONG_PTR>(fetch->record), filter.get(),
                                                             &list);
                // Marked here, while the records are the fetch's alone: at 100,000 records the
                // marking alone would hold the console's thread for about 0.1 s.
                if (SUCCEEDED(result)) {
                    const std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&list);
                    earliestPurge = MarkFromProvider(records);
                    guids->build(records);
                }
            }
            auto delivered = std::make_shared<VARIANT>(list);
            lumivel::ThreadQueuePtr consoleThread = fetch->consoleThread;
            // The fetch goes with the result, so that its interfaces are let go on the
            // console's thread.
            bool posted = lumivel::PostThreadWork(
                *consoleThread,
                [fetch = std::move(fetch), result, delivered, changes, earliestPurge = std::move(earliestPurge), guids] {
                    ApplyFetch(fetch, result, delivered.get(), changes, earliestPurge,
                               guids->usable() ? guids.get() : nullptr);
                },
                [delivered] { lumivel::shared::FreeObjectListRecords(delivered.get()); });
            if (!posted) lumivel::shared::FreeObjectListRecords(delivered.get());
            CoUninitialize();
            ReleaseModule();
        }).detach();
    } catch (const std::system_error&) {
        ReleaseModule();
        node->m_fetch.reset();
        record->ImageIndex = fetch->savedImage;
        SetItemImage(names, node->scopeItem(), int(fetch->savedImage));
        return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
    }
    return S_OK;
}

}  // namespace snapin
