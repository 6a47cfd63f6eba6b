#include "lumivel/console_host.h"

#include "lumivel/console_driver.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QMessageBox>
#include <QTreeWidgetItem>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "console_window.h"
#include "lumivel/qt_ui.h"
#include "lumivel/snapin_catalog.h"
#include "lumivel/system_messages.h"
#include "lumivel/thread_queue.h"
#include "lumivel/ui_backend.h"
#include "qt_support.h"
#include "scope_tree.h"
#include "win/com.h"
#include "win/guid.h"

namespace lumivel::console {

namespace {

// The Qt backend owns the QApplication of this thread; the console shares it.
void EnsureQt() {
    if (!QApplication::instance() || std::string(ui::CurrentBackend().name()) != "qt")
        ui::SetBackend(qtui::MakeQtBackend());
}

std::optional<RegisteredSnapin> ChooseSnapin(const ConsoleOptions& options) {
    std::vector<RegisteredSnapin> snapins = StandaloneSnapins();
    auto byClsid = [&](const CLSID& clsid) -> std::optional<RegisteredSnapin> {
        for (const RegisteredSnapin& snapin : snapins)
            if (IsEqualCLSID(snapin.clsid, clsid)) return snapin;
        return std::nullopt;
    };
    if (options.snapin) {
        if (auto found = byClsid(*options.snapin)) return found;
        // Asked for by CLSID but not listed as stand-alone: still load it by its class.
        RegisteredSnapin unlisted;
        unlisted.clsid = *options.snapin;
        WCHAR text[40];
        if (StringFromGUID2(unlisted.clsid, text, ARRAYSIZE(text))) unlisted.clsidText = text;
        return unlisted;
    }
    if (auto remembered = RememberedSnapin())
        if (auto found = byClsid(*remembered)) return found;
    if (snapins.size() == 1) return snapins.front();
    if (snapins.empty()) return std::nullopt;
    QStringList names;
    for (const RegisteredSnapin& snapin : snapins) names << qtui::ToQString(snapin.name);
    bool chosen = false;
    QString name = QInputDialog::getItem(nullptr, QStringLiteral("Console"), QStringLiteral("Open the snap-in:"), names,
                                         0, false, &chosen);
    if (!chosen) return std::nullopt;
    return snapins[size_t(names.indexOf(name))];
}

std::filesystem::path ScreenshotFolder() {
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    return bin ? std::filesystem::path(bin).parent_path() / "screenshots"
               : std::filesystem::temp_directory_path() / "lumivel-screenshots";
}

bool SavePicture(const QPixmap& picture, const std::string& name) {
    std::filesystem::path folder = ScreenshotFolder();
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return picture.save(QString::fromStdString((folder / (name + ".png")).string()));
}

void CollectActions(QMenu* menu, const QString& prefix, std::vector<std::pair<QString, QAction*>>* out, int depth) {
    if (depth > 16) return;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator()) continue;
        QString text = prefix + action->text();
        if (QMenu* sub = action->menu())
            CollectActions(sub, text + QLatin1Char('/'), out, depth + 1);
        else
            out->push_back({text, action});
    }
}

}  // namespace

int RunConsole(const ConsoleOptions& options) {
    CoInitialize(nullptr);
    EnsureQt();
    int result = 1;
    if (auto snapin = ChooseSnapin(options)) {
        ConsoleWindow window;
        HRESULT hr = window.openSnapin(snapin->clsid, snapin->name);
        if (SUCCEEDED(hr)) {
            RememberSnapin(snapin->clsid);
            window.restoreLayout();
            window.show();
            QApplication::exec();
            result = 0;
        } else {
            QString reason = qtui::ToQString(SystemMessageText(DWORD(hr))).trimmed();
            if (reason.endsWith(QLatin1Char('.'))) reason.chop(1);
            QString text = QStringLiteral("The snap-in %1 cannot be loaded: %2. Register its module with regsvr.")
                               .arg(qtui::ToQString(snapin->name.empty() ? snapin->clsidText : snapin->name), reason);
            // Said on the terminal too, for a console started from one.
            std::fprintf(stderr, "lumivel: %s\n", text.toUtf8().constData());
            QMessageBox box(QMessageBox::Critical, QStringLiteral("Console"), text);
            box.setTextFormat(Qt::PlainText);
            box.exec();
        }
    } else if (StandaloneSnapins().empty()) {
        QMessageBox::critical(nullptr, QStringLiteral("Console"),
                              QStringLiteral("No stand-alone snap-in is registered on this machine. Register one "
                                             "with regsvr first."));
    }
    CoUninitialize();
    return result;
}

}  // namespace lumivel::console

// What LaunchConsole looks up when a program loads this library only to show the console.
extern "C" LUMIVEL_EXPORT int LumivelRunConsole(const CLSID* snapin) {
    lumivel::console::ConsoleOptions options;
    if (snapin) options.snapin = *snapin;
    return lumivel::console::RunConsole(options);
}

