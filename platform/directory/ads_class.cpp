// IADsClass for "<class>,schema" bindings, read from the class's classSchema object.
#include "ads_object.h"
#include "error_table.h"
#include "lumivel/text.h"

namespace lumivel::directory {
namespace {

HRESULT StringList(const std::vector<std::string>& values, VARIANT* out) {
    VariantInit(out);
    if (values.size() == 1) return ValueToVariant(Syntax::CaseIgnoreString, values.front(), out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    if (!array) return E_OUTOFMEMORY;
    for (LONG i = 0; i < static_cast<LONG>(values.size()); ++i) {
        VARIANT element;
        HRESULT hr = ValueToVariant(Syntax::CaseIgnoreString, values[i], &element);
        if (SUCCEEDED(hr)) hr = SafeArrayPutElement(array, &i, &element);
        VariantClear(&element);
        if (FAILED(hr)) {
            SafeArrayDestroy(array);
            return hr;
        }
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

}  // namespace

// Values of the classSchema attributes named, together and in order; constructed ones too.
static HRESULT ReadValues(AdsObject* self, std::initializer_list<const char*> attributes, std::vector<std::string>* values) {
    LdapConnection& c = *self->location().connection;
    std::vector<std::string> names(attributes.begin(), attributes.end());
    std::lock_guard<std::mutex> lock(c.Mutex());
    LdapMessagePtr result;
    const int rc = SearchSync(c, ToUtf8(self->dn()), LDAP_SCOPE_BASE, "(objectClass=*)", names, nullptr, &result);
    if (rc != LDAP_SUCCESS) return HresultFromLdap(rc);
    LDAPMessage* entry = ldap_first_entry(c.Handle(), result.get());
    if (!entry) return HresultFromLdap(LDAP_NO_SUCH_OBJECT);
    RawAttributes raw;
    const int readRc = ReadEntryAttributes(c, entry, &raw);
    if (readRc != LDAP_SUCCESS) return HresultFromLdap(readRc);
    for (const char* a : attributes) {
        auto found = raw.find(LowerAsciiUtf8(a));
        if (found != raw.end())
            values->insert(values->end(), found->second.values.begin(), found->second.values.end());
    }
    return S_OK;
}

HRESULT AdsObject::ClassAttribute(const char* attribute, VARIANT* out) {
    if (!out) return E_POINTER;
    std::vector<std::string> values;
    const HRESULT hr = ReadValues(this, {attribute}, &values);
    if (FAILED(hr)) return hr;
    if (values.empty()) return E_ADS_PROPERTY_NOT_FOUND;
    return ValueToVariant(Syntax::CaseIgnoreString, values.front(), out);
}

#define LIST_GETTER(method, ...)                                      \
    HRESULT AdsObject::method(VARIANT* retval) {                      \
        if (!retval) return E_POINTER;                                \
        std::vector<std::string> values;                              \
        const HRESULT hr = ReadValues(this, {__VA_ARGS__}, &values);  \
        return FAILED(hr) ? hr : StringList(values, retval);          \
    }

LIST_GETTER(get_MandatoryProperties, "mustContain", "systemMustContain")
LIST_GETTER(get_OptionalProperties, "mayContain", "systemMayContain")
LIST_GETTER(get_NamingProperties, "rDNAttID")
LIST_GETTER(get_DerivedFrom, "subClassOf")
LIST_GETTER(get_AuxDerivedFrom, "auxiliaryClass", "systemAuxiliaryClass")
LIST_GETTER(get_PossibleSuperiors, "possSuperiors", "systemPossSuperiors")
// possibleInferiors is constructed by the server from every class's superiors.
LIST_GETTER(get_Containment, "possibleInferiors")

HRESULT AdsObject::get_PrimaryInterface(BSTR* retval) {
    if (!retval) return E_POINTER;
    return ReturnBstr(u"{FD8256D0-FD15-11CE-ABC4-02608C9E7553}", retval);  // IID_IADs
}

HRESULT AdsObject::get_CLSID(BSTR* retval) {
    if (!retval) return E_POINTER;
    return E_ADS_PROPERTY_NOT_SUPPORTED;
}

HRESULT AdsObject::get_OID(BSTR* retval) {
    if (!retval) return E_POINTER;
    VARIANT v;
    const HRESULT hr = ClassAttribute("governsID", &v);
    if (FAILED(hr)) return hr;
    *retval = v.bstrVal;
    return S_OK;
}

static HRESULT Category(AdsObject* self, int wanted, VARIANT_BOOL* retval) {
    if (!retval) return E_POINTER;
    std::vector<std::string> values;
    const HRESULT hr = ReadValues(self, {"objectClassCategory"}, &values);
    if (FAILED(hr)) return hr;
    *retval = !values.empty() && std::atoi(values.front().c_str()) == wanted ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

// objectClassCategory: 1 structural, 2 abstract, 3 auxiliary.
HRESULT AdsObject::get_Abstract(VARIANT_BOOL* retval) { return Category(this, 2, retval); }
HRESULT AdsObject::get_Auxiliary(VARIANT_BOOL* retval) { return Category(this, 3, retval); }

HRESULT AdsObject::get_Container(VARIANT_BOOL* retval) {
    if (!retval) return E_POINTER;
    std::vector<std::string> values;
    const HRESULT hr = ReadValues(this, {"possibleInferiors"}, &values);
    if (FAILED(hr)) return hr;
    *retval = values.empty() ? VARIANT_FALSE : VARIANT_TRUE;
    return S_OK;
}

HRESULT AdsObject::get_HelpFileName(BSTR* retval) {
    if (!retval) return E_POINTER;
    return E_ADS_PROPERTY_NOT_SUPPORTED;
}

HRESULT AdsObject::get_HelpFileContext(LONG* retval) {
    if (!retval) return E_POINTER;
    return E_ADS_PROPERTY_NOT_SUPPORTED;
}

HRESULT AdsObject::Qualifiers(IADsCollection**) { return E_NOTIMPL; }

}  // namespace lumivel::directory
