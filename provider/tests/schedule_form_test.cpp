// The schedule form on the Qt backend, offscreen: its first state, the panels and the monthly
// "Day"/"The" choice, every refusal with its caption and icon, what a confirmed form stores,
// and a screenshot of each panel.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "../../platform/qtui/tests/qt_test_support.h"
#include "lumivel/ui_test_hook.h"
#include "provider/backup/schedule_form.h"
#include "provider/backup/schedule_settings.h"
#include "provider/common/resource_ids.h"
#include "tests/support/private_hives.h"
#include "win/commctrl.h"
#include "win/datetime.h"
#include "win/mstask.h"
#include "win/oleauto.h"

namespace {

using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;
using namespace revivo;

::testing::Environment* const g_hives = ::testing::AddGlobalTestEnvironment(new lumivel::testing::PrivateHives);

std::u16string itemText(HWND dialog, int id) {
    WCHAR text[256] = {};
    GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

std::u16string comboText(HWND dialog, int id) {
    LRESULT index = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
    if (index < 0) return u"";
    WCHAR text[64] = {};
    SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return text;
}

// The panel among the page's children that holds the control.
HWND panelWith(HWND page, int control) {
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (GetDlgItem(child, control)) return child;
    return nullptr;
}

void choose(HWND dialog, int list, int index) {
    SendDlgItemMessageW(dialog, list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(dialog, list)));
}

void click(HWND dialog, int button) {
    SendDlgItemMessageW(dialog, button, BM_CLICK, 0, 0);
}

void check(HWND dialog, int box) { CheckDlgButton(dialog, box, BST_CHECKED); }

struct Message {
    std::u16string caption, text;
    UINT icon;
};

// Runs the form: `fill` works the page on each round the sheet is open; every message box is
// noted and answered with OK. The sheet is confirmed after each fill.
struct FormRun {
    std::function<void(HWND sheet, HWND page, int round)> fill;
    std::vector<Message> messages;
    int rounds = 0;
    bool cancel = false;  // Cancel instead of OK after the fill

    bool show(PropertySet* settings) {
        lumivel::ui::SetTestHook([this](const Surface& surface) -> INT_PTR {
            if (surface.kind == SurfaceKind::MessageBox) {
                messages.push_back({surface.caption, surface.text, static_cast<UINT>(surface.style & MB_ICONMASK)});
                return IDOK;
            }
            ++rounds;
            HWND page = PropSheet_GetCurrentPageHwnd(surface.window);
            fill(surface.window, page, surface.round);
            SendMessageW(surface.window, PSM_PRESSBUTTON, cancel ? PSBTN_CANCEL : PSBTN_OK, 0);
            return 0;
        });
        bool confirmed = ShowScheduleForm(nullptr, settings);
        lumivel::ui::SetTestHook({});
        return confirmed;
    }
};

void account(HWND page, const std::u16string& name, const std::u16string& password, const std::u16string& again) {
    SetDlgItemTextW(page, IDC_ACCOUNT, name.c_str());
    SetDlgItemTextW(page, IDC_PASSWORD, password.c_str());
    SetDlgItemTextW(page, IDC_CONFIRM_PASSWORD, again.c_str());
}

LONG intOf(PropertySet* settings, LPCWSTR key) {
    VARIANT v;
    return settings->getValue(key, &v) && v.vt == VT_I4 ? v.lVal : -1;
}

class ScheduleForm : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::UseQtBackend();
        m_settings = PropertySet::create();
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        m_settings->release();
    }
    PropertySet* m_settings = nullptr;
};

