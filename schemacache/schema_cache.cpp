// The SchemaCache object: identity, initialisation from the index files and the image-list
// stream. The lookups are in schema_lookups.cpp.
#include "schemacache/schema_cache.h"

#include <optional>

#include "lumivel/registry_key.h"
#include "schemacache/generator_status_window.h"
#include "schemacache/icon_load.h"
#include "schemacache/index_location.h"
#include "schemacache/index_reader.h"
#include "schemacache/resource_ids.h"
#include "win/resources.h"

namespace glossar {
namespace {

bool IgnoreImageFiles() {
    lumivel::RegistryKey key;
    if (key.open(HKEY_CURRENT_USER, kGlossarSettingsKey, KEY_READ) != ERROR_SUCCESS) return false;
    const auto value = key.readDword(u"IgnoreImageFiles");
    return value && *value != 0;
}

std::u16string ResourceText(HMODULE module, UINT id) {
    const WCHAR* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? std::u16string(text, static_cast<size_t>(length)) : std::u16string();
}

}  // namespace

SchemaCacheSettings SchemaCacheSettings::ThisModule() {
    SchemaCacheSettings settings;
    const void* here = reinterpret_cast<const void*>(&SchemaCacheSettings::ThisModule);
    settings.moduleDirectory = ModuleDirectoryOf(here);
    settings.resources = lumivel::com::ThisModuleHandle();
    return settings;
}

SchemaCache::SchemaCache(SchemaCacheSettings settings)
    : m_settings(std::move(settings)), m_icons(m_classes, m_settings.resources) {
    VariantInit(&m_stateClasses);
}

SchemaCache::~SchemaCache() {
    VariantClear(&m_stateClasses);
    if (m_displaySpecifiers) m_displaySpecifiers->Release();
}

HRESULT SchemaCache::Create(SchemaCacheSettings settings, REFIID riid, void** object) {
    return lumivel::com::CreateComObject<SchemaCache, lumivel::com::Aggregation::Refused>(nullptr, riid, object,
                                                                                       std::move(settings));
}

const std::u16string& SchemaCache::fileDirectory() {
    std::lock_guard guard(m_initMutex);
    if (m_fileDirectory.empty()) m_fileDirectory = FileLocation(m_settings.moduleDirectory);
    return m_fileDirectory;
}

bool SchemaCache::loadStep() {
    const std::u16string directory = fileDirectory();
    std::optional<IconLoad> icons;
    if (m_icons.loadImages()) {
        icons.emplace(m_icons, m_imageFiles, static_cast<IStream*>(this), directory);
        if (!IgnoreImageFiles()) icons->readSavedLists();
    }
    std::vector<SchemaEntry> classes;
    LoadClassIndex(directory, &classes);
    std::vector<SchemaEntry> attributes;
    if (!LoadAttributeIndex(directory, &attributes)) return false;
    {
        const auto held = m_attributes.lock();
        for (SchemaEntry& attribute : attributes) m_attributes.append(held, std::move(attribute));
    }
    if (icons) icons->begin(classes);
    for (SchemaEntry& entry : classes) {
        if (entry.container == 1 && !entry.ldapDisplayName.empty()) m_containers.insert(entry.ldapDisplayName);
        if (icons) {
            icons->addClass(std::move(entry));
        } else {
            entry.iconIndex = -1;
            m_classes.append(std::move(entry));
        }
    }
    if (icons) icons->save();
    return true;
}

HRESULT SchemaCache::InitializeActiveDirectoryIcons(LONG lLoadImages) {
    std::lock_guard guard(m_initMutex);
    if (m_initialising) return S_OK;
    m_initialising = true;
    const bool images = lLoadImages != 0;
    m_icons.setLoadImages(images);
    if (!m_initialised) {
        if (loadStep()) {
            m_initialised = true;
        } else {
            // A caller that wants images has windows: it shows why it waits, and its windows
            // stay alive meanwhile.
            std::optional<GeneratorStatusWindow> status;
            if (images)
                status.emplace(ResourceText(m_settings.resources, IDS_SCHEMA_INDEX_CAPTION),
                               ResourceText(m_settings.resources, IDS_SCHEMA_INDEX_TEXT));
            if (StartGeneratorAndLoad(m_settings.moduleDirectory, [this] { return loadStep(); },
                                      status ? &*status : nullptr, m_settings.generatorTiming))
                m_initialised = true;
        }
    }
    if (images && iconIndexOf(IconCache::kFirstNodeTypeProbe) == -1) m_icons.addNodeTypes();
    m_initialising = false;
    return S_OK;
}

HRESULT SchemaCache::IsInitialized() { return m_initialised ? S_OK : S_FALSE; }

HRESULT SchemaCache::Read(void* pv, ULONG cb, ULONG* pcbRead) { return m_imageFiles.Read(pv, cb, pcbRead); }

HRESULT SchemaCache::Write(const void* pv, ULONG cb, ULONG* pcbWritten) { return m_imageFiles.Write(pv, cb, pcbWritten); }

}  // namespace glossar
