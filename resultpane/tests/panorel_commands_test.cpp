// Context menus from every provider, the id scheme, and what command results do to the list
// and the scope tree.
#include "lumivel/text.h"
#include "lumivel/thread_queue.h"
#include "resultpane/menu_ids.h"
#include "resultpane/tests/control_fixture.h"

namespace panoreltest {
namespace {

using ::testing::ElementsAre;

// A provider whose one command answers with new records under "ObjectsAdded".
class AddingProvider final : public lumivel::com::ComObject<AddingProvider, IProviderCommands> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<AddingProvider, IProviderCommands>(IID_IProviderCommands)};
    HRESULT STDMETHODCALLTYPE GetNodes(LONG, LONG, LONG, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMenu(LONG kind, VARIANT*, HMENU* menu, HINSTANCE*) override {
        if (kind != 1) return S_OK;
        *menu = CreatePopupMenu();
        AppendMenuW(*menu, MF_STRING, 20, u"&Add");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND, LONG, LONG, VARIANT* selection, VARIANT* result) override {
        PropertySet* header = PropertySet::create();
        header->setString(u"RefreshReason", u"ObjectsAdded");
        PropertySet* scope = MakeRecord(u"new domain", u"domainDNS");
        scope->IsNode = 1;
        std::vector<PropertySet*> list{header, MakeRecord(u"added"), scope};
        for (PropertySet* each : lumivel::shared::ReadObjectList(selection)) list.push_back(each);
        lumivel::shared::BuildObjectList(list, result);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG, LONG, LONG) override { return S_OK; }
};

// A provider whose one command fails and still hands back a header, naming the selection.
class FailingProvider final : public lumivel::com::ComObject<FailingProvider, IProviderCommands> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<FailingProvider, IProviderCommands>(IID_IProviderCommands)};
    PropertySet* header = nullptr;  // the test's own reference, beside the one handed out
    HRESULT STDMETHODCALLTYPE GetNodes(LONG, LONG, LONG, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMenu(LONG kind, VARIANT*, HMENU* menu, HINSTANCE*) override {
        if (kind != 1) return S_OK;
        *menu = CreatePopupMenu();
        AppendMenuW(*menu, MF_STRING, 21, u"&Fail");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND, LONG, LONG, VARIANT* selection, VARIANT* result) override {
        header = PropertySet::create();
        header->setString(u"RefreshReason", u"ObjectsDeleted");
        header->setInt(kCommandResultKey, E_ACCESSDENIED);
        header->setString(kCommandErrorKey, u"Access is denied.");
        header->addRef();
        std::vector<PropertySet*> list{header};
        for (PropertySet* each : lumivel::shared::ReadObjectList(selection)) list.push_back(each);
        lumivel::shared::BuildObjectList(list, result);
        return E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG, LONG, LONG) override { return S_OK; }
};

// A provider whose command first hands the control a new list, as a refresh landing while the
// command's dialog is up does, and then counts the references on what it was given.
class RefreshingProvider final : public lumivel::com::ComObject<RefreshingProvider, IProviderCommands> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<RefreshingProvider, IProviderCommands>(IID_IProviderCommands)};
    panorel::Panorel* control = nullptr;
    std::vector<LONG> countsAfterRefresh;
    HRESULT STDMETHODCALLTYPE GetNodes(LONG, LONG, LONG, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMenu(LONG kind, VARIANT*, HMENU* menu, HINSTANCE*) override {
        if (kind != 1) return S_OK;
        *menu = CreatePopupMenu();
        AppendMenuW(*menu, MF_STRING, 22, u"&Restore");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND, LONG, LONG, VARIANT* selection, VARIANT*) override {
        PropertySet* fresh = MakeRecord(u"fresh");
        lumivel::VariantHolder list;
        control->SetObjects(kPanorelTopPane, ListOf({fresh}, &list)->get());
        fresh->release();
        for (PropertySet* each : lumivel::shared::ReadObjectList(selection)) countsAfterRefresh.push_back(each->RefCount);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG, LONG, LONG) override { return S_OK; }
};

