// The table of resources that the resource compiler generates into each module, and its
// registration under the module's handle. Generated code is the only user of the registration.
#pragma once

#include "win/types.h"

namespace lumivel {

// One resource. A type or name is either a number (typeName/name null) or an upper-case
// string; the compiler guarantees upper case so that lookups compare without regard to case.
struct ResourceEntry {
    const char16_t* typeName;
    WORD typeId;
    const char16_t* name;
    WORD nameId;
    const BYTE* data;
    DWORD size;
};

// Bumped whenever the generated layout changes, so a module built against an older layout is
// refused instead of misread.
inline constexpr DWORD kResourceTableVersion = 1;

struct ResourceTable {
    DWORD version;
    const ResourceEntry* entries;
    size_t count;
};

// A static object of this class in the generated source registers the table under the handle
// of the module that contains it (found with dladdr) while the module is loaded.
class LUMIVEL_EXPORT ResourceTableRegistration {
public:
    explicit ResourceTableRegistration(const ResourceTable* table);
    ~ResourceTableRegistration();
    ResourceTableRegistration(const ResourceTableRegistration&) = delete;
    ResourceTableRegistration& operator=(const ResourceTableRegistration&) = delete;

private:
    const ResourceTable* m_table;
};

}  // namespace lumivel
