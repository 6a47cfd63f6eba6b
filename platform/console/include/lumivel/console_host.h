// The console host: a window that loads one registered stand-alone snap-in and shows its
// scope tree and result views (libplatform-qt).
#pragma once

#include <optional>

#include "lumivel/console_launch.h"
#include "win/types.h"

namespace lumivel::console {

struct ConsoleOptions {
    // The snap-in to show; without it the one shown last, else the only one registered,
    // else the user chooses.
    std::optional<CLSID> snapin;
};

// Shows the console until its window closes; 0 when it ran, 1 when no snap-in could be
// loaded (after saying why).
LUMIVEL_EXPORT int RunConsole(const ConsoleOptions& options);

}  // namespace lumivel::console
