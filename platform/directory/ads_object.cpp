// Directory objects: binding, identity and the property cache.
#include "ads_object.h"
#include "ldap_trace.h"

#include <new>

#include "dn.h"
#include "error_table.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/text.h"

namespace lumivel::directory {
namespace {

// Splits "name;range=low-high" into the name and the high end ("*" for the last slice).
bool ParseRange(std::string_view descriptor, std::string* name, std::string* high, long* highValue) {
    const size_t semicolon = descriptor.find(';');
    if (semicolon == std::string_view::npos) return false;
    std::string_view options = descriptor.substr(semicolon);
    const size_t range = LowerAsciiUtf8(options).find(";range=");
    if (range == std::string::npos) return false;
    std::string_view bounds = options.substr(range + 7);
    bounds = bounds.substr(0, bounds.find(';'));
    const size_t dash = bounds.find('-');
    if (dash == std::string_view::npos) return false;
    *name = std::string(descriptor.substr(0, semicolon));
    *high = std::string(bounds.substr(dash + 1));
    *highValue = *high == "*" ? -1 : std::atol(high->c_str());
    return true;
}

void AppendValues(LDAP* ld, LDAPMessage* entry, const char* descriptor, std::vector<std::string>* values) {
    BervalsPtr raw(ldap_get_values_len(ld, entry, descriptor));
    if (!raw) return;
    for (berval** v = raw.get(); *v; ++v) values->emplace_back((*v)->bv_val, (*v)->bv_len);
}

std::vector<std::string> VariantNames(const VARIANT& names) {
    std::vector<std::string> out;
    std::vector<std::string> raw;
    if (SUCCEEDED(VariantToValues(names, &raw))) out = std::move(raw);
    return out;
}

// The DN a path names, where it names one: a serverless bind goes to that DN's domain.
std::string ObjectDnOf(const AdsPath& path) {
    if (path.form == ObjectForm::DistinguishedName) return ToUtf8(AdsToLdapDn(path.object));
    if (path.form == ObjectForm::WellKnownGuid) {
        // "<WKGUID=guid,DN>"
        const size_t comma = path.object.find(u',');
        if (comma != std::u16string::npos && path.object.size() > comma + 2)
            return ToUtf8(std::u16string_view(path.object).substr(comma + 1, path.object.size() - comma - 2));
    }
    return {};
}

}  // namespace

std::u16string HexText(std::string_view bytes) {
    static constexpr char16_t kHex[] = u"0123456789abcdef";
    std::u16string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 0xF]);
    }
    return out;
}

int ReadEntryAttributes(LdapConnection& connection, LDAPMessage* entry, RawAttributes* attributes,
                        bool showDeleted) {
    LDAP* ld = connection.Handle();
    struct Pending {
        std::string name;
        long next;
    };
    std::vector<Pending> pending;
    BerElement* ber = nullptr;
    for (char* a = ldap_first_attribute(ld, entry, &ber); a; a = ldap_next_attribute(ld, entry, ber)) {
        std::string name, high;
        long highValue = 0;
        const bool ranged = ParseRange(a, &name, &high, &highValue);
        if (!ranged) name = std::string(AttributeBaseName(a));
        RawAttribute& attribute = (*attributes)[LowerAsciiUtf8(name)];
        attribute.name = name;
        AppendValues(ld, entry, a, &attribute.values);
        if (ranged && highValue >= 0) pending.push_back({name, highValue + 1});
        ldap_memfree(a);
    }
    if (ber) ber_free(ber, 0);

    const std::string dn = EntryDn(ld, entry);
    // A tombstone found by a show-deleted search is invisible to a plain read of its later slices.
    LDAPControl showDeletedControl{const_cast<char*>("1.2.840.113556.1.4.417"), {0, nullptr}, 1};
    LDAPControl* sliceControls[2] = {showDeleted ? &showDeletedControl : nullptr, nullptr};
    for (auto& slice : pending) {
        RawAttribute& attribute = (*attributes)[LowerAsciiUtf8(slice.name)];
        for (;;) {
            const std::string request = slice.name + ";range=" + std::to_string(slice.next) + "-*";
            LdapMessagePtr result;
            const int rc = SearchSync(connection, dn, LDAP_SCOPE_BASE, "(objectClass=*)", {request},
                                      showDeleted ? sliceControls : nullptr, &result);
            if (rc != LDAP_SUCCESS) return rc;
            LDAPMessage* e = ldap_first_entry(ld, result.get());
            if (!e) break;
            bool more = false;
            bool any = false;
            BerElement* b = nullptr;
            for (char* a = ldap_first_attribute(ld, e, &b); a; a = ldap_next_attribute(ld, e, b)) {
                std::string name, high;
                long highValue = 0;
                if (ParseRange(a, &name, &high, &highValue) && LowerAsciiUtf8(name) == LowerAsciiUtf8(slice.name)) {
                    const size_t before = attribute.values.size();
                    AppendValues(ld, e, a, &attribute.values);
                    any = attribute.values.size() > before;
                    if (highValue >= 0) {
                        slice.next = highValue + 1;
                        more = true;
                    }
                }
                ldap_memfree(a);
            }
            if (b) ber_free(b, 0);
            if (!more || !any) break;
        }
    }
    return LDAP_SUCCESS;
}

