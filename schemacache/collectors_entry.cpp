#include "schemacache/collectors_entry.h"

#include <string>

#include "lumivel/registry_key.h"
#include "schemacache/generator_start.h"
#include "schemacache/index_location.h"

namespace glossar {
namespace {

struct ModuleParts {
    std::u16string directory;  // without its trailing separator
    std::u16string fileName;
};

bool SplitModulePath(HMODULE module, ModuleParts* parts) {
    const std::u16string path = ModuleFileName(module);
    const size_t cut = path.find_last_of(u"/\\");
    if (path.empty() || cut == std::u16string::npos) return false;
    parts->directory = path.substr(0, cut);
    parts->fileName = path.substr(cut + 1);
    return true;
}

}  // namespace

HRESULT RegisterWithCollectorsEntry(HMODULE module, const std::function<HRESULT()>& registerCom) {
    lumivel::RegistryKey key;
    ModuleParts parts;
    if (key.create(HKEY_LOCAL_MACHINE, kCollectorsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS && SplitModulePath(module, &parts)) {
        key.writeString(parts.fileName.c_str(), parts.directory);
        key.writeString(kGeneratorProgram, parts.directory);
    }
    return registerCom();
}

HRESULT UnregisterWithCollectorsEntry(HMODULE module, const std::function<HRESULT()>& unregisterCom) {
    const HRESULT result = unregisterCom();
    if (FAILED(result)) return result;
    lumivel::RegistryKey key;
    if (key.open(HKEY_LOCAL_MACHINE, kCollectorsKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        ModuleParts parts;
        if (SplitModulePath(module, &parts)) key.deleteValue(parts.fileName.c_str());
        key.deleteValue(kGeneratorProgram);
    }
    return S_OK;
}

}  // namespace glossar
