// The terminal backend: a dialog answered line by line, or from answers given ahead; the
// dialog procedure sees the same notifications as under any other backend.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lumivel/ui_backend.h"
#include "lumivel/ui_terminal.h"
#include "message_log.h"
#include "win/commctrl.h"
#include "win/user.h"

namespace {

struct TerminalRun {
    test::MessageLog log;
    std::u16string name;
    std::u16string password;
    UINT checked = 0;
    int schedule = -1;
};

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* run = reinterpret_cast<TerminalRun*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (!run) return FALSE;
    run->log.add(message, wParam, lParam);
    switch (message) {
    case WM_INITDIALOG:
        for (const char16_t* text : {u"Daily", u"Weekly", u"Monthly", u"Once"})
            SendDlgItemMessageW(dialog, 219, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        SendDlgItemMessageW(dialog, 219, CB_SETCURSEL, 0, 0);
        CheckDlgButton(dialog, 268, BST_CHECKED);
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == 201 && HIWORD(wParam) == EN_CHANGE)
            EnableWindow(GetDlgItem(dialog, IDOK), GetWindowTextLengthW(GetDlgItem(dialog, 201)) > 0);
        if (LOWORD(wParam) == IDOK) {
            WCHAR text[256];
            GetDlgItemTextW(dialog, 201, text, 256);
            run->name = text;
            GetDlgItemTextW(dialog, 202, text, 256);
            run->password = text;
            run->checked = IsDlgButtonChecked(dialog, 235);
            run->schedule = int(SendDlgItemMessageW(dialog, 219, CB_GETCURSEL, 0, 0));
            EndDialog(dialog, IDOK);
        }
        if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    default: return FALSE;
    }
}

class Terminal : public ::testing::Test {
protected:
    void SetUp() override {
        lumivel::ui::SetBackend(lumivel::ui::MakeTerminalBackend());
        lumivel::ui::ClearTerminalAnswers();
        m_output = open_memstream(&m_buffer, &m_size);
    }
    void TearDown() override {
        lumivel::ui::SetTerminalStreams(nullptr, nullptr);
        if (m_input) std::fclose(m_input);
        std::fclose(m_output);
        std::free(m_buffer);
    }
    void Type(const std::string& lines) {
        if (m_input) std::fclose(m_input);
        m_typed = lines;
        m_input = fmemopen(m_typed.data(), m_typed.size(), "r");
        lumivel::ui::SetTerminalStreams(m_input, m_output);
    }
    std::string Shown() {
        std::fflush(m_output);
        return std::string(m_buffer, m_size);
    }

    std::string m_typed;
    FILE* m_input = nullptr;
    FILE* m_output = nullptr;
    char* m_buffer = nullptr;
    size_t m_size = 0;
};

// Prompts follow the tab order: name, password, number, read-only text, two check boxes,
// the radio group as one choice, the schedule list, the time (the empty list view asks
// nothing), then the buttons.
TEST_F(Terminal, DialogAnsweredLineByLine) {
    Type("contoso.test\nsecret\n\ny\n\n2\n3\n\n1\n");
    TerminalRun run;
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, Proc, reinterpret_cast<LPARAM>(&run)), IDOK);
    EXPECT_EQ(run.name, u"contoso.test");
    EXPECT_EQ(run.password, u"secret");
    EXPECT_EQ(run.checked, UINT(BST_CHECKED));
    EXPECT_EQ(run.schedule, 2);
    std::string shown = Shown();
    EXPECT_NE(shown.find("== Every control =="), std::string::npos);
    EXPECT_NE(shown.find("Name: []"), std::string::npos) << "the static text labels the edit after it";
    EXPECT_EQ(shown.find("secret"), std::string::npos) << "a password is not shown";
    EXPECT_NE(shown.find("3) Monthly"), std::string::npos);
    EXPECT_NE(shown.find("  1) Day\n  2) The\nChoose [1]: "), std::string::npos) << "the checked radio button is the default";
    // The same notifications a person's typing and clicking give under Qt.
    auto& e = run.log.entries;
    EXPECT_NE(std::find(e.begin(), e.end(), "WM_COMMAND(201,EN_CHANGE)"), e.end());
    EXPECT_NE(std::find(e.begin(), e.end(), "WM_COMMAND(235,BN_CLICKED)"), e.end());
    EXPECT_NE(std::find(e.begin(), e.end(), "WM_COMMAND(219,CBN_SELCHANGE)"), e.end());
    EXPECT_NE(std::find(e.begin(), e.end(), "WM_COMMAND(269,BN_CLICKED)"), e.end());
    EXPECT_EQ(e.back(), "WM_NCDESTROY");
}