TEST_F(ScheduleForm, StartsOnDailyAndSwitchesPanelsAndMonthlyChoices) {
    FormRun run;
    run.fill = [](HWND sheet, HWND page, int) {
        EXPECT_EQ(GetDlgItem(sheet, 0x3021), nullptr) << "no Apply button";
        EXPECT_EQ(SendDlgItemMessageW(page, IDC_SCHEDULE_LIST, CB_GETCOUNT, 0, 0), 4);
        EXPECT_EQ(comboText(page, IDC_SCHEDULE_LIST), u"Daily");
        HWND daily = panelWith(page, IDC_DAILY_EVERY);
        HWND weekly = panelWith(page, IDC_WEEKLY_EVERY);
        HWND monthly = panelWith(page, IDC_MONTHLY_DAY);
        HWND once = panelWith(page, IDC_ONCE_DATE);
        ASSERT_TRUE(daily && weekly && monthly && once);
        EXPECT_TRUE(IsWindowVisible(daily));
        EXPECT_FALSE(IsWindowVisible(weekly) || IsWindowVisible(monthly) || IsWindowVisible(once));
        EXPECT_EQ(itemText(daily, IDC_DAILY_EVERY), u"1");
        EXPECT_EQ(itemText(weekly, IDC_WEEKLY_EVERY), u"1");
        for (int day = IDC_WEEKLY_MONDAY; day <= IDC_WEEKLY_SUNDAY; ++day) EXPECT_EQ(IsDlgButtonChecked(weekly, day), 0u);
        EXPECT_EQ(IsDlgButtonChecked(monthly, IDC_MONTHLY_DAY), BST_CHECKED);
        EXPECT_EQ(itemText(monthly, IDC_MONTHLY_DAY_NUMBER), u"1");
        for (int list : {IDC_MONTHLY_WEEK, IDC_MONTHLY_WEEKDAY}) {
            EXPECT_FALSE(IsWindowEnabled(GetDlgItem(monthly, list)));
            EXPECT_EQ(SendDlgItemMessageW(monthly, list, CB_GETCURSEL, 0, 0), CB_ERR);
        }
        for (int month = IDC_MONTHLY_JANUARY; month <= IDC_MONTHLY_DECEMBER; ++month)
            EXPECT_EQ(IsDlgButtonChecked(monthly, month), 0u);
        SYSTEMTIME today{}, picked{};
        GetLocalTime(&today);
        EXPECT_EQ(SendDlgItemMessageW(once, IDC_ONCE_DATE, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&picked)), GDT_VALID);
        EXPECT_EQ(picked.wDay, today.wDay);
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(page, IDC_PASSWORD), GWL_STYLE) & ES_PASSWORD);
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(page, IDC_CONFIRM_PASSWORD), GWL_STYLE) & ES_PASSWORD);
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(sheet, qttest::ScreenshotPath("schedule-daily.png")));

        choose(page, IDC_SCHEDULE_LIST, kWeekly);
        EXPECT_TRUE(IsWindowVisible(weekly));
        EXPECT_FALSE(IsWindowVisible(daily));
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(sheet, qttest::ScreenshotPath("schedule-weekly.png")));

        choose(page, IDC_SCHEDULE_LIST, kMonthly);
        EXPECT_TRUE(IsWindowVisible(monthly));
        EXPECT_FALSE(IsWindowVisible(weekly));
        click(monthly, IDC_MONTHLY_THE);
        EXPECT_EQ(comboText(monthly, IDC_MONTHLY_WEEK), u"First");
        EXPECT_EQ(comboText(monthly, IDC_MONTHLY_WEEKDAY), u"Monday");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(monthly, IDC_MONTHLY_WEEK)));
        EXPECT_EQ(itemText(monthly, IDC_MONTHLY_DAY_NUMBER), u"");
        EXPECT_TRUE(GetWindowLongW(GetDlgItem(monthly, IDC_MONTHLY_DAY_NUMBER), GWL_STYLE) & ES_READONLY);
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(sheet, qttest::ScreenshotPath("schedule-monthly.png")));
        click(monthly, IDC_MONTHLY_DAY);
        EXPECT_EQ(itemText(monthly, IDC_MONTHLY_DAY_NUMBER), u"1");
        EXPECT_FALSE(GetWindowLongW(GetDlgItem(monthly, IDC_MONTHLY_DAY_NUMBER), GWL_STYLE) & ES_READONLY);
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(monthly, IDC_MONTHLY_WEEKDAY)));
        EXPECT_EQ(SendDlgItemMessageW(monthly, IDC_MONTHLY_WEEK, CB_GETCURSEL, 0, 0), CB_ERR);

        choose(page, IDC_SCHEDULE_LIST, kOnce);
        EXPECT_TRUE(IsWindowVisible(once));
        qttest::Settle();
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(sheet, qttest::ScreenshotPath("schedule-once.png")));
    };
    run.cancel = true;
    EXPECT_FALSE(run.show(m_settings)) << "cancelled";
    EXPECT_EQ(run.rounds, 1);
    EXPECT_FALSE(m_settings->has(kScheduleKey)) << "a cancelled form stores nothing";
}

