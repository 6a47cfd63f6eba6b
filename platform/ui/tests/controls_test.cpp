// Controls outside dialogs: owner-data and kept list views with their notifications, the rich
// edit link pane, edit limits, up-down ranges.
#include <gtest/gtest.h>

#include <map>
#include <thread>

#include "lumivel/ui_backend.h"
#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "message_log.h"
#include "win/commctrl.h"
#include "win/gdi.h"
#include "win/richedit.h"
#include "win/user.h"

namespace {

// A parent that logs its notifications and answers display requests like the result pane:
// the record's own string, handed out without copying.
struct Parent {
    test::MessageLog log;
    std::vector<std::u16string> names;
    int findAnswer = -1;
    std::u16string lastFind;
    std::u16string link;
};
Parent* g_parent = nullptr;

LRESULT ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_parent && (message == WM_NOTIFY || message == WM_COMMAND || message == WM_VSCROLL)) g_parent->log.add(message, wParam, lParam);
    if (message == WM_NOTIFY && g_parent) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == LVN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
            if ((info->item.mask & LVIF_TEXT) && size_t(info->item.iItem) < g_parent->names.size())
                info->item.pszText = const_cast<LPWSTR>(g_parent->names[size_t(info->item.iItem)].c_str());
            if (info->item.mask & LVIF_IMAGE) info->item.iImage = info->item.iItem % 3;
        }
        if (header->code == LVN_ODFINDITEMW) {
            g_parent->lastFind = reinterpret_cast<NMLVFINDITEMW*>(lParam)->lvfi.psz;
            return g_parent->findAnswer;
        }
        if (header->code == EN_LINK) {
            auto* link = reinterpret_cast<ENLINK*>(lParam);
            WCHAR buffer[256];
            TEXTRANGEW range{link->chrg, buffer};
            SendMessageW(header->hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
            g_parent->link = buffer;
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class Controls : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
        WNDCLASSW wc{};
        wc.lpfnWndProc = ParentProc;
        wc.lpszClassName = u"ControlsParent";
        RegisterClassW(&wc);
    }
    void SetUp() override {
        g_parent = &m_parent;
        m_window = CreateWindowExW(0, u"ControlsParent", u"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        DestroyWindow(m_window);
        g_parent = nullptr;
    }

    // The result pane's top list: style 0x50001049, id 100.
    HWND OwnerDataList() {
        HWND list = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, WC_LISTVIEWW, u"", 0x50001049, 0, 0, 200, 100,
                                    m_window, reinterpret_cast<HMENU>(100), nullptr, nullptr);
        ListView_SetExtendedListViewStyle(list, LVS_EX_HEADERDRAGDROP);
        return list;
    }

    Parent m_parent;
    HWND m_window = nullptr;
};

