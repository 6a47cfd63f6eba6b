// Registration of each module's compiled resource table under its module handle, and lookup
// by handle, type and name.
#include <dlfcn.h>
#include <sys/auxv.h>

#include <cstdio>
#include <map>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <unordered_map>

#include "win/errors.h"
#include "lumivel/resource_lookup.h"
#include "lumivel/resource_table.h"
#include "resource_registry.h"
#include "win/winerror.h"

namespace lumivel {
namespace {

// A type or name as the table stores it: a number, or an upper-case string.
struct ResourceKey {
    WORD id = 0;
    std::u16string text;
    bool operator==(const ResourceKey&) const = default;
};

struct ResourceKeyHash {
    size_t operator()(const ResourceKey& key) const {
        return std::hash<std::u16string>()(key.text) * 31 + key.id;
    }
};

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? char16_t(c - u'a' + u'A') : c; }

// Turns a MAKEINTRESOURCE value, "#123" or a name into a key. Only ASCII letters are folded:
// that is all the compiler folds, and names in resource source are identifiers.
std::optional<ResourceKey> KeyFromArgument(LPCWSTR value) {
    if (value == nullptr) return std::nullopt;
    if (IS_INTRESOURCE(value)) return ResourceKey{WORD(reinterpret_cast<ULONG_PTR>(value)), {}};
    std::u16string text(value);
    if (text.size() > 1 && text[0] == u'#') {
        unsigned number = 0;
        for (size_t i = 1; i < text.size(); ++i) {
            if (text[i] < u'0' || text[i] > u'9') return std::nullopt;
            number = number * 10 + unsigned(text[i] - u'0');
            if (number > 0xFFFF) return std::nullopt;
        }
        return ResourceKey{WORD(number), {}};
    }
    for (auto& c : text) c = UpperAscii(c);
    return ResourceKey{0, std::move(text)};
}

ResourceKey KeyFromEntry(const char16_t* text, WORD id) {
    return text ? ResourceKey{0, std::u16string(text)} : ResourceKey{id, {}};
}

struct ModuleResources {
    const ResourceTable* table = nullptr;
    // type -> name -> entry index
    std::unordered_map<ResourceKey, std::unordered_map<ResourceKey, size_t, ResourceKeyHash>, ResourceKeyHash> index;
};

struct Registry {
    std::shared_mutex mutex;
    std::map<ULONG_PTR, ModuleResources> modules;
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // never destroyed: module destructors run late
    return *registry;
}

ULONG_PTR ModuleBaseOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0 || info.dli_fbase == nullptr) return 0;
    return reinterpret_cast<ULONG_PTR>(info.dli_fbase);
}

ULONG_PTR KeyOfModule(HMODULE module) {
    return module ? reinterpret_cast<ULONG_PTR>(module) : reinterpret_cast<ULONG_PTR>(MainProgramHandle());
}

}  // namespace

HMODULE MainProgramHandle() {
    // The main program's program headers lie inside its first mapping, so dladdr on them gives
    // the same load base as for any other address in the program.
    static const ULONG_PTR base = ModuleBaseOf(reinterpret_cast<const void*>(getauxval(AT_PHDR)));
    return reinterpret_cast<HMODULE>(base);
}

ResourceTableRegistration::ResourceTableRegistration(const ResourceTable* table) : m_table(table) {
    if (table == nullptr) return;
    if (table->version != kResourceTableVersion) {
        std::fprintf(stderr, "lumivel: resource table of layout %u ignored (expected %u)\n",
                     unsigned(table->version), unsigned(kResourceTableVersion));
        m_table = nullptr;
        return;
    }
    ULONG_PTR base = ModuleBaseOf(table);
    if (base == 0) {
        m_table = nullptr;
        return;
    }
    ModuleResources resources;
    resources.table = table;
    for (size_t i = 0; i < table->count; ++i) {
        const ResourceEntry& entry = table->entries[i];
        resources.index[KeyFromEntry(entry.typeName, entry.typeId)][KeyFromEntry(entry.name, entry.nameId)] = i;
    }
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    if (!registry.modules.emplace(base, std::move(resources)).second) {
        std::fprintf(stderr, "lumivel: a module carries two resource tables; the second is ignored\n");
        m_table = nullptr;
    }
}

ResourceTableRegistration::~ResourceTableRegistration() {
    if (m_table == nullptr) return;
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    for (auto it = registry.modules.begin(); it != registry.modules.end(); ++it) {
        if (it->second.table == m_table) {
            registry.modules.erase(it);
            break;
        }
    }
}

const ResourceEntry* FindResourceEntry(HMODULE module, LPCWSTR name, LPCWSTR type) {
    auto typeKey = KeyFromArgument(type);
    auto nameKey = KeyFromArgument(name);
    Registry& registry = TheRegistry();
    std::shared_lock lock(registry.mutex);
    auto moduleIt = registry.modules.find(KeyOfModule(module));
    if (moduleIt == registry.modules.end()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const ModuleResources& resources = moduleIt->second;
    auto typeIt = typeKey ? resources.index.find(*typeKey) : resources.index.end();
    if (typeIt == resources.index.end()) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    auto nameIt = nameKey ? typeIt->second.find(*nameKey) : typeIt->second.end();
    if (nameIt == typeIt->second.end()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return &resources.table->entries[nameIt->second];
}

std::optional<ResourceData> FindResourceData(HMODULE module, LPCWSTR name, LPCWSTR type) {
    const ResourceEntry* entry = FindResourceEntry(module, name, type);
    if (entry == nullptr) return std::nullopt;
    return ResourceData{entry->data, entry->size};
}

// HRSRC handles are the entry addresses; this checks that one belongs to a registered table,
// so that a stale or foreign handle is refused instead of read.
const ResourceEntry* ValidResourceEntry(HMODULE module, HRSRC handle) {
    Registry& registry = TheRegistry();
    std::shared_lock lock(registry.mutex);
    auto moduleIt = registry.modules.find(KeyOfModule(module));
    if (moduleIt == registry.modules.end()) return nullptr;
    const ResourceTable* table = moduleIt->second.table;
    auto address = reinterpret_cast<ULONG_PTR>(handle);
    auto first = reinterpret_cast<ULONG_PTR>(table->entries);
    if (address < first || address >= first + table->count * sizeof(ResourceEntry)) return nullptr;
    if ((address - first) % sizeof(ResourceEntry) != 0) return nullptr;
    return reinterpret_cast<const ResourceEntry*>(handle);
}

}  // namespace lumivel
