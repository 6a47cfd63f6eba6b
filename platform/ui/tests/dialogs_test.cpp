// Dialogs from templates under the headless backend driven by the test hook: what a dialog
// procedure receives and in which order, a template with every control kind round-tripping
// its texts and states, hook rounds, close box, failures; message boxes and popup menus
// through the hook.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "lumivel/thread_queue.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "message_log.h"
#include "win/commctrl.h"
#include "win/errors.h"
#include "win/threads.h"
#include "win/user.h"

namespace {

using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;

constexpr UINT kFillList = WM_APP + 0x64;

struct DialogRun {
    test::MessageLog log;
    std::function<INT_PTR(HWND, UINT, WPARAM, LPARAM)> extra;
};

// The run being recorded, so that messages before WM_INITDIALOG are seen too.
DialogRun* g_current = nullptr;

INT_PTR CALLBACK EveryControlProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* run = reinterpret_cast<DialogRun*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!run) run = g_current;
    if (!run) return FALSE;
    run->log.add(message, wParam, lParam);
    if (run->extra) {
        if (INT_PTR handled = run->extra(dialog, message, wParam, lParam)) return handled;
    }
    switch (message) {
    case WM_INITDIALOG: {
        for (const char16_t* text : {u"Daily", u"Weekly", u"Monthly", u"Once"})
            SendDlgItemMessageW(dialog, 219, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendDlgItemMessageW(dialog, 219, CB_SETCURSEL, 0, 0);
        SendDlgItemMessageW(dialog, 204, UDM_SETRANGE, 0, MAKELPARAM(365, 1));
        SendDlgItemMessageW(dialog, 204, UDM_SETPOS, 0, MAKELPARAM(1, 0));
        CheckDlgButton(dialog, 268, BST_CHECKED);
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        PostMessageW(dialog, kFillList, 0, 0);
        return TRUE;
    }
    case kFillList: {
        HWND list = GetDlgItem(dialog, 210);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 80;
        column.pszText = const_cast<LPWSTR>(u"Name");
        ListView_InsertColumn(list, 0, &column);
        column.pszText = const_cast<LPWSTR>(u"Site");
        ListView_InsertColumn(list, 1, &column);
        for (const char16_t* name : {u"dc1.example.test", u"dc2.example.test"}) {
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = ListView_GetItemCount(list);
            item.pszText = const_cast<LPWSTR>(name);
            ListView_InsertItem(list, &item);
        }
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == 201 && HIWORD(wParam) == EN_CHANGE)
            EnableWindow(GetDlgItem(dialog, IDOK), GetWindowTextLengthW(GetDlgItem(dialog, 201)) > 0);
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    default: return FALSE;
    }
}

std::u16string ItemText(HWND dialog, int id, int limit = 256) {
    std::u16string text(size_t(limit), u'\0');
    UINT n = GetDlgItemTextW(dialog, id, text.data(), limit);
    text.resize(n);
    return text;
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override { lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend()); }
    void TearDown() override { lumivel::ui::SetTestHook({}); }
};

