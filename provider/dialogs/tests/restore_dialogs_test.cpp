// "Restore Plan" and the "Restore Subtree" report on the Qt backend, offscreen: what they show
// of the provider's results, what their buttons answer, and a screenshot of each.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "../../platform/qtui/tests/qt_test_support.h"
#include "lumivel/com_ptr.h"
#include "lumivel/ui_test_hook.h"
#include "lumivel/variant_holder.h"
#include "provider/common/resource_ids.h"
#include "provider/dialogs/restore_plan_dialog.h"
#include "provider/dialogs/restore_progress_dialog.h"
#include "provider/dialogs/restore_selected_dialog.h"
#include "provider/restore/reanimation.h"
#include "provider/revivo.h"
#include "provider/dialogs/subtree_report_dialog.h"
#include "provider/tests/list_view_texts.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "tests/support/private_hives.h"

namespace {

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::u16string itemText(HWND dialog, int id) {
    WCHAR text[1024] = {};
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

// Records as the provider's commands hand them out, freed with the test.
class Records {
public:
    PropertySet* add(std::initializer_list<std::pair<const char16_t*, std::u16string>> texts) {
        PropertySet* record = PropertySet::create();
        for (const auto& [key, text] : texts) record->setText(key, text);
        m_owned.emplace_back(record);
        m_list.push_back(record);
        return record;
    }
    const std::vector<PropertySet*>& list() const { return m_list; }

private:
    struct Release {
        void operator()(PropertySet* record) const { record->release(); }
    };
    std::vector<std::unique_ptr<PropertySet, Release>> m_owned;
    std::vector<PropertySet*> m_list;
};

const std::u16string kBase = u",CN=Deleted Objects,DC=lumivel,DC=test";

// Command 315's answer for a user two deleted OUs down: Outer, Inner, then the user.
void planOfTwoDeletedLevels(Records* plan, bool nameTaken) {
    PropertySet* header = plan->add({{kPlanRightsKey, u"the domain grants the caller the right to reanimate tombstones"}});
    header->setInt(kPlanMayReanimateKey, 1);
    struct Step {
        std::u16string name, className, target;
    } steps[] = {{u"Outer\nDEL:0001", u"organizationalUnit", u"OU=Outer,OU=Corp,DC=lumivel,DC=test"},
                 {u"Inner\nDEL:0002", u"organizationalUnit", u"OU=Inner,OU=Outer,OU=Corp,DC=lumivel,DC=test"},
                 {u"Ada\nDEL:0003", u"user", u"CN=Ada,OU=Inner,OU=Outer,OU=Corp,DC=lumivel,DC=test"}};
    for (const Step& step : steps) {
        PropertySet* row = plan->add({{u"name", step.name},
                                      {u"class", step.className},
                                      {u"distinguishedName", u"X=" + step.name + kBase},
                                      {kPlanTargetKey, step.target},
                                      {kExpiresKey, u"12/31/2026 10:00 AM"}});
        row->setInt(kPlanNameTakenKey, nameTaken && step.className == u"user" ? 1 : 0);
    }
}

class RestoreDialogs : public ::testing::Test {
protected:
    void SetUp() override { qttest::UseQtBackend(); }
    void TearDown() override { lumivel::ui::SetTestHook({}); }
};

TEST_F(RestoreDialogs, PlanShowsParentsFirstAsATreeAndRestoreReportsTheCheckBox) {
    Records plan, backups;
    planOfTwoDeletedLevels(&plan, true);
    backups.add({{kBackupFolderKey, u"\\\\dc1\\sysvol\\backups"}});
    // Newest first: the newest archive lacks the object, so the one before it is taken.
    backups.add({{u"name", u"{3}.zip"}, {u"path", u"/b/{3}.zip"}})->setInt(kHoldsObjectKey, 0);
    PropertySet* holding = backups.add({{u"name", u"{2}.zip"}, {u"path", u"/b/{2}.zip"}, {kBackupDateKey, u"2026-12-01 09:00:00"}});
    holding->setInt(kHoldsObjectKey, 1);
    backups.add({{u"name", u"{1}.zip"}, {u"path", u"/b/{1}.zip"}})->setInt(kHoldsObjectKey, 1);
    revivo::RestorePlanView view = revivo::RestorePlanViewOf(plan.list());
    revivo::TakeNewestHoldingArchive(backups.list(), &view);
    EXPECT_EQ(view.archivePath, u"/b/{2}.zip");

    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        EXPECT_EQ(surface.resourceId, IDD_RESTORE_PLAN);
        EXPECT_EQ(surface.caption, u"Restore Plan");
        HWND dialog = surface.window;
        auto rows = revivo_test::ListViewTexts(GetDlgItem(dialog, IDC_PLAN_LIST), 5);
        EXPECT_EQ(rows, (std::vector<std::vector<std::u16string>>{
                            {u"Outer", u"organizationalUnit", u"OU=Outer,OU=Corp,DC=lumivel,DC=test", u"No", u"12/31/2026 10:00 AM"},
                            {u"    Inner", u"organizationalUnit", u"OU=Inner,OU=Outer,OU=Corp,DC=lumivel,DC=test", u"No",
                             u"12/31/2026 10:00 AM"},
                            {u"        Ada", u"user", u"CN=Ada,OU=Inner,OU=Outer,OU=Corp,DC=lumivel,DC=test", u"Yes",
                             u"12/31/2026 10:00 AM"}}));
        EXPECT_EQ(itemText(dialog, IDC_PLAN_RIGHTS),
                  u"You may restore these objects: the domain grants the caller the right to reanimate tombstones.");
        EXPECT_EQ(itemText(dialog, IDC_PLAN_NOTE), u"1 name is taken already: the restore will ask for another one.");
        EXPECT_EQ(itemText(dialog, IDC_PLAN_ARCHIVE), u"Latest backup holding the object: {2}.zip (2026-12-01 09:00:00)");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_REAPPLY)));
        EXPECT_EQ(IsDlgButtonChecked(dialog, IDC_PLAN_REAPPLY), BST_UNCHECKED) << "writing more is asked for, not assumed";
        SendMessageW(GetDlgItem(dialog, IDC_PLAN_REAPPLY), BM_CLICK, 0, 0);
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(dialog, qttest::ScreenshotPath("restore-plan.png")));
        SendMessageW(dialog, WM_COMMAND, IDC_PLAN_RESTORE, 0);
        return 0;
    });
    revivo::PlanChoice choice;
    EXPECT_EQ(revivo::ShowRestorePlanDialog(nullptr, view, &choice), IDC_PLAN_RESTORE);
    EXPECT_TRUE(choice.reapply);
    EXPECT_FALSE(choice.reapplySensitive);

    // Close, and closing the window, restore nothing.
    for (UINT close : {UINT(WM_COMMAND), UINT(WM_CLOSE)}) {
        lumivel::ui::SetTestHook([close](const lumivel::ui::Surface& surface) -> INT_PTR {
            SendMessageW(GetDlgItem(surface.window, IDC_PLAN_REAPPLY), BM_CLICK, 0, 0);
            SendMessageW(surface.window, close, close == WM_COMMAND ? IDCANCEL : 0, 0);
            return 0;
        });
        choice = {true, true};
        EXPECT_NE(revivo::ShowRestorePlanDialog(nullptr, view, &choice), IDC_PLAN_RESTORE);
        EXPECT_FALSE(choice.reapply);
    }
}

