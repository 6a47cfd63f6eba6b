// Listing a domain's tombstones.
#pragma once

#include <string>

#include "provider/platform_headers.h"

namespace revivo {

// A UTC time as the "Date Deleted" column shows it: local time, "MM/DD/YYYY - hh:mm".
std::u16string FormatDeletionDate(const SYSTEMTIME& utc);

}  // namespace revivo
