// IPanorel: the result-pane control as the snap-in drives it.
//
// Dual: the methods follow IDispatch's four slots in this order, with the DISPIDs below.
// The node record, the scope item and the menu-provider addresses are pointer-sized here
// (VT_I8 through dispatch), where the control's first home held them in 32 bits.
#pragma once

#include "win/oleauto.h"
#include "win/user.h"

EXTERN_GUID(CLSID_Panorel);
EXTERN_GUID(LIBID_PANORELLib);
EXTERN_GUID(IID_IPanorel);

// The string the snap-in hands the console as every node's result view.
inline constexpr OLECHAR kPanorelClsidString[] = u"{EB82BE35-4FB6-424B-AEDB-6D2A61A0E632}";

enum PanorelDispid : DISPID {
    DISPID_PANOREL_SETINTERFACES = 1,
    DISPID_PANOREL_RELEASEINTERFACES = 2,
    DISPID_PANOREL_SETOBJECTS = 3,
    DISPID_PANOREL_SELECTEDNODE = 4,
    DISPID_PANOREL_SETMENUINTERFACES = 5,
    DISPID_PANOREL_SETMODE = 6,
    DISPID_PANOREL_HSCOPEITEM = 7,
};

// Panes of SetObjects.
inline constexpr LONG kPanorelTopPane = 1;
inline constexpr LONG kPanorelBottomPane = 2;

// A top-list column keyed K sorts by time when its records hold K followed by this suffix
// (record keys ignore case) as ISO 8601 UTC, "YYYY-MM-DDThh:mm:ssZ": "dateDeleted" by
// "DateDeletedUtc", "Expires" by "ExpiresUtc". A provider gives such a time with every value
// it shows in the column, so the first record showing a value tells whether the column has
// times. Records without one come last, read either way.
inline constexpr char16_t kPanorelTimeKeySuffix[] = u"Utc";

// Modes of SetMode: the top list alone, with the bottom list, with the details text.
inline constexpr LONG kPanorelModeTopOnly = 0;
inline constexpr LONG kPanorelModeBottomList = 1;
inline constexpr LONG kPanorelModeBottomText = 2;

// Posted to the control's window (its IOleWindow, the console's result view) by a provider whose
// details of the selection were read after GetDetails answered: the control asks for the
// details of its selection again, as after a "ResetBottomPane" result.
inline constexpr UINT kPanorelDetailsReadyMessage = WM_APP + 0x40;

struct IPanorel : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE SetInterfaces(IUnknown* ipProvider, IUnknown* ipIconCache, IUnknown* ipConsole,
                                                    IUnknown* ipConsoleNamespace) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReleaseInterfaces() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetObjects(LONG lPane, VARIANT* pvarObjects) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_SelectedNode(LONG_PTR* plNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_SelectedNode(LONG_PTR lNode) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMenuInterfaces(VARIANT* pvarInterfaces) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetMode(LONG lMode) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_HSCOPEITEM(LONG_PTR* plItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE put_HSCOPEITEM(LONG_PTR lItem) = 0;
};
