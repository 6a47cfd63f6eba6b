// The provider-style dialogs of sample_dialogs.h under the test hook (headless) and under the
// terminal backend, line by line and from answers given ahead: each run gives the procedure
// the same messages (the Qt run is in platform/qtui/tests).
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "lumivel/ui_backend.h"
#include "lumivel/ui_terminal.h"
#include "lumivel/ui_test_hook.h"
#include "sample_dialogs.h"

namespace {

using lumivel::ui::Surface;
using lumivel::ui::SurfaceKind;

bool BindsOnlyTheBrowsedDomain(const std::u16string& path) { return path == u"LDAP://child.example.test"; }

void Click(HWND dialog, int id) { SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0); }

class SampleDialogsHooked : public ::testing::Test {
protected:
    void SetUp() override { lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend()); }
    void TearDown() override { lumivel::ui::SetTestHook({}); }
    std::vector<std::string> m_boxes;
};

TEST_F(SampleDialogsHooked, ConnectToRetryThenBrowse) {
    test::ConnectRun run;
    run.bind = BindsOnlyTheBrowsedDomain;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        if (s.kind == SurfaceKind::MessageBox) {
            m_boxes.push_back(std::string(s.caption.begin(), s.caption.end()));
            EXPECT_EQ(s.style, UINT(MB_RETRYCANCEL | MB_ICONSTOP));
            EXPECT_EQ(s.owner, run.dialog);
            return IDRETRY;
        }
        HWND d = s.window;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDOK))) << "OK starts disabled";
        Click(d, IDOK);  // a disabled button ignores the click
        SetDlgItemTextW(d, test::kDomainEdit, u"bad.test");
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDOK)));
        Click(d, IDOK);
        EXPECT_TRUE(IsWindow(d)) << "Retry keeps the dialog open";
        Click(d, test::kBrowseButton);
        Click(d, IDOK);
        return 0;
    });
    EXPECT_EQ(test::ShowConnectTo(run), IDOK);
    EXPECT_EQ(run.log.entries, test::kConnectRetryThenBrowse);
    EXPECT_EQ(run.entered, u"child.example.test");
    EXPECT_EQ(run.pathsTried, (std::vector<std::u16string>{u"LDAP://bad.test", u"LDAP://child.example.test"}));
    EXPECT_EQ(m_boxes, (std::vector<std::string>{"Active Directory"}));
}

// Cancel in the message box ends the dialog with OK; Cancel ends it with IDCANCEL and the close
// box with 0, each through the calls a person's action makes.
TEST_F(SampleDialogsHooked, ConnectToEndings) {
    struct Case {
        const char* name;
        std::function<void(HWND)> act;
        INT_PTR result;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {"message box Cancel",
         [](HWND d) {
             SetDlgItemTextW(d, test::kDomainEdit, u"LDAP://DC=bad,DC=test");
             Click(d, IDOK);
         },
         IDOK, {"WM_INITDIALOG", "EN_CHANGE", "BN_CLICKED(1)", "MessageBox=Cancel"}},
        {"Cancel button", [](HWND d) { Click(d, IDCANCEL); }, IDCANCEL, {"WM_INITDIALOG", "BN_CLICKED(2)"}},
        {"close box", [](HWND d) { SendMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, 0, {"WM_INITDIALOG", "WM_CLOSE"}},
    };
    for (const Case& c : cases) {
        test::ConnectRun run;
        lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
            if (s.kind == SurfaceKind::MessageBox) return IDCANCEL;
            c.act(s.window);
            return 0;
        });
        EXPECT_EQ(test::ShowConnectTo(run), c.result) << c.name;
        EXPECT_EQ(run.log.entries, c.log) << c.name;
    }
}

TEST_F(SampleDialogsHooked, AccountSheetRefusesThenAccepts) {
    test::AccountRun run;
    lumivel::ui::SetTestHook([&](const Surface& s) -> INT_PTR {
        if (s.kind == SurfaceKind::MessageBox) {
            m_boxes.push_back(std::string(s.caption.begin(), s.caption.end()));
            return IDOK;
        }
        EXPECT_EQ(s.kind, SurfaceKind::PropertySheet);
        if (s.round == 0) {
            SendMessageW(s.window, PSM_PRESSBUTTON, PSBTN_OK, 0);
            EXPECT_TRUE(IsWindow(s.window)) << "the refusal keeps the sheet open";
            return 0;
        }
        HWND page = PropSheet_GetCurrentPageHwnd(s.window);
        SetDlgItemTextW(page, test::kUserEdit, u"EXAMPLE\\backup");
        SetDlgItemTextW(page, test::kPasswordEdit, u"S3cret!");
        SetDlgItemTextW(page, test::kConfirmEdit, u"S3cret!");
        SendMessageW(s.window, PSM_PRESSBUTTON, PSBTN_OK, 0);
        return 0;
    });
    EXPECT_EQ(test::ShowAccountSheet(run), 1);
    EXPECT_EQ(run.log.entries, test::kAccountRefusedThenAccepted);
    EXPECT_EQ(m_boxes, (std::vector<std::string>{"Invalid Account"}));
    EXPECT_EQ(run.account, u"EXAMPLE\\backup");
    EXPECT_EQ(run.password, u"S3cret!");
}

