// Member name patterns: '*' any run of characters (slashes included), '?' one character,
// everything else itself without regard to case.
#pragma once

#include <string>
#include <string_view>

namespace revivo::zip {

bool MatchesPattern(std::u16string_view name, std::u16string_view pattern);
// UTF-8 names compared without regard to case: below, at or above zero as left sorts first.
int CompareNamesNoCase(const std::string& left, const std::string& right);
bool NamesEqualNoCase(const std::string& left, const std::string& right);

}  // namespace revivo::zip
