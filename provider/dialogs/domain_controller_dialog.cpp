// Dialog 211 "Connect to Domain Controller": lists a domain's controllers with their sites.
#include <optional>

#include "lumivel/com_ptr.h"
#include "provider/common/command_report.h"
#include "provider/common/dialog_helpers.h"
#include "provider/common/resource_ids.h"
#include "provider/dialogs/connect_dialog.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/text_helpers.h"
#include "win/adsi.h"
#include "win/commctrl.h"
#include "win/dsapi.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

// Posted to the dialog so that it appears before the directory calls run.
constexpr UINT kFillListMessage = WM_APP + 0x64;
constexpr int kDomainFieldLimit = 260;

struct DialogState {
    std::u16string nodeName;
    std::u16string nodePath;
    std::u16string currentDc;
    std::u16string chosenDc;
    // The controllers shown; the rows' item data point into it.
    DS_DOMAIN_CONTROLLER_INFO_1W* controllers = nullptr;
    DWORD controllerCount = 0;

    void freeControllers() {
        if (controllers) DsFreeDomainControllerInfoW(1, controllerCount, controllers);
        controllers = nullptr;
        controllerCount = 0;
    }
};

DialogState* stateOf(HWND dialog) { return reinterpret_cast<DialogState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

HWND listOf(HWND dialog) { return GetDlgItem(dialog, IDC_DC_LIST); }

int selectedRow(HWND dialog) {
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void enableOkForSelection(HWND dialog) { EnableWindow(GetDlgItem(dialog, IDOK), selectedRow(dialog) >= 0); }

void addColumns(HWND list) {
    RECT client{};
    GetClientRect(list, &client);
    int half = (client.right - client.left) / 2;
    const char16_t* titles[] = {u"Name", u"Site"};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = half;
        column.pszText = const_cast<LPWSTR>(titles[i]);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void fillList(HWND dialog) {
    DialogState* state = stateOf(dialog);
    WCHAR domain[kDomainFieldLimit + 1] = {};
    GetDlgItemTextW(dialog, IDC_DC_DOMAIN, domain, kDomainFieldLimit + 1);
    HANDLE directory = nullptr;
    if (DsBindW(nullptr, domain, &directory) != ERROR_SUCCESS) return;
    HWND list = listOf(dialog);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    state->freeControllers();
    DWORD count = 0;
    DS_DOMAIN_CONTROLLER_INFO_1W* controllers = nullptr;
    if (DsGetDomainControllerInfoW(directory, domain, 1, &count, reinterpret_cast<void**>(&controllers)) ==
        ERROR_SUCCESS) {
        state->controllers = controllers;
        state->controllerCount = count;
        for (DWORD i = 0; i < count; ++i) {
            LPCWSTR host = controllers[i].DnsHostName ? controllers[i].DnsHostName : u"";
            LVITEMW item{};
            item.mask = LVIF_TEXT | LVIF_PARAM;
            item.iItem = static_cast<int>(i);
            item.pszText = const_cast<LPWSTR>(host);
            item.lParam = reinterpret_cast<LPARAM>(&controllers[i]);
            int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            LVITEMW site{};
            site.iSubItem = 1;
            site.pszText = LPSTR_TEXTCALLBACKW;
            SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&site));
            if (row >= 0 && lumivel::EqualsNoCase(lumivel::shared::ViewOf(host), state->currentDc)) {
                LVITEMW selection{};
                selection.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
                selection.state = LVIS_SELECTED | LVIS_FOCUSED;
                SendMessageW(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&selection));
            }
        }
    }
    enableOkForSelection(dialog);
    DsUnBindW(&directory);
    SetFocus(list);
}

void supplySiteText(NMLVDISPINFOW* info) {
    if (info->item.iSubItem != 1 || !(info->item.mask & LVIF_TEXT) || !info->item.pszText || info->item.cchTextMax <= 0)
        return;
    // The row data is read back rather than trusted from the notification.
    LVITEMW row{};
    row.mask = LVIF_PARAM;
    row.iItem = info->item.iItem;
    SendMessageW(info->hdr.hwndFrom, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row));
    const auto* controller = reinterpret_cast<const DS_DOMAIN_CONTROLLER_INFO_1W*>(row.lParam);
    LPCWSTR site = controller && controller->SiteName ? controller->SiteName : u"";
    std::u16string_view text(site);
    size_t length = std::min<size_t>(text.size(), static_cast<size_t>(info->item.cchTextMax - 1));
    text.copy(info->item.pszText, length);
    info->item.pszText[length] = u'\0';
}

