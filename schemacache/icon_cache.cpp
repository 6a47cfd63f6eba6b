#include "schemacache/icon_cache.h"

#include "schemacache/resource_ids.h"

namespace glossar {
namespace {

constexpr UINT kListFlags = ILC_MASK | ILC_COLOR8;
constexpr int kMasterGrowth = 500;

struct NodeType {
    const char16_t* name;
    WORD icon;
};

// The order fixes the node types' indexes.
constexpr NodeType kNodeTypes[] = {
    {u"GovrixRole", IDI_GOVRIX_ROLE},
    {u"InheritedGovrixRole", IDI_INHERITED_GOVRIX_ROLE},
    {u"BusinessRule", IDI_BUSINESS_RULE},
    {u"InheritedBusinessRule", IDI_INHERITED_BUSINESS_RULE},
    {u"AccessAllow", IDI_ACCESS_ALLOW},
    {u"InheritedAccessAllow", IDI_INHERITED_ACCESS_ALLOW},
    {u"AccessDeny", IDI_ACCESS_DENY},
    {u"InheritedAccessDeny", IDI_INHERITED_ACCESS_DENY},
    {u"AccessAllow_GX", IDI_ACCESS_ALLOW_GX},
    {u"InheritedAccessAllow_GX", IDI_INHERITED_ACCESS_ALLOW_GX},
    {u"AccessDeny_GX", IDI_ACCESS_DENY_GX},
    {u"InheritedAccessDeny_GX", IDI_INHERITED_ACCESS_DENY_GX},
    {u"Query", IDI_QUERY},
    {u"TarvoGroupPolicyNode", IDI_GROUP_POLICY_NODE},
    {u"TarvoGroupPolicyNodeInherited", IDI_GROUP_POLICY_NODE_INHERITED},
    {u"ActivePolicy", IDI_ACTIVE_POLICY},
    {u"BusinessView", IDI_BUSINESS_VIEW},
};

void AppendOne(HIMAGELIST list, HICON icon) {
    if (icon && ImageList_ReplaceIcon(list, -1, icon) >= 0) return;
    ImageList_SetImageCount(list, static_cast<UINT>(ImageList_GetImageCount(list) + 1));
}

HIMAGELIST ScratchList(int size, HICON first) {
    HIMAGELIST list = ImageList_Create(size, size, kListFlags, 1, 1);
    if (list) AppendOne(list, first);
    return list;
}

void Destroy(HIMAGELIST& list) {
    if (list) ImageList_Destroy(list);
    list = nullptr;
}

void Destroy(HICON& icon) {
    if (icon) DestroyIcon(icon);
    icon = nullptr;
}

}  // namespace

SchemaEntry NamedIconEntry(std::u16string_view name, LONG iconIndex) {
    SchemaEntry entry;
    entry.relativeName = name;
    entry.ldapDisplayName = name;
    entry.friendlyName = name;
    entry.guid = kNoGuid;
    entry.container = 1;
    entry.iconIndex = iconIndex;
    return entry;
}

IconCache::~IconCache() {
    destroyLists();
    Destroy(m_smallBase);
    Destroy(m_smallOverlay);
    Destroy(m_largeBase);
    Destroy(m_largeOverlay);
    Destroy(m_busyOverlay);
    Destroy(m_controlledOverlay);
    Destroy(m_disabledOverlay);
}

void IconCache::setLoadImages(bool on) {
    std::lock_guard guard(m_mutex);
    m_loadImages = on;
}

bool IconCache::loadImages() const {
    std::lock_guard guard(m_mutex);
    return m_loadImages;
}

bool IconCache::ensureLists() {
    // Lists made while images were on stay in use after a caller turns them off.
    if (!m_loadImages) return m_small && m_large;
    if (!m_busyOverlay) m_busyOverlay = LoadIconW(m_resources, MAKEINTRESOURCEW(IDI_BUSY_OVERLAY));
    if (!m_controlledOverlay) m_controlledOverlay = LoadIconW(m_resources, MAKEINTRESOURCEW(IDI_CONTROLLED_OVERLAY));
    if (!m_disabledOverlay) m_disabledOverlay = LoadIconW(m_resources, MAKEINTRESOURCEW(IDI_DISABLED_OVERLAY));
    if (!m_smallBase) m_smallBase = ScratchList(16, m_busyOverlay);
    if (!m_smallOverlay) m_smallOverlay = ScratchList(16, m_busyOverlay);
    if (!m_largeBase) m_largeBase = ScratchList(32, m_busyOverlay);
    if (!m_largeOverlay) m_largeOverlay = ScratchList(32, m_busyOverlay);
    if (!m_small) m_small = ImageList_Create(16, 16, kListFlags, 1, kMasterGrowth);
    if (!m_large) m_large = ImageList_Create(32, 32, kListFlags, 1, kMasterGrowth);
    return m_small && m_large;
}

void IconCache::destroyLists() {
    Destroy(m_small);
    Destroy(m_large);
}

void IconCache::replaceLists(HIMAGELIST small, HIMAGELIST large) {
    destroyLists();
    m_small = small;
    m_large = large;
}

LONG IconCache::appendImage(HICON small, HICON large) {
    if (!m_small || !m_large) return -1;
    const LONG index = ImageList_GetImageCount(m_small);
    AppendOne(m_small, small);
    AppendOne(m_large, large);
    return index;
}

HICON IconCache::variantIcon(bool large, HICON base, HICON overlay) {
    HIMAGELIST baseList = large ? m_largeBase : m_smallBase;
    HIMAGELIST overlayList = large ? m_largeOverlay : m_smallOverlay;
    if (!baseList || !overlayList || !base || !overlay) return nullptr;
    if (ImageList_ReplaceIcon(baseList, 0, base) < 0 || ImageList_ReplaceIcon(overlayList, 0, overlay) < 0)
        return nullptr;
    HIMAGELIST merged = ImageList_Merge(baseList, 0, overlayList, 0, 0, 0);
    if (!merged) return nullptr;
    HICON icon = ImageList_GetIcon(merged, 0, ILD_NORMAL);
    ImageList_Destroy(merged);
    return icon;
}

void IconCache::addEntry(std::u16string_view name, LONG index) { m_classes.append(NamedIconEntry(name, index)); }

LONG IconCache::place(HICON small, HICON large, LONG* running) { return running ? (*running)++ : appendImage(small, large); }

void IconCache::addVariants(std::u16string_view name, HICON base, LONG* running) {
    const std::u16string stem(name);
    for (const auto& [suffix, overlay] : {std::pair{u"Busy", m_busyOverlay}, std::pair{u"Controlled", m_controlledOverlay}}) {
        HICON small = variantIcon(false, base, overlay);
        HICON large = variantIcon(true, base, overlay);
        addEntry(stem + suffix, place(small, large, running));
        Destroy(small);
        Destroy(large);
    }
}

void IconCache::addNamedIcon(std::u16string_view name, HICON icon, LONG* index) {
    std::lock_guard guard(m_mutex);
    if (m_classes.contains(SchemaTable::Key::Name, name)) return;
    ensureLists();
    const LONG added = appendImage(icon, icon);
    addEntry(name, added);
    if (index) *index = added;
    addVariants(name, icon);
}

void IconCache::addNodeTypes() {
    for (const NodeType& type : kNodeTypes) {
        HICON icon = LoadIconW(m_resources, MAKEINTRESOURCEW(type.icon));
        LONG index = -1;
        addNamedIcon(type.name, icon, &index);
        Destroy(icon);
    }
}

LONG_PTR IconCache::copyOfList(bool large) {
    std::lock_guard guard(m_mutex);
    if (!ensureLists()) return 0;
    return reinterpret_cast<LONG_PTR>(ImageList_Duplicate(large ? m_large : m_small));
}

int IconCache::imageCount() {
    std::lock_guard guard(m_mutex);
    return m_small ? ImageList_GetImageCount(m_small) : 0;
}

}  // namespace glossar
