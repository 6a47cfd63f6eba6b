// The control's window: its three children, layout and splitter, painting, and the list and
// text notifications.
#include <algorithm>
#include <mutex>
#include <optional>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "lumivel/wide_string.h"
#include "resultpane/panorel.h"
#include "shared/restores_into_column.h"
#include "resultpane/readable_text.h"
#include "shared/object_list.h"
#include "win/gdi.h"
#include "win/richedit.h"

using lumivel::ComPtr;
using lumivel::VariantHolder;

namespace panorel {

namespace {

constexpr DWORD kTopListStyle = 0x50001049;
constexpr DWORD kBottomListStyle = 0x40001049;
constexpr DWORD kTextPaneStyle = 0x40A11844;

LRESULT CALLBACK PanorelWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* control = reinterpret_cast<Panorel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!control) return DefWindowProcW(hwnd, message, wParam, lParam);
    return control->handleMessage(hwnd, message, wParam, lParam);
}

bool RegisterWindowClass() {
    static std::once_flag once;
    static bool registered = false;
    std::call_once(once, [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.lpfnWndProc = PanorelWindowProc;
        windowClass.hInstance = lumivel::com::ThisModuleHandle();
        windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        windowClass.lpszClassName = kPanorelWindowClass;
        registered = RegisterClassExW(&windowClass) != 0;
    });
    return registered;
}

void SetCursorFor(bool splitter) { SetCursor(LoadCursorW(nullptr, splitter ? IDC_SIZENS : IDC_ARROW)); }

}  // namespace

bool Panorel::createWindow(HWND parent, const RECT& position) {
    if (m_window) return true;
    if (!RegisterWindowClass()) return false;
    HWND hwnd = CreateWindowExW(0, kPanorelWindowClass, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN,
                                position.left, position.top, position.right - position.left,
                                position.bottom - position.top, parent, nullptr, lumivel::com::ThisModuleHandle(),
                                this);
    return hwnd != nullptr;
}

void Panorel::createChildren(HWND hwnd) {
    HINSTANCE instance = lumivel::com::ThisModuleHandle();
    m_topList = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, WC_LISTVIEWW, nullptr, kTopListStyle, 0, 0,
                                200, 100, hwnd, reinterpret_cast<HMENU>(INT_PTR(kTopListId)), instance, nullptr);
    if (m_topList) SendMessageW(m_topList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_HEADERDRAGDROP);
    m_bottomList = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, WC_LISTVIEWW, nullptr, kBottomListStyle,
                                   0, 120, 100, 100, hwnd, reinterpret_cast<HMENU>(INT_PTR(kBottomListId)), instance,
                                   nullptr);
    if (m_bottomList)
        SendMessageW(m_bottomList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT);
    m_textPane = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, u"RichEdit20W", nullptr, kTextPaneStyle, 0,
                                 120, 100, 100, hwnd, reinterpret_cast<HMENU>(INT_PTR(kTextPaneId)), instance,
                                 nullptr);
    if (m_textPane) {
        if (m_topList) SendMessageW(m_textPane, WM_SETFONT, SendMessageW(m_topList, WM_GETFONT, 0, 0), FALSE);
        SendMessageW(m_textPane, EM_EXLIMITTEXT, 0, -1);
        SendMessageW(m_textPane, EM_SETEVENTMASK, 0, ENM_LINK);
        SendMessageW(m_textPane, EM_AUTOURLDETECT, TRUE, 0);
    }
    createFilterBar(hwnd);
}

void Panorel::layout(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (m_split <= 0) m_split = firstSplit(height);
    // The stored position survives a smaller window; only what is shown is cut to fit. The
    // filter bar takes the top of the top pane.
    const int top = m_mode == kPanorelModeTopOnly ? height : std::clamp(m_split, 0, height);
    const int bar = std::min(layoutFilterBar(width), top);
    if (m_topList) MoveWindow(m_topList, 0, bar, width, top - bar, TRUE);
    const int bottom = std::max(height - top - 2, kMinBottomHeight);
    for (HWND pane : {m_bottomList, m_textPane})
        if (pane) MoveWindow(pane, 0, top + kPaneGap, width, bottom, TRUE);
}

