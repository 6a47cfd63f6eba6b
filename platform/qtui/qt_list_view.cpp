// List views as Qt tree views over a model that asks the control for each cell. Qt asks only
// for the rows it paints (uniform row heights), so an owner-data list sends LVN_GETDISPINFOW
// for visible rows only. Selection, clicks, keys, header clicks and column widths become the
// list view's notifications through ui_input.h.
#include <QAbstractTableModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPixmap>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QElapsedTimer>

#include <map>
#include <set>

#include "lumivel/gdi_objects.h"
#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "qt_support.h"

namespace lumivel::qtui {
namespace {

ui::ListViewState* StateOf(HWND hwnd) {
    auto window = ui::FindWindowObject(hwnd);
    return window ? window->state<ui::ListViewState>() : nullptr;
}

// A list view draws each cell on one line, so a line break inside a value (a tombstone's
// name carries one before its "DEL:" tail) shows as a space instead of doubling the row.
QString SingleLine(QString text) {
    for (QChar& c : text)
        if (c == u'\n' || c == u'\r') c = u' ';
    return text;
}

class ListModel final : public QAbstractTableModel {
public:
    explicit ListModel(HWND hwnd) : m_hwnd(hwnd) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : m_rows;
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : std::max(int(m_columns.size()), 1);
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_rows) return {};
        int subItem = size_t(index.column()) < m_columns.size() ? m_columns[size_t(index.column())].subItem : 0;
        if (role == Qt::DisplayRole)
            return DrawableText(SingleLine(ToQString(ui::ListViewCellText(m_hwnd, index.row(), subItem))));
        if (role == Qt::ToolTipRole) {
            std::u16string tip = ui::ListViewInfoTip(m_hwnd, index.row(), subItem);
            return tip.empty() ? QVariant() : QVariant(DrawableText(ToQString(tip)));
        }
        if (role == Qt::DecorationRole && index.column() == 0) {
            auto* state = StateOf(m_hwnd);
            if (!state || !state->smallImages) return {};
            int image = ui::ListViewCellImage(m_hwnd, index.row());
            if (image < 0) return {};
            auto cached = m_icons.find(image);
            if (cached != m_icons.end()) return cached->second;
            auto pixels = gfx::ImageListImage(state->smallImages, image);
            if (!pixels) return {};
            QPixmap pixmap = QPixmap::fromImage(ToQImage(*pixels));
            m_icons.emplace(image, pixmap);
            return pixmap;
        }
        if (role == Qt::TextAlignmentRole && size_t(index.column()) < m_columns.size()) {
            int format = m_columns[size_t(index.column())].format & 3;
            return int((format == LVCFMT_RIGHT ? Qt::AlignRight : format == LVCFMT_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) |
                       Qt::AlignVCenter);
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || size_t(section) >= m_columns.size()) return {};
        return ToQString(m_columns[size_t(section)].text);
    }

    // Takes the control's rows and columns; true when the columns changed (the view then
    // starts afresh), false when only the cells and the number of rows may differ.
    bool refresh() {
        auto* state = StateOf(m_hwnd);
        if (!state) return false;
        int rows = ui::ListViewItemCount(m_hwnd);
        bool columnsChanged = state->columns.size() != m_columns.size();
        for (size_t i = 0; !columnsChanged && i < m_columns.size(); ++i)
            columnsChanged = m_columns[i].text != state->columns[i].text || m_columns[i].subItem != state->columns[i].subItem;
        if (state->smallImages != m_imageList) {
            m_icons.clear();
            m_imageList = state->smallImages;
        }
        if (rows == m_rows && !columnsChanged) {
            m_columns = state->columns;
            return false;
        }
        // Rows added or taken away at the end: the view keeps its scroll position (a reset
        // would put it back at the top), and the control says where its rows went.
        if (!columnsChanged) {
            if (rows > m_rows) {
                beginInsertRows({}, m_rows, rows - 1);
                m_rows = rows;
                endInsertRows();
            } else {
                beginRemoveRows({}, rows, m_rows - 1);
                m_rows = rows;
                endRemoveRows();
            }
            m_columns = state->columns;
            return false;
        }
        beginResetModel();
        m_rows = rows;
        m_columns = state->columns;
        endResetModel();
        return true;
    }

