// Dialog 410 "Restore To". The platform has no tree control: the chooser lists one container's
// child containers, goes down on a double click or Enter and up with "Up", and takes a typed DN.
// Whether the object's class may be created is said for the container in view; the restore
// itself checks again.
#include "provider/dialogs/container_chooser.h"

#include <map>

#include "provider/common/dialog_helpers.h"
#include "provider/common/resource_ids.h"
#include "provider/common/system_error_text.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/provider_dialog_ids.h"
#include "shared/text_helpers.h"
#include "win/commctrl.h"
#include "win/errors.h"

namespace revivo {

namespace {

// Posted so that the dialog shows before the first search runs.
constexpr UINT kOpenFirstMessage = WM_APP + 0x65;
// Longer than any DN a directory accepts.
constexpr int kDnLimit = 4096;

struct NoCaseLess {
    bool operator()(const std::u16string& left, const std::u16string& right) const {
        return lumivel::CompareNoCase(left, right) < 0;
    }
};

struct ChooserState {
    const ContainerChoice* choice;
    ContainerBrowser* browser;
    std::u16string chosen;
    // One creation check per container, however often it is selected again.
    std::map<std::u16string, HRESULT, NoCaseLess> verdicts;
};

ChooserState* stateOf(HWND dialog) { return reinterpret_cast<ChooserState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

HWND listOf(HWND dialog) { return GetDlgItem(dialog, IDC_RESTORE_TO_LIST); }

int selectedRow(HWND dialog) {
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void setStatus(HWND dialog, const std::u16string& text) { SetDlgItemTextW(dialog, IDC_RESTORE_TO_STATUS, text.c_str()); }

void sayVerdict(HWND dialog, const std::u16string& dn, const std::u16string& note = {}) {
    ChooserState* state = stateOf(dialog);
    auto known = state->verdicts.find(dn);
    if (known == state->verdicts.end()) {
        BusyCursor busy;
        known = state->verdicts.emplace(dn, state->browser->AcceptsClass(dn, state->choice->className)).first;
    }
    setStatus(dialog, CreationVerdictText(dn, state->choice->className, known->second) + note);
}

void addColumns(HWND list) {
    RECT client{};
    GetClientRect(list, &client);
    int width = client.right - client.left;
    const std::pair<const char16_t*, int> columns[] = {{u"Name", width * 3 / 5}, {u"Type", width * 2 / 5 - 4}};
    for (int i = 0; i < 2; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_WIDTH | LVCF_TEXT;
        column.cx = columns[i].second;
        column.pszText = const_cast<LPWSTR>(columns[i].first);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

void fillList(HWND dialog) {
    ChooserState* state = stateOf(dialog);
    HWND list = listOf(dialog);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    const std::vector<ContainerEntry>& children = state->browser->Children();
    for (size_t i = 0; i < children.size(); ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(i);
        item.pszText = const_cast<LPWSTR>(children[i].name.c_str());
        int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        LVITEMW type{};
        type.iSubItem = 1;
        type.pszText = const_cast<LPWSTR>(children[i].className.c_str());
        SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&type));
    }
    const std::u16string& current = state->browser->Current();
    SetDlgItemTextW(dialog, IDC_RESTORE_TO_LOCATION, current.c_str());
    SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, current.c_str());
    EnableWindow(GetDlgItem(dialog, IDC_RESTORE_TO_UP), state->browser->CanGoUp());
    std::u16string note;
    if (state->browser->More())
        note = u" Only the first " + lumivel::shared::WidenText(std::to_string(ContainerBrowser::kShownLimit)) +
               u" containers are listed; type the DN of another.";
    sayVerdict(dialog, current, note);
}

// A move that failed leaves the list as it was and says why.
void showMove(HWND dialog, HRESULT moved, std::u16string_view target) {
    if (SUCCEEDED(moved)) {
        fillList(dialog);
        return;
    }
    setStatus(dialog, u"The containers in " + std::u16string(target) +
                          u" cannot be listed: " + SystemErrorText(static_cast<DWORD>(moved)));
}

void enterRow(HWND dialog, int row) {
    ChooserState* state = stateOf(dialog);
    if (row < 0 || static_cast<size_t>(row) >= state->browser->Children().size()) return;
    std::u16string target = state->browser->Children()[static_cast<size_t>(row)].dn;
    BusyCursor busy;
    showMove(dialog, state->browser->Enter(static_cast<size_t>(row)), target);
}

void rowSelected(HWND dialog, int row) {
    ChooserState* state = stateOf(dialog);
    if (row < 0 || static_cast<size_t>(row) >= state->browser->Children().size()) return;
    const std::u16string& dn = state->browser->Children()[static_cast<size_t>(row)].dn;
    SetDlgItemTextW(dialog, IDC_RESTORE_TO_CONTAINER, dn.c_str());
    sayVerdict(dialog, dn);
}

std::u16string typedContainer(HWND dialog) {
    std::u16string text = DialogItemText(dialog, IDC_RESTORE_TO_CONTAINER, kDnLimit);
    size_t first = text.find_first_not_of(u" \t");
    if (first == std::u16string::npos) return {};
    size_t last = text.find_last_not_of(u" \t");
    // A trailing escaped space is part of the name.
    if (last + 1 < text.size() && last > 0 && text[last] == u'\\') ++last;
    return text.substr(first, last - first + 1);
}

void confirm(HWND dialog) {
    // Enter on a row goes down into it, as a double click does.
    if (GetFocus() == listOf(dialog) && selectedRow(dialog) >= 0) {
        enterRow(dialog, selectedRow(dialog));
        return;
    }
    std::u16string container = typedContainer(dialog);
    if (container.empty()) {
        setStatus(dialog, u"Choose a container or type its distinguished name.");
        return;
    }
    stateOf(dialog)->chosen = container;
    EndDialog(dialog, IDOK);
}

void initialize(HWND dialog, ChooserState* state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    HWND list = listOf(dialog);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    addColumns(list);
    const ContainerChoice& choice = *state->choice;
    SetDlgItemTextW(dialog, IDC_RESTORE_TO_OBJECT,
                    (u"Restore " + choice.objectName + u" (" + choice.className + u") into:").c_str());
    EnableWindow(GetDlgItem(dialog, IDC_RESTORE_TO_UP), FALSE);
    PostMessageW(dialog, kOpenFirstMessage, 0, 0);
}

INT_PTR CALLBACK chooserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            initialize(dialog, reinterpret_cast<ChooserState*>(lParam));
            return TRUE;
        case kOpenFirstMessage: {
            ChooserState* state = stateOf(dialog);
            BusyCursor busy;
            showMove(dialog, state->browser->OpenNear(state->choice->startDn), state->browser->NamingContext());
            return TRUE;
        }
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (header->idFrom != IDC_RESTORE_TO_LIST) return FALSE;
            if (header->code == NM_DBLCLK) enterRow(dialog, reinterpret_cast<NMITEMACTIVATE*>(lParam)->iItem);
            if (header->code == LVN_ITEMCHANGED) {
                auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
                if ((change->uChanged & LVIF_STATE) && (change->uNewState & LVIS_SELECTED) &&
                    !(change->uOldState & LVIS_SELECTED))
                    rowSelected(dialog, change->iItem);
            }
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_RESTORE_TO_UP: {
                    ChooserState* state = stateOf(dialog);
                    BusyCursor busy;
                    if (state->browser->CanGoUp()) showMove(dialog, state->browser->Up(), u"the parent of " + state->browser->Current());
                    return TRUE;
                }
                case IDC_RESTORE_TO_OPEN: {
                    std::u16string typed = typedContainer(dialog);
                    if (typed.empty())
                        setStatus(dialog, u"Choose a container or type its distinguished name.");
                    else {
                        BusyCursor busy;
                        showMove(dialog, stateOf(dialog)->browser->Open(typed), typed);
                    }
                    return TRUE;
                }
                case IDOK:
                    confirm(dialog);
                    return TRUE;
            }
            return FALSE;
    }
    return FALSE;
}

}  // namespace