HRESULT AdsObject::Bind(const AdsPath& path, DWORD flags, AdsObject** object) {
    *object = nullptr;
    RegisterDirectoryMessages();
    Location location;
    location.provider = path.provider;
    location.server = path.server;
    location.port = path.port;
    const ServerRole role = path.provider == Provider::GlobalCatalog ? ServerRole::GlobalCatalog : ServerRole::DomainController;
    HRESULT hr = AcquireConnection(ToUtf8(path.server), path.port, role, &location.connection, ObjectDnOf(path));
    if (FAILED(hr)) return hr;

    ComPtr<AdsObject> created = com::NewComObject<AdsObject>();
    if (!created) return E_OUTOFMEMORY;
    AdsObject& o = *created.get();
    o.m_location = location;
    o.m_form = path.form;
    switch (path.form) {
        case ObjectForm::RootDse:
            o.m_identityKnown = true;
            o.m_adsPath = FormatAdsPath(path.provider, path.server, path.port, u"rootDSE");
            break;
        case ObjectForm::DefaultNamingContext:
            o.m_pathBase = location.connection->RootDse().defaultNamingContext;
            o.m_adsPath = FormatAdsPath(path.provider, path.server, path.port, LdapToAdsDn(FromUtf8(o.m_pathBase)));
            break;
        case ObjectForm::DistinguishedName:
            o.m_pathBase = ToUtf8(AdsToLdapDn(path.object));
            o.m_adsPath = FormatAdsPath(path.provider, path.server, path.port, path.object);
            break;
        case ObjectForm::Guid:
        case ObjectForm::WellKnownGuid:
            o.m_pathBase = ToUtf8(path.object);
            o.m_adsPath = FormatAdsPath(path.provider, path.server, path.port, path.object);
            break;
        case ObjectForm::SchemaClass: {
            LdapConnection& c = *location.connection;
            const std::string filter = "(&(objectClass=classSchema)(lDAPDisplayName=" +
                                       ToUtf8(ldap::EscapeFilterValue(path.object)) + "))";
            std::lock_guard<std::mutex> lock(c.Mutex());
            LdapMessagePtr result;
            const int rc = SearchSync(c, c.RootDse().schemaNamingContext, LDAP_SCOPE_ONELEVEL, filter,
                                      {"lDAPDisplayName", "objectGUID"}, nullptr, &result);
            if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
            LDAPMessage* entry = ldap_first_entry(c.Handle(), result.get());
            if (!entry) return E_ADS_UNKNOWN_OBJECT;
            o.m_dn = FromUtf8(EntryDn(c.Handle(), entry));
            auto guid = EntryValues(c.Handle(), entry, "objectGUID");
            if (!guid.empty()) o.m_guid = guid.front();
            auto name = EntryValues(c.Handle(), entry, "lDAPDisplayName");
            o.m_className = name.empty() ? path.object : FromUtf8(name.front());
            o.m_classes = {u"top", u"classSchema"};
            o.m_identityKnown = true;
            o.m_adsPath = FormatAdsPath(path.provider, path.server, path.port, path.object + u",schema");
            break;
        }
    }
    if (!(flags & ADS_FAST_BIND)) {
        hr = o.EnsureIdentity();
        if (FAILED(hr)) return hr;
    }
    *object = created.detach();
    return S_OK;
}

