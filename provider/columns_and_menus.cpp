// IProviderData::GetColumns and IProviderCommands::GetMenu: the provider's part of the
// console's result list and context menus.
#include <string>
#include <vector>

#include "lumivel/registry_key.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "shared/object_list.h"
#include "shared/restores_into_column.h"
#include "shared/text_helpers.h"

using lumivel::RegistryKey;

namespace revivo {

namespace {

constexpr DWORD kDefaultColumnWidth = 100;

struct ColumnDefinition {
    const char16_t* title;
    const char16_t* key;
};
constexpr ColumnDefinition kColumns[] = {
    {u"Name", u"name"},
    {u"Last Known Parent", u"parent"},
    {u"Class", u"FriendlyClassName"},
    {u"Date Deleted", u"dateDeleted"},
    // Only in the view types that ask for them; the first four stay the result list's own.
    {kExpiresKey, kExpiresKey},
    {kRestoresIntoTitle, kRestoresIntoKey},
};
constexpr size_t kResultListColumns = 4;
constexpr size_t kExpiresColumn = 4;
constexpr size_t kRestoresIntoColumn = 5;

// The columns of a view type, by their places in kColumns; none for a type we do not have.
std::vector<size_t> columnsOf(LONG viewType) {
    std::vector<size_t> shown{0, 1, 2, 3};
    if (viewType == kViewTypeResultWithExpires || viewType == kViewTypeResultWithBoth) shown.push_back(kExpiresColumn);
    if (viewType == kViewTypeResultWithRestoresInto || viewType == kViewTypeResultWithBoth)
        shown.push_back(kRestoresIntoColumn);
    if (viewType != 1 && shown.size() == kResultListColumns) shown.clear();
    return shown;
}

void grayItem(HMENU menu, UINT command) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_STATE;
    info.fState = MFS_DISABLED | MFS_GRAYED;
    SetMenuItemInfoW(menu, command, FALSE, &info);
}

// Our own items follow the Part's one so that "&Restore" keeps its place and accelerator.
void appendItems(HMENU target, HMENU source) {
    if (!target || !source) return;
    for (int i = 0; i < GetMenuItemCount(source); ++i) {
        WCHAR text[128] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = ARRAYSIZE(text);
        if (GetMenuItemInfoW(source, UINT(i), TRUE, &info))
            InsertMenuItemW(target, UINT(GetMenuItemCount(target)), TRUE, &info);
    }
}

}  // namespace

STDMETHODIMP Revivo::GetColumns(LONG lViewType, VARIANT* pvarColumns, VARIANT* pvarKeys) {
    const std::vector<size_t> shown = columnsOf(lViewType);
    if (shown.empty()) return S_OK;
    RegistryKey widths;
    widths.create(HKEY_CURRENT_USER, kResultColumnsKey, KEY_ALL_ACCESS);
    // Built once for both view types: the control writes its widths back into these records.
    if (m_columns.empty()) {
        for (const ColumnDefinition& definition : kColumns) {
            auto* column = static_cast<LVCOLUMNW*>(CoTaskMemAlloc(sizeof(LVCOLUMNW)));
            if (!column) break;
            *column = LVCOLUMNW{};
            column->mask = LVCF_WIDTH | LVCF_TEXT;
            column->cx = static_cast<int>(widths.readDword(definition.title).value_or(kDefaultColumnWidth));
            column->pszText = const_cast<LPWSTR>(definition.title);
            m_columns.push_back(column);
        }
    }
    // Records that could not all be made are handed out as far as they go.
    if (pvarColumns && !m_columns.empty()) {
        std::vector<LONG_PTR> addresses;
        for (size_t i : shown)
            if (i < m_columns.size()) addresses.push_back(reinterpret_cast<LONG_PTR>(m_columns[i]));
        lumivel::shared::BuildAddressList(addresses, pvarColumns);
    }
    if (pvarKeys) {
        std::vector<LPWSTR> keys;
        for (size_t i : shown) keys.push_back(const_cast<LPWSTR>(kColumns[i].key));
        ADsBuildVarArrayStr(keys.data(), DWORD(keys.size()), pvarKeys);
    }
    return S_OK;
}

STDMETHODIMP Revivo::GetMenu(LONG lMenuType, VARIANT* pvarSelection, HMENU* phMenu, HINSTANCE* phInstance) {
    if (phInstance) *phInstance = lumivel::com::ThisModuleHandle();
    if (lMenuType != kMenuTypeContext || !phMenu) return S_OK;
    std::vector<PropertySet*> selection = lumivel::shared::ReadObjectList(pvarSelection, lumivel::shared::ListForm::AnyArray);
    const PropertySet* first = selection.empty() ? nullptr : selection.front();
    if (!first) {
        *phMenu = LoadMenuW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDR_MENU_ROOT));
        return S_OK;
    }
    if (!first->getRaw(u"FromRevivoProvider")) return S_OK;
    BSTR className = first->className();
    bool deletedObject = className && !lumivel::EqualsNoCase(lumivel::shared::ViewOf(className), u"domainDNS") &&
                         !first->getRaw(u"Removable");
    bool several = selection.size() >= 2;
    HMENU menu = LoadMenuW(lumivel::com::ThisModuleHandle(),
                           MAKEINTRESOURCEW(deletedObject ? IDR_MENU_DELETED_OBJECT : IDR_MENU_DOMAIN_NODE));
    if (menu && deletedObject) {
        HMENU extras = LoadMenuW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDR_MENU_RESTORE_EXTRAS));
        appendItems(menu, extras);
        if (extras) DestroyMenu(extras);
    }
    // "Restore &Selected (N)..." is for a selection of several; each item above takes one.
    if (menu && deletedObject && !several) DeleteMenu(menu, ID_RESTORE_SELECTED, MF_BYCOMMAND);
    if (menu && deletedObject && several) {
        std::u16string text = u"Restore &Selected (" + lumivel::shared::WidenText(std::to_string(selection.size())) + u")...";
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_STRING;
        info.dwTypeData = text.data();
        SetMenuItemInfoW(menu, ID_RESTORE_SELECTED, FALSE, &info);
    }
    if (menu && several) {
        grayItem(menu, deletedObject ? ID_RESTORE : ID_CONNECT_DC);
        // Each of these works on one tombstone, as "&Restore" does.
        if (deletedObject)
            for (UINT command : {ID_RESTORE_PLAN_DIALOG, ID_RESTORE_TO, ID_RESTORE_SUBTREE_REPORT}) grayItem(menu, command);
    }
    *phMenu = menu;
    return S_OK;
}

}  // namespace revivo
