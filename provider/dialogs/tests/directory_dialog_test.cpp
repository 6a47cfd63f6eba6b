// The provider's dialogs against the test directory, answered through the UI test hook:
// "Connect to", "Connect to Domain Controller" and the new-name question of a restore.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <functional>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/tests/tombstone_records.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "win/commctrl.h"
#include "win/dsapi.h"
#include "win/oleauto.h"
#include "win/winreg.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;
using revivo::Revivo;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

constexpr const char16_t* kStoreKey = u"Software\\Tarvo Software\\Tarvo Lumivel";

// The domain tree browser's dialog and list in the platform's resources.
constexpr int kBrowserDialog = 30001;
constexpr int kBrowserList = 1001;

// A click that the dialog's own message loop delivers, as a person's would be: a modal dialog
// it opens is then a surface of its own, not one nested in the hook.
void postClick(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

// Picks the first domain the browser lists; false when it listed none.
bool chooseFirstDomain(const Surface& browser, std::u16string* listed) {
    HWND list = GetDlgItem(browser.window, kBrowserList);
    if (lumivel::ui::ListViewItemCount(list) < 1) return false;
    *listed = lumivel::ui::ListViewCellText(list, 0, 0);
    lumivel::ui::UserSetListSelection(list, {0}, 0);
    SendMessageW(browser.window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return true;
}

std::u16string dialogText(HWND dialog, int item) {
    WCHAR buffer[600] = {};
    GetDlgItemTextW(dialog, item, buffer, ARRAYSIZE(buffer));
    return buffer;
}

void press(HWND dialog, int button) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

std::u16string itemText(HWND list, int item, int subItem) {
    WCHAR buffer[512] = {};
    LVITEMW request{};
    request.iSubItem = subItem;
    request.pszText = buffer;
    request.cchTextMax = ARRAYSIZE(buffer);
    SendMessageW(list, LVM_GETITEMTEXTW, item, reinterpret_cast<LPARAM>(&request));
    return buffer;
}

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_provider = static_cast<Revivo*>(m_revivo.get());
        clearStore();
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        for (PropertySet* record : m_owned) record->release();
        m_owned.clear();
        m_commands.reset();
        m_revivo.reset();
        clearStore();
        CoUninitialize();
    }
    void clearStore() {
        lumivel::RegistryKey store;
        if (store.create(HKEY_CURRENT_USER, kStoreKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return;
        for (const std::u16string& name : store.valueNames()) store.deleteValue(name.c_str());
    }
    void hook(std::function<INT_PTR(const Surface&)> answer) { lumivel::ui::SetTestHook(std::move(answer)); }
    std::vector<PropertySet*> storedNodes() {
        VARIANT nodes;
        VariantInit(&nodes);
        EXPECT_EQ(m_commands->GetNodes(0, 0, 0, &nodes), S_OK);
        std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&nodes);
        VariantClear(&nodes);
        m_owned.insert(m_owned.end(), records.begin(), records.end());
        return records;
    }
    PropertySet* keep(PropertySet* record) {
        if (record) m_owned.push_back(record);
        return record;
    }

    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    Revivo* m_provider = nullptr;
    std::vector<PropertySet*> m_owned;
};

TEST_F(DialogTest, ConnectAddsANodeWithEveryKeyForEachFormOfDomain) {
    const lumivel::testing::Directory& directory = lumivel::testing::TestDirectory();
    const std::string forms[] = {directory.domain, directory.baseDn, "LDAP://" + directory.baseDn};
    for (const std::string& form : forms) {
        clearStore();
        bool okWasDisabled = false;
        hook([&](const Surface& surface) -> INT_PTR {
            if (surface.kind != SurfaceKind::Dialog || surface.resourceId != IDD_CONNECT_TO) return IDCANCEL;
            okWasDisabled = !IsWindowEnabled(GetDlgItem(surface.window, IDOK));
            SetDlgItemTextW(surface.window, IDC_CONNECT_DOMAIN, WidenText(form).c_str());
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(surface.window, IDOK)));
            press(surface.window, IDOK);
            return 0;
        });
        PropertySet* node = nullptr;
        ASSERT_EQ(m_provider->ConnectToDomain(nullptr, &node), S_OK) << form;
        keep(node);
        EXPECT_TRUE(okWasDisabled);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->IsNode, 1);
        EXPECT_EQ(node->Disabled, 0);
        for (const char16_t* key : {u"DomainName", u"name", u"class", u"FriendlyClassName", u"FocusedDC", u"path",
                                    u"guid", u"distinguishedName", u"NamingContext", u"RegEntry"})
            EXPECT_FALSE(node->getText(key).empty()) << form << ": " << NarrowText(key);
        EXPECT_EQ(node->getRaw(u"Removable"), 1);
        EXPECT_EQ(node->getRaw(u"FromRevivoProvider"), 1);
        EXPECT_TRUE(lumivel::EqualsNoCase(node->getText(u"name"), WidenText(directory.domain)));
        EXPECT_TRUE(lumivel::EqualsNoCase(node->getText(u"class"), u"domainDNS"));
        EXPECT_TRUE(lumivel::EqualsNoCase(node->getText(u"DomainName"), WidenText(directory.domain)));
        EXPECT_TRUE(lumivel::EqualsNoCase(node->getText(u"FocusedDC"), WidenText(directory.server)));
        EXPECT_EQ(node->getText(u"guid").size(), 32u);
        EXPECT_EQ(node->getText(u"RegEntry"),
                  std::u16string(node->getText(u"DomainName")) + u"/" + std::u16string(node->getText(u"guid")));

        std::vector<PropertySet*> nodes = storedNodes();
        ASSERT_EQ(nodes.size(), 1u) << form;
        EXPECT_EQ(nodes[0]->getText(u"RegEntry"), node->getText(u"RegEntry"));
        EXPECT_EQ(nodes[0]->getText(u"name"), node->getText(u"name"));
        EXPECT_EQ(nodes[0]->getText(u"NamingContext"), node->getText(u"distinguishedName"));
        EXPECT_FALSE(nodes[0]->has(u"FromRevivoProvider"));
    }
}

