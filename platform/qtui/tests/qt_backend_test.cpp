// The Qt backend under QT_QPA_PLATFORM=offscreen: a dialog worked through its widgets gives
// its procedure the notifications Windows gives; dialog units follow the font; message boxes,
// popup menus and custom windows; screenshots of a dialog and a message box.
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QFontDatabase>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBrowser>
#include <QtTest/QTest>

#include <thread>

#include "lumivel/ui_input.h"
#include "lumivel/ui_test_hook.h"
#include "qt_test_support.h"
#include "win/richedit.h"

namespace {

struct QtRun {
    std::vector<std::string> log;
    HWND dialog = nullptr;
};
QtRun* g_run = nullptr;

INT_PTR CALLBACK ConnectProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (!g_run) return FALSE;
    switch (message) {
    case WM_INITDIALOG:
        g_run->dialog = dialog;
        g_run->log.push_back("WM_INITDIALOG");
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        return TRUE;
    case WM_COMMAND: {
        int id = LOWORD(wParam), code = HIWORD(wParam);
        if (code == EN_CHANGE) g_run->log.push_back("EN_CHANGE(" + std::to_string(id) + ")");
        if (code == BN_CLICKED) g_run->log.push_back("BN_CLICKED(" + std::to_string(id) + ")");
        if (id == 201 && code == EN_CHANGE)
            EnableWindow(GetDlgItem(dialog, IDOK), GetWindowTextLengthW(GetDlgItem(dialog, 201)) > 0);
        if (id == IDOK || id == IDCANCEL) EndDialog(dialog, id);
        return TRUE;
    }
    case WM_CLOSE:
        g_run->log.push_back("WM_CLOSE");
        EndDialog(dialog, 0);
        return TRUE;
    default: return FALSE;
    }
}

class QtBackend : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::UseQtBackend();
        g_run = &m_run;
    }
    void TearDown() override {
        lumivel::ui::SetTestHook({});
        g_run = nullptr;
    }
    QtRun m_run;
};

// Typing into the Qt line edit and clicking the Qt buttons: the same messages, in the same
// order, as Windows sends for a person typing and clicking.
TEST_F(QtBackend, DialogWorkedThroughItsWidgets) {
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& s) -> INT_PTR {
        HWND d = s.window;
        auto* edit = qobject_cast<QLineEdit*>(lumivel::qtui::WidgetForWindow(GetDlgItem(d, 201)));
        auto* ok = qobject_cast<QPushButton*>(lumivel::qtui::WidgetForWindow(GetDlgItem(d, IDOK)));
        auto* check = qobject_cast<QCheckBox*>(lumivel::qtui::WidgetForWindow(GetDlgItem(d, 210)));
        EXPECT_TRUE(edit && ok && check);
        if (!edit || !ok || !check) {
            EndDialog(d, -2);
            return 0;
        }
        EXPECT_FALSE(ok->isEnabled()) << "disabled in WM_INITDIALOG";
        QTest::keyClicks(edit, "ab");
        EXPECT_TRUE(ok->isEnabled()) << "enabled by the procedure on EN_CHANGE";
        WCHAR text[16];
        GetDlgItemTextW(d, 201, text, 16);
        EXPECT_EQ(std::u16string(text), u"ab");
        QTest::mouseClick(check, Qt::LeftButton);
        EXPECT_EQ(IsDlgButtonChecked(d, 210), UINT(BST_CHECKED));
        EXPECT_TRUE(check->isChecked());
        SetDlgItemTextW(d, 201, u"contoso.test");
        EXPECT_EQ(edit->text(), QStringLiteral("contoso.test")) << "code's text shows in the widget";
        EXPECT_TRUE(lumivel::ui::RenderWindowToPng(d, qttest::ScreenshotPath("dialog-connect-to.png")));
        QTest::mouseClick(ok, Qt::LeftButton);
        return 0;
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, ConnectProc, 0), IDOK);
    EXPECT_EQ(m_run.log, (std::vector<std::string>{"WM_INITDIALOG", "EN_CHANGE(201)", "EN_CHANGE(201)", "BN_CLICKED(210)",
                                                   "EN_CHANGE(201)", "BN_CLICKED(1)"}));
}

