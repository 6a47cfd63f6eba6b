// The schema cache's image lists of class and node-type icons.
//
// A 16- and a 32-pixel master list always hold the same number of images in the same order,
// so that one index serves both. Each icon takes three places: the icon, its "Busy" variant
// and its "Controlled" variant (the icon with an overlay drawn over it); user, inetOrgPerson
// and computer classes add "Disabled" images. The schema part of the lists is built from the
// classes' icons once and saved, and loaded from the saved files on later starts (IconLoad).
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "schemacache/schema_table.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace glossar {

inline constexpr char16_t kNoGuid[] = u"{00000000-0000-0000-0000-000000000000}";

// The class-table entry of a state variant or node type: every name field holds its name.
SchemaEntry NamedIconEntry(std::u16string_view name, LONG iconIndex);

class IconLoad;

class IconCache {
public:
    // Icons of the cache's own (overlays, defaults, node types) come from `resources`.
    IconCache(SchemaTable& classes, HMODULE resources) : m_classes(classes), m_resources(resources) {}
    ~IconCache();
    IconCache(const IconCache&) = delete;
    IconCache& operator=(const IconCache&) = delete;

    // With images off no list is made, and whatever needs one does nothing with it; lists
    // made before stay.
    void setLoadImages(bool on);
    bool loadImages() const;

    // A copy of the small (16) or large (32) master list, which the caller destroys; 0 when
    // there is none and images are off. The master list is made, empty, if it was not there.
    LONG_PTR copyOfList(bool large);

    // Adds an icon under a name, with its two variants under the name followed by "Busy"
    // and "Controlled". A name already in the class table adds nothing and leaves *index as
    // it was; otherwise *index is the icon's index (-1 with images off). The icon stays the
    // caller's.
    void addNamedIcon(std::u16string_view name, HICON icon, LONG* index);

    // The node types' icons, from the cache's resources, in their fixed order.
    void addNodeTypes();
    static constexpr std::u16string_view kFirstNodeTypeProbe = u"Query";

    // A bitmap file of a strip of images as an array of bytes: the three images from
    // `firstIndex` (a node type's), or every image when firstIndex is negative, each
    // `size` pixels apart; the large list when size is 32. False when the strip could not be
    // made; `out` is then left alone.
    bool strip(LONG firstIndex, bool allImages, LONG size, VARIANT* out);

    // The images in the lists (the small list's count; both hold the same).
    int imageCount();

private:
    friend class IconLoad;

    // With the cache's lock held:
    bool ensureLists();
    void destroyLists();
    void replaceLists(HIMAGELIST small, HIMAGELIST large);
    // Appends one image to each list, a blank one where an icon is missing or refused, so
    // that both lists always grow together; the new index, or -1 without lists.
    LONG appendImage(HICON small, HICON large);
    // The icon with the overlay drawn over it, at 16 or 32 pixels; null when either is
    // missing. The caller destroys it.
    HICON variantIcon(bool large, HICON base, HICON overlay);
    // The index of a new image: with `running` (lists restored from the saved files, no
    // images given) the running index, which goes up by one; else appendImage's.
    LONG place(HICON small, HICON large, LONG* running);
    // Appends the "Busy" and "Controlled" entries of a name with their images.
    void addVariants(std::u16string_view name, HICON base, LONG* running = nullptr);
    void addEntry(std::u16string_view name, LONG index);

    SchemaTable& m_classes;
    HMODULE m_resources;
    mutable std::mutex m_mutex;
    bool m_loadImages = true;
    HIMAGELIST m_small = nullptr;
    HIMAGELIST m_large = nullptr;
    // One-image lists in which a variant is put together.
    HIMAGELIST m_smallBase = nullptr;
    HIMAGELIST m_smallOverlay = nullptr;
    HIMAGELIST m_largeBase = nullptr;
    HIMAGELIST m_largeOverlay = nullptr;
    HICON m_busyOverlay = nullptr;
    HICON m_controlledOverlay = nullptr;
    HICON m_disabledOverlay = nullptr;
};

}  // namespace glossar
