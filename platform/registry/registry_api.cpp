// The registry functions on the two hives, with HKEY_CLASSES_ROOT as their merged view.
#include <algorithm>
#include <optional>
#include <unordered_set>

#include "hive.h"
#include "lumivel/kernel_object.h"
#include "lumivel/registry_hive_file.h"
#include "lumivel/wide_string.h"
#include "win/errors.h"
#include "win/winreg.h"

namespace {

using lumivel::Hive;
using lumivel::HiveSubkey;
using lumivel::HiveValue;

constexpr std::u16string_view kClassesRoot = u"Software\\Classes";
constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

// A position in one hive.
struct Side {
    Hive* hive = nullptr;
    int64_t id = 0;
};

class KeyObject : public lumivel::KernelObject {
public:
    enum class Kind { Plain, Classes };

    Kind kind = Kind::Plain;
    Side plain;                  // Plain keys
    std::u16string classesPath;  // Classes keys: the path below Software\Classes
    REGSAM access = KEY_ALL_ACCESS;

    // Enumeration snapshots, rebuilt when a hive changes, so that enumerating n entries by
    // index costs n rather than n squared.
    std::mutex cacheMutex;
    std::pair<uint64_t, uint64_t> valuesVersion{~0ull, ~0ull}, subkeysVersion{~0ull, ~0ull};
    std::vector<HiveValue> values;
    std::vector<HiveSubkey> subkeys;
};

std::shared_ptr<KeyObject> Predefined(Hive* hive) {
    auto key = std::make_shared<KeyObject>();
    key->plain = {hive, Hive::kRoot};
    return key;
}

std::shared_ptr<KeyObject> PredefinedClasses() {
    auto key = std::make_shared<KeyObject>();
    key->kind = KeyObject::Kind::Classes;
    return key;
}

std::shared_ptr<KeyObject> Resolve(HKEY handle, DWORD* error) {
    static auto machine = Predefined(&lumivel::MachineHive());
    static auto user = Predefined(&lumivel::UserHive());
    static auto classes = PredefinedClasses();
    if (handle == HKEY_LOCAL_MACHINE) return machine;
    if (handle == HKEY_CURRENT_USER) return user;
    if (handle == HKEY_CLASSES_ROOT) return classes;
    auto key = lumivel::LookupHandleAs<KeyObject>(reinterpret_cast<HANDLE>(handle));
    if (!key) *error = ERROR_INVALID_HANDLE;
    return key;
}

bool IsPredefined(HKEY handle) {
    auto value = reinterpret_cast<uintptr_t>(handle);
    return value >= reinterpret_cast<uintptr_t>(HKEY_CLASSES_ROOT) && value <= reinterpret_cast<uintptr_t>(HKEY_USERS);
}

std::u16string Join(std::u16string_view base, std::u16string_view tail) {
    if (base.empty()) return std::u16string(tail);
    if (tail.empty()) return std::u16string(base);
    return std::u16string(base) + u"\\" + std::u16string(tail);
}

DWORD ValidateSubkey(LPCWSTR subKey) {
    if (!subKey) return ERROR_SUCCESS;
    std::u16string_view path(subKey);
    if (!path.empty() && path[0] == u'\\') return ERROR_BAD_PATHNAME;
    size_t start = 0, levels = 0;
    while (start <= path.size()) {
        size_t end = path.find(u'\\', start);
        if (end == std::u16string_view::npos) end = path.size();
        if (end - start > kMaxKeyNameLength) return ERROR_INVALID_PARAMETER;
        // No key lies deeper than that below any other, so a longer path names none.
        if (end > start && ++levels > lumivel::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
        start = end + 1;
    }
    return ERROR_SUCCESS;
}

std::u16string_view ValueName(LPCWSTR name) { return name ? std::u16string_view(name) : std::u16string_view(); }

// Finds a Classes path in one hive; ERROR_FILE_NOT_FOUND when that side lacks it.
DWORD FindClassesSide(Hive& hive, std::u16string_view path, Side* side) {
    int64_t id = 0;
    DWORD e = hive.findPath(Hive::kRoot, Join(kClassesRoot, path), &id);
    if (e == ERROR_SUCCESS) *side = {&hive, id};
    return e;
}

struct ClassesSides {
    std::optional<Side> user, machine;
};

// The user's and the machine's key behind a Classes path; ERROR_FILE_NOT_FOUND when neither
// has it. A broken hive is reported, not passed over.
DWORD FindClasses(std::u16string_view path, ClassesSides* sides) {
    Side side;
    DWORD u = FindClassesSide(lumivel::UserHive(), path, &side);
    if (u == ERROR_SUCCESS) sides->user = side;
    else if (u != ERROR_FILE_NOT_FOUND) return u;
    DWORD m = FindClassesSide(lumivel::MachineHive(), path, &side);
    if (m == ERROR_SUCCESS) sides->machine = side;
    else if (m != ERROR_FILE_NOT_FOUND) return m;
    if (!sides->user && !sides->machine) return path.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
}

// Where value writes to a Classes key go, as on Windows: the user's key when the user has one
// (reads take the user's value first, so a write there is what a later read gives), else the
// machine's, which is created for the root of the view.
DWORD ClassesWriteSide(const KeyObject& key, Side* side, bool createMachine) {
    ClassesSides sides;
    DWORD e = FindClasses(key.classesPath, &sides);
    if (e == ERROR_FILE_NOT_FOUND) return key.classesPath.empty() ? ERROR_SUCCESS : ERROR_KEY_DELETED;
    if (e) return e;
    if (sides.user) {
        *side = *sides.user;
        return ERROR_SUCCESS;
    }
    if (sides.machine) {
        *side = *sides.machine;
        return ERROR_SUCCESS;
    }
    if (!createMachine) return ERROR_KEY_DELETED;
    bool created = false;
    int64_t id = 0;
    e = lumivel::MachineHive().createPath(Hive::kRoot, Join(kClassesRoot, key.classesPath), &id, &created);
    if (e == ERROR_SUCCESS) *side = {&lumivel::MachineHive(), id};
    return e;
}

DWORD WritableAccess(Hive& hive, REGSAM requested, REGSAM* granted) {
    requested &= ~(KEY_WOW64_64KEY | KEY_WOW64_32KEY);
    if (requested & 0x80000000u) requested = (requested & ~0x80000000u) | KEY_READ;  // GENERIC_READ
    if (requested & 0x40000000u) requested = (requested & ~0x40000000u) | KEY_WRITE;  // GENERIC_WRITE
    if (requested & 0x20000000u) requested = (requested & ~0x20000000u) | KEY_EXECUTE;
    if (requested & 0x10000000u) requested = (requested & ~0x10000000u) | KEY_ALL_ACCESS;
    bool canWrite = true;
    if (DWORD e = hive.writable(&canWrite)) return e;
    if (requested & MAXIMUM_ALLOWED) {
        *granted = canWrite ? KEY_ALL_ACCESS : KEY_READ;
        return ERROR_SUCCESS;
    }
    if ((requested & kWriteRights) && !canWrite) return ERROR_ACCESS_DENIED;
    *granted = requested;
    return ERROR_SUCCESS;
}

DWORD Open(const KeyObject& parent, LPCWSTR subKey, REGSAM access, bool create, std::shared_ptr<KeyObject>* out,
           bool* created) {
    *created = false;
    if (DWORD e = ValidateSubkey(subKey)) return e;
    std::u16string_view path = subKey ? std::u16string_view(subKey) : std::u16string_view();
    auto key = std::make_shared<KeyObject>();
    if (parent.kind == KeyObject::Kind::Plain) {
        Hive& hive = *parent.plain.hive;
        int64_t id = 0;
        DWORD e = hive.findPath(parent.plain.id, path, &id);
        if (e == ERROR_FILE_NOT_FOUND && create) {
            if (!(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            e = hive.createPath(parent.plain.id, path, &id, created);
        }
        if (e) return e;
        if (DWORD a = WritableAccess(hive, access, &key->access)) return a;
        key->plain = {&hive, id};
    } else {
        key->kind = KeyObject::Kind::Classes;
        key->classesPath = Join(parent.classesPath, path);
        ClassesSides sides;
        DWORD e = FindClasses(key->classesPath, &sides);
        if (e == ERROR_FILE_NOT_FOUND && create) {
            if (!(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
            // Under a key that only the user has, the new key is the user's too.
            ClassesSides parentSides;
            DWORD pe = FindClasses(parent.classesPath, &parentSides);
            Hive& target = (pe == ERROR_SUCCESS && parentSides.user && !parentSides.machine) ? lumivel::UserHive()
                                                                                            : lumivel::MachineHive();
            int64_t id = 0;
            e = target.createPath(Hive::kRoot, Join(kClassesRoot, key->classesPath), &id, created);
        }
        if (e) return e;
        if (DWORD a = WritableAccess(lumivel::MachineHive(), access, &key->access)) return a;
    }
    *out = key;
    return ERROR_SUCCESS;
}

uint64_t SideVersion(Hive& hive) { return hive.version(); }

std::pair<uint64_t, uint64_t> Versions(const KeyObject& key) {
    if (key.kind == KeyObject::Kind::Plain) return {SideVersion(*key.plain.hive), 0};
    return {SideVersion(lumivel::UserHive()), SideVersion(lumivel::MachineHive())};
}

// Merges the user's entries over the machine's, by folded name, user's first.
template <class Entry>
std::vector<Entry> Merge(std::vector<Entry> user, const std::vector<Entry>& machine) {
    std::unordered_set<std::u16string> seen;
    for (const auto& e : user) seen.insert(lumivel::FoldCase(e.name));
    for (const auto& e : machine)
        if (!seen.count(lumivel::FoldCase(e.name))) user.push_back(e);
    return user;
}

DWORD LoadValues(KeyObject& key) {
    auto versions = Versions(key);
    if (versions == key.valuesVersion && versions.first != ~0ull) return ERROR_SUCCESS;
    std::vector<HiveValue> values;
    if (key.kind == KeyObject::Kind::Plain) {
        if (DWORD e = key.plain.hive->listValues(key.plain.id, &values)) return e;
    } else {
        ClassesSides sides;
        DWORD e = FindClasses(key.classesPath, &sides);
        if (e == ERROR_FILE_NOT_FOUND) return ERROR_KEY_DELETED;
        if (e) return e;
        std::vector<HiveValue> user, machine;
        if (sides.user)
            if (DWORD e2 = sides.user->hive->listValues(sides.user->id, &user)) return e2;
        if (sides.machine)
            if (DWORD e2 = sides.machine->hive->listValues(sides.machine->id, &machine)) return e2;
        values = Merge(std::move(user), machine);
    }
    key.values = std::move(values);
    key.valuesVersion = versions;
    return ERROR_SUCCESS;
}

DWORD LoadSubkeys(KeyObject& key) {
    auto versions = Versions(key);
    if (versions == key.subkeysVersion && versions.first != ~0ull) return ERROR_SUCCESS;
    std::vector<HiveSubkey> subkeys;
    if (key.kind == KeyObject::Kind::Plain) {
        if (DWORD e = key.plain.hive->listSubkeys(key.plain.id, &subkeys)) return e;
    } else {
        ClassesSides sides;
        DWORD e = FindClasses(key.classesPath, &sides);
        if (e == ERROR_FILE_NOT_FOUND) return ERROR_KEY_DELETED;
        if (e) return e;
        std::vector<HiveSubkey> user, machine;
        if (sides.user)
            if (DWORD e2 = sides.user->hive->listSubkeys(sides.user->id, &user)) return e2;
        if (sides.machine)
            if (DWORD e2 = sides.machine->hive->listSubkeys(sides.machine->id, &machine)) return e2;
        subkeys = Merge(std::move(user), machine);
    }
    key.subkeys = std::move(subkeys);
    key.subkeysVersion = versions;
    return ERROR_SUCCESS;
}

DWORD GetValue(const KeyObject& key, std::u16string_view name, HiveValue* value) {
    if (key.kind == KeyObject::Kind::Plain) return key.plain.hive->getValue(key.plain.id, name, value);
    ClassesSides sides;
    DWORD e = FindClasses(key.classesPath, &sides);
    if (e == ERROR_FILE_NOT_FOUND) return ERROR_KEY_DELETED;
    if (e) return e;
    for (auto& side : {sides.user, sides.machine}) {
        if (!side) continue;
        e = side->hive->getValue(side->id, name, value);
        if (e != ERROR_FILE_NOT_FOUND) return e;
    }
    return ERROR_FILE_NOT_FOUND;
}

DWORD CopyData(const std::vector<BYTE>& data, DWORD type, LPBYTE out, LPDWORD size) {
    if (!size) return out ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS;
    DWORD needed = static_cast<DWORD>(data.size());
    if (!out) {
        *size = needed;
        return ERROR_SUCCESS;
    }
    if (*size < needed) {
        *size = needed;
        return ERROR_MORE_DATA;
    }
    std::copy(data.begin(), data.end(), out);
    // A string stored without its terminator gets one when the buffer has room for it; the
    // size reported stays the stored one.
    bool isString = type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
    if (isString && needed % 2 == 0 && *size >= needed + 2 &&
        (needed < 2 || data[needed - 1] != 0 || data[needed - 2] != 0)) {
        out[needed] = 0;
        out[needed + 1] = 0;
    }
    *size = needed;
    return ERROR_SUCCESS;
}

HKEY Publish(std::shared_ptr<KeyObject> key, DWORD* error) {
    HANDLE handle = lumivel::InsertHandle(std::move(key));
    if (!handle) *error = ERROR_NOT_ENOUGH_MEMORY;
    return reinterpret_cast<HKEY>(handle);
}

DWORD DeleteKey(HKEY hKey, LPCWSTR lpSubKey, bool tree) {
    DWORD error = ERROR_SUCCESS;
    auto parent = Resolve(hKey, &error);
    if (!parent) return error;
    if (DWORD e = ValidateSubkey(lpSubKey)) return e;
    std::u16string_view path = ValueName(lpSubKey);
    if (path.empty() && IsPredefined(hKey)) return ERROR_ACCESS_DENIED;
    if (parent->kind == KeyObject::Kind::Plain) {
        int64_t id = 0;
        if (DWORD e = parent->plain.hive->findPath(parent->plain.id, path, &id)) return e;
        return parent->plain.hive->deleteKey(id, tree);
    }
    std::u16string full = Join(parent->classesPath, path);
    if (full.empty()) return ERROR_ACCESS_DENIED;
    ClassesSides sides;
    if (DWORD e = FindClasses(full, &sides)) return e == ERROR_FILE_NOT_FOUND && path.empty() ? ERROR_KEY_DELETED : e;
    // The key goes from both views, so that unregistering a class really removes it.
    for (auto& side : {sides.user, sides.machine})
        if (side)
            if (DWORD e = side->hive->deleteKey(side->id, tree)) return e;
    return ERROR_SUCCESS;
}

}  // namespace

extern "C" {

LSTATUS RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD dwOptions, REGSAM samDesired,
                        const LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    // Volatile keys are kept like the others; links are not supported.
    if (dwOptions & (REG_OPTION_CREATE_LINK | REG_OPTION_OPEN_LINK)) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    auto parent = Resolve(hKey, &error);
    if (!parent) return error;
    std::shared_ptr<KeyObject> key;
    bool created = false;
    if (DWORD e = Open(*parent, lpSubKey, samDesired, true, &key, &created)) return e;
    HKEY handle = Publish(key, &error);
    if (!handle) return error;
    *phkResult = handle;
    if (lpdwDisposition) *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, REG_OPTION_NON_VOLATILE, MAXIMUM_ALLOWED, nullptr, phkResult,
                           nullptr);
}

LSTATUS RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    DWORD error = ERROR_SUCCESS;
    auto parent = Resolve(hKey, &error);
    if (!parent) return error;
    std::shared_ptr<KeyObject> key;
    bool created = false;
    if (DWORD e = Open(*parent, lpSubKey, samDesired, false, &key, &created)) return e;
    HKEY handle = Publish(key, &error);
    if (!handle) return error;
    *phkResult = handle;
    return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyW(HKEY hKey, LPCWSTR lpSubKey, PHKEY phkResult) {
    return RegOpenKeyExW(hKey, lpSubKey, 0, MAXIMUM_ALLOWED, phkResult);
}

LSTATUS RegCloseKey(HKEY hKey) {
    if (IsPredefined(hKey)) return ERROR_SUCCESS;
    if (!lumivel::LookupHandleAs<KeyObject>(reinterpret_cast<HANDLE>(hKey))) return ERROR_INVALID_HANDLE;
    lumivel::RemoveHandle(reinterpret_cast<HANDLE>(hKey));
    return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                         LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    auto key = Resolve(hKey, &error);
    if (!key) return error;
    if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    HiveValue value;
    if (DWORD e = GetValue(*key, ValueName(lpValueName), &value)) return e;
    if (lpType) *lpType = value.type;
    return CopyData(value.data, value.type, lpData, lpcbData);
}

LSTATUS RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) return ERROR_NOACCESS;
    if (ValueName(lpValueName).size() > kMaxValueNameLength) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    auto key = Resolve(hKey, &error);
    if (!key) return error;
    if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Side side = key->plain;
    if (key->kind == KeyObject::Kind::Classes)
        if (DWORD e = ClassesWriteSide(*key, &side, key->classesPath.empty())) return e;
    return side.hive->setValue(side.id, ValueName(lpValueName), dwType, lpData, cbData);
}

LSTATUS RegQueryValueW(HKEY hKey, LPCWSTR lpSubKey, LPWSTR lpData, PLONG lpcbData) {
    HKEY key = hKey;
    bool opened = lpSubKey && *lpSubKey;
    if (opened)
        if (LSTATUS e = RegOpenKeyExW(hKey, lpSubKey, 0, KEY_QUERY_VALUE, &key)) return e;
    DWORD type = 0;
    DWORD size = lpcbData ? static_cast<DWORD>(std::max<LONG>(*lpcbData, 0)) : 0;
    LSTATUS e = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<LPBYTE>(lpData), lpcbData ? &size : nullptr);
    if (opened) RegCloseKey(key);
    // An unset default value reads as an empty string, as the old function gives it.
    if (e == ERROR_FILE_NOT_FOUND) {
        if (lpData && lpcbData && *lpcbData >= 2) lpData[0] = 0;
        if (lpcbData) *lpcbData = 2;
        return ERROR_SUCCESS;
    }
    if (e == ERROR_SUCCESS && type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
    if (lpcbData && (e == ERROR_SUCCESS || e == ERROR_MORE_DATA)) *lpcbData = static_cast<LONG>(size);
    return e;
}

LSTATUS RegSetValueW(HKEY hKey, LPCWSTR lpSubKey, DWORD dwType, LPCWSTR lpData, DWORD) {
    if (dwType != REG_SZ || !lpData) return ERROR_INVALID_PARAMETER;
    HKEY key = hKey;
    bool opened = lpSubKey && *lpSubKey;
    if (opened)
        if (LSTATUS e = RegCreateKeyExW(hKey, lpSubKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr)) return e;
    DWORD bytes = static_cast<DWORD>((std::char_traits<char16_t>::length(lpData) + 1) * sizeof(WCHAR));
    LSTATUS e = RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(lpData), bytes);
    if (opened) RegCloseKey(key);
    return e;
}

LSTATUS RegEnumValueW(HKEY hKey, DWORD dwIndex, LPWSTR lpValueName, LPDWORD lpcchValueName, LPDWORD lpReserved,
                      LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    auto key = Resolve(hKey, &error);
    if (!key) return error;
    if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    std::lock_guard lock(key->cacheMutex);
    if (DWORD e = LoadValues(*key)) return e;
    if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const HiveValue& value = key->values[dwIndex];
    if (value.name.size() + 1 > *lpcchValueName) return ERROR_MORE_DATA;
    std::char_traits<char16_t>::copy(lpValueName, value.name.data(), value.name.size());
    lpValueName[value.name.size()] = 0;
    if (lpType) *lpType = value.type;
    DWORD e = CopyData(value.data, value.type, lpData, lpcbData);
    if (e == ERROR_SUCCESS) *lpcchValueName = static_cast<DWORD>(value.name.size());
    return e;
}

LSTATUS RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPWSTR lpClass,
                      LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    auto key = Resolve(hKey, &error);
    if (!key) return error;
    if (!(key->access & KEY_ENUMERATE_SUB_KEYS)) return ERROR_ACCESS_DENIED;
    std::lock_guard lock(key->cacheMutex);
    if (DWORD e = LoadSubkeys(*key)) return e;
    if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const HiveSubkey& subkey = key->subkeys[dwIndex];
    if (subkey.name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
    std::char_traits<char16_t>::copy(lpName, subkey.name.data(), subkey.name.size());
    lpName[subkey.name.size()] = 0;
    *lpcchName = static_cast<DWORD>(subkey.name.size());
    if (lpClass && lpcchClass && *lpcchClass) lpClass[0] = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(subkey.lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(subkey.lastWrite) >> 32);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, DWORD cchName) {
    DWORD length = cchName;
    return RegEnumKeyExW(hKey, dwIndex, lpName, &length, nullptr, nullptr, nullptr, nullptr);
}

LSTATUS RegQueryInfoKeyW(HKEY hKey, LPWSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved, LPDWORD lpcSubKeys,
                         LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                         LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen, LPDWORD lpcbSecurityDescriptor,
                         PFILETIME lpftLastWriteTime) {
    if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    DWORD error = ERROR_SUCCESS;
    auto key = Resolve(hKey, &error);
    if (!key) return error;
    if (!(key->access & KEY_QUERY_VALUE)) return ERROR_ACCESS_DENIED;
    lumivel::HiveKeyInfo info;
    if (key->kind == KeyObject::Kind::Plain) {
        if (DWORD e = key->plain.hive->info(key->plain.id, &info)) return e;
    } else {
        std::lock_guard lock(key->cacheMutex);
        if (DWORD e = LoadValues(*key)) return e;
        if (DWORD e = LoadSubkeys(*key)) return e;
        info.subkeys = static_cast<DWORD>(key->subkeys.size());
        for (const auto& s : key->subkeys) {
            info.maxSubkeyLength = std::max(info.maxSubkeyLength, static_cast<DWORD>(s.name.size()));
            info.lastWrite = std::max(info.lastWrite, s.lastWrite);
        }
        info.values = static_cast<DWORD>(key->values.size());
        for (const auto& v : key->values) {
            info.maxValueNameLength = std::max(info.maxValueNameLength, static_cast<DWORD>(v.name.size()));
            info.maxValueLength = std::max(info.maxValueLength, static_cast<DWORD>(v.data.size()));
        }
    }
    if (lpClass && *lpcchClass) lpClass[0] = 0;
    if (lpcchClass) *lpcchClass = 0;
    if (lpcSubKeys) *lpcSubKeys = info.subkeys;
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = info.maxSubkeyLength;
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = info.values;
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = info.maxValueNameLength;
    if (lpcbMaxValueLen) *lpcbMaxValueLen = info.maxValueLength;
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) {
        lpftLastWriteTime->dwLowDateTime = static_cast<DWORD>(info.lastWrite);
        lpftLastWriteTime->dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(info.lastWrite) >> 32);
    }
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
    DWORD error = ERROR_SUCCESS;
    auto key = Resolve(hKey, &error);
    if (!key) return error;
    if (!(key->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    if (key->kind == KeyObject::Kind::Plain) return key->plain.hive->deleteValue(key->plain.id, ValueName(lpValueName));
    ClassesSides sides;
    if (DWORD e = FindClasses(key->classesPath, &sides)) return e == ERROR_FILE_NOT_FOUND ? ERROR_KEY_DELETED : e;
    DWORD result = ERROR_FILE_NOT_FOUND;
    for (auto& side : {sides.user, sides.machine}) {
        if (!side) continue;
        DWORD e = side->hive->deleteValue(side->id, ValueName(lpValueName));
        if (e == ERROR_SUCCESS) result = ERROR_SUCCESS;
        else if (e != ERROR_FILE_NOT_FOUND) return e;
    }
    return result;
}

LSTATUS RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
    if (!lpSubKey) return ERROR_INVALID_PARAMETER;
    return DeleteKey(hKey, lpSubKey, false);
}

LSTATUS RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) { return DeleteKey(hKey, lpSubKey, true); }

LSTATUS SHDeleteKeyW(HKEY hKey, LPCWSTR pszSubKey) { return DeleteKey(hKey, pszSubKey, true); }

LSTATUS RegFlushKey(HKEY hKey) {
    DWORD error = ERROR_SUCCESS;
    auto key = Resolve(hKey, &error);
    if (!key) return error;
    if (key->kind == KeyObject::Kind::Plain) return key->plain.hive->flush();
    DWORD e = lumivel::UserHive().flush();
    DWORD m = lumivel::MachineHive().flush();
    return e ? e : m;
}

}  // extern "C"

namespace lumivel {

std::string RegistryHiveFile(HKEY root) {
    if (root == HKEY_LOCAL_MACHINE) return MachineHive().path();
    if (root == HKEY_CURRENT_USER || root == HKEY_CLASSES_ROOT) return UserHive().path();
    return {};
}

}  // namespace lumivel
