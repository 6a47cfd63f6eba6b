#include "provider/backup/schedule_form.h"

#include <algorithm>
#include <array>
#include <string>

#include "provider/backup/schedule_settings.h"
#include "provider/resource_ids.h"
#include "lumivel/com_object.h"

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

// Says what is wrong and keeps the form open; always false.
bool refuse(HWND page, LPCWSTR text, LPCWSTR caption, UINT icon) {
    MessageBoxW(page, text, caption, MB_OK | icon);
    return false;
}

bool setDate(PropertySet* settings, LPCWSTR key, SYSTEMTIME time) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_DATE;
    time.wMilliseconds = 0;
    return SystemTimeToVariantTime(&time, &value.date) && settings->setValue(key, &value);
}

// The checks and the storing of the form's OK, in the order of the page's fields.
bool confirm(HWND page, FormState& state) {
    PropertySet* settings = state.settings;
    const LRESULT schedule = SendDlgItemMessageW(page, IDC_SCHEDULE_LIST, CB_GETCURSEL, 0, 0);
    HWND panel = schedule >= 0 && schedule < 4 ? state.panels[static_cast<size_t>(schedule)] : nullptr;
    settings->removeValue(kCycleOfWeekKey);
    switch (schedule) {
        case kDaily: {
            LONG days = number(panel, IDC_DAILY_EVERY);
            if (days < 1 || days > kMostDays) return refuse(page, u"The maximum allowed value is 365 days.", u"Value", MB_ICONSTOP);
            settings->setInt(kScheduleKey, kDaily);
            settings->setInt(kTimeSliceKey, days);
            break;
        }
        case kWeekly: {
            // A count of 0 would never advance to another week.
            LONG weeks = number(panel, IDC_WEEKLY_EVERY);
            if (weeks < 1 || weeks > kMostWeeks) return refuse(page, u"The maximum allowed value is 52 weeks.", u"Value", MB_ICONSTOP);
            LONG mask = 0;
            for (int id = IDC_WEEKLY_MONDAY; id <= IDC_WEEKLY_SUNDAY; ++id)
                if (IsDlgButtonChecked(panel, id) == BST_CHECKED) mask |= 1 << (id - IDC_WEEKLY_MONDAY);
            if (!mask)
                return refuse(page, u"You must select at least one day for the collection to run before you can continue",
                              u"Invalid Data", MB_ICONEXCLAMATION);
            settings->setInt(kScheduleKey, kWeekly);
            settings->setInt(kTimeSliceKey, weeks);
            settings->setInt(kDaysOrMonthsKey, mask);
            break;
        }
        case kMonthly: {
            LONG mask = 0;
            for (int id = IDC_MONTHLY_JANUARY; id <= IDC_MONTHLY_DECEMBER; ++id)
                if (IsDlgButtonChecked(panel, id) == BST_CHECKED) mask |= 1 << (id - IDC_MONTHLY_JANUARY);
            if (!mask)
                return refuse(page, u"You must select at least one month for the collection to run before you can continue",
                              u"Invalid Data", MB_ICONEXCLAMATION);
            LONG slice;
            if (IsDlgButtonChecked(panel, IDC_MONTHLY_THE) == BST_CHECKED) {
                slice = static_cast<LONG>(SendDlgItemMessageW(panel, IDC_MONTHLY_WEEK, CB_GETCURSEL, 0, 0));
                LONG weekday = static_cast<LONG>(SendDlgItemMessageW(panel, IDC_MONTHLY_WEEKDAY, CB_GETCURSEL, 0, 0));
                settings->setInt(kCycleOfWeekKey, weekday);
            } else {
                // A day outside 1-31 would shift out of the month's day flags.
                slice = number(panel, IDC_MONTHLY_DAY_NUMBER);
                if (slice < 1 || slice > kMostMonthDays)
                    return refuse(page, u"The maximum allowed value is 31 days.", u"Value", MB_ICONSTOP);
            }
            settings->setInt(kScheduleKey, kMonthly);
            settings->setInt(kTimeSliceKey, slice);
            settings->setInt(kDaysOrMonthsKey, mask);
            break;
        }
        case kOnce: {
            settings->setInt(kScheduleKey, kOnce);
            SYSTEMTIME day{};
            if (SendDlgItemMessageW(panel, IDC_ONCE_DATE, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&day)) == GDT_VALID)
                setDate(settings, kDaysOrMonthsKey, day);
            break;
        }
    }
    SYSTEMTIME start{};
    if (SendDlgItemMessageW(page, IDC_START_TIME, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&start)) == GDT_VALID)
        setDate(settings, kStartTimeKey, start);

    std::u16string account = wholeText(page, IDC_ACCOUNT);
    if (account.empty()) return refuse(page, u"Please enter a valid account.", u"Invalid Account", MB_ICONSTOP);
    settings->setText(kAccountKey, account);
    std::u16string password = wholeText(page, IDC_PASSWORD);
    std::u16string confirmation = wholeText(page, IDC_CONFIRM_PASSWORD);
    bool accepted = false;
    if (password.empty())
        refuse(page, u"You cannot specify an empty password.", u"Invalid Password", MB_ICONSTOP);
    else if (password != confirmation)
        refuse(page, u"The passwords do not match.", u"Invalid Password", MB_ICONSTOP);
    else
        accepted = settings->setText(kPasswordKey, password);
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
