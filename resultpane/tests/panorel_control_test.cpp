// The control in its window: activation, columns, display, icons, sorting, type-ahead,
// details, modes, the splitter and the records it holds.
#include "lumivel/thread_queue.h"
#include "resultpane/tests/control_fixture.h"

#include "win/richedit.h"
#include "win/winreg.h"

namespace panoreltest {
namespace {

using ::testing::ElementsAre;

TEST_F(ControlTest, ActivatesInTheSiteWindowAndLetsGoWhenDeactivated) {
    HWND window = nullptr;
    ASSERT_EQ(control->GetWindow(&window), S_OK);
    EXPECT_EQ(GetParent(window), host);
    EXPECT_EQ(site->activations, 1);
    EXPECT_EQ(GetDlgCtrlID(control->topList()), panorel::kTopListId);
    EXPECT_EQ(GetDlgCtrlID(control->bottomList()), panorel::kBottomListId);
    EXPECT_EQ(GetDlgCtrlID(control->textPane()), panorel::kTextPaneId);
    EXPECT_TRUE(GetWindowLongPtrW(control->topList(), GWL_STYLE) & LVS_OWNERDATA);
    EXPECT_FALSE(IsWindowVisible(control->bottomList()));

    RECT moved{10, 20, 310, 220};
    ASSERT_EQ(control->SetObjectRects(&moved, &moved), S_OK);
    EXPECT_EQ(windowRect(window).right - windowRect(window).left, 300);
    EXPECT_EQ(windowRect(control->topList()).bottom, 200) << "mode 0: the top list takes the whole height";

    connect();
    ASSERT_EQ(control->InPlaceDeactivate(), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(site->deactivations, 1);
    EXPECT_FALSE(provider->consoleSet) << "destroying the window let go of the provider";
    EXPECT_EQ(control->GetWindow(&window), E_FAIL);
}

TEST_F(ControlTest, RefusedActivationMakesNoWindow) {
    auto other = lumivel::com::NewComObject<panorel::Panorel>();
    site->canActivate = false;
    RECT position{0, 0, 100, 100};
    EXPECT_TRUE(FAILED(other->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site.get(), 0, host, &position)));
    HWND window = nullptr;
    EXPECT_EQ(other->GetWindow(&window), E_FAIL);
}

TEST_F(ControlTest, ColumnWidthsAreCutWhenShownAndSavedSaneOnRelease) {
    provider->topColumns[1]->cx = -40;
    connect();
    HWND list = control->topList();
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0), 120);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 0) << "never negative";
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 2, 0), 2048);
    lumivel::ui::UserListColumnResized(list, 0, 1500);
    lumivel::ui::UserListColumnResized(list, 1, 333);
    ASSERT_EQ(control->ReleaseInterfaces(), S_OK);
    EXPECT_EQ(provider->topColumns[0]->cx, 100);
    EXPECT_EQ(provider->topColumns[1]->cx, 333);
    EXPECT_EQ(provider->topColumns[2]->cx, 100);
    EXPECT_FALSE(provider->consoleSet);
    LVCOLUMNW any{};
    any.mask = LVCF_WIDTH;
    EXPECT_FALSE(SendMessageW(list, LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&any))) << "columns deleted";
}

TEST_F(ControlTest, DisplayHandsOutTheRecordsOwnStrings) {
    connect();
    PropertySet* carol = keep(MakeRecord(u"Carol", u"user", {{u"parent", u"OU=Staff"}}));
    carol->setInt(u"number", 5);
    show({carol});
    NMLVDISPINFOW info{};
    info.hdr.hwndFrom = control->topList();
    info.hdr.code = LVN_GETDISPINFOW;
    info.item.mask = LVIF_TEXT;
    info.item.iSubItem = 2;
    SendMessageW(control->window(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.item.pszText, carol->getString(u"parent")) << "no copy";
    EXPECT_EQ(info.item.cchTextMax, 8);
    provider->topKeys[1] = u"number";
    control->ReleaseInterfaces();
    connect();
    show({carol});
    EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), 0, 1), u"") << "a number shows as empty text";
    EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), 0, 5), u"") << "no column, no text";
}

