// The lookups of ISchemaCache: names and GUIDs, friendly names, containers, icons and the
// image lists handed out. Misses are reported through S_FALSE and empty values, never as
// errors.
#include "schemacache/possible_children.h"
#include "schemacache/schema_cache.h"
#include "win/adsi.h"

namespace glossar {
namespace {

constexpr INT kFriendlyNameBuffer = 1024;

std::u16string_view View(BSTR text) { return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view(); }

BSTR Copy(std::u16string_view text) { return SysAllocStringLen(text.data(), static_cast<UINT>(text.size())); }

// An ADSI string array of the names, in order.
HRESULT StringArray(const std::vector<std::u16string>& names, VARIANT* out) {
    std::vector<LPWSTR> pointers;
    pointers.reserve(names.size());
    for (const auto& name : names) pointers.push_back(const_cast<LPWSTR>(name.c_str()));
    return ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), out);
}

}  // namespace

HRESULT SchemaCache::LookupObjectGuid(BSTR bstrObject, BSTR* pbstrGuid) {
    if (!pbstrGuid) return E_POINTER;
    for (const SchemaTable* table : {&m_classes, &m_attributes}) {
        const auto held = table->lock();
        if (const TableEntry* found = table->find(held, SchemaTable::Key::Name, View(bstrObject))) {
            *pbstrGuid = Copy(found->entry.guid);
            return *pbstrGuid ? S_OK : E_OUTOFMEMORY;
        }
    }
    return S_FALSE;
}

HRESULT SchemaCache::LookupGuidObject(BSTR bstrGuid, BSTR* pbstrObject) {
    if (!pbstrObject) return E_POINTER;
    HRESULT result = S_FALSE;
    std::u16string found;
    if (View(bstrGuid).empty()) {
        result = S_OK;
    } else {
        for (const SchemaTable* table : {&m_classes, &m_attributes}) {
            const auto held = table->lock();
            if (const TableEntry* entry = table->find(held, SchemaTable::Key::Guid, View(bstrGuid))) {
                found = entry->entry.ldapDisplayName;
                result = S_OK;
                break;
            }
        }
    }
    *pbstrObject = Copy(found);
    return *pbstrObject ? result : E_OUTOFMEMORY;
}

HRESULT SchemaCache::GetLargeImageList(LONG_PTR* plImageList) {
    if (!plImageList) return E_POINTER;
    *plImageList = m_icons.copyOfList(true);
    return S_OK;
}

HRESULT SchemaCache::GetSmallImageList(LONG_PTR* plImageList) {
    if (!plImageList) return E_POINTER;
    *plImageList = m_icons.copyOfList(false);
    return S_OK;
}

LONG SchemaCache::iconIndexOf(std::u16string_view name) const {
    const auto held = m_classes.lock();
    const TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, name);
    return found ? found->entry.iconIndex : -1;
}

HRESULT SchemaCache::GetIconIndex(BSTR bstrClass, LONG* plIndex) {
    if (!plIndex) return E_POINTER;
    *plIndex = iconIndexOf(View(bstrClass));
    return *plIndex == -1 ? S_FALSE : S_OK;
}

HRESULT SchemaCache::AddIconToImageList(BSTR bstrIconName, LONG_PTR lIcon, LONG* plIconIndex) {
    m_icons.addNamedIcon(View(bstrIconName), reinterpret_cast<HICON>(lIcon), plIconIndex);
    return S_OK;
}

HRESULT SchemaCache::IsClassContainer(BSTR bstrClass) { return m_containers.contains(View(bstrClass)) ? S_OK : S_FALSE; }

HRESULT SchemaCache::IsClass(BSTR bstrObject, LONG* plIsClass) {
    const bool found = m_classes.contains(SchemaTable::Key::Name, View(bstrObject));
    if (plIsClass) *plIsClass = found ? 1 : 0;
    return found ? S_OK : S_FALSE;
}

HRESULT SchemaCache::GetSchemaContainers(LONG lGetStateClasses, VARIANT* pvarContainers) {
    if (!pvarContainers) return S_OK;
    VariantInit(pvarContainers);
    const std::vector<std::u16string> names = m_containers.names();
    if (names.empty()) return S_OK;
    if (!lGetStateClasses) {
        if (FAILED(StringArray(names, pvarContainers))) VariantInit(pvarContainers);
        return S_OK;
    }
    std::lock_guard guard(m_stateClassesMutex);
    // Built once, from a set that is complete: initialisation fills it in one go.
    if (m_stateClasses.vt == VT_EMPTY) {
        std::vector<std::u16string> states;
        states.reserve(names.size() * 3);
        for (const auto& name : names) {
            states.push_back(name);
            states.push_back(name + u"Busy");
            states.push_back(name + u"Controlled");
        }
        if (FAILED(StringArray(states, &m_stateClasses))) VariantInit(&m_stateClasses);
    }
    if (m_stateClasses.vt != VT_EMPTY) VariantCopy(pvarContainers, &m_stateClasses);
    return S_OK;
}

HRESULT SchemaCache::GetImageListForNodeType(BSTR bstrNodeType, LONG lImageSize, VARIANT* pvarImageList) {
    const bool all = View(bstrNodeType).empty();
    m_icons.strip(all ? -1 : iconIndexOf(View(bstrNodeType)), all, lImageSize, pvarImageList);
    return S_OK;
}

