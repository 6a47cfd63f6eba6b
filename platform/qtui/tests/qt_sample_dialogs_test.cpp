// The provider-style dialogs of sample_dialogs.h worked through their Qt widgets, with Qt's own
// message boxes and no test hook: the procedures receive what they receive under the hook and
// on a terminal (platform/ui/tests/sample_dialogs_test.cpp).
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest/QTest>

#include "../../ui/tests/sample_dialogs.h"
#include "lumivel/ui_test_hook.h"
#include "qt_test_support.h"

namespace {

template <typename Widget>
Widget* ControlWidget(HWND parent, int id) {
    return qobject_cast<Widget*>(lumivel::qtui::WidgetForWindow(GetDlgItem(parent, id)));
}

// Presses a button of the message box that the next action opens, by its caption.
void AnswerNextMessageBox(const QString& caption, std::vector<std::string>* titles) {
    QTimer::singleShot(50, [caption, titles] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) {
            ADD_FAILURE() << "no message box is open";
            return;
        }
        titles->push_back(box->windowTitle().toStdString());
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == caption) {
                QTest::mouseClick(button, Qt::LeftButton);
                return;
            }
        }
        ADD_FAILURE() << "the message box has no button " << caption.toStdString();
        box->reject();
    });
}

class QtSampleDialogs : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::UseQtBackend();
        lumivel::ui::SetTestHook({});
    }
    std::vector<std::string> m_titles;
};

TEST_F(QtSampleDialogs, ConnectToRetryThenBrowse) {
    test::ConnectRun run;
    run.bind = [](const std::u16string& path) { return path == u"LDAP://child.example.test"; };
    QTimer::singleShot(0, [&] {
        HWND d = run.dialog;
        auto* edit = ControlWidget<QLineEdit>(d, test::kDomainEdit);
        auto* ok = ControlWidget<QPushButton>(d, IDOK);
        auto* browse = ControlWidget<QPushButton>(d, test::kBrowseButton);
        if (!edit || !ok || !browse) {
            ADD_FAILURE() << "the dialog's widgets are missing";
            EndDialog(d, -2);
            return;
        }
        EXPECT_FALSE(ok->isEnabled()) << "OK starts disabled";
        QTest::keyClicks(edit, "bad.test");
        EXPECT_TRUE(ok->isEnabled());
        AnswerNextMessageBox(QStringLiteral("&Retry"), &m_titles);
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_TRUE(IsWindow(d)) << "Retry keeps the dialog open";
        QTest::mouseClick(browse, Qt::LeftButton);
        EXPECT_EQ(edit->text(), QStringLiteral("child.example.test"));
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    EXPECT_EQ(test::ShowConnectTo(run), IDOK);
    EXPECT_EQ(run.log.entries, test::kConnectRetryThenBrowse);
    EXPECT_EQ(run.entered, u"child.example.test");
    EXPECT_EQ(m_titles, (std::vector<std::string>{"Active Directory"}));
}

TEST_F(QtSampleDialogs, AccountSheetRefusesThenAccepts) {
    test::AccountRun run;
    QTimer::singleShot(0, [&] {
        HWND sheet = GetParent(run.page);
        auto* ok = ControlWidget<QPushButton>(sheet, IDOK);
        auto* user = ControlWidget<QLineEdit>(run.page, test::kUserEdit);
        auto* password = ControlWidget<QLineEdit>(run.page, test::kPasswordEdit);
        auto* confirm = ControlWidget<QLineEdit>(run.page, test::kConfirmEdit);
        if (!ok || !user || !password || !confirm) {
            ADD_FAILURE() << "the sheet's widgets are missing";
            EndDialog(sheet, -2);
            return;
        }
        EXPECT_EQ(password->echoMode(), QLineEdit::Password);
        AnswerNextMessageBox(QStringLiteral("OK"), &m_titles);
        QTest::mouseClick(ok, Qt::LeftButton);
        EXPECT_TRUE(IsWindow(sheet)) << "the refusal keeps the sheet open";
        QTest::keyClicks(user, "EXAMPLE\\backup");
        QTest::keyClicks(password, "S3cret!");
        QTest::keyClicks(confirm, "S3cret!");
        QTest::mouseClick(ok, Qt::LeftButton);
    });
    EXPECT_EQ(test::ShowAccountSheet(run), 1);
    EXPECT_EQ(run.log.entries, test::kAccountRefusedThenAccepted);
    EXPECT_EQ(m_titles, (std::vector<std::string>{"Invalid Account"}));
    EXPECT_EQ(run.account, u"EXAMPLE\\backup");
    EXPECT_EQ(run.password, u"S3cret!");
}

}  // namespace
