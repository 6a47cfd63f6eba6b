// The domain tree browser's dialog, and the browser object's answers when no directory is
// there or arguments are wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "../domain_tree_browser.h"
#include "../forest_domains.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "win/commctrl.h"
#include "win/dsclient.h"

namespace {

using lumivel::ui::Surface;

class DomainBrowser : public ::testing::Test {
protected:
    void SetUp() override { lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend()); }
    void TearDown() override { lumivel::ui::SetTestHook({}); }
};

TEST_F(DomainBrowser, DialogListsDomainsAndReturnsTheChoice) {
    std::vector<std::u16string> domains = {u"example.test", u"child.example.test", u"other.test"};
    lumivel::ui::SetTestHook([](const Surface& s) -> INT_PTR {
        EXPECT_EQ(s.caption, u"Browse for Domain");
        HWND list = GetDlgItem(s.window, lumivel::directory::kBrowseDomainList);
        EXPECT_EQ(ListView_GetItemCount(list), 3);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(s.window, IDOK))) << "nothing chosen yet";
        lumivel::ui::UserSetListSelection(list, {1}, 1);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(s.window, IDOK)));
        SendMessageW(GetDlgItem(s.window, IDOK), BM_CLICK, 0, 0);
        return 0;
    });
    EXPECT_EQ(lumivel::directory::ChooseDomain(nullptr, domains), std::optional<std::u16string>(u"child.example.test"));

    lumivel::ui::SetTestHook([](const Surface& s) -> INT_PTR {
        HWND list = GetDlgItem(s.window, lumivel::directory::kBrowseDomainList);
        lumivel::ui::UserSetListSelection(list, {2}, 2);
        lumivel::ui::UserListClick(list, 2, 0, NM_DBLCLK, POINT{});
        return 0;
    });
    EXPECT_EQ(lumivel::directory::ChooseDomain(nullptr, domains), std::optional<std::u16string>(u"other.test")) << "double click";

    lumivel::ui::SetTestHook([](const Surface& s) -> INT_PTR {
        lumivel::ui::UserCloseWindow(s.window);
        return 0;
    });
    bool failed = true;
    EXPECT_EQ(lumivel::directory::ChooseDomain(nullptr, domains, &failed), std::nullopt);
    EXPECT_FALSE(failed) << "cancelled, not failed";

    lumivel::ui::SetTestHook({});
    EXPECT_EQ(lumivel::directory::ChooseDomain(nullptr, domains, &failed), std::nullopt);
    EXPECT_TRUE(failed) << "headless without a hook";
}

TEST_F(DomainBrowser, TreeOrderPutsParentsFirst) {
    std::vector<lumivel::directory::ForestDomain> domains = {
        {u"b.other.test", {}, {}}, {u"Example.test", {}, {}}, {u"other.test", {}, {}}, {u"child.example.test", {}, {}}};
    lumivel::directory::SortForTree(domains);
    std::vector<std::u16string> names;
    for (const auto& d : domains) names.push_back(d.dnsName);
    EXPECT_EQ(names, (std::vector<std::u16string>{u"Example.test", u"child.example.test", u"other.test", u"b.other.test"}));
}

