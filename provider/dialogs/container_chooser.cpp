// Dialog 410 "Restore To". The platform has no tree control: the chooser lists one container's
// child containers, goes down on a double click or Enter and up with "Up", and takes a typed DN.
// Whether the object's class may be created is said for the container in view; the restore
// itself checks again. Its searches run on a worker, so that a slow DC never holds up the
// console's thread.
#include "provider/dialogs/container_chooser.h"

#include <functional>
#include <map>
#include <optional>

#include "provider/common/dialog_helpers.h"
#include "provider/dialogs/dialog_worker.h"
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

// The worker's search has ended.
constexpr UINT kSearchEndedMessage = WM_APP + 0x65;
// Longer than any DN a directory accepts.
constexpr int kDnLimit = 4096;

struct NoCaseLess {
    bool operator()(const std::u16string& left, const std::u16string& right) const {
        return lumivel::CompareNoCase(left, right) < 0;
    }
};

// What the browser does on the worker; it gives the browser back listing the new container,
// or unchanged with the reason.
using Move = std::function<HRESULT(ContainerBrowser&)>;

struct ChooserState {
    ChooserState(const ContainerChoice* c, ContainerBrowser* b) : choice(c), browser(b) {}
    const ContainerChoice* choice;
    ContainerBrowser* browser;
    std::u16string chosen;
    // One creation check per container, however often it is selected again.
    std::map<std::u16string, HRESULT, NoCaseLess> verdicts;

    // The directory is searched on the worker, one search at a time; while a move runs, the
    // browser is the worker's and the dialog reads nothing of it.
    DialogWorker worker;
    bool moving = false;
    HRESULT outcome = S_OK;
    std::u16string target;        // of the move: what a failure names
    std::u16string checkedDn;     // of the creation check
    // Asked for while a creation check ran: the move first, else the latest container selected.
    std::optional<std::pair<Move, std::u16string>> nextMove;
    std::optional<std::u16string> nextCheck;
    std::u16string note;  // said after the verdict of the container listed
    // Closed (or confirmed) while a search ran: the dialog ends with this once it has.
    std::optional<INT_PTR> closeWith;
};

ChooserState* stateOf(HWND dialog) { return reinterpret_cast<ChooserState*>(GetWindowLongPtrW(dialog, DWLP_USER)); }

HWND listOf(HWND dialog) { return GetDlgItem(dialog, IDC_RESTORE_TO_LIST); }

