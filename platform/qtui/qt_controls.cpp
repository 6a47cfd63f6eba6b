// Widgets of the built-in controls other than list views: buttons, statics, edits, combo
// boxes, rich edit panes, date-time pickers and up-down controls. A widget's signals become
// the user actions of ui_input.h; the control's state flows back through `sync`, so the
// widget always shows what the window procedure sees.
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "lumivel/gdi_objects.h"
#include "lumivel/ui_controls.h"
#include "lumivel/ui_input.h"
#include "lumivel/ui_menus.h"
#include "qt_support.h"

namespace lumivel::qtui {
namespace {

std::shared_ptr<ui::Window> WindowOf(HWND hwnd) { return ui::FindWindowObject(hwnd); }

class FocusReporter final : public QObject {
public:
    FocusReporter(HWND hwnd, QObject* parent) : QObject(parent), m_hwnd(hwnd) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::FocusIn && !SyncGuard::active()) ui::UserFocused(m_hwnd);
        return QObject::eventFilter(object, event);
    }

private:
    HWND m_hwnd;
};

// A one-line edit's Escape reaches its window as WM_KEYDOWN (a subclass may act on it) and then
// goes on to the dialog, whose Cancel it is.
class EscapeReporter final : public QObject {
public:
    EscapeReporter(HWND hwnd, QObject* parent) : QObject(parent), m_hwnd(hwnd) {}
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
            ui::UserKey(m_hwnd, WM_KEYDOWN, VK_ESCAPE);
        return QObject::eventFilter(object, event);
    }

private:
    HWND m_hwnd;
};

QWidget* MakeButton(HWND hwnd, QWidget* parent, Peer& peer) {
    auto window = WindowOf(hwnd);
    UINT type = window->style & BS_TYPEMASK;
    QString text = ToQString(window->text);
    if (type == BS_GROUPBOX) {
        auto* box = new QGroupBox(text, parent);
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        QPointer<QGroupBox> guarded = box;
        peer.sync = [hwnd, guarded](ui::WindowChange change) {
            if (guarded && change == ui::WindowChange::Text) guarded->setTitle(ToQString(WindowOf(hwnd)->text));
            if (guarded) guarded->lower();
        };
        return box;
    }
    QAbstractButton* button;
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE) {
        auto* check = new QCheckBox(text, parent);
        check->setTristate(type == BS_3STATE || type == BS_AUTO3STATE);
        button = check;
    } else if (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON) {
        auto* radio = new QRadioButton(text, parent);
        radio->setAutoExclusive(false);  // the group is the window procedure's business
        button = radio;
    } else {
        auto* push = new QPushButton(text, parent);
        push->setAutoDefault(false);
        button = push;
    }
    QPointer<QAbstractButton> guarded = button;
    peer.sync = [hwnd, guarded](ui::WindowChange) {
        auto window = WindowOf(hwnd);
        if (!guarded || !window) return;
        guarded->setText(ToQString(window->text));
        if (auto* push = qobject_cast<QPushButton*>(guarded.data()))
            push->setDefault((window->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON);
        auto* state = window->state<ui::ButtonState>();
        if (auto* check = qobject_cast<QCheckBox*>(guarded.data()); check && state)
            check->setCheckState(state->check == BST_CHECKED ? Qt::Checked
                                 : state->check == BST_INDETERMINATE ? Qt::PartiallyChecked : Qt::Unchecked);
        if (auto* radio = qobject_cast<QRadioButton*>(guarded.data()); radio && state)
            radio->setChecked(state->check == BST_CHECKED);
    };
    QObject::connect(button, &QAbstractButton::clicked, [hwnd] {
        if (SyncGuard::active()) return;
        ui::UserClickButton(hwnd);
        // The control decides the check state; show its answer, not Qt's guess.
        if (Peer* p = PeerOf(hwnd); p && p->sync) {
            SyncGuard guard;
            p->sync(ui::WindowChange::State);
        }
    });
    return button;
}

