// Two dialog procedures written the way the provider writes its own, run unchanged under every
// backend: "Connect to" (OK only with text, Browse fills the edit, a failed bind asks Retry or
// Cancel, the close box ends with 0) and an account page of a property sheet whose PSN_APPLY
// refuses an empty or unconfirmed account and keeps the sheet open. Each records what it
// receives, so that one expected sequence serves all backends.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "win/commctrl.h"
#include "win/user.h"

namespace test {

inline constexpr int kConnectDialog = 201;
inline constexpr int kDomainEdit = 201;
inline constexpr int kBrowseButton = 308;
inline constexpr int kAccountPage = 1014;
inline constexpr int kUserEdit = 211;
inline constexpr int kPasswordEdit = 213;
inline constexpr int kConfirmEdit = 215;

// What a procedure saw. Typing sends one EN_CHANGE per keystroke under Qt and one per line
// elsewhere, so repeats in a row count once.
struct SampleLog {
    std::vector<std::string> entries;
    void add(const std::string& entry) {
        if (entries.empty() || entries.back() != entry || entry.rfind("EN_CHANGE", 0) != 0) entries.push_back(entry);
    }
};

inline std::string MessageBoxAnswerName(int answer) {
    switch (answer) {
    case IDOK: return "OK";
    case IDRETRY: return "Retry";
    case IDCANCEL: return "Cancel";
    default: return std::to_string(answer);
    }
}

struct ConnectRun {
    SampleLog log;
    std::function<bool(const std::u16string& path)> bind = [](const std::u16string&) { return false; };
    std::u16string browsed = u"child.example.test";
    std::u16string entered;
    std::vector<std::u16string> pathsTried;
    HWND dialog = nullptr;
};

inline std::u16string DialogText(HWND dialog, int id, int limit) {
    std::u16string text(size_t(limit) + 1, u'\0');
    text.resize(GetDlgItemTextW(dialog, id, text.data(), limit + 1));
    return text;
}

inline void EnableOkForText(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDOK), GetWindowTextLengthW(GetDlgItem(dialog, kDomainEdit)) > 0);
}

inline INT_PTR CALLBACK ConnectToProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* run = reinterpret_cast<ConnectRun*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!run) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        run->log.add("WM_INITDIALOG");
        run->dialog = dialog;
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kDomainEdit:
            if (HIWORD(wParam) == EN_CHANGE) {
                run->log.add("EN_CHANGE");
                EnableOkForText(dialog);
            }
            return TRUE;
        case kBrowseButton:
            run->log.add("BN_CLICKED(308)");
            SetDlgItemTextW(dialog, kDomainEdit, run->browsed.c_str());
            EnableOkForText(dialog);
            return TRUE;
        case IDOK: {
            run->log.add("BN_CLICKED(1)");
            std::u16string text = DialogText(dialog, kDomainEdit, 4096);
            std::u16string path = text.find(u"LDAP://") != std::u16string::npos ? text : u"LDAP://" + text;
            run->pathsTried.push_back(path);
            if (run->bind(path)) {
                run->entered = text;
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            int answer = MessageBoxW(dialog, u"The server is not operational.\r\n", u"Active Directory",
                                     MB_RETRYCANCEL | MB_ICONSTOP);
            run->log.add("MessageBox=" + MessageBoxAnswerName(answer));
            if (answer != IDRETRY) EndDialog(dialog, IDOK);
            return TRUE;
        }
        case IDCANCEL:
            run->log.add("BN_CLICKED(2)");
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        run->log.add("WM_CLOSE");
        EndDialog(dialog, 0);
        return TRUE;
    default: return FALSE;
    }
}

inline INT_PTR ShowConnectTo(ConnectRun& run, HWND owner = nullptr) {
    return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kConnectDialog), owner, ConnectToProc, reinterpret_cast<LPARAM>(&run));
}

// A failed bind, Retry, then Browse and a bind that works: what every backend's run of
// "Connect to" must give its procedure.
inline const std::vector<std::string> kConnectRetryThenBrowse = {
    "WM_INITDIALOG", "EN_CHANGE", "BN_CLICKED(1)", "MessageBox=Retry", "BN_CLICKED(308)", "EN_CHANGE", "BN_CLICKED(1)"};

struct AccountRun {
    SampleLog log;
    std::u16string account;
    std::u16string password;
    HWND page = nullptr;
};

// PSN_APPLY validates the account as the schedule form does; a refusal keeps the sheet open.
inline INT_PTR CALLBACK AccountPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
    auto* run = reinterpret_cast<AccountRun*>(GetWindowLongPtrW(page, DWLP_USER));
    if (!run) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        run->log.add("WM_INITDIALOG");
        run->page = page;
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE) run->log.add("EN_CHANGE(" + std::to_string(LOWORD(wParam)) + ")");
        return FALSE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        switch (header->code) {
        case PSN_SETACTIVE: run->log.add("PSN_SETACTIVE"); return FALSE;
        case PSN_KILLACTIVE:
            run->log.add("PSN_KILLACTIVE");
            SetWindowLongPtrW(page, DWLP_MSGRESULT, FALSE);
            return TRUE;
        case PSN_APPLY: {
            run->log.add("PSN_APPLY");
            std::u16string account = DialogText(page, kUserEdit, 1023);
            std::u16string password = DialogText(page, kPasswordEdit, 1023);
            std::u16string confirmation = DialogText(page, kConfirmEdit, 1023);
            const char16_t* refusal = nullptr;
            const char16_t* caption = u"Invalid Password";
            if (account.empty()) {
                refusal = u"Please enter a valid account.";
                caption = u"Invalid Account";
            } else if (password.empty()) {
                refusal = u"You cannot specify an empty password.";
            } else if (password != confirmation) {
                refusal = u"The passwords do not match.";
            }
            if (refusal) {
                MessageBoxW(page, refusal, caption, MB_OK | MB_ICONSTOP);
                run->log.add(std::string("refused: ") + (account.empty() ? "account" : "password"));
                SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_INVALID_NOCHANGEPAGE);
                return TRUE;
            }
            run->account = account;
            run->password = password;
            SetWindowLongPtrW(page, DWLP_MSGRESULT, PSNRET_NOERROR);
            return TRUE;
        }
        case PSN_RESET: run->log.add("PSN_RESET"); return FALSE;
        default: return FALSE;
        }
    }
    default: return FALSE;
    }
}

inline INT_PTR ShowAccountSheet(AccountRun& run, HWND owner = nullptr) {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof(page);
    page.pszTemplate = MAKEINTRESOURCEW(kAccountPage);
    page.pfnDlgProc = AccountPageProc;
    page.lParam = reinterpret_cast<LPARAM>(&run);
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.pszCaption = u"Schedule";
    header.nPages = 1;
    header.ppsp = &page;
    return PropertySheetW(&header);
}

// OK on an empty form (refused, the sheet stays), then an account with a confirmed password.
inline const std::vector<std::string> kAccountRefusedThenAccepted = {
    "WM_INITDIALOG", "PSN_SETACTIVE", "PSN_KILLACTIVE", "PSN_APPLY",     "refused: account", "EN_CHANGE(211)",
    "EN_CHANGE(213)", "EN_CHANGE(215)", "PSN_KILLACTIVE", "PSN_APPLY"};

}  // namespace test
