// The provider's domain nodes: GetNodes, "Connect to", removal, the focused domain
// controller and the Deleted Objects container.
#include <optional>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/registry_key.h"
#include "lumivel/system_messages.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/common/command_report.h"
#include "provider/dialogs/connect_dialog.h"
#include "provider/domain_nodes.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using lumivel::RegistryKey;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

namespace revivo {

namespace {

HRESULT bindObject(const std::u16string& path, ComPtr<IADs>* object) {
    return lumivel::shared::BindPath(path, IID_IADs, object->putVoid());
}

bool readDistinguishedName(IADs* object, std::u16string* text) {
    VariantHolder value;
    UniqueBstr name(u"distinguishedName");
    if (FAILED(object->Get(name.get(), value.get())) || value->vt != VT_BSTR) return false;
    *text = lumivel::shared::ViewOf(value->bstrVal);
    return true;
}

}  // namespace

STDMETHODIMP Revivo::GetNodes(LONG, LONG, LONG, VARIANT* pvarNodes) {
    RegistryKey key;
    if (key.create(HKEY_CURRENT_USER, kLumivelKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return S_OK;
    std::vector<PropertySet*> nodes;
    for (const std::u16string& valueName : key.valueNames()) {
        // An unreachable or unknown domain simply does not appear.
        ComPtr<IADs> byGuid;
        if (FAILED(bindObject(PathOfStoredNode(valueName), &byGuid))) continue;
        std::u16string distinguishedName;
        if (!readDistinguishedName(byGuid.get(), &distinguishedName)) continue;
        ComPtr<IADs> object;
        if (FAILED(bindObject(lumivel::shared::LdapPathOfDn(u"", distinguishedName), &object))) continue;
        PropertySet* node = BuildNodeRecord(object.get(), m_schemaCache);
        if (!node) continue;
        node->setText(u"NamingContext", distinguishedName);
        node->setString(u"RegEntry", valueName.c_str());
        if (std::optional<std::u16string> displayName = key.readString(valueName.c_str()))
            node->setText(u"name", *displayName);
        node->setInt(u"Removable", 1);
        nodes.push_back(node);
    }
    if (!pvarNodes) {
        for (PropertySet* node : nodes) node->release();
        return S_OK;
    }
    if (FAILED(lumivel::shared::BuildObjectList(nodes, pvarNodes))) {
        for (PropertySet* node : nodes) node->release();
    }
    return S_OK;
}

HRESULT Revivo::ConnectToDomain(HWND parent, PropertySet** node, const PropertySet* request) {
    *node = nullptr;
    std::optional<std::u16string> answer = request ? request->copyString(kConnectDomainKey) : std::nullopt;
    std::u16string entered = answer.value_or(std::u16string());
    if (!answer && !MayAskInDialogs()) {
        AskCaller(kConnectDomainKey);
        NoteFailure(HRESULT_FROM_WIN32(ERROR_CANCELLED), u"Connect to", u"No domain was named to connect to.");
        return S_FALSE;
    }
    if (!answer && ShowConnectDialog(parent, &entered) != IDOK) return S_FALSE;

    ComPtr<IADs> object;
    HRESULT result = bindObject(lumivel::shared::LdapPathOfDomain(entered), &object);
    if (FAILED(result)) {
        // The dialog said so before it closed; a domain the record names is told here.
        if (answer)
            ShowFailure(parent, result, lumivel::SystemMessageText(static_cast<DWORD>(result)), u"Active Directory",
                        MB_OK | MB_ICONSTOP);
        return result;
    }
    PropertySet* record = BuildNodeRecord(object.get(), m_schemaCache);
    if (!record) return E_OUTOFMEMORY;
    record->setText(u"NamingContext", record->getText(u"distinguishedName"));
    record->setInt(u"Removable", 1);
    record->setInt(u"FromRevivoProvider", 1);

    record->setText(u"RegEntry", RegistryEntryName(record));
    // A node that is not stored would be shown now and lost at the next start without a word.
    LONG stored = StoreNode(record);
    if (stored != ERROR_SUCCESS) {
        result = HRESULT_FROM_WIN32(stored);
        ShowFailure(parent, result, lumivel::SystemMessageText(static_cast<DWORD>(result)), u"Active Directory",
                    MB_OK | MB_ICONSTOP);
        record->release();
        return result;
    }
    *node = record;
    return S_OK;
}

LONG Revivo::RemoveStoredNode(const PropertySet* node) {
    if (!node) return 1;
    RegistryKey key;
    if (key.create(HKEY_CURRENT_USER, kLumivelKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return 1;
    BSTR entry = node->getString(u"RegEntry");
    if (!entry) return 1;
    return key.deleteValue(entry) == ERROR_SUCCESS ? 0 : 1;
}

void Revivo::FillInFocusedDC(PropertySet* record) {
    if (!record) return;
    std::u16string server;
    std::u16string path(record->getText(u"path"));
    ComPtr<IADs> object;
    if (!path.empty() && SUCCEEDED(bindObject(path, &object))) server = lumivel::shared::ServerOfBinding(object.get());
    record->setText(u"FocusedDC", server);
    if (server.empty()) return;
    // Stored paths stay serverless.
    std::optional<lumivel::shared::LdapPath> parts = lumivel::shared::SplitLdapPath(path);
    if (parts && lumivel::EqualsNoCase(parts->server, server))
        record->setText(u"path", lumivel::shared::LdapPathPrefix(u"") + parts->object);
}

HRESULT Revivo::OpenDeletedObjectsContainer(LPCWSTR namingContext, IADsContainer** container,
                                            std::u16string* usedContext) {
    *container = nullptr;
    std::u16string context;
    // "LDAP://server/DN" names the server to ask: with the prefix merely dropped, the server
    // would become part of the DN and the bind go elsewhere.
    std::u16string server;
    if (namingContext) {
        std::optional<lumivel::shared::LdapPath> parts = lumivel::shared::SplitLdapPath(namingContext);
        if (parts) {
            server = parts->server;
            context = parts->object;
        } else {
            context = namingContext;
        }
    }
    if (context.empty()) {
        // Only the default naming context needs the rootDSE: the default domain's DCs need not
        // answer for a node of another domain to be listed.
        ComPtr<IADs> rootDse;
        HRESULT result =
            lumivel::shared::BindPath(lumivel::shared::LdapPathOfRootDse(server), IID_IADs, rootDse.putVoid());
        if (FAILED(result)) return result;
        VariantHolder value;
        UniqueBstr name(u"defaultNamingContext");
        result = rootDse->Get(name.get(), value.get());
        if (FAILED(result)) return result;
        if (value->vt != VT_BSTR) return E_ADS_CANT_CONVERT_DATATYPE;
        context = lumivel::shared::ViewOf(value->bstrVal);
    }
    if (usedContext) *usedContext = context;
    return lumivel::shared::BindPath(lumivel::shared::DeletedObjectsPath(server, context), IID_IADsContainer,
                                     reinterpret_cast<void**>(container), lumivel::shared::BindSpeed::Fast);
}

}  // namespace revivo