// Without a hook the dialog runs on Qt's own loop until the person acts.
TEST_F(QtBackend, ModalLoopEndsOnAPersonsClick) {
    QTimer::singleShot(100, [&] {
        QWidget* cancel = lumivel::qtui::WidgetForWindow(GetDlgItem(m_run.dialog, IDCANCEL));
        ASSERT_NE(cancel, nullptr);
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, ConnectProc, 0), IDCANCEL);
    QTimer::singleShot(100, [&] { QTest::keyClick(lumivel::qtui::WidgetForWindow(m_run.dialog), Qt::Key_Escape); });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, ConnectProc, 0), IDCANCEL) << "Escape is IDCANCEL";
    QTimer::singleShot(100, [&] { lumivel::qtui::WidgetForWindow(m_run.dialog)->close(); });
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, ConnectProc, 0), 0) << "the close box";
}

// Geometry in dialog units uses the base units of the dialog's font as Qt measures it.
TEST_F(QtBackend, DialogUnitsFollowTheFont) {
    POINT units = lumivel::ui::CurrentBackend().dialogBaseUnits(lumivel::ui::DialogFontSpec{u"MS Shell Dlg", 8, 400, false});
    EXPECT_GT(units.x, 3);
    EXPECT_GT(units.y, 8);
    lumivel::ui::SetTestHook([&](const lumivel::ui::Surface& s) -> INT_PTR {
        RECT r{7, 21, 7 + 126, 21 + 14};
        MapDialogRect(s.window, &r);
        QWidget* edit = lumivel::qtui::WidgetForWindow(GetDlgItem(s.window, 201));
        EXPECT_EQ(edit->geometry(), QRect(r.left, r.top, r.right - r.left, r.bottom - r.top));
        RECT unit{0, 0, 4, 8};
        MapDialogRect(s.window, &unit);
        EXPECT_EQ(unit.right, units.x);
        EXPECT_EQ(unit.bottom, units.y);
        EndDialog(s.window, IDCANCEL);
        return 0;
    });
    DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, ConnectProc, 0);
}