    // Cells of these rows may show something new.
    void rowsChanged(int first, int last) {
        first = std::max(first, 0);
        last = std::min(last, m_rows - 1);
        if (first <= last) emit dataChanged(index(first, 0), index(last, columnCount({}) - 1));
    }

    const std::vector<ui::ListColumn>& columns() const { return m_columns; }

private:
    HWND m_hwnd;
    int m_rows = 0;
    std::vector<ui::ListColumn> m_columns;
    HIMAGELIST m_imageList = nullptr;
    mutable std::map<int, QPixmap> m_icons;
};

class ListWidget final : public QTreeView {
public:
    explicit ListWidget(HWND hwnd, QWidget* parent) : QTreeView(parent), m_hwnd(hwnd), m_model(new ListModel(hwnd)) {
        m_model->setParent(this);
        setRootIsDecorated(false);
        setItemsExpandable(false);
        setUniformRowHeights(true);
        setAllColumnsShowFocus(true);
        setModel(m_model);
        header()->setStretchLastSection(false);
        header()->setSectionsClickable(true);
        viewport()->installEventFilter(this);
        connect(header(), &QHeaderView::sectionClicked, [this](int column) {
            if (!SyncGuard::active()) ui::UserListColumnClick(m_hwnd, column);
        });
        connect(header(), &QHeaderView::sectionResized, [this](int column, int, int width) {
            if (!SyncGuard::active()) ui::UserListColumnResized(m_hwnd, column, width);
        });
        // The control's top row follows the user's scrolling, so that a list handed over
        // again can keep the view where it was.
        connect(verticalScrollBar(), &QScrollBar::valueChanged, [this] {
            if (SyncGuard::active()) return;
            QModelIndex top = indexAt(QPoint(1, 1));
            if (!top.isValid()) return;
            m_lastTop = top.row();
            ui::UserListScrolled(m_hwnd, top.row());
        });
        connect(this, &QTreeView::clicked, [this](const QModelIndex& index) {
            ui::UserListClick(m_hwnd, index.row(), index.column(), NM_CLICK, cursorPoint());
        });
        connect(this, &QTreeView::doubleClicked, [this](const QModelIndex& index) {
            ui::UserListClick(m_hwnd, index.row(), index.column(), NM_DBLCLK, cursorPoint());
        });
        hookSelection();
    }

    void sync(ui::WindowChange change) {
        auto window = ui::FindWindowObject(m_hwnd);
        auto* state = StateOf(m_hwnd);
        if (!window || !state) return;
        if (change == ui::WindowChange::Style || change == ui::WindowChange::State) {
            setSelectionMode((window->style & LVS_SINGLESEL) ? QAbstractItemView::SingleSelection
                                                             : QAbstractItemView::ExtendedSelection);
            header()->setSectionsMovable((state->extendedStyle & LVS_EX_HEADERDRAGDROP) != 0);
            header()->setVisible(!(window->style & LVS_NOCOLUMNHEADER));
        }
        if (change != ui::WindowChange::State && change != ui::WindowChange::Redraw) return;
        if (state->redrawSuspended) return;
        if (!m_model->refresh()) {
            // Only what is shown can have changed on screen; asking for other rows would
            // defeat owner data.
            QModelIndex top = indexAt(QPoint(1, 1));
            int first = top.isValid() ? top.row() : 0;
            m_model->rowsChanged(first, first + visibleRows() + 1);
        }
        for (size_t i = 0; i < m_model->columns().size(); ++i)
            if (header()->sectionSize(int(i)) != m_model->columns()[i].width) header()->resizeSection(int(i), m_model->columns()[i].width);
        syncSelection(*state, window->style);
        if (m_lastTop != state->topIndex && state->topIndex < m_model->rowCount({})) {
            m_lastTop = state->topIndex;
            scrollTo(m_model->index(state->topIndex, 0), QAbstractItemView::PositionAtTop);
        }
    }