AdsObject* AdsObject::FromEntry(const Location& location, std::u16string dn, std::vector<std::u16string> classes,
                                std::string guid, const std::vector<std::string>& preloaded, RawAttributes values) {
    AdsObject* o = com::NewComObject<AdsObject>().detach();
    if (!o) return nullptr;
    o->m_location = location;
    o->m_pathBase = ToUtf8(dn);
    o->m_adsPath = o->AdsPathOf(dn);
    o->m_dn = std::move(dn);
    o->m_classes = std::move(classes);
    o->m_guid = std::move(guid);
    o->m_identityKnown = true;
    for (const auto& name : preloaded) {
        if (name == "*") {
            // What "*" brings is what an implicit load would have read.
            for (auto& [key, attribute] : values) o->m_properties[key] = Property{attribute.name, attribute.values, 0};
            o->m_propertiesLoaded = true;
            continue;
        }
        const std::string key = LowerAsciiUtf8(name);
        auto found = values.find(key);
        o->m_properties[key] = found == values.end() ? Property{name, {}, 0}
                                                     : Property{found->second.name, std::move(found->second.values), 0};
    }
    return o;
}

AdsObject::~AdsObject() {
    CloseAllSearches();
    VariantClear(&m_filter);
    VariantClear(&m_hints);
}

void* AdsObject::FindInterface(REFIID riid) {
    if (riid == IID_IADsClass && m_form != ObjectForm::SchemaClass) return nullptr;
    return com::FindInTable(kInterfaces, this, riid);
}

std::string AdsObject::SearchBase() { return m_identityKnown ? ToUtf8(m_dn) : m_pathBase; }

std::u16string AdsObject::AdsPathOf(std::u16string_view ldapDn) const {
    return FormatAdsPath(m_location.provider, m_location.server, m_location.port, LdapToAdsDn(ldapDn));
}

HRESULT AdsObject::EnsureIdentity() {
    if (m_identityKnown) return S_OK;
    if (m_isNew) return E_ADS_OBJECT_UNBOUND;
    LdapConnection& c = *m_location.connection;
    std::lock_guard<std::mutex> lock(c.Mutex());
    LdapMessagePtr result;
    const int rc = SearchSync(c, m_pathBase, LDAP_SCOPE_BASE, "(objectClass=*)", {"objectClass", "objectGUID"}, nullptr,
                              &result);
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    LDAPMessage* entry = ldap_first_entry(c.Handle(), result.get());
    if (!entry) return HresultFromLdap(LDAP_NO_SUCH_OBJECT);
    m_dn = FromUtf8(EntryDn(c.Handle(), entry));
    m_classes.clear();
    for (const auto& value : EntryValues(c.Handle(), entry, "objectClass")) m_classes.push_back(FromUtf8(value));
    auto guid = EntryValues(c.Handle(), entry, "objectGUID");
    m_guid = guid.empty() ? std::string() : guid.front();
    m_identityKnown = true;
    return S_OK;
}

HRESULT AdsObject::get_Name(BSTR* retval) {
    if (!retval) return E_POINTER;
    if (m_form == ObjectForm::SchemaClass) return ReturnBstr(m_className, retval);
    if (m_form == ObjectForm::RootDse) return ReturnBstr(u"rootDSE", retval);
    const HRESULT hr = m_isNew ? S_OK : EnsureIdentity();
    if (FAILED(hr)) return hr;
    auto rdns = SplitDn(m_dn);
    return ReturnBstr(rdns && !rdns->empty() ? LdapToAdsDn(rdns->front()) : std::u16string(), retval);
}

