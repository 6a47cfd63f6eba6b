// The image work of one load step of the schema cache: the saved lists read back when they
// still fit the class index, or else the lists built from the classes' icons, and saved.
//
// The saved lists count only when both files were read, hold equally many images, as many as
// the loaded class index gives places, and were saved after the class index was written;
// otherwise both lists are built, so that a saved list never gives classes another class's
// icon. Building loads each icon module once per step, and only modules of this
// installation: loading a shared object runs its code, and the icon paths come from the
// directory. The directory names its own platform's icon sources, for which our own icons of
// the class stand in.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "schemacache/icon_cache.h"
#include "schemacache/image_list_files.h"

namespace glossar {

class IconLoad {
public:
    // Holds the icon cache's lock for the whole step. `directory` is where the index files
    // and the saved lists lie; `stream` is the cache's IStream over `files`.
    IconLoad(IconCache& cache, ImageListFileSlot& files, IStream* stream, std::u16string directory);
    // Frees the icon modules and default icons; saved lists that were read but not taken are
    // destroyed.
    ~IconLoad();
    IconLoad(const IconLoad&) = delete;
    IconLoad& operator=(const IconLoad&) = delete;

    // First: reads both saved lists (kept aside until the class index is known).
    void readSavedLists();
    // With the loaded class index: takes the saved lists if they fit it, or starts building,
    // and puts the two default icons in place.
    void begin(const std::vector<SchemaEntry>& classes);
    // Gives a class its icon index, adds it to the class table and adds its variants.
    void addClass(SchemaEntry entry);
    // Last: saves both lists, unless they were read back from the files.
    void save();

    bool restored() const { return m_restored; }

    // How many images the lists hold after the classes of this index: three per class with an
    // icon module, two more for user and inetOrgPerson, one more for computer, and the six of
    // the two defaults.
    static size_t ExpectedImageCount(const std::vector<SchemaEntry>& classes);

private:
    struct Source {
        HMODULE module = nullptr;
        WORD icon = 0;
    };
    Source resolveSource(const SchemaEntry& entry);
    HMODULE loadModule(const std::u16string& path);
    // The running index when the lists were restored, else the index of newly appended images.
    LONG place(HICON small, HICON large);
    void addDisabledEntries(const std::u16string& className, HMODULE module, HICON base);
    bool savedListsFit(const std::vector<SchemaEntry>& classes) const;

    IconCache& m_cache;
    std::unique_lock<std::mutex> m_lock;
    ImageListFileSlot& m_files;
    IStream* m_stream;
    std::u16string m_directory;
    HIMAGELIST m_savedSmall = nullptr;
    HIMAGELIST m_savedLarge = nullptr;
    bool m_restored = false;
    LONG m_running = 0;
    LONG m_defaultIndex[2] = {-1, -1};  // leaf, container
    HICON m_defaultIcon[2] = {nullptr, nullptr};
    // Modules loaded during the step by path, failed ones as null.
    std::map<std::u16string, HMODULE> m_modules;
};

}  // namespace glossar