TEST_F(DialogTest, ConnectReportsAnUnreachableDomainWithRetryAndCancel) {
    int boxes = 0, dialogRounds = 0;
    std::u16string boxText;
    hook([&](const Surface& surface) -> INT_PTR {
        if (surface.kind == SurfaceKind::MessageBox) {
            EXPECT_EQ(surface.caption, u"Active Directory");
            EXPECT_EQ(surface.style & 0xF, static_cast<UINT>(MB_RETRYCANCEL));
            EXPECT_EQ(surface.style & 0xF0, static_cast<UINT>(MB_ICONSTOP));
            boxText = surface.text;
            return ++boxes == 1 ? IDRETRY : IDCANCEL;
        }
        ++dialogRounds;
        SetDlgItemTextW(surface.window, IDC_CONNECT_DOMAIN, u"nowhere-zz9.invalid");
        press(surface.window, IDOK);
        return 0;
    });
    PropertySet* node = nullptr;
    HRESULT result = m_provider->ConnectToDomain(nullptr, &node);
    EXPECT_TRUE(FAILED(result));
    EXPECT_EQ(node, nullptr);
    EXPECT_EQ(boxes, 2);
    EXPECT_EQ(dialogRounds, 2) << "Retry keeps the dialog open";
    EXPECT_FALSE(boxText.empty());
    EXPECT_TRUE(storedNodes().empty());

    // Cancel in the dialog itself adds nothing and says S_FALSE.
    hook([&](const Surface& surface) -> INT_PTR {
        press(surface.window, IDCANCEL);
        return 0;
    });
    EXPECT_EQ(m_provider->ConnectToDomain(nullptr, &node), S_FALSE);
}

// A domain that binds but cannot be stored (the user's registry is read-only) is reported
// with the registry's text and not handed out: it would vanish at the next start unsaid.
TEST_F(DialogTest, ConnectReportsANodeThatCannotBeStored) {
    const char* hive = std::getenv("LUMIVEL_USER_HIVE");
    ASSERT_NE(hive, nullptr);
    std::vector<std::u16string> boxes;
    hook([&](const Surface& surface) -> INT_PTR {
        if (surface.kind == SurfaceKind::MessageBox) {
            EXPECT_EQ(surface.caption, u"Active Directory");
            EXPECT_EQ(surface.style & 0xF0, static_cast<UINT>(MB_ICONSTOP));
            boxes.push_back(surface.text);
            return IDOK;
        }
        SetDlgItemTextW(surface.window, IDC_CONNECT_DOMAIN, WidenText(lumivel::testing::TestDirectory().domain).c_str());
        press(surface.window, IDOK);
        return 0;
    });
    struct stat before {};
    ASSERT_EQ(stat(hive, &before), 0);
    ASSERT_EQ(chmod(hive, 0444), 0);
    VARIANT result;
    VariantInit(&result);
    HRESULT status = m_commands->ExecuteCommand(nullptr, 1, ID_CONNECT_TO, nullptr, &result);
    chmod(hive, before.st_mode & 07777);
    EXPECT_EQ(status, S_OK);
    EXPECT_EQ(result.vt, VT_EMPTY) << "no node for the console to show";
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(boxes[0].empty());
    EXPECT_TRUE(storedNodes().empty());
}

