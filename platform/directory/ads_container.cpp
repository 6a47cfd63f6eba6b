// IADsContainer: class filters, child enumeration with paging, creation and deletion.
#include <new>

#include "ads_object.h"
#include "ldap_trace.h"
#include "dn.h"
#include "error_table.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/text.h"

namespace lumivel::directory {

namespace {
constexpr int kEnumerationPageSize = 1000;
}

// Walks the children of a container one page at a time; only the current page is held.
class ContainerEnumerator final : public com::ComObject<ContainerEnumerator, IEnumVARIANT> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<ContainerEnumerator, IEnumVARIANT>(IID_IEnumVARIANT),
    };
    explicit ContainerEnumerator(AdsObject* container) : m_container(container) {}


    HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override {
        if (pCeltFetched) *pCeltFetched = 0;
        if (!rgVar) return E_POINTER;
        ULONG fetched = 0;
        while (fetched < celt) {
            if (m_position >= m_page.size()) {
                // A page that failed after part of a batch was handed out is reported by the
                // next call, so that the caller never takes a cut walk for a complete one.
                if (m_done) {
                    if (fetched == 0 && FAILED(m_failure)) return m_failure;
                    break;
                }
                const HRESULT hr = FetchPage();
                if (FAILED(hr)) {
                    m_failure = hr;
                    if (fetched == 0) return hr;
                    break;
                }
                if (m_page.empty()) break;
            }
            Child& child = m_page[m_position++];
            AdsObject* object =
                AdsObject::FromEntry(m_container.get()->location(), std::move(child.dn), std::move(child.classes),
                                     std::move(child.guid), m_container.get()->m_hintNames, std::move(child.values));
            if (!object) return E_OUTOFMEMORY;
            VariantInit(&rgVar[fetched]);
            rgVar[fetched].vt = VT_DISPATCH;
            rgVar[fetched].pdispVal = static_cast<IADs*>(static_cast<IADsClass*>(object));
            ++fetched;
        }
        if (pCeltFetched) *pCeltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        VARIANT v;
        for (ULONG i = 0; i < celt; ++i) {
            ULONG got = 0;
            if (Next(1, &v, &got) != S_OK || got == 0) return S_FALSE;
            VariantClear(&v);
        }
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        m_failure = S_OK;
        m_page.clear();
        m_position = 0;
        m_cookie.clear();
        m_started = false;
        m_done = false;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        *ppEnum = com::NewComObject<ContainerEnumerator>(m_container.get()).detach();
        return *ppEnum ? S_OK : E_OUTOFMEMORY;
    }