TEST_F(Dialogs, ProcedureSeesWindowsSequence) {
    DialogRun run;
    g_current = &run;
    std::vector<std::string> seenByHook;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        EXPECT_EQ(s.kind, SurfaceKind::Dialog);
        EXPECT_EQ(s.resourceId, 300);
        EXPECT_EQ(s.caption, u"Every control");
        seenByHook = run.log.entries;
        run.log.clear();
        SetDlgItemTextW(s.window, 201, u"contoso.test");
        SendMessageW(GetDlgItem(s.window, IDOK), BM_CLICK, 0, 0);
        return 0;
    });
    INT_PTR result = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run));
    g_current = nullptr;
    EXPECT_EQ(result, IDOK);
    // The font comes first; the up-down control's buddy text changes during WM_INITDIALOG;
    // the first tab stop gets the focus; the posted message has run before the hook looks.
    EXPECT_EQ(seenByHook, (std::vector<std::string>{"WM_SETFONT", "WM_INITDIALOG", "WM_COMMAND(203,EN_UPDATE)",
                                                    "WM_COMMAND(203,EN_CHANGE)", "WM_COMMAND(201,256)",  // EN_SETFOCUS
                                                    "WM_SHOWWINDOW(show)", "WM_APP+100", "LVN_INSERTITEM(210)",
                                                    "LVN_INSERTITEM(210)"}));
    EXPECT_EQ(run.log.entries, (std::vector<std::string>{"WM_COMMAND(201,EN_UPDATE)", "WM_COMMAND(201,EN_CHANGE)",
                                                         "WM_COMMAND(1,BN_CLICKED)", "WM_SHOWWINDOW(hide)",
                                                         "WM_COMMAND(201,512)",  // EN_KILLFOCUS
                                                         "WM_DESTROY", "WM_NCDESTROY"}));
}

// WM_SETFONT goes to the dialog and its controls only when the template names a font.
TEST_F(Dialogs, FontOnlyFromTemplatesThatNameOne) {
    for (int id : {300, 321}) {
        DialogRun run;
        g_current = &run;
        HFONT dialogFont = nullptr, editFont = nullptr;
        lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
            dialogFont = reinterpret_cast<HFONT>(SendMessageW(s.window, WM_GETFONT, 0, 0));
            editFont = reinterpret_cast<HFONT>(SendDlgItemMessageW(s.window, 201, WM_GETFONT, 0, 0));
            EndDialog(s.window, IDCANCEL);
            return 0;
        });
        EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(id), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run)),
                  IDCANCEL);
        g_current = nullptr;
        bool named = id == 300;
        EXPECT_EQ(run.log.entries.front(), named ? "WM_SETFONT" : "WM_INITDIALOG") << id;
        EXPECT_EQ(editFont, named ? dialogFont : nullptr) << id;
    }
}

