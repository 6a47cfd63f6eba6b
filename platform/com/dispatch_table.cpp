// GetIDsOfNames and Invoke over a static member table.
#include "lumivel/dispatch_table.h"

#include <cstring>
#include <vector>

#include "lumivel/system_messages.h"
#include "win/errors.h"

namespace lumivel::com {

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; }

bool SameName(const WCHAR* a, const WCHAR* b) {
    if (!a || !b) return false;
    for (; *a && *b; ++a, ++b)
        if (FoldAscii(*a) != FoldAscii(*b)) return false;
    return *a == *b;
}

const DispatchMember* FindByName(const DispatchInterface& table, const WCHAR* name) {
    for (size_t i = 0; i < table.memberCount; ++i)
        if (SameName(table.members[i].name, name)) return &table.members[i];
    return nullptr;
}

// The member with this DISPID that answers the kind of call; Windows callers pass
// DISPATCH_METHOD | DISPATCH_PROPERTYGET when they cannot tell the two apart.
const DispatchMember* FindForCall(const DispatchInterface& table, DISPID id, WORD flags, bool* idKnown) {
    *idKnown = false;
    const DispatchMember* match = nullptr;
    for (size_t i = 0; i < table.memberCount; ++i) {
        const DispatchMember& member = table.members[i];
        if (member.id != id) continue;
        *idKnown = true;
        if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
            if (member.kind == DISPATCH_PROPERTYPUT) return &member;
        } else if ((flags & DISPATCH_METHOD) && member.kind == DISPATCH_METHOD) {
            return &member;
        } else if ((flags & DISPATCH_PROPERTYGET) && member.kind == DISPATCH_PROPERTYGET) {
            match = &member;
        }
    }
    return match;
}

bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

// Holds the coerced arguments and clears them on every path.
class ArgumentList {
public:
    explicit ArgumentList(size_t count) : m_values(count) {
        for (VARIANT& v : m_values) VariantInit(&v);
    }
    ~ArgumentList() {
        for (VARIANT& v : m_values)
            // References are borrowed from the caller.
            if (!(v.vt & VT_BYREF)) VariantClear(&v);
    }
    VARIANT* data() { return m_values.data(); }
    VARIANT& operator[](size_t i) { return m_values[i]; }

private:
    std::vector<VARIANT> m_values;
};

void FillException(EXCEPINFO* info, const DispatchInterface& table, HRESULT hr) {
    std::memset(info, 0, sizeof(*info));
    info->scode = hr;
    info->bstrSource = SysAllocString(table.name);
    std::u16string text = SystemMessageText(DWORD(hr));
    if (!text.empty()) info->bstrDescription = SysAllocStringLen(text.data(), UINT(text.size()));
}

}  // namespace

HRESULT DispatchGetIDsOfNames(const DispatchInterface& table, REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                              DISPID* rgDispId) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!rgszNames || !rgDispId || cNames == 0) return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i) rgDispId[i] = DISPID_UNKNOWN;
    const DispatchMember* member = FindByName(table, rgszNames[0]);
    if (!member) return DISP_E_UNKNOWNNAME;
    rgDispId[0] = member->id;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        for (size_t p = 0; p < member->paramCount; ++p)
            if (SameName(member->params[p].name, rgszNames[i])) rgDispId[i] = DISPID(p);
        if (rgDispId[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT DispatchInvoke(const DispatchInterface& table, void* object, DISPID dispIdMember, REFIID riid, WORD wFlags,
                       DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    const DISPPARAMS& params = pDispParams ? *pDispParams : none;
    if ((params.cArgs && !params.rgvarg) || params.cNamedArgs > params.cArgs ||
        (params.cNamedArgs && !params.rgdispidNamedArgs))
        return E_INVALIDARG;
    bool idKnown = false;
    const DispatchMember* member = FindForCall(table, dispIdMember, wFlags, &idKnown);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    auto fail = [&](HRESULT hr, UINT argument) {
        if (puArgErr) *puArgErr = argument;
        return hr;
    };

    const size_t count = member->paramCount;
    // Which rgvarg entry fills each declared parameter; -1 while none does.
    std::vector<long> source(count, -1);
    UINT positional = params.cArgs - params.cNamedArgs;
    UINT namedStart = 0;
    if (member->kind == DISPATCH_PROPERTYPUT) {
        // The new value travels as the named argument DISPID_PROPERTYPUT in rgvarg[0].
        if (params.cNamedArgs < 1 || params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT || count == 0)
            return DISP_E_PARAMNOTFOUND;
        source[count - 1] = 0;
        namedStart = 1;
        if (positional > count - 1) return DISP_E_BADPARAMCOUNT;
    } else if (positional > count) {
        return DISP_E_BADPARAMCOUNT;
    }
    // Positional arguments come last in rgvarg, in reverse order.
    for (UINT j = 0; j < positional; ++j) source[j] = long(params.cArgs - 1 - j);
    for (UINT n = namedStart; n < params.cNamedArgs; ++n) {
        DISPID id = params.rgdispidNamedArgs[n];
        size_t limit = member->kind == DISPATCH_PROPERTYPUT ? count - 1 : count;
        if (id < 0 || size_t(id) >= limit || source[size_t(id)] != -1) return fail(DISP_E_PARAMNOTFOUND, n);
        source[size_t(id)] = long(n);
    }

    ArgumentList args(count);
    for (size_t p = 0; p < count; ++p) {
        const DispatchParam& param = member->params[p];
        if (source[p] < 0 || IsMissing(params.rgvarg[source[p]])) {
            if (!param.optional) return source[p] < 0 ? DISP_E_BADPARAMCOUNT : fail(DISP_E_PARAMNOTOPTIONAL, UINT(source[p]));
            args[p].vt = VT_ERROR;
            args[p].scode = DISP_E_PARAMNOTFOUND;
            continue;
        }
        const VARIANT& given = params.rgvarg[source[p]];
        HRESULT hr = S_OK;
        if (param.type == VT_VARIANT) {
            hr = VariantCopy(&args[p], &given);
        } else if (param.type & VT_BYREF) {
            // Out-parameters must point at storage of exactly the declared type.
            if (given.vt != param.type) hr = DISP_E_TYPEMISMATCH;
            else args[p] = given;
        } else {
            hr = VariantChangeType(&args[p], &given, 0, param.type);
            if (FAILED(hr) && hr != DISP_E_OVERFLOW) hr = DISP_E_TYPEMISMATCH;
        }
        if (FAILED(hr)) return fail(hr, UINT(source[p]));
    }

    VARIANT result;
    VariantInit(&result);
    HRESULT hr = member->invoke(object, args.data(), &result);
    if (FAILED(hr)) {
        VariantClear(&result);
        if (!pExcepInfo) return hr;
        FillException(pExcepInfo, table, hr);
        return DISP_E_EXCEPTION;
    }
    if (pVarResult)
        *pVarResult = result;
    else
        VariantClear(&result);
    return hr;
}

}  // namespace lumivel::com
