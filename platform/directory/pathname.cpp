// IADsPathname: ADsPaths and DNs taken apart and put together with escaped names kept intact.
#include "pathname.h"

#include <new>
#include <vector>

#include "ads_path.h"
#include "dn.h"
#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"

namespace lumivel::directory {
namespace {

class Pathname final : public com::ComObject<Pathname, com::DispatchWithoutTypeInfo<IADsPathname>> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<Pathname, IADsPathname>(IID_IADsPathname),
        com::InterfaceOf<Pathname, IADsPathname>(IID_IDispatch),
    };

    HRESULT STDMETHODCALLTYPE Set(BSTR bstrADsPath, LONG lnSetType) override {
        const std::u16string text = BstrText(bstrADsPath);
        switch (lnSetType) {
            case ADS_SETTYPE_FULL: {
                AdsPath path;
                const HRESULT hr = ParseAdsPath(text, &path);
                if (FAILED(hr)) return E_ADS_BAD_PATHNAME;
                if (path.form != ObjectForm::DistinguishedName && path.form != ObjectForm::DefaultNamingContext)
                    return E_ADS_BAD_PATHNAME;
                m_provider = path.provider == Provider::GlobalCatalog ? u"GC" : u"LDAP";
                m_server = path.server;
                if (path.port) m_server += u":" + std::u16string(FromAscii(std::to_string(path.port)));
                return SetDn(path.form == ObjectForm::DistinguishedName ? path.object : std::u16string());
            }
            case ADS_SETTYPE_PROVIDER:
                if (text != u"LDAP" && text != u"GC") return E_ADS_BAD_PATHNAME;
                m_provider = text;
                return S_OK;
            case ADS_SETTYPE_SERVER:
                m_server = text;
                return S_OK;
            case ADS_SETTYPE_DN:
                return SetDn(text);
            default:
                return E_INVALIDARG;
        }
    }