TEST_F(RestoreDialogs, PlanBelowAMissingParentWithoutABackupOffersNoReapply) {
    Records plan;
    plan.add({{kPlanRightsKey, u"the domain's access control list cannot be read"},
              {kPlanMissingParentKey, u"OU=Gone\\0ADEL:0009" + kBase}});
    plan.add({{u"name", u"Ada\nDEL:0003"}, {u"class", u"user"}, {u"distinguishedName", u"CN=Ada" + kBase}});
    revivo::RestorePlanView view = revivo::RestorePlanViewOf(plan.list());
    revivo::TakeNewestHoldingArchive({}, &view);
    EXPECT_EQ(view.mayReanimate, -1);
    EXPECT_EQ(revivo::PlanRightsText(view),
              u"Whether you may restore these objects is not known: the domain's access control list cannot be read.");

    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        HWND dialog = surface.window;
        auto rows = revivo_test::ListViewTexts(GetDlgItem(dialog, IDC_PLAN_LIST), 4);
        EXPECT_EQ(rows, (std::vector<std::vector<std::u16string>>{
                            {u"    Ada", u"user", u"(below the parent a backup recreates)", u""}}));
        EXPECT_NE(itemText(dialog, IDC_PLAN_NOTE).find(u"OU=Gone\\0ADEL:0009"), std::u16string::npos);
        EXPECT_EQ(itemText(dialog, IDC_PLAN_ARCHIVE), u"No backup archive holds this object.");
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_REAPPLY)));
        // Even a check forced onto the disabled box asks for nothing to be written.
        CheckDlgButton(dialog, IDC_PLAN_REAPPLY, BST_CHECKED);
        SendMessageW(dialog, WM_COMMAND, IDC_PLAN_RESTORE, 0);
        return 0;
    });
    revivo::PlanChoice choice{true, true};
    EXPECT_EQ(revivo::ShowRestorePlanDialog(nullptr, view, &choice), IDC_PLAN_RESTORE);
    EXPECT_FALSE(choice.reapply);
    EXPECT_FALSE(choice.reapplySensitive);
}

