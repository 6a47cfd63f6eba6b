// An owned VARIANT: cleared on every path out of the scope that holds it.
#pragma once

#include "win/oleauto.h"

namespace lumivel {

class VariantHolder {
public:
    VariantHolder() { VariantInit(&m_value); }
    ~VariantHolder() { VariantClear(&m_value); }
    VariantHolder(const VariantHolder&) = delete;
    VariantHolder& operator=(const VariantHolder&) = delete;

    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }
    VARIANT* operator->() { return &m_value; }
    const VARIANT* operator->() const { return &m_value; }
    void clear() {
        VariantClear(&m_value);
        VariantInit(&m_value);
    }
    // For out-parameters: clears what is held and hands out the slot.
    VARIANT* put() {
        clear();
        return &m_value;
    }
    // Hands the value over; the holder is left empty.
    VARIANT detach() {
        VARIANT out = m_value;
        VariantInit(&m_value);
        return out;
    }

private:
    VARIANT m_value;
};

}  // namespace lumivel
