#include "console_probe.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QTimerEvent>
#include <QTreeView>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace lumivel::console {

namespace {

// The stall clock ticks this often; a tick that comes late by more was held up.
constexpr int kTickMs = 10;
// Enough for what a screen shows; a list's other rows are not visible anyway.
constexpr int kMaxRows = 80;
constexpr int kMaxColumns = 8;
constexpr int kMaxTexts = 200;

QJsonObject Rect(const QRect& r) { return {{"x", r.x()}, {"y", r.y()}, {"w", r.width()}, {"h", r.height()}}; }

QRect GlobalRect(QWidget* widget, const QRect& local) { return QRect(widget->mapToGlobal(local.topLeft()), local.size()); }

// The rows a view shows now, top to bottom, with their texts and where they are on the screen.
QJsonArray VisibleRows(QAbstractItemView* view) {
    QJsonArray rows;
    view->doItemsLayout();
    auto* tree = qobject_cast<QTreeView*>(view);
    QAbstractItemModel* model = view->model();
    if (!model) return rows;
    QWidget* viewport = view->viewport();
    QModelIndex index = view->indexAt(QPoint(2, 2));
    while (index.isValid() && rows.size() < kMaxRows) {
        QRect rect = view->visualRect(index);
        if (rect.top() >= viewport->height()) break;
        QJsonArray texts;
        int columns = std::min(model->columnCount(index.parent()), kMaxColumns);
        for (int column = 0; column < columns; ++column)
            texts.append(model->index(index.row(), column, index.parent()).data(Qt::DisplayRole).toString());
        QRect row = rect.intersected(viewport->rect());
        QJsonObject entry{{"texts", texts},
                          {"rect", Rect(GlobalRect(viewport, row))},
                          {"selected", view->selectionModel() && view->selectionModel()->isRowSelected(index.row(), index.parent())},
                          {"current", view->currentIndex().row() == index.row() && view->currentIndex().parent() == index.parent()}};
        if (tree) entry.insert("expanded", tree->isExpanded(index));
        if (tree) entry.insert("depth", [&] {
            int depth = 0;
            for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) ++depth;
            return depth;
        }());
        rows.append(entry);
        index = tree ? tree->indexBelow(index) : model->index(index.row() + 1, 0, index.parent());
    }
    return rows;
}

QJsonObject Window(QWidget* window, bool main) {
    QJsonObject entry{{"title", window->windowTitle()},
                      {"main", main},
                      {"class", QString::fromLatin1(window->metaObject()->className())},
                      {"frame", Rect(window->frameGeometry())},
                      {"client", Rect(QRect(window->mapToGlobal(QPoint()), window->size()))},
                      {"active", QApplication::activeWindow() == window},
                      {"modal", window->isModal()}};
    if (auto* menu = qobject_cast<QMenu*>(window)) {
        QJsonArray actions;
        for (QAction* action : menu->actions()) {
            if (action->isSeparator() || !action->isVisible()) continue;
            actions.append(QJsonObject{{"text", action->text()},
                                       {"enabled", action->isEnabled()},
                                       {"rect", Rect(GlobalRect(menu, menu->actionGeometry(action)))}});
        }
        entry.insert("actions", actions);
        return entry;
    }
    QJsonArray texts, views;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        if (!child->isVisible() || child->window() != window) continue;
        if (texts.size() < kMaxTexts) {
            if (auto* label = qobject_cast<QLabel*>(child); label && !label->text().isEmpty()) texts.append(label->text());
            if (auto* line = qobject_cast<QLineEdit*>(child)) texts.append(line->text());
            if (auto* plain = qobject_cast<QPlainTextEdit*>(child)) texts.append(plain->toPlainText());
            if (auto* button = qobject_cast<QAbstractButton*>(child); button && !button->text().isEmpty())
                texts.append(button->text());
        }
        if (auto* view = qobject_cast<QAbstractItemView*>(child))
            views.append(QJsonObject{{"rect", Rect(GlobalRect(view->viewport(), view->viewport()->rect()))},
                                     {"rows", VisibleRows(view)},
                                     {"focus", view->hasFocus()}});
    }
    entry.insert("texts", texts);
    entry.insert("views", views);
    return entry;
}

}  // namespace

