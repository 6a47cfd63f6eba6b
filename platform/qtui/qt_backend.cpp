// The Qt 6 Widgets backend: one widget per window, built when the window is created and kept
// up to date from the UI area's state; modal loops on Qt event loops; message boxes and popup
// menus as Qt dialogs and menus.
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <map>
#include <mutex>

#include "lumivel/gdi_objects.h"
#include "lumivel/qt_ui.h"
#include "lumivel/thread_queue.h"
#include "lumivel/ui_input.h"
#include "qt_support.h"

namespace lumivel::qtui {
namespace {

thread_local int t_syncDepth = 0;
std::map<HWND, std::unique_ptr<Peer>> g_peers;  // touched on the UI thread only
QPointer<QWidget> t_adoptNext;
std::atomic<HCURSOR> g_cursor{nullptr};

int g_argc = 1;
char g_argv0[] = "lumivel";
char* g_argv[] = {g_argv0, nullptr};

QWidget* ParentWidget(const ui::Window& window) {
    if (!window.parent) return nullptr;
    Peer* parent = PeerOf(window.parent);
    return parent ? parent->widget.data() : nullptr;
}

QMessageBox::Icon IconOf(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONEXCLAMATION: return QMessageBox::Warning;
    case MB_ICONASTERISK: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
    }
}

QMessageBox::ButtonRole RoleOf(int id) {
    switch (id) {
    case IDOK:
    case IDYES:
    case IDRETRY:
    case IDTRYAGAIN:
    case IDCONTINUE: return QMessageBox::AcceptRole;
    case IDHELP: return QMessageBox::HelpRole;
    case IDNO: return QMessageBox::NoRole;
    default: return QMessageBox::RejectRole;
    }
}

void AddMenuItems(QMenu* menu, const std::vector<ui::MenuItemSnapshot>& items, int depth) {
    for (const auto& item : items) {
        if (item.separator()) {
            menu->addSeparator();
            continue;
        }
        QString text = ToQString(item.text);
        if (item.popup) {
            QMenu* sub = menu->addMenu(text);
            sub->setEnabled(!item.grayed());
            if (depth < 32) AddMenuItems(sub, item.children, depth + 1);
            continue;
        }
        QAction* action = menu->addAction(text);
        action->setData(QVariant::fromValue<uint>(item.id));
        action->setEnabled(!item.grayed());
        if (item.checked()) {
            action->setCheckable(true);
            action->setChecked(true);
        }
        if (item.isDefault()) {
            QFont bold = action->font();
            bold.setBold(true);
            action->setFont(bold);
        }
    }
}

// Swallows Escape and the close box of a message box that has no button for them.
class NoWayOut final : public QObject {
public:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Close) {
            event->ignore();
            return true;
        }
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) return true;
        return QObject::eventFilter(object, event);
    }
};

// A program's widget that hosts a window: its size is the window's client size.
class HostSizeFollower final : public QObject {
public:
    HostSizeFollower(HWND hwnd, QObject* host) : QObject(host), m_hwnd(hwnd) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Resize && !SyncGuard::active()) {
            auto* widget = static_cast<QWidget*>(object);
            ui::UserResized(m_hwnd, widget->width(), widget->height());
        }
        return QObject::eventFilter(object, event);
    }

private:
    HWND m_hwnd;
};

// Qt widgets live on the thread of the QApplication. Windows of other threads get no widget
// there; their message boxes take the headless way (stderr and the system log) and their
// dialogs fail cleanly instead of touching widgets from the wrong thread.
bool OnGuiThread() { return QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread(); }

class QtBackend final : public ui::Backend {
public:
    QtBackend() {
        if (QApplication::instance() == nullptr) new QApplication(g_argc, g_argv);
        m_dispatcher = new QObject();
        // Work posted to this thread (PostMessageW, cross-thread calls) runs from Qt's loop.
        QPointer<QObject> dispatcher = m_dispatcher;
        SetThreadWakeUpHook([this, dispatcher] {
            if (m_drainQueued.exchange(true)) return;
            QMetaObject::invokeMethod(
                dispatcher.data(),
                [this] {
                    m_drainQueued = false;
                    RunPendingThreadWork();
                    checkLoops();
                },
                Qt::QueuedConnection);
        });
    }

