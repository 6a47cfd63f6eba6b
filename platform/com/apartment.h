// Apartment bookkeeping shared by the COM runtime's files.
#pragma once

#include "win/types.h"

namespace lumivel::com {

enum class Apartment { None, SingleThreaded, MultiThreaded };

// The calling thread's apartment: its own after CoInitialize(Ex), else the process's
// multithreaded apartment while any thread holds it (implicit membership, as on Windows).
Apartment CurrentApartment();

// Kernel id of the calling thread (the value GetCurrentThreadId gives).
DWORD CurrentThreadId();

}  // namespace lumivel::com
