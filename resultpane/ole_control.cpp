// The OLE control side: in-place activation into the site's window, the view, persistence of
// an empty state, class information and the data object that offers nothing.
#include "resultpane/panorel.h"
#include "win/gdi.h"

using lumivel::ComPtr;

namespace panorel {

namespace {

constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE | OLEMISC_INSIDEOUT |
                              OLEMISC_ACTIVATEWHENVISIBLE | OLEMISC_SETCLIENTSITEFIRST;

}  // namespace

HRESULT Panorel::activateInPlace(IOleClientSite* site, HWND parentHint, LPCRECT position) {
    if (m_window) {
        if (position) SetObjectRects(position, position);
        return S_OK;
    }
    if (!site) site = m_site.get();
    if (!site) return E_UNEXPECTED;
    ComPtr<IOleInPlaceSite> inPlace;
    if (FAILED(site->QueryInterface(IID_IOleInPlaceSite, inPlace.putVoid())) || !inPlace) return E_NOINTERFACE;
    if (inPlace->CanInPlaceActivate() != S_OK) return E_FAIL;
    inPlace->OnInPlaceActivate();
    HWND parent = nullptr;
    if (FAILED(inPlace->GetWindow(&parent)) || !parent) parent = parentHint;
    ComPtr<IOleInPlaceFrame> frame;
    ComPtr<IOleInPlaceUIWindow> document;
    RECT pos{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    info.cb = sizeof(info);
    if (FAILED(inPlace->GetWindowContext(frame.put(), document.put(), &pos, &clip, &info)) && position) pos = *position;
    if (!parent || !createWindow(parent, pos)) {
        inPlace->OnInPlaceDeactivate();
        return E_FAIL;
    }
    m_inPlaceSite = inPlace;
    m_position = pos;
    return S_OK;
}

// IOleObject

HRESULT Panorel::SetClientSite(IOleClientSite* pClientSite) {
    m_site = ComPtr<IOleClientSite>(pClientSite);
    return S_OK;
}

HRESULT Panorel::GetClientSite(IOleClientSite** ppClientSite) {
    if (!ppClientSite) return E_POINTER;
    *ppClientSite = m_site.get();
    if (*ppClientSite) (*ppClientSite)->AddRef();
    return S_OK;
}

HRESULT Panorel::SetHostNames(LPCOLESTR, LPCOLESTR) { return S_OK; }

HRESULT Panorel::Close(DWORD) {
    InPlaceDeactivate();
    return S_OK;
}

HRESULT Panorel::SetMoniker(DWORD, IMoniker*) { return E_NOTIMPL; }
HRESULT Panorel::GetMoniker(DWORD, DWORD, IMoniker** ppmk) {
    if (ppmk) *ppmk = nullptr;
    return E_NOTIMPL;
}
HRESULT Panorel::InitFromData(IDataObject*, BOOL, DWORD) { return E_NOTIMPL; }
HRESULT Panorel::GetClipboardData(DWORD, IDataObject** ppDataObject) {
    if (ppDataObject) *ppDataObject = nullptr;
    return E_NOTIMPL;
}

HRESULT Panorel::DoVerb(LONG iVerb, LPMSG, IOleClientSite* pActiveSite, LONG, HWND hwndParent, LPCRECT lprcPosRect) {
    switch (iVerb) {
    case OLEIVERB_PRIMARY:
    case OLEIVERB_SHOW:
    case OLEIVERB_INPLACEACTIVATE:
    case OLEIVERB_UIACTIVATE:
        return activateInPlace(pActiveSite, hwndParent, lprcPosRect);
    case OLEIVERB_HIDE:
        if (m_window) ShowWindow(m_window, SW_HIDE);
        return S_OK;
    case OLEIVERB_PROPERTIES:
    case OLEIVERB_OPEN:
        return E_NOTIMPL;
    default:
        return iVerb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
    }
}

HRESULT Panorel::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) {
    if (ppEnumOleVerb) *ppEnumOleVerb = nullptr;
    return OLEOBJ_E_NOVERBS;
}
HRESULT Panorel::Update() { return S_OK; }
HRESULT Panorel::IsUpToDate() { return S_OK; }

HRESULT Panorel::GetUserClassID(CLSID* pClsid) {
    if (!pClsid) return E_POINTER;
    *pClsid = CLSID_Panorel;
    return S_OK;
}

HRESULT Panorel::GetUserType(DWORD, LPOLESTR* pszUserType) {
    if (!pszUserType) return E_POINTER;
    static constexpr WCHAR kName[] = u"Panorel Class";
    *pszUserType = static_cast<LPOLESTR>(CoTaskMemAlloc(sizeof(kName)));
    if (!*pszUserType) return E_OUTOFMEMORY;
    std::copy(std::begin(kName), std::end(kName), *pszUserType);
    return S_OK;
}

HRESULT Panorel::SetExtent(DWORD, SIZEL*) { return S_OK; }

HRESULT Panorel::GetExtent(DWORD, SIZEL* psizel) {
    if (!psizel) return E_POINTER;
    psizel->cx = m_position.right - m_position.left;
    psizel->cy = m_position.bottom - m_position.top;
    return S_OK;
}

HRESULT Panorel::Advise(IAdviseSink*, DWORD* pdwConnection) {
    if (pdwConnection) *pdwConnection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}
HRESULT Panorel::Unadvise(DWORD) { return OLE_E_NOCONNECTION; }
HRESULT Panorel::EnumAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (ppenumAdvise) *ppenumAdvise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT Panorel::GetMiscStatus(DWORD, DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = kMiscStatus;
    return S_OK;
}

HRESULT Panorel::SetColorScheme(LOGPALETTE*) { return E_NOTIMPL; }

// IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject

HRESULT Panorel::GetWindow(HWND* phwnd) {
    if (!phwnd) return E_POINTER;
    *phwnd = m_window;
    return m_window ? S_OK : E_FAIL;
}

HRESULT Panorel::ContextSensitiveHelp(BOOL) { return E_NOTIMPL; }

HRESULT Panorel::InPlaceDeactivate() {
    if (m_window) DestroyWindow(m_window);
    if (ComPtr<IOleInPlaceSite> site = std::move(m_inPlaceSite)) site->OnInPlaceDeactivate();
    return S_OK;
}

HRESULT Panorel::UIDeactivate() { return S_OK; }

HRESULT Panorel::SetObjectRects(LPCRECT lprcPosRect, LPCRECT) {
    if (!lprcPosRect) return E_POINTER;
    m_position = *lprcPosRect;
    if (m_window)
        MoveWindow(m_window, m_position.left, m_position.top, std::max<LONG>(m_position.right - m_position.left, 0),
                   std::max<LONG>(m_position.bottom - m_position.top, 0), TRUE);
    return S_OK;
}

HRESULT Panorel::ReactivateAndUndo() { return E_NOTIMPL; }

// A windowed control gets its messages through its window.
HRESULT Panorel::OnWindowMessage(UINT, WPARAM, LPARAM, LRESULT* plResult) {
    if (plResult) *plResult = 0;
    return S_FALSE;
}

HRESULT Panorel::GetDropTarget(IDropTarget** ppDropTarget) {
    if (ppDropTarget) *ppDropTarget = nullptr;
    return E_NOTIMPL;
}

HRESULT Panorel::TranslateAccelerator(LPMSG) { return S_FALSE; }
HRESULT Panorel::OnFrameWindowActivate(BOOL) { return S_OK; }
HRESULT Panorel::OnDocWindowActivate(BOOL) { return S_OK; }
HRESULT Panorel::ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) { return S_OK; }
HRESULT Panorel::EnableModeless(BOOL) { return S_OK; }

