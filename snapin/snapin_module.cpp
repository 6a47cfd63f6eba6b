#include "snapin/snapin_module.h"

#include <mutex>

#include "lumivel/com_object.h"
#include "lumivel/unique_bstr.h"
#include "snapin/resource_ids.h"
#include "win/processes.h"
#include "win/resources.h"
#include "win/user.h"

// {B979019D-5037-44E0-835B-3CD84BDDA491}
DEFINE_GUID(CLSID_RevivoSnapin, 0xB979019D, 0x5037, 0x44E0, 0x83, 0x5B, 0x3C, 0xD8, 0x4B, 0xDD, 0xA4, 0x91);

namespace snapin {

namespace {

struct ModuleState {
    std::mutex mutex;
    bool stringsLoaded = false;
    std::u16string defaultProvider;
    lumivel::ComPtr<ISchemaCache> schemaCache;
};

ModuleState& State() {
    static ModuleState state;
    return state;
}

// The private format carries the data object's own address.
constexpr const char16_t* kDataObjectFormat = u"{2479DB32-5276-11d2-94F5-00C04FB92EC2}";

}  // namespace

LPOLESTR LoadTaskString(UINT id) {
    const WCHAR* text = nullptr;
    // With no buffer the string is read where it lies in the resource block.
    int length = LoadStringW(lumivel::com::ThisModuleHandle(), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return nullptr;
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc((size_t(length) + 1) * sizeof(WCHAR)));
    if (!copy) return nullptr;
    std::char_traits<char16_t>::copy(copy, text, size_t(length));
    copy[length] = 0;
    return copy;
}

std::u16string LoadText(UINT id) {
    LPOLESTR text = LoadTaskString(id);
    std::u16string copy = text ? std::u16string(text) : std::u16string();
    CoTaskMemFree(text);
    return copy;
}

void StartModule() {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.stringsLoaded) {
        state.defaultProvider = LoadText(IDS_DEFAULT_PROVIDER);
        state.stringsLoaded = true;
    }
    if (state.schemaCache) return;
    lumivel::ComPtr<ISchemaCache> cache;
    if (FAILED(CoCreateInstance(CLSID_SchemaCache, nullptr, CLSCTX_INPROC_SERVER, IID_ISchemaCache, cache.putVoid())) ||
        !cache)
        return;
    cache->InitializeActiveDirectoryIcons(1);
    HICON icon = LoadIconW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDI_SNAPIN));
    lumivel::UniqueBstr name(LoadText(IDS_NODE_ICON_NAME).c_str());
    if (icon && name.get()) {
        LONG index = 0;
        cache->AddIconToImageList(name.get(), reinterpret_cast<LONG_PTR>(icon), &index);
    }
    if (icon) DestroyIcon(icon);
    state.schemaCache = std::move(cache);
}

void StopModule() {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    state.schemaCache.reset();
    state.defaultProvider.clear();
    state.stringsLoaded = false;
}

lumivel::ComPtr<ISchemaCache> SchemaCache() {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    return state.schemaCache;
}

std::u16string DefaultProviderClsid() {
    ModuleState& state = State();
    std::lock_guard lock(state.mutex);
    if (!state.stringsLoaded) {
        state.defaultProvider = LoadText(IDS_DEFAULT_PROVIDER);
        state.stringsLoaded = true;
    }
    return state.defaultProvider;
}

UINT ClipboardFormatNumber(ClipboardFormat format) {
    static const UINT numbers[] = {
        RegisterClipboardFormatW(CCF_DISPLAY_NAME), RegisterClipboardFormatW(CCF_NODETYPE),
        RegisterClipboardFormatW(CCF_SZNODETYPE),   RegisterClipboardFormatW(CCF_SNAPIN_CLASSID),
        RegisterClipboardFormatW(kDataObjectFormat),
    };
    return numbers[static_cast<int>(format)];
}

IconLookup IconIndexOf(std::u16string_view className) {
    IconLookup lookup;
    lumivel::ComPtr<ISchemaCache> cache = SchemaCache();
    if (!cache) return lookup;
    lumivel::UniqueBstr name(className.data(), className.size());
    if (!name.get()) {
        lookup.hr = E_OUTOFMEMORY;
        return lookup;
    }
    LONG index = 0;
    lookup.hr = cache->GetIconIndex(name.get(), &index);
    // A miss (S_FALSE) still carries the index the cache answers with, -1 as a rule.
    if (SUCCEEDED(lookup.hr)) lookup.index = index;
    return lookup;
}

std::optional<std::u16string> ModulePath() {
    // Grown until the whole path fits: a module may lie deeper than any fixed buffer.
    for (DWORD size = 512; size <= 1u << 20; size *= 2) {
        std::u16string buffer(size, u'\0');
        DWORD length = GetModuleFileNameW(lumivel::com::ThisModuleHandle(), buffer.data(), size);
        if (length == 0) return std::nullopt;
        if (length < size) {
            buffer.resize(length);
            return buffer;
        }
    }
    return std::nullopt;
}

void HoldModule() { ++lumivel::com::ThisModule().locks; }
void ReleaseModule() { --lumivel::com::ThisModule().locks; }

}  // namespace snapin
