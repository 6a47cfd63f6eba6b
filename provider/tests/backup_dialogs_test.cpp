// "Perform Backup" and the "Restore" choice of a backup archive on the Qt backend, offscreen:
// what they show, what their buttons do, and a screenshot of each for a person to look at.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "../../platform/qtui/tests/qt_test_support.h"
#include "lumivel/ui_test_hook.h"
#include "provider/archive/archive_commands.h"
#include "provider/backup/backup_choice_dialog.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/backup_inf_file.h"
#include "provider/backup/backup_writer.h"
#include "provider/backup/perform_backup_dialog.h"
#include "provider/backup/text_hex.h"
#include "provider/common/resource_ids.h"
#include "tests/support/private_hives.h"
#include "lumivel/registry_key.h"
#include "shared/text_helpers.h"
#include "win/datetime.h"

using lumivel::shared::NarrowText;
using lumivel::shared::WidenText;

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::u16string itemText(HWND dialog, int id) {
    WCHAR text[512] = {};
    GetDlgItemTextW(dialog, id, text, 512);
    return text;
}

std::u16string cell(HWND list, int row, int column) {
    WCHAR text[MAX_PATH] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return text;
}

class BackupDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::UseQtBackend();
        m_record = PropertySet::create();
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        m_record->release();
    }
    PropertySet* m_record = nullptr;
};

TEST_F(BackupDialogs, PerformBackupShowsTheObjectAndScheduleLeavesItOpen) {
    const std::u16string dn = u"OU=B\u00fcro \"Nord\", Ost,OU=Lumivel Corp,DC=lumivel,DC=test";
    m_record->setText(u"distinguishedName", dn);
    revivo::PerformBackupInput input{{}, u"dc1.lumivel.test", m_record, {m_record}};
    std::vector<int> rounds;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        rounds.push_back(surface.round);
        EXPECT_EQ(surface.resourceId, IDD_PERFORM_BACKUP);
        EXPECT_EQ(surface.caption, u"Perform Backup");
        if (surface.round == 0) {
            EXPECT_EQ(itemText(surface.window, IDC_BACKUP_OBJECT), dn);
            EXPECT_TRUE(GetWindowLongW(GetDlgItem(surface.window, IDC_BACKUP_OBJECT), GWL_STYLE) & ES_READONLY);
            EXPECT_EQ(itemText(surface.window, IDC_SCHEDULE), u"&Schedule");
            qttest::Settle();
            EXPECT_TRUE(lumivel::ui::RenderWindowToPng(surface.window, qttest::ScreenshotPath("perform-backup.png")));
            SendMessageW(surface.window, WM_COMMAND, IDC_SCHEDULE, 0);
        } else {
            SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
        }
        return 0;
    });
    EXPECT_EQ(revivo::ShowPerformBackupDialog(nullptr, input), 0);
    EXPECT_EQ(rounds, (std::vector<int>{0, 1})) << "Schedule keeps the dialog open";
    EXPECT_FALSE(m_record->has(revivo::kBackupArchiveKey));

    // Closing the window is a Cancel too.
    lumivel::ui::SetTestHook([](const lumivel::ui::Surface& surface) -> INT_PTR {
        SendMessageW(surface.window, WM_CLOSE, 0, 0);
        return 0;
    });
    EXPECT_EQ(revivo::ShowPerformBackupDialog(nullptr, input), 0);
}

