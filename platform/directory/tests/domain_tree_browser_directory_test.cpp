// The domain tree browser against the test domain controller: the forest's domains come from
// the directory and the chosen one's DNS name comes back in task memory.
#include <gtest/gtest.h>

#include <cstdlib>

#include "lumivel/text.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "win/commctrl.h"
#include "win/dsclient.h"

namespace {

std::u16string Lower(std::u16string text) {
    for (auto& c : text)
        if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
    return text;
}

TEST(DomainTreeBrowserDirectory, ListsTheTestDomainAndReturnsIt) {
    const char* domain = std::getenv("TESTDC_DOMAIN");
    ASSERT_NE(domain, nullptr) << "run inside the test domain controller (testdc exec)";
    CoInitialize(nullptr);
    lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
    std::vector<std::u16string> listed;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& s) -> INT_PTR {
        if (s.kind != lumivel::ui::SurfaceKind::Dialog) return IDOK;
        HWND list = GetDlgItem(s.window, 1001);
        for (int i = 0; i < ListView_GetItemCount(list); ++i) listed.push_back(lumivel::ui::ListViewCellText(list, i, 0));
        lumivel::ui::UserSetListSelection(list, {0}, 0);
        SendMessageW(s.window, WM_COMMAND, IDOK, 0);
        return 0;
    });
    IDsBrowseDomainTree* browser = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DsDomainTreeBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IDsBrowseDomainTree,
                               reinterpret_cast<void**>(&browser)),
              S_OK);
    LPWSTR chosen = nullptr;
    ASSERT_EQ(browser->BrowseTo(nullptr, &chosen, DBDTF_RETURNFQDN), S_OK);
    ASSERT_NE(chosen, nullptr);
    EXPECT_EQ(Lower(chosen), Lower(lumivel::FromUtf8(domain)));
    CoTaskMemFree(chosen);
    ASSERT_EQ(listed.size(), 1u) << "one domain in the test forest";

    // Cancelling gives S_FALSE and no string.
    lumivel::ui::SetTestHook([](const lumivel::ui::Surface& s) -> INT_PTR {
        SendMessageW(s.window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    });
    chosen = reinterpret_cast<LPWSTR>(0x1);
    EXPECT_EQ(browser->BrowseTo(nullptr, &chosen, 0), S_FALSE);
    EXPECT_EQ(chosen, nullptr);
    browser->Release();
    lumivel::ui::SetTestHook({});
    CoUninitialize();
}

}  // namespace