// A controller is taken only when it answers a bind; otherwise the owner is told so.
bool controllerAnswers(HWND owner, const std::u16string& host) {
    ComPtr<IADs> object;
    HRESULT bound = lumivel::shared::BindPath(lumivel::shared::LdapPathOfDomain(host), IID_IADs, object.putVoid());
    if (SUCCEEDED(bound)) return true;
    ShowFailure(owner, bound, u"Error binding to specified domain controller", u"Error", MB_OK | MB_ICONSTOP);
    return false;
}

void confirmChoice(HWND dialog) {
    DialogState* state = stateOf(dialog);
    int row = selectedRow(dialog);
    if (row < 0) {
        EndDialog(dialog, IDOK);
        return;
    }
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    SendMessageW(listOf(dialog), LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    const auto* controller = reinterpret_cast<const DS_DOMAIN_CONTROLLER_INFO_1W*>(item.lParam);
    std::u16string host(controller && controller->DnsHostName ? controller->DnsHostName : u"");
    if (!controllerAnswers(dialog, host)) return;
    state->chosenDc = host;
    EndDialog(dialog, IDOK);
}

void initialize(HWND dialog, DialogState* state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    HWND list = listOf(dialog);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    addColumns(list);
    SetDlgItemTextW(dialog, IDC_DC_CURRENT, state->currentDc.c_str());
    if (state->nodeName.empty()) {
        std::u16string_view domain = lumivel::shared::TextAfter(state->currentDc, u".");
        SetDlgItemTextW(dialog, IDC_DC_DOMAIN, std::u16string(domain).c_str());
        EnableWindow(GetDlgItem(dialog, IDC_BROWSE), TRUE);
    } else {
        SetDlgItemTextW(dialog, IDC_DC_DOMAIN, state->nodeName.c_str());
        EnableWindow(GetDlgItem(dialog, IDC_BROWSE), FALSE);
    }
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    PostMessageW(dialog, kFillListMessage, 0, 0);
}

INT_PTR CALLBACK domainControllerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            initialize(dialog, reinterpret_cast<DialogState*>(lParam));
            return TRUE;
        case kFillListMessage:
            fillList(dialog);
            return TRUE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom != IDC_DC_LIST) return FALSE;
            if (header->code == NM_CLICK || header->code == LVN_ITEMCHANGED) enableOkForSelection(dialog);
            if (header->code == LVN_GETDISPINFOW) supplySiteText(reinterpret_cast<NMLVDISPINFOW*>(lParam));
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_BROWSE: {
                    std::u16string domain;
                    if (BrowseForDomain(dialog, &domain)) {
                        SetDlgItemTextW(dialog, IDC_DC_DOMAIN, domain.c_str());
                        fillList(dialog);
                    }
                    return TRUE;
                }
                case IDOK:
                    confirmChoice(dialog);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

bool Revivo::ChooseDomainController(HWND parent, const PropertySet* node, std::u16string* chosen) {
    if (std::optional<std::u16string> answer = node->copyString(kDomainControllerKey)) {
        if (answer->empty() || !controllerAnswers(parent, *answer)) return false;
        *chosen = *answer;
        return true;
    }
    if (!MayAskInDialogs()) {
        AskCaller(kDomainControllerKey);
        NoteFailure(HRESULT_FROM_WIN32(ERROR_CANCELLED), u"Connect to Domain Controller",
                    u"No domain controller was named.");
        return false;
    }
    DialogState state;
    state.nodeName = node->getText(u"name");
    state.nodePath = node->getText(u"path");
    state.currentDc = node->getText(u"FocusedDC");
    INT_PTR result = DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_CONNECT_DC), parent,
                                     domainControllerDialogProc, reinterpret_cast<LPARAM>(&state));
    state.freeControllers();
    if (result != IDOK || state.chosenDc.empty()) return false;
    *chosen = state.chosenDc;
    return true;
}

}  // namespace revivo
