#include "console_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QDataStream>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QResizeEvent>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include "console_image_list.h"
#include "console_probe.h"
#include "lumivel/gdi_objects.h"
#include "lumivel/qt_ui.h"
#include "lumivel/snapin_catalog.h"
#include "lumivel/system_messages.h"
#include "qt_support.h"
#include "scope_tree.h"
#include "win/user.h"
#include "window_placement.h"

namespace lumivel::console {

namespace {

constexpr int kItemRole = Qt::UserRole + 1;
// Submenus nested deeper than this are not shown.
constexpr int kMaxMenuDepth = 16;

QString ErrorText(HRESULT hr) {
    std::u16string text = SystemMessageText(DWORD(hr));
    QString code = QStringLiteral("0x%1").arg(quint32(hr), 8, 16, QLatin1Char('0'));
    return text.empty() ? code : qtui::ToQString(text).trimmed() + QStringLiteral(" (") + code + QLatin1Char(')');
}

// Text from a snap-in shown in a menu: '&' marks the access key as in Windows menus.
QString MenuText(const std::u16string& text) { return qtui::ToQString(text); }

}  // namespace

ConsoleWindow::ConsoleWindow() : m_session(std::make_unique<ConsoleSession>(this)) {
    setWindowTitle(QStringLiteral("Console"));
    m_splitter = new QSplitter(this);
    m_tree = new QTreeWidget(m_splitter);
    m_tree->setHeaderHidden(true);
    m_tree->setContextMenuPolicy(Qt::CustomContextMenu);
    m_resultPane = new QStackedWidget(m_splitter);
    m_resultMessage = new QLabel(m_resultPane);
    m_resultMessage->setAlignment(Qt::AlignCenter);
    m_resultMessage->setWordWrap(true);
    // Names and messages may come from the directory: never read as markup.
    m_resultMessage->setTextFormat(Qt::PlainText);
    m_controlHost = new QWidget(m_resultPane);
    m_resultPane->addWidget(m_resultMessage);
    m_resultPane->addWidget(m_controlHost);
    m_splitter->setStretchFactor(0, 1);
    m_splitter->setStretchFactor(1, 3);
    setCentralWidget(m_splitter);
    m_status = new QLabel(this);
    m_status->setTextFormat(Qt::PlainText);
    statusBar()->addWidget(m_status, 1);
    QRect geometry = FirstWindowGeometry(screen()->availableGeometry());
    setGeometry(geometry);
    m_splitter->setSizes({geometry.width() / 4, geometry.width() - geometry.width() / 4});
    m_hostWindow = qtui::CreateHostWindow(m_controlHost);
    m_controlHost->installEventFilter(this);

    connect(m_tree, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
        HSCOPEITEM id = itemOf(item);
        if (!id) return;
        HRESULT hr = m_session->expand(id);
        if (FAILED(hr)) m_status->setText(QStringLiteral("The item cannot be expanded: ") + ErrorText(hr));
        // Nothing came: the expand arrow goes.
        if (treeItem(id) && treeItem(id)->childCount() == 0)
            treeItem(id)->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    });
    connect(m_tree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (HSCOPEITEM id = itemOf(current)) m_session->select(id);
    });
    connect(m_tree, &QTreeWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QTreeWidgetItem* item = m_tree->itemAt(at);
        HSCOPEITEM id = itemOf(item);
        if (!id) return;
        m_tree->setCurrentItem(item);
        QMenu menu(this);
        fillActionMenu(&menu, id);
        menu.exec(m_tree->viewport()->mapToGlobal(at));
    });
    buildMenus();
    m_probe = ConsoleProbe::FromEnvironment(this, m_status);
}

ConsoleWindow::~ConsoleWindow() {
    m_closing = true;
    m_session->close();
    if (m_hostWindow) DestroyWindow(m_hostWindow);
}

HRESULT ConsoleWindow::openSnapin(const CLSID& clsid, const std::u16string& name) {
    HRESULT hr = m_session->open(clsid, name);
    if (FAILED(hr)) return hr;
    setWindowTitle(qtui::ToQString(m_session->displayName(m_session->rootItem())));
    // The static root shows the snap-in's own image.
    SnapinAboutInfo info = m_session->about();
    if (info.image)
        if (auto picture = gfx::IconImage(info.image, 16)) m_rootIcon = QIcon(QPixmap::fromImage(qtui::ToQImage(*picture)));
    setWindowIcon(m_rootIcon);
    if (QTreeWidgetItem* root = treeItem(m_session->rootItem())) refreshItem(root, m_session->rootItem());
    if (QTreeWidgetItem* root = treeItem(m_session->rootItem())) m_tree->setCurrentItem(root);
    return S_OK;
}

void ConsoleWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    exit->setShortcut(QKeySequence::Quit);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_actionMenu = menuBar()->addMenu(QStringLiteral("&Action"));
    connect(m_actionMenu, &QMenu::aboutToShow, this, [this] {
        m_actionMenu->clear();
        if (HSCOPEITEM id = m_session->selectedItem()) fillActionMenu(m_actionMenu, id);
    });

    // F5 works whether or not a menu is open.
    auto* refresh = new QAction(this);
    refresh->setShortcut(QKeySequence(Qt::Key_F5));
    connect(refresh, &QAction::triggered, this, &ConsoleWindow::triggerRefresh);
    addAction(refresh);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* topics = help->addAction(QStringLiteral("&Help Topics"));
    topics->setShortcut(QKeySequence::HelpContents);
    connect(topics, &QAction::triggered, this, &ConsoleWindow::showHelp);
    QAction* about = help->addAction(QStringLiteral("&About..."));
    connect(about, &QAction::triggered, this, &ConsoleWindow::showAbout);
}

void ConsoleWindow::addMenuEntries(QMenu* menu, const std::vector<MenuEntry>& entries, HSCOPEITEM item, int depth) {
    if (depth > kMaxMenuDepth) return;
    for (const MenuEntry& entry : entries) {
        if (entry.specialFlags & CCM_SPECIAL_SEPARATOR || entry.flags & MF_SEPARATOR) {
            menu->addSeparator();
            continue;
        }
        if (entry.specialFlags & CCM_SPECIAL_SUBMENU || entry.flags & MF_POPUP) {
            QMenu* sub = menu->addMenu(MenuText(entry.name));
            sub->setEnabled(!(entry.flags & (MF_GRAYED | MF_DISABLED)));
            addMenuEntries(sub, entry.children, item, depth + 1);
            continue;
        }
        QAction* action = menu->addAction(MenuText(entry.name));
        action->setEnabled(!(entry.flags & (MF_GRAYED | MF_DISABLED)));
        action->setCheckable(entry.flags & MF_CHECKED);
        action->setChecked(entry.flags & MF_CHECKED);
        action->setStatusTip(qtui::ToQString(entry.statusText));
        LONG id = entry.commandId;
        connect(action, &QAction::triggered, this, [this, item, id] {
            HRESULT hr = m_session->command(item, id);
            if (FAILED(hr)) m_status->setText(QStringLiteral("The command failed: ") + ErrorText(hr));
        });
        connect(action, &QAction::hovered, this, [this, action] { m_status->setText(action->statusTip()); });
    }
}

void ConsoleWindow::fillActionMenu(QMenu* menu, HSCOPEITEM item) {
    std::vector<MenuEntry> entries = m_session->contextMenu(item);
    auto at = [&](LONG point) {
        std::vector<MenuEntry> found;
        for (const MenuEntry& entry : entries)
            if (entry.insertionPoint == point) found.push_back(entry);
        return found;
    };
    addMenuEntries(menu, at(CCM_INSERTIONPOINTID_PRIMARY_TOP), item, 0);
    if (auto added = at(CCM_INSERTIONPOINTID_PRIMARY_NEW); !added.empty())
        addMenuEntries(menu->addMenu(QStringLiteral("Ne&w")), added, item, 1);
    if (auto tasks = at(CCM_INSERTIONPOINTID_PRIMARY_TASK); !tasks.empty())
        addMenuEntries(menu->addMenu(QStringLiteral("All Tas&ks")), tasks, item, 1);
    addMenuEntries(menu, at(CCM_INSERTIONPOINTID_PRIMARY_VIEW), item, 0);
    // Verbs belong to the selection; a context menu of another item selects it first.
    if (item == m_session->selectedItem()) {
        if (!menu->isEmpty()) menu->addSeparator();
        QAction* refresh = menu->addAction(QStringLiteral("Re&fresh"));
        refresh->setShortcut(QKeySequence(Qt::Key_F5));
        refresh->setEnabled(m_session->refreshOffered());
        connect(refresh, &QAction::triggered, this, &ConsoleWindow::triggerRefresh);
        if (m_session->deleteOffered()) {
            QAction* remove = menu->addAction(QStringLiteral("&Delete"));
            connect(remove, &QAction::triggered, this, [this] { m_session->deleteSelected(); });
        }
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("&Help")), &QAction::triggered, this, &ConsoleWindow::showHelp);
}