TEST_F(ControlTest, IconsAreLookedUpOnceAndDisabledRecordsAskTheirOwnIconFirst) {
    cache->icons = {{u"user", 3}, {u"userDisabled", 4}, {u"group", 5}};
    connect();
    PropertySet* user = keep(MakeRecord(u"a", u"user"));
    PropertySet* disabledUser = keep(MakeRecord(u"b", u"user"));
    disabledUser->Disabled = 1;
    PropertySet* disabledGroup = keep(MakeRecord(u"c", u"group"));
    disabledGroup->Disabled = 1;
    show({user, disabledUser, disabledGroup});
    HWND list = control->topList();
    EXPECT_EQ(lumivel::ui::ListViewCellImage(list, 0), 3);
    EXPECT_EQ(lumivel::ui::ListViewCellImage(list, 1), 4);
    EXPECT_EQ(lumivel::ui::ListViewCellImage(list, 2), 5);
    EXPECT_THAT(cache->lookups, ElementsAre(u"user", u"userDisabled", u"groupDisabled", u"group"));
    lumivel::ui::ListViewCellImage(list, 0);
    lumivel::ui::ListViewCellImage(list, 2);
    EXPECT_EQ(cache->lookups.size(), 4u) << "cached in the record";
    EXPECT_EQ(disabledGroup->ImageIndex, 5);
    EXPECT_NE(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0), 0);
}

TEST_F(ControlTest, WithoutSchemaCacheRecordsKeepNoIcon) {
    connect(false);
    PropertySet* user = keep(MakeRecord(u"a", u"user"));
    show({user});
    EXPECT_EQ(lumivel::ui::ListViewCellImage(control->topList(), 0), -1);
    EXPECT_EQ(user->ImageIndex, -1);
}

TEST_F(ControlTest, SortsEachColumnBothWaysWithNameDecidingTies) {
    connect();
    PropertySet* scope = keep(MakeRecord(u"zz-domain", u"domainDNS", {{u"parent", u"a"}}));
    scope->IsNode = 1;
    show({keep(MakeRecord(u"delta", u"user", {{u"parent", u"OU=B"}})),
          keep(MakeRecord(u"Alpha", u"group", {{u"parent", u"ou=b"}})), scope,
          keep(MakeRecord(u"charlie", u"user", {{u"parent", u"OU=A"}})),
          keep(MakeRecord(u"bravo", u"User", {{u"parent", u"OU=C"}}))});
    HWND list = control->topList();
    EXPECT_THAT(column(0), ElementsAre(u"zz-domain", u"Alpha", u"bravo", u"charlie", u"delta"));
    lumivel::ui::UserListColumnClick(list, 0);
    EXPECT_EQ(control->sortAscending(), false);
    EXPECT_THAT(column(0), ElementsAre(u"zz-domain", u"delta", u"charlie", u"bravo", u"Alpha"))
        << "scope records stay first";
    lumivel::ui::UserListColumnClick(list, 1);
    EXPECT_EQ(control->sortColumn(), 1);
    EXPECT_EQ(control->sortAscending(), false) << "another column keeps the direction";
    EXPECT_THAT(column(0), ElementsAre(u"zz-domain", u"delta", u"charlie", u"bravo", u"Alpha"));
    lumivel::ui::UserListColumnClick(list, 1);
    EXPECT_THAT(column(0), ElementsAre(u"zz-domain", u"Alpha", u"bravo", u"charlie", u"delta"))
        << "group first, then the users by name whatever the case of their class";
    lumivel::ui::UserListColumnClick(list, 2);
    EXPECT_THAT(column(2), ElementsAre(u"a", u"OU=A", u"ou=b", u"OU=B", u"OU=C"));
    EXPECT_THAT(column(0), ElementsAre(u"zz-domain", u"charlie", u"Alpha", u"delta", u"bravo"));
    lumivel::ui::UserListColumnClick(list, 2);
    EXPECT_THAT(column(0), ElementsAre(u"zz-domain", u"bravo", u"delta", u"Alpha", u"charlie"));
}

