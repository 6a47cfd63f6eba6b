#include "schemacache/index_freshness.h"

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "schemacache/index_format.h"
#include "shared/directory_operations.h"
#include "win/adsi.h"
#include "win/datetime.h"
#include "win/files.h"
#include "win/threads.h"

namespace glossar {
namespace {

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

bool ReadString(IADs* object, const char16_t* name, std::u16string* value) {
    UniqueBstr property(name);
    VariantHolder holder;
    if (FAILED(object->Get(property.get(), holder.get())) || holder->vt != VT_BSTR || !holder->bstrVal) return false;
    value->assign(holder->bstrVal, SysStringLen(holder->bstrVal));
    return !value->empty();
}

}  // namespace

FILETIME SchemaChangeTime() {
    FILETIME none{};
    ComPtr<IADs> rootDse;
    if (FAILED(lumivel::shared::BindPath(lumivel::shared::LdapPathOfRootDse(u""), IID_IADs, rootDse.putVoid())) ||
        !rootDse)
        return none;
    std::u16string configuration;
    if (!ReadString(rootDse.get(), u"configurationNamingContext", &configuration)) return none;
    ComPtr<IADs> schema;
    if (FAILED(lumivel::shared::BindByDn(u"", u"CN=Schema," + configuration, IID_IADs, schema.putVoid())) || !schema)
        return none;
    UniqueBstr name(u"whenChanged");
    VariantHolder changed;
    if (FAILED(schema->Get(name.get(), changed.get())) || changed->vt != VT_DATE) return none;
    SYSTEMTIME system{};
    FILETIME time{};
    if (!VariantTimeToSystemTime(changed->date, &system) || !SystemTimeToFileTime(&system, &time)) return none;
    return time;
}

bool ClassIndexIsStale(std::u16string_view directory, const FILETIME& schemaTime) {
    const std::u16string path = std::u16string(directory) + kClassIndexFile;
    WIN32_FIND_DATAW found{};
    HANDLE find = FindFirstFileW(path.c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return false;
    FindClose(find);
    if (found.nFileSizeHigh == 0 && found.nFileSizeLow == 0) return true;
    return CompareFileTime(&schemaTime, &found.ftLastWriteTime) == 1;
}

bool IndexFilePresent(std::u16string_view directory, std::u16string_view fileName) {
    const std::u16string path = std::u16string(directory) + std::u16string(fileName);
    // Sharing with readers and with a rename over the file: a cache reading the index at
    // this moment does not make it count as missing.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION information{};
    const bool filled = GetFileInformationByHandle(file, &information) &&
                        (information.nFileSizeLow != 0 || information.nFileSizeHigh != 0);
    CloseHandle(file);
    return filled;
}

bool IndexNeedsRebuild(std::u16string_view directory, const FILETIME& schemaTime) {
    return ClassIndexIsStale(directory, schemaTime) || !IndexFilePresent(directory, kClassIndexFile) ||
           !IndexFilePresent(directory, kAttributeIndexFile);
}

}  // namespace glossar
