#include "indexgen/schema_walk.h"

#include <algorithm>
#include <iterator>

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "schemacache/index_format.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"
#include "win/adsi.h"
#include "win/com.h"
#include "win/dsclient.h"
#include "win/dserror.h"
#include "win/guid.h"

namespace taxonis {
namespace {

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

constexpr ULONG kSchemaBatch = 100;
constexpr ULONG kExtendedRightsBatch = 1;
// Large enough that no path is cut: a cut icon path would name another file.
constexpr INT kTextBuffer = 4096;

// Failures of the directory request itself rather than of one object's data: the walk cannot
// go on and what it holds is incomplete.
bool IsRequestFailure(HRESULT result) {
    static constexpr HRESULT kRequestFailures[] = {
        HRESULT_FROM_WIN32(ERROR_DS_SERVER_DOWN), HRESULT_FROM_WIN32(ERROR_DS_UNAVAILABLE),
        HRESULT_FROM_WIN32(ERROR_DS_BUSY),        HRESULT_FROM_WIN32(ERROR_TIMEOUT),
        HRESULT_FROM_WIN32(ERROR_DS_LOCAL_ERROR), HRESULT_FROM_WIN32(ERROR_NOT_ENOUGH_MEMORY),
        E_OUTOFMEMORY,
    };
    return std::find(std::begin(kRequestFailures), std::end(kRequestFailures), result) != std::end(kRequestFailures);
}

enum class Outcome { Added, Skipped, Failed };

Outcome SkipOrFail(HRESULT result) { return IsRequestFailure(result) ? Outcome::Failed : Outcome::Skipped; }

HRESULT GetProperty(IADs* object, const char16_t* name, VARIANT* value) {
    UniqueBstr property(name);
    return object->Get(property.get(), value);
}

// A string property; E_ADS_CANT_CONVERT_DATATYPE when it holds something else.
HRESULT GetText(IADs* object, const char16_t* name, std::u16string* text) {
    VariantHolder value;
    const HRESULT result = GetProperty(object, name, value.get());
    if (FAILED(result)) return result;
    if (value->vt != VT_BSTR) return E_ADS_CANT_CONVERT_DATATYPE;
    text->assign(value->bstrVal ? std::u16string_view(value->bstrVal, SysStringLen(value->bstrVal)) : u"");
    return S_OK;
}

HRESULT GetBstr(IADs* object, HRESULT (STDMETHODCALLTYPE IADs::*getter)(BSTR*), std::u16string* text) {
    UniqueBstr value;
    const HRESULT result = (object->*getter)(value.put());
    if (SUCCEEDED(result)) text->assign(value.view());
    return result;
}

// schemaIDGUID in registry form.
HRESULT GetGuid(IADs* object, std::u16string* text) {
    VariantHolder value;
    const HRESULT result = GetProperty(object, u"schemaIDGUID", value.get());
    if (FAILED(result)) return result;
    if (value->vt != (VT_ARRAY | VT_UI1) || !value->parray || SafeArrayGetDim(value->parray) != 1)
        return E_ADS_CANT_CONVERT_DATATYPE;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(value->parray, 1, &low);
    SafeArrayGetUBound(value->parray, 1, &high);
    if (high - low + 1 != static_cast<LONG>(sizeof(GUID))) return E_ADS_CANT_CONVERT_DATATYPE;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(value->parray, &data))) return E_ADS_CANT_CONVERT_DATATYPE;
    GUID guid{};
    std::copy_n(static_cast<const unsigned char*>(data), sizeof guid, reinterpret_cast<unsigned char*>(&guid));
    SafeArrayUnaccessData(value->parray);
    WCHAR buffer[40] = {};
    if (!StringFromGUID2(guid, buffer, 40)) return E_ADS_CANT_CONVERT_DATATYPE;
    text->assign(buffer);
    return S_OK;
}

bool HoldsAValue(const VARIANT& value) {
    if (value.vt == VT_BSTR) return true;
    if (!(value.vt & VT_ARRAY) || !value.parray || SafeArrayGetDim(value.parray) != 1) return false;
    LONG low = 0, high = -1;
    SafeArrayGetLBound(value.parray, 1, &low);
    SafeArrayGetUBound(value.parray, 1, &high);
    return high >= low;
}

