#include "lumivel/standard_output.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

namespace lumivel {

int FlushStandardOutput() {
    std::cout.flush();
    bool failed = !std::cout.good();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) failed = true;
    if (!failed) return 0;
    // A write that failed earlier left its errno behind unless a later call changed it.
    return errno != 0 ? errno : EIO;
}

}  // namespace lumivel
