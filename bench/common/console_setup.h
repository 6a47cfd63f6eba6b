// What the console benchmarks do before their first console: a registry of their own in a
// private folder, every console module registered there, offscreen drawing with a private
// runtime folder, and the domain connected.
#pragma once

#include <string>

namespace bench {

// Sets this process's environment for a console in `folder` (made private by the caller) and
// registers the modules beside this program. False, having said why under `name`, on failure.
bool PrepareConsole(const char* name, const std::string& folder, const std::string& domain);

}  // namespace bench
