// IADsLargeInteger.
#include "large_integer.h"

#include <new>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"

namespace lumivel::directory {
namespace {

class LargeInteger final : public com::ComObject<LargeInteger, com::DispatchWithoutTypeInfo<IADsLargeInteger>> {
public:
    static constexpr com::InterfaceEntry kInterfaces[] = {
        com::InterfaceOf<LargeInteger, IADsLargeInteger>(IID_IADsLargeInteger),
        com::InterfaceOf<LargeInteger, IADsLargeInteger>(IID_IDispatch),
    };

    explicit LargeInteger(int64_t value = 0) : m_value(value) {}

    HRESULT STDMETHODCALLTYPE get_HighPart(LONG* value) override {
        if (!value) return E_POINTER;
        *value = static_cast<LONG>(static_cast<uint64_t>(m_value) >> 32);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_HighPart(LONG value) override {
        m_value = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(value)) << 32) |
                                       (static_cast<uint64_t>(m_value) & 0xFFFFFFFFu));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_LowPart(LONG* value) override {
        if (!value) return E_POINTER;
        *value = static_cast<LONG>(static_cast<uint32_t>(m_value));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE put_LowPart(LONG value) override {
        m_value = static_cast<int64_t>((static_cast<uint64_t>(m_value) & 0xFFFFFFFF00000000u) |
                                       static_cast<uint32_t>(value));
        return S_OK;
    }

private:
    int64_t m_value;
};

}  // namespace

IDispatch* CreateLargeInteger(int64_t value) { return com::NewComObject<LargeInteger>(value).detach(); }

bool ReadLargeInteger(IUnknown* object, int64_t* value) {
    ComPtr<IADsLargeInteger> large;
    if (!object || FAILED(object->QueryInterface(IID_IADsLargeInteger, large.putVoid())) || !large) return false;
    LONG high = 0, low = 0;
    if (FAILED(large->get_HighPart(&high)) || FAILED(large->get_LowPart(&low))) return false;
    *value = static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(high)) << 32) | static_cast<uint32_t>(low));
    return true;
}

HRESULT CreateLargeIntegerInstance(IUnknown* outer, REFIID riid, void** object) {
    return com::CreateComObject<LargeInteger, com::Aggregation::Refused>(outer, riid, object);
}

}  // namespace lumivel::directory