TEST_F(QtBackend, MessageBoxAnsweredInQt) {
    QTimer::singleShot(100, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Active Directory"));
        EXPECT_EQ(box->icon(), QMessageBox::Critical);
        box->grab().save(QString::fromStdString(qttest::ScreenshotPath("message-box.png")));
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QStringLiteral("&Retry")) QTest::mouseClick(button, Qt::LeftButton);
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"The server is not operational.", u"Active Directory", MB_RETRYCANCEL | MB_ICONSTOP),
              IDRETRY);
    QTimer::singleShot(100, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_YESNOCANCEL), IDCANCEL) << "Escape answers Cancel";
    QTimer::singleShot(100, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_OK), IDOK) << "a box of OK alone: Escape answers OK";
    // Yes/No has no way out: Escape and the close box leave it open until a button is pressed.
    QTimer::singleShot(100, [] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box, Qt::Key_Escape);
        box->close();
        QTimer::singleShot(50, [] {
            auto* still = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(still, nullptr) << "the box is still open";
            for (QAbstractButton* button : still->buttons())
                if (button->text() == QStringLiteral("&Yes")) QTest::mouseClick(button, Qt::LeftButton);
        });
    });
    EXPECT_EQ(MessageBoxW(nullptr, u"Restore the parent too?", u"Restore Object", MB_YESNO | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(lumivel::ui::MessageBoxEscapeButton(MB_ABORTRETRYIGNORE), 0);
    EXPECT_EQ(lumivel::ui::MessageBoxEscapeButton(MB_RETRYCANCEL), IDCANCEL);
    lumivel::ui::SetTestHook([](const lumivel::ui::Surface&) -> INT_PTR { return IDNO; });
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", MB_YESNO), IDNO) << "the hook works under Qt too";
}

TEST_F(QtBackend, PopupMenuChosenInQt) {
    HWND owner = CreateWindowExW(0, u"Static", u"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING | MF_GRAYED, 5000, u"&Delete");
    AppendMenuW(menu, MF_STRING, 311, u"&Restore");
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, 5002, u"P&roperties");
    SetMenuDefaultItem(menu, 5002, FALSE);
    QTimer::singleShot(100, [] {
        auto* popup = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(popup, nullptr);
        ASSERT_EQ(popup->actions().size(), 4);
        EXPECT_FALSE(popup->actions()[0]->isEnabled());
        EXPECT_TRUE(popup->actions()[3]->font().bold()) << "the default item";
        popup->setActiveAction(popup->actions()[1]);
        QTest::keyClick(popup, Qt::Key_Return);
    });
    EXPECT_EQ(TrackPopupMenu(menu, TPM_RETURNCMD, 10, 10, 0, owner, nullptr), 311);
    DestroyMenu(menu);
    DestroyWindow(owner);
}

// Widgets belong to the Qt thread: a worker's window gets none, its message box takes the
// headless way and its dialog fails, instead of touching Qt from the wrong thread.
TEST_F(QtBackend, WorkerThreadsStayOffTheWidgets) {
    int answer = 0;
    INT_PTR dialog = 0;
    bool hadWidget = true;
    qttest::Settle();
    auto widgetsBefore = QApplication::allWidgets().count();
    testing::internal::CaptureStderr();
    std::thread worker([&] {
        HWND hwnd = CreateWindowExW(0, u"Static", u"worker", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                                    nullptr);
        hadWidget = lumivel::qtui::WidgetForWindow(hwnd) != nullptr;
        answer = MessageBoxW(nullptr, u"Could not create the backup folder.", u"Error", MB_OKCANCEL | MB_DEFBUTTON2);
        dialog = DialogBoxParamW(nullptr, MAKEINTRESOURCEW(200), nullptr, ConnectProc, 0);
        DestroyWindow(hwnd);
    });
    worker.join();
    std::string output = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(hadWidget);
    EXPECT_EQ(answer, IDCANCEL) << "the default button";
    EXPECT_NE(output.find("Error: Could not create the backup folder."), std::string::npos);
    EXPECT_EQ(dialog, -1);
    EXPECT_EQ(QApplication::allWidgets().count(), widgetsBefore) << "no widget was made";
}

// A custom window: what its procedure paints shows, the mouse arrives as messages with the
// cursor it sets.
TEST_F(QtBackend, CustomWindowPaintsAndHearsTheMouse) {
    static std::vector<UINT> seen;
    struct Surface {
        static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_SETCURSOR) seen.push_back(message);
            if (message == WM_MOUSEMOVE) SetCursor(LoadCursorW(nullptr, IDC_SIZENS));
            if (message == WM_PAINT) {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                FillRect(dc, &ps.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
                EndPaint(hwnd, &ps);
                return 0;
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    };
    WNDCLASSW wc{};
    wc.lpfnWndProc = Surface::Proc;
    wc.lpszClassName = u"QtSurfaceTest";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, u"QtSurfaceTest", u"surface", WS_POPUP | WS_VISIBLE, 0, 0, 120, 80, nullptr, nullptr,
                                nullptr, nullptr);
    QWidget* widget = lumivel::qtui::WidgetForWindow(hwnd);
    ASSERT_NE(widget, nullptr);
    qttest::Settle();
    QImage shown = widget->grab().toImage();
    EXPECT_EQ(QColor(shown.pixel(60, 40)).rgb() & 0xFFFFFF, 0xF0F0F0u) << "COLOR_BTNFACE";
    seen.clear();
    QTest::mouseMove(widget, QPoint(30, 30));
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(30, 30));
    EXPECT_NE(std::find(seen.begin(), seen.end(), UINT(WM_SETCURSOR)), seen.end());
    EXPECT_NE(std::find(seen.begin(), seen.end(), UINT(WM_LBUTTONDOWN)), seen.end());
    QTest::mouseMove(widget, QPoint(31, 31));
    EXPECT_EQ(widget->cursor().shape(), Qt::SizeVerCursor);
    MoveWindow(hwnd, 0, 0, 200, 90, TRUE);
    EXPECT_EQ(widget->size(), QSize(200, 90)) << "the widget follows the window";
    DestroyWindow(hwnd);
    qttest::Settle();
}

