#include "snapin/snapin_view.h"

#include "snapin/scope_node.h"
#include "snapin/snapin_data.h"

namespace snapin {

SnapinView::SnapinView(SnapinData* data) : m_data(data) {}

SnapinView::~SnapinView() {
    if (m_data) m_data->forgetView(this);
}

HRESULT SnapinView::Initialize(LPCONSOLE lpConsole) {
    m_console = lumivel::ComPtr<IConsole>(lpConsole);
    return S_OK;
}

void SnapinView::setVerbs(DWORD mask) {
    lumivel::ComPtr<IConsoleVerb> verbs;
    if (!m_console || FAILED(m_console->QueryConsoleVerb(verbs.put())) || !verbs) return;
    for (size_t i = 0; i < std::size(kVerbTable); ++i) {
        if (!(mask & (1u << i))) continue;
        verbs->SetVerbState(kVerbTable[i], ENABLED, TRUE);
        verbs->SetVerbState(kVerbTable[i], HIDDEN, FALSE);
    }
}

HRESULT SnapinView::Notify(LPDATAOBJECT lpDataObject, MMC_NOTIFY_TYPE event, LPARAM arg, LPARAM param) {
    if (lpDataObject == DOBJ_CUSTOMOCX) return E_NOTIMPL;
    ScopeNode* node = NodeOfDataObject(lpDataObject);
    if (!node) return S_OK;
    switch (event) {
    case MMCN_ADD_IMAGES:
        return S_OK;
    case MMCN_DBLCLICK:
        return m_data && m_data->console() ? m_data->console()->SelectScopeItem(node->scopeItem()) : S_OK;
    case MMCN_REFRESH:
        return node->Refresh(lpDataObject, m_console.get(), m_data ? m_data->names() : nullptr);
    case MMCN_SELECT:
        if (arg) setVerbs(node->verbMask());
        return S_OK;
    case MMCN_SHOW: {
        lumivel::ComPtr<IConsole2> console;
        if (m_console) m_console->QueryInterface(IID_IConsole2, console.putVoid());
        return node->Show(lpDataObject, BOOL(arg), HSCOPEITEM(param), console.get(),
                          m_data ? m_data->names() : nullptr);
    }
    case MMCN_INITOCX:
        return node->InitOcx(reinterpret_cast<IUnknown*>(param));
    default:
        return E_NOTIMPL;
    }
}

HRESULT SnapinView::Destroy(MMC_COOKIE) { return S_OK; }

HRESULT SnapinView::QueryDataObject(MMC_COOKIE, DATA_OBJECT_TYPES, LPDATAOBJECT* ppDataObject) {
    if (ppDataObject) *ppDataObject = nullptr;
    return E_NOTIMPL;
}

HRESULT SnapinView::GetResultViewType(MMC_COOKIE cookie, LPOLESTR* ppViewType, long* pViewOptions) {
    ScopeNode* node = cookie ? reinterpret_cast<ScopeNode*>(cookie) : (m_data ? m_data->root() : nullptr);
    if (!node) return E_UNEXPECTED;
    node->GetResultViewType(ppViewType, pViewOptions);
    return S_OK;
}

HRESULT SnapinView::GetDisplayInfo(RESULTDATAITEM* pResultDataItem) {
    if (!pResultDataItem) return E_POINTER;
    if (!pResultDataItem->lParam) return S_OK;
    return reinterpret_cast<ScopeNode*>(pResultDataItem->lParam)->GetResultDisplayInfo(pResultDataItem);
}

HRESULT SnapinView::CompareObjects(LPDATAOBJECT, LPDATAOBJECT) { return E_NOTIMPL; }

}  // namespace snapin
