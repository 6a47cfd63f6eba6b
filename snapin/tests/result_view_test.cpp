// The result pane on the fake control: what a shown node hands the control and takes back
// when it hides, the control's place in the window, refreshes, command ids and dispatch,
// and a control that cannot be brought up.
#include <QMainWindow>
#include <QWidget>

#include <string>

#include "lumivel/qt_ui.h"
#include "lumivel/registry_key.h"
#include "lumivel/text.h"
#include "snapin_console_fixture.h"
#include "win/oleauto.h"
#include "win/user.h"

namespace {

using namespace snapin_test;

class ResultViewTest : public SnapinConsoleTest {
protected:
    std::string log() const { return s_control->panorelLog; }
    std::string shown() const { return s_control->shownNames; }
    void clearLog() { s_control->panorelLog[0] = 0; }
    bool shows(lumivel::console::ConsoleDriver& console, const std::string& names) {
        return console.runUntil([&] { return shown() == names; }, 5000);
    }
};

RECT ClientOf(HWND window) {
    RECT rect{};
    GetClientRect(window, &rect);
    return rect;
}

TEST_F(ResultViewTest, AShownNodeHandsTheControlItsPartsAndAHiddenOneTakesThemBack) {
    auto console = openConsole();
    HSCOPEITEM root = console->root();
    ASSERT_EQ(console->session().selectedItem(), root);
    EXPECT_EQ(log(),
              "SetClientSite,InPlaceActivate,SetObjectRects,HSCOPEITEM=item,SelectedNode=0,SetInterfaces(1111),SetMenuInterfaces(1),"
              "SetObjects(1,null),SetMode(0),SetObjects(1,2)")
        << "the root shows its domain records once it has them";
    EXPECT_EQ(shown(), "alpha;beta");
    EXPECT_EQ(s_control->menuProviderType.load(), VT_I8) << "provider addresses are pointer-sized";

    // The control fills the result pane and follows its size.
    auto window = static_cast<HWND>(s_control->panorelWindow.load());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(console->session().resultViewWindow(), window);
    HWND host = GetParent(window);
    QWidget* shownWidget = lumivel::qtui::WidgetForWindow(window);
    ASSERT_NE(shownWidget, nullptr);
    EXPECT_TRUE(shownWidget->isVisible()) << "seen in the pane";
    EXPECT_EQ(ClientOf(window).right, ClientOf(host).right);
    EXPECT_EQ(ClientOf(window).bottom, ClientOf(host).bottom);
    LONG before = ClientOf(window).right;
    console->window()->resize(console->window()->width() + 120, console->window()->height() + 80);
    console->processEvents();
    EXPECT_GT(ClientOf(window).right, before);
    EXPECT_EQ(ClientOf(window).right, ClientOf(host).right);
    EXPECT_EQ(ClientOf(window).bottom, ClientOf(host).bottom);

    // Another node: the root hides while its control still stands, then the control goes and
    // the domain's own comes up, empty until the worker brings the list, with the details text
    // below it.
    HSCOPEITEM alpha = childNamed(*console, root, u"alpha");
    s_control->block = true;
    clearLog();
    console->select(alpha);
    EXPECT_EQ(log(),
              "HSCOPEITEM=0,SelectedNode=0,ReleaseInterfaces,InPlaceDeactivate,ReleaseInterfaces,Close,"
              "SetClientSite(null),SetClientSite,InPlaceActivate,HSCOPEITEM=item,SelectedNode=alpha,"
              "SetInterfaces(1111),SetMenuInterfaces(1),SetObjects(1,null),SetMode(2)");
    EXPECT_NE(s_control->panorelWindow.load(), window);
    ASSERT_TRUE(console->runUntil([&] { return s_control->inEnumeration.load(); }, 5000)) << "read on the worker";
    EXPECT_EQ(console->image(alpha), 7) << "behind the busy icon";
    s_control->block = false;
    EXPECT_TRUE(shows(*console, "object 0;object 1"));

    // Closing the console hides the node and deactivates the control before the snap-in goes.
    clearLog();
    console->close();
    EXPECT_EQ(log(), "HSCOPEITEM=0,SelectedNode=0,ReleaseInterfaces,InPlaceDeactivate,ReleaseInterfaces,Close,"
                     "SetClientSite(null)");
}

TEST_F(ResultViewTest, RefreshEmptiesBothPanesAndTheFreshListReplacesTheOld) {
    auto console = openConsole();
    HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
    console->select(alpha);
    ASSERT_TRUE(shows(*console, "object 0;object 1"));
    int before = s_control->enumerations;

    s_control->objectCount = 3;
    clearLog();
    console->pressRefresh();
    ASSERT_TRUE(shows(*console, "object 0;object 1;object 2"));
    EXPECT_EQ(log(), "SetObjects(1,null),SetObjects(2,null),SetObjects(1,3)") << "the control showing the node stays";
    EXPECT_EQ(s_control->enumerations - before, 1) << "one fetch for the refresh";

    // A list that comes while another node is shown stays out of that node's pane.
    s_control->block = true;
    console->pressRefresh();
    ASSERT_TRUE(console->runUntil([&] { return s_control->inEnumeration.load(); }, 5000));
    console->select(console->root());
    ASSERT_TRUE(shows(*console, "alpha;beta"));
    s_control->block = false;
    ASSERT_TRUE(console->runUntil([&] { return console->image(alpha) == 3; }, 5000));
    EXPECT_EQ(shown(), "alpha;beta");
}

TEST_F(ResultViewTest, CommandIdsCarryTheProviderIndexAndReachOnlyThatProvider) {
    lumivel::RegistryKey interfaces;
    ASSERT_EQ(interfaces.create(HKEY_LOCAL_MACHINE, kProductInterfaces, KEY_WRITE), ERROR_SUCCESS);
    ASSERT_EQ(interfaces.writeString(kSecondProviderClsid, u""), ERROR_SUCCESS);
    auto console = openConsole();
    HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
    console->select(alpha);
    int second = s_control->providersCreated;  // the last one made

    std::vector<LONG> ids;
    for (const auto& entry : console->session().contextMenu(alpha)) {
        EXPECT_NE(entry.name, u"&Too Big") << "an id of 13 bits would reach another provider's command";
        if (entry.name == u"&Other View") ids.push_back(entry.commandId);
    }
    EXPECT_EQ(ids, (std::vector<LONG>{399, 0x1000 | 399}));
    EXPECT_EQ(s_control->menuProviderCount.load(), 2);

    ASSERT_EQ(console->session().command(alpha, 0x1000 | 399), S_FALSE);
    EXPECT_EQ(s_control->lastCommandProvider.load(), second);
    EXPECT_EQ(s_control->lastCommand.load(), 399);
    s_control->lastCommand = 0;
    console->session().command(alpha, 0x10000 | 399);
    console->session().command(alpha, 0x2000 | 399);
    EXPECT_EQ(s_control->lastCommand.load(), 0) << "a submenu's id and a third provider that is not there";

    // "ViewChanged" (in any case) shows the node anew: a new control and a fresh list.
    int before = s_control->enumerations;
    clearLog();
    console->session().command(alpha, 399);
    EXPECT_EQ(s_control->lastCommandProvider.load(), second - 1);
    ASSERT_TRUE(console->runUntil([&] { return s_control->enumerations > before && shown() == "object 0;object 1"; },
                                  5000));
    EXPECT_NE(log().find("InPlaceDeactivate"), std::string::npos);
    SHDeleteKeyW(HKEY_LOCAL_MACHINE, kProductInterfaces);
}

TEST_F(ResultViewTest, ConnectingAndRemovingDomainsChangeTheRootsList) {
    auto console = openConsole();
    HSCOPEITEM root = console->root();
    ASSERT_TRUE(shows(*console, "alpha;beta"));
    ASSERT_TRUE(console->chooseAction(root, u"&Connect To..."));
    EXPECT_TRUE(shows(*console, "alpha;beta;gamma")) << "the new domain is appended and shown";
    EXPECT_NE(childNamed(*console, root, u"gamma"), 0);
    // The same domain again: no second node, its own is selected.
    console->select(root);
    ASSERT_TRUE(console->chooseAction(root, u"&Connect To..."));
    EXPECT_TRUE(console->runUntil(
        [&] { return console->session().selectedItem() == childNamed(*console, root, u"gamma"); }, 2000));
    console->select(root);
    EXPECT_TRUE(shows(*console, "alpha;beta;gamma")) << shown();

    // Remove hands back the node's own record after the header: it is let go once.
    HSCOPEITEM gamma = childNamed(*console, root, u"gamma");
    console->select(gamma);
    ASSERT_TRUE(console->chooseAction(gamma, u"&Remove"));
    ASSERT_TRUE(console->runUntil([&] { return console->session().selectedItem() == root; }, 2000));
    EXPECT_TRUE(shows(*console, "alpha;beta")) << shown() << "\n" << log();
    EXPECT_EQ(childNamed(*console, root, u"gamma"), 0);
}

TEST_F(ResultViewTest, AControlThatCannotBeBroughtUpSaysWhyAndTheConsoleGoesOn) {
    s_control->panorelActivationFailure = long(E_ACCESSDENIED);
    auto console = openConsole();
    HSCOPEITEM alpha = childNamed(*console, console->root(), u"alpha");
    console->select(alpha);
    std::string text = lumivel::ToUtf8(console->resultPaneText());
    EXPECT_NE(text.find("cannot be shown"), std::string::npos) << text;
    EXPECT_NE(text.find("0x80070005"), std::string::npos) << text;
    EXPECT_EQ(s_control->panorelsLive.load(), 0);
    EXPECT_TRUE(console->runUntil([&] { return console->statusText() == u"2 deleted objects in alpha."; }, 5000));

    s_control->panorelActivationFailure = 0;
    console->select(console->root());
    EXPECT_TRUE(console->resultPaneText().empty());
    EXPECT_TRUE(shows(*console, "alpha;beta"));
}

}  // namespace