HRESULT BuildStringArray(std::initializer_list<const char16_t*> names, VARIANT* array) {
    std::vector<LPWSTR> pointers;
    for (const char16_t* name : names) pointers.push_back(const_cast<LPWSTR>(name));
    return ADsBuildVarArrayStr(pointers.data(), static_cast<DWORD>(pointers.size()), array);
}

// A container bound for enumeration whose children bring the named attributes along.
HRESULT BindContainer(const std::u16string& distinguishedName, std::initializer_list<const char16_t*> hints,
                      ComPtr<IADsContainer>* container) {
    HRESULT result = lumivel::shared::BindByDn(u"", distinguishedName, IID_IADsContainer, container->putVoid());
    if (FAILED(result)) return result;
    if (!*container) return E_FAIL;
    VariantHolder names;
    result = BuildStringArray(hints, names.get());
    if (SUCCEEDED(result)) (*container)->put_Hints(*names.get());
    return S_OK;
}

class SchemaWalk {
public:
    explicit SchemaWalk(IndexLists* lists) : m_lists(lists) {}

    bool run() {
        if (FAILED(CoCreateInstance(CLSID_DsDisplaySpecifier, nullptr, CLSCTX_INPROC_SERVER, IID_IDsDisplaySpecifier,
                                    m_specifiers.putVoid())) ||
            !m_specifiers)
            return false;
        ComPtr<IADs> rootDse;
        if (FAILED(lumivel::shared::BindPath(lumivel::shared::LdapPathOfRootDse(u""), IID_IADs, rootDse.putVoid())) ||
            !rootDse)
            return false;
        std::u16string configuration;
        if (FAILED(GetText(rootDse.get(), u"configurationNamingContext", &configuration)) || configuration.empty())
            return false;
        return walkExtendedRights(u"CN=Extended-Rights," + configuration) && walkSchema(u"CN=Schema," + configuration);
    }

private:
    bool walkExtendedRights(const std::u16string& distinguishedName) {
        ComPtr<IADsContainer> container;
        const HRESULT bound = BindContainer(distinguishedName, {u"displayName", u"rightsGuid"}, &container);
        // A forest without the container has no extended rights; one that did not answer is
        // not known to have none.
        if (bound == HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT)) return true;
        if (FAILED(bound)) return false;
        return enumerate(container.get(), kExtendedRightsBatch, [this](IADs* right) { return addExtendedRight(right); });
    }

    bool walkSchema(const std::u16string& distinguishedName) {
        ComPtr<IADsContainer> container;
        // possibleInferiors is constructed; asking for it with every page of the enumeration
        // loads it as a request per class would, at one request per page.
        if (FAILED(BindContainer(distinguishedName, {u"lDAPDisplayName", u"schemaIDGUID", u"possibleInferiors"},
                                 &container)))
            return false;
        VariantHolder filter;
        if (FAILED(BuildStringArray({u"classSchema", u"attributeSchema"}, filter.get()))) return false;
        container->put_Filter(*filter.get());
        WCHAR path[kTextBuffer] = {};
        INT id = 0;
        if (FAILED(m_specifiers->GetIconLocation(u"container", 0, path, kTextBuffer, &id))) return false;
        m_containerIconPath = path;
        m_containerIconId = id;
        return enumerate(container.get(), kSchemaBatch, [this](IADs* object) { return addSchemaObject(object); });
    }

    // Hands every child to handle; false when the enumerator failed or handle did.
    template <typename Handle>
    bool enumerate(IADsContainer* container, ULONG batch, Handle handle) {
        IEnumVARIANT* enumerator = nullptr;
        if (FAILED(ADsBuildEnumerator(container, &enumerator)) || !enumerator) return false;
        std::vector<VARIANT> elements(batch);
        bool complete = false;
        for (;;) {
            ULONG fetched = 0;
            const HRESULT result = ADsEnumerateNext(enumerator, batch, elements.data(), &fetched);
            if (FAILED(result)) break;
            if (fetched == 0) {
                complete = true;
                break;
            }
            bool failed = false;
            for (ULONG i = 0; i < fetched; ++i) {
                VARIANT& element = elements[i];
                if (!failed && element.vt == VT_DISPATCH && element.pdispVal) {
                    ComPtr<IADs> object;
                    if (SUCCEEDED(element.pdispVal->QueryInterface(IID_IADs, object.putVoid())) && object)
                        failed = handle(object.get()) == Outcome::Failed;
                }
                VariantClear(&element);
            }
            if (failed) break;
        }
        ADsFreeEnumerator(enumerator);
        return complete;
    }

    Outcome addExtendedRight(IADs* right) {
        std::u16string name, display, rightsGuid;
        HRESULT result = GetBstr(right, &IADs::get_Name, &name);
        if (FAILED(result)) return SkipOrFail(result);
        result = GetText(right, u"displayName", &display);
        if (FAILED(result) && result != E_ADS_PROPERTY_NOT_FOUND) return SkipOrFail(result);
        // A right without a readable GUID is left out; the walk goes on with the next one.
        result = GetText(right, u"rightsGuid", &rightsGuid);
        if (FAILED(result)) return SkipOrFail(result);
        if (auto record = glossar::FormatAttributeRecord(name, display, u"{" + rightsGuid + u"}"))
            m_lists->attributes.push_back(std::move(*record));
        return Outcome::Added;
    }

    Outcome addSchemaObject(IADs* object) {
        std::u16string className, name, guid, ldapName;
        HRESULT result = GetBstr(object, &IADs::get_Class, &className);
        if (SUCCEEDED(result)) result = GetBstr(object, &IADs::get_Name, &name);
        if (SUCCEEDED(result)) result = GetGuid(object, &guid);
        if (SUCCEEDED(result)) result = GetText(object, u"lDAPDisplayName", &ldapName);
        if (FAILED(result)) return SkipOrFail(result);
        if (!lumivel::EqualsNoCase(className, u"classSchema")) {
            if (auto record = glossar::FormatAttributeRecord(name, ldapName, guid))
                m_lists->attributes.push_back(std::move(*record));
            return Outcome::Added;
        }
        glossar::ClassRecord record;
        record.relativeName = name;
        record.ldapDisplayName = ldapName;
        record.guid = guid;
        result = readContainerFlag(object, ldapName, &record.container);
        if (FAILED(result)) return SkipOrFail(result);
        // The service may fail or leave nothing: the LDAP display name stands in.
        WCHAR text[kTextBuffer] = {};
        if (SUCCEEDED(m_specifiers->GetFriendlyClassName(ldapName.c_str(), text, kTextBuffer))) record.friendlyName = text;
        if (record.friendlyName.empty()) record.friendlyName = ldapName;
        text[0] = 0;
        INT id = 0;
        result = m_specifiers->GetIconLocation(ldapName.c_str(), 0, text, kTextBuffer, &id);
        if (FAILED(result)) return SkipOrFail(result);
        record.iconModule = text;
        record.iconId = id;
        if (id == 0 && record.container) {
            record.iconModule = m_containerIconPath;
            record.iconId = m_containerIconId;
        }
        if (auto line = glossar::FormatClassRecord(record)) m_lists->classes.push_back(std::move(*line));
        return Outcome::Added;
    }

    // Users, computers, groups and inetOrgPersons are never containers here, whatever their
    // possible inferiors; any other class is one when it has at least one.
    HRESULT readContainerFlag(IADs* object, const std::u16string& ldapName, bool* container) {
        *container = false;
        for (const char16_t* leaf : {u"user", u"computer", u"group", u"iNetOrgPerson"})
            if (lumivel::EqualsNoCase(ldapName, leaf)) return S_OK;
        VariantHolder inferiors;
        const HRESULT result = GetProperty(object, u"possibleInferiors", inferiors.get());
        if (result == E_ADS_PROPERTY_NOT_FOUND) return S_OK;
        if (FAILED(result)) return result;
        *container = HoldsAValue(*inferiors.get());
        return S_OK;
    }

    IndexLists* m_lists;
    ComPtr<IDsDisplaySpecifier> m_specifiers;
    std::u16string m_containerIconPath;
    long long m_containerIconId = 0;
};

}  // namespace

bool WalkSchema(IndexLists* lists) { return SchemaWalk(lists).run(); }

}  // namespace taxonis
