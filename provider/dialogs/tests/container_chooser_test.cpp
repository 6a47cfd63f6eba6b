// The "Restore To" chooser without a directory: where browsing starts, going down and up, a
// typed DN, failures kept in view, and the dialog on the Qt backend with its screenshot.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <thread>

#include "../../platform/qtui/tests/qt_test_support.h"
#include "lumivel/ui_test_hook.h"
#include "provider/dialogs/container_browser.h"
#include "provider/dialogs/container_chooser.h"
#include "shared/provider_dialog_ids.h"
#include "shared/text_helpers.h"
#include "win/commctrl.h"
#include "win/dserror.h"

namespace {

using revivo::ContainerBrowser;
using revivo::ContainerEntry;

const std::u16string kDomain = u"DC=lumivel,DC=test";
const std::u16string kSales = u"OU=Sales," + kDomain;
const std::u16string kEast = u"OU=East," + kSales;

// A domain as a map of containers to their children; a container not in it does not exist.
// Its searches can be held, as a slow DC holds them, and say which thread asked.
class ScriptedContainers final : public revivo::ContainerSource {
public:
    std::map<std::u16string, std::vector<ContainerEntry>> tree;
    std::map<std::u16string, HRESULT> verdicts;
    std::vector<std::u16string> listed;
    int checks = 0;
    std::shared_future<void> held;
    std::vector<std::thread::id> askedOn;

    HRESULT ListChildContainers(std::u16string_view dn, size_t limit, std::vector<ContainerEntry>* children,
                                bool* more) override {
        wait();
        listed.emplace_back(dn);
        auto found = tree.find(std::u16string(dn));
        if (found == tree.end()) return HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT);
        children->assign(found->second.begin(), found->second.begin() + std::min(limit, found->second.size()));
        *more = found->second.size() > limit;
        return S_OK;
    }
    HRESULT AcceptsClass(std::u16string_view dn, std::u16string_view) override {
        wait();
        ++checks;
        auto found = verdicts.find(std::u16string(dn));
        return found == verdicts.end() ? S_OK : found->second;
    }

private:
    void wait() {
        askedOn.push_back(std::this_thread::get_id());
        if (held.valid()) held.wait_for(std::chrono::seconds(60));
    }
};

ContainerEntry ou(const std::u16string& name, const std::u16string& parent) {
    return {name, u"OU=" + name + u"," + parent, u"organizationalUnit"};
}

ScriptedContainers salesDomain() {
    ScriptedContainers domain;
    domain.tree[kDomain] = {ou(u"zeta", kDomain), ou(u"Sales", kDomain), {u"Users", u"CN=Users," + kDomain, u"container"},
                            ou(u"alpha", kDomain)};
    domain.tree[kSales] = {ou(u"East", kSales)};
    domain.tree[kEast] = {};
    domain.tree[u"CN=Users," + kDomain] = {};
    return domain;
}

std::vector<std::u16string> names(const ContainerBrowser& browser) {
    std::vector<std::u16string> shown;
    for (const ContainerEntry& entry : browser.Children()) shown.push_back(entry.name);
    return shown;
}