// Writes into the records it is given, as a restore does, and hands the control a list that
// shares them, as a refresh meanwhile does.
class WritingProvider final : public lumivel::com::ComObject<WritingProvider, IProviderCommands> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<WritingProvider, IProviderCommands>(IID_IProviderCommands)};
    panorel::Panorel* control = nullptr;
    std::vector<PropertySet*> written, handedOver;
    bool workerReadAtStart = true, orderingOnWorker = true;
    HRESULT STDMETHODCALLTYPE GetNodes(LONG, LONG, LONG, VARIANT*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMenu(LONG, VARIANT*, HMENU* menu, HINSTANCE*) override {
        *menu = CreatePopupMenu();
        AppendMenuW(*menu, MF_STRING, 22, u"&Restore");
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND, LONG, LONG, VARIANT*, VARIANT*) override {
        workerReadAtStart = control->workerReadsRecords();
        for (PropertySet* record : written) {
            record->setText(u"lastKnownParent", u"OU=Found,DC=lumivel,DC=test");
            record->setText(u"FocusedDC", u"dc1.lumivel.test");
        }
        lumivel::VariantHolder list;
        control->SetObjects(kPanorelTopPane, ListOf(handedOver, &list)->get());
        orderingOnWorker = control->workerReadsRecords() || control->handOverPending();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG, LONG) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG, LONG, LONG) override { return S_OK; }
};

class CommandsTest : public ControlTest {};

TEST_F(CommandsTest, OneSelectedRecordGetsProviderItemsDeleteAndPropertiesAsDefault) {
    connect();
    provider->menus[1] = {{311, u"&Restore"}};
    PropertySet* carol = keep(MakeRecord(u"Carol"));
    show({carol});
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    rightClick(control->topList());
    EXPECT_THAT(Texts(menu), ElementsAre(u"&Restore", u"-", u"&Delete", u"-", u"P&roperties"));
    EXPECT_EQ(menu[4].id, panorel::kMenuProperties);
    EXPECT_TRUE(menu[4].state & MFS_DEFAULT);
    EXPECT_EQ(provider->callsOf("GetMenu")[0]->kind, 1);
    EXPECT_THAT(provider->callsOf("GetMenu")[0]->selection, ElementsAre(carol));
}

TEST_F(CommandsTest, TwoSelectedRecordsGreyPropertiesAndNoDeleteHidesDelete) {
    connect();
    show({keep(MakeRecord(u"a", u"user", {{u"NoDelete", u"1"}})), keep(MakeRecord(u"b"))});
    lumivel::ui::UserSetListSelection(control->topList(), {0, 1}, 1);
    rightClick(control->topList());
    EXPECT_THAT(Texts(menu), ElementsAre(u"P&roperties"));
    EXPECT_EQ(menu[0].state & MFS_GRAYED, UINT(MFS_GRAYED));
}

// The keyboard's way to the menu (the list gives Shift+F10 as the menu key too): the items the
// right button shows for the same selection, and what is chosen runs on all of it.
TEST_F(CommandsTest, TheMenuKeyOpensTheSelectionsMenuAsTheRightButtonDoes) {
    connect();
    provider->menus[1] = {{321, u"Restore &Selected (2)..."}};
    PropertySet* ada = keep(MakeRecord(u"Ada"));
    PropertySet* bob = keep(MakeRecord(u"Bob"));
    show({ada, bob});
    lumivel::ui::UserSetListSelection(control->topList(), {0, 1}, 1);
    rightClick(control->topList());
    ASSERT_TRUE(shown);
    std::vector<MenuItem> byKey;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind != lumivel::ui::SurfaceKind::PopupMenu) return 0;
        byKey = ReadMenu(surface.menu);
        return INT_PTR(find(byKey, u"Restore &Selected (2)..."));
    });
    lumivel::ui::UserListKeyDown(control->topList(), VK_APPS);
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(Texts(byKey), Texts(menu));
    auto executed = provider->callsOf("ExecuteCommand");
    ASSERT_EQ(executed.size(), 1u);
    EXPECT_EQ(executed[0]->command, 321);
    EXPECT_THAT(executed[0]->selection, ElementsAre(ada, bob));
}

