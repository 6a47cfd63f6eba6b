// A test driver for the console window: works it the way a person would, offscreen
// (QT_QPA_PLATFORM=offscreen), and writes screenshots for a person to look at.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "lumivel/console_session.h"

class QDialog;
class QMainWindow;
class QWidget;

namespace lumivel::console {

class ConsoleWindow;

// Works a console window the way a person would, for tests under QT_QPA_PLATFORM=offscreen.
class LUMIVEL_EXPORT ConsoleDriver {
public:
    ConsoleDriver();
    ~ConsoleDriver();
    ConsoleDriver(const ConsoleDriver&) = delete;
    ConsoleDriver& operator=(const ConsoleDriver&) = delete;

    HRESULT open(const CLSID& snapin, const std::u16string& name = u"");
    ConsoleSession& session();
    QMainWindow* window();

    HSCOPEITEM root();
    std::vector<HSCOPEITEM> children(HSCOPEITEM item);
    std::u16string name(HSCOPEITEM item);
    int image(HSCOPEITEM item);
    // The parameter the snap-in gave the item (its own node), 0 for none: for tests that look
    // at what the snap-in keeps of a node.
    LPARAM parameter(HSCOPEITEM item);
    // The text the tree shows for the item (empty when the tree has no such item).
    std::u16string shownName(HSCOPEITEM item);

    void expand(HSCOPEITEM item);
    void select(HSCOPEITEM item);
    // Presses F5 in the window.
    void pressRefresh();
    // The Action menu's entries, by their text ("&" kept), submenus as "Parent/Child".
    std::vector<std::u16string> actionMenu(HSCOPEITEM item);
    // Chooses an Action-menu entry by its text; false when there is none or it is disabled.
    bool chooseAction(HSCOPEITEM item, const std::u16string& text);
    std::u16string statusText();
    std::u16string resultPaneText();
    QString helpFile();
    std::unique_ptr<QDialog> aboutDialog();

    // Runs the window's events until `done` or the time-out; false on time-out.
    bool runUntil(const std::function<bool()>& done, int timeoutMs);
    void processEvents();
    // Closes the window as its close box does.
    void close();
    // Writes a picture of the window (or of a dialog) to <build>/screenshots/<name>.png.
    bool screenshot(const std::string& name);
    static bool screenshot(QWidget* widget, const std::string& name);
    // The window with the popup menu open over it; false when no popup is open.
    bool screenshotWithPopup(const std::string& name);

private:
    std::unique_ptr<ConsoleWindow> m_window;
};

}  // namespace lumivel::console