QTreeWidgetItem* ConsoleWindow::treeItem(HSCOPEITEM item) const {
    auto it = m_items.find(item);
    return it == m_items.end() ? nullptr : it->second;
}

HSCOPEITEM ConsoleWindow::itemOf(QTreeWidgetItem* item) const {
    return item ? HSCOPEITEM(item->data(0, kItemRole).toLongLong()) : 0;
}

void ConsoleWindow::expandItem(HSCOPEITEM item) {
    if (QTreeWidgetItem* widgetItem = treeItem(item)) widgetItem->setExpanded(true);
}

void ConsoleWindow::selectItem(HSCOPEITEM item) {
    if (QTreeWidgetItem* widgetItem = treeItem(item)) m_tree->setCurrentItem(widgetItem);
}

void ConsoleWindow::triggerRefresh() {
    HRESULT hr = m_session->refresh();
    if (FAILED(hr)) m_status->setText(QStringLiteral("The item cannot be refreshed: ") + ErrorText(hr));
}

void ConsoleWindow::refreshItem(QTreeWidgetItem* widgetItem, HSCOPEITEM item) {
    widgetItem->setText(0, qtui::DrawableText(qtui::ToQString(m_session->displayName(item))));
    int image = m_session->imageOf(item);
    QIcon icon;
    if (image >= 0) {
        if (auto picture = gfx::ImageListImage(m_session->scopeImages().small(), image))
            icon = QIcon(QPixmap::fromImage(qtui::ToQImage(*picture)));
    } else if (item == m_session->rootItem()) {
        icon = m_rootIcon;
    }
    widgetItem->setIcon(0, icon);
}

void ConsoleWindow::scopeChanged(ScopeChange change, HSCOPEITEM item) {
    if (m_closing) return;
    if (m_probe) m_probe->changed("scope");
    const ScopeItem* data = m_session->tree().find(item);
    switch (change) {
    case ScopeChange::Inserted: {
        if (!data) return;
        QTreeWidgetItem* parent = treeItem(data->parent);
        auto* widgetItem = new QTreeWidgetItem();
        widgetItem->setData(0, kItemRole, qlonglong(item));
        widgetItem->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        // Insert at the item's place among its siblings.
        if (parent) {
            QTreeWidgetItem* before = treeItem(data->next);
            if (before)
                parent->insertChild(parent->indexOfChild(before), widgetItem);
            else
                parent->addChild(widgetItem);
            parent->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
        } else {
            m_tree->addTopLevelItem(widgetItem);
        }
        m_items[item] = widgetItem;
        refreshItem(widgetItem, item);
        break;
    }
    case ScopeChange::Changed:
        if (QTreeWidgetItem* widgetItem = treeItem(item)) refreshItem(widgetItem, item);
        break;
    case ScopeChange::Deleted:
        if (QTreeWidgetItem* widgetItem = treeItem(item)) {
            m_items.erase(item);
            // Children were reported first, so the item has none left.
            delete widgetItem;
        }
        break;
    }
}

void ConsoleWindow::selectRequested(HSCOPEITEM item) {
    // Not inside the snap-in's own notification: the selection runs when it has returned.
    // Asked for the item shown already, the snap-in wants it shown anew.
    QTimer::singleShot(0, this, [this, item] {
        if (item == m_session->selectedItem())
            m_session->select(item, true);
        else
            selectItem(item);
    });
}

void ConsoleWindow::statusTextChanged(const std::u16string& text) {
    m_status->setText(qtui::DrawableText(qtui::ToQString(text)));
    if (m_probe) m_probe->changed("status");
}

