// The result list's optional "Restores Into" column: the DN a tombstone would get if it were
// restored now, its deleted parents resolved through the listed tombstones by the restore
// plan's rule (shared/restore_chain.h). The provider offers the column; the control works out
// its texts from the records it shows, so the listing carries nothing more for it.
#pragma once

#include "shared/provider_interfaces.h"

// The column's key: no record carries it, the control fills the cell.
inline constexpr char16_t kRestoresIntoKey[] = u"RestoresInto";
inline constexpr char16_t kRestoresIntoTitle[] = u"Restores Into";
// GetColumns view type 4: the result list's four columns followed by "Restores Into"; view type
// 5: the four, "Expires" and "Restores Into" (the very records view types 1 and 3 hand out). Its
// width is the value "Restores Into" of kResultColumnsKey, default 100; a caller that shows it on
// request keeps the request as the DWORD kRestoresIntoShownValue (1 shown) beside the widths.
inline constexpr LONG kViewTypeResultWithRestoresInto = 4;
inline constexpr LONG kViewTypeResultWithBoth = 5;
inline constexpr char16_t kRestoresIntoShownValue[] = u"RestoresIntoShown";
