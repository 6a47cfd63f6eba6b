// List views in report mode, with kept items or owner data: columns, items and their states,
// image lists, and the notifications the parent relies on (LVN_ITEMCHANGED, LVN_GETDISPINFOW,
// LVN_ODFINDITEMW, LVN_COLUMNCLICK, LVN_KEYDOWN, NM_CLICK/NM_DBLCLK/NM_RCLICK).
//
// An owner-data list keeps only its item count and which items are selected or focused;
// texts and images are asked of the parent with LVN_GETDISPINFOW when something shows them.
#include <algorithm>
#include <cstring>

#include "lumivel/ui_controls.h"
#include "lumivel/wide_string.h"
#include "lumivel/ui_input.h"
#include "ui_internal.h"
#include "win/gdi.h"

namespace lumivel::ui {
namespace {

constexpr int kRowHeight = 17;
constexpr int kHeaderHeight = 24;
constexpr int kMaxItems = 100'000'000;  // LVM_SETITEMCOUNT refuses more


struct ListView {
    std::shared_ptr<Window> window;
    ListViewState* state;
    bool batched = false;  // a change of many items tells the backend once, at its end

    void changed(WindowChange change) {
        if (!batched) Changed(*window, change);
    }

    bool ownerData() const { return (window->style & LVS_OWNERDATA) != 0; }
    int count() const { return ownerData() ? state->ownerDataCount : int(state->items.size()); }
    bool valid(int i) const { return i >= 0 && i < count(); }

    UINT itemState(int i) const {
        if (!valid(i)) return 0;
        if (!ownerData()) return state->items[size_t(i)].state;
        UINT s = 0;
        if (state->ownerDataSelected.count(i)) s |= LVIS_SELECTED;
        if (state->ownerDataFocused == i) s |= LVIS_FOCUSED;
        return s;
    }

    void storeState(int i, UINT s) {
        if (!ownerData()) {
            state->items[size_t(i)].state = s;
            return;
        }
        if (s & LVIS_SELECTED) state->ownerDataSelected.insert(i);
        else state->ownerDataSelected.erase(i);
        if (s & LVIS_FOCUSED) state->ownerDataFocused = i;
        else if (state->ownerDataFocused == i) state->ownerDataFocused = -1;
    }

    LRESULT notify(UINT code, int item, int subItem, UINT newState, UINT oldState, UINT changed) {
        NMLISTVIEW info{};
        info.iItem = item;
        info.iSubItem = subItem;
        info.uNewState = newState;
        info.uOldState = oldState;
        info.uChanged = changed;
        if (valid(item) && !ownerData()) info.lParam = state->items[size_t(item)].param;
        return NotifyParent(window->handle, info.hdr, code);
    }

    // Changes the masked state bits of one item with LVN_ITEMCHANGING (kept items, may veto)
    // and LVN_ITEMCHANGED; `notify` false for changes that are reported in one message.
    bool setState(int i, UINT mask, UINT value, bool report = true) {
        UINT old = itemState(i);
        UINT next = (old & ~mask) | (value & mask);
        if (next == old) return true;
        if (report && !ownerData() && notify(LVN_ITEMCHANGING, i, 0, next, old, LVIF_STATE)) return false;
        // One focused item; one selected item with LVS_SINGLESEL.
        if ((next & LVIS_FOCUSED) && !(old & LVIS_FOCUSED)) {
            for (int j : itemsWith(LVIS_FOCUSED))
                if (j != i) setState(j, LVIS_FOCUSED, 0, report);
        }
        if ((next & LVIS_SELECTED) && !(old & LVIS_SELECTED) && (window->style & LVS_SINGLESEL)) {
            for (int j : itemsWith(LVIS_SELECTED))
                if (j != i) setState(j, LVIS_SELECTED, 0, report);
        }
        storeState(i, next);
        if (report) notify(LVN_ITEMCHANGED, i, 0, next, old, LVIF_STATE);
        changed(WindowChange::State);
        return true;
    }

    std::vector<int> itemsWith(UINT bit) const {
        std::vector<int> found;
        if (ownerData()) {
            if (bit & LVIS_SELECTED) found.assign(state->ownerDataSelected.begin(), state->ownerDataSelected.end());
            if ((bit & LVIS_FOCUSED) && state->ownerDataFocused >= 0) found.push_back(state->ownerDataFocused);
            return found;
        }
        for (int i = 0; i < count(); ++i)
            if (state->items[size_t(i)].state & bit) found.push_back(i);
        return found;
    }

