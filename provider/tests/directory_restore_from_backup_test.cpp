// A deleted parent that is gone from Deleted Objects comes back from a backup: the archive is
// chosen in the "Restore" dialog, the parent is created empty under its old name, the child
// lands in it, and a sibling restored afterwards finds it there.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/ui_test_hook.h"
#include "provider/backup/backup_choice_dialog.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/backup_writer.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "provider/tests/backup_fixture.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "provider/tests/tombstone_records.h"
#include "tests/support/dialog_waits.h"
#include "tests/support/directory_fixture.h"
#include "tests/support/private_hives.h"
#include "win/commctrl.h"

using lumivel::ComPtr;
using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;
using revivo::Revivo;
using lumivel::testing::EscapeRdnValue;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

class RestoreFromBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (lumivel::testing::TestDirectory().server.empty()) GTEST_SKIP() << "not inside testdc exec";
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ASSERT_EQ(Revivo::CreateInstance(nullptr, IID_IRevivo, m_revivo.putVoid()), S_OK);
        ASSERT_EQ(m_revivo.queryInterface(IID_IProviderCommands, &m_commands), S_OK);
        m_suffix = lumivel::testing::UniqueSuffix();
        m_base = lumivel::testing::TestDirectory().baseDn;
        m_root = "OU=RevivoRecover " + m_suffix + "," + m_base;
        ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(m_root));
        m_folder = "/tmp/revivo-recover-" + m_suffix;
        std::filesystem::create_directories(m_folder);
        lumivel::RegistryKey policy;
        ASSERT_EQ(policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        ASSERT_EQ(policy.writeString(revivo::kFileLocationValue, WidenText(m_folder)), ERROR_SUCCESS);
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        if (!m_root.empty()) lumivel::testing::LdapDeleteTree(m_root);
        std::error_code ignored;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
        for (PropertySet* record : m_owned) record->release();
        m_commands.reset();
        m_revivo.reset();
        CoUninitialize();
    }

    // Command 310 on one object with OK pressed; the archive's path.
    std::string backUp(const std::string& dn) {
        PropertySet* record = PropertySet::create();
        m_owned.push_back(record);
        record->setText(u"path", WidenText(dn));
        record->setText(u"distinguishedName", WidenText(dn));
        record->setText(u"FocusedDC", WidenText(lumivel::testing::TestDirectory().server));
        lumivel::ui::SetTestHook([](const lumivel::ui::Surface& surface) -> INT_PTR {
            if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) return IDOK;
            SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
            return 0;
        });
        VARIANT list, result;
        VariantInit(&list);
        VariantInit(&result);
        lumivel::shared::BuildObjectList({record}, &list);
        m_commands->ExecuteCommand(nullptr, 1, ID_GENERATE_BACKUP, &list, &result);
        VariantClear(&list);
        lumivel::ui::SetTestHook({});
        return NarrowText(record->getText(revivo::kBackupArchiveKey));
    }

    // Removes the tombstone for good, as the end of its lifetime would.
    void purge(const std::string& filter) {
        std::vector<std::string> tombstones = lumivel::testing::TombstoneDns(m_base, filter);
        ASSERT_EQ(tombstones.size(), 1u) << filter;
        ASSERT_TRUE(lumivel::testing::PurgeTombstone(tombstones[0]));
        ASSERT_TRUE(lumivel::testing::TombstoneDns(m_base, filter).empty());
    }

    void listAll() {
        m_listing = lumivel::testing::ListAllTombstones(m_revivo.get());
        m_owned.insert(m_owned.end(), m_listing.begin(), m_listing.end());
    }
    PropertySet* tombstoneOf(const std::string& name) { return lumivel::testing::TombstoneNamed(m_listing, name); }

    struct Seen {
        std::vector<std::u16string> rows;  // the archives dialog 204 offered
        std::vector<std::pair<std::u16string, std::u16string>> boxes;
        int dialogs = 0;
    };
    // Command 311 with dialog 204 answered: the row of the archive named, or Cancel.
    HRESULT restore(PropertySet* record, const std::string& choose, Seen* seen) {
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) {
                seen->boxes.emplace_back(surface.caption, surface.text);
                return IDOK;
            }
            ++seen->dialogs;
            if (surface.resourceId != IDD_CHOOSE_BACKUP || choose.empty()) {
                SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
                return 0;
            }
            HWND list = GetDlgItem(surface.window, IDC_BACKUP_LIST);
            int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
            int chosen = -1;
            for (int row = 0; row < rows; ++row) {
                WCHAR text[MAX_PATH] = {};
                LVITEMW item{};
                item.pszText = text;
                item.cchTextMax = MAX_PATH;
                SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
                seen->rows.push_back(text);
                if (NarrowText(text) == std::filesystem::path(choose).filename().string()) chosen = row;
            }
            LVITEMW state{};
            state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
            state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(list, LVM_SETITEMSTATE, chosen, reinterpret_cast<LPARAM>(&state));
            SendMessageW(surface.window, WM_COMMAND, chosen >= 0 ? IDOK : IDCANCEL, 0);
            return 0;
        });
        VARIANT selection, result;
        VariantInit(&selection);
        VariantInit(&result);
        lumivel::shared::RecordToVariant(record, &selection);
        HRESULT status = m_commands->ExecuteCommand(nullptr, 1, ID_RESTORE, &selection, &result);
        std::vector<PropertySet*> answer = lumivel::shared::ReadObjectList(&result);
        if (!answer.empty() && answer[0]) answer[0]->release();
        VariantClear(&result);
        lumivel::ui::SetTestHook({});
        return status;
    }

    ComPtr<IRevivo> m_revivo;
    ComPtr<IProviderCommands> m_commands;
    std::string m_suffix, m_base, m_root, m_folder;
    std::vector<PropertySet*> m_listing, m_owned;
};

