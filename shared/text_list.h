// Lists of strings kept in a record: a VT_ARRAY|VT_VARIANT of VT_BSTR, as ADSI builds them, so
// that every module reads and writes them one way.
#pragma once

#include <string>
#include <vector>

#include "shared/property_set.h"

namespace lumivel::shared {

// Stores the texts under the key (nothing for an empty list); false when memory runs out.
bool SetTextList(PropertySet* record, LPCWSTR key, const std::vector<std::u16string>& texts);

// The strings stored under the key, in order; elements that are no strings are skipped, and a
// single string is a list of one.
std::vector<std::u16string> TextListOf(const PropertySet* record, LPCWSTR key);

}  // namespace lumivel::shared