    // Item -1 changes every item. An owner-data list reports that in one LVN_ITEMCHANGED
    // with item -1, as Windows does; a kept list reports each item.
    bool setStateAll(UINT mask, UINT value) {
        if (ownerData()) {
            UINT oldUnion = 0;
            if (!state->ownerDataSelected.empty()) oldUnion |= LVIS_SELECTED;
            if (state->ownerDataFocused >= 0) oldUnion |= LVIS_FOCUSED;
            if (mask & LVIS_SELECTED) {
                if (value & LVIS_SELECTED) {
                    if (window->style & LVS_SINGLESEL) return false;
                    for (int i = 0; i < count(); ++i) state->ownerDataSelected.insert(i);
                } else {
                    state->ownerDataSelected.clear();
                }
            }
            if ((mask & LVIS_FOCUSED) && !(value & LVIS_FOCUSED)) state->ownerDataFocused = -1;
            notify(LVN_ITEMCHANGED, -1, 0, value & mask, oldUnion & mask, LVIF_STATE);
            Changed(*window, WindowChange::State);
            return true;
        }
        bool wasBatched = batched;
        batched = true;
        for (int i = 0; i < count(); ++i) setState(i, mask, value);
        batched = wasBatched;
        changed(WindowChange::State);
        return true;
    }

    // Texts and images the parent supplies: LVN_GETDISPINFOW with a buffer of our own, which
    // the parent may fill or replace by a pointer to its own string.
    std::u16string dispText(int item, int subItem) {
        WCHAR buffer[1024];
        buffer[0] = 0;
        NMLVDISPINFOW info{};
        info.item.mask = LVIF_TEXT;
        info.item.iItem = item;
        info.item.iSubItem = subItem;
        info.item.pszText = buffer;
        info.item.cchTextMax = int(std::size(buffer));
        if (!ownerData()) info.item.lParam = state->items[size_t(item)].param;
        ++state->dispInfoRequests;
        NotifyParent(window->handle, info.hdr, LVN_GETDISPINFOW);
        if (info.item.pszText == nullptr || info.item.pszText == LPSTR_TEXTCALLBACKW) return {};
        if (info.item.pszText == buffer) {
            buffer[std::size(buffer) - 1] = 0;
            return std::u16string(buffer);
        }
        return std::u16string(info.item.pszText);
    }

    std::u16string infoTip(int item, int subItem) {
        if (!valid(item)) return {};
        WCHAR buffer[1024];
        buffer[0] = 0;
        NMLVGETINFOTIPW info{};
        info.pszText = buffer;
        info.cchTextMax = int(std::size(buffer));
        info.iItem = item;
        info.iSubItem = subItem;
        if (!ownerData()) info.lParam = state->items[size_t(item)].param;
        NotifyParent(window->handle, info.hdr, LVN_GETINFOTIPW);
        buffer[std::size(buffer) - 1] = 0;
        return std::u16string(buffer);
    }

    int dispImage(int item) {
        NMLVDISPINFOW info{};
        info.item.mask = LVIF_IMAGE;
        info.item.iItem = item;
        info.item.iImage = -1;
        if (!ownerData()) info.item.lParam = state->items[size_t(item)].param;
        ++state->dispInfoRequests;
        NotifyParent(window->handle, info.hdr, LVN_GETDISPINFOW);
        return info.item.iImage;
    }

    std::u16string text(int item, int subItem) {
        if (!valid(item)) return {};
        if (ownerData()) return dispText(item, subItem);
        const ListItem& entry = state->items[size_t(item)];
        if (size_t(subItem) < entry.callbackText.size() && entry.callbackText[size_t(subItem)])
            return dispText(item, subItem);
        return size_t(subItem) < entry.texts.size() ? entry.texts[size_t(subItem)] : std::u16string();
    }

    int image(int item) {
        if (!valid(item)) return -1;
        if (ownerData()) return dispImage(item);
        const ListItem& entry = state->items[size_t(item)];
        return entry.callbackImage ? dispImage(item) : entry.image;
    }

    void setText(ListItem& entry, int subItem, LPCWSTR value) {
        if (subItem < 0 || subItem > 1024) return;
        if (entry.texts.size() <= size_t(subItem)) {
            entry.texts.resize(size_t(subItem) + 1);
            entry.callbackText.resize(size_t(subItem) + 1, false);
        }
        bool callback = value == LPSTR_TEXTCALLBACKW;
        entry.callbackText[size_t(subItem)] = callback;
        entry.texts[size_t(subItem)] = (callback || value == nullptr) ? std::u16string() : std::u16string(value);
    }