    // Measured on the top visible row, which is asked for anyway, so that counting rows
    // asks for no row that is not shown.
    int visibleRows() {
        QModelIndex top = indexAt(QPoint(1, 1));
        int row = top.isValid() ? rowHeight(top) : 0;
        if (row <= 0) row = fontMetrics().height() + 4;
        return std::max(0, viewport()->height() / row);
    }

protected:
    // Keys go to the parent first (LVN_KEYDOWN), as the list view sends them before acting.
    void keyPressEvent(QKeyEvent* event) override {
        WORD vk = 0;
        switch (event->key()) {
        case Qt::Key_Delete: vk = VK_DELETE; break;
        case Qt::Key_Return:
        case Qt::Key_Enter: vk = VK_RETURN; break;
        case Qt::Key_F5: vk = VK_F5; break;
        case Qt::Key_Up: vk = VK_UP; break;
        case Qt::Key_Down: vk = VK_DOWN; break;
        case Qt::Key_Home: vk = VK_HOME; break;
        case Qt::Key_End: vk = VK_END; break;
        // Both keyboard ways to a context menu reach the parent as the menu key.
        case Qt::Key_Menu: vk = VK_APPS; break;
        case Qt::Key_F10:
            if (event->modifiers() & Qt::ShiftModifier) vk = VK_APPS;
            break;
        default:
            if (event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z) vk = WORD('A' + event->key() - Qt::Key_A);
        }
        if (vk)
            ui::UserListKeyDown(m_hwnd, vk,
                                (event->modifiers() & Qt::ControlModifier) ? ui::KeyModifier::Control
                                                                           : ui::KeyModifier::None);
        // Taken here, so that no second menu of the toolkit's own follows.
        if (vk == VK_APPS) return event->accept();
        QTreeView::keyPressEvent(event);
    }

    // Type-ahead asks the control (LVN_ODFINDITEMW for owner data), not Qt's own search.
    void keyboardSearch(const QString& search) override {
        if (search.isEmpty()) return;
        QString typed = m_typed.isEmpty() || m_typedAt.elapsed() > 1000 ? search : m_typed + search;
        m_typed = typed;
        m_typedAt.restart();
        int current = currentIndex().isValid() ? currentIndex().row() : -1;
        int found = ui::UserListFindItem(m_hwnd, typed.size() > 1 ? current - 1 : current, FromQString(typed));
        if (found >= 0 && found < m_model->rowCount({})) {
            setCurrentIndex(m_model->index(found, 0));
            scrollTo(m_model->index(found, 0));
        }
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == viewport() && event->type() == QEvent::MouseButtonPress) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                // The right button selects what it is over first, as in Windows' lists.
                QModelIndex index = indexAt(mouse->position().toPoint());
                if (index.isValid() && !selectionModel()->isRowSelected(index.row(), {}))
                    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                else if (!index.isValid())
                    selectionModel()->clearSelection();
                return true;
            }
        }
        if (object == viewport() && event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::RightButton) {
                QModelIndex index = indexAt(mouse->position().toPoint());
                QPoint p = mouse->position().toPoint();
                ui::UserListClick(m_hwnd, index.isValid() ? index.row() : -1, index.isValid() ? index.column() : 0, NM_RCLICK,
                                  POINT{p.x(), p.y()});
                return true;
            }
            if (mouse->button() == Qt::LeftButton && !indexAt(mouse->position().toPoint()).isValid()) {
                QPoint p = mouse->position().toPoint();
                ui::UserListClick(m_hwnd, -1, 0, NM_CLICK, POINT{p.x(), p.y()});
            }
        }
        return QTreeView::eventFilter(object, event);
    }

    // Qt makes the first row current when the view gets the focus; Windows leaves the items'
    // states alone, so that is not reported.
    void focusInEvent(QFocusEvent* event) override {
        {
            SyncGuard guard;
            QTreeView::focusInEvent(event);
        }
        ui::UserFocused(m_hwnd);
    }

