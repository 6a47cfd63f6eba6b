#include "shared/schedule_check.h"

#include <algorithm>

#include "shared/provider_interfaces.h"
#include "win/user.h"

namespace lumivel::shared {

namespace {

constexpr ScheduleRefusal kTooManyDays{u"The maximum allowed value is 365 days.", u"Value", MB_ICONSTOP};
constexpr ScheduleRefusal kTooManyWeeks{u"The maximum allowed value is 52 weeks.", u"Value", MB_ICONSTOP};
constexpr ScheduleRefusal kNoSuchMonthDay{u"The maximum allowed value is 31 days.", u"Value", MB_ICONSTOP};
constexpr ScheduleRefusal kNoDay{u"You must select at least one day for the collection to run before you can continue",
                                 u"Invalid Data", MB_ICONEXCLAMATION};
constexpr ScheduleRefusal kNoMonth{
    u"You must select at least one month for the collection to run before you can continue", u"Invalid Data",
    MB_ICONEXCLAMATION};
constexpr ScheduleRefusal kNoAccount{u"Please enter a valid account.", u"Invalid Account", MB_ICONSTOP};
constexpr ScheduleRefusal kEmptyPassword{u"You cannot specify an empty password.", u"Invalid Password", MB_ICONSTOP};
constexpr ScheduleRefusal kPasswordsDiffer{u"The passwords do not match.", u"Invalid Password", MB_ICONSTOP};

bool within(LONG value, LONG most) { return value >= 1 && value <= most; }

std::optional<ScheduleRefusal> checkSchedule(const ScheduleEntries& entries) {
    switch (entries.schedule) {
        case kScheduleDaily:
            if (!within(entries.count, kMostDays)) return kTooManyDays;
            break;
        case kScheduleWeekly:
            if (!within(entries.count, kMostWeeks)) return kTooManyWeeks;
            if ((entries.mask & 0x7F) == 0) return kNoDay;
            break;
        case kScheduleMonthly:
            if ((entries.mask & 0xFFF) == 0) return kNoMonth;
            if (!entries.byWeekday && !within(entries.count, kMostMonthDays)) return kNoSuchMonthDay;
            break;
    }
    return std::nullopt;
}

bool intValue(const PropertySet& record, LPCWSTR key, LONG* value) {
    VARIANT v;
    if (!record.getValue(key, &v)) return false;
    if (v.vt != VT_I4) return false;
    *value = v.lVal;
    return true;
}

}  // namespace

std::optional<ScheduleRefusal> CheckScheduleEntries(const ScheduleEntries& entries) {
    if (std::optional<ScheduleRefusal> refused = checkSchedule(entries)) return refused;
    if (entries.account.empty()) return kNoAccount;
    if (entries.password.empty()) return kEmptyPassword;
    if (entries.password != entries.confirmation) return kPasswordsDiffer;
    return std::nullopt;
}

LONG ScheduleNumber(std::u16string_view digits) {
    if (digits.empty()) return 0;
    unsigned long long value = 0;
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9') return 0;
        value = value * 10 + static_cast<unsigned>(c - u'0');
        if (value > 0x7FFFFFFF) return 0;
    }
    return static_cast<LONG>(value);
}

std::optional<ScheduleEntries> ScheduleEntriesOf(const PropertySet& record) {
    ScheduleEntries entries;
    LONG cycle = 0;
    if (!intValue(record, kScheduleKey, &entries.schedule)) return std::nullopt;
    if (record.has(kTimeSliceKey) && !intValue(record, kTimeSliceKey, &entries.count)) return std::nullopt;
    // A run date is a date; only the weekly and monthly masks are numbers.
    if (entries.schedule != kScheduleOnce && record.has(kDaysOrMonthsKey) &&
        !intValue(record, kDaysOrMonthsKey, &entries.mask))
        return std::nullopt;
    if (record.has(kCycleOfWeekKey) && !intValue(record, kCycleOfWeekKey, &cycle)) return std::nullopt;
    entries.byWeekday = record.has(kCycleOfWeekKey);
    entries.account = record.getText(kAccountKey);
    entries.password = record.getText(kPasswordKey);
    entries.confirmation = entries.password;
    return entries;
}

void ForgetPassword(PropertySet& record) {
    BSTR password = record.getString(kPasswordKey);
    if (password) std::fill(password, password + SysStringLen(password), u'\0');
    record.removeValue(kPasswordKey);
}

}  // namespace lumivel::shared
