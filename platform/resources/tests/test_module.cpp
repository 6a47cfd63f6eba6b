// A module that carries nothing but resources; the tests find its handle through this symbol.
#include "win/types.h"

extern "C" LUMIVEL_EXPORT int ResourceTestModuleAnchor() { return 42; }
