// The Qt 6 Widgets backend of the UI area (libplatform-qt.so), for programs that show windows:
// the console host, and tests under QT_QPA_PLATFORM=offscreen.
//
// Linking this library registers the backend as "qt"; with a display (DISPLAY,
// WAYLAND_DISPLAY or QT_QPA_PLATFORM set) the UI area then chooses it by itself, and
// LUMIVEL_UI=qt asks for it by name. A program may also install it explicitly:
//     lumivel::ui::SetBackend(lumivel::qtui::MakeQtBackend());
// The backend runs on the thread that makes it; a QApplication is created there when the
// program has none yet. Windows of other threads are not shown: their message boxes go to
// stderr and the system log as in the headless backend, and their dialogs fail (-1).
// WidgetForWindow and CreateHostWindow are for the Qt thread only.
#pragma once

#include <memory>

#include "lumivel/ui_backend.h"

class QWidget;

namespace lumivel::qtui {

LUMIVEL_EXPORT std::shared_ptr<ui::Backend> MakeQtBackend();

// The widget that shows a window (null when the window is unknown or not shown by Qt).
LUMIVEL_EXPORT QWidget* WidgetForWindow(HWND window);

// A window whose client area is an existing widget of the program (the place where the
// console hosts a result-pane control): children created with it as parent appear inside
// `host`, and the window follows the widget's size (WM_SIZE).
LUMIVEL_EXPORT HWND CreateHostWindow(QWidget* host);

}  // namespace lumivel::qtui
