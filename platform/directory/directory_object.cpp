// IDirectoryObject: the object's identity and attributes as ADS_ATTR_INFO records, modified and
// created without the property cache.
#include <cstring>
#include <new>

#include "ads_object.h"
#include "ldap_trace.h"
#include "dn.h"
#include "error_table.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/text.h"

namespace lumivel::directory {
namespace {

// LDAP modifications built from ADS_ATTR_INFO records; owns everything the LDAPMods point to.
class Modifications {
public:
    // op: LDAP_MOD_ADD, LDAP_MOD_DELETE or LDAP_MOD_REPLACE.
    HRESULT Add(const ADS_ATTR_INFO& info, int op) {
        if (!info.pszAttrName || !*info.pszAttrName) return E_ADS_BAD_PARAMETER;
        if (info.dwNumValues && !info.pADsValues) return E_ADS_BAD_PARAMETER;
        Entry entry;
        entry.name = ToUtf8(info.pszAttrName);
        entry.op = op;
        for (DWORD i = 0; i < info.dwNumValues; ++i) {
            std::string raw;
            const HRESULT hr = AdsValueToRaw(info.pADsValues[i], &raw);
            if (FAILED(hr)) return hr;
            entry.values.push_back(std::move(raw));
        }
        m_entries.push_back(std::move(entry));
        return S_OK;
    }

    // Valid until the object changes.
    LDAPMod** List() {
        m_mods.assign(m_entries.size(), LDAPMod{});
        m_bervals.assign(m_entries.size(), {});
        m_pointers.assign(m_entries.size(), {});
        m_list.clear();
        for (size_t i = 0; i < m_entries.size(); ++i) {
            Entry& e = m_entries[i];
            for (auto& v : e.values) m_bervals[i].push_back(berval{v.size(), v.data()});
            for (auto& b : m_bervals[i]) m_pointers[i].push_back(&b);
            m_pointers[i].push_back(nullptr);
            m_mods[i].mod_op = e.op | LDAP_MOD_BVALUES;
            m_mods[i].mod_type = e.name.data();
            // A delete without values removes the attribute; a replace without them clears it.
            m_mods[i].mod_bvalues = e.op == LDAP_MOD_DELETE && e.values.empty() ? nullptr : m_pointers[i].data();
            m_list.push_back(&m_mods[i]);
        }
        m_list.push_back(nullptr);
        return m_list.data();
    }

    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& e : m_entries) names.push_back(e.name);
        return names;
    }

private:
    struct Entry {
        std::string name;
        int op = LDAP_MOD_ADD;
        std::vector<std::string> values;
    };
    std::vector<Entry> m_entries;
    std::vector<LDAPMod> m_mods;
    std::vector<std::vector<berval>> m_bervals;
    std::vector<std::vector<berval*>> m_pointers;
    std::vector<LDAPMod*> m_list;
};

// One AllocADsMem block: records first, then the UTF-16 strings, then bytes, so that every part
// stays aligned and one FreeADsMem releases all.
class Block {
public:
    explicit Block(size_t recordBytes, size_t characters, size_t bytes)
        : m_size(recordBytes + characters * sizeof(WCHAR) + bytes), m_recordBytes(recordBytes),
          m_characters(characters) {}
    bool Allocate() {
        m_base = static_cast<unsigned char*>(AllocADsMem(static_cast<DWORD>(m_size)));
        if (!m_base) return false;
        m_records = m_base;
        m_strings = reinterpret_cast<WCHAR*>(m_base + m_recordBytes);
        m_bytes = m_base + m_recordBytes + m_characters * sizeof(WCHAR);
        return true;
    }
    template <class T>
    T* Records(size_t count) {
        T* out = reinterpret_cast<T*>(m_records);
        m_records += count * sizeof(T);
        return out;
    }
    LPWSTR String(std::u16string_view text) {
        LPWSTR out = m_strings;
        std::memcpy(m_strings, text.data(), text.size() * sizeof(WCHAR));
        m_strings[text.size()] = 0;
        m_strings += text.size() + 1;
        return out;
    }
    LPBYTE Bytes(const void* data, size_t size) {
        LPBYTE out = m_bytes;
        if (size) std::memcpy(m_bytes, data, size);
        m_bytes += size;
        return out;
    }
    void* Base() const { return m_base; }

private:
    size_t m_size, m_recordBytes, m_characters;
    unsigned char* m_base = nullptr;
    unsigned char* m_records = nullptr;
    WCHAR* m_strings = nullptr;
    unsigned char* m_bytes = nullptr;
};

