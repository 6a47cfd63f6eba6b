// IProviderData::GetDetails and SetConsole: the details pane of the control, in its text mode.
#include "lumivel/com_ptr.h"
#include "provider/details/details_cache.h"
#include "provider/revivo.h"
#include "shared/object_list.h"
#include "shared/panorel_interface.h"
#include "win/mmc.h"
#include "win/oleidl.h"
#include "win/user.h"

namespace revivo {

STDMETHODIMP Revivo::SetConsole(IUnknown* console) {
    m_console = lumivel::ComPtr<IUnknown>(console);
    return S_OK;
}

STDMETHODIMP Revivo::GetDetails(VARIANT* pvarSelection, LONG* plMode, VARIANT* pvarDetails) {
    if (!pvarSelection || !plMode || !pvarDetails) return E_POINTER;
    std::u16string text =
        m_details->TextFor(lumivel::shared::ReadObjectList(pvarSelection, lumivel::shared::ListForm::AnyArray));
    // Nothing to say leaves the pane as it is, as before there were details.
    if (text.empty()) return S_OK;
    BSTR details = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!details) return E_OUTOFMEMORY;
    VariantClear(pvarDetails);
    pvarDetails->vt = VT_BSTR;
    pvarDetails->bstrVal = details;
    *plMode = kPanorelModeBottomText;
    return S_OK;
}

void Revivo::detailsReady() {
    if (!m_console) return;
    lumivel::ComPtr<IConsole2> console;
    if (FAILED(m_console->QueryInterface(IID_IConsole2, console.putVoid())) || !console) return;
    IUnknown* view = nullptr;
    if (FAILED(console->QueryResultView(&view)) || !view) return;
    lumivel::ComPtr<IOleWindow> window;
    HWND control = nullptr;
    if (SUCCEEDED(view->QueryInterface(IID_IOleWindow, window.putVoid())) && window) window->GetWindow(&control);
    view->Release();
    // Posted: the control asks again from its own loop, not from inside this completion.
    if (control) PostMessageW(control, kPanorelDetailsReadyMessage, 0, 0);
}

}  // namespace revivo