private:
    struct Child {
        std::u16string dn;
        std::vector<std::u16string> classes;
        std::string guid;
        RawAttributes values;  // the hinted attributes
    };

    std::string Filter() const {
        const auto& classes = m_container.get()->m_filterClasses;
        if (classes.empty()) return "(objectClass=*)";
        std::string filter = classes.size() > 1 ? "(|" : "";
        for (const auto& c : classes) filter += "(objectClass=" + ToUtf8(ldap::EscapeFilterValue(FromUtf8(c))) + ")";
        if (classes.size() > 1) filter += ")";
        return filter;
    }

    HRESULT FetchPage() {
        m_page.clear();
        m_position = 0;
        if (m_started && m_cookie.empty()) {
            m_done = true;
            return S_OK;
        }
        AdsObject* container = m_container.get();
        HRESULT hr = container->EnsureIdentity();
        if (FAILED(hr)) return hr;
        LdapConnection& c = *container->location().connection;
        std::lock_guard<std::mutex> lock(c.Mutex());
        LDAP* ld = c.Handle();
        berval cookie{m_cookie.size(), m_cookie.data()};
        LDAPControl* page = nullptr;
        int rc = ldap_create_page_control(ld, kEnumerationPageSize, &cookie, 0, &page);
        if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
        LDAPControl* controls[2] = {page, nullptr};
        LdapMessagePtr result;
        const std::vector<std::string>& hints = container->m_hintNames;
        std::vector<std::string> attributes{"objectClass", "objectGUID"};
        attributes.insert(attributes.end(), hints.begin(), hints.end());
        rc = SearchSync(c, container->SearchBase(), LDAP_SCOPE_ONELEVEL, Filter(), attributes, controls, &result);
        ldap_control_free(page);
        m_started = true;
        // A page the server's limit cut short is no page to go on from: the children would end
        // there as if they were all.
        if (rc != LDAP_SUCCESS) {
            m_done = true;
            return HresultFromLdap(rc);
        }
        for (LDAPMessage* e = ldap_first_entry(ld, result.get()); e; e = ldap_next_entry(ld, e)) {
            Child child;
            child.dn = FromUtf8(EntryDn(ld, e));
            for (const auto& v : EntryValues(ld, e, "objectClass")) child.classes.push_back(FromUtf8(v));
            auto guid = EntryValues(ld, e, "objectGUID");
            if (!guid.empty()) child.guid = guid.front();
            if (!hints.empty()) {
                rc = ReadEntryAttributes(c, e, &child.values);
                if (rc != LDAP_SUCCESS) {
                    m_page.clear();
                    m_done = true;
                    return HresultFromLdap(rc);
                }
            }
            m_page.push_back(std::move(child));
        }
        m_cookie.clear();
        LDAPControl** response = nullptr;
        int code = 0;
        if (ldap_parse_result(ld, result.get(), &code, nullptr, nullptr, nullptr, &response, 0) == LDAP_SUCCESS) {
            if (LDAPControl* pr = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, response, nullptr)) {
                berval next{0, nullptr};
                ber_int_t estimate = 0;
                if (ldap_parse_pageresponse_control(ld, pr, &estimate, &next) == LDAP_SUCCESS && next.bv_val) {
                    m_cookie.assign(next.bv_val, next.bv_len);
                    ber_memfree(next.bv_val);
                }
            }
            ldap_controls_free(response);
        }
        m_done = m_cookie.empty();
        return S_OK;
    }

    ComPtr<AdsObject> m_container;
    std::vector<Child> m_page;
    size_t m_position = 0;
    std::string m_cookie;
    bool m_started = false;
    bool m_done = false;
    HRESULT m_failure = S_OK;
};

HRESULT AdsObject::get_Count(LONG*) { return E_NOTIMPL; }

HRESULT AdsObject::get__NewEnum(IUnknown** retval) {
    if (!retval) return E_POINTER;
    *retval = static_cast<IEnumVARIANT*>(com::NewComObject<ContainerEnumerator>(this).detach());
    return *retval ? S_OK : E_OUTOFMEMORY;
}

HRESULT AdsObject::get_Filter(VARIANT* pVar) {
    if (!pVar) return E_POINTER;
    VariantInit(pVar);
    return VariantCopy(pVar, &m_filter);
}

HRESULT AdsObject::put_Filter(VARIANT Var) {
    std::vector<std::string> classes;
    if (Var.vt != VT_EMPTY && Var.vt != VT_NULL) {
        const HRESULT hr = VariantToValues(Var, &classes);
        if (FAILED(hr)) return hr;
    }
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = VariantCopy(&copy, &Var);
    if (FAILED(hr)) return hr;
    VariantClear(&m_filter);
    m_filter = copy;
    m_filterClasses.clear();
    for (auto& c : classes)
        if (!c.empty()) m_filterClasses.push_back(std::move(c));
    return S_OK;
}

HRESULT AdsObject::get_Hints(VARIANT* pvFilter) {
    if (!pvFilter) return E_POINTER;
    VariantInit(pvFilter);
    return VariantCopy(pvFilter, &m_hints);
}