HRESULT ChooseContainer(HWND parent, const ContainerChoice& choice, ContainerBrowser& browser, std::u16string* chosen) {
    ChooserState state{&choice, &browser, {}, {}};
    INT_PTR result = DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_RESTORE_TO), parent,
                                     chooserDialogProc, reinterpret_cast<LPARAM>(&state));
    if (result == -1) {
        DWORD error = GetLastError();
        return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (result != IDOK || state.chosen.empty()) return S_FALSE;
    *chosen = state.chosen;
    return S_OK;
}

std::u16string CreationVerdictText(std::u16string_view container, std::u16string_view className, HRESULT verdict) {
    std::u16string where(container), what(className);
    if (verdict == S_OK) return u"An object of class " + what + u" can be created in " + where + u".";
    if (verdict == E_ACCESSDENIED) return u"The container " + where + u" does not accept an object of class " + what + u".";
    return u"The container " + where + u" cannot be used: " + SystemErrorText(static_cast<DWORD>(verdict));
}

HRESULT Revivo::ChooseRestoreTarget(HWND parent, const PropertySet* record, std::u16string* container) {
    std::u16string tombstone(record->getText(u"distinguishedName"));
    std::u16string lastKnownParent(record->getText(u"lastKnownParent"));
    ContainerChoice choice;
    choice.className = record->getText(u"class");
    choice.objectName = lumivel::shared::PlainTombstoneName(record->getText(u"name"));
    choice.startDn = lastKnownParent;
    std::u16string namingContext = NamingContextOfTombstone(tombstone, lastKnownParent);
    if (choice.className.empty() || namingContext.empty()) return E_INVALIDARG;
    DirectoryContainers source{std::u16string(record->getText(u"FocusedDC"))};
    ContainerBrowser browser(source, namingContext);
    return ChooseContainer(parent, choice, browser, container);
}

}  // namespace revivo
