// Helpers of the directory tests: the test domain's facts, COM smart pointers and a test OU
// with a unique name that is removed again with everything below it.
#pragma once

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "lumivel/com_ptr.h"
#include "lumivel/text.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "win/adsi.h"

namespace lumivel::directory::testing {

inline std::u16string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? FromUtf8(value) : std::u16string();
}
inline std::u16string BaseDn() { return Env("TESTDC_BASEDN"); }
inline std::u16string DcName() { return Env("TESTDC_DC"); }
inline std::u16string DomainName() { return Env("TESTDC_DOMAIN"); }

template <class T>
using Ptr = ComPtr<T>;
using Variant = VariantHolder;

// A BSTR argument for the length of one call.
inline UniqueBstr Bstr(std::u16string_view text) { return UniqueBstr(text.data(), text.size()); }

inline std::u16string RandomSuffix() {
    std::random_device device;
    static const char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    for (int i = 0; i < 10; ++i) out.push_back(kDigits[device() % 16]);
    return out;
}

inline std::u16string Text(IADs* object, HRESULT (STDMETHODCALLTYPE IADs::*getter)(BSTR*)) {
    UniqueBstr value;
    if (FAILED((object->*getter)(value.put()))) return u"<failed>";
    return std::u16string(value.view());
}

// Deletes the object at the ADsPath with its whole subtree, leaves first.
inline void DeleteTree(const std::u16string& path) {
    Ptr<IADsContainer> container;
    if (FAILED(ADsGetObject(path.c_str(), IID_IADsContainer, container.putVoid()))) return;
    std::vector<std::u16string> children;
    IEnumVARIANT* e = nullptr;
    if (SUCCEEDED(ADsBuildEnumerator(container.get(), &e))) {
        VARIANT v;
        ULONG got = 0;
        while (ADsEnumerateNext(e, 1, &v, &got) == S_OK && got == 1) {
            Ptr<IADs> child;
            if (v.vt == VT_DISPATCH && SUCCEEDED(v.pdispVal->QueryInterface(IID_IADs, child.putVoid())))
                children.push_back(Text(child.get(), &IADs::get_ADsPath));
            VariantClear(&v);
        }
        ADsFreeEnumerator(e);
    }
    for (const auto& child : children) DeleteTree(child);
    Ptr<IADs> self;
    if (FAILED(container->QueryInterface(IID_IADs, self.putVoid()))) return;
    UniqueBstr name;
    self->get_Name(name.put());
    UniqueBstr parentPath;
    self->get_Parent(parentPath.put());
    Ptr<IADsContainer> parent;
    if (SUCCEEDED(ADsGetObject(BstrText(parentPath.get()).c_str(), IID_IADsContainer, parent.putVoid())))
        parent->Delete(nullptr, name.get());
}

// Creates class/rdn below the container at parentPath and commits it; returns its ADsPath.
inline HRESULT CreateChild(const std::u16string& parentPath, std::u16string_view className,
                           std::u16string_view rdn, std::u16string* childPath) {
    Ptr<IADsContainer> parent;
    HRESULT hr = ADsGetObject(parentPath.c_str(), IID_IADsContainer, parent.putVoid());
    if (FAILED(hr)) return hr;
    Ptr<IDispatch> created;
    hr = parent->Create(Bstr(className).get(), Bstr(rdn).get(), created.put());
    if (FAILED(hr)) return hr;
    Ptr<IADs> object;
    hr = created->QueryInterface(IID_IADs, object.putVoid());
    if (FAILED(hr)) return hr;
    hr = object->SetInfo();
    if (SUCCEEDED(hr) && childPath) *childPath = Text(object.get(), &IADs::get_ADsPath);
    return hr;
}

}  // namespace lumivel::directory::testing