TEST_F(Terminal, AnswersGivenAheadNeedNoInput) {
    Type("");
    ASSERT_TRUE(lumivel::ui::AddTerminalAnswer("300:201=fabrikam.test"));
    ASSERT_TRUE(lumivel::ui::AddTerminalAnswer("*:219=Once"));
    ASSERT_TRUE(lumivel::ui::AddTerminalAnswer("300:press=OK"));
    EXPECT_FALSE(lumivel::ui::AddTerminalAnswer("300:201"));
    EXPECT_FALSE(lumivel::ui::AddTerminalAnswer("abc:1=x"));
    TerminalRun run;
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, Proc, reinterpret_cast<LPARAM>(&run)), IDOK);
    EXPECT_EQ(run.name, u"fabrikam.test");
    EXPECT_EQ(run.schedule, 3);
}

TEST_F(Terminal, EndOfInputClosesTheDialog) {
    Type("");
    TerminalRun run;
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(300), nullptr, Proc, reinterpret_cast<LPARAM>(&run)), 0);
}

TEST_F(Terminal, MessageBoxesAndMenus) {
    Type("2\n\n2\n");
    EXPECT_EQ(MessageBoxW(nullptr, u"The server is not operational.", u"Active Directory", MB_RETRYCANCEL | MB_ICONSTOP), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"Retry?", u"Q", MB_RETRYCANCEL), IDRETRY) << "Enter takes the default";
    ASSERT_TRUE(lumivel::ui::AddTerminalAnswer("msgbox=Cancel"));
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OKCANCEL), IDCANCEL);
    std::string shown = Shown();
    EXPECT_NE(shown.find("[Active Directory] The server is not operational."), std::string::npos);
    EXPECT_NE(shown.find("1) Retry  2) Cancel"), std::string::npos);

    // A server's text cannot steer the terminal: escape sequences are shown escaped, line
    // ends as line ends.
    ASSERT_TRUE(lumivel::ui::AddTerminalAnswer("msgbox=OK"));
    ASSERT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OK), IDOK) << "an answer given ahead shows nothing";
    Type("\n2\n");  // Enter for the box, then the menu below
    MessageBoxW(nullptr, u"cn=\x1B]0;owned\x07\x1B[2J\r\nnext line", u"Cap\x9Btion", MB_OK);
    shown = Shown();
    EXPECT_EQ(shown.find('\x1B'), std::string::npos);
    EXPECT_EQ(shown.find('\x07'), std::string::npos);
    EXPECT_EQ(shown.find('\r'), std::string::npos);
    EXPECT_NE(shown.find("cn=\\x1b]0;owned\\x07\\x1b[2J\nnext line"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Cap\\x9btion"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[2J\nnext line"), std::string::npos);
    EXPECT_EQ(shown.find("\xC2\x9B"), std::string::npos) << "C1 controls too";

    HWND owner = CreateWindowExW(0, u"Static", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 5000, u"&Delete");
    AppendMenuW(menu, MF_STRING, 311, u"&Restore");
    AppendMenuW(menu, MF_STRING, 5002, u"P&roperties");
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 5002) << "grey items are not offered";
    DestroyMenu(menu);

    // The items of a grey submenu are not numbered: "1" is the first item after it.
    Type("1\n");
    HMENU outer = CreatePopupMenu();
    HMENU inner = CreatePopupMenu();
    AppendMenuW(inner, MF_STRING, 4097, u"&User");
    AppendMenuW(outer, MF_POPUP | MF_GRAYED, reinterpret_cast<UINT_PTR>(inner), u"&New");
    AppendMenuW(outer, MF_STRING, 5002, u"P&roperties");
    EXPECT_EQ(TrackPopupMenu(outer, TPM_RETURNCMD, 0, 0, 0, owner, nullptr), 5002);
    EXPECT_NE(Shown().find("New (unavailable)"), std::string::npos);
    DestroyMenu(outer);
    DestroyWindow(owner);
}

}  // namespace