TEST_F(Controls, OwnerDataListKeepsOnlyCountAndSelection) {
    HWND list = OwnerDataList();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageW(list, WM_GETFONT, 0, 0)), GetStockObject(DEFAULT_GUI_FONT))
        << "a list view has a font to lend from the start";
    m_parent.names = {u"alpha", u"Beta", u"gamma"};
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = 2048;
    column.pszText = const_cast<LPWSTR>(u"Name");
    EXPECT_EQ(ListView_InsertColumn(list, 0, &column), 0);
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), 2048);
    ListView_SetItemCountEx(list, 3, LVSICF_NOINVALIDATEALL);
    EXPECT_EQ(ListView_GetItemCount(list), 3);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), -1);

    m_parent.log.clear();
    EXPECT_EQ(lumivel::ui::ListViewCellText(list, 1, 0), u"Beta");
    EXPECT_EQ(lumivel::ui::ListViewCellImage(list, 2), 2);
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"LVN_GETDISPINFOW(100)", "LVN_GETDISPINFOW(100)"}));

    m_parent.log.clear();
    lumivel::ui::UserSetListSelection(list, {0, 2}, 2);
    EXPECT_EQ(ListView_GetSelectedCount(list), 2u);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 0);
    EXPECT_EQ(ListView_GetNextItem(list, 0, LVNI_SELECTED), 2);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), 2);
    // Clearing a multiple selection is one notification for "all items" in owner data.
    m_parent.log.clear();
    lumivel::ui::UserSetListSelection(list, {1}, 1);
    EXPECT_EQ(m_parent.log.entries.front(), "LVN_ITEMCHANGED(100,-1)");
    EXPECT_EQ(m_parent.log.entries.back(), "LVN_ITEMCHANGED(100,1)");
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED;
    m_parent.log.clear();
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&clear));
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"LVN_ITEMCHANGED(100,-1)"}));
    EXPECT_EQ(ListView_GetSelectedCount(list), 0u);

    // A range is one LVN_ODSTATECHANGED, every item one "all items" notification; the focused
    // item comes last, so its handler finds the whole selection.
    m_parent.log.clear();
    lumivel::ui::UserSetListSelection(list, {0, 1, 2}, 2);
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"LVN_ODSTATECHANGED(100,0-1)",
                                                              "LVN_ITEMCHANGED(100,1)",  // loses the focus
                                                              "LVN_ITEMCHANGED(100,2)"}));
    m_parent.log.clear();
    lumivel::ui::UserSetListSelection(list, {}, -1);
    lumivel::ui::UserSetListSelection(list, {0, 1, 2}, -1);
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"LVN_ITEMCHANGED(100,-1)", "LVN_ITEMCHANGED(100,-1)"}));
    EXPECT_EQ(ListView_GetSelectedCount(list), 3u);

    // Shrinking the count drops states of items that are gone.
    lumivel::ui::UserSetListSelection(list, {2}, 2);
    ListView_SetItemCountEx(list, 2, 0);
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), -1);

    // Type-ahead goes to the parent.
    m_parent.findAnswer = 1;
    EXPECT_EQ(lumivel::ui::UserListFindItem(list, -1, u"be"), 1);
    EXPECT_EQ(m_parent.lastFind, u"be");
}

TEST_F(Controls, ListNotificationsForClicksKeysAndHeaders) {
    HWND list = OwnerDataList();
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.cx = 100;
    column.pszText = const_cast<LPWSTR>(u"Name");
    ListView_InsertColumn(list, 0, &column);
    column.pszText = const_cast<LPWSTR>(u"Class");
    ListView_InsertColumn(list, 1, &column);
    ListView_SetItemCount(list, 5);
    m_parent.log.clear();
    lumivel::ui::UserListColumnClick(list, 1);
    lumivel::ui::UserListKeyDown(list, VK_DELETE);
    lumivel::ui::UserListClick(list, 3, 0, NM_DBLCLK, POINT{5, 60});
    lumivel::ui::UserListClick(list, -1, 0, NM_RCLICK, POINT{5, 90});
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"LVN_COLUMNCLICK(100)", "LVN_KEYDOWN(100)", "NM_DBLCLK(100)",
                                                              "NM_RCLICK(100)"}));
    ListView_DeleteColumn(list, 0);
    EXPECT_EQ(ListView_GetColumnWidth(list, 0), 100);
    EXPECT_FALSE(ListView_DeleteColumn(list, 5));
}

TEST_F(Controls, KeptListItemsAndSingleSelection) {
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | LVS_REPORT | LVS_SINGLESEL, 0, 0, 200, 100, m_window,
                                reinterpret_cast<HMENU>(201), nullptr, nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT;
    column.pszText = const_cast<LPWSTR>(u"Name");
    ListView_InsertColumn(list, 0, &column);
    for (const char16_t* name : {u"b", u"a", u"c"}) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = 99;  // past the end appends
        item.pszText = const_cast<LPWSTR>(name);
        item.lParam = name[0];
        ListView_InsertItem(list, &item);
    }
    EXPECT_EQ(lumivel::ui::ListViewCellText(list, 2, 0), u"c");
    LVITEMW select{};
    select.stateMask = select.state = LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&select));
    SendMessageW(list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&select));
    EXPECT_EQ(ListView_GetSelectedCount(list), 1u) << "LVS_SINGLESEL";
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 2);
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = u'a';
    EXPECT_EQ(SendMessageW(list, LVM_FINDITEMW, WPARAM(-1), reinterpret_cast<LPARAM>(&find)), 1);
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEITEM, 0, 0));
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_SELECTED), 1) << "the selection moves up with its item";
    EXPECT_TRUE(ListView_DeleteAllItems(list));
    EXPECT_EQ(ListView_GetItemCount(list), 0);
}

