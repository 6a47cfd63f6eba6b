#include "snapin/scope_node.h"

#include "lumivel/com_ptr.h"
#include "shared/object_list.h"
#include "shared/provider_interfaces.h"
#include "snapin/node_worker.h"
#include "snapin/snapin_module.h"

namespace snapin {

namespace {

// Every node's result view is the result-pane control.
constexpr const char16_t* kResultViewControl = u"{EB82BE35-4FB6-424B-AEDB-6D2A61A0E632}";

LPOLESTR TaskCopy(LPCWSTR text) {
    if (!text) return nullptr;
    size_t length = std::char_traits<char16_t>::length(text);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (copy) std::char_traits<char16_t>::copy(copy, text, length + 1);
    return copy;
}

}  // namespace

ScopeNode::ScopeNode(LPCWSTR displayName, const std::u16string& nodeType) {
    m_displayName = TaskCopy(displayName);
    if (FAILED(CLSIDFromString(nodeType.c_str(), &m_nodeType))) m_nodeType = GUID_NULL;
    m_cookie = reinterpret_cast<MMC_COOKIE>(this);
    VariantInit(&m_objects);
}

ScopeNode::~ScopeNode() {
    // A running fetch learns that nobody waits for it; it frees what it fetched itself.
    if (m_fetch) m_fetch->abandon();
    // Each list holds one reference to each of its records, and a node one to its own record,
    // so a record shared by a list and a node lives until both let go.
    lumivel::shared::FreeObjectListRecords(&m_objects);
    if (m_record) m_record->release();
    if (m_control) m_control->Release();
    CoTaskMemFree(m_displayName);
}

bool ScopeNode::setDisplayName(LPCWSTR name) {
    LPOLESTR copy = TaskCopy(name ? name : u"");
    if (!copy) return false;
    CoTaskMemFree(m_displayName);
    m_displayName = copy;
    return true;
}

std::vector<PropertySet*> ScopeNode::objects() const { return lumivel::shared::ReadObjectList(&m_objects); }

void ScopeNode::replaceObjects(VARIANT* list) {
    lumivel::shared::FreeObjectListRecords(&m_objects);
    m_objects = *list;
    VariantInit(list);
}

bool ScopeNode::removeObject(PropertySet* record) {
    std::vector<PropertySet*> records = objects();
    auto it = std::find(records.begin(), records.end(), record);
    if (it == records.end()) return false;
    records.erase(it);
    VARIANT rebuilt;
    VariantInit(&rebuilt);
    if (FAILED(lumivel::shared::BuildObjectList(records, &rebuilt))) return false;
    // The old list's references move to the new one, except the one taken out.
    VariantClear(&m_objects);
    m_objects = rebuilt;
    record->release();
    return true;
}

int ScopeNode::GetImage() { return int(m_imageIndex); }

HRESULT ScopeNode::GetResultDisplayInfo(RESULTDATAITEM* item) {
    if (!item) return E_POINTER;
    if (item->mask & RDI_STR) item->str = m_displayName;
    if (item->mask & RDI_IMAGE) item->nImage = int(m_imageIndex);
    return S_OK;
}

HRESULT ScopeNode::GetScopeDisplayInfo(SCOPEDATAITEM* item) {
    if (!item) return E_POINTER;
    if (item->mask & SDI_STR) item->displayname = m_displayName;
    if (item->mask & SDI_IMAGE) item->nImage = int(m_imageIndex);
    if (item->mask & SDI_OPENIMAGE) item->nOpenImage = int(m_imageIndex);
    return S_OK;
}

MMC_COOKIE ScopeNode::GetCookie() { return m_cookie; }

HRESULT ScopeNode::AddPropertyPages(LPPROPERTYSHEETCALLBACK, LONG_PTR) { return S_FALSE; }

void ScopeNode::AdjustMenuItem(UINT, LPWSTR, UINT*) {}

HRESULT ScopeNode::GetResultViewType(LPOLESTR* viewType, long*) {
    if (!viewType) return E_POINTER;
    *viewType = TaskCopy(kResultViewControl);
    return *viewType ? S_OK : E_OUTOFMEMORY;
}

HRESULT ScopeNode::Reserved12() { return S_OK; }
HRESULT ScopeNode::Reserved14() { return S_OK; }

HRESULT ScopeNode::Delete(IConsoleNameSpace2* names) {
    IUnknown* provider = m_providers.find(DefaultProviderClsid());
    lumivel::ComPtr<IProviderData> data;
    if (!provider || FAILED(provider->QueryInterface(IID_IProviderData, data.putVoid()))) return S_FALSE;
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(m_record, &selection);
    HRESULT hr = data->DeleteObjects(nullptr, &selection, &result);
    lumivel::shared::FreeObjectListRecords(&result);
    if (FAILED(hr) || !names) return hr;

    HSCOPEITEM parentItem = 0;
    MMC_COOKIE parentCookie = 0;
    if (m_scopeItem && SUCCEEDED(names->GetParentItem(m_scopeItem, &parentItem, &parentCookie)) && parentCookie && m_record)
        reinterpret_cast<ScopeNode*>(parentCookie)->removeObject(m_record);
    lumivel::ComPtr<IConsole2> console;
    names->QueryInterface(IID_IConsole2, console.putVoid());
    if (m_scopeItem) {
        names->DeleteItem(m_scopeItem, TRUE);
        // The console drops the item without a word, so the node that lived in it goes here;
        // nothing of it may be touched afterwards. The static root belongs to SnapinData.
        if (m_record) delete this;
    }
    if (!parentItem || !console) return S_OK;
    return console->SelectScopeItem(parentItem);
}

HRESULT ScopeNode::Show(IDataObject*, BOOL selecting, HSCOPEITEM, IConsole2* console, IConsoleNameSpace2*) {
    if (!selecting) {
        if (m_control) {
            m_control->Release();
            m_control = nullptr;
        }
        return S_OK;
    }
    if (!console) return S_OK;
    IUnknown* control = nullptr;
    if (FAILED(console->QueryResultView(&control)) || !control) return S_OK;
    if (m_control) m_control->Release();
    // FIXME: the node's interfaces and objects are handed to the result-pane control once
    // its interface exists; until then the node only keeps the view.
    m_control = control;
    return S_OK;
}

HRESULT ScopeNode::Refresh(IDataObject*, IConsole*, IConsoleNameSpace2*) { return S_OK; }

HRESULT ScopeNode::InitOcx(IUnknown*) { return S_OK; }

HRESULT ScopeNode::AddScopeChild(PropertySet*, IConsoleNameSpace2*) { return S_OK; }

void ScopeNode::AfterObjectsShown() {}

}  // namespace snapin