    HRESULT STDMETHODCALLTYPE SetDisplayType(LONG lnDisplayType) override {
        if (lnDisplayType != ADS_DISPLAY_FULL && lnDisplayType != ADS_DISPLAY_VALUE_ONLY) return E_INVALIDARG;
        m_displayType = lnDisplayType;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Retrieve(LONG lnFormatType, BSTR* pbstrADsPath) override {
        if (!pbstrADsPath) return E_POINTER;
        *pbstrADsPath = nullptr;
        const std::u16string prefix = m_provider + u"://";
        const std::u16string server = m_server.empty() ? std::u16string() : m_server + u"/";
        switch (lnFormatType) {
            case ADS_FORMAT_X500: return ReturnBstr(prefix + server + Dn(0), pbstrADsPath);
            case ADS_FORMAT_X500_NO_SERVER: return ReturnBstr(prefix + Dn(0), pbstrADsPath);
            case ADS_FORMAT_X500_DN: return ReturnBstr(Dn(0), pbstrADsPath);
            case ADS_FORMAT_X500_PARENT: return ReturnBstr(prefix + server + Dn(1), pbstrADsPath);
            case ADS_FORMAT_WINDOWS: return ReturnBstr(prefix + server + WindowsDn(0), pbstrADsPath);
            case ADS_FORMAT_WINDOWS_NO_SERVER: return ReturnBstr(prefix + WindowsDn(0), pbstrADsPath);
            case ADS_FORMAT_WINDOWS_DN: return ReturnBstr(WindowsDn(0), pbstrADsPath);
            case ADS_FORMAT_WINDOWS_PARENT: return ReturnBstr(prefix + server + WindowsDn(1), pbstrADsPath);
            case ADS_FORMAT_SERVER: return ReturnBstr(m_server, pbstrADsPath);
            case ADS_FORMAT_PROVIDER: return ReturnBstr(m_provider, pbstrADsPath);
            case ADS_FORMAT_LEAF:
                if (m_elements.empty()) return ReturnBstr(u"", pbstrADsPath);
                return ReturnBstr(Element(0), pbstrADsPath);
            default: return E_INVALIDARG;
        }
    }

    HRESULT STDMETHODCALLTYPE GetNumElements(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(m_elements.size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetElement(LONG index, BSTR* element) override {
        if (!element) return E_POINTER;
        *element = nullptr;
        if (index < 0 || static_cast<size_t>(index) >= m_elements.size()) return E_ADS_BAD_PARAMETER;
        return ReturnBstr(Element(static_cast<size_t>(index)), element);
    }

    HRESULT STDMETHODCALLTYPE AddLeafElement(BSTR bstrLeafElement) override {
        auto rdns = SplitDn(BstrText(bstrLeafElement));
        if (!rdns || rdns->size() != 1) return E_ADS_BAD_PATHNAME;
        m_elements.insert(m_elements.begin(), rdns->front());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE RemoveLeafElement() override {
        if (m_elements.empty()) return E_ADS_BAD_PARAMETER;
        m_elements.erase(m_elements.begin());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE CopyPath(IDispatch** ppAdsPath) override {
        if (!ppAdsPath) return E_POINTER;
        ComPtr<Pathname> copy = com::NewComObject<Pathname>(*this);
        *ppAdsPath = copy.detach();
        return *ppAdsPath ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT STDMETHODCALLTYPE GetEscapedElement(LONG, BSTR bstrInStr, BSTR* pbstrOutStr) override {
        if (!pbstrOutStr) return E_POINTER;
        const std::u16string in = BstrText(bstrInStr);
        const size_t equals = in.find(u'=');
        if (equals == std::u16string::npos) return ReturnBstr(LdapToAdsDn(ldap::EscapeDnValue(in)), pbstrOutStr);
        return ReturnBstr(in.substr(0, equals + 1) + LdapToAdsDn(ldap::EscapeDnValue(in.substr(equals + 1))),
                          pbstrOutStr);
    }

    HRESULT STDMETHODCALLTYPE get_EscapedMode(LONG* mode) override {
        if (!mode) return E_POINTER;
        *mode = m_escapedMode;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE put_EscapedMode(LONG mode) override {
        if (mode < ADS_ESCAPEDMODE_DEFAULT || mode > ADS_ESCAPEDMODE_OFF_EX) return E_INVALIDARG;
        m_escapedMode = mode;
        return S_OK;
    }

    Pathname() = default;
    Pathname(const Pathname& other)
        : ComObject(), m_provider(other.m_provider), m_server(other.m_server), m_elements(other.m_elements),
          m_displayType(other.m_displayType), m_escapedMode(other.m_escapedMode) {}

private:
    static std::u16string FromAscii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

    HRESULT SetDn(std::u16string_view dn) {
        auto rdns = SplitDn(dn);
        if (!rdns) return E_ADS_BAD_PATHNAME;
        m_elements = std::move(*rdns);
        return S_OK;
    }

    // One element as the escaped mode and display type want it.
    std::u16string Element(size_t index) const {
        const std::u16string& rdn = m_elements[index];
        std::u16string type(RdnType(rdn));
        std::u16string value(RdnValue(rdn));
        if (m_escapedMode == ADS_ESCAPEDMODE_OFF) value = AdsToLdapDn(value);
        if (m_escapedMode == ADS_ESCAPEDMODE_OFF_EX) value = ldap::UnescapeDnValue(value).value_or(value);
        return m_displayType == ADS_DISPLAY_VALUE_ONLY ? value : type + u"=" + value;
    }

    std::u16string Dn(size_t from) const {
        std::u16string out;
        for (size_t i = from; i < m_elements.size(); ++i) {
            if (i > from) out.push_back(u',');
            out += Element(i);
        }
        return out;
    }

    std::u16string WindowsDn(size_t from) const {
        std::u16string out;
        for (size_t i = m_elements.size(); i > from; --i) {
            if (!out.empty()) out.push_back(u'/');
            out += Element(i - 1);
        }
        return out;
    }

    std::u16string m_provider = u"LDAP";
    std::u16string m_server;
    std::vector<std::u16string> m_elements;  // leaf first
    LONG m_displayType = ADS_DISPLAY_FULL;
    LONG m_escapedMode = ADS_ESCAPEDMODE_DEFAULT;
};

}  // namespace

HRESULT CreatePathnameInstance(IUnknown* outer, REFIID riid, void** object) {
    return com::CreateComObject<Pathname, com::Aggregation::Refused>(outer, riid, object);
}

}  // namespace lumivel::directory