TEST_F(ControlTest, TypeAheadFindsAndSelectsInDisplayOrderBothWays) {
    connect();
    PropertySet* scope = keep(MakeRecord(u"Abacus", u"domainDNS"));
    scope->IsNode = 1;
    show({keep(MakeRecord(u"Abbey")), keep(MakeRecord(u"zed")), keep(MakeRecord(u"ABC")), scope,
          keep(MakeRecord(u"mid"))});
    HWND list = control->topList();
    int found = lumivel::ui::UserListFindItem(list, -1, u"ab");
    ASSERT_EQ(found, 0);
    EXPECT_EQ(lumivel::ui::ListViewCellText(list, found, 0), u"Abacus") << "scope records first";
    found = lumivel::ui::UserListFindItem(list, 0, u"ab");
    EXPECT_EQ(lumivel::ui::ListViewCellText(list, found, 0), u"Abbey");

    lumivel::ui::UserListColumnClick(list, 0);
    EXPECT_THAT(column(0), ElementsAre(u"Abacus", u"zed", u"mid", u"ABC", u"Abbey"));
    found = lumivel::ui::UserListFindItem(list, 0, u"ab");
    EXPECT_EQ(found, 3) << "the index shown, not the stored one";
    EXPECT_EQ(lumivel::ui::ListViewCellText(list, found, 0), u"ABC");
    EXPECT_EQ(lumivel::ui::UserListFindItem(list, -1, u"q"), -1);
}

TEST_F(ControlTest, TypeAheadWithoutKeysFindsNothing) {
    show({keep(MakeRecord(u"Abbey"))});
    EXPECT_EQ(lumivel::ui::UserListFindItem(control->topList(), -1, u"ab"), -1);
}

TEST_F(ControlTest, DetailsFollowTheSelectionAndTheShownNode) {
    connect();
    ASSERT_EQ(control->SetMode(kPanorelModeBottomText), S_OK);
    PropertySet* node = keep(MakeRecord(u"lumivel.test", u"domainDNS"));
    control->put_SelectedNode(reinterpret_cast<LONG_PTR>(node));
    PropertySet* carol = keep(MakeRecord(u"Carol"));
    show({carol, keep(MakeRecord(u"Dave"))});
    EXPECT_EQ(text(), u"Details of lumivel.test");
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    EXPECT_EQ(text(), u"Details of Carol");
    ASSERT_FALSE(provider->callsOf("GetDetails").empty());
    EXPECT_THAT(provider->callsOf("GetDetails").back()->selection, ElementsAre(carol));
    lumivel::ui::UserSetListSelection(control->topList(), {}, -1);
    EXPECT_EQ(text(), u"Details of lumivel.test");
}

TEST_F(ControlTest, DetailsReadLaterAreAskedForAgainWhenTheProviderSaysTheyCame) {
    connect();
    ASSERT_EQ(control->SetMode(kPanorelModeBottomText), S_OK);
    PropertySet* carol = keep(MakeRecord(u"Carol"));
    show({carol, keep(MakeRecord(u"Dave"))});
    provider->detailsText = u"Reading ";
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    EXPECT_EQ(text(), u"Reading Carol");
    size_t asked = provider->callsOf("GetDetails").size();
    provider->detailsText = u"Read ";
    PostMessageW(control->window(), kPanorelDetailsReadyMessage, 0, 0);
    lumivel::RunPendingThreadWork();
    EXPECT_EQ(text(), u"Read Carol");
    ASSERT_EQ(provider->callsOf("GetDetails").size(), asked + 1);
    EXPECT_THAT(provider->callsOf("GetDetails").back()->selection, ElementsAre(carol)) << "for the selection as it is";
}

