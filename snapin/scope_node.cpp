#include "snapin/scope_node.h"

#include "lumivel/com_ptr.h"
#include "shared/object_list.h"
#include "shared/panorel_interface.h"
#include "shared/provider_interfaces.h"
#include "shared/record_release.h"
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
    // so a record shared by a list and a node lives until both let go. A large list is freed
    // on a worker, so that a console closing on a big domain does not hang for it.
    lumivel::shared::ReleaseObjectListAside(&m_objects);
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
    VARIANT old = m_objects;
    m_objects = *list;
    VariantInit(list);
    m_earliestPurge.reset();
    m_guidIndex.clear();
    // The control lets go of the old records before they are freed, which for a large list
    // is a worker's job: freeing is what the console's thread would otherwise wait for.
    showObjects();
    lumivel::shared::ReleaseObjectListAside(&old);
}

bool ScopeNode::rebuildObjects(const std::vector<PropertySet*>& records) {
    VARIANT list;
    VariantInit(&list);
    if (FAILED(lumivel::shared::BuildObjectList(records, &list))) return false;
    // Only the array goes: its references move to the new one.
    VariantClear(&m_objects);
    m_objects = list;
    m_earliestPurge.reset();
    m_guidIndex.clear();
    return true;
}

bool ScopeNode::appendObject(PropertySet* record) {
    std::vector<PropertySet*> records = objects();
    records.push_back(record);
    if (!rebuildObjects(records)) return false;
    showObjects();
    return true;
}

lumivel::ComPtr<IPanorel> ScopeNode::panorel() const {
    lumivel::ComPtr<IPanorel> control;
    if (m_control) m_control->QueryInterface(IID_IPanorel, control.putVoid());
    return control;
}

bool ScopeNode::shownInControl() const {
    lumivel::ComPtr<IPanorel> control = panorel();
    LONG_PTR shown = 0;
    return control && m_scopeItem && SUCCEEDED(control->get_HSCOPEITEM(&shown)) && shown == LONG_PTR(m_scopeItem);
}

void ScopeNode::showObjects() {
    if (!shownInControl()) return;
    panorel()->SetObjects(kPanorelTopPane, m_objects.vt == VT_EMPTY ? nullptr : &m_objects);
}

bool ScopeNode::removeObject(PropertySet* record) {
    std::vector<PropertySet*> records = objects();
    auto it = std::find(records.begin(), records.end(), record);
    if (it == records.end()) return false;
    records.erase(it);
    if (!rebuildObjects(records)) return false;
    // The one reference the list held for the record taken out.
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

HRESULT ScopeNode::Show(IDataObject*, BOOL selecting, HSCOPEITEM item, IConsole2* console,
                        IConsoleNameSpace2* names) {
    if (!selecting) {
        hideObjects();
        return S_OK;
    }
    lumivel::ComPtr<IPanorel> control = attachControl(item, console, names);
    if (!control) return S_OK;
    showObjects();
    control->SetMode(kPanorelModeTopOnly);
    return S_OK;
}

lumivel::ComPtr<IPanorel> ScopeNode::attachControl(HSCOPEITEM item, IConsole2* console, IConsoleNameSpace2* names) {
    setScopeItem(item);
    lumivel::ComPtr<IPanorel> control;
    IUnknown* view = nullptr;
    if (!console || FAILED(console->QueryResultView(&view)) || !view) return control;
    // Another view than the control is left alone.
    if (FAILED(view->QueryInterface(IID_IPanorel, control.putVoid()))) {
        view->Release();
        return control;
    }
    if (m_control) m_control->Release();
    m_control = view;

    std::vector<LONG_PTR> providers;
    for (const ProviderCache::Entry& entry : m_providers.entries())
        providers.push_back(reinterpret_cast<LONG_PTR>(entry.provider.get()));
    VARIANT menuProviders;
    VariantInit(&menuProviders);
    lumivel::shared::BuildAddressList(providers, &menuProviders);

    control->put_HSCOPEITEM(LONG_PTR(m_scopeItem));
    control->put_SelectedNode(reinterpret_cast<LONG_PTR>(m_record));
    lumivel::ComPtr<ISchemaCache> cache = SchemaCache();
    control->SetInterfaces(m_providers.find(DefaultProviderClsid()), cache.get(), console, names);
    control->SetMenuInterfaces(&menuProviders);
    VariantClear(&menuProviders);
    return control;
}

void ScopeNode::hideObjects() {
    if (!m_control) return;
    if (lumivel::ComPtr<IPanorel> control = panorel()) {
        control->put_HSCOPEITEM(0);
        control->put_SelectedNode(0);
        control->ReleaseInterfaces();
    }
    m_control->Release();
    m_control = nullptr;
}

HRESULT ScopeNode::Refresh(IDataObject*, IConsole*, IConsoleNameSpace2*) { return S_OK; }

HRESULT ScopeNode::InitOcx(IUnknown*) { return S_OK; }

HRESULT ScopeNode::AddScopeChild(PropertySet*, IConsoleNameSpace2*) { return S_OK; }

void ScopeNode::AfterObjectsShown() {}

}  // namespace snapin