HRESULT AdsObject::get_Class(BSTR* retval) {
    if (!retval) return E_POINTER;
    if (m_form == ObjectForm::SchemaClass) return ReturnBstr(u"Class", retval);
    if (m_isNew) {
        auto found = m_properties.find("objectclass");
        if (found != m_properties.end() && !found->second.values.empty())
            return ReturnBstr(FromUtf8(found->second.values.back()), retval);
    }
    const HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    // AD lists objectClass from "top" down to the structural class.
    return ReturnBstr(m_classes.empty() ? std::u16string() : m_classes.back(), retval);
}

HRESULT AdsObject::get_GUID(BSTR* retval) {
    if (!retval) return E_POINTER;
    const HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    if (m_guid.size() != 16) return E_ADS_PROPERTY_NOT_FOUND;
    return ReturnBstr(HexText(m_guid), retval);
}

HRESULT AdsObject::get_ADsPath(BSTR* retval) { return ReturnBstr(m_adsPath, retval); }

HRESULT AdsObject::get_Parent(BSTR* retval) {
    if (!retval) return E_POINTER;
    if (m_form == ObjectForm::SchemaClass)
        return ReturnBstr(FormatAdsPath(m_location.provider, m_location.server, m_location.port, u"schema"), retval);
    const HRESULT hr = m_isNew ? S_OK : EnsureIdentity();
    if (FAILED(hr)) return hr;
    return ReturnBstr(AdsPathOf(ParentDn(m_dn)), retval);
}

HRESULT AdsObject::get_Schema(BSTR* retval) {
    if (!retval) return E_POINTER;
    if (m_form == ObjectForm::SchemaClass || m_form == ObjectForm::RootDse) return E_ADS_PROPERTY_NOT_SUPPORTED;
    BSTR className = nullptr;
    const HRESULT hr = get_Class(&className);
    if (FAILED(hr)) return hr;
    const std::u16string path =
        FormatAdsPath(m_location.provider, m_location.server, m_location.port, u"schema/" + BstrText(className));
    SysFreeString(className);
    return ReturnBstr(path, retval);
}

std::shared_ptr<const SchemaSyntaxes> AdsObject::Syntaxes() { return SchemaSyntaxes::For(*m_location.connection); }

HRESULT AdsObject::ReadAttributes(const std::vector<std::string>& names, RawAttributes* attributes) {
    if (m_isNew) return E_ADS_OBJECT_UNBOUND;
    LdapConnection& c = *m_location.connection;
    std::lock_guard<std::mutex> lock(c.Mutex());
    LdapMessagePtr result;
    const int rc = SearchSync(c, SearchBase(), LDAP_SCOPE_BASE, "(objectClass=*)",
                              names.empty() ? std::vector<std::string>{"*"} : names, nullptr, &result);
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    LDAPMessage* entry = ldap_first_entry(c.Handle(), result.get());
    if (!entry) return HresultFromLdap(LDAP_NO_SUCH_OBJECT);
    return HresultFromLdap(ReadEntryAttributes(c, entry, attributes));
}

HRESULT AdsObject::LoadAttributes(const std::vector<std::string>& names, Load load) {
    const bool all = load != Load::Named;
    if (!all && names.empty()) return E_ADS_BAD_PARAMETER;
    RawAttributes attributes;
    const HRESULT hr = ReadAttributes(all ? std::vector<std::string>{} : names, &attributes);
    if (FAILED(hr)) return hr;
    // Values the caller changed but has not committed stay as the caller left them.
    if (load == Load::Refresh) {
        for (auto it = m_properties.begin(); it != m_properties.end();)
            it = it->second.pendingOperation ? std::next(it) : m_properties.erase(it);
    } else if (load == Load::Named) {
        // A named attribute the entry lacks is remembered as absent, so that reading it does
        // not load the whole entry again only to find nothing.
        for (const auto& name : names) {
            const std::string key = LowerAsciiUtf8(name);
            auto it = m_properties.find(key);
            if (it != m_properties.end() && it->second.pendingOperation) continue;
            if (name != "*") m_properties[key] = Property{name, {}, 0};
        }
    }
    for (auto& [key, attribute] : attributes) {
        auto& property = m_properties[key];
        if (property.pendingOperation) continue;
        property.name = attribute.name;
        property.values = std::move(attribute.values);
    }
    if (all) m_propertiesLoaded = true;
    return S_OK;
}

