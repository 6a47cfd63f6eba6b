// Process-wide source of handle values for graphics and window objects.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "lumivel/handle_table.h"

namespace lumivel {

ULONG_PTR NewHandleValue() {
    static std::atomic<ULONG_PTR> next{0x10000};
    ULONG_PTR value = next.fetch_add(4, std::memory_order_relaxed);
    if (value >= 0x7FFFFFF0) {
        // Half a billion objects created in one process: refusing to wrap keeps every stale
        // handle stale, which matters more than going on.
        std::fputs("lumivel: handle values exhausted\n", stderr);
        std::abort();
    }
    return value;
}

}  // namespace lumivel
