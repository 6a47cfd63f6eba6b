// COM runtime: IUnknown, class factories, object creation and the task allocator.
//
// Interfaces are abstract C++ classes whose virtual methods follow the Windows slot order.
// IUnknown deliberately has no virtual destructor: slot 0 must stay QueryInterface.
// No C++ exception may cross a COM method boundary.
#pragma once

#include "win/types.h"
#include "win/winerror.h"
#include "win/guid.h"

EXTERN_GUID(GUID_NULL);
EXTERN_GUID(IID_IUnknown);
EXTERN_GUID(IID_IClassFactory);
EXTERN_GUID(IID_IDispatch);
EXTERN_GUID(IID_ISequentialStream);
EXTERN_GUID(IID_IStream);
EXTERN_GUID(IID_IPersist);
EXTERN_GUID(IID_IPersistFile);
EXTERN_GUID(IID_IPersistStream);
EXTERN_GUID(IID_IPersistStreamInit);
EXTERN_GUID(IID_IEnumVARIANT);
EXTERN_GUID(IID_IMarshal);
#define CLSID_NULL GUID_NULL
#define IID_NULL GUID_NULL

struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
typedef IUnknown* LPUNKNOWN;

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};
typedef IClassFactory* LPCLASSFACTORY;

typedef enum tagCOINIT {
    COINIT_APARTMENTTHREADED = 0x2,
    COINIT_MULTITHREADED = 0x0,
    COINIT_DISABLE_OLE1DDE = 0x4,
    COINIT_SPEED_OVER_MEMORY = 0x8,
} COINIT;

typedef enum tagCLSCTX {
    CLSCTX_INPROC_SERVER = 0x1,
    CLSCTX_INPROC_HANDLER = 0x2,
    CLSCTX_LOCAL_SERVER = 0x4,
    CLSCTX_REMOTE_SERVER = 0x10,
    CLSCTX_ALL = 0x17,
    CLSCTX_INPROC = 0x3,
    CLSCTX_SERVER = 0x15,
} CLSCTX;

#define COWAIT_WAITALL 0x1
#define RPC_S_CALLPENDING ((HRESULT)0x80010115L)

// Exported by every COM module.
typedef HRESULT (*LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT (*LPFNCANUNLOADNOW)();

extern "C" {
WINBASEAPI HRESULT CoInitialize(LPVOID pvReserved);
WINBASEAPI HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
WINBASEAPI void CoUninitialize();
WINBASEAPI HRESULT CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid,
                                    LPVOID* ppv);
WINBASEAPI HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid,
                                    LPVOID* ppv);
WINBASEAPI void CoFreeUnusedLibraries();
WINBASEAPI LPVOID CoTaskMemAlloc(SIZE_T cb);
WINBASEAPI LPVOID CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
WINBASEAPI void CoTaskMemFree(LPVOID pv);
WINBASEAPI HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
WINBASEAPI HRESULT ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
// Waits for the handles while running the work posted to this thread, so that calls other
// threads make into this apartment (and posted window messages) are served meanwhile. S_OK
// with the index of the signalled handle, RPC_S_CALLPENDING when dwTimeout passed.
WINBASEAPI HRESULT CoWaitForMultipleHandles(DWORD dwFlags, DWORD dwTimeout, ULONG cHandles, LPHANDLE pHandles,
                                            LPDWORD lpdwindex);
}
