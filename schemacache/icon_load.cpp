#include "schemacache/icon_load.h"

#include <algorithm>

#include "lumivel/directory_icons.h"
#include "lumivel/module_loading.h"
#include "lumivel/wide_string.h"
#include "schemacache/index_format.h"
#include "schemacache/resource_ids.h"
#include "win/datetime.h"
#include "win/dsclient.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/processes.h"
#include "win/threads.h"

namespace glossar {
namespace {

constexpr WORD kUserDisabledIcon = 4129;
constexpr WORD kComputerDisabledIcon = 4135;
constexpr size_t kLongestPath = 32768;

bool IsUserLike(std::u16string_view name) {
    return lumivel::AsciiEqualsNoCase(name, u"user") || lumivel::AsciiEqualsNoCase(name, u"iNetOrgPerson");
}

bool IsComputer(std::u16string_view name) { return lumivel::AsciiEqualsNoCase(name, u"computer"); }

// Environment variables expanded, however long the result.
std::u16string ExpandedPath(const std::u16string& path) {
    std::u16string buffer(std::max<size_t>(path.size() + 1, MAX_PATH), u'\0');
    for (;;) {
        if (ExpandEnvironmentStringsForUserW(nullptr, path.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()))) {
            buffer.resize(std::char_traits<char16_t>::length(buffer.c_str()));
            return buffer;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= kLongestPath) return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool LastWriteTime(const std::u16string& path, FILETIME* time) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    *time = data.ftLastWriteTime;
    return true;
}

bool HasSize(HIMAGELIST list, int size) {
    int cx = 0, cy = 0;
    return list && ImageList_GetIconSize(list, &cx, &cy) && cx == size && cy == size;
}

}  // namespace

IconLoad::IconLoad(IconCache& cache, ImageListFileSlot& files, IStream* stream, std::u16string directory)
    : m_cache(cache), m_lock(cache.m_mutex), m_files(files), m_stream(stream), m_directory(std::move(directory)) {}

IconLoad::~IconLoad() {
    for (const auto& [path, module] : m_modules)
        if (module) FreeLibrary(module);
    for (HICON icon : m_defaultIcon)
        if (icon) DestroyIcon(icon);
    if (m_savedSmall) ImageList_Destroy(m_savedSmall);
    if (m_savedLarge) ImageList_Destroy(m_savedLarge);
}

size_t IconLoad::ExpectedImageCount(const std::vector<SchemaEntry>& classes) {
    size_t count = 6;
    for (const SchemaEntry& entry : classes) {
        if (entry.iconModule.empty()) continue;
        count += 3;
        if (IsUserLike(entry.ldapDisplayName)) count += 2;
        else if (IsComputer(entry.ldapDisplayName)) count += 1;
    }
    return count;
}

void IconLoad::readSavedLists() {
    m_savedLarge = m_files.ReadList(m_directory + kLargeImagesFile, m_stream);
    m_savedSmall = m_files.ReadList(m_directory + kSmallImagesFile, m_stream);
}

bool IconLoad::savedListsFit(const std::vector<SchemaEntry>& classes) const {
    if (!HasSize(m_savedSmall, 16) || !HasSize(m_savedLarge, 32)) return false;
    const size_t expected = ExpectedImageCount(classes);
    if (static_cast<size_t>(ImageList_GetImageCount(m_savedSmall)) != expected ||
        static_cast<size_t>(ImageList_GetImageCount(m_savedLarge)) != expected)
        return false;
    // A class index written after the lists were saved may name other icons in as many places.
    FILETIME index{}, small{}, large{};
    if (!LastWriteTime(m_directory + kClassIndexFile, &index)) return true;
    return LastWriteTime(m_directory + kSmallImagesFile, &small) && LastWriteTime(m_directory + kLargeImagesFile, &large) &&
           CompareFileTime(&index, &small) <= 0 && CompareFileTime(&index, &large) <= 0;
}

void IconLoad::begin(const std::vector<SchemaEntry>& classes) {
    // Lists that already hold images (node types added after a failed load) keep them: their
    // entries point there.
    const bool empty = !m_cache.m_small || ImageList_GetImageCount(m_cache.m_small) == 0;
    if (empty && savedListsFit(classes)) {
        m_cache.replaceLists(m_savedSmall, m_savedLarge);
        m_savedSmall = m_savedLarge = nullptr;
        m_cache.ensureLists();
        m_restored = true;
        m_defaultIndex[1] = 0;
        m_defaultIndex[0] = 3;
        m_running = 6;
        return;
    }
    m_cache.ensureLists();
    m_defaultIcon[1] = LoadIconW(m_cache.m_resources, MAKEINTRESOURCEW(IDI_DEFAULT_CONTAINER));
    m_defaultIcon[0] = LoadIconW(m_cache.m_resources, MAKEINTRESOURCEW(IDI_DEFAULT_LEAF));
    for (int container : {1, 0}) {
        HICON icon = m_defaultIcon[container];
        m_defaultIndex[container] = m_cache.appendImage(icon, icon);
        for (HICON overlay : {m_cache.m_busyOverlay, m_cache.m_controlledOverlay}) {
            HICON small = m_cache.variantIcon(false, icon, overlay);
            HICON large = m_cache.variantIcon(true, icon, overlay);
            m_cache.appendImage(small, large);
            if (small) DestroyIcon(small);
            if (large) DestroyIcon(large);
        }
    }
}

LONG IconLoad::place(HICON small, HICON large) { return m_cache.place(small, large, m_restored ? &m_running : nullptr); }

HMODULE IconLoad::loadModule(const std::u16string& path) {
    // Paths name files, whose names differ by case on this platform.
    const auto known = m_modules.find(path);
    if (known != m_modules.end()) return known->second;
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    m_modules.emplace(path, module);
    return module;
}

IconLoad::Source IconLoad::resolveSource(const SchemaEntry& entry) {
    const std::u16string expanded = ExpandedPath(entry.iconModule);
    if (!expanded.empty() && lumivel::IsInstallationModule(expanded))
        return {loadModule(expanded), static_cast<WORD>(entry.iconIndex & 0xFFFF)};
    const int own = lumivel::directory::BuiltInIconId(entry.ldapDisplayName, DSGIF_ISNORMAL);
    if (own > 0) return {loadModule(lumivel::directory::BuiltInIconModule()), static_cast<WORD>(own)};
    return {};
}

void IconLoad::addDisabledEntries(const std::u16string& className, HMODULE module, HICON base) {
    const bool userLike = IsUserLike(className);
    if (!userLike && !IsComputer(className)) return;
    HICON small = nullptr, large = nullptr;
    if (!m_restored) {
        if (module) small = large = LoadIconW(module, MAKEINTRESOURCEW(userLike ? kUserDisabledIcon : kComputerDisabledIcon));
        // The class's own look with the cache's "Disabled" mark keeps the place when the module
        // has no such icon.
        if (!small) {
            small = m_cache.variantIcon(false, base, m_cache.m_disabledOverlay);
            large = m_cache.variantIcon(true, base, m_cache.m_disabledOverlay);
        }
    }
    static constexpr const char16_t* kUserNames[] = {u"userDisabled", u"iNetOrgPersonDisabled"};
    static constexpr const char16_t* kComputerNames[] = {u"computerDisabled"};
    if (userLike)
        for (const char16_t* name : kUserNames) m_cache.addEntry(name, place(small, large));
    else
        for (const char16_t* name : kComputerNames) m_cache.addEntry(name, place(small, large));
    if (small) DestroyIcon(small);
    if (large && large != small) DestroyIcon(large);
}

void IconLoad::addClass(SchemaEntry entry) {
    const int container = entry.container ? 1 : 0;
    if (entry.iconModule.empty()) {
        entry.iconIndex = m_defaultIndex[container];
        m_cache.m_classes.append(std::move(entry));
        return;
    }
    const std::u16string name = entry.ldapDisplayName;
    Source source;
    HICON loaded = nullptr;
    HICON base = nullptr;
    if (!m_restored) {
        source = resolveSource(entry);
        if (source.module && source.icon) loaded = LoadIconW(source.module, MAKEINTRESOURCEW(source.icon));
        base = loaded ? loaded : m_defaultIcon[container];
    }
    entry.iconIndex = place(base, base);
    m_cache.m_classes.append(std::move(entry));
    m_cache.addVariants(name, base, m_restored ? &m_running : nullptr);
    addDisabledEntries(name, source.module, base);
    if (loaded) DestroyIcon(loaded);
}

void IconLoad::save() {
    // Lists read back from the files are what the files hold: writing them again would only
    // cost every start of the console the time of two writes.
    if (m_restored) return;
    m_files.WriteList(m_directory + kLargeImagesFile, m_cache.m_large, m_stream);
    m_files.WriteList(m_directory + kSmallImagesFile, m_cache.m_small, m_stream);
}

}  // namespace glossar