TEST_F(QtBackend, RichEditLinkClickedInQt) {
    struct Parent {
        static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_NOTIFY && g_run) {
                auto* link = reinterpret_cast<ENLINK*>(lParam);
                if (link->nmhdr.code == EN_LINK && link->msg == WM_LBUTTONDOWN) {
                    WCHAR buffer[64];
                    TEXTRANGEW range{link->chrg, buffer};
                    SendMessageW(link->nmhdr.hwndFrom, EM_GETTEXTRANGE, 0, reinterpret_cast<LPARAM>(&range));
                    std::u16string text(buffer);
                    g_run->log.push_back(std::string(text.begin(), text.end()));
                }
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    };
    WNDCLASSW wc{};
    wc.lpfnWndProc = Parent::Proc;
    wc.lpszClassName = u"QtRichParent";
    RegisterClassW(&wc);
    HWND parent = CreateWindowExW(0, u"QtRichParent", u"", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
    HWND pane = CreateWindowExW(0, RICHEDIT_CLASSW, u"", WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY, 0, 0, 300, 200,
                                parent, reinterpret_cast<HMENU>(102), nullptr, nullptr);
    SendMessageW(pane, EM_SETEVENTMASK, 0, ENM_LINK);
    SendMessageW(pane, EM_AUTOURLDETECT, TRUE, 0);
    SetWindowTextW(pane, u"Object: ldap://dc1.example.test/CN=Deleted");
    auto* browser = qobject_cast<QTextBrowser*>(lumivel::qtui::WidgetForWindow(pane));
    ASSERT_NE(browser, nullptr);
    EXPECT_TRUE(browser->toHtml().contains(QStringLiteral("href=\"#8\"")));
    emit browser->anchorClicked(QUrl(QStringLiteral("#8")));
    EXPECT_EQ(m_run.log, (std::vector<std::string>{"ldap://dc1.example.test/CN=Deleted"}));
    DestroyWindow(parent);
    qttest::Settle();
}

// Read-only text (a line, several lines, the rich-edit pane) shows what no font draws as its
// code point, while the window keeps the text and a link its place in it; text being edited
// stays as typed.
TEST_F(QtBackend, ReadOnlyTextShowsWhatNoFontDrawsAsItsCodePoint) {
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty())
        GTEST_SKIP() << "a Chinese font is installed: it draws the names";
    const std::u16string name = u"\u738B\u5C0F\u660E";
    const QString shownName = QStringLiteral("[U+738B][U+5C0F][U+660E]");
    HWND parent = CreateWindowExW(0, u"STATIC", u"", WS_POPUP | WS_VISIBLE, 0, 0, 400, 300, nullptr, nullptr, nullptr, nullptr);
    auto child = [&](LPCWSTR className, DWORD style, int id) {
        return CreateWindowExW(0, className, u"", WS_CHILD | WS_VISIBLE | style, 0, id * 20, 300, 20, parent,
                               reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
    };
    HWND readOnly = child(u"EDIT", ES_READONLY, 1), editable = child(u"EDIT", 0, 2);
    HWND lines = child(u"EDIT", ES_MULTILINE | ES_READONLY, 3);
    HWND pane = child(RICHEDIT_CLASSW, ES_MULTILINE | ES_READONLY, 4);
    SendMessageW(pane, EM_SETEVENTMASK, 0, ENM_LINK);
    SendMessageW(pane, EM_AUTOURLDETECT, TRUE, 0);
    for (HWND edit : {readOnly, editable, lines}) SetWindowTextW(edit, (u"CN=" + name).c_str());
    const std::u16string details = u"Name: " + name + u"\nSee ldap://dc1.example.test/CN=" + name;
    SetWindowTextW(pane, details.c_str());
    qttest::Settle();

    auto* line = qobject_cast<QLineEdit*>(lumivel::qtui::WidgetForWindow(readOnly));
    auto* typed = qobject_cast<QLineEdit*>(lumivel::qtui::WidgetForWindow(editable));
    auto* several = qobject_cast<QPlainTextEdit*>(lumivel::qtui::WidgetForWindow(lines));
    auto* browser = qobject_cast<QTextBrowser*>(lumivel::qtui::WidgetForWindow(pane));
    ASSERT_TRUE(line && typed && several && browser);
    EXPECT_EQ(line->text(), "CN=" + shownName);
    EXPECT_EQ(several->toPlainText(), "CN=" + shownName);
    EXPECT_EQ(typed->text(), QString::fromStdU16String(u"CN=" + name)) << "what is edited is what is written back";
    WCHAR kept[64] = {};
    GetWindowTextW(readOnly, kept, 64);
    EXPECT_EQ(std::u16string(kept), u"CN=" + name);

    EXPECT_TRUE(browser->toPlainText().startsWith("Name: " + shownName + "\nSee ldap://")) << browser->toPlainText().toStdString();
    size_t linkAt = details.find(u"ldap://");
    EXPECT_TRUE(browser->toHtml().contains(QStringLiteral("href=\"#%1\"").arg(linkAt))) << "the link keeps its place";
    DestroyWindow(parent);
    qttest::Settle();
}

// The console hosts a control in a widget of its own: the control's windows appear inside it
// and the host window follows the widget's size.
TEST_F(QtBackend, HostWindowFollowsTheProgramsWidget) {
    QWidget host;
    host.resize(300, 200);
    host.show();
    HWND site = lumivel::qtui::CreateHostWindow(&host);
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(lumivel::qtui::WidgetForWindow(site), &host);
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 100, 50, site,
                                reinterpret_cast<HMENU>(100), nullptr, nullptr);
    QWidget* listWidget = lumivel::qtui::WidgetForWindow(list);
    ASSERT_NE(listWidget, nullptr);
    EXPECT_EQ(listWidget->parentWidget(), &host);
    host.resize(420, 260);
    qttest::Settle();
    RECT client;
    GetClientRect(site, &client);
    EXPECT_EQ(client.right, 420);
    EXPECT_EQ(client.bottom, 260);
    EXPECT_EQ(host.geometry().size(), QSize(420, 260)) << "the window never moves the program's widget";
    DestroyWindow(site);
    qttest::Settle();
    EXPECT_FALSE(host.isHidden()) << "the program's widget stays";
}

