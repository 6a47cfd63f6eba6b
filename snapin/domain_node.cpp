#include "snapin/domain_node.h"

#include <ctime>

#include "shared/object_list.h"
#include "shared/panorel_interface.h"
#include "shared/provider_interfaces.h"
#include "snapin/command_result.h"
#include "snapin/menu_merge.h"
#include "snapin/node_worker.h"
#include "snapin/root_node.h"
#include "snapin/snapin_data.h"
#include "snapin/snapin_module.h"

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
    return StartNodeFetch(this, names, FetchKind::Listing);
}

HRESULT DomainNode::Enumerate(HSCOPEITEM item, IConsoleNameSpace2* names) {
    setScopeItem(item);
    bool refreshing = m_refreshPending;
    m_refreshPending = false;
    return StartNodeFetch(this, names, refreshing ? FetchKind::FreshListing : FetchKind::Listing, &m_syncPoint);
}

HRESULT DomainNode::Show(IDataObject* object, BOOL selecting, HSCOPEITEM item, IConsole2* console,
                         IConsoleNameSpace2* names) {
    if (!selecting) return ScopeNode::Show(object, selecting, item, console, names);
    ComPtr<IPanorel> control = attachControl(item, console, names);
    // The list is read anew, by the worker: the pane stays empty behind the busy icon until it
    // comes. A fetch that runs already (an expansion) delivers it.
    if (control) control->SetObjects(kPanorelTopPane, nullptr);
    HRESULT hr = fetching() ? S_OK : StartNodeFetch(this, names, FetchKind::Listing);
    // With its details below: what the selected tombstone kept and the backups that hold it.
    if (control) control->SetMode(kPanorelModeBottomText);
    return hr;
}

HRESULT DomainNode::Refresh(IDataObject*, IConsole* console, IConsoleNameSpace2* names) {
    if (fetching()) return S_OK;
    // Selected anew only when another node is shown: the control showing this one stays.
    if (console && m_scopeItem && !shownInControl()) console->SelectScopeItem(m_scopeItem);
    // Changes are laid over the list in place, so that the rows that stay keep their selection
    // and place. Without a sync point everything is read: both panes let go of the old records
    // before the new list replaces them.
    IUnknown* view = nullptr;
    if (!SyncPointUsable(m_syncPoint, std::time(nullptr)) && console && SUCCEEDED(console->QueryResultView(&view)) &&
        view) {
        ComPtr<IPanorel> control;
        if (SUCCEEDED(view->QueryInterface(IID_IPanorel, control.putVoid()))) {
            control->SetObjects(kPanorelTopPane, nullptr);
            control->SetObjects(kPanorelBottomPane, nullptr);
        }
        view->Release();
    }
    if (names && m_scopeItem) names->DeleteItem(m_scopeItem, FALSE);
    m_refreshPending = false;
    return StartNodeFetch(this, names, FetchKind::Changes, &m_syncPoint);
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
    if (providerIndex < 0 || size_t(providerIndex) >= entries.size() || !entries[size_t(providerIndex)].provider)
        return S_FALSE;
    ComPtr<IProviderCommands> commands;
    if (FAILED(entries[size_t(providerIndex)].provider->QueryInterface(IID_IProviderCommands, commands.putVoid())))
        return S_FALSE;
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(m_record, &selection);
    HWND owner = data ? data->ownerWindow() : nullptr;
    HRESULT hr = commands->ExecuteCommand(owner, kMenuTypeContext, commandId, &selection, &result);
    CommandResult outcome = TakeCommandResult(&result);
    if (hr != S_OK) return S_FALSE;

    IConsole2* console = data ? data->console() : nullptr;
    IConsoleNameSpace2* names = data ? data->names() : nullptr;
    if (IsReason(outcome, u"ViewChanged")) {
        m_alternateView = outcome.alternateView;
        if (console && m_scopeItem) console->SelectScopeItem(m_scopeItem);
    } else if (IsReason(outcome, u"ObjectsDeleted") && names && m_scopeItem) {
        HSCOPEITEM parentItem = 0;
        MMC_COOKIE parentCookie = 0;
        // The static root's item carries no cookie.
        ScopeNode* parent = nullptr;
        if (SUCCEEDED(names->GetParentItem(m_scopeItem, &parentItem, &parentCookie)))
            parent = parentCookie ? reinterpret_cast<ScopeNode*>(parentCookie) : data->root();
        if (parent && m_record) parent->removeObject(m_record);
        names->DeleteItem(m_scopeItem, TRUE);
        // The node went with its item; nothing of it may be touched after this.
        delete this;
        if (console && parentItem) console->SelectScopeItem(parentItem);
    }
    return S_FALSE;
}

}  // namespace snapin