HRESULT AdsObject::GetInfo() { return LoadAttributes({}, Load::Refresh); }

HRESULT AdsObject::GetInfoEx(VARIANT vProperties, LONG) {
    const std::vector<std::string> names = VariantNames(vProperties);
    if (names.empty()) return E_ADS_BAD_PARAMETER;
    return LoadAttributes(names, Load::Named);
}

HRESULT AdsObject::ReadProperty(BSTR name, bool alwaysArray, VARIANT* out) {
    if (!out) return E_POINTER;
    VariantInit(out);
    const std::string key = LowerAsciiUtf8(ToUtf8(BstrText(name)));
    if (key.empty()) return E_ADS_BAD_PARAMETER;
    if (!m_isNew && !m_propertiesLoaded && m_properties.find(key) == m_properties.end()) {
        const HRESULT hr = LoadAttributes({}, Load::Implicit);
        if (FAILED(hr)) return hr;
    }
    auto found = m_properties.find(key);
    if (found == m_properties.end() || found->second.values.empty() ||
        found->second.pendingOperation == (kPendingChange | LDAP_MOD_DELETE))
        return E_ADS_PROPERTY_NOT_FOUND;
    return ValuesToVariant(Syntaxes()->Of(key), found->second.values, alwaysArray, out);
}

HRESULT AdsObject::Get(BSTR bstrName, VARIANT* pvProp) { return ReadProperty(bstrName, false, pvProp); }
HRESULT AdsObject::GetEx(BSTR bstrName, VARIANT* pvProp) { return ReadProperty(bstrName, true, pvProp); }

HRESULT AdsObject::Put(BSTR bstrName, VARIANT vProp) { return PutEx(ADS_PROPERTY_UPDATE, bstrName, vProp); }

HRESULT AdsObject::PutEx(LONG lnControlCode, BSTR bstrName, VARIANT vProp) {
    const std::string name = ToUtf8(BstrText(bstrName));
    if (name.empty()) return E_ADS_BAD_PARAMETER;
    std::vector<std::string> values;
    if (lnControlCode != ADS_PROPERTY_CLEAR) {
        const HRESULT hr = VariantToValues(vProp, &values);
        if (FAILED(hr)) return hr;
    }
    Property& property = m_properties[LowerAsciiUtf8(name)];
    property.name = name;
    switch (lnControlCode) {
        case ADS_PROPERTY_CLEAR:
            // A replace without values: clearing an attribute that has none is no error.
            property.values.clear();
            property.pendingOperation = kPendingChange | LDAP_MOD_REPLACE;
            break;
        case ADS_PROPERTY_UPDATE:
            property.values = std::move(values);
            property.pendingOperation = kPendingChange | LDAP_MOD_REPLACE;
            break;
        case ADS_PROPERTY_APPEND:
            property.values = std::move(values);
            property.pendingOperation = kPendingChange | LDAP_MOD_ADD;
            break;
        case ADS_PROPERTY_DELETE:
            property.values = std::move(values);
            property.pendingOperation = kPendingChange | LDAP_MOD_DELETE;
            break;
        default:
            return E_ADS_BAD_PARAMETER;
    }
    return S_OK;
}

