// IPanorel and the control's data: columns, records, selection and details.
#include "resultpane/panorel.h"

#include <algorithm>

#include "lumivel/variant_holder.h"
#include "resultpane/prepared_list.h"
#include "shared/object_list.h"
#include "shared/record_release.h"
#include "win/richedit.h"

using lumivel::ComPtr;
using lumivel::VariantHolder;

namespace panorel {

namespace {

// Column keys arrive as a VARIANT array of BSTR (or of VARIANTs holding BSTRs).
std::vector<std::u16string> ReadKeys(const VARIANT* keys) {
    std::vector<std::u16string> result;
    if (!keys || !(keys->vt & VT_ARRAY) || !keys->parray) return result;
    SAFEARRAY* array = keys->parray;
    LONG lower = 0, upper = -1;
    if (SafeArrayGetDim(array) != 1 || FAILED(SafeArrayGetLBound(array, 1, &lower)) ||
        FAILED(SafeArrayGetUBound(array, 1, &upper)))
        return result;
    const VARTYPE type = VARTYPE(keys->vt & VT_TYPEMASK);
    for (LONG i = lower; i <= upper; ++i) {
        std::u16string key;
        if (type == VT_BSTR) {
            BSTR text = nullptr;
            if (SUCCEEDED(SafeArrayGetElement(array, &i, &text)) && text) {
                key.assign(text, SysStringLen(text));
                SysFreeString(text);
            }
        } else if (type == VT_VARIANT) {
            VariantHolder element;
            if (SUCCEEDED(SafeArrayGetElement(array, &i, element.get())) && element->vt == VT_BSTR && element->bstrVal)
                key.assign(element->bstrVal, SysStringLen(element->bstrVal));
        }
        result.push_back(std::move(key));
    }
    return result;
}

void DeleteAllColumns(HWND list) {
    if (!list) return;
    while (SendMessageW(list, LVM_DELETECOLUMN, 0, 0)) {
    }
}

int ColumnCount(HWND list) {
    int count = 0;
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    while (list && SendMessageW(list, LVM_GETCOLUMNW, WPARAM(count), reinterpret_cast<LPARAM>(&column))) ++count;
    return count;
}

}  // namespace

HRESULT Panorel::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
    return lumivel::com::CreateComObject<Panorel, lumivel::com::Aggregation::Refused>(outer, riid, ppv);
}

Panorel::Panorel() : m_prepareOnWorkerFrom(kPrepareOnWorkerFrom) { m_records.setFilter(&m_filter); }

Panorel::~Panorel() {
    if (m_window) DestroyWindow(m_window);
    // Without a window nothing else let go of the records and interfaces.
    ReleaseInterfaces();
    m_commandsRunning = 0;
    releaseRecords(m_heldRecords);
    if (m_smallImages) ImageList_Destroy(m_smallImages);
    if (m_largeImages) ImageList_Destroy(m_largeImages);
}

void Panorel::releaseRecords(std::vector<PropertySet*>& records) {
    if (m_commandsRunning > 0) {
        m_heldRecords.insert(m_heldRecords.end(), records.begin(), records.end());
        records.clear();
        return;
    }
    // The last reference to a large list's records may be this one: they are freed on a worker.
    lumivel::shared::ReleaseRecordsAside(records);
}

Panorel::CommandScope::~CommandScope() {
    if (--m_control.m_commandsRunning > 0) return;
    std::vector<PropertySet*> held = std::move(m_control.m_heldRecords);
    m_control.m_heldRecords.clear();
    m_control.releaseRecords(held);
}

std::u16string Panorel::sortKey() const {
    return size_t(m_sortColumn) < m_topKeys.size() ? m_topKeys[size_t(m_sortColumn)] : std::u16string(kNameKey);
}