TEST_F(Controls, RichEditLinksReachTheParent) {
    HWND pane = CreateWindowExW(0, RICHEDIT_CLASSW, u"", 0x40A11844, 0, 120, 100, 220, m_window,
                                reinterpret_cast<HMENU>(102), nullptr, nullptr);
    ASSERT_NE(pane, nullptr);
    SendMessageW(pane, EM_EXLIMITTEXT, 0, -1);
    SendMessageW(pane, EM_SETEVENTMASK, 0, ENM_LINK);
    SendMessageW(pane, EM_AUTOURLDETECT, TRUE, 0);
    SETTEXTEX options{0, 1200};
    std::u16string details = u"See http://example.test/a?b=c, or ldap://dc1/CN=x. Nothing else.";
    SendMessageW(pane, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&options), reinterpret_cast<LPARAM>(details.c_str()));
    EXPECT_EQ(GetWindowTextLengthW(pane), int(details.size()));
    m_parent.log.clear();
    lumivel::ui::UserClickRichEdit(pane, 10, WM_LBUTTONDOWN);
    EXPECT_EQ(m_parent.link, u"http://example.test/a?b=c") << "trailing punctuation is no part of a link";
    lumivel::ui::UserClickRichEdit(pane, 35, WM_LBUTTONDOWN);
    EXPECT_EQ(m_parent.link, u"ldap://dc1/CN=x");
    m_parent.log.clear();
    lumivel::ui::UserClickRichEdit(pane, 2, WM_LBUTTONDOWN);
    EXPECT_TRUE(m_parent.log.entries.empty()) << "no link there";
    // Emptying the pane: flags 0, code page 1200, an empty text.
    SendMessageW(pane, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&options), reinterpret_cast<LPARAM>(u""));
    EXPECT_EQ(GetWindowTextLengthW(pane), 0);
    // Other code pages carry UTF-8, this platform's ANSI code page.
    SETTEXTEX ansi{0, 0};
    SendMessageW(pane, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&ansi), reinterpret_cast<LPARAM>("Gr\xC3\xBC\xC3\x9F" "e"));
    WCHAR buffer[16];
    GetWindowTextW(pane, buffer, 16);
    EXPECT_EQ(std::u16string(buffer), u"Gr\u00fc\u00dfe");
    SendMessageW(pane, EM_EXLIMITTEXT, 0, 3);
    SendMessageW(pane, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&options), reinterpret_cast<LPARAM>(u"abcdef"));
    EXPECT_EQ(GetWindowTextLengthW(pane), 3);
}

TEST_F(Controls, EditLimitAndSetTextNotifications) {
    HWND edit = CreateWindowExW(0, u"Edit", u"", WS_CHILD | ES_AUTOHSCROLL, 0, 0, 50, 14, m_window,
                                reinterpret_cast<HMENU>(215), nullptr, nullptr);
    SendMessageW(edit, EM_LIMITTEXT, 5, 0);
    m_parent.log.clear();
    EXPECT_FALSE(lumivel::ui::UserSetEditText(edit, u"1234567")) << "typing stops at the limit";
    WCHAR text[16];
    GetWindowTextW(edit, text, 16);
    EXPECT_EQ(std::u16string(text), u"12345");
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"WM_COMMAND(215,EN_UPDATE)", "WM_COMMAND(215,EN_CHANGE)",
                                                              "WM_COMMAND(215,1281)"}));  // EN_MAXTEXT
    SetWindowTextW(edit, u"a longer text set by code");
    EXPECT_EQ(GetWindowTextLengthW(edit), 25) << "the limit binds typing only";
    EXPECT_EQ(SendMessageW(edit, EM_GETMODIFY, 0, 0), FALSE);

    // A character outside the BMP that does not fit whole is left out, not cut in half.
    const std::u16string fourAndAFace = u"abcd\U0001F600";
    lumivel::ui::UserSetEditText(edit, fourAndAFace);
    GetWindowTextW(edit, text, 16);
    EXPECT_EQ(std::u16string(text), u"abcd");
    SetWindowTextW(edit, u"ab");
    SendMessageW(edit, EM_SETSEL, 2, 2);
    SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(u"c\U0001F600\U0001F600"));
    GetWindowTextW(edit, text, 16);
    EXPECT_EQ(std::u16string(text), u"abc\U0001F600");

    HWND rich = CreateWindowExW(0, u"RichEdit20W", u"", WS_CHILD | ES_MULTILINE | ES_READONLY, 0, 0, 50, 50, m_window,
                                reinterpret_cast<HMENU>(102), nullptr, nullptr);
    ASSERT_NE(rich, nullptr);
    SendMessageW(rich, EM_EXLIMITTEXT, 0, 5);
    SETTEXTEX options{0, 1200};
    SendMessageW(rich, EM_SETTEXTEX, reinterpret_cast<WPARAM>(&options), reinterpret_cast<LPARAM>(fourAndAFace.c_str()));
    GetWindowTextW(rich, text, 16);
    EXPECT_EQ(std::u16string(text), u"abcd");
}

