// The console's snap-in interfaces, notifications and clipboard formats: what a stand-alone
// snap-in implements and what the console host (platform/console) offers it.
//
// Slot order follows the classic declarations. Cookies, scope-item handles and the LPARAMs of
// notifications are pointer-sized (LONG_PTR): a snap-in's cookie is usually an address.
#pragma once

#include "win/commctrl.h"
#include "win/objidl.h"
#include "win/olectl.h"

typedef LONG_PTR MMC_COOKIE;
typedef LONG_PTR HSCOPEITEM;
typedef LONG_PTR HRESULTITEM;

// A display name the console asks for later through GetDisplayInfo.
#define MMC_CALLBACK ((LPOLESTR)(-1))
// The data object the console passes for a control (OCX) result view.
#define DOBJ_CUSTOMOCX ((LPDATAOBJECT)(-1))

typedef enum _MMC_NOTIFY_TYPE {
    MMCN_ACTIVATE = 0x8001,
    MMCN_ADD_IMAGES = 0x8002,
    MMCN_BTN_CLICK = 0x8003,
    MMCN_CLICK = 0x8004,
    MMCN_COLUMN_CLICK = 0x8005,
    MMCN_CONTEXTMENU = 0x8006,
    MMCN_CUTORMOVE = 0x8007,
    MMCN_DBLCLICK = 0x8008,
    MMCN_DELETE = 0x8009,
    MMCN_EXPAND = 0x800A,
    MMCN_MINIMIZED = 0x800B,
    MMCN_PASTE = 0x800C,
    MMCN_PROPERTY_CHANGE = 0x800D,
    MMCN_QUERY_PASTE = 0x800E,
    MMCN_REFRESH = 0x800F,
    MMCN_REMOVE_CHILDREN = 0x8010,
    MMCN_RENAME = 0x8011,
    MMCN_SELECT = 0x8012,
    MMCN_SHOW = 0x8013,
    MMCN_VIEW_CHANGE = 0x8014,
    MMCN_SNAPINHELP = 0x8015,
    MMCN_CONTEXTHELP = 0x8016,
    MMCN_INITOCX = 0x8017,
    MMCN_FILTER_CHANGE = 0x8018,
    MMCN_FILTERBTN_CLICK = 0x8019,
    MMCN_RESTORE_VIEW = 0x801A,
    MMCN_PRINT = 0x801B,
    MMCN_PRELOAD = 0x801C,
    MMCN_LISTPAD = 0x801D,
    MMCN_EXPANDSYNC = 0x801E,
    MMCN_COLUMNS_CHANGED = 0x801F,
    MMCN_CANPASTE_OUTOFPROC = 0x8020,
} MMC_NOTIFY_TYPE;

typedef enum _DATA_OBJECT_TYPES {
    CCT_SCOPE = 0x8000,
    CCT_RESULT = 0x8001,
    CCT_SNAPIN_MANAGER = 0x8002,
    CCT_UNINITIALIZED = 0xFFFF,
} DATA_OBJECT_TYPES;

typedef enum _MMC_CONSOLE_VERB {
    MMC_VERB_NONE = 0x0000,
    MMC_VERB_OPEN = 0x8000,
    MMC_VERB_COPY = 0x8001,
    MMC_VERB_PASTE = 0x8002,
    MMC_VERB_DELETE = 0x8003,
    MMC_VERB_PROPERTIES = 0x8004,
    MMC_VERB_RENAME = 0x8005,
    MMC_VERB_REFRESH = 0x8006,
    MMC_VERB_PRINT = 0x8007,
    MMC_VERB_CUT = 0x8008,
} MMC_CONSOLE_VERB;

typedef enum _MMC_BUTTON_STATE {
    ENABLED = 0x1,
    CHECKED = 0x2,
    HIDDEN = 0x4,
    INDETERMINATE = 0x8,
    BUTTONPRESSED = 0x10,
} MMC_BUTTON_STATE;