TEST_F(DialogTest, StoredNodesBindByGuidServerlessOrAreSkipped) {
    // A node connected once gives the GUID to store by hand in the other forms.
    hook([&](const Surface& surface) -> INT_PTR {
        SetDlgItemTextW(surface.window, IDC_CONNECT_DOMAIN, WidenText(lumivel::testing::TestDirectory().domain).c_str());
        press(surface.window, IDOK);
        return 0;
    });
    PropertySet* node = nullptr;
    ASSERT_EQ(m_provider->ConnectToDomain(nullptr, &node), S_OK);
    keep(node);
    std::u16string guid(node->getText(u"guid"));
    clearStore();
    lumivel::RegistryKey store;
    ASSERT_EQ(store.create(HKEY_CURRENT_USER, kStoreKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    store.writeString(guid.c_str(), u"Serverless node", lumivel::RegistryKey::StoreNull::No);
    store.writeString((u"nowhere-zz9.invalid/" + guid).c_str(), u"Unreachable node");
    store.writeString(u"lumivel.test/00000000000000000000000000000000", u"Unknown object");
    std::vector<PropertySet*> nodes = storedNodes();
    ASSERT_EQ(nodes.size(), 1u);
    EXPECT_EQ(nodes[0]->getText(u"name"), u"Serverless node");
    EXPECT_EQ(nodes[0]->getText(u"RegEntry"), guid);

    // Removal deletes the value; a second removal reports failure.
    EXPECT_EQ(m_provider->RemoveStoredNode(nodes[0]), 0);
    EXPECT_FALSE(store.readString(guid.c_str()).has_value());
    EXPECT_EQ(m_provider->RemoveStoredNode(nodes[0]), 1);
}

TEST_F(DialogTest, DomainControllerDialogListsControllersAndPreselectsTheFocusedOne) {
    const lumivel::testing::Directory& directory = lumivel::testing::TestDirectory();
    PropertySet* node = keep(PropertySet::create());
    node->IsNode = 1;
    node->setText(u"name", WidenText(directory.domain));
    std::u16string shouted = WidenText(directory.server);
    for (auto& c : shouted) c = (c >= u'a' && c <= u'z') ? c - 32 : c;
    node->setText(u"FocusedDC", shouted);
    node->setInt(u"FromRevivoProvider", 1);

    bool checked = false;
    hook([&](const Surface& surface) -> INT_PTR {
        EXPECT_EQ(surface.resourceId, IDD_CONNECT_DC);
        HWND dialog = surface.window;
        HWND list = GetDlgItem(dialog, IDC_DC_LIST);
        WCHAR domain[300] = {};
        GetDlgItemTextW(dialog, IDC_DC_DOMAIN, domain, ARRAYSIZE(domain));
        EXPECT_EQ(std::u16string(domain), WidenText(directory.domain));
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_BROWSE)));
        WCHAR current[300] = {};
        GetDlgItemTextW(dialog, IDC_DC_CURRENT, current, ARRAYSIZE(current));
        EXPECT_EQ(std::u16string(current), shouted);
        int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        EXPECT_GE(count, 1);
        int selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        EXPECT_GE(selected, 0) << "the focused DC is preselected whatever its case";
        if (selected >= 0) {
            EXPECT_TRUE(lumivel::EqualsNoCase(itemText(list, selected, 0), WidenText(directory.server)));
            EXPECT_FALSE(itemText(list, selected, 1).empty()) << "the controller's site";
        }
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDOK)));
        checked = true;
        press(dialog, IDOK);
        return 0;
    });
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(node, &selection);
    ASSERT_EQ(m_commands->ExecuteCommand(nullptr, 1, ID_CONNECT_DC, &selection, &result), S_OK);
    EXPECT_TRUE(checked);
    std::vector<PropertySet*> answer = lumivel::shared::ReadObjectList(&result);
    VariantClear(&result);
    ASSERT_EQ(answer.size(), 1u);
    keep(answer[0]);
    EXPECT_EQ(answer[0]->getText(u"RefreshReason"), u"ChangeFocusedDC");
    EXPECT_TRUE(lumivel::EqualsNoCase(answer[0]->getText(u"FocusedDC"), WidenText(directory.server)));
    EXPECT_EQ(node->getText(u"FocusedDC"), answer[0]->getText(u"FocusedDC"));
}