namespace lumivel::console {

ConsoleDriver::ConsoleDriver() {
    EnsureQt();
    m_window = std::make_unique<ConsoleWindow>();
    m_window->show();
}

ConsoleDriver::~ConsoleDriver() { close(); }

HRESULT ConsoleDriver::open(const CLSID& snapin, const std::u16string& name) {
    HRESULT hr = m_window->openSnapin(snapin, name);
    processEvents();
    return hr;
}

ConsoleSession& ConsoleDriver::session() { return m_window->session(); }
QMainWindow* ConsoleDriver::window() { return m_window.get(); }
HSCOPEITEM ConsoleDriver::root() { return session().rootItem(); }

std::vector<HSCOPEITEM> ConsoleDriver::children(HSCOPEITEM item) {
    return session().tree().childrenOf(item);
}

std::u16string ConsoleDriver::name(HSCOPEITEM item) { return session().displayName(item); }
int ConsoleDriver::image(HSCOPEITEM item) { return session().imageOf(item); }

LPARAM ConsoleDriver::parameter(HSCOPEITEM item) {
    const ScopeItem* found = session().tree().find(item);
    return found ? found->lParam : 0;
}

std::u16string ConsoleDriver::shownName(HSCOPEITEM item) {
    QTreeWidgetItem* widgetItem = m_window->treeItem(item);
    return widgetItem ? qtui::FromQString(widgetItem->text(0)) : std::u16string();
}

void ConsoleDriver::expand(HSCOPEITEM item) {
    m_window->expandItem(item);
    processEvents();
}

void ConsoleDriver::select(HSCOPEITEM item) {
    m_window->selectItem(item);
    processEvents();
}

void ConsoleDriver::pressRefresh() {
    // A person presses the key in the console's window: it is the active one then, whatever
    // dialog or menu had the focus before.
    if (QApplication::activeWindow() != m_window.get()) {
        m_window->activateWindow();
        QApplication::processEvents();
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_F5, Qt::NoModifier);
    // Through the shortcut map, as a key press in the window is.
    QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : m_window.get();
    QApplication::sendEvent(target, &press);
    QApplication::sendEvent(target, &release);
    processEvents();
}

std::vector<std::u16string> ConsoleDriver::actionMenu(HSCOPEITEM item) {
    QMenu menu;
    m_window->fillActionMenu(&menu, item);
    std::vector<std::pair<QString, QAction*>> actions;
    CollectActions(&menu, QString(), &actions, 0);
    std::vector<std::u16string> texts;
    for (auto& [text, action] : actions) texts.push_back(qtui::FromQString(text));
    return texts;
}

bool ConsoleDriver::chooseAction(HSCOPEITEM item, const std::u16string& text) {
    QMenu menu;
    m_window->fillActionMenu(&menu, item);
    std::vector<std::pair<QString, QAction*>> actions;
    CollectActions(&menu, QString(), &actions, 0);
    for (auto& [label, action] : actions) {
        if (qtui::FromQString(label) != text) continue;
        if (!action->isEnabled()) return false;
        action->trigger();
        processEvents();
        return true;
    }
    return false;
}

std::u16string ConsoleDriver::statusText() { return qtui::FromQString(m_window->statusBarText()); }
std::u16string ConsoleDriver::resultPaneText() { return qtui::FromQString(m_window->resultPaneText()); }
QString ConsoleDriver::helpFile() { return m_window->helpFile(); }
std::unique_ptr<QDialog> ConsoleDriver::aboutDialog() { return std::unique_ptr<QDialog>(m_window->createAboutDialog()); }

void ConsoleDriver::processEvents() {
    QApplication::processEvents();
    RunPendingThreadWork();
    QApplication::processEvents();
}

bool ConsoleDriver::runUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void ConsoleDriver::close() {
    if (!m_window) return;
    m_window->close();
    processEvents();
    m_window.reset();
}

bool ConsoleDriver::screenshot(const std::string& name) { return screenshot(m_window.get(), name); }

bool ConsoleDriver::screenshot(QWidget* widget, const std::string& name) {
    QApplication::processEvents();
    return SavePicture(widget->grab(), name);
}

bool ConsoleDriver::screenshotWithPopup(const std::string& name) {
    QWidget* popup = QApplication::activePopupWidget();
    if (!popup) return false;
    // A popup is a window of its own: it is painted over the console where it stands.
    QPixmap picture = m_window->grab();
    QPainter painter(&picture);
    painter.drawPixmap(popup->mapToGlobal(QPoint()) - m_window->mapToGlobal(QPoint()), popup->grab());
    painter.end();
    return SavePicture(picture, name);
}

}  // namespace lumivel::console