QWidget* MakeStatic(HWND hwnd, QWidget* parent, Peer& peer) {
    auto window = WindowOf(hwnd);
    DWORD type = window->style & SS_TYPEMASK;
    if (type == SS_ETCHEDHORZ || type == SS_ETCHEDVERT || type == SS_ETCHEDFRAME || type == SS_BLACKFRAME ||
        type == SS_GRAYFRAME || type == SS_WHITEFRAME) {
        auto* frame = new QFrame(parent);
        frame->setFrameShape(type == SS_ETCHEDHORZ ? QFrame::HLine : type == SS_ETCHEDVERT ? QFrame::VLine : QFrame::Box);
        frame->setFrameShadow(QFrame::Sunken);
        return frame;
    }
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT);
    Qt::Alignment alignment = type == SS_CENTER ? Qt::AlignHCenter : type == SS_RIGHT ? Qt::AlignRight : Qt::AlignLeft;
    label->setAlignment(alignment | Qt::AlignTop);
    QPointer<QLabel> guarded = label;
    peer.sync = [hwnd, guarded, type](ui::WindowChange) {
        auto window = WindowOf(hwnd);
        if (!guarded || !window) return;
        auto* state = window->state<ui::StaticState>();
        if (type == SS_ICON && state && state->icon) {
            if (auto image = gfx::IconImage(state->icon, 32)) guarded->setPixmap(QPixmap::fromImage(ToQImage(*image)));
            return;
        }
        bool literal = (window->style & SS_NOPREFIX) != 0;
        guarded->setText(DrawableText(ToQString(literal ? window->text : ui::MenuTextWithoutMnemonics(window->text))));
    };
    return label;
}

QWidget* MakeEdit(HWND hwnd, QWidget* parent, Peer& peer) {
    auto window = WindowOf(hwnd);
    if (window->style & ES_MULTILINE) {
        auto* edit = new QPlainTextEdit(parent);
        QPointer<QPlainTextEdit> guarded = edit;
        peer.sync = [hwnd, guarded](ui::WindowChange) {
            auto w = WindowOf(hwnd);
            if (!guarded || !w) return;
            bool readOnly = w->style & ES_READONLY;
            guarded->setReadOnly(readOnly);
            QString text = readOnly ? DrawableText(ToQString(w->text), guarded->font()) : ToQString(w->text);
            if (guarded->toPlainText() != text) guarded->setPlainText(text);
        };
        QObject::connect(edit, &QPlainTextEdit::textChanged, [hwnd, guarded] {
            if (SyncGuard::active() || !guarded) return;
            ui::UserSetEditText(hwnd, FromQString(guarded->toPlainText()));
        });
        return edit;
    }
    auto* edit = new QLineEdit(parent);
    edit->installEventFilter(new EscapeReporter(hwnd, edit));
    QPointer<QLineEdit> guarded = edit;
    peer.sync = [hwnd, guarded](ui::WindowChange) {
        auto w = WindowOf(hwnd);
        if (!guarded || !w) return;
        guarded->setEchoMode((w->style & ES_PASSWORD) ? QLineEdit::Password : QLineEdit::Normal);
        bool readOnly = w->style & ES_READONLY;
        guarded->setReadOnly(readOnly);
        DWORD align = w->style & (ES_CENTER | ES_RIGHT);
        guarded->setAlignment(align == ES_CENTER ? Qt::AlignHCenter : align == ES_RIGHT ? Qt::AlignRight : Qt::AlignLeft);
        // Text that is only read shows what no font draws as its code point; text being edited
        // stays as typed, since what is shown there is what is written back.
        QString text = readOnly ? DrawableText(ToQString(w->text), guarded->font()) : ToQString(w->text);
        if (guarded->text() != text) {
            int cursor = guarded->cursorPosition();
            guarded->setText(text);
            guarded->setCursorPosition(std::min(cursor, int(text.size())));
        }
    };
    QObject::connect(edit, &QLineEdit::textEdited, [hwnd, guarded](const QString& text) {
        if (SyncGuard::active() || !guarded) return;
        ui::UserSetEditText(hwnd, FromQString(text));
        // A refused or shortened entry shows what the control kept.
        if (Peer* p = PeerOf(hwnd); p && p->sync) {
            SyncGuard guard;
            p->sync(ui::WindowChange::Text);
        }
    });
    return edit;
}

