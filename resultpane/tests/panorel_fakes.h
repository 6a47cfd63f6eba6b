// A provider, a schema cache, a console with its namespace, a scope node and an in-place site
// of the tests' own: each implements the calls the control makes and notes them.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "lumivel/variant_holder.h"
#include "resultpane/panorel.h"
#include "shared/object_list.h"
#include "snapin/scope_node.h"
#include "win/adshlp_build.h"
#include "win/gdi.h"

namespace panoreltest {

using lumivel::ComPtr;

// A record with the given name, class and further string values; one reference, the caller's.
inline PropertySet* MakeRecord(std::u16string_view name, std::u16string_view className = u"user",
                               std::initializer_list<std::pair<const char16_t*, const char16_t*>> more = {}) {
    PropertySet* record = PropertySet::create();
    record->setText(u"name", name);
    record->setText(u"class", className);
    for (auto [key, value] : more) record->setString(key, value);
    record->ImageIndex = -1;
    return record;
}

inline lumivel::VariantHolder* ListOf(const std::vector<PropertySet*>& records, lumivel::VariantHolder* holder) {
    lumivel::shared::BuildObjectList(records, holder->put());
    return holder;
}

class FakeProvider final : public lumivel::com::ComObject<FakeProvider, IProviderData, IProviderCommands> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<FakeProvider, IProviderData>(IID_IProviderData),
        lumivel::com::InterfaceOf<FakeProvider, IProviderCommands>(IID_IProviderCommands),
    };

    struct Call {
        std::string method;
        LONG kind = 0;
        LONG command = 0;
        std::vector<PropertySet*> selection;
        std::u16string text;
    };

    FakeProvider() = default;
    ~FakeProvider() override {
        for (LVCOLUMNW* column : topColumns) delete column;
        for (LVCOLUMNW* column : bottomColumns) delete column;
        delete expiresColumn;
        delete restoresIntoColumn;
    }

    void clearTopColumns() {
        for (LVCOLUMNW* column : topColumns) delete column;
        topColumns.clear();
        topKeys.clear();
    }

    void addColumn(const char16_t* title, const char16_t* key, int width, bool bottom = false) {
        auto* column = new LVCOLUMNW{};
        column->mask = LVCF_WIDTH | LVCF_TEXT;
        column->cx = width;
        column->pszText = const_cast<LPWSTR>(title);
        (bottom ? bottomColumns : topColumns).push_back(column);
        (bottom ? bottomKeys : topKeys).push_back(key);
    }

    // View type 3, as the restore provider answers it: the top columns' own records, then "Expires".
    void offerExpiresColumn(int width) {
        expiresColumn = new LVCOLUMNW{};
        expiresColumn->mask = LVCF_WIDTH | LVCF_TEXT;
        expiresColumn->cx = width;
        expiresColumn->pszText = const_cast<LPWSTR>(u"Expires");
    }

    // View types 4 and 5: the top columns, ("Expires",) then "Restores Into".
    void offerRestoresIntoColumn(int width) {
        restoresIntoColumn = new LVCOLUMNW{};
        restoresIntoColumn->mask = LVCF_WIDTH | LVCF_TEXT;
        restoresIntoColumn->cx = width;
        restoresIntoColumn->pszText = const_cast<LPWSTR>(u"Restores Into");
    }

    // IProviderData
    HRESULT STDMETHODCALLTYPE GetColumns(LONG lViewType, VARIANT* pvarColumns, VARIANT* pvarKeys) override {
        const bool expires = lViewType == 3 || lViewType == 5, place = lViewType == 4 || lViewType == 5;
        if (lViewType < 1 || lViewType > 5 || (expires && !expiresColumn) || (place && !restoresIntoColumn)) return S_OK;
        std::vector<LVCOLUMNW*> columns = lViewType == 2 ? bottomColumns : topColumns;
        std::vector<std::u16string> keys = lViewType == 2 ? bottomKeys : topKeys;
        if (expires) {
            columns.push_back(expiresColumn);
            keys.push_back(u"Expires");
        }
        if (place) {
            columns.push_back(restoresIntoColumn);
            keys.push_back(u"RestoresInto");
        }
        if (columns.empty()) return S_OK;
        std::vector<LONG_PTR> addresses;
        for (LVCOLUMNW* column : columns) addresses.push_back(reinterpret_cast<LONG_PTR>(column));
        if (pvarColumns) lumivel::shared::BuildAddressList(addresses, pvarColumns);
        if (pvarKeys) {
            std::vector<LPWSTR> texts;
            for (const std::u16string& key : keys) texts.push_back(const_cast<LPWSTR>(key.c_str()));
            ADsBuildVarArrayStr(texts.data(), DWORD(texts.size()), pvarKeys);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ActivateObject(HWND, LONG_PTR lRecord) override {
        calls.push_back({"ActivateObject", 0, 0, {reinterpret_cast<PropertySet*>(lRecord)}, {}});
        return activateResult;
    }
    HRESULT STDMETHODCALLTYPE SetConsole(IUnknown* pConsole) override {
        consoleSet = pConsole != nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DeleteObjects(HWND, VARIANT* pvarSelection, VARIANT* pvarResult) override {
        note("DeleteObjects", 0, 0, pvarSelection);
        return answer(pvarSelection, pvarResult);
    }
    HRESULT STDMETHODCALLTYPE ReservedCommand(HWND, VARIANT* pvarSelection, VARIANT*) override {
        note("ReservedCommand", 0, 0, pvarSelection);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ShowProperties(HWND, VARIANT* pvarSelection, VARIANT*) override {
        note("ShowProperties", 0, 0, pvarSelection);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDetails(VARIANT* pvarSelection, LONG* plMode, VARIANT* pvarDetails) override {
        note("GetDetails", 0, 0, pvarSelection);
        if (detailsResult != S_OK) return detailsResult;
        *plMode = detailsMode;
        if (detailsMode == 2) {
            std::u16string text = detailsText;
            auto selection = lumivel::shared::ReadObjectList(pvarSelection);
            if (!selection.empty() && selection.front()) text += selection.front()->getText(u"name");
            pvarDetails->vt = VT_BSTR;
            pvarDetails->bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
        } else if (detailsMode == 1) {
            std::vector<PropertySet*> records;
            for (const std::u16string& name : detailsRecords) records.push_back(MakeRecord(name));
            lumivel::shared::BuildObjectList(records, pvarDetails);
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LinkClicked(HWND, VARIANT* pvarSelection, BSTR bstrLink, VARIANT*) override {
        note("LinkClicked", 0, 0, pvarSelection);
        calls.back().text = bstrLink ? std::u16string(bstrLink) : u"";
        return S_OK;
    }

    // IProviderCommands
    HRESULT STDMETHODCALLTYPE GetNodes(LONG, LONG, LONG, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMenu(LONG lMenuType, VARIANT* pvarSelection, HMENU* phMenu, HINSTANCE*) override {
        note("GetMenu", lMenuType, 0, pvarSelection);
        auto found = menus.find(lMenuType);
        if (found == menus.end() || !phMenu) return S_OK;
        HMENU menu = CreatePopupMenu();
        for (auto [id, text] : found->second) AppendMenuW(menu, MF_STRING, id, text.c_str());
        *phMenu = menu;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND, LONG lReserved, LONG lCommandId, VARIANT* pvarSelection,
                                             VARIANT* pvarResult) override {
        note("ExecuteCommand", lReserved, lCommandId, pvarSelection);
        return answer(pvarSelection, pvarResult);
    }
    HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG, LONG, LONG) override { return S_OK; }

    std::vector<const Call*> callsOf(const std::string& method) const {
        std::vector<const Call*> found;
        for (const Call& call : calls)
            if (call.method == method) found.push_back(&call);
        return found;
    }

    std::vector<LVCOLUMNW*> topColumns, bottomColumns;
    std::vector<std::u16string> topKeys, bottomKeys;
    LVCOLUMNW* expiresColumn = nullptr;
    LVCOLUMNW* restoresIntoColumn = nullptr;
    std::map<LONG, std::vector<std::pair<UINT, std::u16string>>> menus;
    HRESULT detailsResult = S_OK;
    LONG detailsMode = 2;
    std::u16string detailsText = u"Details of ";
    std::vector<std::u16string> detailsRecords;
    HRESULT activateResult = S_OK;
    // The header reason a command answers with, heading the selected records; empty: none.
    std::u16string resultReason;
    std::vector<Call> calls;
    bool consoleSet = false;

private:
    void note(const char* method, LONG kind, LONG command, VARIANT* selection) {
        calls.push_back({method, kind, command, lumivel::shared::ReadObjectList(selection), {}});
    }
    HRESULT answer(VARIANT* selection, VARIANT* result) {
        if (resultReason.empty() || !result) return S_OK;
        PropertySet* header = PropertySet::create();
        header->setText(u"RefreshReason", resultReason);
        std::vector<PropertySet*> list{header};
        for (PropertySet* record : lumivel::shared::ReadObjectList(selection)) list.push_back(record);
        lumivel::shared::BuildObjectList(list, result);
        return S_OK;
    }
};

class FakeSchemaCache final
    : public lumivel::com::ComObject<FakeSchemaCache, lumivel::com::DispatchWithoutTypeInfo<ISchemaCache>> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<FakeSchemaCache, ISchemaCache>(IID_ISchemaCache),
    };

    HRESULT STDMETHODCALLTYPE LookupObjectGuid(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupGuidObject(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetLargeImageList(LONG_PTR* plImageList) override {
        *plImageList = reinterpret_cast<LONG_PTR>(makeList(32));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSmallImageList(LONG_PTR* plImageList) override {
        *plImageList = reinterpret_cast<LONG_PTR>(makeList(16));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIconIndex(BSTR bstrClass, LONG* plIndex) override {
        std::u16string name = bstrClass ? std::u16string(bstrClass) : u"";
        lookups.push_back(name);
        auto found = icons.find(name);
        *plIndex = found == icons.end() ? -1 : found->second;
        return found == icons.end() ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE AddIconToImageList(BSTR, LONG_PTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsClassContainer(BSTR) override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE InitializeActiveDirectoryIcons(LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSchemaContainers(LONG, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetImageListForNodeType(BSTR, LONG, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsClass(BSTR, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupFriendlyNames(BSTR, BSTR, BSTR*, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LookupFriendlyClassName(BSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPossibleChildren(BSTR, BSTR, VARIANT*, VARIANT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsInitialized() override { return S_OK; }

    // Icons the lists hold, by index: a square of one colour each, for the screenshot.
    std::vector<COLORREF> colours;
    std::map<std::u16string, LONG> icons;
    std::vector<std::u16string> lookups;

private:
    HIMAGELIST makeList(int size) {
        HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, int(colours.size()), 4);
        for (COLORREF colour : colours) {
            HDC screen = GetDC(nullptr);
            HDC dc = CreateCompatibleDC(screen);
            HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
            HGDIOBJ old = SelectObject(dc, bitmap);
            RECT all{0, 0, size, size};
            HBRUSH brush = CreateSolidBrush(colour);
            FillRect(dc, &all, brush);
            DeleteObject(brush);
            SelectObject(dc, old);
            ImageList_Add(list, bitmap, nullptr);
            DeleteObject(bitmap);
            DeleteDC(dc);
            ReleaseDC(nullptr, screen);
        }
        return list;
    }
};

// The console and its namespace: scope items are numbers that map to node objects.
class FakeConsole final : public lumivel::com::ComObject<FakeConsole, IConsole2, IConsoleNameSpace2> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<FakeConsole, IConsole2>(IID_IConsole2),
        lumivel::com::InterfaceOf<FakeConsole, IConsoleNameSpace2>(IID_IConsoleNameSpace2),
    };

    HRESULT STDMETHODCALLTYPE SetHeader(IHeaderCtrl*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetToolbar(IToolbar*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryResultView(LPUNKNOWN*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryScopeImageList(LPIMAGELIST*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryResultImageList(LPIMAGELIST*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UpdateAllViews(LPDATAOBJECT, LPARAM, LONG_PTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE MessageBox(LPCWSTR, LPCWSTR, UINT, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryConsoleVerb(LPCONSOLEVERB*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SelectScopeItem(HSCOPEITEM hScopeItem) override {
        selected.push_back(hScopeItem);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMainWindow(HWND*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NewWindow(HSCOPEITEM, unsigned long) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsTaskpadViewPreferred() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPOLESTR text) override {
        status = text ? text : u"";
        return S_OK;
    }
    std::u16string status;

    HRESULT STDMETHODCALLTYPE InsertItem(LPSCOPEDATAITEM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteItem(HSCOPEITEM hItem, long) override {
        deleted.push_back(hItem);
        nodes.erase(hItem);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetItem(LPSCOPEDATAITEM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItem(LPSCOPEDATAITEM item) override {
        auto found = nodes.find(item->ID);
        if (found == nodes.end()) return E_INVALIDARG;
        if (item->mask & SDI_PARAM) item->lParam = reinterpret_cast<LPARAM>(found->second);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetChildItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNextItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetParentItem(HSCOPEITEM, HSCOPEITEM*, MMC_COOKIE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddExtension(HSCOPEITEM, LPCLSID) override { return E_NOTIMPL; }

    std::map<HSCOPEITEM, snapin::ScopeNode*> nodes;
    std::vector<HSCOPEITEM> selected, deleted;
};

// A scope node as the snap-in keeps one: its list holds a reference to each record.
class FakeNode final : public snapin::ScopeNode {
public:
    FakeNode() : ScopeNode(u"Node", u"{00000000-0000-0000-0000-000000000001}") {}
    HRESULT AfterPropertyPages() override { return S_OK; }
    HRESULT AddMenuItems(LPCONTEXTMENUCALLBACK, long*) override { return S_OK; }
    HRESULT Command(LONG, LONG, snapin::SnapinData*) override { return S_OK; }
    HRESULT Enumerate(HSCOPEITEM, IConsoleNameSpace2*) override { return S_OK; }
    HRESULT Expand(IDataObject*, BOOL, HSCOPEITEM, IConsoleNameSpace2*) override { return S_OK; }
    HRESULT AddScopeChild(PropertySet* record, IConsoleNameSpace2*) override {
        offered.push_back(record);
        return S_OK;
    }
    // Takes over the caller's references.
    void take(const std::vector<PropertySet*>& records) {
        VariantClear(&m_objects);
        VariantInit(&m_objects);
        lumivel::shared::BuildObjectList(records, &m_objects);
    }
    std::vector<PropertySet*> offered;
};

// The container side of in-place activation, with its window.
class FakeSite final : public lumivel::com::ComObject<FakeSite, IOleClientSite, IOleInPlaceSite> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<FakeSite, IOleClientSite>(IID_IOleClientSite),
        lumivel::com::InterfaceOf<FakeSite, IOleInPlaceSite>(IID_IOleInPlaceSite),
        lumivel::com::InterfaceOf<FakeSite, IOleInPlaceSite>(IID_IOleWindow),
    };
    explicit FakeSite(HWND window, RECT position) : window(window), position(position) {}

    HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer**) override { return E_NOINTERFACE; }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* phwnd) override {
        *phwnd = window;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return canActivate ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
        ++activations;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                               LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO) override {
        *ppFrame = nullptr;
        *ppDoc = nullptr;
        *lprcPosRect = position;
        *lprcClipRect = position;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        ++deactivations;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }

    HWND window;
    RECT position;
    bool canActivate = true;
    int activations = 0, deactivations = 0;
};

}  // namespace panoreltest