// Scope items.
#define SDI_STR 0x00000002
#define SDI_IMAGE 0x00000004
#define SDI_OPENIMAGE 0x00000008
#define SDI_STATE 0x00000010
#define SDI_PARAM 0x00000020
#define SDI_CHILDREN 0x00000040
#define SDI_PARENT 0x00000000
#define SDI_PREVIOUS 0x10000000
#define SDI_NEXT 0x20000000
#define SDI_FIRST 0x08000000

typedef struct _SCOPEDATAITEM {
    DWORD mask;
    LPOLESTR displayname;
    int nImage;
    int nOpenImage;
    UINT nState;
    int cChildren;
    LPARAM lParam;
    HSCOPEITEM relativeID;
    HSCOPEITEM ID;
} SCOPEDATAITEM, *LPSCOPEDATAITEM;

// Result items.
#define RDI_STR 0x00000002
#define RDI_IMAGE 0x00000004
#define RDI_STATE 0x00000008
#define RDI_PARAM 0x00000010
#define RDI_INDEX 0x00000020
#define RDI_INDENT 0x00000040

typedef struct _RESULTDATAITEM {
    DWORD mask;
    BOOL bScopeItem;
    HRESULTITEM itemID;
    int nIndex;
    int nCol;
    LPOLESTR str;
    int nImage;
    UINT nState;
    LPARAM lParam;
    int iIndent;
} RESULTDATAITEM, *LPRESULTDATAITEM;

typedef struct _MMC_EXPANDSYNC_STRUCT {
    BOOL bHandled;
    BOOL bExpanding;
    HSCOPEITEM hItem;
} MMC_EXPANDSYNC_STRUCT;

// Context menus.
#define CCM_INSERTIONPOINTID_PRIMARY_TOP ((LONG)0xA0000000)
#define CCM_INSERTIONPOINTID_PRIMARY_NEW ((LONG)0xA0000001)
#define CCM_INSERTIONPOINTID_PRIMARY_TASK ((LONG)0xA0000002)
#define CCM_INSERTIONPOINTID_PRIMARY_VIEW ((LONG)0xA0000003)
#define CCM_INSERTIONPOINTID_MASK_SPECIAL ((LONG)0xFFFF0000)

#define CCM_INSERTIONALLOWED_TOP 0x1
#define CCM_INSERTIONALLOWED_NEW 0x2
#define CCM_INSERTIONALLOWED_TASK 0x4
#define CCM_INSERTIONALLOWED_VIEW 0x8

#define CCM_SPECIAL_SEPARATOR 0x0001
#define CCM_SPECIAL_SUBMENU 0x0002
#define CCM_SPECIAL_DEFAULT_ITEM 0x0004
#define CCM_SPECIAL_INSERTION_POINT 0x0008
#define CCM_SPECIAL_TESTONLY 0x0010

typedef struct _CONTEXTMENUITEM {
    LPWSTR strName;
    LPWSTR strStatusBarText;
    LONG lCommandID;
    LONG lInsertionPointID;
    LONG fFlags;
    LONG fSpecialFlags;
} CONTEXTMENUITEM, *LPCONTEXTMENUITEM;

// Image lists: ImageListSetIcon's position may carry these flags to set one size only.
#define ILSIF_LEAVE_LARGE_ICON 0x40000000
#define ILSIF_LEAVE_SMALL_ICON 0x20000000

// The console's clipboard formats.
#define CCF_DISPLAY_NAME u"CCF_DISPLAY_NAME"
#define CCF_NODETYPE u"CCF_NODETYPE"
#define CCF_SZNODETYPE u"CCF_SZNODETYPE"
#define CCF_SNAPIN_CLASSID u"CCF_SNAPIN_CLASSID"

EXTERN_GUID(IID_IComponentData);
EXTERN_GUID(IID_IComponent);
EXTERN_GUID(IID_IConsole);
EXTERN_GUID(IID_IConsole2);
EXTERN_GUID(IID_IConsoleNameSpace);
EXTERN_GUID(IID_IConsoleNameSpace2);
EXTERN_GUID(IID_IConsoleVerb);
EXTERN_GUID(IID_IImageList);
EXTERN_GUID(IID_IContextMenuCallback);
EXTERN_GUID(IID_IExtendContextMenu);
EXTERN_GUID(IID_IExtendPropertySheet);
EXTERN_GUID(IID_IExtendPropertySheet2);
EXTERN_GUID(IID_ISnapinAbout);
EXTERN_GUID(IID_ISnapinHelp);
EXTERN_GUID(IID_ISnapinHelp2);
EXTERN_GUID(IID_IPropertySheetCallback);