TEST_F(ControlTest, DetailsFromTheMenuProvidersWhenTheMainOneHasNone) {
    connect();
    auto second = lumivel::com::NewComObject<FakeProvider>();
    provider->detailsResult = E_NOTIMPL;
    second->detailsMode = 1;
    second->detailsRecords = {u"one", u"two"};
    second->addColumn(u"Detail", u"name", 80, true);
    // The bottom columns come from the menu providers known when the interfaces arrive.
    setMenuProviders({static_cast<IProviderData*>(provider.get()), static_cast<IProviderData*>(second.get())});
    ASSERT_EQ(control->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(control->SetMode(kPanorelModeBottomList), S_OK);
    show({keep(MakeRecord(u"Carol"))});
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    EXPECT_THAT(column(0, control->bottomList()), ElementsAre(u"one", u"two"));
    EXPECT_TRUE(IsWindowVisible(control->bottomList()));
    EXPECT_FALSE(IsWindowVisible(control->textPane()));
}

TEST_F(ControlTest, ModesShowTheirPaneAndKeepTheSplit) {
    RECT client{0, 0, 400, 120};
    control->SetObjectRects(&client, &client);
    ASSERT_EQ(control->SetMode(kPanorelModeBottomText), S_OK);
    EXPECT_TRUE(IsWindowVisible(control->textPane()));
    EXPECT_FALSE(IsWindowVisible(control->bottomList()));
    EXPECT_EQ(control->splitPosition(), 200) << "set by the first layout: a third of the height then for the bottom";
    ASSERT_EQ(control->SetMode(kPanorelModeTopOnly), S_OK);
    EXPECT_FALSE(IsWindowVisible(control->textPane()));
    EXPECT_EQ(windowRect(control->topList()).bottom, 120);
    ASSERT_EQ(control->SetMode(kPanorelModeBottomList), S_OK);
    EXPECT_EQ(windowRect(control->topList()).bottom, 120) << "a split below the control is cut to it";
    RECT bottom = windowRect(control->bottomList());
    EXPECT_EQ(bottom.bottom - bottom.top, 50);
    EXPECT_EQ(control->SetMode(7), S_OK);
    EXPECT_EQ(control->mode(), 7);
}

TEST_F(ControlTest, SplitterDragMovesThePanesWithinTheControl) {
    control->SetMode(kPanorelModeBottomList);
    HWND window = control->window();
    ASSERT_EQ(control->splitPosition(), 200);
    // Over the gap between the panes: the surface, where a drag starts.
    lumivel::ui::UserMouse(window, WM_MOUSEMOVE, 0, POINT{50, 202});
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_SIZENS));
    lumivel::ui::UserMouse(window, WM_MOUSEMOVE, 0, POINT{50, 40});
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW));
    lumivel::ui::UserMouse(window, WM_LBUTTONDOWN, MK_LBUTTON, POINT{50, 202});
    EXPECT_EQ(GetCapture(), window);
    lumivel::ui::UserMouse(window, WM_MOUSEMOVE, MK_LBUTTON, POINT{50, 100});
    EXPECT_EQ(control->splitPosition(), 100);
    EXPECT_EQ(windowRect(control->topList()).bottom, 100);
    EXPECT_EQ(windowRect(control->bottomList()).top, 104);
    for (int y : {297, 400, 0, -3}) {
        lumivel::ui::UserMouse(window, WM_MOUSEMOVE, MK_LBUTTON, POINT{50, y});
        EXPECT_EQ(control->splitPosition(), 100) << "at " << y << " a pane would have a negative size";
    }
    lumivel::ui::UserMouse(window, WM_MOUSEMOVE, MK_LBUTTON, POINT{50, 290});
    RECT bottom = windowRect(control->bottomList());
    EXPECT_EQ(bottom.bottom - bottom.top, 4);
    lumivel::ui::UserMouse(window, WM_MOUSEMOVE, MK_LBUTTON, POINT{50, 100});
    lumivel::ui::UserMouse(window, WM_LBUTTONUP, 0, POINT{50, 100});
    EXPECT_NE(GetCapture(), window);
    lumivel::ui::UserMouse(window, WM_MOUSEMOVE, 0, POINT{50, 30});
    EXPECT_EQ(control->splitPosition(), 100) << "no drag after the button went up";

    // A height of 120 with the split at 100 leaves the bottom panes their 50 pixels.
    RECT client{0, 0, 400, 120};
    control->SetObjectRects(&client, &client);
    bottom = windowRect(control->bottomList());
    EXPECT_EQ(bottom.top, 104);
    EXPECT_EQ(bottom.bottom - bottom.top, 50);
    SHDeleteKeyW(HKEY_CURRENT_USER, panorel::kPanesKey);  // the drag kept its height
}

// The bottom height a person dragged to is what the next control opens with, also in a window
// of another height; a click that moves nothing keeps nothing, and a window too small for the
// kept height still shows a quarter of its top pane.
TEST_F(ControlTest, TheBottomHeightDraggedToIsKeptForTheNextControl) {
    SHDeleteKeyW(HKEY_CURRENT_USER, panorel::kPanesKey);
    // Another control opened in the same host at the height given: where its split came.
    auto opened = [&](int height) {
        auto other = lumivel::com::NewComObject<panorel::Panorel>();
        RECT position{0, 0, 400, height};
        auto otherSite = lumivel::com::NewComObject<FakeSite>(host, position);
        EXPECT_EQ(other->SetClientSite(otherSite.get()), S_OK);
        EXPECT_EQ(other->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, otherSite.get(), 0, host, &position), S_OK);
        int split = other->splitPosition();
        other->InPlaceDeactivate();
        other->Close(OLECLOSE_NOSAVE);
        other->SetClientSite(nullptr);
        return split;
    };
    ASSERT_EQ(opened(300), 200);
    HWND window = control->window();
    lumivel::ui::UserMouse(window, WM_LBUTTONDOWN, MK_LBUTTON, POINT{50, 202});
    lumivel::ui::UserMouse(window, WM_LBUTTONUP, 0, POINT{50, 202});
    EXPECT_EQ(opened(300), 200) << "a click without a drag keeps nothing";

    lumivel::ui::UserMouse(window, WM_LBUTTONDOWN, MK_LBUTTON, POINT{50, 202});
    lumivel::ui::UserMouse(window, WM_MOUSEMOVE, MK_LBUTTON, POINT{50, 120});
    lumivel::ui::UserMouse(window, WM_LBUTTONUP, 0, POINT{50, 120});
    EXPECT_EQ(opened(300), 120);
    EXPECT_EQ(opened(600), 420) << "the bottom pane keeps its 180 pixels";
    EXPECT_EQ(opened(200), 50) << "the top pane keeps a quarter";
    SHDeleteKeyW(HKEY_CURRENT_USER, panorel::kPanesKey);
}