TEST_F(RestoreFromBackupTest, PurgedParentIsRecreatedFromTheChosenBackupAndSiblingsFollow) {
    // A name that needs escaping and one character outside the BMP, to survive the round trip.
    std::string deptName = "#Dept/\"x\", back\\slash Z\xc3\xbcrich \xf0\xa0\xae\xb7 " + m_suffix;
    std::string dept = "OU=" + EscapeRdnValue(deptName) + "," + m_root;
    std::string first = "First " + m_suffix, second = "Second " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + first + "," + dept, first));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + second + "," + dept, second));
    std::string older = backUp(dept);
    std::string archive = backUp(dept);
    ASSERT_FALSE(older.empty());
    ASSERT_FALSE(archive.empty());
    // A backup of something else is not offered.
    ASSERT_FALSE(backUp(m_root).empty());
    std::filesystem::remove(older);

    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + first + "," + dept));
    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + second + "," + dept));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    purge("(ou=*" + m_suffix + "*)");
    listAll();
    PropertySet* firstTombstone = tombstoneOf(first);
    PropertySet* secondTombstone = tombstoneOf(second);
    ASSERT_TRUE(firstTombstone && secondTombstone);

    Seen seen;
    ASSERT_EQ(restore(firstTombstone, archive, &seen), S_OK);
    EXPECT_EQ(seen.dialogs, 1);
    EXPECT_EQ(seen.rows.size(), 2u) << "the subtree's backup holds the object too";
    EXPECT_EQ(NarrowText(firstTombstone->getText(revivo::kRestoreFromFileKey)), archive);
    ASSERT_EQ(seen.boxes.size(), 1u);
    EXPECT_EQ(seen.boxes[0].second, u"The object was successfully restored.");
    EXPECT_TRUE(lumivel::testing::LdapExists(dept));
    EXPECT_EQ(lumivel::testing::ObjectClasses(dept).back(), "organizationalUnit");
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + first + "," + dept));
    EXPECT_FALSE(lumivel::testing::LdapExists("CN=" + second + "," + dept)) << "the unit came back empty";

    // The second child finds its parent there already.
    Seen again;
    ASSERT_EQ(restore(secondTombstone, archive, &again), S_OK);
    EXPECT_EQ(again.dialogs, 1);
    EXPECT_TRUE(lumivel::testing::LdapExists("CN=" + second + "," + dept));
}