TEST_F(BackupDialogs, RestoreListsTheArchivesThatHoldTheObjectNewestFirst) {
    std::string folder = std::filesystem::temp_directory_path() / ("revivo-choice-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder + "/work");
    lumivel::RegistryKey policy;
    ASSERT_EQ(policy.create(HKEY_CURRENT_USER, revivo::kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
    ASSERT_EQ(policy.writeString(revivo::kFileLocationValue, WidenText(folder)), ERROR_SUCCESS);
    const std::u16string guid = u"6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f";
    const std::u16string section = u"5e4a1f6c1c1b574c9d2e0a1b2c3d4e5f";
    auto archive = [&](const std::string& name, int day, const std::u16string& holds) {
        std::u16string inf = WidenText(folder + "/work/" + name + ".inf");
        revivo::BackupInfFile file;
        ASSERT_TRUE(file.Create(inf));
        SYSTEMTIME when{};
        when.wYear = 2026, when.wMonth = 3, when.wDay = static_cast<WORD>(day), when.wHour = 9;
        file.WriteHeader(when, u"OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test");
        file.BeginSection(holds);
        file.WriteLines(u"path=8\t\"" + revivo::EncodeTextHex(u"OU=Staff,DC=lumivel,DC=test") + u"\"\r\n");
        ASSERT_TRUE(file.Close());
        std::string zip = folder + "/" + name + ".zip";
        ASSERT_EQ(revivo::PackFile(WidenText(zip).c_str(), inf.c_str()), 0);
        // Written when it says it was: an archive whose time is far from its file's is not believed.
        FILETIME written{};
        ASSERT_TRUE(SystemTimeToFileTime(&when, &written));
        const time_t seconds = time_t((uint64_t(written.dwHighDateTime) << 32 | written.dwLowDateTime) / 10000000ull -
                                      11644473600ull);
        timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, zip.c_str(), times, 0), 0);
    };
    archive("{11111111-0000-0000-0000-000000000001}", 2, section);
    archive("{22222222-0000-0000-0000-000000000002}", 9, section);
    archive("{33333333-0000-0000-0000-000000000003}", 20, u"00000000000000000000000000000000");
    m_record->setText(u"distinguishedName", u"CN=Ann\\0ADEL:" + guid + u",CN=Deleted Objects,DC=lumivel,DC=test");
    m_record->setText(u"FocusedDC", u"dc1.lumivel.test");

    std::vector<std::vector<std::u16string>> rows;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        EXPECT_EQ(surface.resourceId, IDD_CHOOSE_BACKUP);
        EXPECT_EQ(surface.caption, u"Restore");
        HWND list = GetDlgItem(surface.window, IDC_BACKUP_LIST);
        int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < count; ++row)
            rows.push_back({cell(list, row, 0), cell(list, row, 1), cell(list, row, 2), cell(list, row, 3)});
        EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 0) << "the newest is chosen";
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(surface.window, IDOK)));
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(surface.window, qttest::ScreenshotPath("restore-choose-backup.png")));
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        return 0;
    });
    ASSERT_TRUE(revivo::ChooseBackupArchive(nullptr, m_record));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"{22222222-0000-0000-0000-000000000002}.zip", u"2026-03-09 09:00:00",
                                                   u"OU=Staff,OU=Lumivel Corp,DC=lumivel,DC=test", u"Trusted"}));
    EXPECT_EQ(rows[1][0], u"{11111111-0000-0000-0000-000000000001}.zip");
    EXPECT_EQ(NarrowText(m_record->getText(revivo::kRestoreFromFileKey)),
              folder + "/{22222222-0000-0000-0000-000000000002}.zip");
    EXPECT_FALSE(m_record->has(kTrustArchiveKey));

    // In a folder every user may write, each row says why it is not believed, and choosing one
    // asks first: No keeps the dialog open, Yes takes it as trusted by the administrator.
    ::chmod(folder.c_str(), 0777);
    std::vector<std::u16string> asked;
    rows.clear();
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        if (surface.kind == lumivel::ui::SurfaceKind::MessageBox) {
            asked.push_back(surface.text);
            return asked.size() == 1 ? IDNO : IDYES;
        }
        HWND list = GetDlgItem(surface.window, IDC_BACKUP_LIST);
        rows.push_back({cell(list, 0, 3)});
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        return 0;
    });
    m_record->removeValue(revivo::kRestoreFromFileKey);
    ASSERT_TRUE(revivo::ChooseBackupArchive(nullptr, m_record));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0][0].find(u"may be written by every user"), std::u16string::npos);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_NE(asked[0].find(u"is not to be believed"), std::u16string::npos);
    EXPECT_EQ(m_record->getText(kTrustArchiveKey), m_record->getText(revivo::kRestoreFromFileKey));
    ::chmod(folder.c_str(), 0755);
    m_record->removeValue(kTrustArchiveKey);

    // Cancel leaves the record without an archive.
    m_record->removeValue(revivo::kRestoreFromFileKey);
    lumivel::ui::SetTestHook([](const lumivel::ui::Surface& surface) -> INT_PTR {
        SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    });
    EXPECT_FALSE(revivo::ChooseBackupArchive(nullptr, m_record));
    EXPECT_FALSE(m_record->has(revivo::kRestoreFromFileKey));

    // An object no archive holds, or a name that is no tombstone, asks nothing.
    int shown = 0;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        ++shown;
        SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
        return 0;
    });
    m_record->setText(u"distinguishedName", u"CN=Bob\\0ADEL:00000000-1111-2222-3333-444444444444,CN=Deleted Objects,DC=x");
    EXPECT_FALSE(revivo::ChooseBackupArchive(nullptr, m_record));
    m_record->setText(u"distinguishedName", u"CN=Bob,OU=Staff,DC=x");
    EXPECT_FALSE(revivo::ChooseBackupArchive(nullptr, m_record));
    EXPECT_EQ(shown, 0);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

}  // namespace