// IOleControl

HRESULT Panorel::GetControlInfo(CONTROLINFO* pCI) {
    if (!pCI) return E_POINTER;
    pCI->hAccel = nullptr;
    pCI->cAccel = 0;
    pCI->dwFlags = 0;
    return S_OK;
}

HRESULT Panorel::OnMnemonic(MSG*) { return E_NOTIMPL; }
HRESULT Panorel::OnAmbientPropertyChange(DISPID) { return S_OK; }
HRESULT Panorel::FreezeEvents(BOOL) { return S_OK; }

// IViewObject, IViewObject2, IViewObjectEx

HRESULT Panorel::Draw(DWORD dwDrawAspect, LONG, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw, LPCRECTL lprcBounds,
                      LPCRECTL, ContinueDrawing, ULONG_PTR) {
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (!hdcDraw) return E_INVALIDARG;
    RECT bounds = m_position;
    if (lprcBounds) bounds = RECT{lprcBounds->left, lprcBounds->top, lprcBounds->right, lprcBounds->bottom};
    paint(hdcDraw, bounds);
    return S_OK;
}

HRESULT Panorel::GetColorSet(DWORD, LONG, void*, DVTARGETDEVICE*, HDC, LOGPALETTE** ppColorSet) {
    if (ppColorSet) *ppColorSet = nullptr;
    return S_FALSE;
}

HRESULT Panorel::Freeze(DWORD, LONG, void*, DWORD* pdwFreeze) {
    if (pdwFreeze) *pdwFreeze = 0;
    return E_NOTIMPL;
}
HRESULT Panorel::Unfreeze(DWORD) { return E_NOTIMPL; }

HRESULT Panorel::SetAdvise(DWORD, DWORD, IAdviseSink* pAdvSink) {
    m_viewSink = ComPtr<IUnknown>(reinterpret_cast<IUnknown*>(pAdvSink));
    return S_OK;
}

HRESULT Panorel::GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) {
    if (pAspects) *pAspects = DVASPECT_CONTENT;
    if (pAdvf) *pAdvf = 0;
    if (ppAdvSink) {
        if (m_viewSink) m_viewSink->AddRef();
        *ppAdvSink = reinterpret_cast<IAdviseSink*>(m_viewSink.get());
    }
    return S_OK;
}