struct IComponent;
struct IConsole;
struct IHeaderCtrl;
struct IToolbar;

struct IImageList : IUnknown {
    // pIcon points at an HICON; nLoc may carry ILSIF_LEAVE_LARGE_ICON or ILSIF_LEAVE_SMALL_ICON.
    virtual HRESULT STDMETHODCALLTYPE ImageListSetIcon(LONG_PTR* pIcon, long nLoc) = 0;
    // pBMapSm and pBMapLg point at HBITMAPs: strips of 16- and 32-pixel images.
    virtual HRESULT STDMETHODCALLTYPE ImageListSetStrip(LONG_PTR* pBMapSm, LONG_PTR* pBMapLg, long nStartLoc,
                                                        COLORREF cMask) = 0;
};
typedef IImageList* LPIMAGELIST;

struct IConsoleVerb : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetVerbState(MMC_CONSOLE_VERB eCmdID, MMC_BUTTON_STATE nState, BOOL* pState) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetVerbState(MMC_CONSOLE_VERB eCmdID, MMC_BUTTON_STATE nState, BOOL bState) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultVerb(MMC_CONSOLE_VERB eCmdID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultVerb(MMC_CONSOLE_VERB* peCmdID) = 0;
};
typedef IConsoleVerb* LPCONSOLEVERB;

struct IConsole : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetHeader(IHeaderCtrl* pHeader) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetToolbar(IToolbar* pToolbar) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryResultView(LPUNKNOWN* pUnknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryScopeImageList(LPIMAGELIST* ppImageList) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryResultImageList(LPIMAGELIST* ppImageList) = 0;
    virtual HRESULT STDMETHODCALLTYPE UpdateAllViews(LPDATAOBJECT lpDataObject, LPARAM data, LONG_PTR hint) = 0;
    virtual HRESULT STDMETHODCALLTYPE MessageBox(LPCWSTR lpszText, LPCWSTR lpszTitle, UINT fuStyle, int* piRetval) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryConsoleVerb(LPCONSOLEVERB* ppConsoleVerb) = 0;
    virtual HRESULT STDMETHODCALLTYPE SelectScopeItem(HSCOPEITEM hScopeItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMainWindow(HWND* phwnd) = 0;
    virtual HRESULT STDMETHODCALLTYPE NewWindow(HSCOPEITEM hScopeItem, unsigned long lOptions) = 0;
};
typedef IConsole* LPCONSOLE;

struct IConsole2 : IConsole {
    virtual HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM hItem, BOOL bExpand) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsTaskpadViewPreferred() = 0;
    virtual HRESULT STDMETHODCALLTYPE SetStatusText(LPOLESTR pszStatusText) = 0;
};
typedef IConsole2* LPCONSOLE2;

struct IConsoleNameSpace : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE InsertItem(LPSCOPEDATAITEM item) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteItem(HSCOPEITEM hItem, long fDeleteThis) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetItem(LPSCOPEDATAITEM item) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetItem(LPSCOPEDATAITEM item) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetChildItem(HSCOPEITEM item, HSCOPEITEM* pItemChild, MMC_COOKIE* pCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNextItem(HSCOPEITEM item, HSCOPEITEM* pItemNext, MMC_COOKIE* pCookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetParentItem(HSCOPEITEM item, HSCOPEITEM* pItemParent, MMC_COOKIE* pCookie) = 0;
};

struct IConsoleNameSpace2 : IConsoleNameSpace {
    // Expands the item at once: the snap-in gets MMCN_EXPANDSYNC, then (unhandled) MMCN_EXPAND.
    virtual HRESULT STDMETHODCALLTYPE Expand(HSCOPEITEM hItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddExtension(HSCOPEITEM hItem, LPCLSID lpClsid) = 0;
};
typedef IConsoleNameSpace2* LPCONSOLENAMESPACE2;

struct IContextMenuCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddItem(CONTEXTMENUITEM* pItem) = 0;
};
typedef IContextMenuCallback* LPCONTEXTMENUCALLBACK;

struct IPropertySheetCallback : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddPage(HPROPSHEETPAGE hPage) = 0;
    virtual HRESULT STDMETHODCALLTYPE RemovePage(HPROPSHEETPAGE hPage) = 0;
};
typedef IPropertySheetCallback* LPPROPERTYSHEETCALLBACK;