// Before every command a lone record learns its domain controller, and its path loses the
// server so that stored paths stay serverless.
TEST_F(DialogTest, CommandsFillInTheFocusedControllerAndKeepPathsServerless) {
    const lumivel::testing::Directory& directory = lumivel::testing::TestDirectory();
    struct Row {
        std::string path;
        std::string expectedPath;
    } rows[] = {
        {"LDAP://" + directory.server + "/" + directory.baseDn, "LDAP://" + directory.baseDn},
        {"LDAP://" + directory.baseDn, "LDAP://" + directory.baseDn},
        {"LDAP://nowhere-zz9.invalid/" + directory.baseDn, "LDAP://nowhere-zz9.invalid/" + directory.baseDn},
    };
    hook([&](const Surface& surface) -> INT_PTR {
        press(surface.window, IDCANCEL);
        return 0;
    });
    for (const Row& row : rows) {
        PropertySet* record = keep(PropertySet::create());
        record->setText(u"path", WidenText(row.path));
        VARIANT selection, result;
        VariantInit(&selection);
        VariantInit(&result);
        lumivel::shared::RecordToVariant(record, &selection);
        EXPECT_EQ(m_commands->ExecuteCommand(nullptr, 1, ID_CONNECT_DC, &selection, &result), S_OK);
        EXPECT_EQ(result.vt, VT_EMPTY) << "a cancelled choice reports nothing";
        ASSERT_TRUE(record->has(u"FocusedDC"));
        bool reachable = row.path.find("nowhere") == std::string::npos;
        if (reachable) {
            EXPECT_TRUE(lumivel::EqualsNoCase(record->getText(u"FocusedDC"), WidenText(directory.server))) << row.path;
        } else {
            EXPECT_TRUE(record->getText(u"FocusedDC").empty());
        }
        EXPECT_TRUE(lumivel::EqualsNoCase(record->getText(u"path"), WidenText(row.expectedPath))) << row.path;
    }
}

TEST_F(DialogTest, TakenNameAsksForAnotherAndRefusesAnEmptyOne) {
    const std::string suffix = lumivel::testing::UniqueSuffix();
    const std::string root = "OU=RevivoTest " + suffix + "," + lumivel::testing::TestDirectory().baseDn;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(root));
    const std::string name = "Taken " + suffix;
    const std::string dn = "CN=" + name + "," + root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));  // someone took the name since

    VARIANT objects;
    VariantInit(&objects);
    ASSERT_EQ(m_revivo->EnumDeletedObjects(0, nullptr, &objects), S_OK);
    std::vector<PropertySet*> listing = lumivel::shared::ReadObjectList(&objects);
    VariantClear(&objects);
    m_owned.insert(m_owned.end(), listing.begin(), listing.end());
    PropertySet* tombstone = lumivel::testing::TombstoneNamed(listing, name);
    ASSERT_NE(tombstone, nullptr);

    const std::string newName = "Smith, John " + suffix;
    std::vector<std::u16string> messages;
    hook([&](const Surface& surface) -> INT_PTR {
        if (surface.kind == SurfaceKind::MessageBox) {
            messages.push_back(surface.caption + u": " + surface.text);
            return IDOK;
        }
        EXPECT_EQ(surface.resourceId, IDD_NEW_NAME);
        if (surface.round == 0) {
            WCHAR shown[300] = {};
            GetDlgItemTextW(surface.window, IDC_NEW_NAME, shown, ARRAYSIZE(shown));
            EXPECT_EQ(NarrowText(shown), name);
            SetDlgItemTextW(surface.window, IDC_NEW_NAME, u"");
        } else {
            SetDlgItemTextW(surface.window, IDC_NEW_NAME, WidenText(newName).c_str());
        }
        press(surface.window, IDOK);
        return 0;
    });
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(tombstone, &selection);
    EXPECT_EQ(m_commands->ExecuteCommand(nullptr, 1, ID_RESTORE, &selection, &result), S_OK);
    std::vector<PropertySet*> answer = lumivel::shared::ReadObjectList(&result);
    VariantClear(&result);
    if (!answer.empty()) keep(answer[0]);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0], u"Error: Please enter a valid name.");
    EXPECT_EQ(messages[1], u"Success: The object was successfully restored.");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + lumivel::testing::EscapeRdnValue(newName) + "," + root));
    EXPECT_TRUE(lumivel::testing::LdapExists(dn));
    lumivel::testing::LdapDeleteTree(root);
}

