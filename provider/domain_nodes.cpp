#include "provider/domain_nodes.h"

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"
#include "win/adshlp_build.h"

using lumivel::ComPtr;
using lumivel::EqualsNoCase;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

namespace revivo {

namespace {

// The classes whose binding server becomes the node's focused domain controller.
constexpr const char16_t* kNamingContextClasses[] = {u"domainDns", u"configuration", u"dMD"};

// A string attribute from the property cache; the last value when there are several.
bool readString(IADs* object, LPCWSTR attribute, std::u16string* text) {
    VariantHolder value;
    UniqueBstr name(attribute);
    if (FAILED(object->Get(name.get(), value.get()))) return false;
    if (value->vt == VT_BSTR) {
        *text = lumivel::shared::ViewOf(value->bstrVal);
        return true;
    }
    VariantHolder converted;
    if (FAILED(VariantChangeType(converted.get(), value.get(), 0, VT_BSTR))) return false;
    *text = lumivel::shared::ViewOf(converted->bstrVal);
    return true;
}

bool readNumber(IADs* object, LPCWSTR attribute, LONG* number) {
    VariantHolder value;
    UniqueBstr name(attribute);
    if (FAILED(object->Get(name.get(), value.get()))) return false;
    VariantHolder converted;
    if (FAILED(VariantChangeType(converted.get(), value.get(), 0, VT_I4))) return false;
    *number = converted->lVal;
    return true;
}

// canonicalName is constructed: the directory returns it only when asked for by name.
void loadCanonicalName(IADs* object) {
    LPWSTR names[] = {const_cast<LPWSTR>(u"canonicalName")};
    VariantHolder list;
    if (SUCCEEDED(ADsBuildVarArrayStr(names, 1, list.get()))) object->GetInfoEx(*list.get(), 0);
}

}  // namespace

PropertySet* BuildNodeRecord(IADs* object, ISchemaCache* schemaCache) {
    PropertySet* node = PropertySet::create();
    if (!node) return nullptr;
    node->IsNode = 1;
    // A node is shared with its worker thread, which lists while command 312 may set its DC.
    if (!node->enableLock()) {
        node->release();
        return nullptr;
    }
    loadCanonicalName(object);

    std::u16string server = lumivel::shared::ServerOfBinding(object);
    size_t dot = server.find(u'.');
    if (dot != std::u16string::npos) node->setText(u"DomainName", std::u16string_view(server).substr(dot + 1));

    std::u16string canonical;
    if (readString(object, u"canonicalName", &canonical)) {
        if (!canonical.empty() && canonical.back() == u'/') canonical.pop_back();
        node->setText(u"name", canonical);
    }

    UniqueBstr className;
    if (SUCCEEDED(object->get_Class(className.put())) && className.get()) {
        node->setClassName(className.get());
        BSTR friendly = nullptr;
        if (schemaCache) schemaCache->LookupFriendlyClassName(className.get(), &friendly);
        // The cache hands out its own string: copied here, never freed.
        if (friendly && SysStringLen(friendly) > 0)
            node->setString(u"FriendlyClassName", friendly);
        else
            node->setString(u"FriendlyClassName", className.get());
        for (const char16_t* namingContextClass : kNamingContextClasses) {
            if (EqualsNoCase(className.view(), namingContextClass)) {
                node->setText(u"FocusedDC", server);
                break;
            }
        }
    }

    UniqueBstr path;
    if (SUCCEEDED(object->get_ADsPath(path.put())) && path.get()) node->setPath(path.get());
    UniqueBstr guid;
    if (SUCCEEDED(object->get_GUID(guid.put())) && guid.get()) node->setGuid(guid.get());
    std::u16string distinguishedName;
    if (readString(object, u"distinguishedName", &distinguishedName)) node->setText(u"distinguishedName", distinguishedName);

    LONG accountControl = 0;
    node->Disabled = readNumber(object, u"userAccountControl", &accountControl) && (accountControl & 0x2) ? 1 : 0;
    return node;
}

std::u16string RegistryEntryName(const PropertySet* node) {
    std::u16string_view domain = node->getText(u"DomainName");
    std::u16string_view guid = node->getText(u"guid");
    if (domain.empty()) return std::u16string(guid);
    return std::u16string(domain) + u"/" + std::u16string(guid);
}

LONG StoreNode(const PropertySet* node) {
    // A node whose name was never read is not kept: it would come back nameless.
    BSTR entry = node->getString(u"RegEntry");
    if (!entry || !node->has(u"name")) return ERROR_INVALID_DATA;
    lumivel::RegistryKey key;
    LONG result = key.create(HKEY_CURRENT_USER, kLumivelKey, KEY_ALL_ACCESS);
    if (result != ERROR_SUCCESS) return result;
    return key.writeString(entry, node->getText(u"name"), lumivel::RegistryKey::StoreNull::No);
}

std::u16string PathOfStoredNode(std::u16string_view valueName) {
    size_t slash = valueName.find(u'/');
    std::u16string_view domain = slash == std::u16string_view::npos ? std::u16string_view() : valueName.substr(0, slash);
    std::u16string_view guid = slash == std::u16string_view::npos ? valueName : valueName.substr(slash + 1);
    return lumivel::shared::LdapPathOfGuid(domain, guid);
}

}  // namespace revivo
