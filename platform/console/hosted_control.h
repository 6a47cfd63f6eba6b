// A windowed ActiveX control hosted in place in the console's result pane: the client and
// in-place site the control talks to, a minimal frame, and the steps that bring the control
// up and take it down.
//
// Bringing up: create() makes the control and gives it the site; the console then sends
// MMCN_INITOCX; activate() has the control create its window inside the host window.
// Resizing goes through SetObjectRects; close() deactivates, closes and lets the control go.
#pragma once

#include <functional>
#include <string>

#include "lumivel/com_ptr.h"
#include "win/ocidl.h"
#include "win/oleidl.h"

namespace lumivel::console {

class ControlSite;

class HostedControl {
public:
    // `statusText` receives the text the control asks the frame to show.
    explicit HostedControl(std::function<void(const std::u16string&)> statusText = {});
    ~HostedControl();
    HostedControl(const HostedControl&) = delete;
    HostedControl& operator=(const HostedControl&) = delete;

    // Creates the control and hands it the client site. A class without IOleObject cannot be
    // hosted in place and fails with E_NOINTERFACE.
    HRESULT create(const CLSID& clsid);
    // In-place activation in `host` at `area` (host client coordinates); `frame` is the
    // console's main window. A failure leaves the control created but inactive.
    HRESULT activate(HWND host, HWND frame, const RECT& area);
    // The pane changed size; nothing happens while the control is not active.
    void resize(const RECT& area);
    // Deactivates, closes and releases the control; safe to call twice.
    void close();

    IUnknown* control() const { return m_control.get(); }
    bool active() const;
    // The window the control made for itself while active.
    HWND controlWindow() const;

private:
    std::function<void(const std::u16string&)> m_statusText;
    ComPtr<IUnknown> m_control;
    ComPtr<IOleObject> m_object;
    ComPtr<ControlSite> m_site;
};

}  // namespace lumivel::console