int selectedRow(HWND dialog) {
    return static_cast<int>(SendMessageW(listOf(dialog), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void setStatus(HWND dialog, const std::u16string& text) { SetDlgItemTextW(dialog, IDC_RESTORE_TO_STATUS, text.c_str()); }

// The list and its moves are off while the worker reads another container.
void enableBrowsing(HWND dialog, bool on) {
    ChooserState* state = stateOf(dialog);
    EnableWindow(listOf(dialog), on);
    EnableWindow(GetDlgItem(dialog, IDC_RESTORE_TO_OPEN), on);
    EnableWindow(GetDlgItem(dialog, IDC_RESTORE_TO_UP), on && !state->browser->Current().empty() && state->browser->CanGoUp());
}

void searchEnded(HWND dialog);

void startCheck(HWND dialog, const std::u16string& dn) {
    ChooserState* state = stateOf(dialog);
    state->checkedDn = dn;
    setStatus(dialog, ChooserCheckingText(dn, state->choice->className));
    ContainerBrowser* browser = state->browser;
    std::u16string className = state->choice->className;
    if (!state->worker.start(dialog, kSearchEndedMessage,
                             [state, browser, dn, className] { state->outcome = browser->AcceptsClass(dn, className); })) {
        state->outcome = E_OUTOFMEMORY;
        searchEnded(dialog);
    }
}

void sayVerdict(HWND dialog, const std::u16string& dn) {
    ChooserState* state = stateOf(dialog);
    auto known = state->verdicts.find(dn);
    if (known != state->verdicts.end()) {
        bool listed = lumivel::EqualsNoCase(dn, state->browser->Current());
        setStatus(dialog, CreationVerdictText(dn, state->choice->className, known->second) + (listed ? state->note : u""));
        return;
    }
    if (state->worker.running()) {
        // The latest container selected is the one the person waits to hear of.
        state->nextCheck = dn;
        setStatus(dialog, ChooserCheckingText(dn, state->choice->className));
        return;
    }
    startCheck(dialog, dn);
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
    state->note.clear();
    if (state->browser->More())
        state->note = u" Only the first " + lumivel::shared::WidenText(std::to_string(ContainerBrowser::kShownLimit)) +
                      u" containers are listed; type the DN of another.";
    sayVerdict(dialog, current);
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

void startMove(HWND dialog, Move move, std::u16string target) {
    ChooserState* state = stateOf(dialog);
    if (state->moving || state->closeWith) return;
    if (state->worker.running()) {
        state->nextMove.emplace(std::move(move), std::move(target));
        return;
    }
    state->moving = true;
    state->target = std::move(target);
    enableBrowsing(dialog, false);
    setStatus(dialog, kChooserReadingText);
    ContainerBrowser* browser = state->browser;
    if (!state->worker.start(dialog, kSearchEndedMessage,
                             [state, browser, move = std::move(move)] { state->outcome = move(*browser); })) {
        state->outcome = E_OUTOFMEMORY;
        searchEnded(dialog);
    }
}

void searchEnded(HWND dialog) {
    ChooserState* state = stateOf(dialog);
    if (state->moving) {
        state->moving = false;
        enableBrowsing(dialog, true);
        if (!state->closeWith) showMove(dialog, state->outcome, state->target);
    } else {
        state->verdicts.emplace(state->checkedDn, state->outcome);
        if (!state->closeWith && !state->nextMove && !state->nextCheck) sayVerdict(dialog, state->checkedDn);
    }
    if (state->closeWith) {
        EndDialog(dialog, *state->closeWith);
        return;
    }
    if (state->nextMove) {
        auto [move, target] = std::move(*state->nextMove);
        state->nextMove.reset();
        state->nextCheck.reset();
        startMove(dialog, std::move(move), std::move(target));
    } else if (state->nextCheck) {
        std::u16string dn = std::move(*state->nextCheck);
        state->nextCheck.reset();
        sayVerdict(dialog, dn);
    }
}

void enterRow(HWND dialog, int row) {
    ChooserState* state = stateOf(dialog);
    if (state->moving || row < 0 || static_cast<size_t>(row) >= state->browser->Children().size()) return;
    std::u16string target = state->browser->Children()[static_cast<size_t>(row)].dn;
    startMove(dialog, [target](ContainerBrowser& browser) { return browser.Open(target); }, target);
}

void rowSelected(HWND dialog, int row) {
    ChooserState* state = stateOf(dialog);
    if (state->moving || row < 0 || static_cast<size_t>(row) >= state->browser->Children().size()) return;
    std::u16string dn = state->browser->Children()[static_cast<size_t>(row)].dn;
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
    ChooserState* state = stateOf(dialog);
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
    state->chosen = container;
    if (!state->worker.running()) {
        EndDialog(dialog, IDOK);
        return;
    }
    // The search writes into what the dialog holds: it ends once the search has.
    state->closeWith = IDOK;
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    setStatus(dialog, u"Closing once the checks have ended...");
}

void initialize(HWND dialog, ChooserState* state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    HWND list = listOf(dialog);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    addColumns(list);
    const ContainerChoice& choice = *state->choice;
    SetDlgItemTextW(dialog, IDC_RESTORE_TO_OBJECT,
                    (u"Restore " + choice.objectName + u" (" + choice.className + u") into:").c_str());
    // The dialog shows at once, saying it reads, while the worker finds where to start.
    std::u16string start = choice.startDn;
    startMove(dialog, [start](ContainerBrowser& browser) { return browser.OpenNear(start); },
              state->browser->NamingContext());
}

INT_PTR CALLBACK chooserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    ChooserState* state = stateOf(dialog);
    // The searches are bounded by the directory's time limits.
    if (state && HoldCloseWhileWorking(dialog, message, wParam, state->worker, IDC_RESTORE_TO_STATUS, &state->closeWith))
        return TRUE;
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG:
            initialize(dialog, reinterpret_cast<ChooserState*>(lParam));
            return TRUE;
        case kSearchEndedMessage:
            if (state) searchEnded(dialog);
            return TRUE;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lParam);
            if (!state || header->idFrom != IDC_RESTORE_TO_LIST) return FALSE;
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
            if (!state || state->closeWith) return FALSE;
            switch (LOWORD(wParam)) {
                case IDC_RESTORE_TO_UP: {
                    if (state->moving || !state->browser->CanGoUp()) return TRUE;
                    startMove(dialog, [](ContainerBrowser& browser) { return browser.Up(); },
                              u"the parent of " + state->browser->Current());
                    return TRUE;
                }
                case IDC_RESTORE_TO_OPEN: {
                    std::u16string typed = typedContainer(dialog);
                    if (typed.empty())
                        setStatus(dialog, u"Choose a container or type its distinguished name.");
                    else
                        startMove(dialog, [typed](ContainerBrowser& browser) { return browser.Open(typed); }, typed);
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
    ChooserState state(&choice, &browser);
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

std::u16string ChooserCheckingText(std::u16string_view container, std::u16string_view className) {
    return u"Checking whether an object of class " + std::u16string(className) + u" can be created in " +
           std::u16string(container) + u"...";
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
