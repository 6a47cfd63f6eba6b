// SAFEARRAY: descriptors, element storage, bounds and locks.
//
// ABI as on Windows: the descriptor is preceded by 16 bytes that hold the element IID
// (FADF_HAVEIID, interface arrays) or, in its last 4 bytes, the element VARTYPE
// (FADF_HAVEVARTYPE). rgsabound is stored in reverse order of the bounds given to
// SafeArrayCreate, and rgIndices[0] of Get/PutElement is the first dimension given to
// SafeArrayCreate, which varies fastest in memory.
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "variant_types.h"

using lumivel::com::ElementSize;

namespace {

constexpr size_t kPrefixBytes = 16;
// Element storage larger than this is refused as out of memory rather than risking an
// overflowing size computation.
constexpr size_t kMaxDataBytes = size_t(1) << 40;

size_t DescriptorBytes(UINT cDims) { return sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND); }

BYTE* PrefixOf(SAFEARRAY* psa) { return reinterpret_cast<BYTE*>(psa) - kPrefixBytes; }

std::atomic_ref<ULONG> LockCount(SAFEARRAY* psa) { return std::atomic_ref<ULONG>(psa->cLocks); }

// Number of elements over all dimensions, or false when it overflows kMaxDataBytes.
bool CountElements(const SAFEARRAY* psa, size_t* count) {
    size_t total = 1;
    for (USHORT i = 0; i < psa->cDims; ++i) {
        size_t n = psa->rgsabound[i].cElements;
        if (n && total > kMaxDataBytes / n) return false;
        total *= n;
    }
    if (psa->cbElements && total > kMaxDataBytes / psa->cbElements) return false;
    *count = total;
    return true;
}

bool IsInterfaceArray(const SAFEARRAY* psa) { return psa->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH); }

SAFEARRAY* AllocateDescriptor(UINT cDims) {
    auto* block = static_cast<BYTE*>(std::calloc(1, kPrefixBytes + DescriptorBytes(cDims)));
    if (!block) return nullptr;
    auto* psa = reinterpret_cast<SAFEARRAY*>(block + kPrefixBytes);
    psa->cDims = static_cast<USHORT>(cDims);
    return psa;
}

void FreeDescriptor(SAFEARRAY* psa) { std::free(PrefixOf(psa)); }

void SetVartype(SAFEARRAY* psa, VARTYPE vt) {
    BYTE* prefix = PrefixOf(psa);
    if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
        psa->fFeatures |= FADF_HAVEIID | (vt == VT_DISPATCH ? FADF_DISPATCH : FADF_UNKNOWN);
        std::memcpy(prefix, vt == VT_DISPATCH ? &IID_IDispatch : &IID_IUnknown, sizeof(IID));
        return;
    }
    psa->fFeatures |= FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) psa->fFeatures |= FADF_BSTR;
    if (vt == VT_VARIANT) psa->fFeatures |= FADF_VARIANT;
    DWORD stored = vt;
    std::memcpy(prefix + kPrefixBytes - sizeof(DWORD), &stored, sizeof(DWORD));
}

// Releases what the elements [first, first + count) own and zeroes them.
void ClearElements(SAFEARRAY* psa, size_t first, size_t count) {
    BYTE* data = static_cast<BYTE*>(psa->pvData);
    if (!data || !count) return;
    if (psa->fFeatures & FADF_BSTR) {
        auto* items = reinterpret_cast<BSTR*>(data) + first;
        for (size_t i = 0; i < count; ++i) SysFreeString(items[i]);
    } else if (IsInterfaceArray(psa)) {
        auto* items = reinterpret_cast<IUnknown**>(data) + first;
        for (size_t i = 0; i < count; ++i)
            if (items[i]) items[i]->Release();
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* items = reinterpret_cast<VARIANT*>(data) + first;
        for (size_t i = 0; i < count; ++i) VariantClear(&items[i]);
    }
    std::memset(data + first * psa->cbElements, 0, count * psa->cbElements);
}

