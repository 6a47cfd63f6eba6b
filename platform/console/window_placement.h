// Where the console's window opens when the user has no layout of their own yet.
#pragma once

#include <QRect>

namespace lumivel::console {

// Most of the screen's free area, centred in it, and never more than fits inside it together
// with the window manager's frame; `available` is the screen's area without panels.
QRect FirstWindowGeometry(const QRect& available);

}  // namespace lumivel::console