// The names of the attributes that each child of a later enumeration brings along.
HRESULT AdsObject::put_Hints(VARIANT vHints) {
    std::vector<std::string> names;
    if (vHints.vt != VT_EMPTY && vHints.vt != VT_NULL) {
        const HRESULT hr = VariantToValues(vHints, &names);
        if (FAILED(hr)) return hr;
    }
    VARIANT copy;
    VariantInit(&copy);
    const HRESULT hr = VariantCopy(&copy, &vHints);
    if (FAILED(hr)) return hr;
    VariantClear(&m_hints);
    m_hints = copy;
    m_hintNames.clear();
    for (auto& name : names)
        if (!name.empty()) m_hintNames.push_back(std::move(name));
    return S_OK;
}

bool ChildDn(std::u16string_view relativeName, std::u16string_view parentDn, std::u16string* dn) {
    auto rdns = SplitDn(relativeName);
    if (!rdns || rdns->size() != 1) return false;
    *dn = AdsToLdapDn(rdns->front());
    if (!parentDn.empty()) *dn += u"," + std::u16string(parentDn);
    return true;
}

HRESULT AdsObject::GetObject(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) {
    if (!ppObject) return E_POINTER;
    *ppObject = nullptr;
    HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    std::u16string dn;
    if (!ChildDn(BstrText(RelativeName), m_dn, &dn)) return E_ADS_BAD_PATHNAME;
    AdsPath path;
    hr = ParseAdsPath(AdsPathOf(dn), &path);
    if (FAILED(hr)) return hr;
    AdsObject* child = nullptr;
    hr = Bind(path, ADS_SECURE_AUTHENTICATION, &child);
    if (FAILED(hr)) return hr;
    const std::u16string wanted = BstrText(ClassName);
    if (!wanted.empty()) {
        bool matches = false;
        for (const auto& c : child->m_classes) matches = matches || EqualsNoCase(c, wanted);
        if (!matches) {
            child->Release();
            return HresultFromLdap(LDAP_NO_SUCH_OBJECT);
        }
    }
    *ppObject = static_cast<IADs*>(static_cast<IADsClass*>(child));
    return S_OK;
}

HRESULT AdsObject::Create(BSTR ClassName, BSTR RelativeName, IDispatch** ppObject) {
    if (!ppObject) return E_POINTER;
    *ppObject = nullptr;
    const std::u16string className = BstrText(ClassName);
    if (className.empty()) return E_ADS_BAD_PARAMETER;
    HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    std::u16string dn;
    if (!ChildDn(BstrText(RelativeName), m_dn, &dn)) return E_ADS_BAD_PATHNAME;
    AdsObject* child = com::NewComObject<AdsObject>().detach();
    if (!child) return E_OUTOFMEMORY;
    child->m_location = m_location;
    child->m_adsPath = AdsPathOf(dn);
    child->m_dn = std::move(dn);
    child->m_isNew = true;
    Property& objectClass = child->m_properties["objectclass"];
    objectClass.name = "objectClass";
    objectClass.values = {ToUtf8(className)};
    objectClass.pendingOperation = kPendingChange | LDAP_MOD_ADD;
    *ppObject = static_cast<IADs*>(static_cast<IADsClass*>(child));
    return S_OK;
}

HRESULT AdsObject::Delete(BSTR, BSTR bstrRelativeName) { return DeleteChild(BstrText(bstrRelativeName)); }

HRESULT AdsObject::DeleteChild(std::u16string_view relativeName) {
    HRESULT hr = EnsureIdentity();
    if (FAILED(hr)) return hr;
    std::u16string dn;
    if (!ChildDn(relativeName, m_dn, &dn)) return E_ADS_BAD_PATHNAME;
    LdapConnection& c = *m_location.connection;
    std::lock_guard<std::mutex> lock(c.Mutex());
    const int rc = ldap_delete_ext_s(c.Handle(), ToUtf8(dn).c_str(), nullptr, nullptr);
    c.NoteResult(rc);
    TraceDelete(c.ServerName(), ToUtf8(dn), rc);
    return HresultFromLdap(rc);
}

HRESULT AdsObject::CopyHere(BSTR, BSTR, IDispatch**) { return E_NOTIMPL; }
HRESULT AdsObject::MoveHere(BSTR, BSTR, IDispatch**) { return E_NOTIMPL; }

}  // namespace lumivel::directory