// Copies one element's value into an owned slot; the slot holds nothing owned beforehand.
HRESULT CopyElementInto(const SAFEARRAY* psa, void* slot, const void* source) {
    if (psa->fFeatures & FADF_BSTR) {
        BSTR text = *static_cast<const BSTR*>(source);
        BSTR copy = nullptr;
        if (text) {
            copy = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(text), SysStringByteLen(text));
            if (!copy) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(slot) = copy;
    } else if (IsInterfaceArray(psa)) {
        IUnknown* item = *static_cast<IUnknown* const*>(source);
        if (item) item->AddRef();
        *static_cast<IUnknown**>(slot) = item;
    } else if (psa->fFeatures & FADF_VARIANT) {
        auto* target = static_cast<VARIANT*>(slot);
        VariantInit(target);
        return VariantCopy(target, static_cast<const VARIANT*>(source));
    } else {
        std::memcpy(slot, source, psa->cbElements);
    }
    return S_OK;
}

// Offset of the element named by rgIndices, in elements; DISP_E_BADINDEX outside the bounds.
HRESULT CellOffset(const SAFEARRAY* psa, const LONG* rgIndices, size_t* offset) {
    size_t cell = 0;
    size_t stride = 1;
    for (USHORT dim = 0; dim < psa->cDims; ++dim) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - dim];
        int64_t index = int64_t(rgIndices[dim]) - bound.lLbound;
        if (index < 0 || index >= int64_t(bound.cElements)) return DISP_E_BADINDEX;
        cell += size_t(index) * stride;
        stride *= bound.cElements;
    }
    *offset = cell;
    return S_OK;
}

HRESULT AllocateData(SAFEARRAY* psa) {
    size_t count = 0;
    if (!CountElements(psa, &count)) return E_OUTOFMEMORY;
    // Keep a valid data pointer even for empty arrays; callers index it after AccessData.
    psa->pvData = std::calloc(count ? count : 1, psa->cbElements);
    return psa->pvData ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

extern "C" {

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    ULONG size = ElementSize(vt);
    if (!size || cDims == 0 || cDims > 0xFFFF || !rgsabound) return nullptr;
    SAFEARRAY* psa = AllocateDescriptor(cDims);
    if (!psa) return nullptr;
    psa->cbElements = size;
    SetVartype(psa, vt);
    for (UINT i = 0; i < cDims; ++i) psa->rgsabound[i] = rgsabound[cDims - 1 - i];
    if (FAILED(AllocateData(psa))) {
        FreeDescriptor(psa);
        return nullptr;
    }
    return psa;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements) {
    SAFEARRAYBOUND bound = {cElements, lLbound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa) return S_OK;
    if (LockCount(psa).load()) return DISP_E_ARRAYISLOCKED;
    size_t count = 0;
    if (psa->pvData && CountElements(psa, &count)) ClearElements(psa, 0, count);
    std::free(psa->pvData);
    FreeDescriptor(psa);
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut) return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa) return S_OK;
    if (psa->fFeatures & FADF_RECORD) return E_INVALIDARG;
    size_t count = 0;
    if (!CountElements(psa, &count)) return E_OUTOFMEMORY;
    SAFEARRAY* copy = AllocateDescriptor(psa->cDims);
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(PrefixOf(copy), PrefixOf(psa), kPrefixBytes);
    // The copy is an ordinary heap array whatever the source's storage was.
    copy->fFeatures = psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED | FADF_FIXEDSIZE);
    copy->cbElements = psa->cbElements;
    std::memcpy(copy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    HRESULT hr = AllocateData(copy);
    if (FAILED(hr)) {
        FreeDescriptor(copy);
        return hr;
    }
    if (psa->pvData) {
        auto* from = static_cast<const BYTE*>(psa->pvData);
        auto* to = static_cast<BYTE*>(copy->pvData);
        for (size_t i = 0; i < count && SUCCEEDED(hr); ++i)
            hr = CopyElementInto(copy, to + i * copy->cbElements, from + i * psa->cbElements);
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(copy);
        return hr;
    }
    *ppsaOut = copy;
    return S_OK;
}