HRESULT Panorel::GetExtent(DWORD dwDrawAspect, LONG, DVTARGETDEVICE*, LPSIZEL lpsizel) {
    if (dwDrawAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    return GetExtent(dwDrawAspect, lpsizel);
}

HRESULT Panorel::GetRect(DWORD dwAspect, LPRECTL pRect) {
    if (!pRect) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *pRect = RECTL{m_position.left, m_position.top, m_position.right, m_position.bottom};
    return S_OK;
}

HRESULT Panorel::GetViewStatus(DWORD* pdwStatus) {
    if (!pdwStatus) return E_POINTER;
    *pdwStatus = VIEWSTATUS_OPAQUE | VIEWSTATUS_SOLIDBKGND;
    return S_OK;
}

HRESULT Panorel::QueryHitPoint(DWORD dwAspect, LPCRECT pRectBounds, POINT ptlLoc, LONG, DWORD* pHitResult) {
    if (!pHitResult || !pRectBounds) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    const bool inside = ptlLoc.x >= pRectBounds->left && ptlLoc.x < pRectBounds->right &&
                        ptlLoc.y >= pRectBounds->top && ptlLoc.y < pRectBounds->bottom;
    *pHitResult = inside ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

HRESULT Panorel::QueryHitRect(DWORD dwAspect, LPCRECT pRectBounds, LPCRECT pRectLoc, LONG, DWORD* pHitResult) {
    if (!pHitResult || !pRectBounds || !pRectLoc) return E_POINTER;
    if (dwAspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    const bool overlap = pRectLoc->left < pRectBounds->right && pRectLoc->right > pRectBounds->left &&
                         pRectLoc->top < pRectBounds->bottom && pRectLoc->bottom > pRectBounds->top;
    *pHitResult = overlap ? HITRESULT_HIT : HITRESULT_OUTSIDE;
    return S_OK;
}

HRESULT Panorel::GetNaturalExtent(DWORD, LONG, DVTARGETDEVICE*, HDC, DVEXTENTINFO*, LPSIZEL) { return E_NOTIMPL; }

// Persistence: nothing to keep, so every load takes an empty state and every save writes none.

HRESULT Panorel::GetClassID(CLSID* pClassID) {
    if (!pClassID) return E_POINTER;
    *pClassID = CLSID_Panorel;
    return S_OK;
}

HRESULT Panorel::IsDirty() { return S_FALSE; }
HRESULT Panorel::Load(IStream* pStm) { return pStm ? S_OK : E_POINTER; }
HRESULT Panorel::Save(IStream* pStm, BOOL) { return pStm ? S_OK : E_POINTER; }

HRESULT Panorel::GetSizeMax(ULARGE_INTEGER* pcbSize) {
    if (!pcbSize) return E_POINTER;
    pcbSize->QuadPart = 0;
    return S_OK;
}

HRESULT Panorel::InitNew() { return S_OK; }
HRESULT Panorel::InitNew(IStorage*) { return S_OK; }
HRESULT Panorel::Load(IStorage* pStg) { return pStg ? S_OK : E_POINTER; }
HRESULT Panorel::Save(IStorage* pStgSave, BOOL) { return pStgSave ? S_OK : E_POINTER; }
HRESULT Panorel::SaveCompleted(IStorage*) { return S_OK; }
HRESULT Panorel::HandsOffStorage() { return S_OK; }

// Property pages and class information

HRESULT Panorel::GetPages(CAUUID* pPages) {
    if (!pPages) return E_POINTER;
    pPages->cElems = 0;
    pPages->pElems = nullptr;
    return S_OK;
}

HRESULT Panorel::GetClassInfo(ITypeInfo** ppTI) {
    if (!ppTI) return E_POINTER;
    *ppTI = nullptr;
    return lumivel::com::CreateCoclassTypeInfo(kPanorelCoclass, ppTI);
}

// The control raises no events, so it has no outgoing interface to name.
HRESULT Panorel::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    if (!pGUID) return E_POINTER;
    *pGUID = GUID{};
    return dwGuidKind == GUIDKIND_DEFAULT_SOURCE_DISP_IID ? E_FAIL : E_INVALIDARG;
}

// IDataObject

HRESULT Panorel::GetData(FORMATETC*, STGMEDIUM*) { return DV_E_FORMATETC; }
HRESULT Panorel::GetDataHere(FORMATETC*, STGMEDIUM*) { return DV_E_FORMATETC; }
HRESULT Panorel::QueryGetData(FORMATETC*) { return DV_E_FORMATETC; }

HRESULT Panorel::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* pformatetcOut) {
    if (pformatetcOut) pformatetcOut->ptd = nullptr;
    return DV_E_FORMATETC;
}

HRESULT Panorel::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }

HRESULT Panorel::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) {
    if (ppenumFormatEtc) *ppenumFormatEtc = nullptr;
    return E_NOTIMPL;
}

HRESULT Panorel::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD* pdwConnection) {
    if (pdwConnection) *pdwConnection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT Panorel::DUnadvise(DWORD) { return OLE_E_ADVISENOTSUPPORTED; }

HRESULT Panorel::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (ppenumAdvise) *ppenumAdvise = nullptr;
    return OLE_E_ADVISENOTSUPPORTED;
}

}  // namespace panorel
