// Restores that lean on a backup, in the console on the test domain: the Restore Plan's second
// check box, which lists what grants access or runs code and alone lets it be written; and the
// archive chooser for an object with no last known parent, which says why an archive is not
// believed and asks before using it; the plan's restore below a deleted parent no longer listed,
// which asks its worker's question (which archive) over the progress dialog and counts the
// parent it recreates as a step; and the details pane of a tombstone with backups.
#include <sys/stat.h>

#include <QMainWindow>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "console_restore_fixture.h"
#include "lumivel/console_driver.h"
#include "lumivel/qt_ui.h"
#include "lumivel/registry_key.h"
#include "lumivel/text.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "win/richedit.h"
#include "shared/provider_dialog_ids.h"
#include "snapin_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/dialog_waits.h"
#include "tests/support/directory_fixture.h"
#include "win/threads.h"

namespace {

using lumivel::console::ConsoleDriver;
using namespace snapin_test;

constexpr const char16_t* kBackupPolicyKey = u"Software\\Policies\\Tarvo Software\\Tarvo Lumivel";

// The control's details text below its list.
std::u16string DetailsText(HWND list) {
    static WCHAR buffer[32768];
    buffer[0] = 0;
    GETTEXTEX options{};
    options.cb = sizeof(buffer);
    options.codepage = 1200;
    SendMessageW(GetDlgItem(GetParent(list), 102), EM_GETTEXTEX, reinterpret_cast<WPARAM>(&options),
                 reinterpret_cast<LPARAM>(buffer));
    return buffer;
}

std::u16string DialogText(HWND dialog, int id) {
    WCHAR text[4096] = {};
    GetDlgItemTextW(dialog, id, text, 4096);
    return text;
}

// The values of one attribute of a live object, read with ldapsearch.
std::vector<std::string> LiveValues(const std::string& dn, const std::string& attribute) {
    std::string out = lumivel::testing::ShellOutput(
        "ldapsearch -Q -Y GSSAPI -N -O minssf=56 -H ldap://" + lumivel::testing::TestDirectory().server +
        " -LLL -o ldif-wrap=no -b " + lumivel::testing::ShellQuote(dn) + " -s base '(objectClass=*)' " + attribute);
    std::vector<std::string> values;
    for (size_t start = 0, end; start < out.size(); start = end + 1) {
        end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        if (line.rfind(attribute + ": ", 0) == 0) values.push_back(line.substr(attribute.size() + 2));
    }
    return values;
}

class ConsoleBackupRestoreTest : public ConsoleRestoreFixture {
protected:
    ConsoleBackupRestoreTest() : ConsoleRestoreFixture("ConsoleBackup") {}

    // Backups go into a folder of the test's own, which the provider and `lumivel` both read.
    void SetUp() override {
        ConsoleRestoreFixture::SetUp();
        if (IsSkipped()) return;
        m_folder = "/tmp/revivo-console-backups-" + m_suffix;
        std::filesystem::create_directories(m_folder);
        lumivel::RegistryKey policy;
        ASSERT_EQ(policy.create(HKEY_CURRENT_USER, kBackupPolicyKey, KEY_ALL_ACCESS), ERROR_SUCCESS);
        ASSERT_EQ(policy.writeString(u"FileLocation", lumivel::FromUtf8(m_folder)), ERROR_SUCCESS);
    }
    void TearDown() override {
        lumivel::RegistryKey policy;
        if (policy.create(HKEY_CURRENT_USER, kBackupPolicyKey, KEY_ALL_ACCESS) == ERROR_SUCCESS)
            policy.deleteValue(u"FileLocation");
        std::error_code ignored;
        if (!m_folder.empty()) std::filesystem::remove_all(m_folder, ignored);
        ConsoleRestoreFixture::TearDown();
    }

    // `lumivel backup` of the DN; the archive's path.
    std::string backUp(const std::string& dn) {
        lumivel::testing::ShellOptions options;
        options.errors = lumivel::testing::ErrorStream::Apart;
        lumivel::testing::ChildResult made = lumivel::testing::RunShell(
            lumivel::testing::ShellQuote(BinDir() + "/lumivel") + " backup " +
                lumivel::testing::ShellQuote(lumivel::testing::TestDirectory().domain) + " " + lumivel::testing::ShellQuote(dn),
            options);
        EXPECT_EQ(made.exitCode, 0u) << made.errors;
        return made.output.empty() ? std::string() : made.output.substr(0, made.output.size() - 1);
    }