TEST_F(CommandsTest, EmptySpaceOffersOnlyTheProvidersItemsForTheNode) {
    connect();
    provider->menus[0x401] = {{309, u"&Connect To..."}};
    PropertySet* node = keep(MakeRecord(u"root", u""));
    control->put_SelectedNode(reinterpret_cast<LONG_PTR>(node));
    show({keep(MakeRecord(u"a"))});
    rightClick(control->topList(), u"&Connect To...");
    EXPECT_THAT(Texts(menu), ElementsAre(u"&Connect To..."));
    auto executed = provider->callsOf("ExecuteCommand");
    ASSERT_EQ(executed.size(), 1u);
    EXPECT_EQ(executed[0]->command, 309);
    EXPECT_EQ(executed[0]->kind, 0x401);
    EXPECT_THAT(executed[0]->selection, ElementsAre(node));
}

TEST_F(CommandsTest, NoProvidersAndNoSelectionShowNoMenu) {
    show({keep(MakeRecord(u"a"))});
    rightClick(control->topList());
    EXPECT_FALSE(shown);
}

TEST_F(CommandsTest, CommandsReachOnlyTheProviderTheyCameFrom) {
    connect();
    std::vector<ComPtr<FakeProvider>> providers;
    std::vector<IUnknown*> addresses;
    for (int i = 0; i < 10; ++i) {
        providers.push_back(lumivel::com::NewComObject<FakeProvider>());
        providers.back()->menus[1] = {{UINT(300 + i), u"Item " + std::u16string(1, char16_t(u'0' + i))}};
        addresses.push_back(static_cast<IProviderData*>(providers.back().get()));
    }
    providers[1]->menus[1].push_back({904, u"Clashes with Delete"});
    providers[1]->menus[8] = {{55, u"&User"}};
    setMenuProviders(addresses);
    PropertySet* node = keep(MakeRecord(u"node", u"domainDNS"));
    control->put_SelectedNode(reinterpret_cast<LONG_PTR>(node));
    PropertySet* carol = keep(MakeRecord(u"Carol"));
    show({carol});
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);

    rightClick(control->topList(), u"Item 9");
    EXPECT_EQ(find(menu, u"Clashes with Delete"), 0u) << "an id that would be taken for a built-in one is left out";
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(providers[size_t(i)]->callsOf("ExecuteCommand").size(), i == 9 ? 1u : 0u) << "provider " << i;
    EXPECT_EQ(providers[9]->callsOf("ExecuteCommand")[0]->command, 309);

    rightClick(control->topList(), u"&User");
    auto created = providers[1]->callsOf("ExecuteCommand");
    ASSERT_EQ(created.size(), 1u) << "a \"&New\" item goes to its own provider";
    EXPECT_EQ(created[0]->command, 55);
    EXPECT_EQ(created[0]->kind, 1);
    EXPECT_THAT(created[0]->selection, ElementsAre(node));
    EXPECT_TRUE(providers[9]->callsOf("ExecuteCommand").size() == 1u);

    rightClick(control->topList(), u"&Delete");
    EXPECT_EQ(provider->callsOf("DeleteObjects").size(), 1u);
    EXPECT_EQ(providers[1]->callsOf("ExecuteCommand").size(), 1u);
}