// A window that makes its children while it handles WM_CREATE (as a control does) has them
// inside it, not as windows of their own.
LRESULT CALLBACK MakesChildrenOnCreate(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE)
        CreateWindowExW(0, WC_LISTVIEWW, u"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 5, 6, 80, 40, hwnd,
                        reinterpret_cast<HMENU>(100), nullptr, nullptr);
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(QtBackend, ChildrenMadeDuringCreationAppearInsideTheirParent) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = MakesChildrenOnCreate;
    wc.lpszClassName = u"LumivelEarlyChildren";
    RegisterClassW(&wc);
    QWidget host;
    host.resize(200, 120);
    host.show();
    HWND site = lumivel::qtui::CreateHostWindow(&host);
    HWND control = CreateWindowExW(0, u"LumivelEarlyChildren", u"", WS_CHILD | WS_VISIBLE, 0, 0, 150, 100, site, nullptr,
                                   nullptr, nullptr);
    ASSERT_NE(control, nullptr);
    QWidget* list = lumivel::qtui::WidgetForWindow(GetDlgItem(control, 100));
    ASSERT_NE(list, nullptr);
    EXPECT_FALSE(list->isWindow());
    EXPECT_EQ(list->parentWidget(), lumivel::qtui::WidgetForWindow(control));
    EXPECT_EQ(list->geometry(), QRect(5, 6, 80, 40));
    EXPECT_TRUE(list->isVisible());
    DestroyWindow(site);
    qttest::Settle();
}

}  // namespace