    ~QtBackend() override {
        SetThreadWakeUpHook({});
        delete m_dispatcher;
    }

    const char* name() const override { return "qt"; }
    bool canRunDialogs() const override { return OnGuiThread(); }

    void windowCreated(HWND hwnd) override {
        if (!OnGuiThread()) return;
        auto window = ui::FindWindowObject(hwnd);
        if (!window || PeerOf(hwnd)) return;
        // A child made in its parent's WM_CREATE comes before the parent has a widget: it gets
        // its own once the parent has one (below), inside it rather than as a window of its own.
        if (!t_adoptNext && window->isChild() && window->parent && !PeerOf(window->parent)) return;
        auto peer = std::make_unique<Peer>();
        peer->hwnd = hwnd;
        peer->kind = window->kind();
        QWidget* widget = nullptr;
        if (t_adoptNext) {
            widget = t_adoptNext.data();
            t_adoptNext = nullptr;
            peer->adopted = true;
            peer->widget = widget;
            widget->installEventFilter(new HostSizeFollower(hwnd, widget));
        } else {
            QWidget* parent = ParentWidget(*window);
            bool topLevel = !window->isChild();
            switch (window->kind()) {
            case ui::ControlKind::Custom:
            case ui::ControlKind::Dialog:
            case ui::ControlKind::PropertySheet: widget = CreateWindowWidget(hwnd, parent, *peer, topLevel); break;
            case ui::ControlKind::ListView: widget = CreateListViewWidget(hwnd, parent, *peer); break;
            default: widget = CreateControlWidget(hwnd, parent, *peer); break;
            }
            peer->widget = widget;
        }
        window->peer = peer.get();
        bool adopted = peer->adopted;
        g_peers[hwnd] = std::move(peer);
        if (widget && !adopted) {
            SyncGuard guard;
            ApplyCommonState(hwnd, widget, ui::WindowChange::Geometry);
            ApplyCommonState(hwnd, widget, ui::WindowChange::Enabled);
            Peer* p = PeerOf(hwnd);
            if (p && p->sync) p->sync(ui::WindowChange::State);
            ApplyCommonState(hwnd, widget, ui::WindowChange::Visibility);
        }
        if (!widget) return;
        for (HWND child : ui::ChildWindows(hwnd)) {
            auto made = ui::FindWindowObject(child);
            if (made && made->created && !PeerOf(child)) windowCreated(child);
        }
    }

    void windowChanged(HWND hwnd, ui::WindowChange change) override {
        if (!OnGuiThread()) return;
        Peer* peer = PeerOf(hwnd);
        if (peer && peer->widget && !peer->adopted) {
            SyncGuard guard;
            ApplyCommonState(hwnd, peer->widget, change);
            if (peer->sync) peer->sync(change);
        }
        checkLoops();
    }

    void windowDestroyed(HWND hwnd) override {
        if (!OnGuiThread()) return;
        auto it = g_peers.find(hwnd);
        if (it == g_peers.end()) return;
        std::unique_ptr<Peer> peer = std::move(it->second);
        g_peers.erase(it);
        if (auto window = ui::FindWindowObject(hwnd)) window->peer = nullptr;
        if (peer->widget && !peer->adopted) {
            peer->widget->hide();
            peer->widget->deleteLater();  // children's widgets go with it
        }
        checkLoops();
    }

