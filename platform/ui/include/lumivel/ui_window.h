// The window model behind HWND, shared by the UI area and its backends.
//
// Threading: a window belongs to the thread that created it. Messages sent from other threads
// are carried to that thread and run there, so a window's fields (and its control state) are
// only touched on its own thread; the tree links (parent, children) and the handle table are
// also read by other threads and are guarded by WindowTreeMutex().
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "lumivel/raster.h"
#include "win/user.h"

namespace lumivel::ui {

// The built-in window classes; a window of a class registered by a program is Custom.
enum class ControlKind {
    Custom,
    Dialog,
    PropertySheet,
    Button,
    Edit,
    Static,
    ComboBox,
    ListView,
    RichEdit,
    DateTime,
    UpDown,
};

struct WindowClass {
    std::u16string name;
    WNDPROC proc = nullptr;
    UINT style = 0;
    int classExtra = 0;
    int windowExtra = 0;
    HINSTANCE instance = nullptr;
    HICON icon = nullptr;
    HCURSOR cursor = nullptr;
    HBRUSH background = nullptr;
    ControlKind kind = ControlKind::Custom;
    bool system = false;
};

// State of a built-in control; each kind derives its own (ui_controls.h).
struct LUMIVEL_EXPORT ControlState {
    virtual ~ControlState() = default;
};

struct DialogState;

struct LUMIVEL_EXPORT Window {
    HWND handle = nullptr;
    std::shared_ptr<WindowClass> windowClass;
    WNDPROC proc = nullptr;
    DWORD style = 0;
    DWORD exStyle = 0;
    std::u16string text;
    HWND parent = nullptr;  // a child's parent, a top-level window's owner
    std::vector<HWND> children;
    RECT rect{};     // window rectangle: in the parent's client coordinates, or on the screen
    RECT frame{};    // thickness of the non-client edges (caption, borders)
    int id = 0;
    HINSTANCE instance = nullptr;
    LONG_PTR userData = 0;
    std::vector<BYTE> extraBytes;
    DWORD threadId = 0;
    HFONT font = nullptr;
    bool destroying = false;
    bool created = false;  // WM_CREATE succeeded and the backend knows it
    std::unique_ptr<DialogState> dialog;
    std::unique_ptr<ControlState> control;
    // What a custom window paints (BeginPaint draws here); backends show it.
    std::shared_ptr<gfx::Image> surface;
    std::shared_ptr<std::mutex> surfaceMutex;
    // The backend's object for this window (a widget), owned by the backend.
    void* peer = nullptr;

    ControlKind kind() const { return windowClass ? windowClass->kind : ControlKind::Custom; }
    bool isChild() const { return (style & WS_CHILD) != 0; }
    int width() const { return rect.right - rect.left; }
    int height() const { return rect.bottom - rect.top; }
    RECT clientRect() const {
        LONG w = width() - frame.left - frame.right, h = height() - frame.top - frame.bottom;
        return RECT{0, 0, w > 0 ? w : 0, h > 0 ? h : 0};
    }

    template <typename T>
    T* state() const {
        return dynamic_cast<T*>(control.get());
    }
};

LUMIVEL_EXPORT std::recursive_mutex& WindowTreeMutex();

// The window behind a handle, or null (with ERROR_INVALID_WINDOW_HANDLE set).
LUMIVEL_EXPORT std::shared_ptr<Window> FindWindowObject(HWND hwnd);

// Children in creation (tab) order; empty for a bad handle.
LUMIVEL_EXPORT std::vector<HWND> ChildWindows(HWND hwnd);

// Sends WM_NOTIFY from a control to its parent with the control's handle and id filled in.
LUMIVEL_EXPORT LRESULT NotifyParent(HWND control, NMHDR& header, UINT code);

// Sends WM_COMMAND with a notification code from a control to its parent.
LUMIVEL_EXPORT void CommandToParent(HWND control, WORD notification);

// Pixels per dialog unit come from the dialog font; these are the base units of the default
// dialog font (8-point "MS Shell Dlg") at 96 dots per inch when no backend measures fonts.
inline constexpr int kDefaultBaseUnitX = 6;
inline constexpr int kDefaultBaseUnitY = 13;

}  // namespace lumivel::ui