TEST_F(RestoreFromBackupTest, WithoutAnArchiveThatHoldsTheObjectTheParentCannotBeCreated) {
    std::string dept = "OU=Gone " + m_suffix + "," + m_root;
    std::string child = "Kid " + m_suffix;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddUser("CN=" + child + "," + dept, child));
    std::string archive = backUp(dept);
    ASSERT_FALSE(archive.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete("CN=" + child + "," + dept));
    ASSERT_TRUE(lumivel::testing::LdapDelete(dept));
    purge("(ou=Gone " + m_suffix + "*)");
    listAll();
    PropertySet* tombstone = tombstoneOf(child);
    ASSERT_NE(tombstone, nullptr);
    const std::u16string kMessage = u"Could not create the container for this object.";

    // Cancelled: the Part's message, and the child stays deleted.
    Seen cancelled;
    EXPECT_EQ(restore(tombstone, "", &cancelled), S_FALSE);
    EXPECT_EQ(cancelled.dialogs, 1);
    ASSERT_FALSE(cancelled.boxes.empty());
    EXPECT_EQ(cancelled.boxes[0].second, kMessage);

    // Renamed, the archive no longer holds a backup file of its own name: not offered, and
    // named explicitly it is not read either.
    std::string renamed = m_folder + "/renamed.zip";
    std::filesystem::rename(archive, renamed);
    Seen none;
    EXPECT_EQ(restore(tombstone, renamed, &none), S_FALSE);
    EXPECT_EQ(none.dialogs, 0) << "no archive holds the object";
    ASSERT_FALSE(none.boxes.empty());
    EXPECT_EQ(none.boxes[0].second, kMessage);
    tombstone->setText(revivo::kRestoreFromFileKey, WidenText(renamed));
    Seen named;
    EXPECT_EQ(restore(tombstone, renamed, &named), S_FALSE);
    EXPECT_EQ(named.dialogs, 0);
    EXPECT_EQ(named.boxes[0].second, kMessage);
    EXPECT_FALSE(lumivel::testing::LdapExists(dept));
    EXPECT_EQ(lumivel::testing::TombstoneDns(m_base, "(cn=" + child + "*)").size(), 1u);
}

// "Restore Plan" with the re-apply box checked: the object comes back as "&Restore" brings it
// back, then the newest archive that holds it writes back what the tombstone lost, and the
// administrator is told what was written.
TEST_F(RestoreFromBackupTest, RestorePlanReappliesTheNewestBackupWhenAsked) {
    std::string name = "Reapplied " + m_suffix, dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    ASSERT_TRUE(lumivel::testing::LdapModify("dn: " + dn + "\nchangetype: modify\nreplace: description\ndescription: kept in the backup\n"));
    std::string archive = backUp(dn);
    ASSERT_FALSE(archive.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    listAll();
    PropertySet* record = tombstoneOf(name);
    ASSERT_NE(record, nullptr);

    std::u16string archiveText;
    std::vector<std::pair<std::u16string, std::u16string>> boxes;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) {
            boxes.emplace_back(surface.caption, surface.text);
            return IDOK;
        }
        // The restore chosen in the plan runs under the progress dialog.
        if (surface.resourceId == IDD_RESTORE_PROGRESS) {
            EXPECT_TRUE(lumivel::testing::WaitWhileShown(surface.window));
            return 0;
        }
        EXPECT_EQ(surface.resourceId, IDD_RESTORE_PLAN);
        EXPECT_TRUE(lumivel::testing::WaitUntilEnabled(surface.window, IDC_PLAN_RESTORE));
        WCHAR text[1024] = {};
        GetDlgItemTextW(surface.window, IDC_PLAN_ARCHIVE, text, 1024);
        archiveText = text;
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(surface.window, IDC_PLAN_REAPPLY)));
        CheckDlgButton(surface.window, IDC_PLAN_REAPPLY, BST_CHECKED);
        SendMessageW(surface.window, WM_COMMAND, IDC_PLAN_RESTORE, 0);
        return 0;
    });
    std::vector<PropertySet*> restored;
    EXPECT_EQ(lumivel::testing::RestoreRecord(m_commands.get(), record, &restored, ID_RESTORE_PLAN_DIALOG), S_OK);
    lumivel::ui::SetTestHook({});
    EXPECT_EQ(restored, (std::vector<PropertySet*>{record}));

    std::string archiveName = std::filesystem::path(archive).filename().string();
    EXPECT_NE(NarrowText(archiveText).find(archiveName), std::string::npos) << NarrowText(archiveText);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].second, u"The object was successfully restored.");
    EXPECT_EQ(boxes[1].first, u"Re-apply Attributes");
    std::string report = NarrowText(boxes[1].second);
    EXPECT_NE(report.find("Re-applied from " + archiveName), std::string::npos) << report;
    size_t written = report.find("Written: ");
    ASSERT_NE(written, std::string::npos) << report;
    EXPECT_NE(report.substr(written, report.find('\n', written) - written).find("description"), std::string::npos) << report;
    std::vector<lumivel::testing::LdapEntry> entries = lumivel::testing::LdapSubtree(dn);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries[0].attributes["description"], (std::vector<std::string>{"kept in the backup"}));
}


