// Read-only text as a reader sees it: in a read-only line, a read-only block of lines and the
// rich-edit details pane, what a font draws stays as it is (accents, emoji, Chinese where a
// font has it) and what none draws shows as its code point; text being edited stays as typed.
#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBrowser>

#include "lumivel/ui_test_hook.h"
#include "qt_test_support.h"
#include "win/richedit.h"

namespace {

class DrawableText : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::UseQtBackend();
        m_parent = CreateWindowExW(0, u"STATIC", u"", WS_POPUP | WS_VISIBLE, 0, 0, 520, 200, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        DestroyWindow(m_parent);
        qttest::Settle();
    }

    HWND child(LPCWSTR className, DWORD style, int id, int height = 24) {
        return CreateWindowExW(0, className, u"", WS_CHILD | WS_VISIBLE | style, 4, 4 + (id - 1) * 30, 510, height,
                               m_parent, reinterpret_cast<HMENU>(INT_PTR(id)), nullptr, nullptr);
    }

    // What each kind of read-only control shows for the text, and what an editable one does.
    struct Shown {
        QString line, lines, pane, edited;
        std::u16string kept;
    };
    Shown show(const std::u16string& text, const std::string& screenshot = {}) {
        HWND readOnly = child(u"EDIT", ES_READONLY, 1), editable = child(u"EDIT", 0, 2);
        HWND lines = child(u"EDIT", ES_MULTILINE | ES_READONLY, 3);
        HWND pane = child(RICHEDIT_CLASSW, ES_MULTILINE | ES_READONLY, 4, 80);
        for (HWND edit : {readOnly, editable, lines, pane}) SetWindowTextW(edit, text.c_str());
        qttest::Settle();
        if (!screenshot.empty()) {
            EXPECT_TRUE(lumivel::ui::RenderWindowToPng(m_parent, qttest::ScreenshotPath(screenshot)));
        }
        Shown shown;
        auto* line = qobject_cast<QLineEdit*>(lumivel::qtui::WidgetForWindow(readOnly));
        auto* typed = qobject_cast<QLineEdit*>(lumivel::qtui::WidgetForWindow(editable));
        auto* several = qobject_cast<QPlainTextEdit*>(lumivel::qtui::WidgetForWindow(lines));
        auto* browser = qobject_cast<QTextBrowser*>(lumivel::qtui::WidgetForWindow(pane));
        EXPECT_TRUE(line && typed && several && browser);
        if (!(line && typed && several && browser)) return shown;
        shown = {line->text(), several->toPlainText(), browser->toPlainText(), typed->text(), {}};
        WCHAR kept[256] = {};
        GetWindowTextW(readOnly, kept, 256);
        shown.kept = kept;
        for (HWND edit : {readOnly, editable, lines, pane}) DestroyWindow(edit);
        return shown;
    }

    HWND m_parent = nullptr;
};

// An unassigned code point and one of the last plane's private use: no font has either.
TEST_F(DrawableText, WhatNoFontDrawsShowsAsItsCodePointWhateverTheControl) {
    const std::u16string text = u"CN=Ann \u0378 Lee \U0010FFFD end";
    const QString expected = QStringLiteral("CN=Ann [U+0378] Lee [U+10FFFD] end");
    Shown shown = show(text, "drawable-text-code-points.png");
    EXPECT_EQ(shown.line, expected);
    EXPECT_EQ(shown.lines, expected);
    EXPECT_EQ(shown.pane, expected);
    EXPECT_EQ(shown.edited, QString::fromStdU16String(text)) << "what is edited is what is written back";
    EXPECT_EQ(shown.kept, text) << "the window keeps the text it was given";
}

TEST_F(DrawableText, WhatAFontDrawsStaysAsItIs) {
    // Accents and Cyrillic are in any default font.
    std::u16string latin = u"\u00C5ngstr\u00F6m \u0418\u0432\u0430\u043D";
    Shown shown = show(latin);
    EXPECT_EQ(shown.line, QString::fromStdU16String(latin));
    EXPECT_EQ(shown.pane, QString::fromStdU16String(latin));

    if (QFontDatabase::families().contains(QStringLiteral("Noto Color Emoji"))) {
        // An emoji with its variation selector and a joined sequence: drawn whole.
        std::u16string emoji = u"Party \U0001F389 team \U0001F469\u200D\U0001F4BB and \u2764\uFE0F";
        shown = show(emoji, "drawable-text-emoji.png");
        EXPECT_EQ(shown.line, QString::fromStdU16String(emoji));
        EXPECT_EQ(shown.lines, QString::fromStdU16String(emoji));
        EXPECT_EQ(shown.pane, QString::fromStdU16String(emoji));
    } else {
        ADD_FAILURE() << "no emoji font installed (scripts/install-deps brings one)";
    }

    std::u16string chinese = u"\u738B\u5C0F\u660E";
    shown = show(chinese);
    if (QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty()) {
        EXPECT_EQ(shown.pane, QStringLiteral("[U+738B][U+5C0F][U+660E]")) << "no Chinese font here";
    } else {
        EXPECT_EQ(shown.line, QString::fromStdU16String(chinese)) << "the Chinese font draws it";
        EXPECT_EQ(shown.pane, QString::fromStdU16String(chinese));
    }
}

}  // namespace