PropertySet* Panorel::record(HWND list, long index) const {
    if (list == m_topList) return m_records.at(index);
    if (list == m_bottomList && index >= 0 && size_t(index) < m_bottomRecords.size())
        return m_bottomRecords[size_t(index)];
    return nullptr;
}

std::vector<ComPtr<IProviderCommands>> Panorel::menuCommands() const {
    std::vector<ComPtr<IProviderCommands>> commands;
    for (const ComPtr<IUnknown>& provider : m_menuProviders) {
        ComPtr<IProviderCommands> each;
        if (provider) provider.queryInterface(IID_IProviderCommands, &each);
        commands.push_back(std::move(each));
    }
    return commands;
}

void Panorel::insertColumns(HWND list, const VARIANT* columns) {
    if (!list) return;
    int index = 0;
    for (LONG_PTR address : lumivel::shared::ReadAddressList(columns, lumivel::shared::ListForm::AnyArray)) {
        auto* column = reinterpret_cast<LVCOLUMNW*>(address);
        if (!column) continue;
        LVCOLUMNW shown = *column;
        if (shown.mask & LVCF_WIDTH) shown.cx = std::clamp(shown.cx, 0, kMaxColumnWidth);
        SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(index), reinterpret_cast<LPARAM>(&shown));
        ++index;
    }
}

HRESULT Panorel::SetInterfaces(IUnknown* ipProvider, IUnknown* ipIconCache, IUnknown* ipConsole,
                               IUnknown* ipConsoleNamespace) {
    if (ipProvider) {
        ComPtr<IProviderData> provider;
        if (SUCCEEDED(ipProvider->QueryInterface(IID_IProviderData, provider.putVoid())) && provider) {
            m_provider = provider;
            m_topKeys.clear();
            m_bottomKeys.clear();
            loadTopColumns();
            loadBottomColumns(false);
        }
    }
    if (ipIconCache) {
        ComPtr<ISchemaCache> cache;
        if (SUCCEEDED(ipIconCache->QueryInterface(IID_ISchemaCache, cache.putVoid())) && cache) {
            m_schemaCache = cache;
            LONG_PTR small = 0, large = 0;
            m_schemaCache->GetSmallImageList(&small);
            m_schemaCache->GetLargeImageList(&large);
            // The cache hands out copies; the lists only borrow them (shared image lists).
            for (HWND list : {m_topList, m_bottomList}) {
                if (!list) continue;
                SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, small);
                SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, large);
            }
            if (m_smallImages) ImageList_Destroy(m_smallImages);
            if (m_largeImages) ImageList_Destroy(m_largeImages);
            m_smallImages = reinterpret_cast<HIMAGELIST>(small);
            m_largeImages = reinterpret_cast<HIMAGELIST>(large);
        }
    }
    if (ipConsole) {
        ComPtr<IConsole2> console;
        if (SUCCEEDED(ipConsole->QueryInterface(IID_IConsole2, console.putVoid())) && console) {
            m_console = console;
            if (m_provider) m_provider->SetConsole(m_console.get());
        }
    }
    if (ipConsoleNamespace) {
        ComPtr<IConsoleNameSpace2> names;
        if (SUCCEEDED(ipConsoleNamespace->QueryInterface(IID_IConsoleNameSpace2, names.putVoid())) && names)
            m_namespace = names;
    }
    return S_OK;
}

bool Panorel::showTopColumns(LONG viewType) {
    VariantHolder columns, keys;
    if (!m_provider || FAILED(m_provider->GetColumns(viewType, columns.get(), keys.get())) || columns->vt == VT_EMPTY)
        return false;
    DeleteAllColumns(m_topList);
    insertColumns(m_topList, columns.get());
    m_topKeys = ReadKeys(keys.get());
    m_topViewType = viewType;
    return true;
}