    // The menu item chosen, message boxes answered by onBox (their texts kept), dialogs by onDialog.
    void answer(const std::u16string& item, std::function<INT_PTR(const std::u16string&)> onBox,
                std::function<void(const lumivel::ui::Surface&)> onDialog) {
        m_boxes.clear();
        lumivel::ui::SetTestHook([=, this](const lumivel::ui::Surface& surface) -> INT_PTR {
            switch (surface.kind) {
            case lumivel::ui::SurfaceKind::PopupMenu: return INT_PTR(MenuItemId(surface.menu, item));
            case lumivel::ui::SurfaceKind::MessageBox: m_boxes.push_back(surface.text); return onBox(surface.text);
            default: onDialog(surface); return 0;
            }
        });
    }

    std::string m_folder;
    std::vector<std::u16string> m_boxes;
};

TEST_F(ConsoleBackupRestoreTest, ThePlansSecondBoxListsTheSensitiveWritesAndAloneLetsThemBeWritten) {
    // Two users alike: one restored without the second box ticked, one with it.
    std::string withheldName = "Withheld " + m_suffix, consentedName = "Consented " + m_suffix;
    std::string withheld = "CN=" + withheldName + "," + m_root, consented = "CN=" + consentedName + "," + m_root;
    int n = 0;
    for (const std::string* dn : {&withheld, &consented})
        ASSERT_TRUE(lumivel::testing::LdapAdd(*dn, {"objectClass: user\n", "sAMAccountName: w" + std::to_string(++n) + m_suffix + "\n",
                                                   "description: Back from the plan\n",
                                                   "scriptPath: logon.cmd\n"}));
    ASSERT_FALSE(backUp(m_root).empty());
    for (const std::string* dn : {&withheld, &consented}) ASSERT_TRUE(lumivel::testing::LdapDelete(*dn));

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());

    auto restoreThroughPlan = [&](const std::string& name, bool consent) {
        std::u16string sensitive;
        bool enabledBefore = true, enabledAfter = false;
        answer(u"Restore &Plan...", [](const std::u16string&) { return INT_PTR(IDOK); },
               [&](const lumivel::ui::Surface& surface) {
                   if (surface.resourceId == IDD_RESTORE_PROGRESS) return void(RunWhileShown(surface.window));
                   ASSERT_EQ(surface.resourceId, IDD_RESTORE_PLAN);
                   HWND dialog = surface.window;
                   ASSERT_TRUE(lumivel::testing::WaitUntilEnabled(dialog, IDC_PLAN_RESTORE));
                   sensitive = DialogText(dialog, IDC_PLAN_SENSITIVE);
                   enabledBefore = IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_REAPPLY_SENSITIVE));
                   CheckDlgButton(dialog, IDC_PLAN_REAPPLY, BST_CHECKED);
                   SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_PLAN_REAPPLY, BN_CLICKED), 0);
                   enabledAfter = IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_REAPPLY_SENSITIVE));
                   if (consent) CheckDlgButton(dialog, IDC_PLAN_REAPPLY_SENSITIVE, BST_CHECKED);
                   if (!consent) ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(dialog), "console_restore_plan_sensitive");
                   SendMessageW(dialog, WM_COMMAND, IDC_PLAN_RESTORE, 0);
               });
        rightClick(list, RowNamed(list, name));
        lumivel::ui::SetTestHook({});
        EXPECT_NE(lumivel::ToUtf8(sensitive).find("scriptPath"), std::string::npos) << lumivel::ToUtf8(sensitive);
        EXPECT_FALSE(enabledBefore) << "consent follows the choice to re-apply";
        EXPECT_TRUE(enabledAfter);
    };

    restoreThroughPlan(withheldName, false);
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[0], u"The object was successfully restored.");
    std::string report = lumivel::ToUtf8(m_boxes[1]);
    EXPECT_NE(report.find("Withheld (grants access or runs code"), std::string::npos) << report;
    EXPECT_NE(report.substr(report.find("Withheld")).find("scriptPath"), std::string::npos) << report;
    EXPECT_EQ(LiveValues(withheld, "description"), std::vector<std::string>{"Back from the plan"});
    EXPECT_TRUE(LiveValues(withheld, "scriptPath").empty());

    restoreThroughPlan(consentedName, true);
    ASSERT_EQ(m_boxes.size(), 2u);
    report = lumivel::ToUtf8(m_boxes[1]);
    EXPECT_EQ(report.find("Withheld"), std::string::npos) << report;
    EXPECT_EQ(LiveValues(consented, "description"), std::vector<std::string>{"Back from the plan"});
    EXPECT_EQ(LiveValues(consented, "scriptPath"), std::vector<std::string>{"logon.cmd"});
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 2);
}

