// The provider's three interfaces, shared by the provider, the snap-in and the control.
//
// Slot order is the ABI: IRevivo counts IUnknown's three and IDispatch's four slots before
// EnumDeletedObjects (slot 7); IProviderData and IProviderCommands follow IUnknown (slot 3
// onwards). Records, window handles and menu handles are pointer-sized on this platform,
// so every parameter that carries an address is LONG_PTR or a handle type.
#pragma once

#include "win/oleauto.h"

EXTERN_GUID(CLSID_Revivo);
EXTERN_GUID(LIBID_REVIVOPROVIDERLib);
EXTERN_GUID(IID_IRevivo);
EXTERN_GUID(IID_IProviderData);
EXTERN_GUID(IID_IProviderCommands);

// Dispatch identifiers of IRevivo.
inline constexpr DISPID kDispidEnumDeletedObjects = 1;
inline constexpr DISPID kDispidBackupObjects = 2;

struct IRevivo : IDispatch {
    // lEntry: address of a domain node record, 0 for the logged-on user's default domain.
    virtual HRESULT STDMETHODCALLTYPE EnumDeletedObjects(LONG_PTR lEntry, BSTR bstrFilter, VARIANT* pvarObjects) = 0;
    virtual HRESULT STDMETHODCALLTYPE BackupObjects(BSTR bstrPath) = 0;
};

struct IProviderData : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetColumns(LONG lViewType, VARIANT* pvarColumns, VARIANT* pvarKeys) = 0;
    virtual HRESULT STDMETHODCALLTYPE ActivateObject(HWND hwndList, LONG_PTR lRecord) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetConsole(IUnknown* pConsole) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteObjects(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedCommand(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowProperties(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDetails(VARIANT* pvarSelection, LONG* plMode, VARIANT* pvarDetails) = 0;
    virtual HRESULT STDMETHODCALLTYPE LinkClicked(HWND hwndRichEdit, VARIANT* pvarSelection, BSTR bstrLink,
                                                  VARIANT* pvarResult) = 0;
};

struct IProviderCommands : IUnknown {
    // The three numbers are ignored; callers pass 0.
    virtual HRESULT STDMETHODCALLTYPE GetNodes(LONG lReserved1, LONG lReserved2, LONG lReserved3,
                                               VARIANT* pvarNodes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMenu(LONG lMenuType, VARIANT* pvarSelection, HMENU* phMenu,
                                              HINSTANCE* phInstance) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND hwndParent, LONG lReserved, LONG lCommandId,
                                                     VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG lReserved1, LONG lReserved2) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG lReserved1, LONG lReserved2, LONG lReserved3) = 0;
};

// Menu types of GetMenu and the provider's command ids.
inline constexpr LONG kMenuTypeContext = 1;
inline constexpr LONG kMenuTypeNew = 8;
inline constexpr LONG kCommandConnect = 309;
inline constexpr LONG kCommandBackup = 310;
inline constexpr LONG kCommandRestore = 311;
inline constexpr LONG kCommandChooseDomainController = 312;
inline constexpr LONG kCommandRemove = 313;