// A membership put back by hand before the re-apply is already there, and a group deleted
// since is gone: each is said so, neither counts as refused, and the rest is joined.
TEST_F(RestoreFromBackupTest, MembershipsAlreadyThereOrGoneAreReportedAsSuch) {
    std::string groups = "OU=Groups " + m_suffix + "," + m_root;
    std::string name = "Member " + m_suffix, dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(groups));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    const std::string again = "CN=Again " + m_suffix + "," + groups, back = "CN=Back " + m_suffix + "," + groups,
                      gone = "CN=Gone " + m_suffix + "," + groups;
    int n = 0;
    for (const std::string& group : {again, back, gone})
        ASSERT_TRUE(lumivel::testing::LdapAdd(group, {"objectClass: group\n", "sAMAccountName: m" + std::to_string(++n) + m_suffix + "\n",
                                                      "member: " + dn + "\n"}));
    std::string archive = backUp(dn);
    ASSERT_FALSE(archive.empty());
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));
    ASSERT_TRUE(lumivel::testing::LdapDelete(gone));
    listAll();
    PropertySet* record = tombstoneOf(name);
    ASSERT_NE(record, nullptr);
    Seen seen;
    ASSERT_EQ(restore(record, "", &seen), S_OK);
    ASSERT_TRUE(lumivel::testing::LdapModify("dn: " + back + "\nchangetype: modify\nadd: member\nmember: " + dn + "\n"));

    record->setText(kReapplyArchiveKey, WidenText(archive));
    VARIANT selection, result;
    VariantInit(&selection);
    VariantInit(&result);
    lumivel::shared::RecordToVariant(record, &selection);
    EXPECT_EQ(m_commands->ExecuteCommand(nullptr, 1, kCommandReapplyBackup, &selection, &result), S_OK)
        << "neither a membership already there nor a group that is gone is a refusal";
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::map<std::string, std::pair<std::string, std::string>> memberships;
    for (PropertySet* item : lumivel::shared::ReadObjectList(&result, lumivel::shared::ListForm::AnyArray)) {
        if (item && item->getRaw(kReapplyMembershipKey))
            memberships[lower(NarrowText(item->getText(u"name")))] = {
                NarrowText(item->getText(kReapplyOutcomeKey)), NarrowText(item->getText(kReapplyErrorKey))};
        if (item) item->release();
    }
    VariantClear(&result);
    auto outcomeOf = [&](const std::string& group) { return memberships[lower(group)]; };
    EXPECT_EQ(memberships.size(), 3u);
    EXPECT_EQ(outcomeOf(again).first, "Written") << outcomeOf(again).second;
    EXPECT_EQ(outcomeOf(back).first, "AlreadyMember") << outcomeOf(back).second;
    EXPECT_EQ(outcomeOf(gone), (std::pair<std::string, std::string>{"Gone", "the group is gone"}));
    for (const std::string& group : {again, back}) {
        std::vector<lumivel::testing::LdapEntry> entries = lumivel::testing::LdapSubtree(group);
        ASSERT_FALSE(entries.empty());
        EXPECT_EQ(entries[0].attributes["member"], std::vector<std::string>{dn}) << group;
    }
}

}  // namespace
