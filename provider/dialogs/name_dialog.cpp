// Dialog 206 "Name": asks for another name when a restored object's name is taken.
#include "lumivel/ldap_escape.h"
#include "provider/common/dialog_helpers.h"
#include "provider/restore/reanimation.h"
#include "provider/common/resource_ids.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"

namespace revivo {

namespace {

constexpr int kNameLimit = 255;

struct NameState {
    std::u16string shownValue;
    std::u16string typedName;
};

INT_PTR CALLBACK nameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (EndsOnCancelOrClose(dialog, message, wParam)) return TRUE;
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            auto* state = reinterpret_cast<NameState*>(lParam);
            SetDlgItemTextW(dialog, IDC_NEW_NAME, state->shownValue.c_str());
            SetFocus(GetDlgItem(dialog, IDC_NEW_NAME));
            return FALSE;
        }
        case WM_COMMAND: {
            auto* state = reinterpret_cast<NameState*>(GetWindowLongPtrW(dialog, DWLP_USER));
            switch (LOWORD(wParam)) {
                case IDOK: {
                    std::u16string text = DialogItemText(dialog, IDC_NEW_NAME, kNameLimit);
                    if (text.empty()) {
                        MessageBoxW(dialog, kValidNamePrompt, u"Error", MB_OK | MB_ICONSTOP);
                        return TRUE;
                    }
                    state->typedName = text;
                    EndDialog(dialog, IDOK);
                    return TRUE;
                }
            }
            return FALSE;
        }
    }
    return FALSE;
}

}  // namespace

bool AskForNewName(HWND parent, std::u16string_view takenName, std::u16string* newName) {
    std::u16string relativeName, parentName;
    if (!lumivel::shared::SplitDistinguishedName(takenName, &relativeName, &parentName)) return false;
    size_t equals = relativeName.find(u'=');
    if (equals == std::u16string::npos) return false;
    std::u16string escapedValue = relativeName.substr(equals + 1);
    // The user edits the name itself, not its escaped form.
    NameState state;
    state.shownValue = lumivel::ldap::UnescapeDnValue(escapedValue).value_or(escapedValue);
    INT_PTR result = DialogBoxParamW(lumivel::com::ThisModuleHandle(), MAKEINTRESOURCEW(IDD_NEW_NAME), parent,
                                     nameDialogProc, reinterpret_cast<LPARAM>(&state));
    if (result != IDOK) return false;
    return NewNameFor(takenName, state.typedName, newName);
}

}  // namespace revivo