TEST_F(ConsoleBackupRestoreTest, TheChooserSaysWhyAnArchiveIsNotBelievedAndAsksBeforeUsingIt) {
    // A user two units down, backed up twice; the units' tombstones purged as Samba leaves
    // them, so that the user has no last known parent at all.
    std::string dept = "OU=Dept " + m_suffix + "," + m_root, team = "OU=Team " + m_suffix + "," + dept;
    std::string name = "Orphan " + m_suffix, dn = "CN=" + name + "," + team;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    std::string trusted = backUp(dept), planted = backUp(dept);
    ASSERT_FALSE(trusted.empty());
    ASSERT_FALSE(planted.empty());
    ASSERT_EQ(chmod(planted.c_str(), 0666), 0);
    for (const std::string* gone : {&dn, &team, &dept}) ASSERT_TRUE(lumivel::testing::LdapDelete(*gone));
    for (const char* filter : {"(ou=Team ", "(ou=Dept "}) {
        std::vector<std::string> units =
            lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, filter + m_suffix + "*)");
        ASSERT_EQ(units.size(), 1u) << filter;
        ASSERT_TRUE(lumivel::testing::PurgeTombstone(units[0], true));
    }

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());
    ASSERT_GE(RowNamed(list, name), 0);

    const std::string plantedName = std::filesystem::path(planted).filename().string();
    std::vector<std::pair<std::string, std::string>> rows;  // name, trust
    std::vector<bool> existedWhenAsked;
    int questions = 0;
    answer(
        u"&Restore",
        [&](const std::u16string& text) {
            if (text.find(u"Use it all the same") == std::u16string::npos) return INT_PTR(IDOK);
            existedWhenAsked.push_back(lumivel::testing::LdapExists(dept));
            // No the first time: the chooser stays; yes the second.
            return INT_PTR(++questions == 1 ? IDNO : IDYES);
        },
        [&](const lumivel::ui::Surface& surface) {
            if (surface.resourceId != IDD_CHOOSE_BACKUP) {
                SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            HWND archives = GetDlgItem(surface.window, IDC_BACKUP_LIST);
            int count = int(SendMessageW(archives, LVM_GETITEMCOUNT, 0, 0));
            int chosen = -1;
            for (int row = 0; row < count; ++row) {
                rows.emplace_back(lumivel::ToUtf8(ItemText(archives, row, 0)), lumivel::ToUtf8(ItemText(archives, row, 3)));
                if (rows.back().first == plantedName) chosen = row;
            }
            ConsoleDriver::screenshot(lumivel::qtui::WidgetForWindow(surface.window), "console_choose_backup_untrusted");
            if (chosen < 0) {
                SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
                return;
            }
            LVITEMW state{};
            state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
            SendMessageW(archives, LVM_SETITEMSTATE, WPARAM(chosen), LPARAM(&state));
            SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
            if (IsWindow(surface.window)) SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        });
    rightClick(list, RowNamed(list, name));
    lumivel::ui::SetTestHook({});

    ASSERT_EQ(rows.size(), 2u);
    for (const auto& [file, trust] : rows)
        EXPECT_EQ(trust, file == plantedName ? "the archive may be written by every user" : "Trusted") << file;
    EXPECT_EQ(questions, 2) << "asked before the untrusted archive is used, and again after a no";
    EXPECT_EQ(existedWhenAsked, (std::vector<bool>{false, false})) << "nothing is created before the answer";
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_EQ(m_boxes.back(), u"The object was successfully restored.");
    EXPECT_TRUE(lumivel::testing::LdapExists(dept));
    EXPECT_TRUE(lumivel::testing::LdapExists(team));
    EXPECT_TRUE(lumivel::testing::LdapExists(dn));
    EXPECT_EQ(RowNamed(list, name), -1);
}