TEST(ContainerBrowserTest, OpensAtTheNearestLiveContainerWithinTheDomain) {
    struct Row {
        std::u16string start, opened;
    } rows[] = {
        {kEast, kEast},
        {u"OU=Gone,OU=Also Gone," + kSales, kSales},
        // A deleted parent is never listed: Deleted Objects holds no place to restore into.
        {u"OU=Inner\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f,CN=Deleted Objects," + kDomain, kDomain},
        {u"OU=Elsewhere,DC=other,DC=test", kDomain},
        {u"OU=Sales,DC=evil" + kDomain, kDomain},
        {u"", kDomain},
    };
    for (const Row& row : rows) {
        ScriptedContainers domain = salesDomain();
        ContainerBrowser browser(domain, kDomain);
        EXPECT_EQ(browser.OpenNear(row.start), S_OK);
        EXPECT_EQ(browser.Current(), row.opened) << lumivel::shared::NarrowText(row.start);
        for (const std::u16string& asked : domain.listed)
            EXPECT_FALSE(lumivel::shared::ContainsTextNoCase(asked, u"Deleted Objects"));
    }
    // A domain that cannot be listed at all is a failure, not an empty list.
    ScriptedContainers empty;
    ContainerBrowser browser(empty, kDomain);
    EXPECT_EQ(browser.OpenNear(kSales), HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
    EXPECT_TRUE(browser.Current().empty());
}

TEST(ContainerBrowserTest, GoesDownAndUpNoHigherThanTheDomainAndKeepsItsPlaceOnFailure) {
    ScriptedContainers domain = salesDomain();
    ContainerBrowser browser(domain, kDomain);
    ASSERT_EQ(browser.OpenNear(kDomain), S_OK);
    EXPECT_EQ(names(browser), (std::vector<std::u16string>{u"alpha", u"Sales", u"Users", u"zeta"}));
    EXPECT_FALSE(browser.CanGoUp());
    EXPECT_TRUE(FAILED(browser.Up()));
    EXPECT_EQ(browser.Current(), kDomain);

    ASSERT_EQ(browser.Enter(1), S_OK);
    EXPECT_EQ(browser.Current(), kSales);
    ASSERT_EQ(browser.Enter(0), S_OK);
    EXPECT_EQ(browser.Current(), kEast);
    EXPECT_TRUE(browser.Children().empty());
    EXPECT_TRUE(FAILED(browser.Enter(0)));
    ASSERT_TRUE(browser.CanGoUp());
    ASSERT_EQ(browser.Up(), S_OK);
    EXPECT_EQ(browser.Current(), kSales);

    // A container that is gone (deleted meanwhile, or mistyped) leaves the listing as it was.
    EXPECT_EQ(browser.Open(u"OU=Missing," + kDomain), HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT));
    EXPECT_EQ(browser.Current(), kSales);
    EXPECT_EQ(names(browser), (std::vector<std::u16string>{u"East"}));

    // An escaped comma is part of a name, not a level.
    std::u16string comma = u"OU=Smith\\, Ann," + kSales;
    domain.tree[comma] = {};
    ASSERT_EQ(browser.Open(comma), S_OK);
    ASSERT_EQ(browser.Up(), S_OK);
    EXPECT_EQ(browser.Current(), kSales);
}

TEST(ContainerBrowserTest, NamingContextComesFromTheTombstoneElseTheParentsDomainParts) {
    using revivo::NamingContextOfTombstone;
    EXPECT_EQ(NamingContextOfTombstone(u"CN=Ann\\0ADEL:guid,CN=Deleted Objects,DC=lumivel,DC=test", u""), kDomain);
    // A name that holds the container's text itself does not fool it.
    EXPECT_EQ(NamingContextOfTombstone(u"CN=x\\,CN=Deleted Objects\\,DC=evil\\0ADEL:g,CN=Deleted Objects,DC=lumivel,DC=test",
                                       u""),
              kDomain);
    EXPECT_EQ(NamingContextOfTombstone(u"CN=Live,OU=Sales,DC=lumivel,DC=test", kSales), kDomain);
    EXPECT_EQ(NamingContextOfTombstone(u"", u"OU=a\\,DC=x,DC=lumivel,DC=test"), kDomain);
    EXPECT_EQ(NamingContextOfTombstone(u"", u"OU=Sales"), u"");
}