// The ADSVALUE with what it points to copied into the block.
ADSVALUE CopyValue(const ADSVALUE& v, Block& block) {
    ADSVALUE out = v;
    switch (v.dwType) {
        case ADSTYPE_DN_STRING:
        case ADSTYPE_CASE_EXACT_STRING:
        case ADSTYPE_CASE_IGNORE_STRING:
        case ADSTYPE_PRINTABLE_STRING:
        case ADSTYPE_NUMERIC_STRING:
            out.CaseIgnoreString = block.String(v.CaseIgnoreString);
            break;
        case ADSTYPE_OCTET_STRING:
        case ADSTYPE_NT_SECURITY_DESCRIPTOR:
            out.OctetString.lpValue = block.Bytes(v.OctetString.lpValue, v.OctetString.dwLength);
            break;
        case ADSTYPE_DN_WITH_BINARY: {
            auto* d = block.Records<ADS_DN_WITH_BINARY>(1);
            d->dwLength = v.pDNWithBinary->dwLength;
            d->lpBinaryValue = block.Bytes(v.pDNWithBinary->lpBinaryValue, d->dwLength);
            d->pszDNString = block.String(v.pDNWithBinary->pszDNString);
            out.pDNWithBinary = d;
            break;
        }
        case ADSTYPE_DN_WITH_STRING: {
            auto* d = block.Records<ADS_DN_WITH_STRING>(1);
            d->pszStringValue = block.String(v.pDNWithString->pszStringValue);
            d->pszDNString = block.String(v.pDNWithString->pszDNString);
            out.pDNWithString = d;
            break;
        }
        default:
            break;
    }
    return out;
}

}  // namespace

HRESULT AdsObject::GetObjectInformation(PADS_OBJECT_INFO* info) {
    if (!info) return E_ADS_BAD_PARAMETER;
    *info = nullptr;
    if (m_form == ObjectForm::RootDse || m_form == ObjectForm::SchemaClass) return E_NOTIMPL;
    HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    const std::u16string className = m_classes.empty() ? std::u16string() : m_classes.back();
    // The class's schema object by its LDAP display name.
    std::u16string schemaDn;
    {
        LdapConnection& c = *m_location.connection;
        const std::string filter = "(&(objectClass=classSchema)(lDAPDisplayName=" +
                                   ToUtf8(ldap::EscapeFilterValue(className)) + "))";
        std::lock_guard<std::mutex> lock(c.Mutex());
        LdapMessagePtr result;
        const int rc =
            SearchSync(c, c.RootDse().schemaNamingContext, LDAP_SCOPE_ONELEVEL, filter, {"1.1"}, nullptr, &result);
        if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
        if (LDAPMessage* entry = ldap_first_entry(c.Handle(), result.get())) schemaDn = FromUtf8(EntryDn(c.Handle(), entry));
    }
    auto rdns = SplitDn(m_dn);
    const std::u16string rdn = rdns && !rdns->empty() ? LdapToAdsDn(rdns->front()) : std::u16string();
    const std::u16string parent = AdsPathOf(ParentDn(m_dn));
    const std::u16string schema = schemaDn.empty() ? std::u16string() : AdsPathOf(schemaDn);
    const std::u16string_view parts[] = {rdn, m_adsPath, parent, schema, className};
    size_t characters = 0;
    for (auto part : parts) characters += part.size() + 1;
    Block block(sizeof(ADS_OBJECT_INFO), characters, 0);
    if (!block.Allocate()) return E_OUTOFMEMORY;
    auto* out = block.Records<ADS_OBJECT_INFO>(1);
    out->pszRDN = block.String(rdn);
    out->pszObjectDN = block.String(m_adsPath);
    out->pszParentDN = block.String(parent);
    out->pszSchemaDN = block.String(schema);
    out->pszClassName = block.String(className);
    *info = out;
    return S_OK;
}

