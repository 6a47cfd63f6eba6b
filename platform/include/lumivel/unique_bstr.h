// An owned BSTR, and the two conversions between BSTRs and std::u16string that COM methods
// need at their edges.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "win/oleauto.h"

namespace lumivel {

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(LPCWSTR text) : m_bstr(text ? SysAllocString(text) : nullptr) {}
    UniqueBstr(const char16_t* text, size_t length) : m_bstr(SysAllocStringLen(text, static_cast<UINT>(length))) {}
    UniqueBstr(UniqueBstr&& other) noexcept : m_bstr(std::exchange(other.m_bstr, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.m_bstr, nullptr));
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { SysFreeString(m_bstr); }

    BSTR get() const { return m_bstr; }
    BSTR* put() {
        reset();
        return &m_bstr;
    }
    BSTR detach() { return std::exchange(m_bstr, nullptr); }
    void reset(BSTR value = nullptr) {
        SysFreeString(m_bstr);
        m_bstr = value;
    }
    UINT length() const { return SysStringLen(m_bstr); }
    std::u16string_view view() const {
        return m_bstr ? std::u16string_view(m_bstr, SysStringLen(m_bstr)) : std::u16string_view();
    }
    bool empty() const { return length() == 0; }

private:
    BSTR m_bstr = nullptr;
};

// The whole of a BSTR, embedded nulls included; null is the empty string.
inline std::u16string BstrText(BSTR text) {
    return text ? std::u16string(text, SysStringLen(text)) : std::u16string();
}

// Hands a copy of the text out through a BSTR out-parameter.
inline HRESULT ReturnBstr(std::u16string_view text, BSTR* out) {
    if (!out) return E_POINTER;
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace lumivel