TEST_F(RestoreDialogs, SensitiveWritesNeedTheSecondCheckBoxWhichListsThem) {
    Records plan, backups, reapply;
    planOfTwoDeletedLevels(&plan, false);
    backups.add({{kBackupFolderKey, u"/b"}});
    backups.add({{u"name", u"{2}.zip"}, {u"path", u"/b/{2}.zip"}})->setInt(kHoldsObjectKey, 1);
    auto step = [&](const std::u16string& name, const std::u16string& outcome, bool membership) {
        PropertySet* record = reapply.add({{u"name", name}, {kReapplyOutcomeKey, outcome}});
        if (membership) record->setInt(kReapplyMembershipKey, 1);
    };
    step(u"description", u"WouldWrite", false);
    step(u"CN=Staff,DC=lumivel,DC=test", u"WouldWrite", true);
    step(u"scriptPath", u"Withheld", false);
    step(u"CN=Domain Admins,CN=Users,DC=lumivel,DC=test", u"Withheld", true);
    step(u"objectSid", u"LeftAlone", false);
    revivo::RestorePlanView view = revivo::RestorePlanViewOf(plan.list());
    revivo::TakeNewestHoldingArchive(backups.list(), &view);
    revivo::TakeReapplyPlan(reapply.list(), &view);
    EXPECT_EQ(revivo::PlanArchiveText(view), u"Latest backup holding the object: {2}.zip. Would write: description. "
                                              u"Would join: CN=Staff,DC=lumivel,DC=test.");
    EXPECT_EQ(revivo::PlanSensitiveText(view),
              u"scriptPath, member of CN=Domain Admins,CN=Users,DC=lumivel,DC=test.");

    // The second box is only open while the first is checked, and unchecking the first clears it.
    auto answer = [&](bool first, bool second, bool uncheckFirstAgain) {
        lumivel::ui::SetTestHook([=](const lumivel::ui::Surface& surface) -> INT_PTR {
            HWND dialog = surface.window;
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_REAPPLY_SENSITIVE)));
            EXPECT_EQ(itemText(dialog, IDC_PLAN_SENSITIVE), revivo::PlanSensitiveText(view));
            if (first) SendMessageW(GetDlgItem(dialog, IDC_PLAN_REAPPLY), BM_CLICK, 0, 0);
            qttest::Settle();
            EXPECT_EQ(IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_REAPPLY_SENSITIVE)) != FALSE, first);
            if (second) SendMessageW(GetDlgItem(dialog, IDC_PLAN_REAPPLY_SENSITIVE), BM_CLICK, 0, 0);
            if (uncheckFirstAgain) SendMessageW(GetDlgItem(dialog, IDC_PLAN_REAPPLY), BM_CLICK, 0, 0);
            qttest::Settle();
            SendMessageW(dialog, WM_COMMAND, IDC_PLAN_RESTORE, 0);
            return 0;
        });
        revivo::PlanChoice choice;
        EXPECT_EQ(revivo::ShowRestorePlanDialog(nullptr, view, &choice), IDC_PLAN_RESTORE);
        return choice;
    };
    revivo::PlanChoice both = answer(true, true, false);
    EXPECT_TRUE(both.reapply && both.reapplySensitive);
    revivo::PlanChoice plain = answer(true, false, false);
    EXPECT_TRUE(plain.reapply && !plain.reapplySensitive) << "consent is asked for, not assumed";
    revivo::PlanChoice neither = answer(true, true, true);
    EXPECT_FALSE(neither.reapply || neither.reapplySensitive);
}