TEST_F(DialogTest, ConnectBrowseFillsTheDomainFromTheDomainTree) {
    std::u16string listed, shownAfterBrowse;
    bool okEnabledAfterBrowse = false;
    int browserRounds = 0;
    hook([&](const Surface& surface) -> INT_PTR {
        if (surface.kind == SurfaceKind::MessageBox) return IDCANCEL;
        if (surface.resourceId == kBrowserDialog) {
            ++browserRounds;
            if (!chooseFirstDomain(surface, &listed)) press(surface.window, IDCANCEL);
            return 0;
        }
        EXPECT_EQ(surface.resourceId, IDD_CONNECT_TO);
        if (surface.round == 0) {
            postClick(surface.window, IDC_BROWSE);
            return 0;
        }
        shownAfterBrowse = dialogText(surface.window, IDC_CONNECT_DOMAIN);
        okEnabledAfterBrowse = IsWindowEnabled(GetDlgItem(surface.window, IDOK));
        press(surface.window, IDOK);
        return 0;
    });
    PropertySet* node = nullptr;
    ASSERT_EQ(m_provider->ConnectToDomain(nullptr, &node), S_OK);
    keep(node);
    EXPECT_EQ(browserRounds, 1);
    ASSERT_FALSE(listed.empty());
    EXPECT_TRUE(lumivel::EqualsNoCase(listed, WidenText(lumivel::testing::TestDirectory().domain)));
    EXPECT_EQ(shownAfterBrowse, listed);
    EXPECT_TRUE(okEnabledAfterBrowse);
    ASSERT_NE(node, nullptr);
    EXPECT_TRUE(lumivel::EqualsNoCase(node->getText(u"name"), listed));
}

// Command 309 hands a new node back as one record; a cancelled or failed connection is no
// failure of the command and adds nothing.
TEST_F(DialogTest, ConnectCommandAnswersWithTheNewNodeOnly) {
    const std::u16string domain = WidenText(lumivel::testing::TestDirectory().domain);
    struct Row {
        const char* what;
        const char16_t* typed;  // null: Cancel
        bool added;
    } rows[] = {{"the test domain", domain.c_str(), true},
                {"cancelled", nullptr, false},
                {"an unreachable domain", u"nowhere-zz9.invalid", false}};
    for (const Row& row : rows) {
        clearStore();
        hook([&](const Surface& surface) -> INT_PTR {
            if (surface.kind == SurfaceKind::MessageBox) return IDCANCEL;
            if (!row.typed) {
                press(surface.window, IDCANCEL);
                return 0;
            }
            SetDlgItemTextW(surface.window, IDC_CONNECT_DOMAIN, row.typed);
            press(surface.window, IDOK);
            return 0;
        });
        VARIANT result;
        VariantInit(&result);
        EXPECT_EQ(m_commands->ExecuteCommand(nullptr, 1, ID_CONNECT_TO, nullptr, &result), S_OK) << row.what;
        if (row.added) {
            ASSERT_EQ(result.vt, VT_I8) << row.what;
            PropertySet* node = keep(lumivel::shared::RecordFromVariant(&result));
            ASSERT_NE(node, nullptr);
            EXPECT_EQ(node->getRaw(u"FromRevivoProvider"), 1);
            EXPECT_EQ(storedNodes().size(), 1u);
        } else {
            EXPECT_EQ(result.vt, VT_EMPTY) << row.what;
            EXPECT_TRUE(storedNodes().empty()) << row.what;
        }
    }
}