HRESULT AdsObject::SetInfo() {
    std::vector<LDAPMod> mods;
    std::vector<std::vector<berval>> valueStore;
    std::vector<std::vector<berval*>> pointerStore;
    mods.reserve(m_properties.size());
    valueStore.reserve(m_properties.size());
    pointerStore.reserve(m_properties.size());
    for (auto& [key, property] : m_properties) {
        if (!property.pendingOperation) continue;
        auto& values = valueStore.emplace_back();
        for (auto& v : property.values) values.push_back(berval{v.size(), v.data()});
        auto& pointers = pointerStore.emplace_back();
        for (auto& v : values) pointers.push_back(&v);
        pointers.push_back(nullptr);
        int op = property.pendingOperation & 0xFF;
        if (m_isNew && op != LDAP_MOD_DELETE) op = LDAP_MOD_ADD;
        if (m_isNew && (op == LDAP_MOD_DELETE || property.values.empty())) continue;
        mods.push_back(LDAPMod{op | LDAP_MOD_BVALUES, property.name.data(), {nullptr}});
        mods.back().mod_bvalues = pointers.size() > 1 || op != LDAP_MOD_DELETE ? pointers.data() : nullptr;
    }
    if (mods.empty() && !m_isNew) return S_OK;
    std::vector<LDAPMod*> list;
    for (auto& m : mods) list.push_back(&m);
    list.push_back(nullptr);

    LdapConnection& c = *m_location.connection;
    int rc;
    {
        std::lock_guard<std::mutex> lock(c.Mutex());
        const std::string dn = ToUtf8(m_dn);
        rc = m_isNew ? ldap_add_ext_s(c.Handle(), dn.c_str(), list.data(), nullptr, nullptr)
                     : ldap_modify_ext_s(c.Handle(), dn.c_str(), list.data(), nullptr, nullptr);
        c.NoteResult(rc);
        TraceChange(c.ServerName(), m_isNew ? "add" : "modify", dn, list.data(), rc);
    }
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    for (auto it = m_properties.begin(); it != m_properties.end();) {
        // Only what the server now holds stays cached; the rest is read again on demand.
        if (it->second.pendingOperation == (kPendingChange | LDAP_MOD_REPLACE) || (m_isNew && it->second.pendingOperation)) {
            it->second.pendingOperation = 0;
            ++it;
        } else if (it->second.pendingOperation) {
            it = m_properties.erase(it);
            m_propertiesLoaded = false;
        } else {
            ++it;
        }
    }
    if (m_isNew) {
        m_isNew = false;
        m_identityKnown = false;
        m_pathBase = ToUtf8(m_dn);
        m_propertiesLoaded = false;
        m_properties.clear();
    }
    return S_OK;
}

HRESULT AdsObject::GetOption(LONG lnOption, VARIANT* pvValue) {
    if (!pvValue) return E_POINTER;
    VariantInit(pvValue);
    switch (lnOption) {
        case ADS_OPTION_SERVERNAME: {
            const std::u16string name = FromUtf8(m_location.connection->ServerName());
            pvValue->bstrVal = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
            if (!pvValue->bstrVal) return E_OUTOFMEMORY;
            pvValue->vt = VT_BSTR;
            return S_OK;
        }
        case ADS_OPTION_REFERRALS:
            pvValue->vt = VT_I4;
            pvValue->lVal = ADS_CHASE_REFERRALS_NEVER;
            return S_OK;
        case ADS_OPTION_PAGE_SIZE:
            pvValue->vt = VT_I4;
            pvValue->lVal = m_preferences.pageSize;
            return S_OK;
        case ADS_OPTION_SECURITY_MASK:
            pvValue->vt = VT_I4;
            pvValue->lVal = m_preferences.securityMask < 0 ? 0xF : m_preferences.securityMask;
            return S_OK;
        case ADS_OPTION_MUTUAL_AUTH_STATUS:
            // The GSSAPI bind is mutually authenticated and sealed: confidentiality, integrity.
            pvValue->vt = VT_I4;
            pvValue->lVal = 0x10 | 0x20 | 0x02;
            return S_OK;
        default:
            return E_NOTIMPL;
    }
}

HRESULT AdsObject::SetOption(LONG lnOption, VARIANT vValue) {
    const LONG value = vValue.vt == VT_I4 ? vValue.lVal : (vValue.vt == VT_I2 ? vValue.iVal : -1);
    switch (lnOption) {
        case ADS_OPTION_PAGE_SIZE:
            if (value < 0) return E_ADS_BAD_PARAMETER;
            m_preferences.pageSize = value;
            return S_OK;
        case ADS_OPTION_SECURITY_MASK:
            if (value < 0) return E_ADS_BAD_PARAMETER;
            m_preferences.securityMask = value;
            return S_OK;
        case ADS_OPTION_REFERRALS:
            return value == ADS_CHASE_REFERRALS_NEVER ? S_OK : E_NOTIMPL;
        default:
            return E_NOTIMPL;
    }
}

}  // namespace lumivel::directory
