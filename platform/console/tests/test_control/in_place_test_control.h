// The in-place half of a test control, for the console's hosting tests and the snap-in's fake
// result-pane control: IOleObject and IOleInPlaceObject as a windowed control answers them,
// one child window inside the site's window, and a hook that logs each step.
//
// Use as an interface of a ComObject: ComObject<MyControl, InPlaceTestControl, ...>.
#pragma once

#include <string>

#include "win/com.h"
#include "win/ocidl.h"
#include "win/oleidl.h"
#include "win/user.h"

namespace lumivel::testing {

class InPlaceTestControl : public IOleObject, public IOleInPlaceObject {
public:
    virtual ~InPlaceTestControl() {
        if (m_window) DestroyWindow(m_window);
        if (m_inPlaceSite) m_inPlaceSite->Release();
        if (m_clientSite) m_clientSite->Release();
    }

    HWND window() const { return m_window; }
    IOleClientSite* clientSite() const { return m_clientSite; }

    // IOleObject
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override {
        log(site ? "SetClientSite" : "SetClientSite(null)");
        if (site) site->AddRef();
        if (m_clientSite) m_clientSite->Release();
        m_clientSite = site;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override {
        if (!site) return E_POINTER;
        *site = m_clientSite;
        if (m_clientSite) m_clientSite->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Close(DWORD) override {
        log("Close");
        if (m_window) InPlaceDeactivate();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG, IOleClientSite* site, LONG, HWND, LPCRECT) override {
        if (verb != OLEIVERB_INPLACEACTIVATE && verb != OLEIVERB_SHOW && verb != OLEIVERB_UIACTIVATE)
            return OLEOBJ_S_INVALIDVERB;
        if (m_window) return S_OK;
        if (HRESULT refused = activationFailure(); FAILED(refused)) return refused;
        if (!site) site = m_clientSite;
        IOleInPlaceSite* inPlace = nullptr;
        if (!site || FAILED(site->QueryInterface(IID_IOleInPlaceSite, reinterpret_cast<void**>(&inPlace))))
            return E_NOINTERFACE;
        if (inPlace->CanInPlaceActivate() != S_OK) {
            inPlace->Release();
            return E_FAIL;
        }
        inPlace->OnInPlaceActivate();
        HWND parent = nullptr;
        IOleInPlaceFrame* frame = nullptr;
        IOleInPlaceUIWindow* document = nullptr;
        RECT position{}, clip{};
        OLEINPLACEFRAMEINFO info{};
        info.cb = sizeof(info);
        inPlace->GetWindow(&parent);
        HRESULT hr = inPlace->GetWindowContext(&frame, &document, &position, &clip, &info);
        if (frame) {
            frame->SetStatusText(u"Test control active");
            frame->Release();
        }
        if (document) document->Release();
        if (SUCCEEDED(hr))
            m_window = CreateWindowExW(0, WindowClass(), u"", WS_CHILD | WS_VISIBLE, position.left, position.top,
                                       position.right - position.left, position.bottom - position.top, parent,
                                       nullptr, nullptr, nullptr);
        if (!m_window) {
            inPlace->OnInPlaceDeactivate();
            inPlace->Release();
            return FAILED(hr) ? hr : E_FAIL;
        }
        m_inPlaceSite = inPlace;
        log("InPlaceActivate");
        windowCreated(m_window);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
        if (!status) return E_POINTER;
        *status = OLEMISC_SETCLIENTSITEFIRST | OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                  OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

    // IOleInPlaceObject
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = m_window;
        return m_window ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override {
        if (!m_window) return S_OK;
        log("InPlaceDeactivate");
        windowDestroying(m_window);
        DestroyWindow(m_window);
        m_window = nullptr;
        if (m_inPlaceSite) {
            m_inPlaceSite->OnInPlaceDeactivate();
            m_inPlaceSite->Release();
            m_inPlaceSite = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UIDeactivate() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT) override {
        if (!position) return E_POINTER;
        if (!m_window) return OLE_E_NOT_INPLACEACTIVE;
        log("SetObjectRects");
        MoveWindow(m_window, position->left, position->top, position->right - position->left,
                   position->bottom - position->top, TRUE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override { return E_NOTIMPL; }

protected:
    virtual void log(const char* step) { (void)step; }
    // A failure DoVerb returns before it does anything; S_OK lets it go on.
    virtual HRESULT activationFailure() { return S_OK; }
    virtual void windowCreated(HWND window) { (void)window; }
    virtual void windowDestroying(HWND window) { (void)window; }

private:
    static LPCWSTR WindowClass() {
        static const ATOM registered = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = DefWindowProcW;
            wc.lpszClassName = u"LumivelInPlaceTestControl";
            return RegisterClassW(&wc);
        }();
        return registered ? u"LumivelInPlaceTestControl" : u"STATIC";
    }

    HWND m_window = nullptr;
    IOleClientSite* m_clientSite = nullptr;
    IOleInPlaceSite* m_inPlaceSite = nullptr;
};

}  // namespace lumivel::testing