TEST_F(ScheduleForm, EveryRefusalKeepsTheFormOpenWithItsMessage) {
    // Each round puts one more thing right; the last one is accepted.
    const std::u16string longPassword(3000, u'p');
    FormRun run;
    run.fill = [&](HWND, HWND page, int round) {
        HWND daily = panelWith(page, IDC_DAILY_EVERY);
        switch (round) {
            case 0: SetDlgItemTextW(daily, IDC_DAILY_EVERY, u"0"); break;
            case 1: SetDlgItemTextW(daily, IDC_DAILY_EVERY, u"366"); break;
            case 2:
                SetDlgItemTextW(daily, IDC_DAILY_EVERY, u"365");
                account(page, u"", u"", u"");
                break;
            case 3: account(page, u"LUMIVEL\\backup", u"", u""); break;
            case 4: account(page, u"LUMIVEL\\backup", u"Secret", u"secret"); break;
            default: account(page, u"LUMIVEL\\backup", longPassword + u"\u00e9", longPassword + u"\u00e9"); break;
        }
    };
    ASSERT_TRUE(run.show(m_settings));
    ASSERT_EQ(run.messages.size(), 5u);
    const Message expected[] = {
        {u"Value", u"The maximum allowed value is 365 days.", MB_ICONSTOP},
        {u"Value", u"The maximum allowed value is 365 days.", MB_ICONSTOP},
        {u"Invalid Account", u"Please enter a valid account.", MB_ICONSTOP},
        {u"Invalid Password", u"You cannot specify an empty password.", MB_ICONSTOP},
        {u"Invalid Password", u"The passwords do not match.", MB_ICONSTOP},
    };
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(run.messages[i].caption, expected[i].caption) << i;
        EXPECT_EQ(run.messages[i].text, expected[i].text) << i;
        EXPECT_EQ(run.messages[i].icon, expected[i].icon) << i;
    }
    EXPECT_EQ(intOf(m_settings, kScheduleKey), kDaily);
    EXPECT_EQ(intOf(m_settings, kTimeSliceKey), 365);
    EXPECT_EQ(m_settings->getText(kAccountKey), u"LUMIVEL\\backup");
    EXPECT_EQ(m_settings->getText(kPasswordKey), longPassword + u"\u00e9") << "read whole, not cut at 1023";
    VARIANT start;
    ASSERT_TRUE(m_settings->getValue(kStartTimeKey, &start));
    EXPECT_EQ(start.vt, VT_DATE);
}