    void runModalLoop(HWND hwnd, const std::function<bool()>& ended) override {
        if (!OnGuiThread()) {
            while (!ended()) PumpThreadWorkUntil(ended, 100);
            return;
        }
        Peer* peer = PeerOf(hwnd);
        if (peer && peer->widget) {
            peer->widget->setWindowModality(Qt::ApplicationModal);
            peer->widget->show();
            peer->widget->raise();
            peer->widget->activateWindow();
        }
        QEventLoop loop;
        Loop entry{&loop, ended};
        m_loops.push_back(&entry);
        // A backstop for ends nobody reports (a dialog destroyed by its own procedure).
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [this] {
            RunPendingThreadWork();
            checkLoops();
        });
        timer.start(50);
        if (!ended()) loop.exec();
        m_loops.erase(std::remove(m_loops.begin(), m_loops.end(), &entry), m_loops.end());
    }

    void processEvents() override {
        if (!OnGuiThread()) return;
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }

    int messageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) override {
        if (!OnGuiThread()) return m_offThread->messageBox(owner, text, caption, type);
        Peer* peer = owner ? PeerOf(owner) : nullptr;
        QMessageBox box(IconOf(type), ToQString(caption), DrawableText(ToQString(text)), QMessageBox::NoButton,
                        peer ? peer->widget.data() : nullptr);
        // Messages quote names from the directory: never read as markup.
        box.setTextFormat(Qt::PlainText);
        std::map<QAbstractButton*, int> ids;
        std::vector<int> buttons = ui::MessageBoxButtons(type);
        int escapeId = ui::MessageBoxEscapeButton(type);
        for (int id : buttons) {
            QPushButton* button = box.addButton(ToQString(ui::MessageBoxButtonCaption(id)), RoleOf(id));
            ids[button] = id;
            if (id == ui::MessageBoxDefaultButton(type)) box.setDefaultButton(button);
            if (id == escapeId) box.setEscapeButton(button);
        }
        // Without a way out (Yes/No, Abort/Retry/Ignore) Escape and the close box do nothing,
        // where Qt would pick a No or Reject button by itself.
        NoWayOut noWayOut;
        if (escapeId == 0) box.installEventFilter(&noWayOut);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
        auto it = ids.find(box.clickedButton());
        return it != ids.end() ? it->second : ui::MessageBoxDefaultButton(type);
    }

    UINT trackPopupMenu(HMENU, const std::vector<ui::MenuItemSnapshot>& items, UINT, POINT at, HWND owner) override {
        if (!OnGuiThread()) return 0;
        Peer* peer = PeerOf(owner);
        QMenu menu(peer ? peer->widget.data() : nullptr);
        AddMenuItems(&menu, items, 0);
        QAction* chosen = menu.exec(QPoint(at.x, at.y));
        return chosen ? chosen->data().toUInt() : 0;
    }

    void setCursor(HCURSOR cursor) override {
        g_cursor = cursor;
        if (!OnGuiThread()) return;
        if (QWidget* w = QApplication::widgetAt(QCursor::pos())) w->setCursor(CurrentCursorShape());
    }

    bool cursorPosition(POINT* point) override {
        if (!OnGuiThread()) return false;
        QPoint p = QCursor::pos();
        point->x = p.x();
        point->y = p.y();
        return true;
    }

    void captureChanged(HWND hwnd) override {
        if (!OnGuiThread()) return;
        if (m_grabbed) m_grabbed->releaseMouse();
        m_grabbed = nullptr;
        Peer* peer = hwnd ? PeerOf(hwnd) : nullptr;
        if (peer && peer->widget && peer->widget->isVisible()) {
            peer->widget->grabMouse();
            m_grabbed = peer->widget;
        }
    }

    POINT dialogBaseUnits(const ui::DialogFontSpec& fontSpec) override {
        if (!OnGuiThread()) return Backend::dialogBaseUnits(fontSpec);
        QFontMetrics metrics(DialogQFont(fontSpec));
        // Windows: the average width of the alphabet, rounded, and the character height.
        int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        return POINT{(width / 26 + 1) / 2, metrics.height()};
    }

    int visibleRowCount(HWND hwnd) override { return OnGuiThread() ? ListViewVisibleRows(hwnd) : -1; }

    bool renderToPng(HWND hwnd, const std::string& path) override {
        if (!OnGuiThread()) return false;
        Peer* peer = PeerOf(hwnd);
        if (!peer || !peer->widget) return false;
        QWidget* widget = peer->widget;
        if (!widget->isVisible() && widget->isWindow()) widget->show();
        processEvents();
        return widget->grab().save(QString::fromStdString(path), "PNG");
    }

