#include "snapin/root_node.h"

#include <system_error>
#include <thread>

#include "lumivel/registry_key.h"
#include "lumivel/thread_queue.h"
#include "lumivel/wide_string.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "snapin/command_result.h"
#include "snapin/domain_node.h"
#include "snapin/menu_merge.h"
#include "snapin/resource_ids.h"
#include "snapin/snapin_data.h"
#include "snapin/snapin_module.h"

namespace snapin {

using lumivel::ComPtr;

// The worker's share of a reading of the domain nodes; the root is let go of when it goes.
struct DomainListing {
    RootNode* node = nullptr;  // on the console's thread only
    lumivel::ComPtr<IConsoleNameSpace2> names;
    lumivel::ComPtr<IProviderCommands> commands;
    lumivel::ThreadQueuePtr consoleThread;
    // The result may wait in the console thread's queue after the worker has ended.
    DomainListing() { HoldModule(); }
    ~DomainListing() { ReleaseModule(); }
};

namespace {

bool SameDomain(const PropertySet* record, const PropertySet* shown) {
    // The object's GUID names a domain whatever the name it was typed by; its DN stands in
    // for a record without one.
    auto same = [&](const char16_t* key) {
        std::u16string_view mine = record->getText(key), theirs = shown->getText(key);
        return !mine.empty() && lumivel::EqualsNoCase(mine, theirs);
    };
    return same(u"guid") || (record->getText(u"guid").empty() && same(u"distinguishedName"));
}

}  // namespace

RootNode::RootNode(LPCWSTR displayName, const std::u16string& nodeType, std::u16string registryBase)
    : ScopeNode(displayName, nodeType), m_registryBase(std::move(registryBase)) {}

RootNode::~RootNode() {
    if (m_listing) {
        m_listing->node = nullptr;
        m_listing->names.reset();
    }
}

void RootNode::discoverProviders() {
    std::u16string defaultProvider = DefaultProviderClsid();
    m_providers.findOrCreate(defaultProvider.empty() ? nullptr : defaultProvider.c_str());
    if (m_registryBase.empty()) return;
    lumivel::RegistryKey interfaces;
    std::u16string path = m_registryBase + u"\\Interfaces";
    if (interfaces.open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ) != ERROR_SUCCESS) return;
    // Value names are CLSID strings; the data is not used. A provider that cannot be made is
    // left out without a word.
    for (const std::u16string& name : interfaces.valueNames()) m_providers.findOrCreate(name.c_str());
}

HRESULT RootNode::insertDomainNode(PropertySet* record, IConsoleNameSpace2* names) {
    if (!record || !names) return E_POINTER;
    std::u16string placeholder = LoadText(IDS_DOMAIN_PLACEHOLDER);
    IconLookup icon = IconIndexOf(LoadText(IDS_DOMAIN_CLASS));
    LONG image = icon.index < 0 ? 0 : icon.index;
    auto* node = new (std::nothrow) DomainNode(placeholder.c_str(), LoadText(IDS_DOMAIN_NODE_TYPE));
    if (!node) return E_OUTOFMEMORY;
    node->setDisplayName(record->name());
    node->attachRecord(record);
    record->IsNode = 1;
    node->m_providers.copyFrom(m_providers);
    node->m_imageIndex = image;
    record->ImageIndex = image;

    SCOPEDATAITEM item{};
    item.mask = SDI_STR | SDI_IMAGE | SDI_OPENIMAGE | SDI_PARAM;
    item.displayname = MMC_CALLBACK;
    item.nImage = item.nOpenImage = int(image);
    item.relativeID = m_scopeItem;
    item.lParam = reinterpret_cast<LPARAM>(static_cast<ScopeNode*>(node));
    HRESULT hr = names->InsertItem(&item);
    if (FAILED(hr)) {
        delete node;
        return hr;
    }
    node->setScopeItem(item.ID);
    VARIANT handle;
    VariantInit(&handle);
    handle.vt = VT_I8;
    handle.llVal = item.ID;
    record->setValue(u"NodeHandle", &handle);
    record->setInt(u"NoProperties", 1);
    record->setInt(u"FromRevivoProvider", 1);
    return S_OK;
}

PropertySet* RootNode::connectedDomain(const PropertySet* record) const {
    for (PropertySet* shown : objects())
        if (shown && shown->IsNode && shown != record && SameDomain(record, shown)) return shown;
    return nullptr;
}

HRESULT RootNode::Expand(IDataObject*, BOOL expanding, HSCOPEITEM parent, IConsoleNameSpace2* names) {
    setScopeItem(parent);
    // The domain nodes are made once; the console expands the root again after a refresh.
    if (!expanding || m_domainsInserted || m_listing) return S_OK;
    IUnknown* provider = m_providers.find(DefaultProviderClsid());
    auto listing = std::make_shared<DomainListing>();
    if (!provider || FAILED(provider->QueryInterface(IID_IProviderCommands, listing->commands.putVoid()))) return S_OK;
    listing->node = this;
    listing->names = ComPtr<IConsoleNameSpace2>(names);
    listing->consoleThread = lumivel::CurrentThreadQueue();
    m_listing = listing;
    HoldModule();
    try {
        std::thread([listing]() mutable {
            CoInitialize(nullptr);
            VARIANT list;
            VariantInit(&list);
            HRESULT listed = listing->commands->GetNodes(0, 0, 0, &list);
            auto delivered = std::make_shared<VARIANT>(list);
            lumivel::ThreadQueuePtr consoleThread = listing->consoleThread;
            // The listing goes with the result, so that its interfaces are let go on the
            // console's thread.
            bool posted = lumivel::PostThreadWork(
                *consoleThread,
                [listing = std::move(listing), listed, delivered] {
                    if (listing->node)
                        listing->node->takeDomains(listed, delivered.get(), listing->names.get());
                    else
                        lumivel::shared::FreeObjectListRecords(delivered.get());
                },
                [delivered] { lumivel::shared::FreeObjectListRecords(delivered.get()); });
            if (!posted) lumivel::shared::FreeObjectListRecords(delivered.get());
            CoUninitialize();
            ReleaseModule();
        }).detach();
    } catch (const std::system_error&) {
        ReleaseModule();
        m_listing.reset();
        return HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY);
    }
    return S_OK;
}

