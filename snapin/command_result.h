// What a provider command hands back: a list headed by a record whose "RefreshReason" says
// what the console has to do. The header is the command's own; the records after it are
// records the receiver holds already (the node's own record, tombstones of its list), handed
// out without a reference of their own.
#pragma once

#include <string>
#include <vector>

#include "shared/property_set.h"
#include "win/oleauto.h"

namespace snapin {

struct CommandResult {
    std::u16string reason;
    std::u16string alternateView;
    std::vector<PropertySet*> records;  // after the header; not owned
};

// Reads a command's result and lets go of its header and the list itself, never of the
// records after the header. A single record is a header without records.
CommandResult TakeCommandResult(VARIANT* result);

// The reason named, compared as the console does (without regard to case).
bool IsReason(const CommandResult& result, const char16_t* reason);

}  // namespace snapin
