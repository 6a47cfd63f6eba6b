// The shell completion scripts of `lumivel`, made from its command table. Names that only the
// directory or this user's files know (stored domains, listed tombstones) are asked of
// `lumivel __complete` as the user types.
#pragma once

#include <string>

namespace lumivel_cli {

std::string BashCompletionScript();
std::string ZshCompletionScript();

}  // namespace lumivel_cli
