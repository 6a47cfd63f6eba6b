#include "provider/backup/schedule_form.h"

#include <algorithm>
#include <array>
#include <string>

#include "lumivel/com_object.h"
#include "provider/backup/schedule_settings.h"
#include "provider/common/resource_ids.h"
#include "shared/schedule_check.h"
#include "win/commctrl.h"
#include "win/mstask.h"
#include "win/oleauto.h"
#include "win/processes.h"

namespace revivo {

namespace {

constexpr const char16_t* kSchedules[] = {u"Daily", u"Weekly", u"Monthly", u"Once"};
constexpr const char16_t* kWeeks[] = {u"First", u"Second", u"Third", u"Fourth", u"Last"};
constexpr const char16_t* kWeekdays[] = {u"Monday", u"Tuesday", u"Wednesday", u"Thursday",
                                         u"Friday", u"Saturday", u"Sunday"};
// The panels in the order of the schedule list.
constexpr int kPanels[] = {IDD_SCHEDULE_DAILY, IDD_SCHEDULE_WEEKLY, IDD_SCHEDULE_MONTHLY, IDD_SCHEDULE_ONCE};
// Where the panels stand on the page, in dialog units.
constexpr RECT kPanelArea = {7, 26, 245, 118};

struct FormState {
    PropertySet* settings = nullptr;
    std::array<HWND, 4> panels{};
};

FormState* stateOf(HWND page) { return reinterpret_cast<FormState*>(GetWindowLongPtrW(page, GWLP_USERDATA)); }

// The whole text of an edit box, however long: a password cut short would be stored wrong.
std::u16string wholeText(HWND dialog, int id) {
    HWND edit = GetDlgItem(dialog, id);
    std::u16string text(static_cast<size_t>(std::max(GetWindowTextLengthW(edit), 0)) + 1, u'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
    return text;
}

void wipe(std::u16string& text) { std::fill(text.begin(), text.end(), u'\0'); }

LONG number(HWND dialog, int id) {
    BOOL translated = FALSE;
    UINT value = GetDlgItemInt(dialog, id, &translated, FALSE);
    return translated && value <= 0x7FFFFFFF ? static_cast<LONG>(value) : 0;
}

void setUpDown(HWND panel, int spin, int edit, int most) {
    HWND control = GetDlgItem(panel, spin);
    SendMessageW(control, UDM_SETBUDDY, reinterpret_cast<WPARAM>(GetDlgItem(panel, edit)), 0);
    SendMessageW(control, UDM_SETRANGE32, 1, most);
    SendMessageW(control, UDM_SETPOS32, 0, 1);
    SetDlgItemInt(panel, edit, 1, FALSE);
}

void chooseDay(HWND panel) {
    CheckRadioButton(panel, IDC_MONTHLY_DAY, IDC_MONTHLY_THE, IDC_MONTHLY_DAY);
    SendDlgItemMessageW(panel, IDC_MONTHLY_DAY_NUMBER, EM_SETREADONLY, FALSE, 0);
    SetDlgItemTextW(panel, IDC_MONTHLY_DAY_NUMBER, u"1");
    for (int list : {IDC_MONTHLY_WEEK, IDC_MONTHLY_WEEKDAY}) {
        SendDlgItemMessageW(panel, list, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        EnableWindow(GetDlgItem(panel, list), FALSE);
    }
}

void chooseThe(HWND panel) {
    CheckRadioButton(panel, IDC_MONTHLY_DAY, IDC_MONTHLY_THE, IDC_MONTHLY_THE);
    for (int list : {IDC_MONTHLY_WEEK, IDC_MONTHLY_WEEKDAY}) {
        EnableWindow(GetDlgItem(panel, list), TRUE);
        SendDlgItemMessageW(panel, list, CB_SETCURSEL, 0, 0);
    }
    SetDlgItemTextW(panel, IDC_MONTHLY_DAY_NUMBER, u"");
    SendDlgItemMessageW(panel, IDC_MONTHLY_DAY_NUMBER, EM_SETREADONLY, TRUE, 0);
}

INT_PTR CALLBACK panelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            switch (static_cast<int>(lParam)) {
                case IDD_SCHEDULE_DAILY: setUpDown(panel, IDC_DAILY_SPIN, IDC_DAILY_EVERY, kMostDays); break;
                case IDD_SCHEDULE_WEEKLY: setUpDown(panel, IDC_WEEKLY_SPIN, IDC_WEEKLY_EVERY, kMostWeeks); break;
                case IDD_SCHEDULE_MONTHLY:
                    for (const char16_t* week : kWeeks) SendDlgItemMessageW(panel, IDC_MONTHLY_WEEK, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(week));
                    for (const char16_t* day : kWeekdays) SendDlgItemMessageW(panel, IDC_MONTHLY_WEEKDAY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(day));
                    chooseDay(panel);
                    break;
            }
            return FALSE;
        case WM_COMMAND:
            if (HIWORD(wParam) != BN_CLICKED) return FALSE;
            if (LOWORD(wParam) == IDC_MONTHLY_DAY) chooseDay(panel);
            else if (LOWORD(wParam) == IDC_MONTHLY_THE) chooseThe(panel);
            else return FALSE;
            return TRUE;
    }
    return FALSE;
}

void showPanel(FormState& state, LRESULT chosen) {
    for (size_t i = 0; i < state.panels.size(); ++i)
        ShowWindow(state.panels[i], static_cast<LRESULT>(i) == chosen ? SW_SHOW : SW_HIDE);
}

bool createPanels(HWND page, FormState& state) {
    RECT area = kPanelArea;
    MapDialogRect(page, &area);
    for (size_t i = 0; i < state.panels.size(); ++i) {
        state.panels[i] = CreateDialogParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(kPanels[i]), page, panelProc, kPanels[i]);
        if (!state.panels[i]) return false;
        SetWindowPos(state.panels[i], nullptr, area.left, area.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    return true;
}

bool setDate(PropertySet* settings, LPCWSTR key, SYSTEMTIME time) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DATE;
    time.wMilliseconds = 0;
    return SystemTimeToVariantTime(&time, &value.date) && settings->setValue(key, &value);
}

LONG tickedMask(HWND panel, int first, int last) {
    LONG mask = 0;
    for (int id = first; id <= last; ++id)
        if (IsDlgButtonChecked(panel, id) == BST_CHECKED) mask |= 1 << (id - first);
    return mask;
}

// The form's OK: its fields checked as every maker of a backup job checks them, then stored.
bool confirm(HWND page, FormState& state) {
    PropertySet* settings = state.settings;
    const LRESULT schedule = SendDlgItemMessageW(page, IDC_SCHEDULE_LIST, CB_GETCURSEL, 0, 0);
    HWND panel = schedule >= 0 && schedule < 4 ? state.panels[static_cast<size_t>(schedule)] : nullptr;
    std::u16string account = wholeText(page, IDC_ACCOUNT);
    std::u16string password = wholeText(page, IDC_PASSWORD);
    std::u16string confirmation = wholeText(page, IDC_CONFIRM_PASSWORD);
    lumivel::shared::ScheduleEntries entries;
    entries.schedule = static_cast<LONG>(schedule);
    entries.account = account;
    entries.password = password;
    entries.confirmation = confirmation;
    switch (schedule) {
        case kDaily: entries.count = number(panel, IDC_DAILY_EVERY); break;
        case kWeekly:
            entries.count = number(panel, IDC_WEEKLY_EVERY);
            entries.mask = tickedMask(panel, IDC_WEEKLY_MONDAY, IDC_WEEKLY_SUNDAY);
            break;
        case kMonthly:
            entries.mask = tickedMask(panel, IDC_MONTHLY_JANUARY, IDC_MONTHLY_DECEMBER);
            entries.byWeekday = IsDlgButtonChecked(panel, IDC_MONTHLY_THE) == BST_CHECKED;
            entries.count = entries.byWeekday
                                ? static_cast<LONG>(SendDlgItemMessageW(panel, IDC_MONTHLY_WEEK, CB_GETCURSEL, 0, 0))
                                : number(panel, IDC_MONTHLY_DAY_NUMBER);
            break;
    }
    std::optional<lumivel::shared::ScheduleRefusal> refused = lumivel::shared::CheckScheduleEntries(entries);
    bool accepted = !refused && schedule >= kDaily && schedule <= kOnce;
    if (refused) MessageBoxW(page, refused->text, refused->caption, MB_OK | refused->icon);
    if (accepted) {
        settings->removeValue(kCycleOfWeekKey);
        settings->setInt(kScheduleKey, entries.schedule);
        if (schedule != kOnce) settings->setInt(kTimeSliceKey, entries.count);
        if (schedule == kWeekly || schedule == kMonthly) settings->setInt(kDaysOrMonthsKey, entries.mask);
        if (schedule == kMonthly && entries.byWeekday)
            settings->setInt(kCycleOfWeekKey,
                             static_cast<LONG>(SendDlgItemMessageW(panel, IDC_MONTHLY_WEEKDAY, CB_GETCURSEL, 0, 0)));
        SYSTEMTIME day{};
        if (schedule == kOnce &&
            SendDlgItemMessageW(panel, IDC_ONCE_DATE, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&day)) == GDT_VALID)
            setDate(settings, kDaysOrMonthsKey, day);
        SYSTEMTIME start{};
        if (SendDlgItemMessageW(page, IDC_START_TIME, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&start)) == GDT_VALID)
            setDate(settings, kStartTimeKey, start);
        settings->setText(kAccountKey, account);
        accepted = settings->setText(kPasswordKey, password);
    }
    wipe(password);
    wipe(confirmation);
    return accepted;
}