void Panorel::dragSplitter(int y) {
    RECT client{};
    GetClientRect(m_window, &client);
    const int width = client.right - client.left, height = client.bottom - client.top;
    // Both panes keep a size of zero or more: the top one above the pointer, the bottom one below
    // the gap.
    if (y <= 0 || y + kPaneGap + 2 > height) return;
    const int bar = m_filterEdit ? std::min(kFilterBarHeight, y) : 0;
    if (m_topList) MoveWindow(m_topList, 0, bar, std::max(width - 2, 0), y - bar, TRUE);
    for (HWND pane : {m_bottomList, m_textPane})
        if (pane) MoveWindow(pane, 0, y + kPaneGap, std::max(width - 3, 0), std::max(height - y - 6, 0), TRUE);
    m_split = y;
}

int Panorel::firstSplit(int height) const {
    lumivel::RegistryKey panes;
    std::optional<DWORD> kept;
    if (panes.open(HKEY_CURRENT_USER, kPanesKey, KEY_READ) == ERROR_SUCCESS) kept = panes.readDword(kBottomHeightValue);
    // The top pane keeps a quarter of a window too small for the kept height.
    if (kept && *kept > 0 && *kept < DWORD(height)) return std::max(height - int(*kept), height / 4);
    return height - height / 3;
}

namespace {

// A height that cannot be kept still holds for this session.
void KeepBottomHeight(int height) {
    lumivel::RegistryKey panes;
    if (height > 0 && panes.create(HKEY_CURRENT_USER, kPanesKey, KEY_SET_VALUE) == ERROR_SUCCESS)
        panes.writeDword(kBottomHeightValue, DWORD(height));
}

}  // namespace

bool Panorel::overSurface(POINT client) const {
    return ChildWindowFromPointEx(m_window, client, CWP_SKIPINVISIBLE) == m_window;
}

void Panorel::paint(HDC dc, const RECT& bounds) {
    HGDIOBJ brush = SelectObject(dc, GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ pen = SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, bounds.left, bounds.top, bounds.right + 1, bounds.bottom + 1);
    SelectObject(dc, pen);
    SelectObject(dc, brush);
}

LRESULT Panorel::handleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        m_window = hwnd;
        createChildren(hwnd);
        return 0;
    case WM_SIZE:
        layout(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(hwnd, &ps);
        RECT client{};
        GetClientRect(hwnd, &client);
        if (dc) paint(dc, client);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == hwnd) {
            DWORD position = GetMessagePos();
            POINT point{GET_X_LPARAM(LPARAM(position)), GET_Y_LPARAM(LPARAM(position))};
            ScreenToClient(hwnd, &point);
            SetCursorFor(m_dragging || overSurface(point));
            return TRUE;
        }
        break;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        SetCursorFor(m_dragging || overSurface(point));
        if (message == WM_LBUTTONDOWN) {
            SetCapture(hwnd);
            m_dragging = true;
            m_dragged = false;
        } else if (message == WM_LBUTTONUP) {
            // Before the capture goes: letting it go ends the drag.
            if (m_dragging && m_dragged) {
                RECT client{};
                GetClientRect(hwnd, &client);
                KeepBottomHeight(client.bottom - client.top - m_split);
            }
            if (GetCapture() == hwnd) ReleaseCapture();
            m_dragging = false;
        } else if (m_dragging && point.x >= 0) {
            int before = m_split;
            dragSplitter(point.y);
            m_dragged = m_dragged || m_split != before;
        }
        return 0;
    }
    case WM_CAPTURECHANGED:
        m_dragging = false;
        return 0;
    case WM_NOTIFY:
        return notify(reinterpret_cast<NMHDR*>(lParam));
    case WM_COMMAND:
        filterCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case kPanorelDetailsReadyMessage:
        m_lastShown = nullptr;
        selectionChanged();
        return 0;
    case WM_DESTROY:
        destroyed();
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        m_window = nullptr;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    default:
        break;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

void Panorel::destroyed() {
    ReleaseInterfaces();
    for (HWND list : {m_topList, m_bottomList}) {
        if (!list) continue;
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
        SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, 0);
    }
    if (m_smallImages) ImageList_Destroy(m_smallImages);
    if (m_largeImages) ImageList_Destroy(m_largeImages);
    m_smallImages = m_largeImages = nullptr;
    m_topList = m_bottomList = m_textPane = nullptr;
    m_filterLabel = m_filterEdit = m_afterCheck = m_afterPicker = m_beforeCheck = m_beforePicker = nullptr;
    m_dragging = false;
}