void ConsoleWindow::resultViewChanged() {
    if (m_closing) return;
    const std::u16string& type = m_session->resultViewType();
    if (m_session->resultView()) {
        m_resultPane->setCurrentWidget(m_controlHost);
        return;
    }
    QString text;
    if (!m_session->selectedItem())
        text = QString();
    else if (type.empty())
        text = QStringLiteral("There are no items to show in this view.");
    else
        text = QStringLiteral("The view %1 cannot be shown: %2")
                   .arg(qtui::ToQString(type), ErrorText(m_session->resultViewError()));
    m_resultMessage->setText(text);
    m_resultPane->setCurrentWidget(m_resultMessage);
}

void ConsoleWindow::imagesChanged() {
    if (m_closing) return;
    for (auto& [item, widgetItem] : m_items) refreshItem(widgetItem, item);
}

HWND ConsoleWindow::mainWindow() { return m_hostWindow; }

HWND ConsoleWindow::resultHost(RECT* area) {
    if (area) *area = RECT{0, 0, m_controlHost->width(), m_controlHost->height()};
    return m_hostWindow;
}

bool ConsoleWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_controlHost && event->type() == QEvent::Resize && !m_closing) {
        QSize size = static_cast<QResizeEvent*>(event)->size();
        m_session->resizeResultView(RECT{0, 0, size.width(), size.height()});
    }
    return QMainWindow::eventFilter(watched, event);
}

QString ConsoleWindow::resultPaneText() const {
    return m_resultPane->currentWidget() == m_resultMessage ? m_resultMessage->text() : QString();
}

QString ConsoleWindow::statusBarText() const { return m_status->text(); }

QDialog* ConsoleWindow::createAboutDialog() {
    SnapinAboutInfo info = m_session->about();
    auto* dialog = new QDialog(this);
    dialog->setWindowTitle(QStringLiteral("About %1").arg(qtui::ToQString(info.name)));
    auto* layout = new QGridLayout(dialog);
    auto* image = new QLabel(dialog);
    if (info.image)
        if (auto picture = gfx::IconImage(info.image, 32)) image->setPixmap(QPixmap::fromImage(qtui::ToQImage(*picture)));
    layout->addWidget(image, 0, 0, 4, 1, Qt::AlignTop);
    auto line = [&](int row, const QString& text, bool bold) {
        auto* label = new QLabel(text, dialog);
        label->setTextFormat(Qt::PlainText);
        if (bold) {
            QFont font = label->font();
            font.setBold(true);
            label->setFont(font);
        }
        layout->addWidget(label, row, 1);
    };
    line(0, qtui::ToQString(info.name), true);
    line(1, qtui::ToQString(info.description), false);
    line(2, QStringLiteral("Provider: ") + qtui::ToQString(info.provider), false);
    line(3, QStringLiteral("Version: ") + qtui::ToQString(info.version), false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, dialog);
    connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    layout->addWidget(buttons, 4, 0, 1, 2);
    return dialog;
}

void ConsoleWindow::showAbout() {
    QDialog* dialog = createAboutDialog();
    dialog->exec();
    delete dialog;
}

QString ConsoleWindow::helpFile() {
    auto topic = m_session->helpTopic();
    if (!topic) return {};
    QString path = qtui::ToQString(*topic);
    return QFileInfo(path).isFile() ? path : QString();
}

void ConsoleWindow::showHelp() {
    auto topic = m_session->helpTopic();
    QString path = helpFile();
    if (path.isEmpty()) {
        QMessageBox::information(this, windowTitle(),
                                 topic ? QStringLiteral("The help file %1 cannot be found.").arg(qtui::ToQString(*topic))
                                       : QStringLiteral("This snap-in offers no help."));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::information(this, windowTitle(),
                                 QStringLiteral("No browser could be started to show %1.").arg(path));
}

void ConsoleWindow::restoreLayout() {
    std::string layout = RememberedLayout();
    QByteArray bytes(layout.data(), qsizetype(layout.size()));
    // Geometry and splitter state, each with its length before it.
    QDataStream stream(bytes);
    QByteArray geometry, splitter;
    stream >> geometry >> splitter;
    if (stream.status() != QDataStream::Ok) return;
    restoreGeometry(geometry);
    m_splitter->restoreState(splitter);
}

void ConsoleWindow::saveLayout() {
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << saveGeometry() << m_splitter->saveState();
    RememberLayout(std::string(bytes.constData(), size_t(bytes.size())));
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
    if (m_probe) m_probe->finish();
    saveLayout();
    m_closing = true;
    m_session->close();
    event->accept();
}

}  // namespace lumivel::console