TEST_F(ConsoleBackupRestoreTest, DetailsOfATombstoneListItsBackupsAndWhatTheNewestTrustedOneWouldBringBack) {
    std::string name = "Detailed " + m_suffix, dn = "CN=" + name + "," + m_root;
    ASSERT_TRUE(lumivel::testing::LdapAdd(dn, {"objectClass: user\n", "sAMAccountName: d" + m_suffix + "\n",
                                              "telephoneNumber: +1 555 0100\n", "otherTelephone: +1 555 0101\n",
                                              "otherTelephone: +1 555 0102\n"}));
    std::string trusted = backUp(m_root), planted = backUp(m_root);
    ASSERT_FALSE(trusted.empty());
    ASSERT_FALSE(planted.empty());
    // Written later and by anyone: listed first, and never the one whose plan is shown.
    ASSERT_EQ(chmod(planted.c_str(), 0666), 0);
    ASSERT_TRUE(lumivel::testing::LdapDelete(dn));

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());
    int row = RowNamed(list, name);
    ASSERT_GE(row, 0);
    lumivel::ui::UserSetListSelection(list, {row}, row);
    ASSERT_TRUE(console.runUntil([&] { return DetailsText(list).find(u"Lost since") != std::u16string::npos; }, 60000))
        << lumivel::ToUtf8(DetailsText(list));
    std::string text = lumivel::ToUtf8(DetailsText(list));
    const std::string trustedName = std::filesystem::path(trusted).filename().string();
    const std::string plantedName = std::filesystem::path(planted).filename().string();
    EXPECT_NE(text.find("Kept by the directory: "), std::string::npos) << text;
    EXPECT_NE(text.find("  objectGUID: "), std::string::npos) << "a GUID as text: " << text;
    EXPECT_NE(text.find("  " + plantedName + ", "), std::string::npos) << text;
    EXPECT_NE(text.find("not trusted: the archive may be written by every user"), std::string::npos) << text;
    EXPECT_NE(text.find("  " + trustedName + ", "), std::string::npos) << text;
    EXPECT_NE(text.find("Lost since the newest trusted backup, " + trustedName), std::string::npos) << text;
    EXPECT_NE(text.find("  telephoneNumber (1 value): Re-apply writes it back"), std::string::npos) << text;
    EXPECT_NE(text.find("  otherTelephone (2 values): Re-apply writes it back"), std::string::npos) << text;
    EXPECT_NE(text.find("The Restore Plan offers \"Re-apply\""), std::string::npos) << text;
    ConsoleDriver::screenshot(console.window(), "console_details_pane");

    // The plan offers the re-apply the details speak of.
    bool offered = false;
    std::u16string archive;
    answer(u"Restore &Plan...", [](const std::u16string&) { return INT_PTR(IDOK); },
           [&](const lumivel::ui::Surface& surface) {
               ASSERT_TRUE(lumivel::testing::WaitUntilEnabled(surface.window, IDC_PLAN_RESTORE));
               offered = IsWindowEnabled(GetDlgItem(surface.window, IDC_PLAN_REAPPLY));
               archive = DialogText(surface.window, IDC_PLAN_ARCHIVE);
               SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
           });
    rightClick(list, row);
    lumivel::ui::SetTestHook({});
    EXPECT_TRUE(offered);
    EXPECT_NE(lumivel::ToUtf8(archive).find(trustedName), std::string::npos) << lumivel::ToUtf8(archive);

    // Two selected: no reading, a count.
    int other = row == 0 ? 1 : 0;
    lumivel::ui::UserSetListSelection(list, {std::min(row, other), std::max(row, other)}, row);
    EXPECT_NE(lumivel::ToUtf8(DetailsText(list)).find("2 deleted objects selected"), std::string::npos);
}

