// The filter bar above the top list: typed text and an optional span of deletion days narrow
// the shown records without fetching them again; Ctrl+F in the list goes to the text, Escape
// there clears the bar. The console's status bar says how many of how many are shown.
#include <algorithm>
#include <string>
#include <unordered_set>

#include "resultpane/panorel.h"
#include "win/commctrl.h"

namespace panorel {

namespace {

constexpr int kMargin = 4;
constexpr int kFieldHeight = 22;
constexpr int kLabelWidth = 40;
constexpr int kCheckWidth = 104;
constexpr int kBeforeWidth = 64;
constexpr int kPickerWidth = 108;
constexpr int kMinTextWidth = 80;

// The edit's own procedure, the same for every edit: the bar's edit is subclassed for Escape.
WNDPROC g_editProcedure = nullptr;

LRESULT CALLBACK FilterEditProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN && wParam == VK_ESCAPE) {
        if (auto* control = reinterpret_cast<Panorel*>(GetWindowLongPtrW(edit, GWLP_USERDATA))) {
            control->clearFilter();
            return 0;
        }
    }
    return CallWindowProcW(g_editProcedure, edit, message, wParam, lParam);
}

std::u16string Number(size_t n) {
    const std::string digits = std::to_string(n);
    return std::u16string(digits.begin(), digits.end());
}

bool Checked(HWND box) { return box && SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// The chosen day's bound, or none while its box is clear.
std::u16string DayBound(HWND box, HWND picker, bool end) {
    if (!Checked(box) || !picker) return {};
    SYSTEMTIME day{};
    if (SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&day)) != GDT_VALID) return {};
    return end ? LocalDayEndUtc(day) : LocalDayStartUtc(day);
}

}  // namespace

void Panorel::createFilterBar(HWND hwnd) {
    HINSTANCE instance = lumivel::com::ThisModuleHandle();
    auto child = [&](DWORD exStyle, LPCWSTR windowClass, LPCWSTR text, DWORD style, int id) {
        HWND made = CreateWindowExW(exStyle, windowClass, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, hwnd,
                                    reinterpret_cast<HMENU>(INT_PTR(id)), instance, nullptr);
        if (made && m_topList) SendMessageW(made, WM_SETFONT, SendMessageW(m_topList, WM_GETFONT, 0, 0), FALSE);
        return made;
    };
    m_filterLabel = child(0, WC_STATICW, u"Filter:", SS_LEFT, kFilterLabelId);
    m_filterEdit = child(WS_EX_CLIENTEDGE, WC_EDITW, u"", WS_TABSTOP | ES_AUTOHSCROLL, kFilterEditId);
    m_afterCheck = child(0, WC_BUTTONW, u"Deleted &after", WS_TABSTOP | BS_AUTOCHECKBOX, kDeletedAfterCheckId);
    m_afterPicker = child(0, DATETIMEPICK_CLASSW, nullptr, WS_TABSTOP | DTS_SHORTDATEFORMAT, kDeletedAfterPickerId);
    m_beforeCheck = child(0, WC_BUTTONW, u"&before", WS_TABSTOP | BS_AUTOCHECKBOX, kDeletedBeforeCheckId);
    m_beforePicker = child(0, DATETIMEPICK_CLASSW, nullptr, WS_TABSTOP | DTS_SHORTDATEFORMAT, kDeletedBeforePickerId);
    for (HWND picker : {m_afterPicker, m_beforePicker})
        if (picker) EnableWindow(picker, FALSE);
    if (m_filterEdit) {
        WNDPROC own = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(m_filterEdit, GWLP_WNDPROC));
        if (!g_editProcedure) g_editProcedure = own;
        if (own == g_editProcedure) {
            SetWindowLongPtrW(m_filterEdit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            SetWindowLongPtrW(m_filterEdit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&FilterEditProc));
        }
    }
    m_records.setFilter(&m_filter);
}

int Panorel::layoutFilterBar(int width) {
    if (!m_filterEdit) return 0;
    const int y = (kFilterBarHeight - kFieldHeight) / 2;
    const int dates = kCheckWidth + kPickerWidth + kBeforeWidth + kPickerWidth + 4 * kMargin;
    const int textWidth = std::max(width - kLabelWidth - 2 * kMargin - dates, kMinTextWidth);
    int x = kMargin;
    MoveWindow(m_filterLabel, x, y + 3, kLabelWidth, kFieldHeight - 4, TRUE);
    x += kLabelWidth;
    MoveWindow(m_filterEdit, x, y, textWidth, kFieldHeight, TRUE);
    x += textWidth + kMargin;
    for (auto [window, w] : {std::pair{m_afterCheck, kCheckWidth}, std::pair{m_afterPicker, kPickerWidth},
                             std::pair{m_beforeCheck, kBeforeWidth}, std::pair{m_beforePicker, kPickerWidth}}) {
        MoveWindow(window, x, y, w, kFieldHeight, TRUE);
        x += w + kMargin;
    }
    return kFilterBarHeight;
}

