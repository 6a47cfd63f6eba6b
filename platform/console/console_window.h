// The console's main window: the scope tree on the left, the result pane on the right, the
// Action menu and context menus built from the snap-in's items and the verbs of the
// selection, Refresh on F5, a status bar, and Help and About from the snap-in.
#pragma once

#include <QIcon>
#include <QMainWindow>
#include <QPointer>

#include <map>
#include <memory>

#include "context_menu_items.h"
#include "lumivel/console_session.h"

class QDialog;
class QLabel;
class QMenu;
class QSplitter;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

namespace lumivel::console {

class ConsoleProbe;

class ConsoleWindow final : public QMainWindow, public SessionView {
public:
    ConsoleWindow();
    ~ConsoleWindow() override;

    HRESULT openSnapin(const CLSID& clsid, const std::u16string& name);
    ConsoleSession& session() { return *m_session; }

    QTreeWidgetItem* treeItem(HSCOPEITEM item) const;
    HSCOPEITEM itemOf(QTreeWidgetItem* item) const;
    // Works the window as a person would: the tree's expand arrow, a click, F5.
    void expandItem(HSCOPEITEM item);
    void selectItem(HSCOPEITEM item);
    void triggerRefresh();
    // The Action menu as it would open now (also the scope item's context menu).
    void fillActionMenu(QMenu* menu, HSCOPEITEM item);
    QString resultPaneText() const;
    QString statusBarText() const;
    // The About box of the snap-in, not yet shown.
    QDialog* createAboutDialog();
    // The help file the Help menu opens, empty when the snap-in names none that exists.
    QString helpFile();

    void restoreLayout();
    void saveLayout();

    // SessionView
    void scopeChanged(ScopeChange change, HSCOPEITEM item) override;
    void selectRequested(HSCOPEITEM item) override;
    void statusTextChanged(const std::u16string& text) override;
    void resultViewChanged() override;
    void imagesChanged() override;
    HWND mainWindow() override;
    HWND resultHost(RECT* area) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    // The result pane's size goes on to the control active in it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildMenus();
    void addMenuEntries(QMenu* menu, const std::vector<MenuEntry>& entries, HSCOPEITEM item, int depth);
    void refreshItem(QTreeWidgetItem* widgetItem, HSCOPEITEM item);
    void showHelp();
    void showAbout();

    std::unique_ptr<ConsoleSession> m_session;
    QSplitter* m_splitter = nullptr;
    QTreeWidget* m_tree = nullptr;
    QStackedWidget* m_resultPane = nullptr;
    QLabel* m_resultMessage = nullptr;
    QWidget* m_controlHost = nullptr;
    QLabel* m_status = nullptr;
    QMenu* m_actionMenu = nullptr;
    HWND m_hostWindow = nullptr;
    std::map<HSCOPEITEM, QTreeWidgetItem*> m_items;
    QIcon m_rootIcon;
    bool m_closing = false;
    std::unique_ptr<ConsoleProbe> m_probe;  // only for a program that works the console from outside
};

}  // namespace lumivel::console
