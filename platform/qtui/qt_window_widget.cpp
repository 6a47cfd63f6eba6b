// Widgets of windows that are no built-in controls: top-level windows, dialogs, property sheets
// (with their tab), pages and custom child windows. Custom windows show what their window
// procedure painted and get the mouse and keys as messages.
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTabBar>

#include "lumivel/ui_input.h"
#include "qt_support.h"

namespace lumivel::qtui {
namespace {

WPARAM KeysOf(const QMouseEvent* event) {
    WPARAM keys = 0;
    if (event->buttons() & Qt::LeftButton) keys |= MK_LBUTTON;
    if (event->buttons() & Qt::RightButton) keys |= MK_RBUTTON;
    if (event->modifiers() & Qt::ShiftModifier) keys |= MK_SHIFT;
    if (event->modifiers() & Qt::ControlModifier) keys |= MK_CONTROL;
    return keys;
}

WPARAM VirtualKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return WPARAM('A' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return WPARAM('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return WPARAM(VK_F1 + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Tab: return VK_TAB;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Alt: return VK_MENU;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_PageUp: return VK_PRIOR;
    case Qt::Key_PageDown: return VK_NEXT;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Home: return VK_HOME;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    case Qt::Key_Insert: return VK_INSERT;
    case Qt::Key_Delete: return VK_DELETE;
    case Qt::Key_Menu: return VK_APPS;
    default: return 0;
    }
}

class WindowWidget final : public QWidget {
public:
    WindowWidget(HWND hwnd, QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags), m_hwnd(hwnd) {
        setAttribute(Qt::WA_DeleteOnClose, false);
        auto window = ui::FindWindowObject(hwnd);
        m_custom = window && window->kind() == ui::ControlKind::Custom;
        setMouseTracking(m_custom);
        if (m_custom) setFocusPolicy(Qt::ClickFocus);
        if (window && window->kind() == ui::ControlKind::PropertySheet) {
            m_tabs = new QTabBar(this);
            m_tabs->setDrawBase(true);
            m_tabs->move(7, 7);
        }
        if (auto font = ui::DialogFont(hwnd); font && window && window->kind() == ui::ControlKind::Dialog)
            setFont(DialogQFont(*font));
    }

    // A sheet's tab names its pages.
    void refreshTabs() {
        if (!m_tabs) return;
        int index = 0;
        for (HWND child : ui::ChildWindows(m_hwnd)) {
            auto w = ui::FindWindowObject(child);
            if (!w || w->kind() != ui::ControlKind::Dialog) continue;
            QString title = ToQString(w->text);
            if (index < m_tabs->count()) m_tabs->setTabText(index, title);
            else m_tabs->addTab(title);
            ++index;
        }
        m_tabs->resize(std::max(width() - 14, 10), m_tabs->sizeHint().height());
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!m_custom) {
            QWidget::paintEvent(event);
            return;
        }
        auto surface = ui::PaintedSurface(m_hwnd);
        if (!surface) return;
        QPainter painter(this);
        painter.drawImage(0, 0, ToQImage(*surface));
    }

    void mouseMoveEvent(QMouseEvent* event) override { mouse(WM_MOUSEMOVE, event); }
    void mousePressEvent(QMouseEvent* event) override {
        mouse(event->button() == Qt::RightButton ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        mouse(event->button() == Qt::RightButton ? WM_RBUTTONUP : WM_LBUTTONUP, event);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        mouse(event->button() == Qt::RightButton ? WM_RBUTTONDBLCLK : WM_LBUTTONDBLCLK, event);
    }

    void keyPressEvent(QKeyEvent* event) override {
        auto window = ui::FindWindowObject(m_hwnd);
        if (!window) return;
        bool dialog = window->kind() == ui::ControlKind::Dialog || window->kind() == ui::ControlKind::PropertySheet;
        WPARAM vk = VirtualKey(event->key());
        if (dialog && (vk == VK_RETURN || vk == VK_ESCAPE)) {
            // A page's keys belong to its sheet, a panel's to its dialog.
            HWND target = m_hwnd;
            while (auto w = ui::FindWindowObject(target)) {
                if (!w->isChild()) break;
                target = w->parent;
            }
            ui::UserDialogKey(target, WORD(vk));
            return;
        }
        if (m_custom && vk) {
            ui::UserKey(m_hwnd, WM_KEYDOWN, vk);
            return;
        }
        QWidget::keyPressEvent(event);
    }

    void keyReleaseEvent(QKeyEvent* event) override {
        WPARAM vk = VirtualKey(event->key());
        if (m_custom && vk) ui::UserKey(m_hwnd, WM_KEYUP, vk);
        else QWidget::keyReleaseEvent(event);
    }

    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        refreshTabs();
    }

    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        refreshTabs();
        if (SyncGuard::active()) return;
        auto window = ui::FindWindowObject(m_hwnd);
        if (!window || window->isChild()) return;
        RECT client = window->clientRect();
        if (client.right != event->size().width() || client.bottom != event->size().height())
            ui::UserResized(m_hwnd, event->size().width(), event->size().height());
    }

    void closeEvent(QCloseEvent* event) override {
        // The window's procedure decides; hiding or destroying comes back as state.
        event->ignore();
        if (ui::FindWindowObject(m_hwnd)) ui::UserCloseWindow(m_hwnd);
    }

    void focusInEvent(QFocusEvent* event) override {
        QWidget::focusInEvent(event);
        if (m_custom && !SyncGuard::active()) ui::UserFocused(m_hwnd);
    }

private:
    void mouse(UINT message, QMouseEvent* event) {
        QPoint p = event->position().toPoint();
        ui::UserMouse(m_hwnd, message, KeysOf(event), POINT{p.x(), p.y()});
        setCursor(CurrentCursorShape());
    }

    HWND m_hwnd;
    bool m_custom = false;
    QTabBar* m_tabs = nullptr;
};

}  // namespace

QWidget* CreateWindowWidget(HWND hwnd, QWidget* parent, Peer& peer, bool topLevel) {
    Qt::WindowFlags flags = topLevel ? (parent ? Qt::Dialog : Qt::Window) : Qt::Widget;
    auto* widget = new WindowWidget(hwnd, topLevel ? parent : parent, flags);
    if (auto window = ui::FindWindowObject(hwnd)) widget->setWindowTitle(ToQString(window->text));
    QPointer<WindowWidget> guarded = widget;
    peer.sync = [guarded](ui::WindowChange change) {
        if (!guarded) return;
        if (change == ui::WindowChange::State || change == ui::WindowChange::Text || change == ui::WindowChange::ZOrder ||
            change == ui::WindowChange::Visibility)
            guarded->refreshTabs();
    };
    return widget;
}

}  // namespace lumivel::qtui