HRESULT SafeArrayLock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    // Windows caps the count so that a leaking caller is noticed.
    ULONG previous = LockCount(psa).fetch_add(1);
    if (previous >= 0xFFFF) {
        LockCount(psa).fetch_sub(1);
        return E_UNEXPECTED;
    }
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* psa) {
    if (!psa) return E_INVALIDARG;
    ULONG current = LockCount(psa).load();
    do {
        if (current == 0) return E_UNEXPECTED;
    } while (!LockCount(psa).compare_exchange_weak(current, current - 1));
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* psa, void** ppvData) {
    if (!psa || !ppvData) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* psa) { return SafeArrayUnlock(psa); }

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound) return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    // An empty dimension has an upper bound one below its lower bound.
    *plUbound = static_cast<LONG>(int64_t(bound.lLbound) + int64_t(bound.cElements) - 1);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) { return psa ? psa->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* psa) { return psa ? psa->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt) return E_INVALIDARG;
    if (psa->fFeatures & FADF_HAVEVARTYPE) {
        DWORD stored = 0;
        std::memcpy(&stored, PrefixOf(psa) + kPrefixBytes - sizeof(DWORD), sizeof(DWORD));
        *pvt = static_cast<VARTYPE>(stored);
    } else if (psa->fFeatures & FADF_DISPATCH) {
        *pvt = VT_DISPATCH;
    } else if (psa->fFeatures & FADF_UNKNOWN) {
        *pvt = VT_UNKNOWN;
    } else if (psa->fFeatures & FADF_BSTR) {
        *pvt = VT_BSTR;
    } else if (psa->fFeatures & FADF_VARIANT) {
        *pvt = VT_VARIANT;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (!psa || !rgIndices || !ppvData) return E_INVALIDARG;
    size_t cell = 0;
    HRESULT hr = CellOffset(psa, rgIndices, &cell);
    if (FAILED(hr)) return hr;
    *ppvData = static_cast<BYTE*>(psa->pvData) + cell * psa->cbElements;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices || !pv) return E_INVALIDARG;
    size_t cell = 0;
    HRESULT hr = CellOffset(psa, rgIndices, &cell);
    if (FAILED(hr)) return hr;
    hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    hr = CopyElementInto(psa, pv, static_cast<BYTE*>(psa->pvData) + cell * psa->cbElements);
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!psa || !rgIndices) return E_INVALIDARG;
    // BSTRs and interfaces are passed as the value itself; everything else by address.
    bool byValue = (psa->fFeatures & FADF_BSTR) || IsInterfaceArray(psa);
    if (!byValue && !pv) return E_INVALIDARG;
    size_t cell = 0;
    HRESULT hr = CellOffset(psa, rgIndices, &cell);
    if (FAILED(hr)) return hr;
    hr = SafeArrayLock(psa);
    if (FAILED(hr)) return hr;
    BYTE* slot = static_cast<BYTE*>(psa->pvData) + cell * psa->cbElements;
    // Build the new value aside, so that a failed copy keeps the old element and putting an
    // element's own value back works.
    alignas(VARIANT) BYTE fresh[sizeof(VARIANT)] = {};
    hr = CopyElementInto(psa, fresh, byValue ? static_cast<const void*>(&pv) : pv);
    if (SUCCEEDED(hr)) {
        ClearElements(psa, cell, 1);
        std::memcpy(slot, fresh, psa->cbElements);
    }
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew) {
    if (!psa || !psaboundNew) return E_INVALIDARG;
    if (LockCount(psa).load() || (psa->fFeatures & FADF_FIXEDSIZE)) return DISP_E_ARRAYISLOCKED;
    size_t oldCount = 0;
    if (!CountElements(psa, &oldCount)) return E_UNEXPECTED;
    // Only the slowest-varying dimension changes, so the kept elements stay where they are.
    SAFEARRAYBOUND oldBound = psa->rgsabound[0];
    psa->rgsabound[0] = *psaboundNew;
    size_t newCount = 0;
    if (!CountElements(psa, &newCount)) {
        psa->rgsabound[0] = oldBound;
        return E_OUTOFMEMORY;
    }
    if (newCount < oldCount) ClearElements(psa, newCount, oldCount - newCount);
    void* data = std::realloc(psa->pvData, (newCount ? newCount : 1) * psa->cbElements);
    if (!data) {
        psa->rgsabound[0] = oldBound;
        return E_OUTOFMEMORY;
    }
    psa->pvData = data;
    if (newCount > oldCount)
        std::memset(static_cast<BYTE*>(data) + oldCount * psa->cbElements, 0, (newCount - oldCount) * psa->cbElements);
    return S_OK;
}

}  // extern "C"