TEST_F(Dialogs, EveryControlRoundTripsItsTextsAndStates) {
    DialogRun run;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        HWND d = s.window;
        // Texts, with GetDlgItemTextW's length limit.
        EXPECT_TRUE(SetDlgItemTextW(d, 201, u"Gr\u00fc\u00dfe \U0001F600 \"quoted\" (x) *"));
        EXPECT_EQ(ItemText(d, 201), u"Gr\u00fc\u00dfe \U0001F600 \"quoted\" (x) *");
        EXPECT_EQ(ItemText(d, 201, 4), u"Gr\u00fc");
        EXPECT_EQ(GetDlgItemTextW(d, 999, nullptr, 0), 0u) << "no such control";
        SetDlgItemTextW(d, 202, u"secret");
        EXPECT_EQ(ItemText(d, 202), u"secret") << "a password box still answers its text";
        // Number edit with its up-down buddy.
        EXPECT_EQ(ItemText(d, 203), u"1");
        lumivel::ui::UserSpin(GetDlgItem(d, 204), +1);
        EXPECT_EQ(ItemText(d, 203), u"2");
        EXPECT_FALSE(lumivel::ui::UserSetEditText(GetDlgItem(d, 203), u"12a")) << "ES_NUMBER refuses letters";
        EXPECT_EQ(ItemText(d, 203), u"2");
        EXPECT_FALSE(lumivel::ui::UserSetEditText(GetDlgItem(d, 205), u"typed")) << "read-only";
        // Check boxes and an automatic radio group.
        SendDlgItemMessageW(d, 235, BM_CLICK, 0, 0);
        EXPECT_EQ(IsDlgButtonChecked(d, 235), UINT(BST_CHECKED));
        EXPECT_EQ(IsDlgButtonChecked(d, 241), UINT(BST_UNCHECKED));
        SendDlgItemMessageW(d, 269, BM_CLICK, 0, 0);
        EXPECT_EQ(IsDlgButtonChecked(d, 268), UINT(BST_UNCHECKED));
        EXPECT_EQ(IsDlgButtonChecked(d, 269), UINT(BST_CHECKED));
        CheckRadioButton(d, 268, 269, 268);
        EXPECT_EQ(IsDlgButtonChecked(d, 268), UINT(BST_CHECKED));
        // The drop-down list.
        EXPECT_EQ(SendDlgItemMessageW(d, 219, CB_GETCOUNT, 0, 0), 4);
        lumivel::ui::UserSelectComboItem(GetDlgItem(d, 219), 2);
        EXPECT_EQ(SendDlgItemMessageW(d, 219, CB_GETCURSEL, 0, 0), 2);
        EXPECT_EQ(ItemText(d, 219), u"Monthly");
        // The list view filled by the posted message.
        HWND list = GetDlgItem(d, 210);
        EXPECT_EQ(ListView_GetItemCount(list), 2);
        EXPECT_EQ(lumivel::ui::ListViewCellText(list, 1, 0), u"dc2.example.test");
        // The time picker.
        SYSTEMTIME t{};
        EXPECT_EQ(SendDlgItemMessageW(d, 1763, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&t)), GDT_VALID);
        t.wHour = 23;
        t.wMinute = 59;
        EXPECT_TRUE(SendDlgItemMessageW(d, 1763, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t)));
        SYSTEMTIME back{};
        SendDlgItemMessageW(d, 1763, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&back));
        EXPECT_EQ(back.wHour, 23);
        t.wMonth = 13;
        EXPECT_FALSE(SendDlgItemMessageW(d, 1763, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&t)));
        EXPECT_FALSE(SendDlgItemMessageW(d, 1763, DTM_SETSYSTEMTIME, GDT_NONE, 0)) << "no DTS_SHOWNONE";
        // Geometry in dialog units: x 50 at 6 pixels per 4 units.
        RECT r{50, 7, 170, 21};
        EXPECT_TRUE(MapDialogRect(d, &r));
        RECT edit;
        GetWindowRect(GetDlgItem(d, 201), &edit);
        EXPECT_EQ(edit.right - edit.left, r.right - r.left);
        EndDialog(d, 42);
        return 0;
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run)), 42);
}

// A dialog that stays open after the hook's first answer gets a second round; the close box
// takes the path Windows takes (WM_SYSCOMMAND, WM_CLOSE) and the procedure's answer stands.
TEST_F(Dialogs, HookRoundsAndCloseBox) {
    DialogRun run;
    std::vector<int> rounds;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        rounds.push_back(s.round);
        if (s.round == 0) {
            SendMessageW(s.window, WM_COMMAND, IDOK, 0);  // OK is disabled, the procedure still ends...
            return 0;
        }
        run.log.clear();
        lumivel::ui::UserCloseWindow(s.window);
        return 0;
    });
    run.extra = [](HWND, UINT message, WPARAM wParam, LPARAM) -> INT_PTR {
        return message == WM_COMMAND && LOWORD(wParam) == IDOK ? TRUE : FALSE;  // ...unless it refuses
    };
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run)), 0);
    EXPECT_EQ(rounds, (std::vector<int>{0, 1}));
    EXPECT_EQ(run.log.entries, (std::vector<std::string>{"WM_SYSCOMMAND", "WM_CLOSE", "WM_SHOWWINDOW(hide)",
                                                         "WM_COMMAND(201,512)", "WM_DESTROY", "WM_NCDESTROY"}));
}

TEST_F(Dialogs, UnansweredDialogEndsAfterTheRoundLimit) {
    DialogRun run;
    int calls = 0;
    lumivel::ui::SetTestHook([&](const Surface&) -> INT_PTR {
        ++calls;
        return 0;
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run)), -1);
    EXPECT_EQ(calls, lumivel::ui::kMaxHookRounds);
}