TEST_F(ConsoleBackupRestoreTest, ThePlansRestoreAsksForTheArchiveOfALostParentFromItsWorker) {
    // A user in a unit in a unit, backed up; all three deleted and the outer unit's tombstone
    // purged as Active Directory does, the inner one still naming it as its last known parent.
    std::string dept = "OU=Lost " + m_suffix + "," + m_root, team = "OU=Crew " + m_suffix + "," + dept;
    std::string teamName = "Crew " + m_suffix, name = "Stray " + m_suffix, dn = "CN=" + name + "," + team;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team));
    ASSERT_TRUE(lumivel::testing::AddUser(dn, name));
    const std::string archive = backUp(dept);
    ASSERT_FALSE(archive.empty());
    for (const std::string* gone : {&dn, &team, &dept}) ASSERT_TRUE(lumivel::testing::LdapDelete(*gone));
    std::vector<std::string> units =
        lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=Lost " + m_suffix + "*)");
    ASSERT_EQ(units.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(units[0]));
    // The same again, for a restore stopped once the archive is chosen.
    std::string dept2 = "OU=Lost2 " + m_suffix + "," + m_root, team2 = "OU=Crew2 " + m_suffix + "," + dept2;
    std::string team2Name = "Crew2 " + m_suffix, name2 = "Stray2 " + m_suffix, dn2 = "CN=" + name2 + "," + team2;
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(dept2));
    ASSERT_TRUE(lumivel::testing::AddOrganizationalUnit(team2));
    ASSERT_TRUE(lumivel::testing::AddUser(dn2, name2));
    ASSERT_FALSE(backUp(dept2).empty());
    for (const std::string* gone : {&dn2, &team2, &dept2}) ASSERT_TRUE(lumivel::testing::LdapDelete(*gone));
    units = lumivel::testing::TombstoneDns(lumivel::testing::TestDirectory().baseDn, "(ou=Lost2 " + m_suffix + "*)");
    ASSERT_EQ(units.size(), 1u);
    ASSERT_TRUE(lumivel::testing::PurgeTombstone(units[0]));

    ConsoleDriver console;
    long listed = -1;
    HWND list = openAndList(console, &listed);
    ASSERT_NE(list, nullptr) << lumivel::ToUtf8(console.statusText());
    ASSERT_GE(RowNamed(list, name), 0);
    ASSERT_GE(RowNamed(list, teamName), 0);
    const DWORD consoleThread = GetCurrentThreadId();

    // The plan's restore; the chooser answered by choose, with what the progress said meanwhile
    // and every count it showed.
    struct Seen {
        int choosers = 0;
        bool onConsoleThread = false;
        std::u16string note;
        std::string countAtChooser, currentAtChooser;
        std::vector<std::string> counts;
    };
    enum class Answer { Cancel, Choose, ChooseAndStop };
    auto restore = [&](Seen* seen, Answer reply, const std::string& row) {
        const bool choose = reply != Answer::Cancel;
        HWND progress = nullptr;
        answer(u"Restore &Plan...", [](const std::u16string&) { return INT_PTR(IDOK); },
               [&](const lumivel::ui::Surface& surface) {
                   if (surface.resourceId == IDD_RESTORE_PROGRESS) {
                       progress = surface.window;
                       RunWhileShown(surface.window, [&] {
                           std::string count = lumivel::ToUtf8(DialogText(surface.window, IDC_PROGRESS_COUNT));
                           if (seen->counts.empty() || seen->counts.back() != count) seen->counts.push_back(count);
                           return false;
                       });
                       return;
                   }
                   if (surface.resourceId == IDD_CHOOSE_BACKUP) {
                       ++seen->choosers;
                       seen->onConsoleThread = GetCurrentThreadId() == consoleThread;
                       if (progress) {
                           seen->countAtChooser = lumivel::ToUtf8(DialogText(progress, IDC_PROGRESS_COUNT));
                           seen->currentAtChooser = lumivel::ToUtf8(DialogText(progress, IDC_PROGRESS_CURRENT));
                       }
                       HWND archives = GetDlgItem(surface.window, IDC_BACKUP_LIST);
                       if (!choose || SendMessageW(archives, LVM_GETITEMCOUNT, 0, 0) != 1) {
                           SendMessageW(surface.window, WM_COMMAND, IDCANCEL, 0);
                           return;
                       }
                       // Cancel pressed on the progress as the archive is chosen.
                       if (reply == Answer::ChooseAndStop && progress) SendMessageW(progress, WM_COMMAND, IDCANCEL, 0);
                       LVITEMW state{};
                       state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
                       SendMessageW(archives, LVM_SETITEMSTATE, 0, LPARAM(&state));
                       SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
                       return;
                   }
                   ASSERT_EQ(surface.resourceId, IDD_RESTORE_PLAN);
                   ASSERT_TRUE(lumivel::testing::WaitUntilEnabled(surface.window, IDC_PLAN_RESTORE));
                   seen->note = DialogText(surface.window, IDC_PLAN_NOTE);
                   SendMessageW(surface.window, WM_COMMAND, IDC_PLAN_RESTORE, 0);
               });
        rightClick(list, RowNamed(list, row));
        lumivel::ui::SetTestHook({});
    };

    // Cancel in the chooser: the parent cannot be recreated, which is said, and nothing changes.
    Seen cancelled;
    restore(&cancelled, Answer::Cancel, name);
    EXPECT_NE(cancelled.note.find(u"is no longer listed: a backup would recreate it"), std::u16string::npos)
        << lumivel::ToUtf8(cancelled.note);
    EXPECT_EQ(cancelled.choosers, 1);
    EXPECT_TRUE(cancelled.onConsoleThread) << "the worker's question is shown on the console's thread";
    EXPECT_EQ(cancelled.countAtChooser, "Restoring 1 of 3 objects...") << "the parent recreated is a step, and the first";
    EXPECT_EQ(cancelled.currentAtChooser, "Lost " + m_suffix + " (from a backup)");
    ASSERT_FALSE(m_boxes.empty());
    EXPECT_EQ(m_boxes[0], u"Could not create the container for this object.");
    for (const std::u16string& box : m_boxes) EXPECT_NE(box, u"The object was successfully restored.");
    for (const std::string* gone : {&dept, &team, &dn}) EXPECT_FALSE(lumivel::testing::LdapExists(*gone)) << *gone;
    EXPECT_GE(RowNamed(list, name), 0);
    EXPECT_GE(RowNamed(list, teamName), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed);

    // The archive chosen: the lost unit is recreated from it, then the listed one comes back
    // inside it and the user inside that; the count goes through all three.
    Seen chosen;
    restore(&chosen, Answer::Choose, name);
    EXPECT_EQ(chosen.choosers, 1);
    EXPECT_EQ(chosen.countAtChooser, "Restoring 1 of 3 objects...");
    ASSERT_EQ(m_boxes.size(), 1u) << lumivel::ToUtf8(m_boxes[0]);
    EXPECT_EQ(m_boxes[0], u"The object was successfully restored.");
    for (const std::string* back : {&dept, &team, &dn}) EXPECT_TRUE(lumivel::testing::LdapExists(*back)) << *back;
    EXPECT_NE(std::find(chosen.counts.begin(), chosen.counts.end(), "Restoring 3 of 3 objects..."), chosen.counts.end())
        << "the user is the third step";
    for (const std::string& count : chosen.counts) EXPECT_EQ(count.find(" of 2 "), std::string::npos) << count;
    EXPECT_EQ(RowNamed(list, name), -1);
    EXPECT_EQ(RowNamed(list, teamName), -1);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 2);

    // Stopped once the archive is chosen: the unit it recreates stays, which the box says, and
    // nothing else comes back.
    Seen stopped;
    restore(&stopped, Answer::ChooseAndStop, name2);
    EXPECT_EQ(stopped.choosers, 1);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(lumivel::ToUtf8(m_boxes[0]), "The restore was stopped before " + team2Name +
                                               ": nothing was restored, but the containers a backup recreated stay: " +
                                               dept2 + ".");
    EXPECT_TRUE(lumivel::testing::LdapExists(dept2));
    for (const std::string* gone : {&team2, &dn2}) EXPECT_FALSE(lumivel::testing::LdapExists(*gone)) << *gone;
    EXPECT_GE(RowNamed(list, name2), 0);
    EXPECT_GE(RowNamed(list, team2Name), 0);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), listed - 2);

    // The log names the archive and the unit it recreated on the entry of the object it was
    // recreated for, the listed unit, not the user selected.
    lumivel::testing::ChildResult log =
        lumivel::testing::RunShell(lumivel::testing::ShellQuote(BinDir() + "/lumivel") + " log --format json");
    size_t entry = log.output.find("\"object\": \"OU=" + teamName + "\\\\0ADEL:");
    ASSERT_NE(entry, std::string::npos) << log.output;
    std::string teamEntry = log.output.substr(entry, log.output.find("\n    }", entry) - entry);
    EXPECT_NE(teamEntry.find(std::filesystem::path(archive).filename().string()), std::string::npos) << teamEntry;
    size_t created = teamEntry.find("\"containersCreated\"");
    ASSERT_NE(created, std::string::npos) << teamEntry;
    EXPECT_NE(teamEntry.find("\"" + dept + "\"", created), std::string::npos) << teamEntry;
    // The stopped restore's entry says what stays of it.
    entry = log.output.find("\"object\": \"CN=" + name2 + "\\\\0ADEL:");
    ASSERT_NE(entry, std::string::npos) << log.output;
    std::string strayEntry = log.output.substr(entry, log.output.find("\n    }", entry) - entry);
    EXPECT_NE(strayEntry.find("\"result\": \"failure\""), std::string::npos) << strayEntry;
    created = strayEntry.find("\"containersCreated\"");
    ASSERT_NE(created, std::string::npos) << strayEntry;
    EXPECT_NE(strayEntry.find("\"" + dept2 + "\"", created), std::string::npos) << strayEntry;
}

}  // namespace