TEST_F(Controls, UpDownRangeBuddyAndVeto) {
    HWND edit = CreateWindowExW(0, u"Edit", u"", WS_CHILD | ES_NUMBER, 0, 0, 50, 14, m_window, reinterpret_cast<HMENU>(252),
                                nullptr, nullptr);
    HWND spin = CreateWindowExW(0, UPDOWN_CLASSW, u"", WS_CHILD | UDS_SETBUDDYINT | UDS_AUTOBUDDY, 50, 0, 10, 14, m_window,
                                reinterpret_cast<HMENU>(234), nullptr, nullptr);
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)), edit);
    SendMessageW(spin, UDM_SETRANGE, 0, MAKELPARAM(365, 1));
    SendMessageW(spin, UDM_SETPOS, 0, MAKELPARAM(365, 0));
    m_parent.log.clear();
    lumivel::ui::UserSpin(spin, +1);
    EXPECT_EQ(LOWORD(SendMessageW(spin, UDM_GETPOS, 0, 0)), 365) << "no wrap past the top";
    lumivel::ui::UserSpin(spin, -1);
    WCHAR text[16];
    GetWindowTextW(edit, text, 16);
    EXPECT_EQ(std::u16string(text), u"364");
    SetWindowTextW(edit, u"abc");
    EXPECT_NE(HIWORD(SendMessageW(spin, UDM_GETPOS, 0, 0)), 0) << "the buddy's text is no position";
    SetWindowTextW(edit, u"1000");
    EXPECT_NE(HIWORD(SendMessageW(spin, UDM_GETPOS, 0, 0)), 0) << "out of range";
    SendMessageW(spin, UDM_SETRANGE32, 0, 5000);
    SendMessageW(spin, UDM_SETPOS32, 0, 1500);
    GetWindowTextW(edit, text, 16);
    EXPECT_EQ(std::u16string(text), u"1,500") << "thousands are grouped unless UDS_NOTHOUSANDS";
}

TEST_F(Controls, DropDownListSortsFindsAndSelects) {
    HWND combo = CreateWindowExW(0, WC_COMBOBOXW, u"", WS_CHILD | CBS_DROPDOWNLIST | CBS_SORT, 0, 0, 80, 60, m_window,
                                 reinterpret_cast<HMENU>(219), nullptr, nullptr);
    for (const char16_t* text : {u"Weekly", u"daily", u"Once", u"Monthly"})
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    WCHAR text[32];
    SendMessageW(combo, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(std::u16string(text), u"daily") << "CBS_SORT ignores case";
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(u"mo")), 1);
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRING, 1, reinterpret_cast<LPARAM>(u"mo")), 1) << "the search wraps round";
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>(u"ONCE")), 2);
    EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 7, 0), CB_ERR);
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR) << "a bad index clears the selection";
    EXPECT_EQ(SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"Yearly")), CB_ERR) << "no such item";
    EXPECT_TRUE(SetWindowTextW(combo, u"weekly"));
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 3);
    m_parent.log.clear();
    SendMessageW(combo, CB_SETCURSEL, 0, 0);
    EXPECT_TRUE(m_parent.log.entries.empty()) << "selection by code sends no notification";
    lumivel::ui::UserSelectComboItem(combo, 2);
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"WM_COMMAND(219,CBN_SELCHANGE)", "WM_COMMAND(219,CBN_SELENDOK)"}));
}

