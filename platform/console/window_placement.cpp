#include "window_placement.h"

#include <algorithm>

namespace lumivel::console {

namespace {

// Room left for the frame a window manager draws around the client area (its title bar
// above all): the geometry set here is the client area's.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 48;
// Big enough for the scope tree beside a list of four columns; a smaller screen gets all of
// itself, a very large one no more than a comfortable window.
constexpr QSize kSmallest{800, 560};
constexpr QSize kLargest{1600, 1000};

int Fitted(int available, int frame, int smallest, int largest) {
    int room = std::max(available - frame, 1);
    int wanted = std::clamp(available * 3 / 4, smallest, largest);
    return std::min(wanted, room);
}

}  // namespace

QRect FirstWindowGeometry(const QRect& available) {
    QSize size(Fitted(available.width(), kFrameWidth, kSmallest.width(), kLargest.width()),
               Fitted(available.height(), kFrameHeight, kSmallest.height(), kLargest.height()));
    QRect geometry(QPoint(), size);
    geometry.moveCenter(available.center());
    // The title bar sits above the client area: keep it on the screen.
    geometry.moveTop(std::max(geometry.top(), available.top() + kFrameHeight - kFrameWidth / 2));
    return geometry;
}

}  // namespace lumivel::console
