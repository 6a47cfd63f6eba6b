// The interface of the test COM server, shared by the server and the tests.
#pragma once

#include "win/oleauto.h"

// {7C0D5E21-3B9A-4F6E-A1D2-5E8B0C4F9A10}
constexpr CLSID CLSID_TestWidget = {0x7C0D5E21, 0x3B9A, 0x4F6E, {0xA1, 0xD2, 0x5E, 0x8B, 0x0C, 0x4F, 0x9A, 0x10}};
// {7C0D5E22-3B9A-4F6E-A1D2-5E8B0C4F9A10}
constexpr IID IID_ITestWidget = {0x7C0D5E22, 0x3B9A, 0x4F6E, {0xA1, 0xD2, 0x5E, 0x8B, 0x0C, 0x4F, 0x9A, 0x10}};
// {7C0D5E23-3B9A-4F6E-A1D2-5E8B0C4F9A10}
constexpr GUID LIBID_TestWidgetLib = {0x7C0D5E23, 0x3B9A, 0x4F6E, {0xA1, 0xD2, 0x5E, 0x8B, 0x0C, 0x4F, 0x9A, 0x10}};

struct ITestWidget : IDispatch {
    // DISPID 1: Multiply(long, long) -> long
    virtual HRESULT STDMETHODCALLTYPE Multiply(LONG a, LONG b, LONG* product) = 0;
    // DISPID 2: Describe(BSTR) -> BSTR, "<text> from <module file name>"
    virtual HRESULT STDMETHODCALLTYPE Describe(BSTR text, BSTR* description) = 0;
};
