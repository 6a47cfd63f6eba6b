// List views under Qt: an owner-data list of 100,000 items asks only for the rows it shows;
// a person's clicks, keys and header clicks arrive as the list view's notifications in
// Windows' order; a screenshot of a list with icons.
#include <QFontDatabase>
#include <QHeaderView>
#include <QTreeView>
#include <QtTest/QTest>

#include <set>

#include "lumivel/ui_input.h"
#include "qt_test_support.h"

namespace {

struct ListParent {
    std::vector<std::string> log;
    std::set<int> rowsAsked;
    std::vector<std::u16string> names;
    std::u16string typed;
    std::vector<WORD> keys;  // of each LVN_KEYDOWN
};
ListParent* g_parent = nullptr;

LRESULT ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY && g_parent) {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->code == LVN_GETDISPINFOW) {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
            g_parent->rowsAsked.insert(info->item.iItem);
            static thread_local std::u16string text;
            if (info->item.mask & LVIF_TEXT) {
                if (size_t(info->item.iItem) < g_parent->names.size()) {
                    info->item.pszText = const_cast<LPWSTR>(g_parent->names[size_t(info->item.iItem)].c_str());
                } else {
                    std::string s = "object " + std::to_string(info->item.iItem) + " col " + std::to_string(info->item.iSubItem);
                    text.assign(s.begin(), s.end());
                    info->item.pszText = const_cast<LPWSTR>(text.c_str());
                }
            }
            if (info->item.mask & LVIF_IMAGE) info->item.iImage = info->item.iItem % 2;
            return 0;
        }
        if (header->code == LVN_ODFINDITEMW) {
            auto* find = reinterpret_cast<NMLVFINDITEMW*>(lParam);
            g_parent->typed = find->lvfi.psz;
            g_parent->log.push_back("LVN_ODFINDITEMW");
            return g_parent->typed == u"be" ? 1 : 0;
        }
        if (header->code == LVN_KEYDOWN) g_parent->keys.push_back(reinterpret_cast<NMLVKEYDOWN*>(lParam)->wVKey);
        std::string name = qttest::Notification(lParam);
        if (!name.empty()) {
            if (header->code == LVN_ITEMCHANGED) {
                auto* change = reinterpret_cast<NMLISTVIEW*>(lParam);
                name += "(" + std::to_string(change->iItem) + ")";
            }
            g_parent->log.push_back(name);
        }
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class QtListView : public ::testing::Test {
protected:
    void SetUp() override {
        qttest::UseQtBackend();
        static ATOM registered = [] {
            WNDCLASSW wc{};
            wc.lpfnWndProc = ParentProc;
            wc.lpszClassName = u"QtListParent";
            return RegisterClassW(&wc);
        }();
        ASSERT_NE(registered, 0);
        g_parent = &m_parent;
        m_window = CreateWindowExW(0, u"QtListParent", u"Deleted objects", WS_POPUP | WS_VISIBLE, 0, 0, 480, 300, nullptr,
                                   nullptr, nullptr, nullptr);
        m_list = CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_NOPARENTNOTIFY, WC_LISTVIEWW, u"", 0x50001049, 0, 0, 480, 300,
                                 m_window, reinterpret_cast<HMENU>(100), nullptr, nullptr);
        int index = 0;
        for (const char16_t* title : {u"Name", u"Last Known Parent", u"Class"}) {
            LVCOLUMNW column{};
            column.mask = LVCF_WIDTH | LVCF_TEXT;
            column.cx = 150;
            column.pszText = const_cast<LPWSTR>(title);
            ListView_InsertColumn(m_list, index++, &column);
        }
        m_view = qobject_cast<QTreeView*>(lumivel::qtui::WidgetForWindow(m_list));
        ASSERT_NE(m_view, nullptr);
    }
    void TearDown() override {
        DestroyWindow(m_window);
        qttest::Settle();
        g_parent = nullptr;
    }

    QPoint RowCenter(int row) { return m_view->visualRect(m_view->model()->index(row, 0)).center(); }

    ListParent m_parent;
    HWND m_window = nullptr;
    HWND m_list = nullptr;
    QTreeView* m_view = nullptr;
};