TEST_F(Controls, DateTimePickerValuesAndNotification) {
    HWND picker = CreateWindowExW(0, DATETIMEPICK_CLASSW, u"", WS_CHILD | DTS_SHOWNONE, 0, 0, 80, 14, m_window,
                                  reinterpret_cast<HMENU>(253), nullptr, nullptr);
    SYSTEMTIME t{};
    ASSERT_EQ(DateTime_GetSystemtime(picker, &t), DWORD(GDT_VALID)) << "the current date to start with";
    EXPECT_GE(t.wYear, 2024);
    SYSTEMTIME leap{2028, 2, 0, 29, 0, 0, 0, 0};
    ASSERT_TRUE(DateTime_SetSystemtime(picker, GDT_VALID, &leap));
    ASSERT_EQ(DateTime_GetSystemtime(picker, &t), DWORD(GDT_VALID));
    EXPECT_EQ(t.wDay, 29);
    EXPECT_EQ(t.wDayOfWeek, 2) << "29 February 2028 is a Tuesday";
    SYSTEMTIME notLeap{2027, 2, 0, 29, 0, 0, 0, 0};
    EXPECT_FALSE(DateTime_SetSystemtime(picker, GDT_VALID, &notLeap));
    ASSERT_TRUE(DateTime_SetSystemtime(picker, GDT_NONE, nullptr));
    EXPECT_EQ(DateTime_GetSystemtime(picker, &t), DWORD(GDT_NONE));
    m_parent.log.clear();
    SYSTEMTIME picked{2027, 3, 0, 1, 9, 30, 0, 0};
    lumivel::ui::UserSetDateTime(picker, &picked);
    EXPECT_EQ(m_parent.log.entries, (std::vector<std::string>{"DTN_DATETIMECHANGE(253)"}));
    lumivel::ui::UserSetDateTime(picker, &picked);
    EXPECT_EQ(m_parent.log.entries.size(), 1u) << "the same value again is no change";

    // Limits: code cannot set a value past them, a person's pick stops at them, and the
    // current value moves inside when they are set.
    SYSTEMTIME limits[2] = {{2027, 4, 0, 1, 0, 0, 0, 0}, {2027, 12, 0, 31, 23, 59, 0, 0}};
    ASSERT_TRUE(DateTime_SetRange(picker, GDTR_MIN | GDTR_MAX, limits));
    ASSERT_EQ(DateTime_GetSystemtime(picker, &t), DWORD(GDT_VALID));
    EXPECT_EQ(t.wMonth, 4) << "1 March 2027 moved up to the minimum";
    SYSTEMTIME range[2]{};
    EXPECT_EQ(DateTime_GetRange(picker, range), DWORD(GDTR_MIN | GDTR_MAX));
    EXPECT_EQ(range[1].wDay, 31);
    SYSTEMTIME late{2028, 1, 0, 1, 0, 0, 0, 0};
    EXPECT_FALSE(DateTime_SetSystemtime(picker, GDT_VALID, &late));
    lumivel::ui::UserSetDateTime(picker, &late);
    DateTime_GetSystemtime(picker, &t);
    EXPECT_EQ(t.wYear, 2027);
    EXPECT_EQ(t.wMonth, 12);
    EXPECT_EQ(t.wMinute, 59);
    std::swap(limits[0], limits[1]);
    EXPECT_FALSE(DateTime_SetRange(picker, GDTR_MIN | GDTR_MAX, limits)) << "a minimum after the maximum";
    EXPECT_EQ(DateTime_GetRange(picker, range), DWORD(GDTR_MIN | GDTR_MAX)) << "the refused range changed nothing";
    ASSERT_TRUE(DateTime_SetRange(picker, GDTR_MAX, limits));
    EXPECT_EQ(DateTime_GetRange(picker, range), DWORD(GDTR_MAX)) << "a limit not given is lifted";
    ASSERT_TRUE(DateTime_SetRange(picker, 0, nullptr));
    EXPECT_TRUE(DateTime_SetSystemtime(picker, GDT_VALID, &late));
}

// A window whose thread has ended is gone; messages for it return at once instead of waiting
// for an owner that will never answer.
TEST_F(Controls, SendToAWindowOfAnEndedThreadDoesNotHang) {
    HWND orphan = nullptr;
    std::thread owner([&] {
        orphan = CreateWindowExW(0, u"ControlsParent", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    });
    owner.join();
    ASSERT_NE(orphan, nullptr);
    EXPECT_FALSE(IsWindow(orphan)) << "a thread's windows end with it";
    EXPECT_EQ(SendMessageW(orphan, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_FALSE(PostMessageW(orphan, WM_APP, 0, 0));
}

}  // namespace
