// Property sheets with one page and no Apply button: validation in PSN_KILLACTIVE / PSN_APPLY
// keeps the sheet open, OK and Cancel end it with the results Windows gives.
#include <gtest/gtest.h>

#include "lumivel/ui_backend.h"
#include "lumivel/ui_test_hook.h"
#include "message_log.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace {

using lumivel::ui::Surface;

struct PageRun {
    test::MessageLog log;
    bool refuseLeaving = false;
    LONG_PTR applyAnswer = PSNRET_NOERROR;
    LPARAM initParam = 0;
};
PageRun* g_run = nullptr;

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!g_run) return FALSE;
    g_run->log.add(message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        g_run->initParam = reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam;
        return TRUE;
    }
    if (message == WM_NOTIFY) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == PSN_KILLACTIVE) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, g_run->refuseLeaving ? TRUE : FALSE);
            return TRUE;
        }
        if (header->code == PSN_APPLY) {
            SetWindowLongPtrW(page, DWLP_MSGRESULT, g_run->applyAnswer);
            return TRUE;
        }
    }
    return FALSE;
}

INT_PTR ShowSheet() {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof(page);
    page.pszTemplate = MAKEINTRESOURCEW(310);
    page.pfnDlgProc = PageProc;
    page.lParam = 0x5E77;
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.pszCaption = u"Schedule";
    header.nPages = 1;
    header.ppsp = &page;
    return PropertySheetW(&header);
}

class PropertySheets : public ::testing::Test {
protected:
    void SetUp() override {
        lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
        g_run = &m_run;
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        g_run = nullptr;
    }
    PageRun m_run;
};

TEST_F(PropertySheets, RefusedValidationKeepsTheSheetOpen) {
    m_run.refuseLeaving = true;
    std::vector<int> rounds;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        EXPECT_EQ(s.kind, lumivel::ui::SurfaceKind::PropertySheet);
        rounds.push_back(s.round);
        HWND page = PropSheet_GetCurrentPageHwnd(s.window);
        EXPECT_NE(page, nullptr);
        EXPECT_EQ(GetDlgItem(s.window, 0x3021), nullptr) << "no Apply button";
        if (s.round == 1) {
            m_run.refuseLeaving = false;
            SetDlgItemTextW(page, 211, u"backup-user");
        }
        SendMessageW(s.window, PSM_PRESSBUTTON, PSBTN_OK, 0);
        return 0;
    });
    EXPECT_EQ(ShowSheet(), 1);
    EXPECT_EQ(rounds, (std::vector<int>{0, 1}));
    EXPECT_EQ(m_run.initParam, 0x5E77) << "WM_INITDIALOG points at the page record";
    std::vector<std::string> notifications;
    for (const auto& e : m_run.log.entries)
        if (e.rfind("PSN_", 0) == 0 || e == "WM_INITDIALOG") notifications.push_back(e);
    EXPECT_EQ(notifications, (std::vector<std::string>{"WM_INITDIALOG", "PSN_SETACTIVE", "PSN_KILLACTIVE", "PSN_KILLACTIVE",
                                                       "PSN_APPLY"}));
}

TEST_F(PropertySheets, InvalidApplyAndCancel) {
    m_run.applyAnswer = PSNRET_INVALID_NOCHANGEPAGE;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        if (s.round == 0) {
            SendMessageW(s.window, PSM_PRESSBUTTON, PSBTN_OK, 0);  // refused by PSN_APPLY
        } else {
            SendMessageW(s.window, WM_COMMAND, IDCANCEL, 0);
        }
        return 0;
    });
    EXPECT_EQ(ShowSheet(), 0);
    auto& e = m_run.log.entries;
    auto reset = std::find(e.begin(), e.end(), "PSN_RESET");
    ASSERT_NE(reset, e.end());
    EXPECT_EQ(std::count(e.begin(), e.end(), "PSN_APPLY"), 1);
    EXPECT_EQ(std::count_if(reset + 1, e.end(), [](const std::string& m) { return m.rfind("PSN_", 0) == 0; }), 0)
        << "the reset is the last page notification";
}

TEST_F(PropertySheets, CloseBoxCancelsAndBadHeadersFail) {
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        SendMessageW(s.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    });
    EXPECT_EQ(ShowSheet(), 0);
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    EXPECT_EQ(PropertySheetW(&header), -1) << "no pages";
    EXPECT_EQ(PropertySheetW(nullptr), -1);
}

// Page handles given to a sheet are the sheet's, whether it opens or not: afterwards they are
// gone (a second destroy is refused), not leaked.
TEST_F(PropertySheets, PageHandlesEndWithTheSheet) {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof(page);
    page.pszTemplate = MAKEINTRESOURCEW(310);
    page.pfnDlgProc = PageProc;
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_NOAPPLYNOW;
    header.pszCaption = u"Schedule";
    header.nPages = 1;

    HPROPSHEETPAGE shown = CreatePropertySheetPageW(&page);
    ASSERT_NE(shown, nullptr);
    header.phpage = &shown;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        PropSheet_PressButton(s.window, PSBTN_CANCEL);
        return 0;
    });
    EXPECT_EQ(PropertySheetW(&header), 0);
    EXPECT_FALSE(DestroyPropertySheetPage(shown));

    lumivel::ui::SetTestHook({});
    HPROPSHEETPAGE refused = CreatePropertySheetPageW(&page);
    ASSERT_NE(refused, nullptr);
    header.phpage = &refused;
    EXPECT_EQ(PropertySheetW(&header), -1) << "no display, no hook";
    EXPECT_FALSE(DestroyPropertySheetPage(refused)) << "the sheet that failed to open released its page";

    HPROPSHEETPAGE missingTemplate = nullptr;
    page.pszTemplate = MAKEINTRESOURCEW(9999);
    missingTemplate = CreatePropertySheetPageW(&page);
    header.phpage = &missingTemplate;
    EXPECT_EQ(PropertySheetW(&header), -1);
    EXPECT_FALSE(DestroyPropertySheetPage(missingTemplate));
}

}  // namespace