TEST_F(Dialogs, FailuresAreReportedNotShown) {
    DialogRun run;
    SetLastError(0);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run)), -1)
        << "headless, no hook";
    EXPECT_EQ(GetLastError(), 1459u) << "ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION";
    EXPECT_TRUE(run.log.entries.empty()) << "the procedure never ran";
    lumivel::ui::SetTestHook([](const Surface&) -> INT_PTR { return 0; });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, EveryControlProc, 0), -1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(320), nullptr, EveryControlProc, 0), -1) << "unknown control class";
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), reinterpret_cast<HWND>(0x7777), EveryControlProc, 0), -1);
}

TEST_F(Dialogs, ModelessChildPanelInsideADialog) {
    DialogRun run;
    HWND panel = nullptr;
    run.extra = [&](HWND dialog, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            panel = CreateDialogParamW(nullptr, MAKEINTRESOURCEW(311), dialog, [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR {
                return FALSE;
            }, 0);
            ShowWindow(panel, SW_HIDE);
        }
        return FALSE;
    };
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        EXPECT_TRUE(IsChild(s.window, panel));
        EXPECT_FALSE(IsWindowVisible(panel));
        EXPECT_NE(GetDlgItem(panel, 252), nullptr);
        EXPECT_EQ(GetDlgItem(s.window, 252), nullptr) << "GetDlgItem looks at direct children only";
        EndDialog(s.window, IDCANCEL);
        return 0;
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run)), IDCANCEL);
    EXPECT_FALSE(IsWindow(panel)) << "destroyed with its dialog";
}

TEST_F(Dialogs, MessageBoxesThroughTheHookAndHeadless) {
    std::vector<Surface> seen;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        seen.push_back(s);
        return s.style & MB_RETRYCANCEL ? IDRETRY : IDYES;  // IDYES is no button of an OK box
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"The server is not operational.", u"Active Directory", MB_RETRYCANCEL | MB_ICONSTOP), IDRETRY);
    EXPECT_EQ(MessageBoxW(nullptr, u"done", u"Success", MB_OK | MB_ICONINFORMATION), IDOK) << "an impossible answer gives the default";
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].kind, SurfaceKind::MessageBox);
    EXPECT_EQ(seen[0].caption, u"Active Directory");
    EXPECT_EQ(seen[0].text, u"The server is not operational.");
    EXPECT_EQ(MessageBoxW(reinterpret_cast<HWND>(0x1234), u"x", u"y", MB_OK), 0) << "a bad owner";
    lumivel::ui::SetTestHook({});
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(nullptr, u"Could not create the container for this object.", u"Error", MB_OK), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"Retry?", nullptr, MB_RETRYCANCEL | MB_DEFBUTTON2), IDCANCEL);
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_NE(output.find("Error: Could not create the container for this object."), std::string::npos);
    EXPECT_NE(output.find("Error: Retry?"), std::string::npos) << "no caption gives \"Error\"";
    EXPECT_EQ(lumivel::ui::MessageBoxDefaultButton(MB_YESNOCANCEL | MB_DEFBUTTON3), IDCANCEL);
    EXPECT_EQ(lumivel::ui::MessageBoxDefaultButton(MB_OK | MB_DEFBUTTON4), IDOK);
}

TEST_F(Dialogs, PopupMenusThroughTheHook) {
    HWND owner = CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 311, u"&Restore");
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 5002, u"P&roperties");
    HMENU sub = CreatePopupMenu();
    AppendMenuW(sub, MF_STRING, 0x8001, u"&User");
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub), u"&New");
    UINT answer = 0;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        EXPECT_EQ(s.kind, SurfaceKind::PopupMenu);
        EXPECT_EQ(GetMenuItemCount(s.menu), 3);
        return answer;
    });
    answer = 0x8001;
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0x8001) << "from the submenu";
    answer = 5002;
    testing::internal::CaptureStderr();
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0) << "a grey item cannot be chosen";
    testing::internal::GetCapturedStderr();
    answer = 0;
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0);
    EXPECT_FALSE(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr)) << "an owner is needed";
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 0) << "headless: dismissed";
    DestroyMenu(menu);
    DestroyWindow(owner);
}

}  // namespace