TEST_F(QtListView, OwnerDataOf100000ItemsAsksOnlyVisibleRows) {
    ListView_SetItemCountEx(m_list, 100000, LVSICF_NOINVALIDATEALL);
    qttest::Settle();
    EXPECT_EQ(m_view->model()->rowCount(), 100000);
    EXPECT_EQ(m_view->header()->count(), 3);
    int visible = int(SendMessageW(m_list, LVM_GETCOUNTPERPAGE, 0, 0));
    ASSERT_GT(visible, 5);
    ASSERT_FALSE(m_parent.rowsAsked.empty()) << "the visible rows were asked for";
    EXPECT_LE(*m_parent.rowsAsked.rbegin(), visible + 1);
    EXPECT_LE(m_parent.rowsAsked.size(), size_t(visible + 2));

    // Scrolled to the middle, only the rows around it are asked for.
    ListView_EnsureVisible(m_list, 50000, FALSE);
    m_parent.rowsAsked.clear();  // measuring rows for the scroll looked at the rows shown before it
    qttest::Settle();
    ASSERT_FALSE(m_parent.rowsAsked.empty());
    EXPECT_GE(*m_parent.rowsAsked.begin(), 50000 - visible - 1);
    EXPECT_LE(*m_parent.rowsAsked.rbegin(), 50000 + visible + 1);
    EXPECT_LE(m_parent.rowsAsked.size(), size_t(visible + 2));

    // Selecting every item is one notification, not one per item, and asks no more rows.
    m_parent.log.clear();
    m_parent.rowsAsked.clear();
    m_view->selectAll();
    qttest::Settle();
    EXPECT_EQ(ListView_GetSelectedCount(m_list), 100000u);
    EXPECT_LE(m_parent.log.size(), 2u);
    EXPECT_LE(m_parent.rowsAsked.size(), size_t(2 * visible + 4));
}

TEST_F(QtListView, ClicksKeysAndHeadersInWindowsOrder) {
    ListView_SetItemCount(m_list, 20);
    qttest::Settle();
    m_parent.log.clear();
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, RowCenter(3));
    EXPECT_EQ(m_parent.log, (std::vector<std::string>{"LVN_ITEMCHANGED(3)", "NM_CLICK"}))
        << "focus and selection in one notification, then the click";
    EXPECT_EQ(ListView_GetNextItem(m_list, -1, LVNI_SELECTED), 3);

    m_parent.log.clear();
    QTest::mouseClick(m_view->viewport(), Qt::RightButton, {}, RowCenter(5));
    ASSERT_FALSE(m_parent.log.empty());
    EXPECT_EQ(m_parent.log.back(), "NM_RCLICK") << "the right click selects first and reports after";
    EXPECT_EQ(ListView_GetNextItem(m_list, -1, LVNI_SELECTED), 5);

    m_parent.log.clear();
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, RowCenter(5));
    QTest::mouseDClick(m_view->viewport(), Qt::LeftButton, {}, RowCenter(5));
    EXPECT_NE(std::find(m_parent.log.begin(), m_parent.log.end(), "NM_DBLCLK"), m_parent.log.end());

    m_parent.log.clear();
    QTest::keyClick(m_view, Qt::Key_Delete);
    EXPECT_EQ(m_parent.log, (std::vector<std::string>{"LVN_KEYDOWN"}));
    // The menu key and Shift+F10 both ask for the context menu; F10 alone does not.
    m_parent.keys.clear();
    QTest::keyClick(m_view, Qt::Key_Menu);
    QTest::keyClick(m_view, Qt::Key_F10, Qt::ShiftModifier);
    QTest::keyClick(m_view, Qt::Key_F10);
    EXPECT_EQ(m_parent.keys, (std::vector<WORD>{VK_APPS, VK_APPS}));
    EXPECT_EQ(ListView_GetNextItem(m_list, -1, LVNI_SELECTED), 5) << "the keys leave the selection as it was";

    m_parent.log.clear();
    QHeaderView* header = m_view->header();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(1) + 20, header->height() / 2));
    EXPECT_EQ(m_parent.log, (std::vector<std::string>{"LVN_COLUMNCLICK"}));

    // A selection made by code shows in the view.
    LVITEMW select{};
    select.stateMask = select.state = LVIS_SELECTED;
    SendMessageW(m_list, LVM_SETITEMSTATE, 9, reinterpret_cast<LPARAM>(&select));
    qttest::Settle();
    EXPECT_TRUE(m_view->selectionModel()->isRowSelected(9, {}));

    // Column widths the person drags come back through LVM_GETCOLUMNWIDTH.
    header->resizeSection(0, 222);
    EXPECT_EQ(ListView_GetColumnWidth(m_list, 0), 222);
}

TEST_F(QtListView, TypeAheadAsksTheParent) {
    m_parent.names = {u"alpha", u"Beta", u"gamma"};
    ListView_SetItemCount(m_list, 3);
    qttest::Settle();
    m_view->setFocus();
    QTest::keyClicks(m_view, "be");
    EXPECT_EQ(m_parent.typed, u"be");
    EXPECT_EQ(m_view->currentIndex().row(), 1);
}