void Panorel::loadBottomColumns(bool refreshDetails) {
    m_bottomKeys.clear();
    DeleteAllColumns(m_bottomList);
    VariantHolder columns, keys;
    if (m_provider) m_provider->GetColumns(kPanorelBottomPane, columns.get(), keys.get());
    for (size_t i = m_menuProviders.size(); columns->vt == VT_EMPTY && i-- > 0;) {
        ComPtr<IProviderData> data;
        if (!m_menuProviders[i] || FAILED(m_menuProviders[i].queryInterface(IID_IProviderData, &data))) continue;
        keys.clear();
        data->GetColumns(kPanorelBottomPane, columns.get(), keys.get());
    }
    insertColumns(m_bottomList, columns.get());
    m_bottomKeys = ReadKeys(keys.get());
    if (refreshDetails) selectionChanged();
}

void Panorel::saveColumnWidths(HWND list, IProviderData* provider, LONG pane) {
    if (!list || !provider) return;
    VariantHolder columns;
    if (FAILED(provider->GetColumns(pane, columns.get(), nullptr))) return;
    std::vector<LONG_PTR> records = lumivel::shared::ReadAddressList(columns.get(), lumivel::shared::ListForm::AnyArray);
    const int shown = ColumnCount(list);
    for (size_t i = 0; i < records.size() && int(i) < shown; ++i) {
        auto* column = reinterpret_cast<LVCOLUMNW*>(records[i]);
        if (!column) continue;
        int width = int(SendMessageW(list, LVM_GETCOLUMNWIDTH, WPARAM(i), 0));
        // A width nobody could want back is stored as the default.
        column->cx = (width > kMaxSavedColumnWidth || width < 0) ? kFallbackColumnWidth : width;
    }
}

HRESULT Panorel::ReleaseInterfaces() {
    m_schemaCache.reset();
    if (m_provider) {
        saveColumnWidths(m_topList, m_provider.get(), m_topViewType);
        VariantHolder bottom;
        if (SUCCEEDED(m_provider->GetColumns(kPanorelBottomPane, bottom.get(), nullptr)) && bottom->vt != VT_EMPTY) {
            saveColumnWidths(m_bottomList, m_provider.get(), kPanorelBottomPane);
        } else {
            for (size_t i = m_menuProviders.size(); i-- > 1;) {
                ComPtr<IProviderData> data;
                if (!m_menuProviders[i] || FAILED(m_menuProviders[i].queryInterface(IID_IProviderData, &data))) continue;
                VariantHolder columns;
                if (FAILED(data->GetColumns(kPanorelBottomPane, columns.get(), nullptr)) || columns->vt == VT_EMPTY)
                    continue;
                saveColumnWidths(m_bottomList, data.get(), kPanorelBottomPane);
                break;
            }
        }
        m_provider->SetConsole(nullptr);
        m_provider.reset();
    }
    DeleteAllColumns(m_topList);
    DeleteAllColumns(m_bottomList);
    m_topKeys.clear();
    m_bottomKeys.clear();
    m_topViewType = kPanorelTopPane;
    m_expiresOffered = false;
    m_restoresIntoOffered = false;
    m_fitColumnsPending = false;
    m_menuProviders.clear();
    m_console.reset();
    m_namespace.reset();
    // The hidden node's records go too: a refresh may replace its list before it is shown again.
    clearPanes();
    return S_OK;
}

void Panorel::clearPanes() {
    m_preparing.reset();
    forgetListedTombstones();
    m_topInput.clear();
    for (HWND list : {m_topList, m_bottomList})
        if (list) SendMessageW(list, LVM_SETITEMCOUNT, 0, 0);
    std::vector<PropertySet*> top = m_records.all();
    m_records.clear();
    m_filter.setRecords({});
    releaseRecords(top);
    releaseRecords(m_bottomRecords);
    m_lastShown = nullptr;
}