TEST_F(RestoreDialogs, ReapplyReportSaysWhatWasWrittenAndWhatRefused) {
    Records report;
    auto outcome = [&](const std::u16string& name, const std::u16string& what, const std::u16string& error) {
        return report.add({{u"name", name}, {kReapplyOutcomeKey, what}, {kReapplyErrorKey, error}});
    };
    outcome(u"description", u"Written", u"");
    outcome(u"telephoneNumber", u"Written", u"");
    outcome(u"CN=Staff,DC=lumivel,DC=test", u"Written", u"")->setInt(kReapplyMembershipKey, 1);
    outcome(u"info", u"Refused", u"Insufficient access rights");
    outcome(u"objectSid", u"LeftAlone", u"restricted");
    outcome(u"scriptPath", u"Withheld", u"runs a script at every logon");
    EXPECT_EQ(revivo::ReapplyReportText(report.list(), S_FALSE, u"{2}.zip"),
              u"Re-applied from {2}.zip.\n\nWritten: description, telephoneNumber, member of CN=Staff,DC=lumivel,DC=test."
              u"\n\nRefused: info (Insufficient access rights)."
              u"\n\nWithheld (grants access or runs code; written only when the second box is checked): scriptPath."
              u"\n\nLeft alone (restricted, or not writable by you): 1.");
    EXPECT_EQ(revivo::ReapplyReportText({}, S_OK, u"{2}.zip"), u"Re-applied from {2}.zip.\n\nWritten: nothing.");
    std::u16string failed = revivo::ReapplyReportText(report.list(), E_FAIL, u"{2}.zip");
    EXPECT_NE(failed.find(u"Nothing was written."), std::u16string::npos) << "a failure is not reported as values written";

    // A long list is summed up rather than growing the box past the screen.
    Records many;
    for (int i = 0; i < 40; ++i)
        many.add({{u"name", u"otherTelephone" + std::u16string(1, char16_t(u'A' + i % 26))}, {kReapplyOutcomeKey, u"Written"}});
    EXPECT_NE(revivo::ReapplyReportText(many.list(), S_OK, u"a.zip").find(u" and 10 more."), std::u16string::npos);
}

TEST_F(RestoreDialogs, SubtreeReportListsEachOutcome) {
    Records report;
    auto entry = [&](const std::u16string& name, const std::u16string& target, const std::u16string& outcome,
                     const std::u16string& error) {
        report.add({{u"name", name},
                    {u"class", u"organizationalUnit"},
                    {u"distinguishedName", u"OU=" + name + kBase},
                    {kPlanTargetKey, target},
                    {kSubtreeOutcomeKey, outcome},
                    {kSubtreeErrorKey, error}});
    };
    entry(u"Outer\nDEL:0001", u"OU=Outer,DC=lumivel,DC=test", u"Restored", u"");
    entry(u"Inner\nDEL:0002", u"OU=Inner,OU=Outer,DC=lumivel,DC=test", u"Failed", u"Already exists");
    entry(u"Deep\nDEL:0004", u"OU=Deep,OU=Inner,OU=Outer,DC=lumivel,DC=test", u"NotAttempted", u"its parent was not restored");
    std::vector<revivo::SubtreeReportRow> rows = revivo::SubtreeReportRowsOf(report.list());
    EXPECT_EQ(revivo::SubtreeSummaryText(rows), u"1 object restored, 1 failed, 1 not attempted.");

    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        EXPECT_EQ(surface.resourceId, IDD_SUBTREE_REPORT);
        EXPECT_EQ(surface.caption, u"Restore Subtree");
        auto shown = revivo_test::ListViewTexts(GetDlgItem(surface.window, IDC_SUBTREE_LIST), 5);
        EXPECT_EQ(shown, (std::vector<std::vector<std::u16string>>{
                             {u"Outer", u"organizationalUnit", u"OU=Outer,DC=lumivel,DC=test", u"Restored", u""},
                             {u"Inner", u"organizationalUnit", u"OU=Inner,OU=Outer,DC=lumivel,DC=test", u"Failed",
                              u"Already exists"},
                             {u"Deep", u"organizationalUnit", u"OU=Deep,OU=Inner,OU=Outer,DC=lumivel,DC=test",
                              u"Not attempted", u"its parent was not restored"}}));
        EXPECT_EQ(itemText(surface.window, IDC_SUBTREE_SUMMARY), u"1 object restored, 1 failed, 1 not attempted.");
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(surface.window, qttest::ScreenshotPath("restore-subtree-report.png")));
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        return 0;
    });
    revivo::ShowSubtreeReportDialog(nullptr, rows);
}