private:
    POINT cursorPoint() {
        QPoint p = viewport()->mapFromGlobal(QCursor::pos());
        return POINT{p.x(), p.y()};
    }

    // Qt moves the current row before it changes the selection; the two are reported
    // together, so a click gives one notification per item as on Windows.
    void hookSelection() {
        connect(selectionModel(), &QItemSelectionModel::selectionChanged, [this] {
            m_focusPending = false;
            reportSelection();
        });
        connect(selectionModel(), &QItemSelectionModel::currentRowChanged, [this] {
            if (SyncGuard::active() || m_focusPending) return;
            m_focusPending = true;
            QTimer::singleShot(0, this, [this] {
                if (!m_focusPending) return;
                m_focusPending = false;
                reportSelection();
            });
        });
    }

    void reportSelection() {
        if (SyncGuard::active()) return;
        std::vector<int> rows;
        for (const QItemSelectionRange& range : selectionModel()->selection())
            for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
        int focused = currentIndex().isValid() ? currentIndex().row() : -1;
        ui::UserSetListSelection(m_hwnd, rows, focused);
    }

    // Shows the control's selection, as contiguous ranges so that large lists stay cheap.
    void syncSelection(const ui::ListViewState& state, DWORD style) {
        std::vector<int> selected;
        if (style & LVS_OWNERDATA) {
            selected.assign(state.ownerDataSelected.begin(), state.ownerDataSelected.end());
        } else {
            for (size_t i = 0; i < state.items.size(); ++i)
                if (state.items[i].state & LVIS_SELECTED) selected.push_back(int(i));
        }
        int rows = m_model->rowCount({});
        QItemSelection selection;
        for (size_t i = 0; i < selected.size();) {
            size_t j = i;
            while (j + 1 < selected.size() && selected[j + 1] == selected[j] + 1) ++j;
            if (selected[j] < rows)
                selection.select(m_model->index(selected[i], 0), m_model->index(selected[j], std::max(m_model->columnCount({}) - 1, 0)));
            i = j + 1;
        }
        if (selection != selectionModel()->selection())
            selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        int focused = -1;
        if (style & LVS_OWNERDATA) focused = state.ownerDataFocused;
        else
            for (size_t i = 0; i < state.items.size(); ++i)
                if (state.items[i].state & LVIS_FOCUSED) focused = int(i);
        if (focused >= 0 && focused < rows && currentIndex().row() != focused)
            selectionModel()->setCurrentIndex(m_model->index(focused, 0), QItemSelectionModel::NoUpdate);
    }

    HWND m_hwnd;
    ListModel* m_model;
    int m_lastTop = 0;
    bool m_focusPending = false;
    QString m_typed;
    QElapsedTimer m_typedAt;
};

}  // namespace

QWidget* CreateListViewWidget(HWND hwnd, QWidget* parent, Peer& peer) {
    auto* list = new ListWidget(hwnd, parent);
    QPointer<ListWidget> guarded = list;
    peer.sync = [guarded](ui::WindowChange change) {
        if (guarded) guarded->sync(change);
    };
    return list;
}

int ListViewVisibleRows(HWND hwnd) {
    Peer* peer = PeerOf(hwnd);
    if (!peer || peer->kind != ui::ControlKind::ListView || !peer->widget) return -1;
    return static_cast<ListWidget*>(peer->widget.data())->visibleRows();
}

}  // namespace lumivel::qtui
