// Pieces shared inside the Qt backend: the per-window peer, conversions, widget makers.
#pragma once

#include <QFont>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "lumivel/raster.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_window.h"

namespace lumivel::qtui {

// What the backend keeps per window: its widget and how to bring the widget up to date.
struct Peer {
    HWND hwnd = nullptr;
    QPointer<QWidget> widget;
    ui::ControlKind kind = ui::ControlKind::Custom;
    bool adopted = false;  // a program's widget (CreateHostWindow): never deleted here
    std::function<void(ui::WindowChange)> sync;
};

Peer* PeerOf(HWND hwnd);

// While the backend copies window state into widgets, widget signals are not user actions.
class SyncGuard {
public:
    SyncGuard();
    ~SyncGuard();
    static bool active();
};

inline QString ToQString(const std::u16string& text) {
    return QString::fromUtf16(text.data(), qsizetype(text.size()));
}
inline std::u16string FromQString(const QString& text) { return text.toStdU16String(); }

QImage ToQImage(const gfx::Image& image);

// The text as it can be shown: a character that no installed font can draw becomes its code
// point ("[U+20BB7]") instead of an empty box. For text that is read, never for text edited.
// The font is the one the text is drawn in, by default the application's.
LUMIVEL_EXPORT QString DrawableText(const QString& text);
LUMIVEL_EXPORT QString DrawableText(const QString& text, const QFont& font);

// The dialog font as Qt shows it: the names of Windows' dialog fonts become the desktop's.
QFont DialogQFont(const ui::DialogFontSpec& font);

// Makes the widget of a built-in control, with its sync function; null for other kinds.
QWidget* CreateControlWidget(HWND hwnd, QWidget* parent, Peer& peer);
QWidget* CreateListViewWidget(HWND hwnd, QWidget* parent, Peer& peer);
// The widget of a top-level window, dialog, page or custom child window.
QWidget* CreateWindowWidget(HWND hwnd, QWidget* parent, Peer& peer, bool topLevel);

// Brings a widget's geometry, visibility and enabled state up to the window's.
void ApplyCommonState(HWND hwnd, QWidget* widget, ui::WindowChange change);

// The cursor last set with SetCursor, as Qt draws it.
Qt::CursorShape CurrentCursorShape();

// Rows of a list view that fit its view; -1 when the window is no list shown by Qt.
int ListViewVisibleRows(HWND hwnd);

}  // namespace lumivel::qtui
