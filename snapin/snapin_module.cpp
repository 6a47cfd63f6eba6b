#include "snapin/snapin_module.h"

#include <mutex>

#include "lumivel/com_object.h"
#include "lumivel/unique_bstr.h"
#include "snapin/resource_ids.h"
#include "win/commctrl.h"
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

namespace {

// The domain class's icon with the failure mark over it, registered as "<class>Error" beside the
// node icon, before the console copies the cache's images into its own list.
void RegisterListingFailedIcon(ISchemaCache* cache, const std::u16string& className) {
    lumivel::UniqueBstr name(className.c_str());
    LONG index = -1;
    if (!name.get() || cache->GetIconIndex(name.get(), &index) != S_OK || index < 0) return;
    LONG_PTR copy = 0;
    cache->GetLargeImageList(&copy);
    HIMAGELIST large = reinterpret_cast<HIMAGELIST>(copy);
    HICON mark = LoadIconW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDI_LISTING_FAILED));
    HIMAGELIST base = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1);
    HIMAGELIST over = ImageList_Create(32, 32, ILC_COLOR32 | ILC_MASK, 1, 1);
    HICON domain = large ? ImageList_GetIcon(large, int(index), ILD_NORMAL) : nullptr;
    // Without the domain's own picture the mark alone still tells.
    HICON failed = nullptr;
    HIMAGELIST merged = nullptr;
    if (domain && mark && base && over && ImageList_AddIcon(base, domain) >= 0 && ImageList_AddIcon(over, mark) >= 0 &&
        (merged = ImageList_Merge(base, 0, over, 0, 0, 0)))
        failed = ImageList_GetIcon(merged, 0, ILD_NORMAL);
    lumivel::UniqueBstr failedName((className + kListingFailedIconSuffix).c_str());
    LONG added = 0;
    if ((failed || mark) && failedName.get())
        cache->AddIconToImageList(failedName.get(), reinterpret_cast<LONG_PTR>(failed ? failed : mark), &added);
    if (failed) DestroyIcon(failed);
    if (merged) ImageList_Destroy(merged);
    for (HICON icon : {domain, mark})
        if (icon) DestroyIcon(icon);
    for (HIMAGELIST list : {base, over, large})
        if (list) ImageList_Destroy(list);
}

}  // namespace

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
    RegisterListingFailedIcon(cache.get(), LoadText(IDS_DOMAIN_CLASS));
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