private:
    struct Loop {
        QEventLoop* loop;
        std::function<bool()> ended;
    };

    void checkLoops() {
        for (Loop* entry : m_loops)
            if (entry->ended()) entry->loop->quit();
    }

    std::shared_ptr<ui::Backend> m_offThread = ui::MakeHeadlessBackend();
    QObject* m_dispatcher = nullptr;
    std::atomic<bool> m_drainQueued{false};
    std::vector<Loop*> m_loops;
    QPointer<QWidget> m_grabbed;
};

}  // namespace

Peer* PeerOf(HWND hwnd) {
    auto it = g_peers.find(hwnd);
    return it == g_peers.end() ? nullptr : it->second.get();
}

SyncGuard::SyncGuard() { ++t_syncDepth; }
SyncGuard::~SyncGuard() { --t_syncDepth; }
bool SyncGuard::active() { return t_syncDepth > 0; }

QImage ToQImage(const gfx::Image& image) {
    QImage out(image.width, image.height, QImage::Format_ARGB32);
    for (int y = 0; y < image.height; ++y) {
        auto* line = reinterpret_cast<uint32_t*>(out.scanLine(y));
        for (int x = 0; x < image.width; ++x) {
            gfx::Argb p = image.at(x, y);
            line[x] = gfx::IsTransparent(p) ? 0u : (p | gfx::kOpaque);
        }
    }
    return out;
}

QFont DialogQFont(const ui::DialogFontSpec& fontSpec) {
    static const char16_t* const kWindowsFaces[] = {u"MS Shell Dlg", u"MS Shell Dlg 2", u"MS Sans Serif", u"Microsoft Sans Serif",
                                                    u"Tahoma", u"Segoe UI", u"System", u""};
    QFont font = QApplication::font();
    bool windowsFace = false;
    for (const char16_t* face : kWindowsFaces)
        if (fontSpec.face == face) windowsFace = true;
    if (!windowsFace) font.setFamily(ToQString(fontSpec.face));
    if (fontSpec.pointSize > 0) font.setPointSize(fontSpec.pointSize);
    font.setBold(fontSpec.weight >= 600);
    font.setItalic(fontSpec.italic);
    return font;
}

Qt::CursorShape CurrentCursorShape() {
    auto id = gfx::SystemCursorId(g_cursor.load());
    switch (id.value_or(32512)) {
    case 32513: return Qt::IBeamCursor;
    case 32514: return Qt::WaitCursor;
    case 32515: return Qt::CrossCursor;
    case 32642: return Qt::SizeFDiagCursor;
    case 32643: return Qt::SizeBDiagCursor;
    case 32644: return Qt::SizeHorCursor;
    case 32645: return Qt::SizeVerCursor;
    case 32646: return Qt::SizeAllCursor;
    case 32648: return Qt::ForbiddenCursor;
    case 32649: return Qt::PointingHandCursor;
    default: return Qt::ArrowCursor;
    }
}

