// What the top list shows of a tombstone's own texts: the name a person knows it by, and a last
// known parent that is itself deleted as that parent's name marked deleted. The raw texts stay
// in the records (sorting, the filter, commands) and in the tip over the cell.
#pragma once

#include <string>
#include <string_view>

namespace panorel {

// The record keys whose cells are shown readable.
inline constexpr char16_t kParentKey[] = u"parent";

// A tombstone's name without its "\nDEL:<guid>" suffix; any other name as it is.
std::u16string ReadableName(std::u16string_view name);
// A deleted parent's DN ("OU=Payroll\0ADEL:<guid>,CN=Deleted Objects,...") as
// "OU=Payroll (deleted)"; any other DN as it is.
std::u16string ReadablePlace(std::u16string_view dn);

}  // namespace panorel
