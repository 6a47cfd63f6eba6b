#include "hosted_control.h"

#include "lumivel/com_object.h"
#include "win/user.h"

namespace lumivel::console {

using com::InterfaceEntry;
using com::InterfaceOf;

// The frame a control may ask for: the console's main window and its status bar. Menus and
// border space are not negotiated; the result pane is all the control gets.
class ControlFrame final : public com::ComObject<ControlFrame, IOleInPlaceFrame> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {
        InterfaceOf<ControlFrame, IOleInPlaceFrame>(IID_IOleInPlaceFrame),
        InterfaceOf<ControlFrame, IOleInPlaceFrame>(IID_IOleInPlaceUIWindow),
        InterfaceOf<ControlFrame, IOleInPlaceFrame>(IID_IOleWindow),
    };
    ControlFrame(HWND window, std::function<void(const std::u16string&)> statusText)
        : m_window(window), m_statusText(std::move(statusText)) {}

    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = m_window;
        return m_window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    HRESULT STDMETHODCALLTYPE SetBorderSpace(LPCBORDERWIDTHS widths) override {
        return widths ? INPLACE_E_NOTOOLSPACE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RemoveMenus(HMENU) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStatusText(LPCOLESTR text) override {
        if (m_statusText) m_statusText(text ? std::u16string(text) : std::u16string());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    HWND m_window;
    std::function<void(const std::u16string&)> m_statusText;
};

// The control's view of its place: the host window and the area it may fill.
class ControlSite final : public com::ComObject<ControlSite, IOleClientSite, IOleInPlaceSite> {
public:
    static constexpr InterfaceEntry kInterfaces[] = {
        InterfaceOf<ControlSite, IOleClientSite>(IID_IOleClientSite),
        InterfaceOf<ControlSite, IOleInPlaceSite>(IID_IOleInPlaceSite),
        InterfaceOf<ControlSite, IOleInPlaceSite>(IID_IOleWindow),
    };

    HWND host = nullptr;
    RECT area{};
    bool active = false;
    ComPtr<ControlFrame> frame;

    // IOleClientSite
    HRESULT STDMETHODCALLTYPE SaveObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetContainer(IOleContainer** container) override {
        if (container) *container = nullptr;
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE ShowObject() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnShowWindow(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = host;
        return host ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    HRESULT STDMETHODCALLTYPE CanInPlaceActivate() override { return host && IsWindow(host) ? S_OK : S_FALSE; }
    HRESULT STDMETHODCALLTYPE OnInPlaceActivate() override {
        active = true;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnUIActivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc,
                                               LPRECT position, LPRECT clip, LPOLEINPLACEFRAMEINFO info) override {
        if (!ppFrame || !ppDoc || !position || !clip) return E_POINTER;
        *ppFrame = frame.get();
        if (*ppFrame) (*ppFrame)->AddRef();
        // The pane is one document: no document window of its own.
        *ppDoc = nullptr;
        *position = area;
        *clip = area;
        if (info) {
            info->fMDIApp = FALSE;
            HWND main = nullptr;
            if (frame) frame->GetWindow(&main);
            info->hwndFrame = main;
            info->haccel = nullptr;
            info->cAccelEntries = 0;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Scroll(SIZE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnUIDeactivate(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnInPlaceDeactivate() override {
        active = false;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DiscardUndoState() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE DeactivateAndUndo() override { return E_NOTIMPL; }
    // The pane decides the control's size; a control's wish to change it is not granted.
    HRESULT STDMETHODCALLTYPE OnPosRectChange(LPCRECT) override { return S_OK; }
};

HostedControl::HostedControl(std::function<void(const std::u16string&)> statusText)
    : m_statusText(std::move(statusText)) {}

HostedControl::~HostedControl() { close(); }

HRESULT HostedControl::create(const CLSID& clsid) {
    close();
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, m_control.putVoid());
    if (FAILED(hr)) return hr;
    if (!m_control) return E_UNEXPECTED;
    hr = m_control.queryInterface(IID_IOleObject, &m_object);
    if (SUCCEEDED(hr)) {
        m_site = com::NewComObject<ControlSite>();
        hr = m_site ? m_object->SetClientSite(m_site.get()) : E_OUTOFMEMORY;
    }
    if (FAILED(hr)) {
        close();
        return hr;
    }
    return S_OK;
}

HRESULT HostedControl::activate(HWND host, HWND frame, const RECT& area) {
    if (!m_object || !m_site) return E_UNEXPECTED;
    if (!host) return OLE_E_INVALIDHWND;
    m_site->host = host;
    m_site->area = area;
    m_site->frame = com::NewComObject<ControlFrame>(frame, m_statusText);
    if (!m_site->frame) return E_OUTOFMEMORY;
    HRESULT hr = m_object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, m_site.get(), 0, host, &area);
    if (FAILED(hr)) return hr;
    // A control that answered without taking its place is of no use in the pane.
    if (!m_site->active) return E_UNEXPECTED;
    return S_OK;
}

bool HostedControl::active() const { return m_site && m_site->active; }

HWND HostedControl::controlWindow() const {
    ComPtr<IOleInPlaceObject> inPlace;
    HWND window = nullptr;
    if (active() && SUCCEEDED(m_control.queryInterface(IID_IOleInPlaceObject, &inPlace))) inPlace->GetWindow(&window);
    return window;
}

void HostedControl::resize(const RECT& area) {
    if (!m_site) return;
    m_site->area = area;
    ComPtr<IOleInPlaceObject> inPlace;
    if (!m_site->active || FAILED(m_control.queryInterface(IID_IOleInPlaceObject, &inPlace))) return;
    inPlace->SetObjectRects(&area, &area);
}

void HostedControl::close() {
    // Held here, so that nothing the control does while it goes can free what is being closed.
    ComPtr<IUnknown> control = std::move(m_control);
    ComPtr<IOleObject> object = std::move(m_object);
    ComPtr<ControlSite> site = std::move(m_site);
    if (site && site->active) {
        ComPtr<IOleInPlaceObject> inPlace;
        if (SUCCEEDED(control.queryInterface(IID_IOleInPlaceObject, &inPlace))) inPlace->InPlaceDeactivate();
        site->active = false;
    }
    if (object) {
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
    }
    if (site) site->frame.reset();
}

}  // namespace lumivel::console