IDsDisplaySpecifier* SchemaCache::displaySpecifiersLocked(const SchemaTable::Lock&) {
    if (!m_displaySpecifiers && !m_displaySpecifiersTried) {
        m_displaySpecifiersTried = true;
        if (FAILED(CoCreateInstance(CLSID_DsDisplaySpecifier, nullptr, CLSCTX_INPROC_SERVER, IID_IDsDisplaySpecifier,
                                    reinterpret_cast<void**>(&m_displaySpecifiers))))
            m_displaySpecifiers = nullptr;
    }
    return m_displaySpecifiers;
}

BSTR SchemaCache::friendlyNameLocked(const SchemaTable::Lock& held, TableEntry& found) {
    SchemaEntry& entry = found.entry;
    if (entry.friendlyName.empty() && !found.friendlyAsked) {
        found.friendlyAsked = true;
        WCHAR buffer[kFriendlyNameBuffer] = {};
        if (IDsDisplaySpecifier* service = displaySpecifiersLocked(held))
            if (SUCCEEDED(service->GetFriendlyClassName(entry.ldapDisplayName.c_str(), buffer, kFriendlyNameBuffer)))
                entry.friendlyName = buffer;
    }
    if (!found.friendlyBstr && !entry.friendlyName.empty()) found.friendlyBstr = Copy(entry.friendlyName);
    return found.friendlyBstr;
}

std::u16string SchemaCache::friendlyClassName(std::u16string_view className) {
    const auto held = m_classes.lock();
    TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, className);
    if (!found) return {};
    BSTR name = friendlyNameLocked(held, *found);
    return std::u16string(View(name));
}

HRESULT SchemaCache::LookupFriendlyClassName(BSTR bstrClass, BSTR* pbstrFriendlyClass) {
    if (!pbstrFriendlyClass) return S_FALSE;
    *pbstrFriendlyClass = nullptr;
    if (View(bstrClass).empty()) return S_FALSE;
    const auto held = m_classes.lock();
    if (TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, View(bstrClass)))
        *pbstrFriendlyClass = friendlyNameLocked(held, *found);
    return S_FALSE;
}

HRESULT SchemaCache::LookupFriendlyNames(BSTR bstrClass, BSTR bstrAttribute, BSTR* pbstrFriendlyClass,
                                         BSTR* pbstrFriendlyAttribute) {
    if (!View(bstrClass).empty() && pbstrFriendlyClass) {
        const auto held = m_classes.lock();
        if (TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, View(bstrClass)))
            *pbstrFriendlyClass = Copy(View(friendlyNameLocked(held, *found)));
    }
    if (View(bstrAttribute).empty() || !pbstrFriendlyAttribute) return S_FALSE;
    if (m_attributes.contains(SchemaTable::Key::Name, View(bstrAttribute))) {
        // The index's own data is not used for attributes: their friendly names are the
        // display specifiers' and depend on the class.
        if (!bstrClass) return S_FALSE;
        const auto held = m_classes.lock();
        WCHAR buffer[kFriendlyNameBuffer] = {};
        if (IDsDisplaySpecifier* service = displaySpecifiersLocked(held))
            if (SUCCEEDED(service->GetFriendlyAttributeName(bstrClass, bstrAttribute, buffer, kFriendlyNameBuffer)))
                *pbstrFriendlyAttribute = Copy(buffer);
        return S_FALSE;
    }
    if (pbstrFriendlyClass) {
        const auto held = m_classes.lock();
        if (TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, View(bstrAttribute)))
            *pbstrFriendlyAttribute = Copy(View(friendlyNameLocked(held, *found)));
    }
    return S_FALSE;
}

HRESULT SchemaCache::GetPossibleChildren(BSTR bstrClass, BSTR bstrPath, VARIANT* pvarPossibleChildren,
                                         VARIANT* pvarPossibleChildren_Display) {
    if (pvarPossibleChildren) VariantInit(pvarPossibleChildren);
    if (pvarPossibleChildren_Display) VariantInit(pvarPossibleChildren_Display);
    const std::u16string_view className = bstrClass ? std::u16string_view(bstrClass, SysStringLen(bstrClass)) : u"";
    std::u16string name;
    bool worked = false;
    {
        const auto held = m_classes.lock();
        const TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, className);
        if (!found) return S_OK;
        name = found->entry.ldapDisplayName;
        worked = found->entry.childrenLoaded != 0;
    }
    // The directory is asked without the table's lock: worker threads go on looking names up.
    if (!worked && bstrPath && SysStringLen(bstrPath) > 0) {
        PossibleChildren children = WorkOutPossibleChildren(
            name, std::u16string_view(bstrPath, SysStringLen(bstrPath)),
            [this](std::u16string_view child) { return friendlyClassName(child); });
        const auto held = m_classes.lock();
        TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, name);
        if (found && !found->entry.childrenLoaded) {
            found->entry.possibleChildren = std::move(children.names);
            found->entry.possibleChildrenDisplay = std::move(children.displayNames);
            found->entry.childrenLoaded = 1;
        }
    }
    std::vector<std::u16string> names, displayNames;
    {
        const auto held = m_classes.lock();
        const TableEntry* found = m_classes.find(held, SchemaTable::Key::Name, name);
        names = found->entry.possibleChildren;
        displayNames = found->entry.possibleChildrenDisplay;
    }
    if (names.empty() || names.size() != displayNames.size() || !pvarPossibleChildren || !pvarPossibleChildren_Display)
        return S_OK;
    if (FAILED(StringArray(names, pvarPossibleChildren)) || FAILED(StringArray(displayNames, pvarPossibleChildren_Display))) {
        VariantClear(pvarPossibleChildren);
        VariantClear(pvarPossibleChildren_Display);
    }
    return S_OK;
}

}  // namespace glossar