HRESULT Panorel::SetObjects(LONG lPane, VARIANT* pvarObjects) {
    std::vector<PropertySet*> records;
    for (PropertySet* record : lumivel::shared::ReadObjectList(pvarObjects, lumivel::shared::ListForm::AnyArray)) {
        if (!record) continue;
        record->addRef();
        records.push_back(record);
    }
    if (lPane == kPanorelTopPane) {
        // A list still being ordered is overtaken by this one.
        m_preparing.reset();
        // The same list again (a refresh that found nothing changed): the rows stay as shown.
        if (pvarObjects && !records.empty() && records == m_topInput) {
            releaseRecords(records);
            redraw(m_topList);
            showStatus();
            return S_OK;
        }
        // A refresh that changed a few records: only those move, and the view stays put.
        if (pvarObjects && applyDifference(records)) return S_OK;
        if (pvarObjects && startPreparing(records)) return S_OK;
        // A list that replaces another keeps what was selected and the row at the top, where
        // those records are still listed.
        KeptView kept = pvarObjects ? keptView() : KeptView{};
        if (m_topList) SendMessageW(m_topList, LVM_SETITEMCOUNT, 0, 0);
        std::vector<PropertySet*> old = m_records.all();
        forgetListedTombstones();
        orderAtOnce(records);
        m_topInput = pvarObjects ? std::move(records) : std::vector<PropertySet*>{};
        finishHandOver(kept, old, pvarObjects != nullptr);
    } else if (lPane == kPanorelBottomPane) {
        replaceBottomRecords(std::move(records));
        if (!pvarObjects) m_lastShown = nullptr;
    } else {
        releaseRecords(records);
    }
    return S_OK;
}

void Panorel::orderAtOnce(const std::vector<PropertySet*>& records) {
    // The filter takes the records in the list's order, which it then reads without a search.
    m_filter.setRecords({});
    m_records.assign(records, sortKey());
    m_filter.setRecords(m_records.all());
    m_records.refilter();
}

void Panorel::finishHandOver(const KeptView& kept, std::vector<PropertySet*>& old, bool listed) {
    if (m_topList) {
        SendMessageW(m_topList, LVM_SETITEMCOUNT, WPARAM(m_records.size()), 0);
        if (m_fitColumnsPending && !m_records.empty() && fitColumnsToPane()) m_fitColumnsPending = false;
    }
    const bool reselected = restoreView(kept);
    // Let go of the old records only now: a record in both lists stays alive throughout.
    releaseRecords(old);
    if (m_topList) redraw(m_topList);
    if (!reselected) selectionChanged();
    if (listed) showStatus();
}

HRESULT Panorel::get_SelectedNode(LONG_PTR* plNode) {
    if (!plNode) return E_POINTER;
    *plNode = m_selectedNode;
    return S_OK;
}

HRESULT Panorel::put_SelectedNode(LONG_PTR lNode) {
    m_selectedNode = lNode;
    return S_OK;
}

HRESULT Panorel::get_HSCOPEITEM(LONG_PTR* plItem) {
    if (!plItem) return E_POINTER;
    *plItem = m_scopeItem;
    return S_OK;
}

HRESULT Panorel::put_HSCOPEITEM(LONG_PTR lItem) {
    m_scopeItem = lItem;
    return S_OK;
}

HRESULT Panorel::SetMenuInterfaces(VARIANT* pvarInterfaces) {
    m_menuProviders.clear();
    const VARIANT* list = pvarInterfaces;
    if (list && list->vt == (VT_BYREF | VT_VARIANT)) list = list->pvarVal;
    for (LONG_PTR address : lumivel::shared::ReadAddressList(list, lumivel::shared::ListForm::AnyArray))
        m_menuProviders.emplace_back(reinterpret_cast<IUnknown*>(address));
    return S_OK;
}