// A restore: the provider's result heads the records with "ObjectsDeleted"; they leave the
// list and the node, each freed once (the sanitizer run checks the once).
TEST_F(CommandsTest, ObjectsDeletedTakesTheRecordsOutOfTheNodeAndTheScopeTree) {
    connect();
    FakeNode node;
    console->nodes[0x5000000001] = &node;
    control->put_HSCOPEITEM(0x5000000001);
    PropertySet* restored = MakeRecord(u"restored");
    PropertySet* stays = MakeRecord(u"stays");
    PropertySet* child = MakeRecord(u"child", u"domainDNS");
    child->IsNode = 1;
    VARIANT handle;
    handle.vt = VT_I8;
    handle.llVal = 0x5000000002;
    child->setValue(u"NodeHandle", &handle);
    node.take({restored, stays, child});
    control->SetObjects(kPanorelTopPane, &node.m_objects);
    provider->menus[1] = {{311, u"&Restore"}};
    provider->resultReason = u"ObjectsDeleted";

    lumivel::ui::UserSetListSelection(control->topList(), {1}, 1);
    ASSERT_EQ(lumivel::ui::ListViewCellText(control->topList(), 1, 0), u"restored");
    rightClick(control->topList(), u"&Restore");
    EXPECT_THAT(column(0), ElementsAre(u"child", u"stays"));
    EXPECT_THAT(node.objects(), ElementsAre(stays, child));

    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    rightClick(control->topList(), u"&Restore");
    EXPECT_THAT(console->deleted, ElementsAre(HSCOPEITEM(0x5000000002)));
    EXPECT_THAT(column(0), ElementsAre(u"stays"));
    EXPECT_EQ(stays->RefCount, 2) << "the node's reference and the control's";
}

TEST_F(CommandsTest, ObjectsDeletedWithoutNamespaceChangesNothingAndFreesTheHeader) {
    ASSERT_EQ(control->SetInterfaces(static_cast<IProviderData*>(provider.get()), nullptr, nullptr, nullptr), S_OK);
    setMenuProviders({static_cast<IProviderData*>(provider.get())});
    provider->resultReason = u"ObjectsDeleted";
    PropertySet* carol = keep(MakeRecord(u"Carol"));
    show({carol});
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    lumivel::ui::UserListKeyDown(control->topList(), VK_DELETE);
    EXPECT_THAT(column(0), ElementsAre(u"Carol"));
    EXPECT_EQ(carol->RefCount, 2);
}

// A failed command's header, whatever it says, changes nothing in the view and is freed.
TEST_F(CommandsTest, AFailedCommandsHeaderIsFreedAndChangesNothing) {
    connect();
    FakeNode node;
    console->nodes[9] = &node;
    control->put_HSCOPEITEM(9);
    PropertySet* kept = MakeRecord(u"kept");
    node.take({kept});
    control->SetObjects(kPanorelTopPane, &node.m_objects);

    auto failing = lumivel::com::NewComObject<FailingProvider>();
    setMenuProviders({static_cast<IProviderCommands*>(failing.get())});
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    rightClick(control->topList(), u"&Fail");
    ASSERT_NE(failing->header, nullptr);
    EXPECT_EQ(failing->header->RefCount, 1) << "only the test's reference is left";
    failing->header->release();
    EXPECT_THAT(column(0), ElementsAre(u"kept"));
    EXPECT_THAT(node.objects(), ElementsAre(kept));
}

TEST_F(CommandsTest, ObjectsAddedAppendsNewRecordsAndOffersScopeRecordsToTheNode) {
    connect();
    FakeNode node;
    console->nodes[7] = &node;
    control->put_HSCOPEITEM(7);
    PropertySet* existing = MakeRecord(u"existing");
    node.take({existing});
    control->SetObjects(kPanorelTopPane, &node.m_objects);

    auto adding = lumivel::com::NewComObject<AddingProvider>();
    setMenuProviders({static_cast<IProviderCommands*>(adding.get())});
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    rightClick(control->topList(), u"&Add");
    EXPECT_THAT(column(0), ElementsAre(u"new domain", u"added", u"existing"));
    EXPECT_EQ(node.objects().size(), 3u) << "a record already there is not added twice";
    ASSERT_EQ(node.offered.size(), 1u);
    EXPECT_EQ(node.offered[0]->getText(u"name"), u"new domain");
}