TEST_F(ControlTest, RecordsAreHeldWhileShownAndLetGoOnceWhenReplaced) {
    connect();
    PropertySet* first = MakeRecord(u"first");
    PropertySet* both = keep(MakeRecord(u"both"));
    show({first, both});
    EXPECT_EQ(first->RefCount, 2);
    first->release();  // the caller lets go; the control still shows it
    EXPECT_EQ(lumivel::ui::ListViewCellText(control->topList(), 1, 0), u"first");
    show({both});
    EXPECT_EQ(both->RefCount, 2) << "a record in both lists keeps one reference for the control";
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 1);
    control->ReleaseInterfaces();
    EXPECT_EQ(both->RefCount, 1) << "a hidden node's records are let go";
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 0);
    show({both});
    control->InPlaceDeactivate();
    EXPECT_EQ(both->RefCount, 1);
}

TEST_F(ControlTest, DoubleClickNavigatesToScopeItemsAndActivatesObjects) {
    connect();
    PropertySet* scope = keep(MakeRecord(u"child", u"domainDNS"));
    scope->IsNode = 1;
    VARIANT handle;
    handle.vt = VT_I8;
    handle.llVal = 0x7fff00001234LL;
    scope->setValue(u"NodeHandle", &handle);
    PropertySet* object = keep(MakeRecord(u"object"));
    show({scope, object});
    HWND list = control->topList();
    lumivel::ui::UserSetListSelection(list, {0}, 0);
    lumivel::ui::UserListClick(list, 0, 0, NM_DBLCLK, POINT{5, 30});
    EXPECT_THAT(console->selected, ElementsAre(HSCOPEITEM(0x7fff00001234LL))) << "the whole pointer-sized handle";
    lumivel::ui::UserSetListSelection(list, {1}, 1);
    lumivel::ui::UserListClick(list, 1, 0, NM_DBLCLK, POINT{5, 50});
    ASSERT_EQ(provider->callsOf("ActivateObject").size(), 1u);
    EXPECT_THAT(provider->callsOf("ActivateObject")[0]->selection, ElementsAre(object));
}

TEST_F(ControlTest, DeleteKeyGoesToTheProviderEvenForRecordsWithoutDeleteItem) {
    connect();
    PropertySet* node = keep(MakeRecord(u"node", u"domainDNS"));
    control->put_SelectedNode(reinterpret_cast<LONG_PTR>(node));
    PropertySet* locked = keep(MakeRecord(u"locked", u"user", {{u"NoDelete", u"1"}}));
    show({locked});
    HWND list = control->topList();
    lumivel::ui::UserListKeyDown(list, VK_DELETE);
    lumivel::ui::UserSetListSelection(list, {0}, 0);
    lumivel::ui::UserListKeyDown(list, VK_DELETE);
    auto calls = provider->callsOf("DeleteObjects");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_THAT(calls[0]->selection, ElementsAre(node)) << "nothing selected: the shown node";
    EXPECT_THAT(calls[1]->selection, ElementsAre(locked));
}

TEST_F(ControlTest, TheStripIsPaintedInTheButtonFaceColour) {
    RECT client{0, 0, 200, 100};
    control->SetObjectRects(&client, &client);
    auto surface = lumivel::ui::PaintedSurface(control->window());
    ASSERT_TRUE(surface);
    EXPECT_EQ(lumivel::gfx::ToColorRef(surface->at(10, 10)), GetSysColor(COLOR_BTNFACE));
}

}  // namespace
}  // namespace panoreltest