TEST_F(ScheduleForm, WeeklyMonthlyAndOnceRefuseAndStore) {
    struct Case {
        const char* what;
        std::function<void(HWND page, int round)> fill;
        std::vector<Message> refusals;
        std::function<void(PropertySet*)> stored;
    };
    const Case cases[] = {
        {"weekly, its count and its days",
         [](HWND page, int round) {
             choose(page, IDC_SCHEDULE_LIST, kWeekly);
             HWND weekly = panelWith(page, IDC_WEEKLY_EVERY);
             if (round == 0) SetDlgItemTextW(weekly, IDC_WEEKLY_EVERY, u"0");
             if (round == 1) SetDlgItemTextW(weekly, IDC_WEEKLY_EVERY, u"52");
             if (round == 2) check(weekly, IDC_WEEKLY_MONDAY), check(weekly, IDC_WEEKLY_SUNDAY);
         },
         {{u"Value", u"The maximum allowed value is 52 weeks.", MB_ICONSTOP},
          {u"Invalid Data", u"You must select at least one day for the collection to run before you can continue",
           MB_ICONEXCLAMATION}},
         [](PropertySet* s) {
             EXPECT_EQ(intOf(s, kScheduleKey), kWeekly);
             EXPECT_EQ(intOf(s, kTimeSliceKey), 52);
             EXPECT_EQ(intOf(s, kDaysOrMonthsKey), 0x41) << "Monday is bit 0, Sunday bit 6";
         }},
        {"monthly by day",
         [](HWND page, int round) {
             choose(page, IDC_SCHEDULE_LIST, kMonthly);
             HWND monthly = panelWith(page, IDC_MONTHLY_DAY);
             const char16_t* days[] = {u"1", u"32", u"0", u"31"};
             if (round == 1) check(monthly, IDC_MONTHLY_JANUARY + 2);
             SetDlgItemTextW(monthly, IDC_MONTHLY_DAY_NUMBER, days[std::min(round, 3)]);
         },
         {{u"Invalid Data", u"You must select at least one month for the collection to run before you can continue",
           MB_ICONEXCLAMATION},
          {u"Value", u"The maximum allowed value is 31 days.", MB_ICONSTOP},
          {u"Value", u"The maximum allowed value is 31 days.", MB_ICONSTOP}},
         [](PropertySet* s) {
             EXPECT_EQ(intOf(s, kScheduleKey), kMonthly);
             EXPECT_EQ(intOf(s, kTimeSliceKey), 31);
             EXPECT_EQ(intOf(s, kDaysOrMonthsKey), 1 << 2);
             EXPECT_FALSE(s->has(kCycleOfWeekKey));
         }},
        {"monthly on the last Sunday",
         [](HWND page, int) {
             choose(page, IDC_SCHEDULE_LIST, kMonthly);
             HWND monthly = panelWith(page, IDC_MONTHLY_DAY);
             click(monthly, IDC_MONTHLY_THE);
             choose(monthly, IDC_MONTHLY_WEEK, 4);
             choose(monthly, IDC_MONTHLY_WEEKDAY, 6);
             check(monthly, IDC_MONTHLY_DECEMBER);
             check(monthly, IDC_MONTHLY_JANUARY);
         },
         {},
         [](PropertySet* s) {
             EXPECT_EQ(intOf(s, kTimeSliceKey), 4);
             EXPECT_EQ(intOf(s, kCycleOfWeekKey), 6);
             EXPECT_EQ(intOf(s, kDaysOrMonthsKey), 0x801);
         }},
        {"once",
         [](HWND page, int) {
             choose(page, IDC_SCHEDULE_LIST, kOnce);
             SYSTEMTIME day{2027, 2, 0, 28, 0, 0, 0, 0};
             SendDlgItemMessageW(panelWith(page, IDC_ONCE_DATE), IDC_ONCE_DATE, DTM_SETSYSTEMTIME, GDT_VALID,
                                 reinterpret_cast<LPARAM>(&day));
         },
         {},
         [](PropertySet* s) {
             EXPECT_EQ(intOf(s, kScheduleKey), kOnce);
             VARIANT v;
             ASSERT_TRUE(s->getValue(kDaysOrMonthsKey, &v));
             ASSERT_EQ(v.vt, VT_DATE);
             SYSTEMTIME day{};
             VariantTimeToSystemTime(v.date, &day);
             EXPECT_EQ(day.wYear, 2027);
             EXPECT_EQ(day.wMonth, 2);
             EXPECT_EQ(day.wDay, 28);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PropertySet* settings = PropertySet::create();
        FormRun run;
        run.fill = [&](HWND, HWND page, int round) {
            c.fill(page, round);
            account(page, u"backup@LUMIVEL.TEST", u"Pa\"ss", u"Pa\"ss");
        };
        EXPECT_TRUE(run.show(settings));
        ASSERT_EQ(run.messages.size(), c.refusals.size());
        for (size_t i = 0; i < c.refusals.size(); ++i) {
            EXPECT_EQ(run.messages[i].caption, c.refusals[i].caption);
            EXPECT_EQ(run.messages[i].text, c.refusals[i].text);
            EXPECT_EQ(run.messages[i].icon, c.refusals[i].icon);
        }
        c.stored(settings);
        TASK_TRIGGER trigger{};
        EXPECT_EQ(TriggerFromSettings(*settings, &trigger), S_OK) << "what the form stores always makes a trigger";
        settings->release();
    }
}

}  // namespace
