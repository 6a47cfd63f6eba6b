#include "schemacache/possible_children.h"

#include "schemacache/schema_cache.h"
#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/variant_holder.h"
#include "shared/directory_operations.h"
#include "win/adsi.h"
#include "win/dsadmin.h"

namespace glossar {
namespace {

// LDAP display names are letters, digits and hyphens.
bool IsLdapDisplayName(std::u16string_view name) {
    if (name.empty()) return false;
    for (char16_t c : name)
        if (!((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-'))
            return false;
    return true;
}

std::vector<std::u16string> Strings(const VARIANT& value) {
    std::vector<std::u16string> strings;
    if (value.vt == VT_BSTR) {
        if (value.bstrVal) strings.emplace_back(value.bstrVal, SysStringLen(value.bstrVal));
        return strings;
    }
    if (value.vt != (VT_ARRAY | VT_VARIANT) || !value.parray || SafeArrayGetDim(value.parray) != 1) return strings;
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(value.parray, 1, &lower);
    SafeArrayGetUBound(value.parray, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        VARIANT element;
        VariantInit(&element);
        if (SUCCEEDED(SafeArrayGetElement(value.parray, &i, &element)) && element.vt == VT_BSTR && element.bstrVal)
            strings.emplace_back(element.bstrVal, SysStringLen(element.bstrVal));
        VariantClear(&element);
    }
    return strings;
}

// The classes the schema lets objects of the class contain; none when it cannot be bound.
bool Containment(std::u16string_view className, std::vector<std::u16string>* classes) {
    lumivel::ComPtr<IADsClass> schemaClass;
    if (FAILED(lumivel::shared::BindPath(lumivel::shared::SchemaClassPath(className), IID_IADsClass,
                                         schemaClass.putVoid())))
        return false;
    lumivel::VariantHolder containment;
    if (SUCCEEDED(schemaClass->get_Containment(containment.get()))) *classes = Strings(*containment.get());
    return true;
}

// Those of the classes that the creation check allows in the container.
std::vector<std::u16string> CreatableIn(std::u16string_view containerPath, const std::vector<std::u16string>& classes) {
    std::vector<std::u16string> creatable;
    lumivel::ComPtr<IADsContainer> container;
    if (FAILED(lumivel::shared::BindPath(containerPath, IID_IADsContainer, container.putVoid()))) return creatable;
    lumivel::ComPtr<IDsAdminCreateObj> creation;
    if (FAILED(CoCreateInstance(CLSID_DsAdminCreateObj, nullptr, CLSCTX_INPROC_SERVER, IID_IDsAdminCreateObj,
                                creation.putVoid())))
        return creatable;
    for (const auto& name : classes)
        if (creation->Initialize(container.get(), nullptr, name.c_str()) == S_OK) creatable.push_back(name);
    return creatable;
}

}  // namespace

PossibleChildren WorkOutPossibleChildren(std::u16string_view className, std::u16string_view containerPath,
                                         const FriendlyNameLookup& friendlyName) {
    PossibleChildren children;
    if (!IsLdapDisplayName(className)) return children;
    const std::u16string keyPath = std::u16string(kGlossarSettingsKey) + u"\\" + std::u16string(className);
    lumivel::RegistryKey key;
    if (key.open(HKEY_CURRENT_USER, keyPath.c_str(), KEY_READ) == ERROR_SUCCESS) {
        children.names = key.valueNames();
        for (const auto& name : children.names) children.displayNames.push_back(friendlyName(name));
        return children;
    }
    std::vector<std::u16string> containment;
    if (!Containment(className, &containment)) return children;
    key.create(HKEY_CURRENT_USER, keyPath.c_str(), KEY_ALL_ACCESS);
    children.names = CreatableIn(containerPath, containment);
    for (const auto& name : children.names) {
        children.displayNames.push_back(friendlyName(name));
        if (key && !children.displayNames.back().empty()) key.writeString(name.c_str(), children.displayNames.back());
    }
    return children;
}

}  // namespace glossar
