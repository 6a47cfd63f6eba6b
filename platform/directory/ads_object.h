// The directory object every bind hands out: IADs (IADsClass for schema classes),
// IADsContainer, IDirectorySearch, IDirectoryObject, IADsObjectOptions and IDispatch on one
// object bound to one LDAP connection. Members are implemented by topic in ads_object.cpp
// (identity, property cache), ads_container.cpp, search.cpp, directory_object.cpp and
// ads_class.cpp.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ads_path.h"
#include "ldap_connection.h"
#include "lumivel/com_object.h"
#include "lumivel/com_ptr.h"
#include "lumivel/dispatch_table.h"
#include "lumivel/unique_bstr.h"
#include "schema_syntax_cache.h"
#include "win/adsi.h"

namespace lumivel::directory {

// Marks a cached property as changed; LDAP_MOD_ADD is 0, so the operation alone cannot.
constexpr int kPendingChange = 0x100;

struct SearchPreferences {
    int scope = LDAP_SCOPE_SUBTREE;
    int pageSize = 0;  // 0: no paging
    bool showDeleted = false;
    int sizeLimit = 0;
    int timeLimit = 0;       // server-side, seconds
    int timeoutSeconds = 0;  // client-side, 0: the connection's operation time-out
    int derefAliases = LDAP_DEREF_NEVER;
    bool attributeTypesOnly = false;
    int securityMask = -1;  // -1: no SD flags control
    int extendedDn = -1;    // -1: no extended DN control
    std::string attributeScopedQuery;
    struct SortKey {
        std::string attribute;
        bool reverse = false;
    };
    std::vector<SortKey> sortKeys;
    // The directory synchronisation control in place of paging: its cookie and flags.
    bool dirSync = false;
    std::string dirSyncCookie;
    int dirSyncFlags = 0;
};

// An entry's attributes as raw values, keyed by lower-case name; ranged values read whole.
struct RawAttribute {
    std::string name;  // as the server spelt it, without options
    std::vector<std::string> values;
};
using RawAttributes = std::map<std::string, RawAttribute>;

// Reads every attribute of one entry; values the server handed out in ranges are fetched in
// further base searches until complete. The connection's lock must be held.
int ReadEntryAttributes(LdapConnection& connection, LDAPMessage* entry, RawAttributes* attributes,
                        bool showDeleted = false);

struct SearchState;

// The LDAP DN of a child from its relative name as a caller passes it ("OU=Name", escaped as in
// an ADsPath); false unless it is exactly one relative name.
bool ChildDn(std::u16string_view relativeName, std::u16string_view parentDn, std::u16string* dn);

// Hex of bytes, lower case.
std::u16string HexText(std::string_view bytes);

class AdsObject final : public com::ComObject<AdsObject, com::DispatchWithoutTypeInfo<IADsClass>,
                                              com::DispatchWithoutTypeInfo<IADsContainer>, IDirectorySearch,
                                              IDirectoryObject, com::DispatchWithoutTypeInfo<IADsObjectOptions>> {
public:
    // IDispatch and IADs are the IADsClass face; IADsClass itself only for schema classes.
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<AdsObject, IADsClass>(IID_IDispatch),
        com::InterfaceOf<AdsObject, IADsClass>(IID_IADs),
        com::InterfaceOf<AdsObject, IADsClass>(IID_IADsClass),
        com::InterfaceOf<AdsObject, IADsContainer>(IID_IADsContainer),
        com::InterfaceOf<AdsObject, IDirectorySearch>(IID_IDirectorySearch),
        com::InterfaceOf<AdsObject, IDirectoryObject>(IID_IDirectoryObject),
        com::InterfaceOf<AdsObject, IADsObjectOptions>(IID_IADsObjectOptions),
    };

    AdsObject() = default;
    ~AdsObject() override;

    // Binds a parsed path; without ADS_FAST_BIND the object must exist (base search).
    static HRESULT Bind(const AdsPath& path, DWORD flags, AdsObject** object);

    struct Location {
        std::shared_ptr<LdapConnection> connection;
        Provider provider = Provider::Ldap;
        std::u16string server;  // as the path named it (kept in child paths)
        uint16_t port = 0;
    };
    // A child found by enumeration or search, already known to exist. The attributes named in
    // `preloaded` come with it as read (those the entry lacks are known to be absent), so that
    // reading them costs no further request.
    static AdsObject* FromEntry(const Location& location, std::u16string dn, std::vector<std::u16string> classes,
                                std::string guid, const std::vector<std::string>& preloaded = {},
                                RawAttributes values = {});

    void* FindInterface(REFIID riid) override;

