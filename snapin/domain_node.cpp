#include "snapin/domain_node.h"

#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "snapin/menu_merge.h"
#include "snapin/node_worker.h"
#include "snapin/snapin_data.h"
#include "snapin/snapin_module.h"
#include "win/strings.h"

namespace snapin {

using lumivel::ComPtr;

DomainNode::DomainNode(LPCWSTR displayName, const std::u16string& nodeType) : ScopeNode(displayName, nodeType) {
    m_verbMask = kVerbRefresh;
}

void DomainNode::attachRecord(PropertySet* record) {
    if (!record) return;
    record->addRef();
    // The provider reads the record on the fetch's thread while commands on this thread may
    // change it.
    record->enableLock();
    if (m_record) m_record->release();
    m_record = record;
    m_cookie = reinterpret_cast<MMC_COOKIE>(record);
}

HRESULT DomainNode::Expand(IDataObject*, BOOL expanding, HSCOPEITEM parent, IConsoleNameSpace2* names) {
    setScopeItem(parent);
    // A collapse, or an expansion while a fetch runs, starts nothing.
    if (!expanding) return S_OK;
    m_fetchedOnce = true;
    return StartNodeFetch(this, names, false);
}

HRESULT DomainNode::Enumerate(HSCOPEITEM item, IConsoleNameSpace2* names) {
    setScopeItem(item);
    m_fetchedOnce = true;
    bool refreshing = m_refreshPending;
    m_refreshPending = false;
    return StartNodeFetch(this, names, refreshing);
}

HRESULT DomainNode::Show(IDataObject* object, BOOL selecting, HSCOPEITEM item, IConsole2* console,
                         IConsoleNameSpace2* names) {
    HRESULT hr = ScopeNode::Show(object, selecting, item, console, names);
    // Shown before it was ever expanded: the one fetch starts here. Otherwise the list is the
    // last fetch's, or the running fetch delivers it.
    if (selecting && !m_fetchedOnce && !fetching()) {
        m_fetchedOnce = true;
        StartNodeFetch(this, names, false);
    }
    return hr;
}

HRESULT DomainNode::Refresh(IDataObject*, IConsole* console, IConsoleNameSpace2* names) {
    if (fetching()) return S_OK;
    if (console && m_scopeItem) console->SelectScopeItem(m_scopeItem);
    if (names && m_scopeItem) names->DeleteItem(m_scopeItem, FALSE);
    m_fetchedOnce = true;
    m_refreshPending = false;
    return StartNodeFetch(this, names, true);
}

HRESULT DomainNode::AddMenuItems(LPCONTEXTMENUCALLBACK callback, long*) {
    VARIANT selection;
    VariantInit(&selection);
    lumivel::shared::RecordToVariant(m_record, &selection);
    HRESULT last = S_OK;
    const auto& entries = m_providers.entries();
    for (size_t i = 0; i < entries.size() && LONG(i) < kMaxProviders; ++i) {
        ComPtr<IProviderCommands> commands;
        if (!entries[i].provider ||
            FAILED(entries[i].provider->QueryInterface(IID_IProviderCommands, commands.putVoid())))
            continue;
        for (auto [kind, point] : {std::pair{kMenuTypeContext, CCM_INSERTIONPOINTID_PRIMARY_TOP},
                                   std::pair{kMenuTypeNew, CCM_INSERTIONPOINTID_PRIMARY_NEW}}) {
            HMENU menu = nullptr;
            HINSTANCE module = nullptr;
            if (FAILED(commands->GetMenu(kind, &selection, &menu, &module)) || !menu) continue;
            last = MergeProviderMenu(this, menu, module, callback, point, LONG(i));
            DestroyMenu(menu);
        }
    }
    return last;
}

HRESULT DomainNode::Command(LONG providerIndex, LONG commandId, SnapinData* data) {
    const auto& entries = m_providers.entries();
    if (providerIndex < 0 || size_t(providerIndex) >= entries.size()) return S_FALSE;
    ComPtr<IProviderCommands> commands;
    if (FAILED(entries[size_t(providerIndex)].provider->QueryInterface(IID_IProviderCommands, commands.putVoid())))
        return S_FALSE;
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(m_record, &selection);
    HWND owner = data ? data->ownerWindow() : nullptr;
    HRESULT hr = commands->ExecuteCommand(owner, kMenuTypeContext, commandId, &selection, &result);
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&result);
    PropertySet* head = hr == S_OK && !records.empty() ? records.front() : nullptr;
    std::u16string reason = head ? std::u16string(head->getText(u"RefreshReason")) : std::u16string();
    std::u16string view = head ? std::u16string(head->getText(u"AlternateView")) : std::u16string();
    lumivel::shared::FreeObjectListRecords(&result);

    auto same = [](const std::u16string& a, const char16_t* b) { return lstrcmpiW(a.c_str(), b) == 0; };
    IConsole2* console = data ? data->console() : nullptr;
    IConsoleNameSpace2* names = data ? data->names() : nullptr;
    if (same(reason, u"ViewChanged")) {
        m_alternateView = view;
        if (console && m_scopeItem) console->SelectScopeItem(m_scopeItem);
    } else if (same(reason, u"ObjectsDeleted") && names && m_scopeItem) {
        HSCOPEITEM parentItem = 0;
        MMC_COOKIE parentCookie = 0;
        if (SUCCEEDED(names->GetParentItem(m_scopeItem, &parentItem, &parentCookie)) && parentCookie && m_record)
            reinterpret_cast<ScopeNode*>(parentCookie)->removeObject(m_record);
        names->DeleteItem(m_scopeItem, TRUE);
        // The node went with its item; nothing of it may be touched after this.
        delete this;
        if (console && parentItem) console->SelectScopeItem(parentItem);
    }
    return S_FALSE;
}

}  // namespace snapin
