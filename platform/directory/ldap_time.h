// The directory's time syntaxes: GeneralizedTime and UTCTime values as SYSTEMTIMEs, and the
// variant dates ADSI hands them out as.
#pragma once

#include <string>
#include <string_view>

#include "win/oleauto.h"

namespace lumivel::directory {

// GeneralizedTime ("20040307140500.0Z", optional fraction and +hhmm offset) or UTCTime
// ("040307140500Z"), always returned as UTC.
bool ParseLdapTime(std::string_view text, SYSTEMTIME* utc);
std::string FormatGeneralizedTime(const SYSTEMTIME& utc);
// Variant dates with their milliseconds, unlike SystemTimeToVariantTime, which drops them.
DATE SystemTimeToDate(const SYSTEMTIME& time);
bool DateToSystemTime(DATE date, SYSTEMTIME* time);

}  // namespace lumivel::directory