std::unique_ptr<ConsoleProbe> ConsoleProbe::FromEnvironment(QMainWindow* window, QLabel* status) {
    const char* path = std::getenv("LUMIVEL_CONSOLE_PROBE");
    if (!path || !*path) return nullptr;
    int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::fprintf(stderr, "lumivel: the console probe %s cannot be written; the console runs without it\n", path);
        return nullptr;
    }
    return std::unique_ptr<ConsoleProbe>(new ConsoleProbe(window, status, fd));
}

ConsoleProbe::ConsoleProbe(QMainWindow* window, QLabel* status, int fd) : m_window(window), m_status(status), m_fd(fd) {
    m_clock.start();
    m_tick = startTimer(kTickMs, Qt::PreciseTimer);
    qApp->installEventFilter(this);
    changed("start");
}

ConsoleProbe::~ConsoleProbe() {
    if (qApp) qApp->removeEventFilter(this);
    ::close(m_fd);
}

void ConsoleProbe::finish() {
    killTimer(m_tick);
    m_finished = true;
    write(QJsonObject{{"seq", ++m_seq}, {"ms", m_clock.elapsed()}, {"reasons", QJsonArray{"end"}},
                      {"stall_ms", m_stall}, {"worst_stall_ms", m_worstStall}});
}

void ConsoleProbe::changed(const char* what) {
    if (!m_reasons.contains(QLatin1String(what))) m_reasons << QLatin1String(what);
    if (m_pending) return;
    m_pending = true;
    // After what is queued now: the layout and paint the change asked for come first.
    QTimer::singleShot(0, this, [this] {
        m_pending = false;
        writeLine();
    });
}

bool ConsoleProbe::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) changed("window");
        break;
    case QEvent::Hide:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) changed("window");
        break;
    case QEvent::ActivationChange:
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) changed("window");
        break;
    case QEvent::Move:
    case QEvent::Resize:
        if (watched == m_window) changed("geometry");
        break;
    case QEvent::EnabledChange:
        // A dialog that fills in after its checks turns its buttons on.
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isVisible()) changed("enabled");
        break;
    case QEvent::MouseButtonRelease: changed("mouse"); break;
    case QEvent::KeyRelease: changed("key"); break;
    default: break;
    }
    return QObject::eventFilter(watched, event);
}

void ConsoleProbe::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_tick) return QObject::timerEvent(event);
    qint64 now = m_clock.elapsed();
    qint64 late = m_lastTick ? now - m_lastTick - kTickMs : 0;
    m_lastTick = now;
    m_stall = std::max(m_stall, late);
    m_worstStall = std::max(m_worstStall, late);
}

void ConsoleProbe::writeLine() {
    if (m_finished) return;
    QJsonArray windows;
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible()) windows.append(Window(window, window == m_window));
    QJsonObject line{{"seq", ++m_seq},
                     {"ms", m_clock.elapsed()},
                     {"reasons", QJsonArray::fromStringList(m_reasons)},
                     {"title", m_window->windowTitle()},
                     {"status", m_status->text()},
                     {"stall_ms", m_stall},
                     {"worst_stall_ms", m_worstStall},
                     {"windows", windows}};
    if (QWidget* focus = QApplication::focusWidget()) {
        QJsonObject focused{{"class", QString::fromLatin1(focus->metaObject()->className())},
                            {"rect", Rect(GlobalRect(focus, focus->rect()))}};
        if (auto* edit = qobject_cast<QLineEdit*>(focus)) focused.insert("text", edit->text());
        line.insert("focus", focused);
    }
    m_reasons.clear();
    m_stall = 0;
    write(line);
}

void ConsoleProbe::write(const QJsonObject& line) {
    QByteArray bytes = QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    for (qsizetype done = 0; done < bytes.size();) {
        ssize_t wrote = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote <= 0) return;
        done += wrote;
    }
}

}  // namespace lumivel::console