QWidget* MakeComboBox(HWND hwnd, QWidget* parent, Peer& peer) {
    auto window = WindowOf(hwnd);
    auto* combo = new QComboBox(parent);
    combo->setEditable((window->style & 0x3) == CBS_DROPDOWN);
    QPointer<QComboBox> guarded = combo;
    peer.sync = [hwnd, guarded](ui::WindowChange) {
        auto w = WindowOf(hwnd);
        auto* state = w ? w->state<ui::ComboBoxState>() : nullptr;
        if (!guarded || !state) return;
        QStringList items;
        for (const auto& item : state->items) items << ToQString(item.text);
        QStringList shown;
        for (int i = 0; i < guarded->count(); ++i) shown << guarded->itemText(i);
        if (shown != items) {
            guarded->clear();
            guarded->addItems(items);
        }
        guarded->setCurrentIndex(state->selection);
        if (guarded->isEditable() && state->selection < 0) guarded->setEditText(ToQString(w->text));
    };
    QObject::connect(combo, qOverload<int>(&QComboBox::activated), [hwnd](int index) {
        if (!SyncGuard::active()) ui::UserSelectComboItem(hwnd, index);
    });
    return combo;
}

// The pane is read-only: what no font draws shows as its code point. A link keeps the place
// of its text in the window's own text, whatever the shown text's length.
QString LinkedHtml(const std::u16string& text, const std::vector<ui::LinkRange>& links, const QFont& font) {
    auto shown = [&](size_t from, size_t length) { return DrawableText(ToQString(text.substr(from, length)), font).toHtmlEscaped(); };
    QString html = QStringLiteral("<div style=\"white-space: pre-wrap\">");
    size_t at = 0;
    for (const auto& link : links) {
        if (size_t(link.start) < at || size_t(link.end) > text.size()) continue;
        html += shown(at, size_t(link.start) - at);
        html += QStringLiteral("<a href=\"#%1\">").arg(link.start) + shown(size_t(link.start), size_t(link.end - link.start)) +
                QStringLiteral("</a>");
        at = size_t(link.end);
    }
    html += shown(std::min(at, text.size()), std::u16string::npos) + QStringLiteral("</div>");
    return html;
}

QWidget* MakeRichEdit(HWND hwnd, QWidget* parent, Peer& peer) {
    auto* pane = new QTextBrowser(parent);
    pane->setOpenLinks(false);
    pane->setOpenExternalLinks(false);
    QPointer<QTextBrowser> guarded = pane;
    peer.sync = [hwnd, guarded](ui::WindowChange change) {
        auto w = WindowOf(hwnd);
        auto* state = w ? w->state<ui::RichEditState>() : nullptr;
        if (!guarded || !state || (change != ui::WindowChange::State && change != ui::WindowChange::Text)) return;
        guarded->setHtml(LinkedHtml(w->text, state->links, guarded->font()));
    };
    QObject::connect(pane, &QTextBrowser::anchorClicked, [hwnd](const QUrl& url) {
        bool ok = false;
        LONG position = url.fragment().toLong(&ok);
        if (!ok) return;
        ui::UserClickRichEdit(hwnd, position, WM_LBUTTONDOWN);
        ui::UserClickRichEdit(hwnd, position, WM_LBUTTONUP);
    });
    return pane;
}

QDateTime ToQDateTime(const SYSTEMTIME& t) {
    return QDateTime(QDate(t.wYear, t.wMonth, t.wDay), QTime(t.wHour, t.wMinute, t.wSecond));
}

