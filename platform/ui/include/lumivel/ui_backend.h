// The pluggable backend that shows windows, dialogs, menus and message boxes.
//
// The UI area keeps every window's state (texts, check states, list-view columns and items
// ...) and runs window and dialog procedures itself; a backend only shows that state and
// turns what the user does into the calls in ui_input.h. So a procedure written for Windows
// sees the same messages under every backend.
//
// Choosing the backend: the first UI call picks one unless a program installed one with
// SetBackend. LUMIVEL_UI=qt|terminal|headless decides when set ("qt" loads libplatform-qt.so
// from beside libplatform.so if the program did not link it). Otherwise the Qt backend is
// used when libplatform-qt is loaded and a display is there (DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM set), else the headless one.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/ui_menus.h"
#include "win/user.h"

namespace lumivel::ui {

enum class WindowChange {
    Text,
    Geometry,
    Visibility,
    Enabled,
    Style,
    State,    // a control's own state: check state, items, columns, selection, value
    Redraw,   // a custom window was painted or invalidated
    Focus,
    ZOrder,
};

struct DialogFontSpec {
    std::u16string face;
    int pointSize = 8;
    int weight = 400;
    bool italic = false;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* name() const = 0;

    // Windows: after WM_CREATE succeeded, whenever something shown changes, before the
    // handle goes away. All calls come on the window's own thread.
    virtual void windowCreated(HWND) {}
    virtual void windowChanged(HWND, WindowChange) {}
    virtual void windowDestroyed(HWND) {}

    // Whether modal dialogs can be shown to a person at all.
    virtual bool canRunDialogs() const = 0;
    // Shows the dialog (or property sheet) and runs until `ended` returns true. Posted work
    // of the thread must keep running meanwhile.
    virtual void runModalLoop(HWND dialog, const std::function<bool()>& ended) = 0;
    // Runs whatever is pending (events, posted work) without blocking.
    virtual void processEvents() {}

    // A message box; returns the id of the button chosen.
    virtual int messageBox(HWND owner, const std::u16string& text, const std::u16string& caption, UINT type) = 0;
    // A popup menu at a screen point; returns the chosen command id or 0.
    virtual UINT trackPopupMenu(HMENU menu, const std::vector<MenuItemSnapshot>& items, UINT flags, POINT at,
                                HWND owner) = 0;

    virtual void setCursor(HCURSOR) {}
    virtual bool cursorPosition(POINT*) { return false; }
    virtual void captureChanged(HWND) {}

    // Pixels per horizontal and vertical dialog unit of a font (x: average character width,
    // y: character height, as Windows measures them).
    virtual POINT dialogBaseUnits(const DialogFontSpec&) { return POINT{6, 13}; }
    // Rows of a report list view that fit its client area (LVM_GETCOUNTPERPAGE).
    virtual int visibleRowCount(HWND) { return -1; }

    // Writes what the window looks like to a PNG file; false when this backend cannot.
    virtual bool renderToPng(HWND, const std::string& /*path*/) { return false; }
};

// Installs a backend for the process (the previous one, if any, is dropped). Windows that
// exist keep their state; only windows created later are shown by the new backend.
LUMIVEL_EXPORT void SetBackend(std::shared_ptr<Backend> backend);
// The backend in use, chosen on first use as described above.
LUMIVEL_EXPORT Backend& CurrentBackend();
// Backends that libraries offer (libplatform-qt registers "qt" when it loads).
LUMIVEL_EXPORT void RegisterBackendFactory(const std::string& name, std::function<std::shared_ptr<Backend>()> factory);

LUMIVEL_EXPORT std::shared_ptr<Backend> MakeHeadlessBackend();
LUMIVEL_EXPORT std::shared_ptr<Backend> MakeTerminalBackend();

// The buttons of a message box type (MB_OK ... MB_CANCELTRYCONTINUE, MB_HELP) in the order they
// are shown, the one MB_DEFBUTTONn makes the default, and their captions ("OK", "&Retry" ...).
LUMIVEL_EXPORT std::vector<int> MessageBoxButtons(UINT type);
LUMIVEL_EXPORT int MessageBoxDefaultButton(UINT type);
// The button that Escape and the close box answer with: Cancel when there is one, OK in a box
// of OK alone, else 0 (the box then stays until a button is pressed).
LUMIVEL_EXPORT int MessageBoxEscapeButton(UINT type);
LUMIVEL_EXPORT std::u16string MessageBoxButtonCaption(int id);

// What a backend needs to know of a dialog: the font its template names (nothing for windows
// that are no dialogs) and whether it runs modally.
LUMIVEL_EXPORT std::optional<DialogFontSpec> DialogFont(HWND dialog);
LUMIVEL_EXPORT bool IsModalDialog(HWND dialog);

// Writes a window's picture to a PNG file through the backend; false when it cannot.
LUMIVEL_EXPORT bool RenderWindowToPng(HWND hwnd, const std::string& path);

}  // namespace lumivel::ui
