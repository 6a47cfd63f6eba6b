// The control interfaces a container asks of an ActiveX control beyond the OLE object: its
// extended view, windowless in-place object, control information, property pages and class
// information.
#pragma once

#include "win/oleauto.h"
#include "win/oleidl.h"

#define VIEWSTATUS_OPAQUE 1
#define VIEWSTATUS_SOLIDBKGND 2

#define HITRESULT_OUTSIDE 0
#define HITRESULT_TRANSPARENT 1
#define HITRESULT_CLOSE 2
#define HITRESULT_HIT 3

#define GUIDKIND_DEFAULT_SOURCE_DISP_IID 1

typedef struct tagExtentInfo {
    ULONG cb;
    DWORD dwExtentMode;
    SIZEL sizelProposed;
} DVEXTENTINFO;

typedef struct tagCONTROLINFO {
    ULONG cb;
    HACCEL hAccel;
    USHORT cAccel;
    DWORD dwFlags;
} CONTROLINFO, *LPCONTROLINFO;

typedef struct tagCAUUID {
    ULONG cElems;
    GUID* pElems;
} CAUUID;

struct IViewObjectEx : IViewObject2 {
    virtual HRESULT STDMETHODCALLTYPE GetRect(DWORD dwAspect, LPRECTL pRect) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetViewStatus(DWORD* pdwStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc,
                                                    LONG lCloseHint, DWORD* pHitResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc,
                                                   LONG lCloseHint, DWORD* pHitResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNaturalExtent(DWORD dwAspect, LONG lindex, DVTARGETDEVICE* ptd,
                                                       HDC hicTargetDev, DVEXTENTINFO* pExtentInfo,
                                                       LPSIZEL pSizel) = 0;
};

struct IOleInPlaceObjectWindowless : IOleInPlaceObject {
    virtual HRESULT STDMETHODCALLTYPE OnWindowMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* plResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDropTarget(IDropTarget** ppDropTarget) = 0;
};

struct IOleControl : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* pCI) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* pMsg) = 0;
    virtual HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID dispID) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL bFreeze) = 0;
};

struct ISpecifyPropertyPages : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pPages) = 0;
};

struct IProvideClassInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) = 0;
};

struct IProvideClassInfo2 : IProvideClassInfo {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(DWORD dwGuidKind, GUID* pGUID) = 0;
};

EXTERN_GUID(IID_IViewObjectEx);
EXTERN_GUID(IID_IOleInPlaceObjectWindowless);
EXTERN_GUID(IID_IOleControl);
EXTERN_GUID(IID_ISpecifyPropertyPages);
EXTERN_GUID(IID_IProvideClassInfo);
EXTERN_GUID(IID_IProvideClassInfo2);