// Before anything changes: a "No" to the question, or a record that names no tombstone, leaves
// the directory alone and hands the console nothing to take off its list.
TEST_F(RestoreDialogs, CommandsThatStopBeforeTheDirectoryHandOutNothing) {
    lumivel::ComPtr<IProviderCommands> commands;
    ASSERT_EQ(revivo::Revivo::CreateInstance(nullptr, IID_IProviderCommands, commands.putVoid()), S_OK);
    Records selection;
    PropertySet* record = selection.add({{u"name", u"Ada\nDEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f"},
                                         {u"distinguishedName", u"CN=Ada\\0ADEL:6c1f4a5e-1b1c-4c57-9d2e-0a1b2c3d4e5f" + kBase},
                                         {u"lastKnownParent", u"OU=Staff,DC=lumivel,DC=test"},
                                         {u"class", u"user"},
                                         {u"FocusedDC", u"dc1.lumivel.test"}});
    std::vector<std::u16string> boxes;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        EXPECT_EQ(surface.kind, lumivel::ui::SurfaceKind::MessageBox) << "no dialog opens";
        boxes.push_back(surface.text);
        return IDNO;
    });
    auto run = [&](LONG command) {
        lumivel::VariantHolder list, result;
        lumivel::shared::BuildObjectList(std::vector<PropertySet*>{record}, list.get());
        HRESULT status = commands->ExecuteCommand(nullptr, 1, command, list.get(), result.get());
        EXPECT_EQ(result->vt, VT_EMPTY) << command;
        VariantClear(list.get());
        return status;
    };
    // Nothing deleted is listed below this user: the question says so.
    EXPECT_EQ(run(kCommandRestoreSubtreeReport), S_FALSE);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0], u"Nothing deleted is listed below \"Ada\". Restore just \"Ada\" (and any deleted parent it needs)?");

    // A live object's DN is no tombstone: neither command gets as far as the directory.
    boxes.clear();
    record->setText(u"name", u"Ada");
    record->setText(u"distinguishedName", u"CN=Ada,OU=Staff,DC=lumivel,DC=test");
    EXPECT_EQ(run(kCommandShowRestorePlan), S_FALSE);
    EXPECT_EQ(run(kCommandRestoreSubtreeReport), S_FALSE);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].rfind(u"The restore plan could not be worked out: ", 0), 0u) << lumivel::shared::NarrowText(boxes[0]);
    EXPECT_NE(boxes[1].find(u"not a listed tombstone"), std::u16string::npos);
}

}  // namespace

namespace {

// A plan for two users of two deleted OUs, one of whose parents is listed no more.
std::vector<revivo::SharedPlanStep> planOfTwoDeletedOus() {
    auto step = [](const std::u16string& name, const std::u16string& className, const std::u16string& target,
                   size_t parent, size_t depth, bool asked) {
        revivo::SharedPlanStep planned;
        planned.step = revivo::PlannedStep{name, className, u"X=" + name + kBase, u"", u"12/31/2026 10:00 AM", u"", target};
        planned.parent = parent;
        planned.depth = depth;
        planned.asked = asked;
        return planned;
    };
    constexpr size_t none = revivo::SharedPlanStep::kNoParent;
    std::vector<revivo::SharedPlanStep> plan{
        step(u"Sales\nDEL:0001", u"organizationalUnit", u"OU=Sales,DC=lumivel,DC=test", none, 0, false),
        step(u"Ada\nDEL:0002", u"user", u"CN=Ada,OU=Sales,DC=lumivel,DC=test", 0, 1, true),
        step(u"Finance\nDEL:0003", u"organizationalUnit", u"", none, 1, false),
        step(u"Bob\nDEL:0004", u"user", u"", 2, 2, true)};
    plan[2].missingParent = u"OU=Gone\\0ADEL:0005" + kBase;
    return plan;
}

}  // namespace

TEST_F(RestoreDialogs, RestoreSelectedShowsOnePlanAndReportsEachOutcome) {
    revivo::SelectedPlanView view;
    view.steps = planOfTwoDeletedOus();
    view.selected = 2;
    view.mayReanimate = 1;
    view.rights = u"the domain grants the caller the right to reanimate tombstones";
    EXPECT_EQ(revivo::SelectedPlanSummaryText(view),
              u"2 selected objects come back, and first 2 deleted parents they need. You may restore these objects: "
              u"the domain grants the caller the right to reanimate tombstones.");
    EXPECT_NE(revivo::SelectedPlanNoteText(view).find(u"1 object needs a deleted parent no longer listed"),
              std::u16string::npos);

    for (INT_PTR button : {INT_PTR(IDC_SELECTED_RESTORE), INT_PTR(IDCANCEL)}) {
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            EXPECT_EQ(surface.resourceId, IDD_RESTORE_SELECTED);
            EXPECT_EQ(surface.caption, u"Restore Selected");
            auto rows = revivo_test::ListViewTexts(GetDlgItem(surface.window, IDC_SELECTED_LIST), 4);
            EXPECT_EQ(rows, (std::vector<std::vector<std::u16string>>{
                                {u"Sales", u"organizationalUnit", u"OU=Sales,DC=lumivel,DC=test", u"12/31/2026 10:00 AM"},
                                {u"    Ada", u"user", u"CN=Ada,OU=Sales,DC=lumivel,DC=test", u"12/31/2026 10:00 AM"},
                                {u"    Finance", u"organizationalUnit", u"(below the parent a backup recreates)",
                                 u"12/31/2026 10:00 AM"},
                                {u"        Bob", u"user", u"(below the parent a backup recreates)",
                                 u"12/31/2026 10:00 AM"}}));
            if (button == IDC_SELECTED_RESTORE) {
                qttest::Settle();
                EXPECT_TRUE(lumivel::ui::RenderWindowToPng(surface.window, qttest::ScreenshotPath("restore-selected.png")));
            }
            SendMessageW(surface.window, WM_COMMAND, WPARAM(button), 0);
            return 0;
        });
        EXPECT_EQ(revivo::ShowRestoreSelectedDialog(nullptr, view), button);
    }

    // The report: what came back with its new DN, what failed with why, what was not tried.
    revivo::SharedRestoreResult result;
    result.outcomes = {{revivo::StepOutcome::Restored, u"OU=Sales,DC=lumivel,DC=test", u""},
                       {revivo::StepOutcome::Failed, u"", u"An object named CN=Ada exists already."},
                       {revivo::StepOutcome::Failed, u"", u"Could not create the container for this object."},
                       {revivo::StepOutcome::NotAttempted, u"", u"its parent was not restored"}};
    std::vector<revivo::SubtreeReportRow> rows = revivo::SelectedReportRows(view.steps, result);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1].target, u"CN=Ada,OU=Sales,DC=lumivel,DC=test") << "the planned DN when none was got";
    EXPECT_EQ(rows[3].outcome, u"Not attempted");
    EXPECT_EQ(revivo::SubtreeSummaryText(rows), u"1 object restored, 2 failed, 1 not attempted.");
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        EXPECT_EQ(surface.resourceId, IDD_SUBTREE_REPORT);
        EXPECT_EQ(surface.caption, u"Restore Selected");
        SendMessageW(surface.window, WM_COMMAND, IDOK, 0);
        return 0;
    });
    revivo::ShowSubtreeReportDialog(nullptr, rows, u"Restore Selected");
}

