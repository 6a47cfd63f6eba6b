#include "snapin/root_node.h"

#include "lumivel/registry_key.h"
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

RootNode::RootNode(LPCWSTR displayName, const std::u16string& nodeType, std::u16string registryBase)
    : ScopeNode(displayName, nodeType), m_registryBase(std::move(registryBase)) {}

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
    // The object's GUID names a domain whatever the name it was typed by; its DN stands in
    // for a record without one.
    auto same = [record](const PropertySet* shown, const char16_t* key) {
        std::u16string_view mine = record->getText(key), theirs = shown->getText(key);
        return !mine.empty() && lumivel::EqualsNoCase(mine, theirs);
    };
    for (PropertySet* shown : objects()) {
        if (!shown || !shown->IsNode || shown == record) continue;
        if (same(shown, u"guid") || (record->getText(u"guid").empty() && same(shown, u"distinguishedName")))
            return shown;
    }
    return nullptr;
}

HRESULT RootNode::Expand(IDataObject*, BOOL expanding, HSCOPEITEM parent, IConsoleNameSpace2* names) {
    setScopeItem(parent);
    // The domain nodes are made once; the console expands the root again after a refresh.
    if (!expanding || m_domainsInserted) return S_OK;
    IUnknown* provider = m_providers.find(DefaultProviderClsid());
    ComPtr<IProviderCommands> commands;
    if (!provider || FAILED(provider->QueryInterface(IID_IProviderCommands, commands.putVoid()))) return S_OK;
    VARIANT list;
    VariantInit(&list);
    if (FAILED(commands->GetNodes(0, 0, 0, &list))) return S_OK;
    replaceObjects(&list);
    m_domainsInserted = true;
    for (PropertySet* record : objects()) {
        if (!record || !record->IsNode) continue;
        HRESULT hr = insertDomainNode(record, names);
        if (FAILED(hr)) return hr;
    }
    return S_OK;
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