TEST_F(QtListView, ScreenshotWithIcons) {
    HIMAGELIST images = ImageList_Create(16, 16, ILC_MASK | ILC_COLOR8, 1, 500);
    ImageList_ReplaceIcon(images, -1, LoadIconW(nullptr, MAKEINTRESOURCEW(202)));
    ImageList_ReplaceIcon(images, -1, LoadIconW(nullptr, MAKEINTRESOURCEW(203)));
    ListView_SetImageList(m_list, images, LVSIL_SMALL);
    m_parent.names = {u"CN=Sales\\0ADEL:6b1f", u"CN=Jane Doe\\0ADEL:91aa", u"OU=Berlin\\0ADEL:0c2e", u"CN=print01\\0ADEL:77d0"};
    ListView_SetItemCount(m_list, 4);
    qttest::Settle();
    QVariant icon = m_view->model()->index(1, 0).data(Qt::DecorationRole);
    EXPECT_TRUE(icon.isValid()) << "the image from the small image list";
    EXPECT_TRUE(lumivel::ui::RenderWindowToPng(m_window, qttest::ScreenshotPath("list-view-with-icons.png")));
    ImageList_Destroy(images);  // LVS_SHAREIMAGELISTS: the list does not own it
}

}  // namespace

TEST_F(QtListView, ALineBreakInACellShowsAsASpaceOnOneRow) {
    m_parent.names = {u"Bob\nDEL:6f0c2a51-0e4b-4c2b-9a55-2d1f7b1f3e10", u"Ann"};
    ListView_SetItemCount(m_list, 2);
    qttest::Settle();
    QModelIndex first = m_view->model()->index(0, 0);
    EXPECT_EQ(m_view->model()->data(first, Qt::DisplayRole).toString(),
              QString("Bob DEL:6f0c2a51-0e4b-4c2b-9a55-2d1f7b1f3e10"));
    EXPECT_EQ(m_view->visualRect(first).height(), m_view->visualRect(m_view->model()->index(1, 0)).height());
}

// Names from the directory may hold characters beyond the fonts: those show as their code
// point, never as an empty box; what a font draws (an emoji, with the font the package
// recommends) is left as it is.
TEST_F(QtListView, ACharacterNoFontDrawsShowsItsCodePoint) {
    const std::u16string lone(1, char16_t(0xD800));
    m_parent.names = {u"Private \U0010FFFD use", u"Broken " + lone + u" half", u"Control \u0085 char",
                      u"Caf\u00e9 \u0416 plain", u"Party \U0001F389 time", u"Name \u4E2D\u6587 cjk"};
    ListView_SetItemCount(m_list, int(m_parent.names.size()));
    qttest::Settle();
    auto shown = [&](int row) { return m_view->model()->data(m_view->model()->index(row, 0), Qt::DisplayRole).toString(); };
    EXPECT_EQ(shown(0), QString("Private [U+10FFFD] use"));
    EXPECT_EQ(shown(1), QString("Broken [U+D800] half"));
    EXPECT_EQ(shown(2), QString("Control [U+0085] char"));
    EXPECT_EQ(shown(3), QString::fromStdU16String(m_parent.names[3])) << "the default font has these";
    if (!QFontDatabase::families().contains(QStringLiteral("Noto Color Emoji")))
        GTEST_SKIP() << "no emoji font installed (scripts/install-deps brings one)";
    EXPECT_EQ(shown(4), QString::fromStdU16String(m_parent.names[4])) << "the emoji font draws it";
}

// Without a Chinese font (none is a dependency) Chinese names show as code points; with one
// they show as they are.
TEST_F(QtListView, ChineseShowsAsCodePointsUnlessAFontHasIt) {
    m_parent.names = {u"Name \u738B\u5C0F\u660E cjk", u"\U00020BB7\u91CE Taro"};
    ListView_SetItemCount(m_list, int(m_parent.names.size()));
    qttest::Settle();
    auto shown = [&](int row) { return m_view->model()->data(m_view->model()->index(row, 0), Qt::DisplayRole).toString(); };
    if (!QFontDatabase::families(QFontDatabase::SimplifiedChinese).isEmpty()) {
        EXPECT_EQ(shown(0), QString::fromStdU16String(m_parent.names[0])) << "the Chinese font draws it";
        return;
    }
    EXPECT_EQ(shown(0), QString("Name [U+738B][U+5C0F][U+660E] cjk"));
    EXPECT_EQ(shown(1), QString("[U+20BB7][U+91CE] Taro"));
}