std::u16string itemText(HWND dialog, int id) {
    WCHAR text[1024] = {};
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

int rowCount(HWND dialog) {
    return int(SendMessageW(GetDlgItem(dialog, IDC_RESTORE_TO_LIST), LVM_GETITEMCOUNT, 0, 0));
}

void selectRow(HWND dialog, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(GetDlgItem(dialog, IDC_RESTORE_TO_LIST), LVM_SETITEMSTATE, row, LPARAM(&state));
}

void doubleClick(HWND dialog, int row) {
    NMITEMACTIVATE click{};
    click.hdr.hwndFrom = GetDlgItem(dialog, IDC_RESTORE_TO_LIST);
    click.hdr.idFrom = IDC_RESTORE_TO_LIST;
    click.hdr.code = NM_DBLCLK;
    click.iItem = row;
    SendMessageW(dialog, WM_NOTIFY, IDC_RESTORE_TO_LIST, LPARAM(&click));
}

void press(HWND dialog, int id) { SendMessageW(dialog, WM_COMMAND, id, 0); }

bool busy(HWND dialog) {
    std::u16string status = itemText(dialog, IDC_RESTORE_TO_STATUS);
    return !IsWindowEnabled(GetDlgItem(dialog, IDC_RESTORE_TO_LIST)) ||
           (status.size() >= 3 && status.compare(status.size() - 3, 3, u"...") == 0);
}

bool settleUntil(const std::function<bool()>& reached) {
    for (int i = 0; i < 6000 && !reached(); ++i) {
        qttest::Settle(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return reached();
}

// Until the chooser's worker has ended what it searches and the dialog shows what it found.
void settled(HWND dialog) { EXPECT_TRUE(settleUntil([&] { return !busy(dialog); })); }

class ContainerChooserDialog : public ::testing::Test {
protected:
    void SetUp() override { qttest::UseQtBackend(); }
    void TearDown() override { lumivel::ui::SetTestHook({}); }

    HRESULT choose(ScriptedContainers& domain, std::u16string* chosen, const std::u16string& start = u"OU=Gone," + kSales) {
        ContainerBrowser browser(domain, kDomain);
        revivo::ContainerChoice choice{u"Ada Lovelace", u"user", start};
        return revivo::ChooseContainer(nullptr, choice, browser, chosen);
    }
};

TEST_F(ContainerChooserDialog, BrowsesDownAndUpAndRestoresIntoTheContainerChosen) {
    ScriptedContainers domain = salesDomain();
    domain.verdicts[kEast] = E_ACCESSDENIED;
    std::vector<int> rounds;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        HWND dialog = surface.window;
        rounds.push_back(surface.round);
        settled(dialog);
        EXPECT_EQ(surface.resourceId, IDD_RESTORE_TO);
        EXPECT_EQ(surface.caption, u"Restore To");
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_OBJECT), u"Restore Ada Lovelace (user) into:");
        // It opens where the lost parent was, at its nearest live ancestor.
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_LOCATION), kSales);
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_CONTAINER), kSales);
        EXPECT_EQ(rowCount(dialog), 1);
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_RESTORE_TO_UP)));
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_STATUS), u"An object of class user can be created in " + kSales + u".");

        // Choosing a row that does not take the class says so before anything is restored.
        selectRow(dialog, 0);
        settled(dialog);
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_CONTAINER), kEast);
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_STATUS),
                  u"The container " + kEast + u" does not accept an object of class user.");
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(dialog, qttest::ScreenshotPath("restore-to-chooser.png")));

        doubleClick(dialog, 0);
        settled(dialog);
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_LOCATION), kEast);
        EXPECT_EQ(rowCount(dialog), 0);
        press(dialog, IDC_RESTORE_TO_UP);
        settled(dialog);
        press(dialog, IDC_RESTORE_TO_UP);
        settled(dialog);
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_LOCATION), kDomain);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_RESTORE_TO_UP))) << "nothing above the domain";
        EXPECT_EQ(rowCount(dialog), 4);

        // Enter on a row goes into it rather than closing the dialog.
        HWND list = GetDlgItem(dialog, IDC_RESTORE_TO_LIST);
        SetFocus(list);
        EXPECT_EQ(GetFocus(), list);
        selectRow(dialog, 1);
        settled(dialog);
        press(dialog, IDOK);
        settled(dialog);
        EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_LOCATION), kSales);
        SetFocus(GetDlgItem(dialog, IDC_RESTORE_TO_CONTAINER));
        doubleClick(dialog, -1);  // on no row: nothing happens
        selectRow(dialog, 0);
        settled(dialog);
        press(dialog, IDOK);
        return 0;
    });
    std::u16string chosen;
    EXPECT_EQ(choose(domain, &chosen), S_OK);
    EXPECT_EQ(chosen, kEast);
    EXPECT_EQ(rounds, (std::vector<int>{0}));
    EXPECT_EQ(domain.checks, 3) << "each container is checked once: Sales, East, the domain";
}

TEST_F(ContainerChooserDialog, TypedDnIsOpenedOrTakenAndFailuresStayInView) {
    ScriptedContainers domain = salesDomain();
    std::u16string other = u"OU=Other,DC=lumivel,DC=test";
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        HWND dialog = surface.window;
        settled(dialog);
        if (surface.round == 0) {
            SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, u"CN=Users,DC=lumivel,DC=test");
            press(dialog, IDC_RESTORE_TO_OPEN);
            settled(dialog);
            EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_LOCATION), u"CN=Users," + kDomain);

            SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, other.c_str());
            press(dialog, IDC_RESTORE_TO_OPEN);
            settled(dialog);
            EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_LOCATION), u"CN=Users," + kDomain) << "the listing stays";
            std::u16string status = itemText(dialog, IDC_RESTORE_TO_STATUS);
            EXPECT_EQ(status.rfind(u"The containers in " + other + u" cannot be listed: ", 0), 0u)
                << lumivel::shared::NarrowText(status);

            SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, u"   ");
            press(dialog, IDOK);
            EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_STATUS), u"Choose a container or type its distinguished name.");
            return 0;
        }
        // A DN typed is taken as it stands, spaces around it aside; the restore checks it.
        SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, (u"  " + other + u" ").c_str());
        press(dialog, IDOK);
        return 0;
    });
    std::u16string chosen;
    EXPECT_EQ(choose(domain, &chosen), S_OK);
    EXPECT_EQ(chosen, other);
}