HRESULT Panorel::SetMode(LONG lMode) {
    m_mode = lMode;
    if (lMode < kPanorelModeTopOnly || lMode > kPanorelModeBottomText) return S_OK;
    if (lMode == kPanorelModeBottomText) setText(u"");
    if (m_bottomList) ShowWindow(m_bottomList, lMode == kPanorelModeBottomList ? SW_SHOW : SW_HIDE);
    if (m_textPane) ShowWindow(m_textPane, lMode == kPanorelModeBottomText ? SW_SHOW : SW_HIDE);
    if (m_window) {
        RECT client{};
        GetClientRect(m_window, &client);
        layout(client.right - client.left, client.bottom - client.top);
    }
    return S_OK;
}

void Panorel::setText(const WCHAR* text) {
    if (!m_textPane) return;
    // Handed over as UTF-16 (code page 1200): no character of the details is lost.
    SETTEXTEX options{};
    options.flags = ST_DEFAULT;
    options.codepage = 1200;
    SendMessageW(m_textPane, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&options), reinterpret_cast<LPARAM>(text ? text : u""));
}

void Panorel::redraw(HWND list) {
    if (list) InvalidateRect(list, nullptr, TRUE);
}

std::vector<PropertySet*> Panorel::selectedTopRecords() const {
    std::vector<PropertySet*> selected;
    if (!m_topList) return selected;
    for (long i = long(SendMessageW(m_topList, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED)); i >= 0;
         i = long(SendMessageW(m_topList, LVM_GETNEXTITEM, WPARAM(i), LVNI_SELECTED))) {
        if (PropertySet* each = m_records.at(i)) selected.push_back(each);
    }
    return selected;
}

void Panorel::selectionChanged() {
    std::vector<PropertySet*> selection = selectedTopRecords();
    // Nothing selected, however it came about: the details are the shown node's.
    if (selection.empty()) {
        PropertySet* node = selectedNodeRecord();
        if (node && node == m_lastShown) {
            m_lastShown = nullptr;
            return;
        }
        m_lastShown = node;
        if (node) selection.push_back(node);
    } else {
        m_lastShown = nullptr;
    }
    VariantHolder list;
    lumivel::shared::BuildObjectList(selection, list.get());
    LONG mode = 0;
    VariantHolder details;
    HRESULT result = E_NOTIMPL;
    if (m_provider) result = m_provider->GetDetails(list.get(), &mode, details.get());
    if (result == E_NOTIMPL) {
        for (const ComPtr<IUnknown>& provider : m_menuProviders) {
            ComPtr<IProviderData> data;
            if (!provider || FAILED(provider.queryInterface(IID_IProviderData, &data))) continue;
            mode = 0;
            details.clear();
            result = data->GetDetails(list.get(), &mode, details.get());
            if (result == S_OK && mode == kPanorelModeBottomList) break;
        }
    }
    if (result == S_OK) showDetails(mode, details.get());
}

void Panorel::showDetails(LONG mode, VARIANT* details) {
    if (mode == kPanorelModeBottomList) {
        fillBottomList(details);
    } else if (mode == kPanorelModeBottomText) {
        setText(details->vt == VT_BSTR && details->bstrVal && SysStringLen(details->bstrVal) ? details->bstrVal : u"");
    }
}

void Panorel::fillBottomList(VARIANT* details) {
    // The details list's records are handed over with it: the control keeps their references.
    std::vector<PropertySet*> records;
    for (PropertySet* each : lumivel::shared::ReadObjectList(details, lumivel::shared::ListForm::AnyArray))
        if (each) records.push_back(each);
    replaceBottomRecords(std::move(records));
}

void Panorel::replaceBottomRecords(std::vector<PropertySet*> records) {
    if (m_bottomList) SendMessageW(m_bottomList, LVM_SETITEMCOUNT, 0, 0);
    std::vector<PropertySet*> old = std::move(m_bottomRecords);
    m_bottomRecords = std::move(records);
    releaseRecords(old);
    if (m_bottomList) {
        SendMessageW(m_bottomList, LVM_SETITEMCOUNT, WPARAM(m_bottomRecords.size()), 0);
        redraw(m_bottomList);
    }
}

}  // namespace panorel