class SampleDialogsOnATerminal : public ::testing::Test {
protected:
    void SetUp() override {
        lumivel::ui::SetBackend(lumivel::ui::MakeTerminalBackend());
        lumivel::ui::ClearTerminalAnswers();
        m_output = open_memstream(&m_buffer, &m_size);
    }
    void TearDown() override {
        lumivel::ui::SetTerminalStreams(nullptr, nullptr);
        lumivel::ui::ClearTerminalAnswers();
        if (m_input) std::fclose(m_input);
        std::fclose(m_output);
        std::free(m_buffer);
    }
    void Type(const std::string& lines) {
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

// Round 1: a domain, OK (2nd button), Retry. Round 2: keep the text, Browse (1st button).
// Round 3: keep the text, OK.
TEST_F(SampleDialogsOnATerminal, ConnectToLineByLine) {
    Type("bad.test\n2\n1\n\n1\n\n2\n");
    test::ConnectRun run;
    run.bind = BindsOnlyTheBrowsedDomain;
    EXPECT_EQ(test::ShowConnectTo(run), IDOK);
    EXPECT_EQ(run.log.entries, test::kConnectRetryThenBrowse);
    EXPECT_EQ(run.entered, u"child.example.test");
    std::string shown = Shown();
    EXPECT_NE(shown.find("Domain: [] "), std::string::npos) << "the static text labels the edit";
    EXPECT_NE(shown.find("1) Browse...  2) OK  3) Cancel  0) Close"), std::string::npos);
    EXPECT_NE(shown.find("[Active Directory] The server is not operational."), std::string::npos);
    EXPECT_NE(shown.find("Domain: [child.example.test] "), std::string::npos) << "Browse filled the edit";
}

TEST_F(SampleDialogsOnATerminal, ConnectToOffersNoOkUntilTextAndCloseEndsWithZero) {
    Type("\n0\n");
    test::ConnectRun run;
    EXPECT_EQ(test::ShowConnectTo(run), 0);
    EXPECT_EQ(run.log.entries, (std::vector<std::string>{"WM_INITDIALOG", "WM_CLOSE"}));
    EXPECT_NE(Shown().find("1) Browse...  2) Cancel  0) Close"), std::string::npos) << "a disabled OK is not offered";
}

TEST_F(SampleDialogsOnATerminal, ConnectToFromAnswersGivenAhead) {
    Type("");
    for (const char* answer : {"201:201=bad.test", "201:press=OK", "msgbox=Retry", "201:press=308", "201:press=OK"})
        ASSERT_TRUE(lumivel::ui::AddTerminalAnswer(answer)) << answer;
    test::ConnectRun run;
    run.bind = BindsOnlyTheBrowsedDomain;
    EXPECT_EQ(test::ShowConnectTo(run), IDOK);
    EXPECT_EQ(run.log.entries, test::kConnectRetryThenBrowse);
    EXPECT_EQ(run.entered, u"child.example.test");
}

// Round 1: three empty fields, OK, Enter on the message box. Round 2: the account, OK.
TEST_F(SampleDialogsOnATerminal, AccountSheetLineByLine) {
    Type("\n\n\n1\n\nEXAMPLE\\backup\nS3cret!\nS3cret!\n1\n");
    test::AccountRun run;
    EXPECT_EQ(test::ShowAccountSheet(run), 1);
    EXPECT_EQ(run.log.entries, test::kAccountRefusedThenAccepted);
    EXPECT_EQ(run.account, u"EXAMPLE\\backup");
    EXPECT_EQ(run.password, u"S3cret!");
    std::string shown = Shown();
    EXPECT_NE(shown.find("== Schedule =="), std::string::npos);
    EXPECT_NE(shown.find("[Invalid Account] Please enter a valid account."), std::string::npos);
    EXPECT_NE(shown.find("1) OK  2) Cancel  0) Close"), std::string::npos) << "OK before Cancel, as the sheet's tab order";
    EXPECT_EQ(shown.find("S3cret!"), std::string::npos) << "passwords are not echoed";
}

}  // namespace