TEST_F(ContainerChooserDialog, CancelOrCloseChoosesNothingAndAnUnlistableDomainIsSaid) {
    ScriptedContainers unreachable;
    std::u16string status;
    for (UINT message : {UINT(WM_COMMAND), UINT(WM_CLOSE)}) {
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            settled(surface.window);
            status = itemText(surface.window, IDC_RESTORE_TO_STATUS);
            EXPECT_EQ(rowCount(surface.window), 0);
            SendMessageW(surface.window, message, message == WM_COMMAND ? IDCANCEL : 0, 0);
            return 0;
        });
        std::u16string chosen = u"untouched";
        EXPECT_EQ(choose(unreachable, &chosen), S_FALSE);
        EXPECT_EQ(chosen, u"untouched");
        EXPECT_EQ(status.rfind(u"The containers in " + kDomain + u" cannot be listed: ", 0), 0u)
            << lumivel::shared::NarrowText(status);
    }
}

// A slow DC: the chooser is up at once saying it reads, its searches run off the console's
// thread, moves wait while a container is read, and closing or confirming while a search runs
// waits for it, ending as asked once it has.
TEST_F(ContainerChooserDialog, SearchesRunOnAWorkerWhileTheDialogSaysSo) {
    const std::thread::id consoleThread = std::this_thread::get_id();
    for (int ending : {IDCANCEL, 0, IDOK}) {
        ScriptedContainers domain = salesDomain();
        domain.verdicts[kEast] = E_ACCESSDENIED;
        auto release = std::make_shared<std::promise<void>>();
        domain.held = release->get_future().share();
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            HWND dialog = surface.window;
            if (surface.round > 0) {
                EXPECT_TRUE(settleUntil([&] { return !IsWindowVisible(dialog); }));
                return 0;
            }
            EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_STATUS), revivo::kChooserReadingText);
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_RESTORE_TO_LIST)));
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_RESTORE_TO_UP)));
            EXPECT_EQ(rowCount(dialog), 0);
            if (ending != IDOK) {
                SendMessageW(dialog, ending == IDCANCEL ? WM_COMMAND : WM_CLOSE, ending == IDCANCEL ? IDCANCEL : 0, 0);
                EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays while its search runs";
                EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_STATUS), u"Closing once the checks have ended...");
                release->set_value();
                EXPECT_TRUE(settleUntil([&] { return !IsWindowVisible(dialog); }));
                return 0;
            }
            release->set_value();
            settled(dialog);
            EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_LOCATION), kSales);
            // Held again: the typed DN is read, then East is checked when it is selected.
            release = std::make_shared<std::promise<void>>();
            domain.held = release->get_future().share();
            press(dialog, IDC_RESTORE_TO_OPEN);  // Sales again, the typed DN
            EXPECT_TRUE(busy(dialog));
            press(dialog, IDC_RESTORE_TO_UP);  // refused while a container is read
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_RESTORE_TO_UP)));
            release->set_value();
            settled(dialog);
            release = std::make_shared<std::promise<void>>();
            domain.held = release->get_future().share();
            selectRow(dialog, 0);
            EXPECT_EQ(itemText(dialog, IDC_RESTORE_TO_STATUS), revivo::ChooserCheckingText(kEast, u"user"));
            SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, kEast.c_str());
            SetFocus(GetDlgItem(dialog, IDC_RESTORE_TO_CONTAINER));
            press(dialog, IDOK);
            EXPECT_TRUE(IsWindowVisible(dialog)) << "confirmed while checking: it ends once the check has";
            release->set_value();
            EXPECT_TRUE(settleUntil([&] { return !IsWindowVisible(dialog); }));
            return 0;
        });
        std::u16string chosen;
        HRESULT answer = choose(domain, &chosen);
        EXPECT_EQ(answer, ending == IDOK ? S_OK : S_FALSE);
        EXPECT_EQ(chosen, ending == IDOK ? kEast : u"");
        ASSERT_FALSE(domain.askedOn.empty());
        for (std::thread::id asked : domain.askedOn) EXPECT_NE(asked, consoleThread);
    }
}

}  // namespace
