// The provider object without a directory: identity, aggregation, the slots that do nothing,
// columns, menus and the command preconditions.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/ui_test_hook.h"
#include "lumivel/variant_holder.h"
#include "provider/domain_nodes.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "tests/support/private_hives.h"
#include "shared/object_list.h"
#include "shared/panorel_interface.h"
#include "shared/restores_into_column.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

ComPtr<IRevivo> createProvider() {
    ComPtr<IRevivo> provider;
    EXPECT_EQ(revivo::Revivo::CreateInstance(nullptr, IID_IRevivo, provider.putVoid()), S_OK);
    return provider;
}

template <typename T>
ComPtr<T> query(IUnknown* object, REFIID iid) {
    ComPtr<T> result;
    EXPECT_EQ(object->QueryInterface(iid, result.putVoid()), S_OK);
    return result;
}

// A record as the snap-in and control hand it over.
struct Selection {
    std::vector<PropertySet*> records;
    VARIANT list;
    explicit Selection(std::vector<PropertySet*> chosen) : records(std::move(chosen)) {
        VariantInit(&list);
        lumivel::shared::BuildObjectList(records, &list);
    }
    ~Selection() {
        VariantClear(&list);
        for (PropertySet* record : records) record->release();
    }
};

PropertySet* deletedObject(const char16_t* name) {
    PropertySet* record = PropertySet::create();
    record->setString(u"name", name);
    record->setString(u"class", u"user");
    record->setInt(u"FromRevivoProvider", 1);
    record->setString(u"FocusedDC", u"");
    return record;
}

PropertySet* domainNode() {
    PropertySet* record = PropertySet::create();
    record->IsNode = 1;
    record->setString(u"name", u"lumivel.test");
    record->setString(u"class", u"domainDNS");
    record->setInt(u"Removable", 1);
    record->setInt(u"FromRevivoProvider", 1);
    record->setString(u"FocusedDC", u"dc1.lumivel.test");
    return record;
}

TEST(ProviderObjectTest, AnswersItsThreeInterfacesAndIDispatchAsOneObject) {
    ComPtr<IRevivo> provider = createProvider();
    ComPtr<IUnknown> identity = query<IUnknown>(provider.get(), IID_IUnknown);
    for (const IID* iid : {&IID_IRevivo, &IID_IDispatch, &IID_IProviderData, &IID_IProviderCommands}) {
        ComPtr<IUnknown> face;
        ASSERT_EQ(provider->QueryInterface(*iid, face.putVoid()), S_OK);
        EXPECT_EQ(query<IUnknown>(face.get(), IID_IUnknown).get(), identity.get());
    }
    ComPtr<IUnknown> none;
    EXPECT_EQ(provider->QueryInterface(IID_IClassFactory, none.putVoid()), E_NOINTERFACE);
    EXPECT_EQ(none.get(), nullptr);
}

// An outer object that counts the calls its inner object delegates to it.
class Outer : public IUnknown {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        ++m_queries;
        if (IsEqualIID(iid, IID_IUnknown)) {
            *object = this;
            AddRef();
            return S_OK;
        }
        return m_inner ? m_inner->QueryInterface(iid, object) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }
    IUnknown* m_inner = nullptr;
    int m_queries = 0;
    LONG m_references = 1;
};

TEST(ProviderObjectTest, AggregatedObjectDelegatesItsUnknownToTheOuterObject) {
    Outer outer;
    void* refused = reinterpret_cast<void*>(1);
    EXPECT_EQ(revivo::Revivo::CreateInstance(&outer, IID_IRevivo, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);

    ASSERT_EQ(revivo::Revivo::CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.m_inner)), S_OK);
    IProviderData* data = nullptr;
    ASSERT_EQ(outer.QueryInterface(IID_IProviderData, reinterpret_cast<void**>(&data)), S_OK);
    LONG before = outer.m_references;
    data->AddRef();
    EXPECT_EQ(outer.m_references, before + 1);
    data->Release();
    int queries = outer.m_queries;
    IUnknown* viaInterface = nullptr;
    data->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaInterface));
    EXPECT_EQ(viaInterface, &outer);
    EXPECT_EQ(outer.m_queries, queries + 1);
    viaInterface->Release();
    data->Release();
    outer.m_inner->Release();
}

