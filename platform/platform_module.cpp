// Anchor of libplatform.so; each platform area adds its own sources to the library.
#include "win/types.h"

extern "C" LUMIVEL_EXPORT const char* LumivelPlatformVersion() { return "1.0.2"; }