QWidget* MakeDateTime(HWND hwnd, QWidget* parent, Peer& peer) {
    auto window = WindowOf(hwnd);
    bool timeOnly = (window->style & DTS_TIMEFORMAT) == DTS_TIMEFORMAT;
    auto* picker = new QDateTimeEdit(parent);
    if (timeOnly) {
        picker->setDisplayFormat(QStringLiteral("HH:mm"));
    } else {
        picker->setCalendarPopup(true);
        picker->setDisplayFormat((window->style & DTS_LONGDATEFORMAT) ? QStringLiteral("dddd, d MMMM yyyy")
                                                                      : QStringLiteral("yyyy-MM-dd"));
    }
    QPointer<QDateTimeEdit> guarded = picker;
    peer.sync = [hwnd, guarded](ui::WindowChange) {
        auto w = WindowOf(hwnd);
        auto* state = w ? w->state<ui::DateTimeState>() : nullptr;
        if (!guarded || !state) return;
        if (state->minimum) guarded->setMinimumDateTime(ToQDateTime(*state->minimum));
        else guarded->clearMinimumDateTime();
        if (state->maximum) guarded->setMaximumDateTime(ToQDateTime(*state->maximum));
        else guarded->clearMaximumDateTime();
        QDateTime value = ToQDateTime(state->value);
        if (guarded->dateTime() != value) guarded->setDateTime(value);
    };
    QObject::connect(picker, &QDateTimeEdit::dateTimeChanged, [hwnd, timeOnly](const QDateTime& value) {
        if (SyncGuard::active()) return;
        auto w = WindowOf(hwnd);
        auto* state = w ? w->state<ui::DateTimeState>() : nullptr;
        if (!state) return;
        SYSTEMTIME t = state->value;
        if (timeOnly) {
            t.wHour = WORD(value.time().hour());
            t.wMinute = WORD(value.time().minute());
            t.wSecond = WORD(value.time().second());
        } else {
            t.wYear = WORD(value.date().year());
            t.wMonth = WORD(value.date().month());
            t.wDay = WORD(value.date().day());
        }
        ui::UserSetDateTime(hwnd, &t);
    });
    return picker;
}

QWidget* MakeUpDown(HWND hwnd, QWidget* parent, Peer&) {
    auto window = WindowOf(hwnd);
    bool horizontal = (window->style & UDS_HORZ) != 0;
    auto* box = new QWidget(parent);
    QBoxLayout* layout = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(box)) : new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto* up = new QToolButton(box);
    auto* down = new QToolButton(box);
    up->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
    down->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
    for (QToolButton* b : {up, down}) {
        b->setAutoRepeat(true);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    layout->addWidget(horizontal ? down : up);
    layout->addWidget(horizontal ? up : down);
    QObject::connect(up, &QToolButton::clicked, [hwnd] { ui::UserSpin(hwnd, +1); });
    QObject::connect(down, &QToolButton::clicked, [hwnd] { ui::UserSpin(hwnd, -1); });
    return box;
}

}  // namespace

QWidget* CreateControlWidget(HWND hwnd, QWidget* parent, Peer& peer) {
    auto window = WindowOf(hwnd);
    if (!window) return nullptr;
    QWidget* widget = nullptr;
    switch (window->kind()) {
    case ui::ControlKind::Button: widget = MakeButton(hwnd, parent, peer); break;
    case ui::ControlKind::Static: widget = MakeStatic(hwnd, parent, peer); break;
    case ui::ControlKind::Edit: widget = MakeEdit(hwnd, parent, peer); break;
    case ui::ControlKind::ComboBox: widget = MakeComboBox(hwnd, parent, peer); break;
    case ui::ControlKind::RichEdit: widget = MakeRichEdit(hwnd, parent, peer); break;
    case ui::ControlKind::DateTime: widget = MakeDateTime(hwnd, parent, peer); break;
    case ui::ControlKind::UpDown: widget = MakeUpDown(hwnd, parent, peer); break;
    default: return nullptr;
    }
    if (!widget) return nullptr;
    // Focus moves with the person and reaches the window procedures as WM_SETFOCUS.
    if (window->style & WS_TABSTOP) widget->setFocusPolicy(Qt::StrongFocus);
    widget->installEventFilter(new FocusReporter(hwnd, widget));
    return widget;
}

}  // namespace lumivel::qtui
