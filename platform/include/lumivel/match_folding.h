// Text as a search compares it: simple case folding with nonspacing marks dropped and letters
// that carry them reduced to their base letter ("Ångström" becomes "angstrom"). Two texts
// folded so match where a person who types without accents expects them to.
#pragma once

#include <string>
#include <string_view>

#include "win/types.h"

namespace lumivel {

LUMIVEL_EXPORT std::u16string FoldForMatching(std::u16string_view text);
LUMIVEL_EXPORT void AppendFoldedForMatching(std::u16string& out, std::u16string_view text);

}  // namespace lumivel