// The plan's restore counts a parent a backup recreates as a step of its own, before the objects
// that go below it, and what a stop leaves done is said as it is.
TEST_F(RestoreDialogs, ThePlansStepsCountARecreatedParentAndAStopSaysWhatStays) {
    const std::u16string missing = u"OU=Dept\\0ADEL:5e1c3a5a-0f0e-4d4c-9a4b-2a1b3c4d5e6f,CN=Deleted Objects,DC=x";
    struct Plan {
        size_t rows;
        bool missingParent;
        size_t steps;
    };
    for (const Plan& plan : {Plan{1, false, 1}, Plan{3, false, 3}, Plan{1, true, 2}, Plan{2, true, 3}, Plan{0, true, 1}}) {
        revivo::RestorePlanView view;
        view.rows.resize(plan.rows);
        if (plan.missingParent) view.missingParent = missing;
        EXPECT_EQ(revivo::PlanStepCount(view), plan.steps) << plan.rows << " rows, missing parent " << plan.missingParent;
    }
    // The step is named after the parent as a person knows it, escapes and deletion mark taken off.
    EXPECT_EQ(revivo::RecreatedParentStepName(missing), u"Dept (from a backup)");
    EXPECT_EQ(revivo::RecreatedParentStepName(u"OU=Smith\\, John\\0ADEL:5e1c3a5a-0f0e-4d4c-9a4b-2a1b3c4d5e6f,CN=Deleted Objects,DC=x"),
              u"Smith, John (from a backup)");
    EXPECT_EQ(revivo::RecreatedParentStepName(u"OU=Live,DC=x"), u"Live (from a backup)");
    EXPECT_EQ(revivo::RecreatedParentStepName(u""), u"the former parent (from a backup)");
    EXPECT_EQ(revivo::RecreatedParentStepName(u"garbage"), u"the former parent (from a backup)");

    using revivo::StoppedRestoreText;
    EXPECT_EQ(StoppedRestoreText(u"Ada", 0, {}), u"The restore was stopped before Ada: nothing was restored.");
    EXPECT_EQ(StoppedRestoreText(u"Ada", 2, {}), u"The restore was stopped before Ada: what came back before it stays restored.");
    EXPECT_EQ(StoppedRestoreText(u"Team", 0, {u"OU=Dept,DC=x"}),
              u"The restore was stopped before Team: nothing was restored, but the containers a backup recreated stay: "
              u"OU=Dept,DC=x.");
    EXPECT_EQ(StoppedRestoreText(u"Kid", 1, {u"OU=Dept,DC=x", u"OU=Team,OU=Dept,DC=x"}),
              u"The restore was stopped before Kid: what came back before it stays restored, and so do the containers "
              u"a backup recreated: OU=Dept,DC=x; OU=Team,OU=Dept,DC=x.");
}

