// The console host as a program that is mostly a command line reaches it: libplatform-qt, and
// Qt with it, is loaded only when the console is to be shown, so that a command never pays
// for the window toolkit's libraries.
#pragma once

#include <string>

#include "win/types.h"

namespace lumivel::console {

// Whether a window can be shown at all: a display is there, or Qt is told where to draw.
LUMIVEL_EXPORT bool ConsoleCanShow();

// Loads libplatform-qt from libplatform's own folder and runs its console with the snap-in
// (null: as RunConsole chooses); the console's status, or -1 with why when the library or its
// entry cannot be loaded.
LUMIVEL_EXPORT int LaunchConsole(const CLSID* snapin, std::string* why);

}  // namespace lumivel::console