INT_PTR CALLBACK pageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            auto* state = reinterpret_cast<FormState*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
            SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
            for (const char16_t* schedule : kSchedules)
                SendDlgItemMessageW(page, IDC_SCHEDULE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(schedule));
            SendDlgItemMessageW(page, IDC_SCHEDULE_LIST, CB_SETCURSEL, kDaily, 0);
            if (createPanels(page, *state)) showPanel(*state, kDaily);
            return TRUE;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_SCHEDULE_LIST && HIWORD(wParam) == CBN_SELCHANGE) {
                if (FormState* state = stateOf(page))
                    showPanel(*state, SendDlgItemMessageW(page, IDC_SCHEDULE_LIST, CB_GETCURSEL, 0, 0));
                return TRUE;
            }
            return FALSE;
        case WM_NOTIFY:
            if (reinterpret_cast<NMHDR*>(lParam)->code == PSN_APPLY) {
                FormState* state = stateOf(page);
                bool accepted = state && confirm(page, *state);
                SetWindowLongPtrW(page, DWLP_MSGRESULT, accepted ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
                return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

bool ShowScheduleForm(HWND owner, PropertySet* settings) {
    FormState state;
    state.settings = settings;
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.hInstance = lumivel::com::ThisModuleHandle();
    page.pszTemplate = MAKEINTRESOURCEW(IDD_SCHEDULE);
    page.pfnDlgProc = pageProc;
    page.lParam = reinterpret_cast<LPARAM>(&state);
    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP;
    sheet.hwndParent = owner;
    sheet.hInstance = lumivel::com::ThisModuleHandle();
    sheet.pszCaption = u"Schedule";
    sheet.nPages = 1;
    sheet.ppsp = &page;
    return PropertySheetW(&sheet) > 0;
}

}  // namespace revivo