HRESULT AdsObject::GetObjectAttributes(LPWSTR* names, DWORD count, PADS_ATTR_INFO* entries, DWORD* returned) {
    if (!entries || !returned) return E_ADS_BAD_PARAMETER;
    *entries = nullptr;
    *returned = 0;
    if (m_isNew) return E_ADS_OBJECT_UNBOUND;
    const bool all = !names || count == static_cast<DWORD>(-1);
    std::vector<std::string> requested;
    if (!all) {
        for (DWORD i = 0; i < count; ++i) {
            if (!names[i] || !*names[i]) return E_ADS_BAD_PARAMETER;
            requested.push_back(ToUtf8(names[i]));
        }
        if (requested.empty()) return S_OK;
    }
    RawAttributes attributes;
    const HRESULT hr = ReadAttributes(requested, &attributes);
    if (FAILED(hr)) return hr;
    // In the order asked for, each once; all of them in name order otherwise.
    std::vector<const RawAttribute*> chosen;
    if (all) {
        for (const auto& [key, attribute] : attributes)
            if (!attribute.values.empty()) chosen.push_back(&attribute);
    } else {
        for (const auto& name : requested) {
            auto found = attributes.find(LowerAsciiUtf8(AttributeBaseName(name)));
            if (found == attributes.end() || found->second.values.empty()) continue;
            bool seen = false;
            for (const auto* c : chosen) seen = seen || c == &found->second;
            if (!seen) chosen.push_back(&found->second);
        }
    }
    if (chosen.empty()) return S_OK;

    const auto syntaxes = Syntaxes();
    std::vector<ColumnStorage> columns(chosen.size());
    std::vector<Syntax> columnSyntaxes;
    size_t values = 0, dnWithBinary = 0, dnWithString = 0, characters = 0, bytes = 0;
    for (size_t i = 0; i < chosen.size(); ++i) {
        const Syntax syntax = syntaxes->Of(chosen[i]->name);
        columnSyntaxes.push_back(syntax);
        FillColumn(syntax, chosen[i]->values, &columns[i]);
        columns[i].name = FromUtf8(chosen[i]->name);
        values += columns[i].values.size();
        dnWithBinary += columns[i].dnWithBinary.size();
        dnWithString += columns[i].dnWithString.size();
        characters += columns[i].name.size() + 1;
        for (const auto& s : columns[i].strings) characters += s.size() + 1;
        for (const auto& b : columns[i].bytes) bytes += b.size();
    }
    const size_t recordBytes = chosen.size() * sizeof(ADS_ATTR_INFO) + values * sizeof(ADSVALUE) +
                               dnWithBinary * sizeof(ADS_DN_WITH_BINARY) + dnWithString * sizeof(ADS_DN_WITH_STRING);
    Block block(recordBytes, characters, bytes);
    if (!block.Allocate()) return E_OUTOFMEMORY;
    auto* infos = block.Records<ADS_ATTR_INFO>(chosen.size());
    for (size_t i = 0; i < chosen.size(); ++i) {
        infos[i].pszAttrName = block.String(columns[i].name);
        infos[i].dwControlCode = 0;
        infos[i].dwADsType = AdsTypeOf(columnSyntaxes[i]);
        infos[i].dwNumValues = static_cast<DWORD>(columns[i].values.size());
        infos[i].pADsValues = block.Records<ADSVALUE>(columns[i].values.size());
    }
    for (size_t i = 0; i < chosen.size(); ++i)
        for (size_t v = 0; v < columns[i].values.size(); ++v) infos[i].pADsValues[v] = CopyValue(columns[i].values[v], block);
    *entries = infos;
    *returned = static_cast<DWORD>(chosen.size());
    return S_OK;
}

