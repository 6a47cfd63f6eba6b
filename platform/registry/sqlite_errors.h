// SQLite result codes as Win32 registry errors (registry area only).
#pragma once

#include "win/types.h"

namespace lumivel {
DWORD Win32ErrorFromSqlite(int result);
}