// GetDomains' block: every text inside the one allocation, children below their trust parent,
// tree roots as siblings, and a trust parent outside the list leaving the domain a root.
TEST_F(DomainBrowser, DomainTreeHangsChildrenBelowTheirParents) {
    std::vector<lumivel::directory::ForestDomain> domains = {
        {u"example.test", {}, u"DC=example,DC=test"},
        {u"a.example.test", u"example.test", u"DC=a,DC=example,DC=test"},
        {u"b.example.test", u"example.test", u"DC=b,DC=example,DC=test"},
        {u"other.test", u"example.test", u"DC=other,DC=test"},
        {u"lost.test", u"gone.test", u"DC=lost,DC=test"},
    };
    PDOMAIN_TREE tree = nullptr;
    ASSERT_EQ(lumivel::directory::BuildDomainTree(domains, &tree), S_OK);
    ASSERT_EQ(tree->dwCount, 5u);
    const auto* begin = reinterpret_cast<const unsigned char*>(tree);
    for (DWORD i = 0; i < tree->dwCount; ++i) {
        const DOMAINDESC& d = tree->aDomains[i];
        for (LPCWSTR text : {d.pszName, d.pszPath, d.pszNCName, d.pszObjectClass}) {
            const auto* at = reinterpret_cast<const unsigned char*>(text);
            EXPECT_TRUE(at > begin && at < begin + tree->dsSize) << i;
        }
    }
    const DOMAINDESC* root = &tree->aDomains[0];
    EXPECT_EQ(std::u16string(root->pszPath), u"LDAP://DC=example,DC=test");
    EXPECT_EQ(root->pszTrustParent, nullptr);
    EXPECT_EQ(std::u16string(tree->aDomains[1].pszTrustParent), u"example.test");
    std::vector<std::u16string> children;
    for (const DOMAINDESC* c = root->pdChildList; c; c = c->pdNextSibling) children.push_back(c->pszName);
    std::sort(children.begin(), children.end());
    EXPECT_EQ(children, (std::vector<std::u16string>{u"a.example.test", u"b.example.test", u"other.test"}));
    ASSERT_NE(root->pdNextSibling, nullptr) << "a domain whose parent is not listed stays a root";
    EXPECT_EQ(std::u16string(root->pdNextSibling->pszName), u"lost.test");
    EXPECT_EQ(root->pdNextSibling->pdNextSibling, nullptr);
    lumivel::directory::FreeDomainTree(tree);
}

TEST_F(DomainBrowser, ObjectRefusesBadArguments) {
    CoInitialize(nullptr);
    IDsBrowseDomainTree* browser = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DsDomainTreeBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IDsBrowseDomainTree,
                               reinterpret_cast<void**>(&browser)),
              S_OK);
    EXPECT_EQ(browser->BrowseTo(nullptr, nullptr, 0), E_POINTER);
    EXPECT_EQ(browser->SetComputer(u"dc1", u"administrator", u"secret"), E_INVALIDARG) << "only the logged-on user binds";
    EXPECT_EQ(browser->SetComputer(u"dc1", nullptr, nullptr), S_OK);
    PDOMAIN_TREE tree = nullptr;
    EXPECT_EQ(browser->FreeDomains(&tree), S_OK);
    IUnknown* outer = browser;
    void* aggregated = nullptr;
    IClassFactory* factory = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_DsDomainTreeBrowser, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &aggregated), CLASS_E_NOAGGREGATION);
    factory->Release();
    browser->Release();
    CoUninitialize();
}

// Without a reachable directory the browser reports the failure to the person and the caller.
TEST_F(DomainBrowser, UnreachableDirectoryIsReported) {
    CoInitialize(nullptr);
    setenv("KRB5CCNAME", "FILE:/nonexistent/lumivel-no-ticket", 1);
    IDsBrowseDomainTree* browser = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_DsDomainTreeBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IDsBrowseDomainTree,
                               reinterpret_cast<void**>(&browser)),
              S_OK);
    browser->SetComputer(u"no-such-host.invalid", nullptr, nullptr);
    std::vector<Surface> seen;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        seen.push_back(s);
        return IDOK;
    });
    LPWSTR chosen = reinterpret_cast<LPWSTR>(0x1);
    EXPECT_TRUE(FAILED(browser->BrowseTo(nullptr, &chosen, 0)));
    EXPECT_EQ(chosen, nullptr);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, lumivel::ui::SurfaceKind::MessageBox);
    EXPECT_EQ(seen[0].caption, u"Browse for Domain");
    EXPECT_FALSE(seen[0].text.empty());
    browser->Release();
    CoUninitialize();
}

}  // namespace