struct IComponentData : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(LPUNKNOWN pUnknown) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateComponent(IComponent** ppComponent) = 0;
    virtual HRESULT STDMETHODCALLTYPE Notify(LPDATAOBJECT lpDataObject, MMC_NOTIFY_TYPE event, LPARAM arg,
                                             LPARAM param) = 0;
    virtual HRESULT STDMETHODCALLTYPE Destroy() = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type,
                                                      LPDATAOBJECT* ppDataObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayInfo(SCOPEDATAITEM* pScopeDataItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareObjects(LPDATAOBJECT lpDataObjectA, LPDATAOBJECT lpDataObjectB) = 0;
};
typedef IComponentData* LPCOMPONENTDATA;

struct IComponent : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(LPCONSOLE lpConsole) = 0;
    virtual HRESULT STDMETHODCALLTYPE Notify(LPDATAOBJECT lpDataObject, MMC_NOTIFY_TYPE event, LPARAM arg,
                                             LPARAM param) = 0;
    virtual HRESULT STDMETHODCALLTYPE Destroy(MMC_COOKIE cookie) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDataObject(MMC_COOKIE cookie, DATA_OBJECT_TYPES type,
                                                      LPDATAOBJECT* ppDataObject) = 0;
    // *ppViewType: a CLSID string names a control that the console creates as the result view.
    virtual HRESULT STDMETHODCALLTYPE GetResultViewType(MMC_COOKIE cookie, LPOLESTR* ppViewType,
                                                        long* pViewOptions) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDisplayInfo(RESULTDATAITEM* pResultDataItem) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareObjects(LPDATAOBJECT lpDataObjectA, LPDATAOBJECT lpDataObjectB) = 0;
};
typedef IComponent* LPCOMPONENT;

struct IExtendContextMenu : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE AddMenuItems(LPDATAOBJECT piDataObject, LPCONTEXTMENUCALLBACK piCallback,
                                                   long* pInsertionAllowed) = 0;
    virtual HRESULT STDMETHODCALLTYPE Command(long lCommandID, LPDATAOBJECT piDataObject) = 0;
};

struct IExtendPropertySheet : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreatePropertyPages(LPPROPERTYSHEETCALLBACK lpProvider, LONG_PTR handle,
                                                          LPDATAOBJECT lpIDataObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPagesFor(LPDATAOBJECT lpDataObject) = 0;
};

struct IExtendPropertySheet2 : IExtendPropertySheet {
    virtual HRESULT STDMETHODCALLTYPE GetWatermarks(LPDATAOBJECT lpIDataObject, HBITMAP* lphWatermark,
                                                    HBITMAP* lphHeader, HPALETTE* lphPalette, BOOL* bStretch) = 0;
};

struct ISnapinAbout : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetSnapinDescription(LPOLESTR* lpDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProvider(LPOLESTR* lpName) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSnapinVersion(LPOLESTR* lpVersion) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSnapinImage(HICON* hAppIcon) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStaticFolderImage(HBITMAP* hSmallImage, HBITMAP* hSmallImageOpen,
                                                           HBITMAP* hLargeImage, COLORREF* cMask) = 0;
};

struct ISnapinHelp : IUnknown {
    // *lpCompiledHelpFile: the full path of the snap-in's help file, in task memory.
    virtual HRESULT STDMETHODCALLTYPE GetHelpTopic(LPOLESTR* lpCompiledHelpFile) = 0;
};

struct ISnapinHelp2 : ISnapinHelp {
    virtual HRESULT STDMETHODCALLTYPE GetLinkedTopics(LPOLESTR* lpCompiledHelpFiles) = 0;
};