void Panorel::filterCommand(int id, int code) {
    if (id == kFilterEditId && code == EN_CHANGE) {
        applyFilter();
    } else if (id == kFilterEditId && code == EN_SETFOCUS) {
        // Typing is about to begin: the texts are made ready while the person reaches for the keys.
        m_filter.prepare();
    } else if ((id == kDeletedAfterCheckId || id == kDeletedBeforeCheckId) && code == BN_CLICKED) {
        EnableWindow(id == kDeletedAfterCheckId ? m_afterPicker : m_beforePicker,
                     Checked(id == kDeletedAfterCheckId ? m_afterCheck : m_beforeCheck));
        applyFilter();
    }
}

FilterCriteria Panorel::filterCriteria() const {
    FilterCriteria criteria;
    if (m_filterEdit) {
        const int length = GetWindowTextLengthW(m_filterEdit);
        criteria.text.resize(size_t(std::max(length, 0)) + 1);
        criteria.text.resize(size_t(std::max(GetWindowTextW(m_filterEdit, criteria.text.data(), length + 1), 0)));
    }
    criteria.deletedFromUtc = DayBound(m_afterCheck, m_afterPicker, false);
    criteria.deletedBeforeUtc = DayBound(m_beforeCheck, m_beforePicker, true);
    return criteria;
}

void Panorel::applyFilter() {
    if (!m_filter.setCriteria(filterCriteria())) return;
    showFilteredRecords();
}

void Panorel::showFilteredRecords() {
    // The selection is by row: the records selected before stay selected where they are shown.
    const std::vector<PropertySet*> before = selectedTopRecords();
    const std::unordered_set<const PropertySet*> selected(before.begin(), before.end());
    m_records.refilter();
    if (m_topList) {
        m_quietSelection = true;
        SendMessageW(m_topList, LVM_SETITEMCOUNT, 0, 0);
        SendMessageW(m_topList, LVM_SETITEMCOUNT, WPARAM(m_records.size()), 0);
        m_quietSelection = false;
    }
    selectRecords(selected);
    showStatus();
}

void Panorel::selectRecords(const std::unordered_set<const PropertySet*>& selected) {
    if (m_topList) {
        m_quietSelection = true;
        if (!selected.empty()) {
            LVITEMW item{};
            item.stateMask = item.state = LVIS_SELECTED;
            for (long i = 0, n = long(m_records.size()); i < n; ++i)
                if (selected.count(m_records.at(i)))
                    SendMessageW(m_topList, LVM_SETITEMSTATE, WPARAM(i), reinterpret_cast<LPARAM>(&item));
        }
        m_quietSelection = false;
        redraw(m_topList);
    }
    if (!selected.empty()) selectionChanged();
}

void Panorel::clearFilter() {
    for (HWND box : {m_afterCheck, m_beforeCheck})
        if (box) SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
    for (HWND picker : {m_afterPicker, m_beforePicker})
        if (picker) EnableWindow(picker, FALSE);
    // Setting the text sends EN_CHANGE, which shows every record again.
    if (m_filterEdit) SetWindowTextW(m_filterEdit, u"");
    applyFilter();
}

void Panorel::focusFilter() {
    if (!m_filterEdit) return;
    SetFocus(m_filterEdit);
    SendMessageW(m_filterEdit, EM_SETSEL, 0, -1);
}

void Panorel::showStatus() {
    PropertySet* node = selectedNodeRecord();
    // The root lists domains, not deleted objects; its status is the console's.
    if (!m_console || !node) return;
    const size_t total = m_records.total();
    std::u16string text;
    if (m_filter.active())
        text = Number(m_records.size()) + u" of " + Number(total) + u" deleted objects shown.";
    else
        text = Number(total) + (total == 1 ? u" deleted object in " : u" deleted objects in ") +
               std::u16string(node->getText(u"name")) + u".";
    m_console->SetStatusText(text.data());
}

}  // namespace panorel