namespace {

// A worker's dialog and message box over a window of the UI's thread are shown on that thread
// (widgets live on one), the worker waiting for their answers; without an owner, or over a
// window of its own, a worker's surface stays on the worker; an owner gone fails.
TEST_F(Dialogs, AWorkersSurfacesOverAnotherThreadsWindowRunOnThatThread) {
    HWND owner = CreateWindowExW(0, u"STATIC", u"", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    const DWORD ui = GetCurrentThreadId();
    std::vector<std::pair<SurfaceKind, DWORD>> shown;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        shown.emplace_back(s.kind, GetCurrentThreadId());
        if (s.kind == SurfaceKind::MessageBox) return IDNO;
        EndDialog(s.window, 7);
        return 0;
    });
    DialogRun run;
    std::atomic<bool> finished{false};
    INT_PTR dialogAnswer = 0, ownerless = 0;
    int boxAnswer = 0;
    DWORD workerId = 0;
    std::thread worker([&] {
        workerId = GetCurrentThreadId();
        dialogAnswer = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), owner, EveryControlProc, reinterpret_cast<LPARAM>(&run));
        boxAnswer = MessageBoxW(owner, u"Use it all the same?", u"Restore", MB_YESNO);
        ownerless = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, EveryControlProc, reinterpret_cast<LPARAM>(&run));
        finished = true;
        lumivel::WakeThreadQueue(*lumivel::FindThreadQueue(ui));
    });
    ASSERT_TRUE(lumivel::PumpThreadWorkUntil([&] { return finished.load(); }, 30000));
    worker.join();
    EXPECT_EQ(dialogAnswer, 7);
    EXPECT_EQ(boxAnswer, IDNO);
    EXPECT_EQ(ownerless, 7);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], std::make_pair(SurfaceKind::Dialog, ui));
    EXPECT_EQ(shown[1], std::make_pair(SurfaceKind::MessageBox, ui));
    EXPECT_EQ(shown[2], std::make_pair(SurfaceKind::Dialog, workerId)) << "no owner: the worker's own";

    // The owner's thread has ended: its windows went with it, and nothing is shown.
    HWND orphan = nullptr;
    std::thread gone([&] {
        orphan = CreateWindowExW(0, u"STATIC", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    });
    gone.join();
    shown.clear();
    EXPECT_EQ(MessageBoxW(orphan, u"x", u"y", MB_OK), 0);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), orphan, EveryControlProc, 0), -1);
    EXPECT_TRUE(shown.empty());

    // The owner closed under the worker (a progress dialog closed by force): the worker's
    // questions fail as over an invalid window, which callers take as cancelled, and nothing
    // is shown, least of all on the worker.
    DestroyWindow(owner);
    finished = false;
    INT_PTR closedDialog = 0;
    int closedBox = -1;
    DWORD dialogError = 0, boxError = 0;
    std::thread late([&] {
        closedDialog = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), owner, EveryControlProc, 0);
        dialogError = GetLastError();
        closedBox = MessageBoxW(owner, u"Use it all the same?", u"Restore", MB_YESNO);
        boxError = GetLastError();
        finished = true;
        lumivel::WakeThreadQueue(*lumivel::FindThreadQueue(ui));
    });
    ASSERT_TRUE(lumivel::PumpThreadWorkUntil([&] { return finished.load(); }, 30000));
    late.join();
    EXPECT_EQ(closedDialog, -1);
    EXPECT_EQ(dialogError, DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(closedBox, 0);
    EXPECT_EQ(boxError, DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_TRUE(shown.empty());
}

}  // namespace