    // IADs
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE get_Class(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE get_GUID(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE get_ADsPath(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE get_Parent(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE get_Schema(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE GetInfo() override;
    HRESULT STDMETHODCALLTYPE SetInfo() override;
    HRESULT STDMETHODCALLTYPE Get(BSTR bstrName, VARIANT* pvProp) override;
    HRESULT STDMETHODCALLTYPE Put(BSTR bstrName, VARIANT vProp) override;
    HRESULT STDMETHODCALLTYPE GetEx(BSTR bstrName, VARIANT* pvProp) override;
    HRESULT STDMETHODCALLTYPE PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) override;
    HRESULT STDMETHODCALLTYPE GetInfoEx(VARIANT vProperties, LONG lnReserved) override;

    // IADsClass (answered only for "<class>,schema" bindings)
    HRESULT STDMETHODCALLTYPE get_PrimaryInterface(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE get_CLSID(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE put_CLSID(BSTR) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_OID(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE put_OID(BSTR) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_Abstract(VARIANT_BOOL* retval) override;
    HRESULT STDMETHODCALLTYPE put_Abstract(VARIANT_BOOL) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_Auxiliary(VARIANT_BOOL* retval) override;
    HRESULT STDMETHODCALLTYPE put_Auxiliary(VARIANT_BOOL) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_MandatoryProperties(VARIANT* retval) override;
    HRESULT STDMETHODCALLTYPE put_MandatoryProperties(VARIANT) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_OptionalProperties(VARIANT* retval) override;
    HRESULT STDMETHODCALLTYPE put_OptionalProperties(VARIANT) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_NamingProperties(VARIANT* retval) override;
    HRESULT STDMETHODCALLTYPE put_NamingProperties(VARIANT) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_DerivedFrom(VARIANT* retval) override;
    HRESULT STDMETHODCALLTYPE put_DerivedFrom(VARIANT) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_AuxDerivedFrom(VARIANT* retval) override;
    HRESULT STDMETHODCALLTYPE put_AuxDerivedFrom(VARIANT) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_PossibleSuperiors(VARIANT* retval) override;
    HRESULT STDMETHODCALLTYPE put_PossibleSuperiors(VARIANT) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_Containment(VARIANT* retval) override;
    HRESULT STDMETHODCALLTYPE put_Containment(VARIANT) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_Container(VARIANT_BOOL* retval) override;
    HRESULT STDMETHODCALLTYPE put_Container(VARIANT_BOOL) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_HelpFileName(BSTR* retval) override;
    HRESULT STDMETHODCALLTYPE put_HelpFileName(BSTR) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE get_HelpFileContext(LONG* retval) override;
    HRESULT STDMETHODCALLTYPE put_HelpFileContext(LONG) override { return E_ADS_PROPERTY_NOT_SUPPORTED; }
    HRESULT STDMETHODCALLTYPE Qualifiers(IADsCollection** ppQualifiers) override;

    // IADsContainer
    HRESULT STDMETHODCALLTYPE get_Count(LONG* retval) override;
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** retval) override;
    HRESULT STDMETHODCALLTYPE get_Filter(VARIANT* pVar) override;
    HRESULT STDMETHODCALLTYPE put_Filter(VARIANT Var) override;
    HRESULT STDMETHODCALLTYPE get_Hints(VARIANT* pvFilter) override;
    HRESULT STDMETHODCALLTYPE put_Hints(VARIANT vHints) override;
    HRESULT STDMETHODCALLTYPE GetObject(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) override;
    HRESULT STDMETHODCALLTYPE Create(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) override;
    HRESULT STDMETHODCALLTYPE Delete(BSTR bstrClassName, BSTR bstrRelativeName) override;
    HRESULT STDMETHODCALLTYPE CopyHere(BSTR SourceName, BSTR NewName, IDispatch** ppObject) override;
    HRESULT STDMETHODCALLTYPE MoveHere(BSTR SourceName, BSTR NewName, IDispatch** ppObject) override;

    // IDirectorySearch
    HRESULT STDMETHODCALLTYPE SetSearchPreference(PADS_SEARCHPREF_INFO pSearchPrefs, DWORD dwNumPrefs) override;
    HRESULT STDMETHODCALLTYPE ExecuteSearch(LPWSTR pszSearchFilter, LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                            PADS_SEARCH_HANDLE phSearchResult) override;
    HRESULT STDMETHODCALLTYPE AbandonSearch(ADS_SEARCH_HANDLE phSearchResult) override;
    HRESULT STDMETHODCALLTYPE GetFirstRow(ADS_SEARCH_HANDLE hSearchResult) override;
    HRESULT STDMETHODCALLTYPE GetNextRow(ADS_SEARCH_HANDLE hSearchResult) override;
    HRESULT STDMETHODCALLTYPE GetPreviousRow(ADS_SEARCH_HANDLE hSearchResult) override;
    HRESULT STDMETHODCALLTYPE GetNextColumnName(ADS_SEARCH_HANDLE hSearchHandle, LPWSTR* ppszColumnName) override;
    HRESULT STDMETHODCALLTYPE GetColumn(ADS_SEARCH_HANDLE hSearchResult, LPWSTR szColumnName,
                                        PADS_SEARCH_COLUMN pSearchColumn) override;
    HRESULT STDMETHODCALLTYPE FreeColumn(PADS_SEARCH_COLUMN pSearchColumn) override;
    HRESULT STDMETHODCALLTYPE CloseSearchHandle(ADS_SEARCH_HANDLE hSearchResult) override;

    // IDirectoryObject (directory_object.cpp). What GetObjectInformation and
    // GetObjectAttributes return is one block freed with FreeADsMem.
    HRESULT STDMETHODCALLTYPE GetObjectInformation(PADS_OBJECT_INFO* ppObjInfo) override;
    HRESULT STDMETHODCALLTYPE GetObjectAttributes(LPWSTR* pAttributeNames, DWORD dwNumberAttributes,
                                                  PADS_ATTR_INFO* ppAttributeEntries,
                                                  DWORD* pdwNumAttributesReturned) override;
    HRESULT STDMETHODCALLTYPE SetObjectAttributes(PADS_ATTR_INFO pAttributeEntries, DWORD dwNumAttributes,
                                                  DWORD* pdwNumAttributesModified) override;
    HRESULT STDMETHODCALLTYPE CreateDSObject(LPWSTR pszRDNName, PADS_ATTR_INFO pAttributeEntries,
                                             DWORD dwNumAttributes, IDispatch** ppObject) override;
    HRESULT STDMETHODCALLTYPE DeleteDSObject(LPWSTR pszRDNName) override;

    // IADsObjectOptions
    HRESULT STDMETHODCALLTYPE GetOption(LONG lnOption, VARIANT* pvValue) override;
    HRESULT STDMETHODCALLTYPE SetOption(LONG lnOption, VARIANT vValue) override;

    const Location& location() const { return m_location; }
    // The LDAP DN searches start from (the real DN once known, else what the path named).
    std::string SearchBase();
    // Loads the real DN, classes and GUID when a fast bind skipped them.
    HRESULT EnsureIdentity();
    const std::u16string& dn() const { return m_dn; }
    std::u16string AdsPathOf(std::u16string_view ldapDn) const;

private:
    struct Property {
        std::string name;
        std::vector<std::string> values;
        int pendingOperation = 0;  // 0: unchanged; else kPendingChange | LDAP_MOD_ADD/DELETE/REPLACE
    };

    // All attributes ("*") or the named ones. A refresh drops cached values the answer no
    // longer holds; the implicit load of a first Get keeps what GetInfoEx brought (constructed
    // attributes that "*" never returns).
    enum class Load { Named, Refresh, Implicit };
    HRESULT LoadAttributes(const std::vector<std::string>& names, Load load);
    // The entry's values as the server has them: the named attributes, or all ("*") for none.
    HRESULT ReadAttributes(const std::vector<std::string>& names, RawAttributes* attributes);
    HRESULT ReadProperty(BSTR name, bool alwaysArray, VARIANT* out);
    std::shared_ptr<const SchemaSyntaxes> Syntaxes();
    HRESULT ClassAttribute(const char* attribute, VARIANT* out);
    HRESULT DeleteChild(std::u16string_view relativeName);

    Location m_location;
    ObjectForm m_form = ObjectForm::DistinguishedName;
    std::u16string m_adsPath;
    std::string m_pathBase;  // UTF-8 base as the path named it ("<GUID=...>", a DN, or "")
    std::u16string m_dn;     // LDAP form; valid when m_identityKnown
    bool m_identityKnown = false;
    std::vector<std::u16string> m_classes;
    std::string m_guid;
    bool m_isNew = false;
    std::u16string m_className;  // schema class name for "<class>,schema"

    std::map<std::string, Property> m_properties;  // lower-case name
    bool m_propertiesLoaded = false;

    VARIANT m_filter{};
    VARIANT m_hints{};
    std::vector<std::string> m_filterClasses;
    // The attributes every enumerated child brings along (IADsContainer::put_Hints).
    std::vector<std::string> m_hintNames;

    SearchPreferences m_preferences;
    // Searches started here and not yet closed: a handle is only taken when it is one of these,
    // and those a caller never closes go with the object.
    std::set<SearchState*> m_searches;
    SearchState* FindSearch(ADS_SEARCH_HANDLE handle) const;
    void CloseAllSearches();
    friend class ContainerEnumerator;
};

}  // namespace lumivel::directory
