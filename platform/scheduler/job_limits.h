// The bounds of a run (scheduler area only), so that a hostile archive or directory answer
// cannot take the host down: the address space of its process, LUMIVEL_JOB_MEMORY_LIMIT_MB
// (default 4096), and its processor time, LUMIVEL_JOB_CPU_LIMIT_SECONDS (default 14400), each
// from the service's environment and 0 for none; and for a run handed to the job account at
// most 512 processes and threads of that account. The wall-clock bound is the item's maximum
// run time.
#pragma once

#include <string>

#include "lumivel/confined_process.h"

namespace lumivel::scheduler {

// The script host's exit status when its memory ran out.
inline constexpr DWORD kScriptHostOutOfMemory = 3;

// AddressSanitizer reserves terabytes of shadow memory at start-up: a sanitized script host
// under an address-space bound would never start, so such builds bound processor time only.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSpaceCanBeBounded = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSpaceCanBeBounded = false;
#else
inline constexpr bool kAddressSpaceCanBeBounded = true;
#endif
#else
inline constexpr bool kAddressSpaceCanBeBounded = true;
#endif

ProcessLimits JobLimits(bool jobAccount);

// What a run that ended as `end` with `exitCode` ran into, in words ("it used up ..."); empty
// when no limit ended it. `processorLimit` says whether that was the processor time.
std::string LimitThatEndedRun(const ProcessLimits& limits, const ProcessEnd& end, DWORD exitCode,
                              const std::u16string& applicationName, bool* processorLimit);

}  // namespace lumivel::scheduler
