// SchemaCache: the one object of the Glossar module. It holds the forest's classes, attributes
// and extended rights from the schema index files, with their GUIDs, friendly names,
// container flags, icons and possible children, and the image lists of class and node-type
// icons. Lookups never fail: a miss is S_FALSE, -1, 0 or an empty string.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "schemacache/generator_start.h"
#include "schemacache/icon_cache.h"
#include "schemacache/image_list_files.h"
#include "schemacache/schema_table.h"
#include "shared/schema_cache_interface.h"
#include "win/dsclient.h"

namespace glossar {

extern const lumivel::com::DispatchInterface kSchemaCacheDispatch;
extern const lumivel::com::TypeLibraryInfo kGlossarTypeLibrary;

inline constexpr char16_t kGlossarSettingsKey[] = u"Software\\Tarvo Software\\Tarvo Halcyra\\Glossar";

struct SchemaCacheSettings {
    // The installation directory: the generator lies there, and the index files and saved
    // image lists lie there or in the cache directory that stands in for it.
    std::u16string moduleDirectory;
    // The module whose resources hold the cache's icons and texts.
    HMODULE resources = nullptr;
    GeneratorTiming generatorTiming;

    // The Glossar module's own directory and resources.
    static SchemaCacheSettings ThisModule();
};

class SchemaCache final : public lumivel::com::ComObject<SchemaCache, lumivel::com::DispatchFromTable<ISchemaCache, kSchemaCacheDispatch>,
                                                         ReadWriteStream> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<SchemaCache, ISchemaCache>(IID_ISchemaCache),
        lumivel::com::InterfaceOf<SchemaCache, ISchemaCache>(IID_IDispatch),
        lumivel::com::InterfaceOf<SchemaCache, ReadWriteStream>(IID_IStream),
    };

    SchemaCache() : SchemaCache(SchemaCacheSettings::ThisModule()) {}
    explicit SchemaCache(SchemaCacheSettings settings);
    ~SchemaCache() override;

    // A new cache with its own settings (tests, tools); the module hands out one per process.
    static HRESULT Create(SchemaCacheSettings settings, REFIID riid, void** object);

    // ISchemaCache
    HRESULT STDMETHODCALLTYPE LookupObjectGuid(BSTR bstrObject, BSTR* pbstrGuid) override;
    HRESULT STDMETHODCALLTYPE LookupGuidObject(BSTR bstrGuid, BSTR* pbstrObject) override;
    HRESULT STDMETHODCALLTYPE GetLargeImageList(LONG_PTR* plImageList) override;
    HRESULT STDMETHODCALLTYPE GetSmallImageList(LONG_PTR* plImageList) override;
    HRESULT STDMETHODCALLTYPE GetIconIndex(BSTR bstrClass, LONG* plIndex) override;
    HRESULT STDMETHODCALLTYPE AddIconToImageList(BSTR bstrIconName, LONG_PTR lIcon, LONG* plIconIndex) override;
    HRESULT STDMETHODCALLTYPE IsClassContainer(BSTR bstrClass) override;
    HRESULT STDMETHODCALLTYPE InitializeActiveDirectoryIcons(LONG lLoadImages) override;
    HRESULT STDMETHODCALLTYPE GetSchemaContainers(LONG lGetStateClasses, VARIANT* pvarContainers) override;
    HRESULT STDMETHODCALLTYPE GetImageListForNodeType(BSTR bstrNodeType, LONG lImageSize, VARIANT* pvarImageList) override;
    HRESULT STDMETHODCALLTYPE IsClass(BSTR bstrObject, LONG* plIsClass) override;
    HRESULT STDMETHODCALLTYPE LookupFriendlyNames(BSTR bstrClass, BSTR bstrAttribute, BSTR* pbstrFriendlyClass,
                                                  BSTR* pbstrFriendlyAttribute) override;
    HRESULT STDMETHODCALLTYPE LookupFriendlyClassName(BSTR bstrClass, BSTR* pbstrFriendlyClass) override;
    HRESULT STDMETHODCALLTYPE GetPossibleChildren(BSTR bstrClass, BSTR bstrPath, VARIANT* pvarPossibleChildren,
                                                  VARIANT* pvarPossibleChildren_Display) override;
    HRESULT STDMETHODCALLTYPE IsInitialized() override;

    // IStream over the image-list file being loaded or saved.
    HRESULT STDMETHODCALLTYPE Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT STDMETHODCALLTYPE Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;

    // Where the index files and saved image lists are read and written.
    const std::u16string& fileDirectory();

private:
    bool loadStep();
    LONG iconIndexOf(std::u16string_view name) const;
    // With the class table's lock held: the entry's friendly name as the cache hands it out,
    // asking the display-specifier service once when the index gave none.
    BSTR friendlyNameLocked(const SchemaTable::Lock& held, TableEntry& entry);
    IDsDisplaySpecifier* displaySpecifiersLocked(const SchemaTable::Lock& held);
    std::u16string friendlyClassName(std::u16string_view className);

    SchemaCacheSettings m_settings;
    SchemaTable m_classes;
    SchemaTable m_attributes;
    ContainerSet m_containers;
    IconCache m_icons;
    ImageListFileSlot m_imageFiles;

    // Serialises initialisation; a call that comes back on the same thread while the
    // generator is awaited (the status window keeps the thread's messages flowing) returns.
    std::recursive_mutex m_initMutex;
    bool m_initialising = false;
    std::atomic<bool> m_initialised{false};
    std::u16string m_fileDirectory;

    std::mutex m_stateClassesMutex;
    VARIANT m_stateClasses;

    // Created on first need and used under the class table's lock.
    IDsDisplaySpecifier* m_displaySpecifiers = nullptr;
    bool m_displaySpecifiersTried = false;
};

}  // namespace glossar