LRESULT Panorel::notify(NMHDR* header) {
    if (!header) return 0;
    if (header->code == DTN_DATETIMECHANGE && header->hwndFrom &&
        (header->hwndFrom == m_afterPicker || header->hwndFrom == m_beforePicker)) {
        applyFilter();
        return 0;
    }
    const bool top = header->hwndFrom == m_topList && m_topList;
    const bool bottom = header->hwndFrom == m_bottomList && m_bottomList;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        if (top || bottom) displayInfo(header->hwndFrom, reinterpret_cast<NMLVDISPINFOW*>(header));
        return 0;
    case LVN_COLUMNCLICK:
        if (top) columnClicked(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        return 0;
    case LVN_GETINFOTIPW:
        if (top) infoTip(reinterpret_cast<NMLVGETINFOTIPW*>(header));
        return 0;
    case LVN_ODFINDITEMW:
        return top ? findItem(reinterpret_cast<NMLVFINDITEMW*>(header)) : -1;
    case LVN_ITEMCHANGED: {
        auto* change = reinterpret_cast<NMLISTVIEW*>(header);
        // Only a change of selection shows other details; moving the focus does not.
        if (top && !m_quietSelection &&
            (change->iItem == -1 || ((change->uNewState ^ change->uOldState) & LVIS_SELECTED)))
            selectionChanged();
        return 0;
    }
    case LVN_ODSTATECHANGED:
        if (top && !m_quietSelection) selectionChanged();
        return 0;
    case NM_DBLCLK:
        if (top || bottom) doubleClicked(header->hwndFrom);
        return 0;
    case NM_RCLICK:
        if (top || bottom) contextMenu(header->hwndFrom);
        return 0;
    case LVN_KEYDOWN: {
        const WORD key = reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey;
        if (top && key == VK_DELETE) deleteKey();
        else if (top && key == 'F' && GetKeyState(VK_CONTROL) < 0) focusFilter();
        else if ((top || bottom) && key == VK_APPS) contextMenu(header->hwndFrom, MenuOpenedBy::Keyboard);
        return 0;
    }
    case EN_LINK:
        if (header->hwndFrom == m_textPane && m_textPane) {
            auto* link = reinterpret_cast<ENLINK*>(header);
            if (link->msg == WM_LBUTTONDOWN) linkClicked(link);
        }
        return 0;
    default:
        return 0;
    }
}

void Panorel::displayInfo(HWND list, NMLVDISPINFOW* info) {
    PropertySet* shown = record(list, info->item.iItem);
    if (!shown) return;
    const std::vector<std::u16string>& keys = list == m_topList ? m_topKeys : m_bottomKeys;
    if (info->item.mask & LVIF_TEXT) {
        static WCHAR empty[] = u"";
        BSTR text = nullptr;
        if (info->item.iSubItem >= 0 && size_t(info->item.iSubItem) < keys.size())
            text = shown->getString(keys[size_t(info->item.iSubItem)].c_str());
        // The record's own string: the list only reads it while the record is shown. A mangled
        // name or place goes readable into the list's buffer instead.
        std::u16string readable;
        const std::u16string_view raw = text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
        if (list == m_topList && text && size_t(info->item.iSubItem) < keys.size()) {
            const std::u16string& key = keys[size_t(info->item.iSubItem)];
            if (lumivel::EqualsNoCase(key, kNameKey)) readable = ReadableName(raw);
            else if (lumivel::EqualsNoCase(key, kParentKey)) readable = ReadablePlace(raw);
        }
        // No record carries where it would go: worked out for the rows the list draws.
        const bool place = list == m_topList && !text && size_t(info->item.iSubItem) < keys.size() &&
                           keys[size_t(info->item.iSubItem)] == kRestoresIntoKey && !shown->IsNode;
        if (place) readable = restoresInto(shown);
        if (!readable.empty() && (place || readable != raw) && info->item.pszText && info->item.pszText != LPSTR_TEXTCALLBACKW &&
            info->item.cchTextMax > 0) {
            const size_t copied = std::min(readable.size(), size_t(info->item.cchTextMax) - 1);
            std::copy_n(readable.data(), copied, info->item.pszText);
            info->item.pszText[copied] = 0;
        } else {
            info->item.pszText = text ? text : empty;
            info->item.cchTextMax = text ? int(SysStringLen(text)) : 0;
        }
    }
    if (info->item.mask & LVIF_IMAGE) {
        if (shown->ImageIndex == -1 && m_schemaCache) {
            std::u16string className(shown->getText(u"class"));
            LONG index = -1;
            HRESULT found = S_FALSE;
            if (shown->Disabled) {
                const std::u16string withState = className + u"Disabled";
                lumivel::UniqueBstr disabled(withState.data(), withState.size());
                found = m_schemaCache->GetIconIndex(disabled.get(), &index);
            }
            if (found != S_OK || index == -1) {
                lumivel::UniqueBstr plain(className.data(), className.size());
                index = -1;
                m_schemaCache->GetIconIndex(plain.get(), &index);
            }
            shown->ImageIndex = index;
        }
        info->item.iImage = shown->ImageIndex;
    }
}