HRESULT AdsObject::SetObjectAttributes(PADS_ATTR_INFO entries, DWORD count, DWORD* modified) {
    if (modified) *modified = 0;
    if (count == 0) return S_OK;
    if (!entries) return E_ADS_BAD_PARAMETER;
    if (m_isNew) return E_ADS_OBJECT_UNBOUND;
    HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    Modifications mods;
    for (DWORD i = 0; i < count; ++i) {
        int op;
        switch (entries[i].dwControlCode) {
            case ADS_ATTR_CLEAR: op = LDAP_MOD_REPLACE; break;  // clearing an absent attribute is no error
            case ADS_ATTR_UPDATE: op = LDAP_MOD_REPLACE; break;
            case ADS_ATTR_APPEND: op = LDAP_MOD_ADD; break;
            case ADS_ATTR_DELETE: op = LDAP_MOD_DELETE; break;
            default: return E_ADS_BAD_PARAMETER;
        }
        ADS_ATTR_INFO info = entries[i];
        if (info.dwControlCode == ADS_ATTR_CLEAR) info.dwNumValues = 0;
        hr = mods.Add(info, op);
        if (FAILED(hr)) return hr;
    }
    LdapConnection& c = *m_location.connection;
    int rc;
    {
        std::lock_guard<std::mutex> lock(c.Mutex());
        rc = ldap_modify_ext_s(c.Handle(), ToUtf8(m_dn).c_str(), mods.List(), nullptr, nullptr);
        c.NoteResult(rc);
        TraceChange(c.ServerName(), "modify", ToUtf8(m_dn), mods.List(), rc);
    }
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    // Cached values of what changed are read again on demand.
    for (const auto& name : mods.Names()) {
        auto it = m_properties.find(LowerAsciiUtf8(name));
        if (it != m_properties.end() && !it->second.pendingOperation) {
            m_properties.erase(it);
            m_propertiesLoaded = false;
        }
    }
    if (modified) *modified = count;
    return S_OK;
}

HRESULT AdsObject::CreateDSObject(LPWSTR rdn, PADS_ATTR_INFO entries, DWORD count, IDispatch** object) {
    if (object) *object = nullptr;
    if (!rdn || (count && !entries)) return E_ADS_BAD_PARAMETER;
    HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    std::u16string dn;
    if (!ChildDn(rdn, m_dn, &dn)) return E_ADS_BAD_PATHNAME;
    Modifications mods;
    for (DWORD i = 0; i < count; ++i) {
        if (entries[i].dwNumValues == 0) continue;
        hr = mods.Add(entries[i], LDAP_MOD_ADD);
        if (FAILED(hr)) return hr;
    }
    LdapConnection& c = *m_location.connection;
    int rc;
    {
        std::lock_guard<std::mutex> lock(c.Mutex());
        rc = ldap_add_ext_s(c.Handle(), ToUtf8(dn).c_str(), mods.List(), nullptr, nullptr);
        c.NoteResult(rc);
        TraceChange(c.ServerName(), "add", ToUtf8(dn), mods.List(), rc);
    }
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    if (!object) return S_OK;
    AdsPath path;
    hr = ParseAdsPath(AdsPathOf(dn), &path);
    if (FAILED(hr)) return hr;
    AdsObject* child = nullptr;
    hr = Bind(path, ADS_SECURE_AUTHENTICATION | ADS_FAST_BIND, &child);
    if (FAILED(hr)) return hr;
    *object = static_cast<IADs*>(static_cast<IADsClass*>(child));
    return S_OK;
}

HRESULT AdsObject::DeleteDSObject(LPWSTR rdn) {
    if (!rdn) return E_ADS_BAD_PARAMETER;
    return DeleteChild(rdn);
}

}  // namespace lumivel::directory