// A node without a name takes its domain from the focused DC's name and may browse; a chosen
// domain refills the list.
TEST_F(DialogTest, DomainControllerBrowseRefillsTheListForTheChosenDomain) {
    const lumivel::testing::Directory& directory = lumivel::testing::TestDirectory();
    PropertySet* node = keep(PropertySet::create());
    node->IsNode = 1;
    node->setText(u"FocusedDC", WidenText(directory.server));
    std::u16string domainBefore, domainAfter, listed;
    bool browseEnabled = false;
    int rowsAfter = -1;
    hook([&](const Surface& surface) -> INT_PTR {
        if (surface.resourceId == kBrowserDialog) {
            if (!chooseFirstDomain(surface, &listed)) press(surface.window, IDCANCEL);
            return 0;
        }
        HWND list = GetDlgItem(surface.window, IDC_DC_LIST);
        if (surface.round == 0) {
            domainBefore = dialogText(surface.window, IDC_DC_DOMAIN);
            browseEnabled = IsWindowEnabled(GetDlgItem(surface.window, IDC_BROWSE));
            SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
            SetDlgItemTextW(surface.window, IDC_DC_DOMAIN, u"");
            postClick(surface.window, IDC_BROWSE);
            return 0;
        }
        domainAfter = dialogText(surface.window, IDC_DC_DOMAIN);
        rowsAfter = lumivel::ui::ListViewItemCount(list);
        press(surface.window, IDCANCEL);
        return 0;
    });
    std::u16string chosen;
    EXPECT_FALSE(m_provider->ChooseDomainController(nullptr, node, &chosen));
    EXPECT_TRUE(lumivel::EqualsNoCase(domainBefore, WidenText(directory.domain)));
    EXPECT_TRUE(browseEnabled);
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(domainAfter, listed);
    EXPECT_GE(rowsAfter, 1);
}

// Only a controller whose DNS name matches apart from case is preselected; OK without a row
// ends the dialog without a choice, and a controller that cannot be bound keeps it open.
TEST_F(DialogTest, DomainControllerDialogChoosesOnlyWhatBinds) {
    const lumivel::testing::Directory& directory = lumivel::testing::TestDirectory();
    PropertySet* node = keep(PropertySet::create());
    node->IsNode = 1;
    node->setText(u"name", WidenText(directory.domain));
    std::u16string shortName = WidenText(directory.server.substr(0, directory.server.find('.')));
    node->setText(u"FocusedDC", shortName);

    int selected = 0;
    bool okEnabled = true;
    hook([&](const Surface& surface) -> INT_PTR {
        HWND list = GetDlgItem(surface.window, IDC_DC_LIST);
        selected = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
        okEnabled = IsWindowEnabled(GetDlgItem(surface.window, IDOK));
        press(surface.window, IDOK);
        return 0;
    });
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(node, &selection);
    ASSERT_EQ(m_commands->ExecuteCommand(nullptr, 1, ID_CONNECT_DC, &selection, &result), S_OK);
    EXPECT_EQ(selected, -1) << "a short name is no match";
    EXPECT_FALSE(okEnabled);
    EXPECT_EQ(result.vt, VT_EMPTY);
    EXPECT_EQ(node->getText(u"FocusedDC"), shortName);

    // A listed controller that does not answer: the row is pointed at an unreachable host.
    DS_DOMAIN_CONTROLLER_INFO_1W unreachable{};
    unreachable.DnsHostName = const_cast<LPWSTR>(u"nowhere-zz9.invalid");
    std::vector<std::u16string> boxes;
    hook([&](const Surface& surface) -> INT_PTR {
        if (surface.kind == SurfaceKind::MessageBox) {
            boxes.push_back(surface.caption + u": " + surface.text);
            EXPECT_EQ(surface.style & 0xF0u, static_cast<UINT>(MB_ICONSTOP));
            return IDOK;
        }
        if (surface.round > 0) {
            press(surface.window, IDCANCEL);
            return 0;
        }
        HWND list = GetDlgItem(surface.window, IDC_DC_LIST);
        LVITEMW row{};
        row.mask = LVIF_PARAM;
        row.iItem = 0;
        row.lParam = reinterpret_cast<LPARAM>(&unreachable);
        SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&row));
        lumivel::ui::UserSetListSelection(list, {0}, 0);
        press(surface.window, IDOK);
        return 0;
    });
    std::u16string chosen;
    EXPECT_FALSE(m_provider->ChooseDomainController(nullptr, node, &chosen));
    EXPECT_EQ(boxes, std::vector<std::u16string>{u"Error: Error binding to specified domain controller"});
}

}  // namespace