void Panorel::infoTip(NMLVGETINFOTIPW* tip) {
    // The last known parent's whole DN, raw, as the directory holds it: the cell may be cut or
    // shown readable.
    PropertySet* shown = m_records.at(tip->iItem);
    if (!shown || !tip->pszText || tip->cchTextMax <= 0 || tip->iSubItem < 0 || size_t(tip->iSubItem) >= m_topKeys.size())
        return;
    if (!lumivel::EqualsNoCase(m_topKeys[size_t(tip->iSubItem)], kParentKey)) return;
    const std::u16string_view dn = KeyText(shown, m_topKeys[size_t(tip->iSubItem)]);
    const size_t copied = std::min(dn.size(), size_t(tip->cchTextMax) - 1);
    std::copy_n(dn.data(), copied, tip->pszText);
    tip->pszText[copied] = 0;
}

void Panorel::columnClicked(int column) {
    if (column < 0) return;
    if (column == m_sortColumn) {
        m_records.setAscending(!m_records.ascending());
    } else {
        m_sortColumn = column;
        m_records.sortBy(sortKey());
    }
    redraw(m_topList);
}

long Panorel::findItem(const NMLVFINDITEMW* find) {
    const LVFINDINFOW& info = find->lvfi;
    if (!(info.flags & (LVFI_STRING | LVFI_PARTIAL)) || !info.psz) return -1;
    const std::u16string key = size_t(m_sortColumn) < m_topKeys.size() ? m_topKeys[size_t(m_sortColumn)] : u"";
    return m_records.findPrefix(info.psz, key, find->iStart, (info.flags & LVFI_WRAP) != 0);
}

void Panorel::doubleClicked(HWND list) {
    const long index = long(SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
    PropertySet* first = record(list, index);
    if (!first) return;
    const LONG_PTR address = reinterpret_cast<LONG_PTR>(first);
    if (list == m_topList) {
        if (first->IsNode) {
            if (m_console) {
                VARIANT handle;
                VariantInit(&handle);
                if (first->getValue(u"NodeHandle", &handle))
                    m_console->SelectScopeItem(HSCOPEITEM(lumivel::shared::AddressFromVariant(&handle)));
            }
        } else if (m_provider) {
            m_provider->ActivateObject(list, address);
        }
    } else {
        HRESULT result = m_provider ? m_provider->ActivateObject(list, address) : E_FAIL;
        for (size_t i = 0; FAILED(result) && i < m_menuProviders.size(); ++i) {
            ComPtr<IProviderData> data;
            if (m_menuProviders[i] && SUCCEEDED(m_menuProviders[i].queryInterface(IID_IProviderData, &data)))
                result = data->ActivateObject(list, address);
        }
    }
    redraw(list);
}

void Panorel::deleteKey() {
    if (!m_provider) return;
    const CommandScope running(*this);
    std::vector<PropertySet*> selection = selectedTopRecords();
    if (selection.empty() && selectedNodeRecord()) selection.push_back(selectedNodeRecord());
    VariantHolder list, result;
    lumivel::shared::BuildObjectList(selection, list.get());
    HRESULT hr = m_provider->DeleteObjects(m_topList, list.get(), result.get());
    handleResult(hr, result.get());
}

void Panorel::linkClicked(const ENLINK* link) {
    if (!m_provider || link->chrg.cpMax <= link->chrg.cpMin || link->chrg.cpMin < 0) return;
    std::u16string text(size_t(link->chrg.cpMax - link->chrg.cpMin) + 1, u'\0');
    TEXTRANGEW range{};
    range.chrg = link->chrg;
    range.lpstrText = text.data();
    const LRESULT length = SendMessageW(m_textPane, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
    text.resize(size_t(std::max<LRESULT>(length, 0)));
    lumivel::UniqueBstr linkText(text.data(), text.size());
    VariantHolder list, result;
    lumivel::shared::BuildObjectList(selectedTopRecords(), list.get());
    HRESULT hr = m_provider->LinkClicked(m_textPane, list.get(), linkText.get(), result.get());
    handleResult(hr, result.get());
}

}  // namespace panorel