namespace {

// How far a dialog was moved from where its template put it, kept for its later moves.
constexpr const char* kPlacedOffset = "lumivelPlacedOffset";

// A dialog's template places it relative to its owner's client area, which for a window
// inside a program's widget (the console's result pane) this backend cannot know: it would
// open in the screen's corner. The first time it shows, it is centred over its owner's window,
// as dialogs open under a window manager, and kept on that screen.
void PlaceOverOwner(QWidget* dialog) {
    QWidget* owner = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
    if (!owner || !owner->isVisible() || dialog->property(kPlacedOffset).isValid()) return;
    QRect placed(QPoint(), dialog->size());
    placed.moveCenter(owner->frameGeometry().center());
    if (QScreen* screen = owner->screen()) {
        QRect free = screen->availableGeometry();
        placed.moveLeft(std::clamp(placed.left(), free.left(), std::max(free.left(), free.right() - placed.width())));
        placed.moveTop(std::clamp(placed.top(), free.top(), std::max(free.top(), free.bottom() - placed.height())));
    }
    dialog->setProperty(kPlacedOffset, placed.topLeft() - dialog->pos());
    dialog->move(placed.topLeft());
}

}  // namespace

void ApplyCommonState(HWND hwnd, QWidget* widget, ui::WindowChange change) {
    auto window = ui::FindWindowObject(hwnd);
    if (!window || !widget) return;
    switch (change) {
    case ui::WindowChange::Geometry: {
        RECT client = window->clientRect();
        if (window->isChild()) {
            // Controls draw their own borders, so the widget takes the whole window rectangle.
            int height = window->height();
            if (window->kind() == ui::ControlKind::ComboBox) height = std::min(height, widget->sizeHint().height());
            widget->setGeometry(window->rect.left, window->rect.top, window->width(), height);
        } else {
            QPoint offset = widget->property(kPlacedOffset).toPoint();
            widget->setGeometry(window->rect.left + window->frame.left + offset.x(),
                                window->rect.top + window->frame.top + offset.y(), client.right, client.bottom);
        }
        break;
    }
    case ui::WindowChange::Visibility:
        if (window->isChild()) {
            widget->setVisible((window->style & WS_VISIBLE) != 0);
        } else if (window->style & WS_VISIBLE) {
            if (window->kind() == ui::ControlKind::Dialog || window->kind() == ui::ControlKind::PropertySheet) {
                widget->setWindowModality(ui::IsModalDialog(hwnd) ? Qt::ApplicationModal : Qt::NonModal);
                PlaceOverOwner(widget);
            }
            widget->show();
        } else {
            widget->hide();
        }
        break;
    case ui::WindowChange::Enabled: widget->setEnabled(!(window->style & WS_DISABLED)); break;
    case ui::WindowChange::Text:
        if (!window->isChild()) widget->setWindowTitle(ToQString(window->text));
        break;
    case ui::WindowChange::Focus: widget->setFocus(Qt::OtherFocusReason); break;
    case ui::WindowChange::Redraw: widget->update(); break;
    case ui::WindowChange::ZOrder: {
        // Children stack in their list's order, the first on top.
        std::vector<HWND> children = ui::ChildWindows(hwnd);
        for (auto it = children.rbegin(); it != children.rend(); ++it)
            if (Peer* child = PeerOf(*it); child && child->widget) child->widget->raise();
        break;
    }
    default: break;
    }
}

std::shared_ptr<ui::Backend> MakeQtBackend() { return std::make_shared<QtBackend>(); }

QWidget* WidgetForWindow(HWND window) {
    Peer* peer = PeerOf(window);
    return peer ? peer->widget.data() : nullptr;
}

HWND CreateHostWindow(QWidget* host) {
    static const ATOM registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.lpszClassName = u"LumivelQtHost";
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        return RegisterClassW(&wc);
    }();
    if (!registered || host == nullptr) return nullptr;
    t_adoptNext = host;
    QSize size = host->size();
    HWND hwnd = CreateWindowExW(0, u"LumivelQtHost", u"", WS_POPUP | WS_VISIBLE, 0, 0, size.width(), size.height(), nullptr,
                                nullptr, nullptr, nullptr);
    t_adoptNext = nullptr;
    return hwnd;
}

namespace {
// Loading the library offers the backend by name.
struct Registration {
    Registration() { ui::RegisterBackendFactory("qt", [] { return MakeQtBackend(); }); }
} g_registration;
}  // namespace

}  // namespace lumivel::qtui