// The work runs off the dialog's thread; Cancel lets the object under way finish and stops
// before the next, and the dialog closes once the work has ended.
TEST_F(RestoreDialogs, ProgressCancelStopsAfterTheCurrentObject) {
    EXPECT_EQ(revivo::ProgressCountText(0, 3), u"Restoring 1 of 3 objects...");
    EXPECT_EQ(revivo::ProgressCountText(0, 1), u"Restoring 1 of 1 object...");
    std::promise<void> cancelPressed;
    std::shared_future<void> pressed = cancelPressed.get_future().share();
    std::vector<std::u16string> done;
    const std::thread::id consoleThread = std::this_thread::get_id();
    bool offTheConsoleThread = false;
    auto work = [&](revivo::RestoreProgress& progress) {
        offTheConsoleThread = std::this_thread::get_id() != consoleThread;
        const std::u16string names[] = {u"Ada", u"Bob", u"Cyd"};
        for (size_t i = 0; i < 3; ++i) {
            if (!progress.next(i, 3, names[i])) break;
            // The first object is under way while the administrator presses Cancel.
            if (i == 0) pressed.wait_for(std::chrono::seconds(60));
            done.push_back(names[i]);
        }
    };
    auto settleUntil = [](const std::function<bool()>& reached) {
        for (int i = 0; i < 6000 && !reached(); ++i) {
            qttest::Settle(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return reached();
    };
    int rounds = 0;
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        ++rounds;
        EXPECT_EQ(surface.resourceId, IDD_RESTORE_PROGRESS);
        HWND dialog = surface.window;
        if (surface.round == 0) {
            EXPECT_TRUE(settleUntil([&] { return itemText(dialog, IDC_PROGRESS_CURRENT) == u"Ada"; }));
            EXPECT_EQ(itemText(dialog, IDC_PROGRESS_COUNT), u"Restoring 1 of 3 objects...");
            EXPECT_TRUE(lumivel::ui::RenderWindowToPng(dialog, qttest::ScreenshotPath("restore-progress.png")));
            SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays until the object under way is done";
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
            EXPECT_EQ(itemText(dialog, IDC_PROGRESS_COUNT), u"Stopping after the current object...");
            cancelPressed.set_value();
        }
        EXPECT_TRUE(settleUntil([&] { return !IsWindowVisible(dialog); }));
        return 0;
    });
    EXPECT_TRUE(revivo::RunWithProgress(nullptr, work));
    EXPECT_TRUE(offTheConsoleThread);
    EXPECT_EQ(done, std::vector<std::u16string>{u"Ada"});
    EXPECT_GE(rounds, 1);
}