TEST(ProviderObjectTest, SlotsThatDoNothingReturnOkAndTouchNoArgument) {
    ComPtr<IRevivo> provider = createProvider();
    auto data = query<IProviderData>(provider.get(), IID_IProviderData);
    auto commands = query<IProviderCommands>(provider.get(), IID_IProviderCommands);
    VARIANT selection, result;
    selection.vt = VT_I4;
    selection.lVal = 12345;
    result.vt = VT_I4;
    result.lVal = 777;
    LONG mode = 55;
    HWND window = reinterpret_cast<HWND>(0x1234);
    BSTR link = SysAllocString(u"link");
    EXPECT_EQ(data->ActivateObject(window, 0), S_OK);
    EXPECT_EQ(data->SetConsole(nullptr), S_OK);
    EXPECT_EQ(data->DeleteObjects(window, &selection, &result), S_OK);
    EXPECT_EQ(data->ReservedCommand(window, &selection, &result), S_OK);
    EXPECT_EQ(data->ShowProperties(window, &selection, &result), S_OK);
    VARIANT nothing;
    VariantInit(&nothing);
    EXPECT_EQ(data->GetDetails(&nothing, &mode, &result), S_OK) << "no selection: the pane stays as it is";
    EXPECT_EQ(data->LinkClicked(window, &selection, link, &result), S_OK);
    EXPECT_EQ(commands->ReservedCommand6(1, 2), S_OK);
    EXPECT_EQ(commands->ReservedCommand7(1, 2, 3), S_OK);
    EXPECT_EQ(selection.vt, VT_I4);
    EXPECT_EQ(selection.lVal, 12345);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 777);
    EXPECT_EQ(mode, 55);
    SysFreeString(link);
}

TEST(ProviderObjectTest, DetailsComeAsTextForTheNodeAndForSeveralRecords) {
    ComPtr<IRevivo> provider = createProvider();
    auto data = query<IProviderData>(provider.get(), IID_IProviderData);
    PropertySet* node = PropertySet::create();
    node->IsNode = TRUE;
    PropertySet* first = PropertySet::create();
    first->setText(u"name", u"Bob\nDEL:2b7e1f30-7a47-4b0a-9d49-1c1c2b6a3e01");
    PropertySet* second = PropertySet::create();
    second->setText(u"name", u"Carol");
    struct Case {
        std::vector<PropertySet*> selection;
        const char16_t* says;
    } cases[] = {{{node}, u"Select a deleted object"}, {{first, second}, u"2 deleted objects selected: Bob, Carol."}};
    for (const Case& each : cases) {
        VARIANT selection, details;
        VariantInit(&selection);
        VariantInit(&details);
        ASSERT_EQ(lumivel::shared::BuildObjectList(each.selection, &selection), S_OK);
        LONG mode = 0;
        EXPECT_EQ(data->GetDetails(&selection, &mode, &details), S_OK);
        EXPECT_EQ(mode, kPanorelModeBottomText);
        ASSERT_EQ(details.vt, VT_BSTR);
        EXPECT_NE(std::u16string(details.bstrVal).find(each.says), std::u16string::npos);
        VariantClear(&details);
        VariantClear(&selection);
    }
    for (PropertySet* record : {node, first, second}) record->release();
}