void RootNode::takeDomains(HRESULT listed, VARIANT* list, IConsoleNameSpace2* names) {
    m_listing.reset();
    // A failed reading is tried again at the next expansion.
    if (FAILED(listed)) {
        lumivel::shared::FreeObjectListRecords(list);
        return;
    }
    // A domain connected while the nodes were read is a node already: it stays, and its
    // record in the reading goes, so that it gets no second node.
    std::vector<PropertySet*> connected, kept, fresh;
    for (PropertySet* shown : objects())
        if (shown && shown->IsNode) connected.push_back(shown);
    for (PropertySet* record : lumivel::shared::ReadObjectList(list)) {
        if (!record) continue;
        bool shown = false;
        for (const PropertySet* node : connected) shown = shown || (record->IsNode && SameDomain(record, node));
        if (shown) {
            record->release();
            continue;
        }
        kept.push_back(record);
        if (record->IsNode) fresh.push_back(record);
    }
    for (PropertySet* node : connected) {
        node->addRef();
        kept.push_back(node);
    }
    // The reading's references move to the new list; only its array goes.
    VariantClear(list);
    VARIANT shownList;
    VariantInit(&shownList);
    if (FAILED(lumivel::shared::BuildObjectList(kept, &shownList))) {
        for (PropertySet* record : kept) record->release();
        return;
    }
    replaceObjects(&shownList);
    m_domainsInserted = true;
    for (PropertySet* record : fresh)
        if (FAILED(insertDomainNode(record, names))) break;
}

HRESULT RootNode::Enumerate(HSCOPEITEM item, IConsoleNameSpace2* names) { return Expand(nullptr, TRUE, item, names); }

HRESULT RootNode::AddMenuItems(LPCONTEXTMENUCALLBACK callback, long*) {
    std::u16string clsid = DefaultProviderClsid();
    IUnknown* provider = m_providers.find(clsid);
    ComPtr<IProviderCommands> commands;
    if (!provider || FAILED(provider->QueryInterface(IID_IProviderCommands, commands.putVoid()))) return S_OK;
    LONG index = m_providers.indexOf(clsid);
    VARIANT selection;
    VariantInit(&selection);
    lumivel::shared::RecordToVariant(m_record, &selection);
    HRESULT last = S_OK;
    for (auto [kind, point] : {std::pair{kMenuTypeContext, CCM_INSERTIONPOINTID_PRIMARY_TOP},
                               std::pair{kMenuTypeNew, CCM_INSERTIONPOINTID_PRIMARY_NEW}}) {
        HMENU menu = nullptr;
        HINSTANCE module = nullptr;
        if (FAILED(commands->GetMenu(kind, &selection, &menu, &module)) || !menu) continue;
        last = MergeProviderMenu(this, menu, module, callback, point, index);
        DestroyMenu(menu);
    }
    return last;
}

HRESULT RootNode::Command(LONG, LONG commandId, SnapinData* data) {
    IUnknown* provider = m_providers.find(DefaultProviderClsid());
    ComPtr<IProviderCommands> commands;
    if (!provider || FAILED(provider->QueryInterface(IID_IProviderCommands, commands.putVoid()))) return S_FALSE;
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(m_record, &selection);
    HWND owner = data ? data->ownerWindow() : nullptr;
    HRESULT hr = commands->ExecuteCommand(owner, kMenuTypeContext, commandId, &selection, &result);
    PropertySet* record = result.vt == VT_I8 || result.vt == VT_I4 ? lumivel::shared::RecordFromVariant(&result) : nullptr;
    if (FAILED(hr) || !record || !record->IsNode || !data || !data->names()) {
        // Anything but one new domain record leaves the console as it was; a list's header
        // is the command's own, its other records are not.
        TakeCommandResult(&result);
        return FAILED(hr) ? S_FALSE : S_OK;
    }
    // A domain that is a node already gets no second one: its node is selected instead.
    if (PropertySet* shown = connectedDomain(record)) {
        record->release();
        VARIANT handle;
        VariantInit(&handle);
        if (data->console() && shown->getValue(u"NodeHandle", &handle))
            data->console()->SelectScopeItem(HSCOPEITEM(lumivel::shared::AddressFromVariant(&handle)));
        VariantClear(&handle);
        return S_OK;
    }
    // The new domain record came with a reference of its own, which the root's list takes.
    hr = insertDomainNode(record, data->names());
    if (FAILED(hr) || !appendObject(record)) record->release();
    return FAILED(hr) ? hr : S_OK;
}

}  // namespace snapin