    bool applyItem(ListItem& entry, const LVITEMW& item) {
        if (item.mask & LVIF_TEXT) setText(entry, item.iSubItem, item.pszText);
        if (item.iSubItem != 0) return true;
        if (item.mask & LVIF_IMAGE) {
            entry.callbackImage = item.iImage == I_IMAGECALLBACK;
            entry.image = item.iImage;
        }
        if (item.mask & LVIF_PARAM) entry.param = item.lParam;
        return true;
    }

    int rowsPerPage() {
        int fromBackend = CurrentBackend().visibleRowCount(window->handle);
        if (fromBackend >= 0) return fromBackend;
        RECT client = window->clientRect();
        return std::max(0, int(client.bottom - kHeaderHeight) / kRowHeight);
    }

    int find(int start, const LVFINDINFOW& info) {
        if (ownerData()) {
            NMLVFINDITEMW find{};
            find.iStart = start + 1;
            find.lvfi = info;
            return int(NotifyParent(window->handle, find.hdr, LVN_ODFINDITEMW));
        }
        int n = count();
        if (n == 0) return -1;
        int first = start < 0 ? 0 : start + 1;
        int steps = (info.flags & LVFI_WRAP) ? n : n - std::min(first, n);
        for (int k = 0; k < steps; ++k) {
            int i = (first + k) % n;
            const ListItem& entry = state->items[size_t(i)];
            if (info.flags & LVFI_PARAM) {
                if (entry.param == info.lParam) return i;
            } else if (info.psz != nullptr) {
                std::u16string wanted(info.psz), have = text(i, 0);
                if ((info.flags & (LVFI_PARTIAL | LVFI_SUBSTRING)) ? StartsWithNoCase(have, wanted) : EqualsNoCase(have, wanted))
                    return i;
            }
        }
        return -1;
    }
};

std::optional<ListView> Open(HWND hwnd) {
    auto window = FindWindowObject(hwnd);
    if (!window) return std::nullopt;
    auto* state = window->state<ListViewState>();
    if (!state) return std::nullopt;
    return ListView{window, state};
}

int SortedPosition(ListView& list, const std::u16string& text, bool descending) {
    int lo = 0, hi = list.count();
    while (lo < hi) {
        int mid = (lo + hi) / 2;
        int order = CompareNoCase(list.text(mid, 0), text);
        bool before = descending ? order > 0 : order < 0;
        if (before) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

LRESULT ColumnMessage(ListView& list, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& columns = list.state->columns;
    int index = int(LONG_PTR(wParam));
    bool valid = index >= 0 && size_t(index) < columns.size();
    switch (message) {
    case LVM_INSERTCOLUMNW: {
        auto* column = reinterpret_cast<const LVCOLUMNW*>(lParam);
        if (column == nullptr || index < 0) return -1;
        size_t at = std::min(size_t(index), columns.size());
        ListColumn entry;
        entry.subItem = (column->mask & LVCF_SUBITEM) ? column->iSubItem : int(at);
        if ((column->mask & LVCF_TEXT) && column->pszText && column->pszText != LPSTR_TEXTCALLBACKW) entry.text = column->pszText;
        if (column->mask & LVCF_WIDTH) entry.width = std::max(column->cx, 0);
        if (column->mask & LVCF_FMT) entry.format = at == 0 ? LVCFMT_LEFT : column->fmt;
        if (column->mask & LVCF_IMAGE) entry.image = column->iImage;
        columns.insert(columns.begin() + long(at), std::move(entry));
        for (size_t i = 0; i < columns.size(); ++i) columns[i].order = int(i);
        Changed(*list.window, WindowChange::State);
        return LRESULT(at);
    }
    case LVM_DELETECOLUMN:
        if (!valid) return FALSE;
        columns.erase(columns.begin() + index);
        Changed(*list.window, WindowChange::State);
        return TRUE;
    case LVM_GETCOLUMNWIDTH: return valid ? columns[size_t(index)].width : 0;
    case LVM_SETCOLUMNWIDTH: {
        if (!valid) return FALSE;
        int width = SHORT(LOWORD(lParam));
        if (width == LVSCW_AUTOSIZE || width == LVSCW_AUTOSIZE_USEHEADER) {
            size_t longest = columns[size_t(index)].text.size();
            if (width == LVSCW_AUTOSIZE) {
                longest = 0;
                for (int i = 0, n = std::min(list.count(), 200); i < n; ++i)
                    longest = std::max(longest, list.text(i, columns[size_t(index)].subItem).size());
            }
            width = int(longest) * 7 + 12;
        }
        columns[size_t(index)].width = std::max(width, 0);
        Changed(*list.window, WindowChange::State);
        return TRUE;
    }
    case LVM_GETCOLUMNW:
    case LVM_SETCOLUMNW: {
        auto* column = reinterpret_cast<LVCOLUMNW*>(lParam);
        if (!valid || column == nullptr) return FALSE;
        ListColumn& entry = columns[size_t(index)];
        if (message == LVM_SETCOLUMNW) {
            if ((column->mask & LVCF_TEXT) && column->pszText && column->pszText != LPSTR_TEXTCALLBACKW) entry.text = column->pszText;
            if (column->mask & LVCF_WIDTH) entry.width = std::max(column->cx, 0);
            if (column->mask & LVCF_FMT) entry.format = index == 0 ? LVCFMT_LEFT : column->fmt;
            if (column->mask & LVCF_SUBITEM) entry.subItem = column->iSubItem;
            if (column->mask & LVCF_IMAGE) entry.image = column->iImage;
            Changed(*list.window, WindowChange::State);
            return TRUE;
        }
        if ((column->mask & LVCF_TEXT) && column->pszText && column->cchTextMax > 0) {
            size_t copied = std::min(entry.text.size(), size_t(column->cchTextMax) - 1);
            std::copy_n(entry.text.data(), copied, column->pszText);
            column->pszText[copied] = 0;
        }
        if (column->mask & LVCF_WIDTH) column->cx = entry.width;
        if (column->mask & LVCF_FMT) column->fmt = entry.format;
        if (column->mask & LVCF_SUBITEM) column->iSubItem = entry.subItem;
        if (column->mask & LVCF_IMAGE) column->iImage = entry.image;
        if (column->mask & LVCF_ORDER) column->iOrder = entry.order;
        return TRUE;
    }
    default: return 0;
    }
}

LRESULT ItemMessage(ListView& list, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = list.state;
    int index = int(LONG_PTR(wParam));
    switch (message) {
    case LVM_SETITEMCOUNT: {
        if (index < 0 || index > kMaxItems) return FALSE;
        if (!list.ownerData()) {
            state->items.reserve(size_t(std::min(index, 1 << 20)));
            return TRUE;
        }
        state->ownerDataCount = index;
        state->ownerDataSelected.erase(state->ownerDataSelected.lower_bound(index), state->ownerDataSelected.end());
        if (state->ownerDataFocused >= index) state->ownerDataFocused = -1;
        if (state->selectionMark >= index) state->selectionMark = -1;
        state->topIndex = std::clamp(state->topIndex, 0, std::max(index - 1, 0));
        Changed(*list.window, WindowChange::State);
        return TRUE;
    }
    case LVM_GETITEMCOUNT: return list.count();
    case LVM_INSERTITEMW: {
        auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        if (item == nullptr || list.ownerData() || item->iSubItem != 0 || list.count() >= kMaxItems) return -1;
        ListItem entry;
        entry.texts.assign(1, u"");
        entry.callbackText.assign(1, false);
        list.applyItem(entry, *item);
        int at = std::clamp(item->iItem, 0, list.count());
        if (list.window->style & (LVS_SORTASCENDING | LVS_SORTDESCENDING))
            at = SortedPosition(list, entry.texts[0], (list.window->style & LVS_SORTDESCENDING) != 0);
        UINT initialState = (item->mask & LVIF_STATE) ? (item->state & item->stateMask) : 0;
        state->items.insert(state->items.begin() + at, std::move(entry));
        if (state->selectionMark >= at) ++state->selectionMark;
        list.notify(LVN_INSERTITEM, at, 0, 0, 0, 0);
        if (initialState) list.setState(at, item->stateMask, initialState);
        Changed(*list.window, WindowChange::State);
        return at;
    }
    case LVM_SETITEMW:
    case LVM_SETITEMTEXTW: {
        auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        int target = message == LVM_SETITEMW ? (item ? item->iItem : -1) : index;
        if (item == nullptr || !list.valid(target)) return FALSE;
        if (message == LVM_SETITEMTEXTW) {
            if (list.ownerData()) return FALSE;
            list.setText(state->items[size_t(target)], item->iSubItem, item->pszText);
        } else {
            if (!list.ownerData()) list.applyItem(state->items[size_t(target)], *item);
            if (item->mask & LVIF_STATE) list.setState(target, item->stateMask, item->state);
        }
        Changed(*list.window, WindowChange::State);
        return TRUE;
    }
    case LVM_GETITEMW:
    case LVM_GETITEMTEXTW: {
        auto* item = reinterpret_cast<LVITEMW*>(lParam);
        int target = message == LVM_GETITEMW ? (item ? item->iItem : -1) : index;
        if (item == nullptr || !list.valid(target)) return message == LVM_GETITEMW ? FALSE : 0;
        UINT mask = message == LVM_GETITEMW ? item->mask : LVIF_TEXT;
        LRESULT length = 0;
        if ((mask & LVIF_TEXT) && item->pszText && item->cchTextMax > 0) {
            std::u16string text = list.text(target, item->iSubItem);
            size_t copied = std::min(text.size(), size_t(item->cchTextMax) - 1);
            std::copy_n(text.data(), copied, item->pszText);
            item->pszText[copied] = 0;
            length = LRESULT(copied);
        }
        if (mask & LVIF_IMAGE) item->iImage = list.image(target);
        if ((mask & LVIF_PARAM) && !list.ownerData()) item->lParam = state->items[size_t(target)].param;
        if (mask & LVIF_STATE) item->state = list.itemState(target) & item->stateMask;
        return message == LVM_GETITEMW ? TRUE : length;
    }
    case LVM_DELETEITEM: {
        if (!list.valid(index)) return FALSE;
        if (list.ownerData()) {
            // Owner data only keeps states: the items after it move up one place.
            std::set<int> moved;
            for (int s : state->ownerDataSelected)
                if (s != index) moved.insert(s > index ? s - 1 : s);
            state->ownerDataSelected = std::move(moved);
            if (state->ownerDataFocused == index) state->ownerDataFocused = -1;
            else if (state->ownerDataFocused > index) --state->ownerDataFocused;
            --state->ownerDataCount;
        } else {
            list.notify(LVN_DELETEITEM, index, 0, 0, 0, 0);
            state->items.erase(state->items.begin() + index);
        }
        if (state->selectionMark == index) state->selectionMark = -1;
        else if (state->selectionMark > index) --state->selectionMark;
        Changed(*list.window, WindowChange::State);
        return TRUE;
    }
    case LVM_DELETEALLITEMS:
        if (list.ownerData()) {
            state->ownerDataCount = 0;
            state->ownerDataSelected.clear();
            state->ownerDataFocused = -1;
        } else if (!state->items.empty()) {
            // A parent that answers TRUE to LVN_DELETEALLITEMS wants no message per item.
            if (!list.notify(LVN_DELETEALLITEMS, -1, 0, 0, 0, 0))
                for (int i = 0; i < list.count(); ++i) list.notify(LVN_DELETEITEM, i, 0, 0, 0, 0);
            state->items.clear();
        }
        state->selectionMark = -1;
        state->topIndex = 0;
        Changed(*list.window, WindowChange::State);
        return TRUE;
    case LVM_GETNEXTITEM: {
        UINT flags = LOWORD(lParam);
        int n = list.count();
        if (flags & LVNI_ABOVE) return list.valid(index - 1) ? index - 1 : -1;
        UINT wanted = flags & (LVNI_SELECTED | LVNI_FOCUSED | LVNI_CUT | LVNI_DROPHILITED);
        if (list.ownerData() && wanted == LVNI_SELECTED) {
            auto it = state->ownerDataSelected.upper_bound(index);
            return it == state->ownerDataSelected.end() ? -1 : *it;
        }
        if (list.ownerData() && wanted == LVNI_FOCUSED)
            return state->ownerDataFocused > index ? state->ownerDataFocused : -1;
        for (int i = std::max(index + 1, 0); i < n; ++i)
            if ((list.itemState(i) & wanted) == wanted) return i;
        return -1;
    }
    case LVM_SETITEMSTATE: {
        auto* item = reinterpret_cast<const LVITEMW*>(lParam);
        if (item == nullptr) return FALSE;
        if (index == -1) return list.setStateAll(item->stateMask, item->state) ? TRUE : FALSE;
        if (!list.valid(index)) return FALSE;
        return list.setState(index, item->stateMask, item->state) ? TRUE : FALSE;
    }
    case LVM_GETITEMSTATE: return list.itemState(index) & UINT(lParam);
    case LVM_GETSELECTEDCOUNT:
        return list.ownerData() ? LRESULT(state->ownerDataSelected.size()) : LRESULT(list.itemsWith(LVIS_SELECTED).size());
    case LVM_SETSELECTIONMARK: {
        int previous = state->selectionMark;
        state->selectionMark = int(lParam);
        return previous;
    }
    case LVM_GETSELECTIONMARK: return state->selectionMark;
    case LVM_FINDITEMW: {
        auto* info = reinterpret_cast<const LVFINDINFOW*>(lParam);
        return info ? list.find(index, *info) : -1;
    }
    default: return 0;
    }
}

}  // namespace

LRESULT ListViewProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto opened = Open(hwnd);
    if (!opened) return DefWindowProcW(hwnd, message, wParam, lParam);
    ListView& list = *opened;
    ListViewState* state = list.state;
    switch (message) {
    case LVM_INSERTCOLUMNW:
    case LVM_DELETECOLUMN:
    case LVM_GETCOLUMNWIDTH:
    case LVM_SETCOLUMNWIDTH:
    case LVM_GETCOLUMNW:
    case LVM_SETCOLUMNW: return ColumnMessage(list, message, wParam, lParam);
    case LVM_SETITEMCOUNT:
    case LVM_GETITEMCOUNT:
    case LVM_INSERTITEMW:
    case LVM_SETITEMW:
    case LVM_SETITEMTEXTW:
    case LVM_GETITEMW:
    case LVM_GETITEMTEXTW:
    case LVM_DELETEITEM:
    case LVM_DELETEALLITEMS:
    case LVM_GETNEXTITEM:
    case LVM_SETITEMSTATE:
    case LVM_GETITEMSTATE:
    case LVM_GETSELECTEDCOUNT:
    case LVM_SETSELECTIONMARK:
    case LVM_GETSELECTIONMARK:
    case LVM_FINDITEMW: return ItemMessage(list, message, wParam, lParam);
    case LVM_SETIMAGELIST: {
        HIMAGELIST* slot = wParam == LVSIL_NORMAL ? &state->normalImages
                           : wParam == LVSIL_SMALL ? &state->smallImages
                           : wParam == LVSIL_STATE ? &state->stateImages : nullptr;
        if (slot == nullptr) return 0;
        HIMAGELIST previous = *slot;
        *slot = reinterpret_cast<HIMAGELIST>(lParam);
        Changed(*list.window, WindowChange::State);
        return reinterpret_cast<LRESULT>(previous);
    }
    case LVM_GETIMAGELIST:
        return reinterpret_cast<LRESULT>(wParam == LVSIL_NORMAL ? state->normalImages
                                         : wParam == LVSIL_SMALL ? state->smallImages
                                         : wParam == LVSIL_STATE ? state->stateImages : nullptr);
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        DWORD previous = state->extendedStyle;
        DWORD mask = wParam ? DWORD(wParam) : 0xFFFFFFFFu;
        state->extendedStyle = (previous & ~mask) | (DWORD(lParam) & mask);
        Changed(*list.window, WindowChange::Style);
        return previous;
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return state->extendedStyle;
    case LVM_REDRAWITEMS:
    case LVM_UPDATE:
        if (!state->redrawSuspended) Changed(*list.window, WindowChange::Redraw);
        return TRUE;
    case LVM_ENSUREVISIBLE: {
        int index = int(LONG_PTR(wParam));
        if (!list.valid(index)) return FALSE;
        int rows = std::max(list.rowsPerPage(), 1);
        if (index < state->topIndex) state->topIndex = index;
        else if (index >= state->topIndex + rows) state->topIndex = index - rows + 1;
        Changed(*list.window, WindowChange::State);
        return TRUE;
    }
    case LVM_GETTOPINDEX: return state->topIndex;
    case LVM_GETCOUNTPERPAGE: return list.rowsPerPage();
    case LVM_GETITEMRECT: {
        auto* rect = reinterpret_cast<RECT*>(lParam);
        int index = int(LONG_PTR(wParam));
        if (rect == nullptr || !list.valid(index)) return FALSE;
        int width = 0;
        for (const auto& c : state->columns) width += c.width;
        int top = kHeaderHeight + (index - state->topIndex) * kRowHeight;
        *rect = RECT{0, top, std::max(width, int(list.window->clientRect().right)), top + kRowHeight};
        return TRUE;
    }
    case LVM_HITTEST: {
        auto* hit = reinterpret_cast<LVHITTESTINFO*>(lParam);
        if (hit == nullptr) return -1;
        hit->iItem = -1;
        hit->iSubItem = 0;
        hit->flags = LVHT_NOWHERE;
        if (hit->pt.y >= kHeaderHeight) {
            int index = state->topIndex + (hit->pt.y - kHeaderHeight) / kRowHeight;
            if (list.valid(index)) {
                hit->iItem = index;
                hit->flags = LVHT_ONITEMLABEL;
            }
        }
        return hit->iItem;
    }
    case LVM_GETHEADER: return 0;  // no header window of its own on this platform
    case LVM_SETBKCOLOR:
        state->background = COLORREF(lParam);
        Changed(*list.window, WindowChange::Redraw);
        return TRUE;
    case LVM_GETBKCOLOR: return state->background;
    case WM_SETREDRAW:
        state->redrawSuspended = wParam == 0;
        if (wParam) Changed(*list.window, WindowChange::State);
        return 0;
    case WM_SETFONT: list.window->font = reinterpret_cast<HFONT>(wParam); return 0;
    case WM_GETFONT:
        // A list view makes its own font when it is created, so it always has one to lend.
        return reinterpret_cast<LRESULT>(list.window->font ? list.window->font : GetStockObject(DEFAULT_GUI_FONT));
    case WM_SETFOCUS: {
        NMHDR header{};
        NotifyParent(hwnd, header, NM_SETFOCUS);
        return 0;
    }
    case WM_KILLFOCUS: {
        NMHDR header{};
        NotifyParent(hwnd, header, NM_KILLFOCUS);
        return 0;
    }
    case WM_DESTROY:
        // Lists without LVS_SHAREIMAGELISTS own their image lists.
        if (!(list.window->style & LVS_SHAREIMAGELISTS)) {
            for (HIMAGELIST images : {state->normalImages, state->smallImages, state->stateImages})
                if (images) ImageList_Destroy(images);
        }
        state->normalImages = state->smallImages = state->stateImages = nullptr;
        return 0;
    case WM_GETDLGCODE: return 0x0001 | 0x0080;  // DLGC_WANTARROWS | DLGC_WANTCHARS
    default: return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// What a click or key press leaves: one LVN_ITEMCHANGED per kept item whose state changes.
// Owner data reports as Windows does for it: "all items" (-1) for a selection that is dropped
// or extended to every item, LVN_ODSTATECHANGED for a range. The focused item comes last,
// selected and focused in one notification, so its handler sees the whole new selection.
void UserSetListSelection(HWND hwnd, const std::vector<int>& selected, int focused) {
    auto opened = Open(hwnd);
    if (!opened) return;
    ListView& list = *opened;
    std::set<int> wanted;
    for (int i : selected)
        if (list.valid(i)) wanted.insert(i);
    if ((list.window->style & LVS_SINGLESEL) && wanted.size() > 1) wanted = {*wanted.begin()};
    list.batched = true;
    std::vector<int> dropped;
    for (int i : list.itemsWith(LVIS_SELECTED))
        if (!wanted.count(i)) dropped.push_back(i);
    if (list.ownerData() && dropped.size() > 1) {
        for (int i : dropped) list.state->ownerDataSelected.erase(i);
        list.notify(LVN_ITEMCHANGED, -1, 0, 0, LVIS_SELECTED, LVIF_STATE);
    } else {
        for (int i : dropped) list.setState(i, LVIS_SELECTED, 0);
    }
    std::vector<int> added;
    for (int i : wanted)
        if (i != focused && !(list.itemState(i) & LVIS_SELECTED)) added.push_back(i);
    if (list.ownerData()) {
        for (int i : added) list.state->ownerDataSelected.insert(i);
        if (!added.empty() && int(list.state->ownerDataSelected.size()) == list.count()) {
            list.notify(LVN_ITEMCHANGED, -1, 0, LVIS_SELECTED, 0, LVIF_STATE);
        } else {
            for (size_t first = 0; first < added.size();) {
                size_t last = first;
                while (last + 1 < added.size() && added[last + 1] == added[last] + 1) ++last;
                if (first == last) {
                    list.notify(LVN_ITEMCHANGED, added[first], 0, LVIS_SELECTED, 0, LVIF_STATE);
                } else {
                    NMLVODSTATECHANGE range{};
                    range.iFrom = added[first];
                    range.iTo = added[last];
                    range.uNewState = LVIS_SELECTED;
                    NotifyParent(hwnd, range.hdr, LVN_ODSTATECHANGED);
                }
                first = last + 1;
            }
        }
    } else {
        for (int i : added) list.setState(i, LVIS_SELECTED, LVIS_SELECTED);
    }
    if (list.valid(focused)) {
        UINT bits = LVIS_FOCUSED | (wanted.count(focused) ? LVIS_SELECTED : 0);
        list.setState(focused, LVIS_FOCUSED | LVIS_SELECTED, bits);
        list.state->selectionMark = focused;
    }
    list.batched = false;
    Changed(*list.window, WindowChange::State);
}

void UserListClick(HWND hwnd, int item, int subItem, UINT code, POINT client) {
    auto opened = Open(hwnd);
    if (!opened) return;
    NMITEMACTIVATE info{};
    info.iItem = opened->valid(item) ? item : -1;
    info.iSubItem = subItem;
    info.ptAction = client;
    if (GetKeyState(VK_SHIFT) < 0) info.uKeyFlags |= 0x0004;    // LVKF_SHIFT
    if (GetKeyState(VK_CONTROL) < 0) info.uKeyFlags |= 0x0002;  // LVKF_CONTROL
    NotifyParent(hwnd, info.hdr, code);
}

void UserListColumnClick(HWND hwnd, int column) {
    auto opened = Open(hwnd);
    if (!opened || column < 0 || size_t(column) >= opened->state->columns.size()) return;
    opened->notify(LVN_COLUMNCLICK, -1, column, 0, 0, 0);
}

void UserListKeyDown(HWND hwnd, WORD virtualKey) {
    if (!Open(hwnd)) return;
    NMLVKEYDOWN info{};
    info.wVKey = virtualKey;
    NotifyParent(hwnd, info.hdr, LVN_KEYDOWN);
}

void UserListKeyDown(HWND hwnd, WORD virtualKey, KeyModifier modifier) {
    if (modifier != KeyModifier::Control) return UserListKeyDown(hwnd, virtualKey);
    RecordInputMessage(hwnd, WM_KEYDOWN, VK_CONTROL, 1, POINT{});
    UserListKeyDown(hwnd, virtualKey);
    RecordInputMessage(hwnd, WM_KEYUP, VK_CONTROL, 1, POINT{});
}

void UserListScrolled(HWND hwnd, int topIndex) {
    auto opened = Open(hwnd);
    // Only the control's notion of the top row follows; the view is where the user put it.
    if (opened) opened->state->topIndex = std::clamp(topIndex, 0, std::max(opened->count() - 1, 0));
}

void UserListColumnResized(HWND hwnd, int column, int width) {
    SendMessageW(hwnd, LVM_SETCOLUMNWIDTH, WPARAM(column), MAKELPARAM(std::max(width, 0), 0));
}

int UserListFindItem(HWND hwnd, int start, const std::u16string& text) {
    auto opened = Open(hwnd);
    if (!opened || text.empty()) return -1;
    LVFINDINFOW info{};
    info.flags = LVFI_STRING | LVFI_PARTIAL | LVFI_WRAP;
    info.psz = text.c_str();
    return opened->find(start, info);
}

std::u16string ListViewCellText(HWND hwnd, int item, int subItem) {
    auto opened = Open(hwnd);
    return opened ? opened->text(item, subItem) : std::u16string();
}

std::u16string ListViewInfoTip(HWND hwnd, int item, int subItem) {
    auto opened = Open(hwnd);
    return opened ? opened->infoTip(item, subItem) : std::u16string();
}

int ListViewCellImage(HWND hwnd, int item) {
    auto opened = Open(hwnd);
    return opened ? opened->image(item) : -1;
}

int ListViewItemCount(HWND hwnd) {
    auto opened = Open(hwnd);
    return opened ? opened->count() : 0;
}

bool ListViewItemSelected(HWND hwnd, int item) {
    auto opened = Open(hwnd);
    return opened && (opened->itemState(item) & LVIS_SELECTED);
}

}  // namespace lumivel::ui