TEST(ProviderObjectTest, ColumnsComeOnceWithRegistryWidthsAndAreShared) {
    {
        lumivel::RegistryKey widths;
        ASSERT_EQ(widths.create(HKEY_CURRENT_USER, u"Software\\Tarvo Software\\Tarvo Lumivel\\Columns\\Top",
                                KEY_ALL_ACCESS),
                  ERROR_SUCCESS);
        widths.writeDword(u"Class", 250);
    }
    ComPtr<IRevivo> provider = createProvider();
    auto data = query<IProviderData>(provider.get(), IID_IProviderData);

    VARIANT columns, keys;
    VariantInit(&columns);
    VariantInit(&keys);
    EXPECT_EQ(data->GetColumns(2, &columns, &keys), S_OK);
    EXPECT_EQ(columns.vt, VT_EMPTY);
    EXPECT_EQ(keys.vt, VT_EMPTY);

    ASSERT_EQ(data->GetColumns(1, &columns, &keys), S_OK);
    std::vector<LONG_PTR> first = lumivel::shared::ReadAddressList(&columns);
    ASSERT_EQ(first.size(), 4u);
    const char16_t* titles[] = {u"Name", u"Last Known Parent", u"Class", u"Date Deleted"};
    const char16_t* keyNames[] = {u"name", u"parent", u"FriendlyClassName", u"dateDeleted"};
    int expectedWidths[] = {100, 100, 250, 100};
    ASSERT_EQ(keys.vt, VT_ARRAY | VT_VARIANT);
    VARIANT* keyValues = nullptr;
    SafeArrayAccessData(keys.parray, reinterpret_cast<void**>(&keyValues));
    for (int i = 0; i < 4; ++i) {
        auto* column = reinterpret_cast<LVCOLUMNW*>(first[i]);
        EXPECT_EQ(column->mask, static_cast<UINT>(LVCF_WIDTH | LVCF_TEXT));
        EXPECT_EQ(std::u16string(column->pszText), titles[i]);
        EXPECT_EQ(column->cx, expectedWidths[i]);
        EXPECT_EQ(std::u16string(keyValues[i].bstrVal), keyNames[i]);
    }
    SafeArrayUnaccessData(keys.parray);
    VariantClear(&keys);
    VariantClear(&columns);

    // The control stores its widths into the records; a registry change no longer counts.
    reinterpret_cast<LVCOLUMNW*>(first[0])->cx = 321;
    {
        lumivel::RegistryKey widths;
        widths.create(HKEY_CURRENT_USER, u"Software\\Tarvo Software\\Tarvo Lumivel\\Columns\\Top", KEY_ALL_ACCESS);
        widths.writeDword(u"Date Deleted", 999);
    }
    ASSERT_EQ(data->GetColumns(1, &columns, nullptr), S_OK);
    std::vector<LONG_PTR> second = lumivel::shared::ReadAddressList(&columns);
    EXPECT_EQ(second, first);
    EXPECT_EQ(reinterpret_cast<LVCOLUMNW*>(second[0])->cx, 321);
    EXPECT_EQ(reinterpret_cast<LVCOLUMNW*>(second[3])->cx, 100);
    VariantClear(&columns);
}