namespace {

bool SettleUntil(const std::function<bool()>& reached) {
    for (int i = 0; i < 6000 && !reached(); ++i) {
        qttest::Settle(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return reached();
}

// The plan opens at once while its checks run off the console's thread, and then shows what
// the checks found; checks that fail end it with their reason, and closing it meanwhile waits
// for them, so that nothing they write outlives the dialog.
TEST_F(RestoreDialogs, CheckedPlanSaysItChecksThenShowsWhatTheChecksFound) {
    Records plan;
    planOfTwoDeletedLevels(&plan, false);
    const std::thread::id consoleThread = std::this_thread::get_id();
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    bool offTheConsoleThread = false;
    auto check = [&](revivo::RestorePlanView* view) {
        offTheConsoleThread = std::this_thread::get_id() != consoleThread;
        released.wait_for(std::chrono::seconds(60));
        *view = revivo::RestorePlanViewOf(plan.list());
        return S_OK;
    };
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        HWND dialog = surface.window;
        if (surface.round == 0) {
            EXPECT_EQ(itemText(dialog, IDC_PLAN_RIGHTS), revivo::kPlanCheckingText);
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_RESTORE)));
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_REAPPLY)));
            EXPECT_EQ(revivo_test::ListViewTexts(GetDlgItem(dialog, IDC_PLAN_LIST), 1).size(), 0u);
            // Restore is refused until the plan is there.
            SendMessageW(dialog, WM_COMMAND, IDC_PLAN_RESTORE, 0);
            EXPECT_TRUE(IsWindowVisible(dialog));
            release.set_value();
        }
        EXPECT_TRUE(SettleUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_PLAN_RESTORE)); }));
        EXPECT_EQ(revivo_test::ListViewTexts(GetDlgItem(dialog, IDC_PLAN_LIST), 1),
                  (std::vector<std::vector<std::u16string>>{{u"Outer"}, {u"    Inner"}, {u"        Ada"}}));
        EXPECT_EQ(itemText(dialog, IDC_PLAN_RIGHTS),
                  u"You may restore these objects: the domain grants the caller the right to reanimate tombstones.");
        SendMessageW(dialog, WM_COMMAND, IDC_PLAN_RESTORE, 0);
        return 0;
    });
    revivo::RestorePlanView view;
    revivo::PlanChoice choice;
    HRESULT checked = E_FAIL;
    EXPECT_EQ(revivo::ShowCheckedRestorePlanDialog(nullptr, check, &view, &choice, &checked), IDC_PLAN_RESTORE);
    EXPECT_TRUE(offTheConsoleThread);
    EXPECT_EQ(checked, S_OK);
    ASSERT_EQ(view.rows.size(), 3u) << "the caller gets the view the dialog showed";
    EXPECT_EQ(view.rows[2].className, u"user");

    // Failing checks: the dialog ends with IDABORT and their reason.
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
        EXPECT_TRUE(SettleUntil([&] { return !IsWindowVisible(surface.window); }));
        return 0;
    });
    view = {};
    EXPECT_EQ(revivo::ShowCheckedRestorePlanDialog(
                  nullptr, [](revivo::RestorePlanView*) { return HRESULT(E_ACCESSDENIED); }, &view, &choice, &checked),
              IDABORT);
    EXPECT_EQ(checked, E_ACCESSDENIED);
    EXPECT_TRUE(view.rows.empty());

    // Closed while checking: it says it waits, and ends with Close's answer once they have.
    for (UINT close : {UINT(WM_COMMAND), UINT(WM_CLOSE)}) {
        std::promise<void> finish;
        std::shared_future<void> finished = finish.get_future().share();
        bool checkEnded = false;
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            HWND dialog = surface.window;
            if (surface.round == 0) {
                SendMessageW(dialog, close, close == WM_COMMAND ? IDCANCEL : 0, 0);
                EXPECT_TRUE(IsWindowVisible(dialog)) << "the dialog stays while the checks run";
                EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
                EXPECT_EQ(itemText(dialog, IDC_PLAN_NOTE), u"Closing once the checks have ended...");
                finish.set_value();
            }
            EXPECT_TRUE(SettleUntil([&] { return !IsWindowVisible(dialog); }));
            return 0;
        });
        view = {};
        INT_PTR answer = revivo::ShowCheckedRestorePlanDialog(
            nullptr,
            [&](revivo::RestorePlanView* planned) {
                finished.wait_for(std::chrono::seconds(60));
                *planned = revivo::RestorePlanViewOf(plan.list());
                checkEnded = true;
                return S_OK;
            },
            &view, &choice, &checked);
        EXPECT_EQ(answer, close == WM_COMMAND ? IDCANCEL : 0);
        EXPECT_TRUE(checkEnded) << "the checks ended before the dialog returned";
        EXPECT_FALSE(choice.reapply);
    }
}

// The one plan of a selection opens at once too, and shows the plan its worker made.
TEST_F(RestoreDialogs, CheckedSelectedPlanShowsThePlanOnceChecked) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    const std::thread::id consoleThread = std::this_thread::get_id();
    bool offTheConsoleThread = false;
    auto check = [&](revivo::SelectedPlanView* view) {
        offTheConsoleThread = std::this_thread::get_id() != consoleThread;
        released.wait_for(std::chrono::seconds(60));
        view->steps = planOfTwoDeletedOus();
        view->selected = 2;
    };
    for (UINT answer : {UINT(IDC_SELECTED_RESTORE), UINT(IDCANCEL)}) {
        lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& surface) -> INT_PTR {
            HWND dialog = surface.window;
            if (surface.round == 0) {
                EXPECT_EQ(itemText(dialog, IDC_SELECTED_SUMMARY), revivo::kSelectedCheckingText);
                EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_SELECTED_RESTORE)));
                if (answer == IDCANCEL) {
                    // Cancelled while checking: it ends only once the checks have.
                    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                    EXPECT_TRUE(IsWindowVisible(dialog));
                    EXPECT_EQ(itemText(dialog, IDC_SELECTED_NOTE), u"Closing once the checks have ended...");
                }
                release.set_value();
            }
            if (answer == IDCANCEL) {
                EXPECT_TRUE(SettleUntil([&] { return !IsWindowVisible(dialog); }));
                return 0;
            }
            EXPECT_TRUE(SettleUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SELECTED_RESTORE)); }));
            EXPECT_EQ(revivo_test::ListViewTexts(GetDlgItem(dialog, IDC_SELECTED_LIST), 1).size(), 4u);
            SendMessageW(dialog, WM_COMMAND, IDC_SELECTED_RESTORE, 0);
            return 0;
        });
        revivo::SelectedPlanView view;
        EXPECT_EQ(revivo::ShowCheckedRestoreSelectedDialog(nullptr, check, &view), INT_PTR(answer));
        EXPECT_TRUE(offTheConsoleThread);
        if (answer == IDC_SELECTED_RESTORE) {
            EXPECT_EQ(view.steps.size(), 4u);
        }
        release = {};
        released = release.get_future().share();
    }
}

}  // namespace
