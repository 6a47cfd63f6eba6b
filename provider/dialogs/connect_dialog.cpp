#include "provider/dialogs/connect_dialog.h"

#include "lumivel/com_ptr.h"
#include "provider/common/dialog_helpers.h"
#include "provider/common/resource_ids.h"
#include "provider/common/system_error_text.h"
#include "provider/domain_nodes.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "win/dsclient.h"
#include "win/user.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

void enableOkForText(HWND dialog) {
    bool hasText = GetWindowTextLengthW(GetDlgItem(dialog, IDC_CONNECT_DOMAIN)) > 0;
    EnableWindow(GetDlgItem(dialog, IDOK), hasText ? TRUE : FALSE);
}

// A bind failure offers Retry (stay) or Cancel (end with OK; the caller's bind then fails
// again and nothing is added).
void confirmDomain(HWND dialog, std::u16string* entered) {
    std::u16string text = DialogItemText(dialog, IDC_CONNECT_DOMAIN, kDomainTextLimit);
    ComPtr<IADs> object;
    HRESULT result = lumivel::shared::BindPath(lumivel::shared::LdapPathOfDomain(text), IID_IADs, object.putVoid());
    if (SUCCEEDED(result)) {
        *entered = text;
        EndDialog(dialog, IDOK);
        return;
    }
    std::u16string message = SystemErrorText(static_cast<DWORD>(result));
    if (MessageBoxW(dialog, message.c_str(), u"Active Directory", MB_RETRYCANCEL | MB_ICONSTOP) == IDRETRY) return;
    *entered = text;
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK connectDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
            return TRUE;
        case WM_COMMAND: {
            auto* entered = reinterpret_cast<std::u16string*>(GetWindowLongPtrW(dialog, DWLP_USER));
            switch (LOWORD(wParam)) {
                case IDC_CONNECT_DOMAIN:
                    if (HIWORD(wParam) == EN_CHANGE) enableOkForText(dialog);
                    return TRUE;
                case IDC_BROWSE: {
                    std::u16string domain;
                    if (BrowseForDomain(dialog, &domain)) {
                        SetDlgItemTextW(dialog, IDC_CONNECT_DOMAIN, domain.c_str());
                        enableOkForText(dialog);
                    }
                    return TRUE;
                }
                case IDOK:
                    confirmDomain(dialog, entered);
                    return TRUE;
            }
            return FALSE;
        }
    }
    return FALSE;
}

}  // namespace

bool BrowseForDomain(HWND owner, std::u16string* domain) {
    ComPtr<IDsBrowseDomainTree> browser;
    if (FAILED(CoCreateInstance(CLSID_DsDomainTreeBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IDsBrowseDomainTree,
                                browser.putVoid())))
        return false;
    LPWSTR chosen = nullptr;
    HRESULT result = browser->BrowseTo(owner, &chosen, 0);
    bool picked = result == S_OK && chosen && *chosen;
    if (picked) *domain = chosen;
    CoTaskMemFree(chosen);
    return picked;
}

INT_PTR ShowConnectDialog(HWND parent, std::u16string* entered) {
    return DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_CONNECT_TO), parent,
                           connectDialogProc, reinterpret_cast<LPARAM>(entered));
}

}  // namespace revivo