// View type 3 adds "Expires" after the result list's own columns, over the same records, so a
// width the control stores counts whichever view it showed; view type 1 stays as it was.
TEST(ProviderObjectTest, ExpiresViewTypeAddsItsColumnAfterTheSameFour) {
    {
        lumivel::RegistryKey widths;
        ASSERT_EQ(widths.create(HKEY_CURRENT_USER, kResultColumnsKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        widths.writeDword(u"Expires", 170);
    }
    ComPtr<IRevivo> provider = createProvider();
    auto data = query<IProviderData>(provider.get(), IID_IProviderData);
    lumivel::VariantHolder withExpires, expiresKeys, plain, plainKeys;
    ASSERT_EQ(data->GetColumns(kViewTypeResultWithExpires, withExpires.get(), expiresKeys.get()), S_OK);
    ASSERT_EQ(data->GetColumns(1, plain.get(), plainKeys.get()), S_OK);
    std::vector<LONG_PTR> five = lumivel::shared::ReadAddressList(withExpires.get());
    std::vector<LONG_PTR> four = lumivel::shared::ReadAddressList(plain.get());
    ASSERT_EQ(five.size(), 5u);
    ASSERT_EQ(four.size(), 4u);
    EXPECT_TRUE(std::equal(four.begin(), four.end(), five.begin()));
    auto* expires = reinterpret_cast<LVCOLUMNW*>(five[4]);
    EXPECT_EQ(expires->mask, static_cast<UINT>(LVCF_WIDTH | LVCF_TEXT));
    EXPECT_EQ(std::u16string(expires->pszText), u"Expires");
    EXPECT_EQ(expires->cx, 170);

    auto keysOf = [](VARIANT* keys) {
        std::vector<std::u16string> names;
        LONG upper = -1;
        if (keys->vt != (VT_ARRAY | VT_VARIANT) || FAILED(SafeArrayGetUBound(keys->parray, 1, &upper))) return names;
        for (LONG i = 0; i <= upper; ++i) {
            lumivel::VariantHolder key;
            if (SUCCEEDED(SafeArrayGetElement(keys->parray, &i, key.get())) && key->vt == VT_BSTR)
                names.emplace_back(key->bstrVal);
        }
        return names;
    };
    EXPECT_EQ(keysOf(expiresKeys.get()),
              (std::vector<std::u16string>{u"name", u"parent", u"FriendlyClassName", u"dateDeleted", u"Expires"}));
    EXPECT_EQ(keysOf(plainKeys.get()),
              (std::vector<std::u16string>{u"name", u"parent", u"FriendlyClassName", u"dateDeleted"}));

    // "Restores Into" alone and beside "Expires"; the same records again.
    for (LONG viewType : {kViewTypeResultWithRestoresInto, kViewTypeResultWithBoth}) {
        lumivel::VariantHolder withPlace, placeKeys;
        ASSERT_EQ(data->GetColumns(viewType, withPlace.get(), placeKeys.get()), S_OK);
        std::vector<std::u16string> expected{u"name", u"parent", u"FriendlyClassName", u"dateDeleted"};
        if (viewType == kViewTypeResultWithBoth) expected.push_back(u"Expires");
        expected.push_back(kRestoresIntoKey);
        EXPECT_EQ(keysOf(placeKeys.get()), expected);
        std::vector<LONG_PTR> columns =
            lumivel::shared::ReadAddressList(withPlace.get(), lumivel::shared::ListForm::AnyArray);
        ASSERT_EQ(columns.size(), expected.size());
        EXPECT_EQ(std::u16string(reinterpret_cast<LVCOLUMNW*>(columns.back())->pszText), kRestoresIntoTitle);
    }

    lumivel::VariantHolder other, otherKeys;
    EXPECT_EQ(data->GetColumns(6, other.get(), otherKeys.get()), S_OK);
    EXPECT_EQ(other->vt, VT_EMPTY);
    EXPECT_EQ(otherKeys->vt, VT_EMPTY);
}

std::vector<std::pair<UINT, bool>> menuItems(HMENU menu) {
    std::vector<std::pair<UINT, bool>> items;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        UINT id = GetMenuItemID(menu, i);
        items.emplace_back(id, (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0);
    }
    return items;
}

TEST(ProviderObjectTest, MenusFollowTheSelection) {
    ComPtr<IRevivo> provider = createProvider();
    auto commands = query<IProviderCommands>(provider.get(), IID_IProviderCommands);
    using Items = std::vector<std::pair<UINT, bool>>;
    struct Row {
        const char* what;
        std::vector<PropertySet*> records;
        LONG menuType;
        bool menu;
        Items items;
    };
    PropertySet* foreign = deletedObject(u"foreign");
    foreign->removeValue(u"FromRevivoProvider");
    Row rows[] = {
        {"no selection", {}, 1, true, Items{{ID_CONNECT_TO, false}}},
        {"one deleted object", {deletedObject(u"a")}, 1, true,
         Items{{ID_RESTORE, false}, {ID_RESTORE_PLAN_DIALOG, false}, {ID_RESTORE_TO, false},
               {ID_RESTORE_SUBTREE_REPORT, false}}},
        {"three deleted objects", {deletedObject(u"a"), deletedObject(u"b"), deletedObject(u"c")}, 1, true,
         Items{{ID_RESTORE, true}, {ID_RESTORE_PLAN_DIALOG, true}, {ID_RESTORE_TO, true},
               {ID_RESTORE_SUBTREE_REPORT, true}, {ID_RESTORE_SELECTED, false}}},
        {"a domain node", {domainNode()}, 1, true, Items{{ID_CONNECT_DC, false}, {ID_REMOVE, false}}},
        {"two domain nodes", {domainNode(), domainNode()}, 1, true, Items{{ID_CONNECT_DC, true}, {ID_REMOVE, false}}},
        {"a record from elsewhere", {foreign}, 1, false, {}},
        {"the New submenu", {}, 8, false, {}},
    };
    for (Row& row : rows) {
        Selection selection(row.records);
        HMENU menu = nullptr;
        HINSTANCE instance = nullptr;
        EXPECT_EQ(commands->GetMenu(row.menuType, &selection.list, &menu, &instance), S_OK) << row.what;
        EXPECT_EQ(instance, lumivel::com::ThisModuleHandle()) << row.what;
        EXPECT_EQ(menu != nullptr, row.menu) << row.what;
        if (menu) {
            EXPECT_EQ(menuItems(menu), row.items) << row.what;
            // The one item for several says how many it restores.
            if (row.records.size() == 3) {
                WCHAR text[64] = {};
                GetMenuStringW(menu, ID_RESTORE_SELECTED, text, 64, MF_BYCOMMAND);
                EXPECT_EQ(std::u16string(text), u"Restore &Selected (3)...");
            }
            DestroyMenu(menu);
        }
    }
}

TEST(ProviderObjectTest, StringTableHoldsTheNameAndTheMenuStatusTexts) {
    struct Row {
        UINT id;
        const char16_t* text;
    } rows[] = {{IDS_PROJNAME, u"RevivoProvider"},
                {ID_GENERATE_BACKUP, u"Generate a backup"},
                {ID_RESTORE, u"Restore this object"},
                {ID_CONNECT_DC, u"Connect to a domain controller"},
                {ID_CONNECT_TO, u""},
                {ID_REMOVE, u""}};
    for (const Row& row : rows) {
        WCHAR buffer[128] = {};
        int length = LoadStringW(lumivel::com::ThisModuleHandle(), row.id, buffer, ARRAYSIZE(buffer));
        EXPECT_EQ(std::u16string(buffer, static_cast<size_t>(length)), row.text) << row.id;
    }
}

TEST(ProviderObjectTest, CommandsThatCannotRunReturnFalseAndLeaveTheResultAlone) {
    ComPtr<IRevivo> provider = createProvider();
    auto commands = query<IProviderCommands>(provider.get(), IID_IProviderCommands);
    struct Row {
        const char* what;
        LONG command;
        int records;
        HRESULT expected;
    } rows[] = {
        {"unknown command", 4711, 1, S_FALSE},
        {"restore of two records", ID_RESTORE, 2, S_FALSE},
        {"restore of nothing", ID_RESTORE, 0, S_FALSE},
        {"remove of two records", ID_REMOVE, 2, S_FALSE},
        {"remove of a node that is not stored", ID_REMOVE, 1, S_FALSE},
        {"domain controller of two records", ID_CONNECT_DC, 2, S_OK},
        {"backup, not offered yet", ID_GENERATE_BACKUP, 1, S_FALSE},
    };
    for (const Row& row : rows) {
        std::vector<PropertySet*> records;
        for (int i = 0; i < row.records; ++i) records.push_back(domainNode());
        Selection selection(records);
        VARIANT result;
        result.vt = VT_I4;
        result.lVal = 99;
        EXPECT_EQ(commands->ExecuteCommand(nullptr, 1, row.command, &selection.list, &result), row.expected) << row.what;
        EXPECT_EQ(result.vt, VT_I4) << row.what;
        EXPECT_EQ(result.lVal, 99) << row.what;
    }
}

TEST(ProviderObjectTest, RemovingAStoredNodeDeletesItsValueOnce) {
    lumivel::RegistryKey store;
    ASSERT_EQ(store.create(HKEY_CURRENT_USER, u"Software\\Tarvo Software\\Tarvo Lumivel", KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(store.writeString(u"lumivel.test/abc", u"lumivel.test"), ERROR_SUCCESS);
    ComPtr<IRevivo> provider = createProvider();
    auto commands = query<IProviderCommands>(provider.get(), IID_IProviderCommands);
    PropertySet* node = domainNode();
    node->setString(u"RegEntry", u"lumivel.test/abc");
    node->addRef();
    Selection selection({node});

    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(commands->ExecuteCommand(nullptr, 1, ID_REMOVE, &selection.list, &result), S_OK);
    EXPECT_FALSE(store.readString(u"lumivel.test/abc").has_value());
    std::vector<PropertySet*> answer = lumivel::shared::ReadObjectList(&result);
    ASSERT_EQ(answer.size(), 2u);
    EXPECT_EQ(answer[0]->getText(u"RefreshReason"), u"ObjectsDeleted");
    EXPECT_EQ(answer[1], node);
    answer[0]->release();
    VariantClear(&result);

    VariantInit(&result);
    EXPECT_EQ(commands->ExecuteCommand(nullptr, 1, ID_REMOVE, &selection.list, &result), S_FALSE);
    EXPECT_EQ(result.vt, VT_EMPTY);
    node->release();
}

// Records that cannot be restored are refused before any directory call, and silently: no
// tombstone name or parent, a name that is not mangled, a controller no session can name.
TEST(ProviderObjectTest, RestoreRefusesWhatItCannotStartWithoutAWord) {
    ComPtr<IRevivo> provider = createProvider();
    auto* revivo = static_cast<revivo::Revivo*>(provider.get());
    int surfaces = 0;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface&) -> INT_PTR {
        ++surfaces;
        return IDCANCEL;
    });
    const char16_t* tombstone = u"CN=Ann\\0ADEL:1,CN=Deleted Objects,DC=x";
    struct Row {
        const char* what;
        bool hasDn;
        const char16_t* dn;
        bool hasParent;
        const char16_t* parent;
        const char16_t* focusedDc;
        HRESULT expected;
    } rows[] = {
        {"no distinguished name", false, nullptr, true, u"OU=Sales,DC=x", u"", E_POINTER},
        {"a null distinguished name", true, nullptr, true, u"OU=Sales,DC=x", u"", E_POINTER},
        // A tombstone whose parent is gone for good: told why, no archive to recover it from.
        {"no last known parent", true, tombstone, false, nullptr, u"", S_FALSE},
        {"a null last known parent", true, tombstone, true, nullptr, u"", S_FALSE},
        {"a live object's name", true, u"CN=Ann,OU=Sales,DC=x", true, u"OU=Sales,DC=x", u"", E_INVALIDARG},
        {"an escaped backslash before 0A", true, u"CN=Back\\\\0A,OU=Sales,DC=x", true, u"OU=Sales,DC=x", u"",
         E_INVALIDARG},
        {"a controller name no session takes", true, tombstone, true, u"OU=Sales,DC=x", u"dc one!", E_FAIL},
    };
    for (const Row& row : rows) {
        PropertySet* record = deletedObject(u"Ann\nDEL:1");
        if (row.hasDn) record->setString(u"distinguishedName", row.dn);
        if (row.hasParent) record->setString(u"lastKnownParent", row.parent);
        record->setString(u"FocusedDC", row.focusedDc);
        revivo::RestoredTombstones restored;
        EXPECT_EQ(revivo->Restore(nullptr, record, &restored), row.expected) << row.what;
        EXPECT_TRUE(restored.empty()) << row.what;

        // The command says S_FALSE and hands back nothing.
        VARIANT selection, result;
        VariantInit(&selection);
        VariantInit(&result);
        lumivel::shared::RecordToVariant(record, &selection);
        auto commands = query<IProviderCommands>(provider.get(), IID_IProviderCommands);
        EXPECT_EQ(commands->ExecuteCommand(nullptr, 1, ID_RESTORE, &selection, &result), S_FALSE) << row.what;
        EXPECT_EQ(result.vt, VT_EMPTY) << row.what;
        record->release();
    }
    lumivel::ui::SetTestHook({});
    // Once each for the two without a last known parent, through Restore and the command.
    EXPECT_EQ(surfaces, 4) << "nothing else is shown for a restore that cannot start";
}

// A record whose own name is not mangled is no tombstone, even under a deleted parent: after
// the parent's report nothing more is said and nothing is sent.
TEST(ProviderObjectTest, NameThatIsNotMangledIsRefusedEvenUnderADeletedParent) {
    ComPtr<IRevivo> provider = createProvider();
    auto* revivo = static_cast<revivo::Revivo*>(provider.get());
    std::vector<std::u16string> texts;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        texts.push_back(surface.text);
        return IDOK;
    });
    PropertySet* record = deletedObject(u"Ann");
    record->setString(u"distinguishedName", u"CN=Ann,OU=Sales,DC=x");
    record->setString(u"lastKnownParent",
                      u"OU=Sales\\0ADEL:0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0,CN=Deleted Objects,DC=x");
    revivo::RestoredTombstones restored;
    EXPECT_EQ(revivo->Restore(nullptr, record, &restored), E_INVALIDARG);
    lumivel::ui::SetTestHook({});
    EXPECT_TRUE(restored.empty());
    EXPECT_EQ(texts, std::vector<std::u16string>{u"Could not create the container for this object."});
    record->release();
}