TEST_F(CommandsTest, ResetBottomPaneReloadsTheBottomColumns) {
    connect();
    provider->menus[1] = {{40, u"&Switch"}};
    provider->resultReason = u"ResetBottomPane";
    show({keep(MakeRecord(u"a"))});
    provider->addColumn(u"Attribute", u"name", 70, true);
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    rightClick(control->topList(), u"&Switch");
    EXPECT_EQ(SendMessageW(control->bottomList(), LVM_GETCOLUMNWIDTH, 0, 0), 70);
}

TEST_F(CommandsTest, LinkClickHandsTheLinkTextAndSelection) {
    connect();
    provider->detailsText = u"See https://lumivel.test/help for ";
    control->SetMode(kPanorelModeBottomText);
    PropertySet* carol = keep(MakeRecord(u"Carol"));
    show({carol});
    lumivel::ui::UserSetListSelection(control->topList(), {0}, 0);
    lumivel::ui::UserClickRichEdit(control->textPane(), 8, WM_LBUTTONDOWN);
    auto clicks = provider->callsOf("LinkClicked");
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0]->text, u"https://lumivel.test/help");
    EXPECT_THAT(clicks[0]->selection, ElementsAre(carol));
}

TEST_F(CommandsTest, ARecordACommandWasGivenOutlivesAListHandedOverDuringTheCommand) {
    connect();
    PropertySet* chosen = keep(MakeRecord(u"chosen"));
    PropertySet* other = keep(MakeRecord(u"other"));
    show({chosen, other});
    auto refreshing = lumivel::com::NewComObject<RefreshingProvider>();
    refreshing->control = control.get();
    setMenuProviders({static_cast<IProviderCommands*>(refreshing.get())});
    lumivel::ui::UserSetListSelection(control->topList(), {0, 1}, 0);
    rightClick(control->topList(), u"&Restore");
    // The test's reference and the control's, held until the command ends.
    EXPECT_THAT(refreshing->countsAfterRefresh, ElementsAre(2, 2));
    EXPECT_EQ(chosen->RefCount, 1) << "let go of once the command ended";
    EXPECT_EQ(other->RefCount, 1);
    EXPECT_THAT(column(0), ElementsAre(u"fresh"));
}

// A command may write the records it is given while a list being ordered on a worker shares
// them: it starts once no worker reads them, and a list handed over while it runs is ordered
// at once.
TEST_F(CommandsTest, NoWorkerReadsRecordsWhileACommandMayWriteThem) {
    connectToDomainNode();
    control->prepareOnWorkerFrom(2);
    std::vector<PropertySet*> listed, fresh;
    for (int i = 0; i < 6000; ++i) {
        listed.push_back(keep(MakeRecord(u"listed " + lumivel::FromUtf8(std::to_string(i)))));
        fresh.push_back(keep(MakeRecord(u"fresh " + lumivel::FromUtf8(std::to_string(i)))));
    }
    show(listed);
    ASSERT_TRUE(control->handOverPending());
    auto writing = lumivel::com::NewComObject<WritingProvider>();
    writing->control = control.get();
    writing->written = listed;
    writing->handedOver = fresh;
    writing->handedOver.insert(writing->handedOver.end(), listed.begin(), listed.begin() + 3000);
    setMenuProviders({static_cast<IProviderCommands*>(writing.get())});
    rightClick(control->topList(), u"&Restore");
    EXPECT_FALSE(writing->workerReadAtStart);
    EXPECT_FALSE(writing->orderingOnWorker);
    EXPECT_EQ(lumivel::ui::ListViewItemCount(control->topList()), 9000);
    ASSERT_TRUE(lumivel::PumpThreadWorkUntil([&] { return !control->workerReadsRecords(); }, 20000));
}

}  // namespace
}  // namespace panoreltest