// A stored node's value holds its display name without a terminating null; a node whose name
// was never read is not stored, an empty name is.
TEST(ProviderObjectTest, NodesAreStoredByTheirEntryWithTheirName) {
    lumivel::RegistryKey store;
    ASSERT_EQ(store.create(HKEY_CURRENT_USER, u"Software\\Tarvo Software\\Tarvo Lumivel", KEY_ALL_ACCESS), ERROR_SUCCESS);
    struct Row {
        const char16_t* entry;
        const char16_t* name;  // null: no name value at all
        bool stored;
        DWORD bytes;
    } rows[] = {
        {u"lumivel.test/0123456789abcdef0123456789abcdef", u"lumivel.test", true, 24},
        {u"fedcba98765432100123456789abcdef", u"", true, 0},
        {u"nameless.test/00000000000000000000000000000001", nullptr, false, 0},
    };
    for (const Row& row : rows) {
        PropertySet* node = domainNode();
        node->removeValue(u"name");
        if (row.name) node->setString(u"name", row.name);
        node->setString(u"RegEntry", row.entry);
        EXPECT_EQ(revivo::StoreNode(node) == ERROR_SUCCESS, row.stored) << lumivel::shared::NarrowText(row.entry);
        DWORD type = 0, bytes = 99;
        LONG status = RegQueryValueExW(store.get(), row.entry, nullptr, &type, nullptr, &bytes);
        EXPECT_EQ(status == ERROR_SUCCESS, row.stored) << lumivel::shared::NarrowText(row.entry);
        if (row.stored) {
            EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
            EXPECT_EQ(bytes, row.bytes);
            EXPECT_EQ(store.readString(row.entry), std::u16string(row.name));
        }
        store.deleteValue(row.entry);
        node->release();
    }
}

}  // namespace
