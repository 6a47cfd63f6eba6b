// Window classes and windows: registration, creation with Windows' message sequence,
// destruction of whole subtrees, the window tree, window longs and texts.
#include <algorithm>
#include <cstring>
#include <map>

#include <unistd.h>

#include "lumivel/handle_table.h"
#include "lumivel/thread_queue.h"
#include "lumivel/ui_controls.h"
#include "lumivel/wide_string.h"
#include "win/winerror.h"
#include "ui_internal.h"
#include "win/errors.h"
#include "win/threads.h"

namespace lumivel::ui {
namespace {

HandleTable<Window>& Windows() {
    static auto* table = new HandleTable<Window>;
    return *table;
}

struct ClassRegistry {
    std::mutex mutex;
    std::vector<std::shared_ptr<WindowClass>> classes;
    std::map<ATOM, std::shared_ptr<WindowClass>> byAtom;
    ATOM nextAtom = 0xC000;
};

ClassRegistry& Classes() {
    static auto* registry = new ClassRegistry;
    return *registry;
}

bool SameName(const std::u16string& a, const std::u16string& b) { return EqualsNoCase(a, b); }

ATOM AddClass(std::shared_ptr<WindowClass> windowClass) {
    ClassRegistry& registry = Classes();
    std::lock_guard lock(registry.mutex);
    for (const auto& existing : registry.classes) {
        if (SameName(existing->name, windowClass->name) &&
            (existing->system || existing->instance == windowClass->instance)) {
            SetLastError(ERROR_CLASS_ALREADY_EXISTS);
            return 0;
        }
    }
    ATOM atom = registry.nextAtom++;
    registry.classes.push_back(windowClass);
    registry.byAtom[atom] = windowClass;
    return atom;
}

std::unique_ptr<ControlState> NewControlState(ControlKind kind) {
    switch (kind) {
    case ControlKind::Button: return std::make_unique<ButtonState>();
    case ControlKind::Static: return std::make_unique<StaticState>();
    case ControlKind::Edit: return std::make_unique<EditState>();
    case ControlKind::ComboBox: return std::make_unique<ComboBoxState>();
    case ControlKind::ListView: return std::make_unique<ListViewState>();
    case ControlKind::RichEdit: return std::make_unique<RichEditState>();
    case ControlKind::DateTime: return std::make_unique<DateTimeState>();
    case ControlKind::UpDown: return std::make_unique<UpDownState>();
    default: return nullptr;
    }
}

// A thread's windows end with the thread, as on Windows: top-level windows (and with them
// their children) are destroyed on the ending thread. The main thread's are left to the
// process exit, when the modules that own their procedures may already be gone.
struct ThreadWindows {
    bool used = false;
    ~ThreadWindows() {
        if (!used || DWORD(getpid()) == GetCurrentThreadId()) return;
        DWORD self = GetCurrentThreadId();
        for (const auto& window : Windows().snapshot())
            if (window->threadId == self && !window->isChild() && !window->destroying) DestroyWindow(window->handle);
    }
};
thread_local ThreadWindows t_threadWindows;

}  // namespace

RECT NonClientFrame(DWORD style, DWORD exStyle) {
    RECT frame{};
    int edge = 0;
    if (exStyle & WS_EX_CLIENTEDGE) edge += 2;
    if ((style & WS_CHILD) == 0 && (style & (WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME | DS_MODALFRAME)))
        edge += 3;
    else if (style & WS_BORDER) edge += 1;
    frame = RECT{edge, edge, edge, edge};
    if ((style & WS_CAPTION) == WS_CAPTION) frame.top += 23;
    return frame;
}

namespace {

void SendNotifyParent(const std::shared_ptr<Window>& window, WORD event) {
    if (!window->isChild() || (window->exStyle & WS_EX_NOPARENTNOTIFY) || window->parent == nullptr) return;
    SendMessageW(window->parent, WM_PARENTNOTIFY, MAKEWPARAM(event, WORD(window->id)),
                 reinterpret_cast<LPARAM>(window->handle));
}

void Unlink(const std::shared_ptr<Window>& window) {
    std::lock_guard lock(WindowTreeMutex());
    if (auto parent = Windows().find(window->parent)) {
        auto& siblings = parent->children;
        siblings.erase(std::remove(siblings.begin(), siblings.end(), window->handle), siblings.end());
    }
}

// WM_DESTROY reaches a window before its children, WM_NCDESTROY after them, as on Windows.
void DestroyTree(const std::shared_ptr<Window>& window) {
    window->destroying = true;
    if (GetCapture() == window->handle) ReleaseCapture();
    CallProcedure(window, WM_DESTROY, 0, 0);
    for (HWND child : ChildWindows(window->handle)) {
        if (auto c = Windows().find(child); c && !c->destroying) DestroyTree(c);
    }
    if (window->created) CurrentBackend().windowDestroyed(window->handle);
    CallProcedure(window, WM_NCDESTROY, 0, 0);
    Unlink(window);
    Windows().remove(window->handle);
}

}  // namespace

std::recursive_mutex& WindowTreeMutex() {
    static auto* mutex = new std::recursive_mutex;
    return *mutex;
}


std::shared_ptr<Window> FindWindowObject(HWND hwnd) {
    auto window = Windows().find(hwnd);
    if (!window) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return window;
}

std::vector<HWND> ChildWindows(HWND hwnd) {
    std::lock_guard lock(WindowTreeMutex());
    auto window = Windows().find(hwnd);
    return window ? window->children : std::vector<HWND>{};
}

std::shared_ptr<WindowClass> FindWindowClass(LPCWSTR name, HINSTANCE instance) {
    RegisterSystemClasses();
    ClassRegistry& registry = Classes();
    std::lock_guard lock(registry.mutex);
    if (name == nullptr) return nullptr;
    if (IS_INTRESOURCE(name)) {
        auto it = registry.byAtom.find(ATOM(reinterpret_cast<ULONG_PTR>(name)));
        return it == registry.byAtom.end() ? nullptr : it->second;
    }
    std::u16string wanted(name);
    std::shared_ptr<WindowClass> fallback;
    for (const auto& c : registry.classes) {
        if (!SameName(c->name, wanted)) continue;
        if (c->system || c->instance == instance) return c;
        fallback = c;
    }
    return fallback;
}

void RegisterSystemClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct System {
            const char16_t* name;
            WNDPROC proc;
            ControlKind kind;
            UINT style;
        };
        const System classes[] = {
            {kDialogClassName, DialogWindowProc, ControlKind::Dialog, CS_DBLCLKS},
            {kPropertySheetClassName, PropertySheetProc, ControlKind::PropertySheet, CS_DBLCLKS},
            {u"Button", ButtonProc, ControlKind::Button, CS_DBLCLKS | CS_PARENTDC},
            {u"Static", StaticProc, ControlKind::Static, CS_PARENTDC},
            {u"Edit", EditProc, ControlKind::Edit, CS_DBLCLKS | CS_PARENTDC},
            {u"ComboBox", ComboBoxProc, ControlKind::ComboBox, CS_DBLCLKS | CS_PARENTDC},
            {u"SysListView32", ListViewProc, ControlKind::ListView, CS_DBLCLKS},
            {u"RichEdit20W", RichEditProc, ControlKind::RichEdit, CS_DBLCLKS},
            {u"RichEdit50W", RichEditProc, ControlKind::RichEdit, CS_DBLCLKS},
            {u"SysDateTimePick32", DateTimeProc, ControlKind::DateTime, CS_DBLCLKS},
            {u"msctls_updown32", UpDownProc, ControlKind::UpDown, 0},
        };
        for (const auto& s : classes) {
            auto windowClass = std::make_shared<WindowClass>();
            windowClass->name = s.name;
            windowClass->proc = s.proc;
            windowClass->kind = s.kind;
            windowClass->style = s.style | CS_GLOBALCLASS;
            windowClass->system = true;
            windowClass->cursor = LoadCursorW(nullptr, IDC_ARROW);
            AddClass(std::move(windowClass));
        }
    });
}

HWND CreateWindowWithClass(std::shared_ptr<WindowClass> windowClass, DWORD exStyle, LPCWSTR name, DWORD style, int x,
                           int y, int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param,
                           std::unique_ptr<DialogState> dialogState) {
    if (parent == HWND_MESSAGE) parent = nullptr;
    std::shared_ptr<Window> parentWindow;
    if (parent != nullptr) {
        parentWindow = FindWindowObject(parent);
        if (!parentWindow) return nullptr;
    } else if (style & WS_CHILD) {
        SetLastError(ERROR_TLW_WITH_WSCHILD);
        return nullptr;
    }
    if (!(style & WS_CHILD)) {
        if (x == CW_USEDEFAULT) x = y = 100;
        if (width == CW_USEDEFAULT) width = height = 400;
    } else {
        if (x == CW_USEDEFAULT) x = y = 0;
        if (width == CW_USEDEFAULT) width = height = 0;
    }
    // Negative sizes are Windows' zero.
    width = std::max(width, 0);
    height = std::max(height, 0);

    auto window = std::make_shared<Window>();
    window->windowClass = windowClass;
    window->proc = windowClass->proc;
    window->style = style;
    window->exStyle = exStyle;
    window->text = name ? std::u16string(name) : std::u16string();
    window->parent = parent;
    window->rect = RECT{x, y, x + width, y + height};
    window->frame = NonClientFrame(style, exStyle);
    window->id = (style & WS_CHILD) ? int(reinterpret_cast<LONG_PTR>(menuOrId)) : 0;
    window->instance = instance;
    window->extraBytes.assign(size_t(std::clamp(windowClass->windowExtra, 0, 4096)), 0);
    window->threadId = GetCurrentThreadId();
    // Messages from other threads reach the window through its thread's queue, which must
    // exist from now on.
    lumivel::CurrentThreadQueue();
    t_threadWindows.used = true;
    window->control = NewControlState(windowClass->kind);
    window->dialog = std::move(dialogState);
    HWND handle;
    {
        std::lock_guard lock(WindowTreeMutex());
        handle = Windows().add<HWND>(window);
        window->handle = handle;
        if (parentWindow && (style & WS_CHILD)) parentWindow->children.push_back(handle);
    }

    CREATESTRUCTW create{};
    create.lpCreateParams = param;
    create.hInstance = instance;
    create.hMenu = menuOrId;
    create.hwndParent = parent;
    create.cx = width;
    create.cy = height;
    create.x = x;
    create.y = y;
    create.style = LONG(style);
    create.lpszName = name;
    create.lpszClass = windowClass->name.c_str();
    create.dwExStyle = exStyle;
    if (!CallProcedure(window, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&create))) {
        CallProcedure(window, WM_NCDESTROY, 0, 0);
        Unlink(window);
        Windows().remove(handle);
        if (GetLastError() == 0) SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (CallProcedure(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyTree(window);
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (!Windows().find(handle)) return nullptr;  // destroyed itself while being created
    window->created = true;
    CurrentBackend().windowCreated(handle);
    RECT client = window->clientRect();
    CallProcedure(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));
    CallProcedure(window, WM_MOVE, 0, MAKELPARAM(x + window->frame.left, y + window->frame.top));
    SendNotifyParent(window, WM_CREATE);
    return handle;
}

void Changed(HWND hwnd, WindowChange change) {
    auto window = Windows().find(hwnd);
    if (window) Changed(*window, change);
}

void Changed(const Window& window, WindowChange change) {
    if (window.created && !window.destroying) CurrentBackend().windowChanged(window.handle, change);
}

void SetWindowTextInternal(const std::shared_ptr<Window>& window, std::u16string text) {
    if (window->text == text) return;
    window->text = std::move(text);
    Changed(*window, WindowChange::Text);
}

LRESULT NotifyParent(HWND control, NMHDR& header, UINT code) {
    auto window = Windows().find(control);
    if (!window || window->parent == nullptr) return 0;
    header.hwndFrom = control;
    header.idFrom = UINT_PTR(window->id);
    header.code = code;
    return SendMessageW(window->parent, WM_NOTIFY, WPARAM(window->id), reinterpret_cast<LPARAM>(&header));
}

void CommandToParent(HWND control, WORD notification) {
    auto window = Windows().find(control);
    if (!window || window->parent == nullptr) return;
    SendMessageW(window->parent, WM_COMMAND, MAKEWPARAM(WORD(window->id), notification),
                 reinterpret_cast<LPARAM>(control));
}

}  // namespace lumivel::ui

using namespace lumivel::ui;

extern "C" {

ATOM RegisterClassExW(const WNDCLASSEXW* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->cbSize != sizeof(WNDCLASSEXW) || lpWndClass->lpszClassName == nullptr ||
        IS_INTRESOURCE(lpWndClass->lpszClassName) || lpWndClass->lpfnWndProc == nullptr ||
        lpWndClass->lpszClassName[0] == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    RegisterSystemClasses();
    auto windowClass = std::make_shared<WindowClass>();
    windowClass->name = lpWndClass->lpszClassName;
    windowClass->proc = lpWndClass->lpfnWndProc;
    windowClass->style = lpWndClass->style;
    windowClass->classExtra = lpWndClass->cbClsExtra;
    windowClass->windowExtra = lpWndClass->cbWndExtra;
    windowClass->instance = lpWndClass->hInstance;
    windowClass->icon = lpWndClass->hIcon;
    windowClass->cursor = lpWndClass->hCursor;
    windowClass->background = lpWndClass->hbrBackground;
    return AddClass(std::move(windowClass));
}

ATOM RegisterClassW(const WNDCLASSW* lpWndClass) {
    if (lpWndClass == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    WNDCLASSEXW ex{};
    ex.cbSize = sizeof(ex);
    ex.style = lpWndClass->style;
    ex.lpfnWndProc = lpWndClass->lpfnWndProc;
    ex.cbClsExtra = lpWndClass->cbClsExtra;
    ex.cbWndExtra = lpWndClass->cbWndExtra;
    ex.hInstance = lpWndClass->hInstance;
    ex.hIcon = lpWndClass->hIcon;
    ex.hCursor = lpWndClass->hCursor;
    ex.hbrBackground = lpWndClass->hbrBackground;
    ex.lpszMenuName = lpWndClass->lpszMenuName;
    ex.lpszClassName = lpWndClass->lpszClassName;
    return RegisterClassExW(&ex);
}

BOOL UnregisterClassW(LPCWSTR lpClassName, HINSTANCE hInstance) {
    auto windowClass = FindWindowClass(lpClassName, hInstance);
    if (!windowClass || windowClass->system) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    ClassRegistry& registry = Classes();
    std::lock_guard lock(registry.mutex);
    registry.classes.erase(std::remove(registry.classes.begin(), registry.classes.end(), windowClass),
                           registry.classes.end());
    for (auto it = registry.byAtom.begin(); it != registry.byAtom.end();)
        it = it->second == windowClass ? registry.byAtom.erase(it) : std::next(it);
    return TRUE;
}

BOOL GetClassInfoW(HINSTANCE hInstance, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
    auto windowClass = FindWindowClass(lpClassName, hInstance);
    if (!windowClass || lpWndClass == nullptr) {
        SetLastError(ERROR_CLASS_DOES_NOT_EXIST);
        return FALSE;
    }
    lpWndClass->style = windowClass->style;
    lpWndClass->lpfnWndProc = windowClass->proc;
    lpWndClass->cbClsExtra = windowClass->classExtra;
    lpWndClass->cbWndExtra = windowClass->windowExtra;
    lpWndClass->hInstance = windowClass->instance;
    lpWndClass->hIcon = windowClass->icon;
    lpWndClass->hCursor = windowClass->cursor;
    lpWndClass->hbrBackground = windowClass->background;
    lpWndClass->lpszMenuName = nullptr;
    lpWndClass->lpszClassName = windowClass->name.c_str();
    return TRUE;
}

HWND CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                     int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance, LPVOID lpParam) {
    auto windowClass = FindWindowClass(lpClassName, hInstance);
    if (!windowClass) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return nullptr;
    }
    std::unique_ptr<DialogState> dialogState;
    if (windowClass->kind == ControlKind::Dialog) dialogState = std::make_unique<DialogState>();
    return CreateWindowWithClass(std::move(windowClass), dwExStyle, lpWindowName, dwStyle, X, Y, nWidth, nHeight,
                                 hWndParent, hMenu, hInstance, lpParam, std::move(dialogState));
}

BOOL DestroyWindow(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    if (!window) return FALSE;
    if (window->threadId != GetCurrentThreadId()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (window->destroying) return TRUE;
    // Owned windows (dialogs whose owner this is) go before their owner, as on Windows.
    for (const auto& other : lumivel::ui::Windows().snapshot())
        if (!other->isChild() && other->parent == hWnd && !other->destroying) DestroyWindow(other->handle);
    if (window->isChild() && !(window->exStyle & WS_EX_NOPARENTNOTIFY) && window->parent)
        SendMessageW(window->parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, WORD(window->id)),
                     reinterpret_cast<LPARAM>(hWnd));
    if (window->created && (window->style & WS_VISIBLE)) {
        window->style &= ~WS_VISIBLE;
        Changed(*window, WindowChange::Visibility);
    }
    lumivel::ui::DestroyTree(window);
    return TRUE;
}

BOOL IsWindow(HWND hWnd) {
    auto window = lumivel::ui::FindWindowObject(hWnd);
    return window && !window->destroying ? TRUE : FALSE;
}

HWND GetParent(HWND hWnd) {
    std::lock_guard lock(WindowTreeMutex());
    auto window = FindWindowObject(hWnd);
    if (!window) return nullptr;
    // Windows answers the parent of a child and the owner of a popup.
    if (window->isChild() || (window->style & WS_POPUP)) return window->parent;
    return nullptr;
}

BOOL IsChild(HWND hWndParent, HWND hWnd) {
    std::lock_guard lock(WindowTreeMutex());
    auto window = FindWindowObject(hWnd);
    for (int depth = 0; window && window->isChild() && depth < 256; ++depth) {
        if (window->parent == hWndParent) return TRUE;
        window = FindWindowObject(window->parent);
    }
    return FALSE;
}

HWND SetParent(HWND hWndChild, HWND hWndNewParent) {
    std::lock_guard lock(WindowTreeMutex());
    auto window = FindWindowObject(hWndChild);
    if (!window) return nullptr;
    std::shared_ptr<Window> newParent;
    if (hWndNewParent) {
        newParent = FindWindowObject(hWndNewParent);
        if (!newParent) return nullptr;
        for (auto p = newParent; p; p = p->isChild() ? FindWindowObject(p->parent) : nullptr)
            if (p == window) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
    }
    HWND previous = window->parent;
    Unlink(window);
    window->parent = hWndNewParent;
    if (newParent && window->isChild()) newParent->children.push_back(hWndChild);
    Changed(*window, WindowChange::ZOrder);
    return previous;
}

HWND GetWindow(HWND hWnd, UINT uCmd) {
    std::lock_guard lock(WindowTreeMutex());
    auto window = FindWindowObject(hWnd);
    if (!window) return nullptr;
    if (uCmd == GW_CHILD) return window->children.empty() ? nullptr : window->children.front();
    if (uCmd == GW_OWNER) return window->isChild() ? nullptr : window->parent;
    if (!window->isChild()) return nullptr;
    auto parent = FindWindowObject(window->parent);
    if (!parent) return nullptr;
    const auto& siblings = parent->children;
    auto it = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
    case GW_HWNDFIRST: return siblings.front();
    case GW_HWNDLAST: return siblings.back();
    case GW_HWNDNEXT: return (it == siblings.end() || it + 1 == siblings.end()) ? nullptr : *(it + 1);
    case GW_HWNDPREV: return (it == siblings.begin() || it == siblings.end()) ? nullptr : *(it - 1);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
    }
}

// No desktop window exists here; a fixed pseudo handle stands for it where one is asked for.
HWND GetDesktopWindow() { return nullptr; }

int GetDlgCtrlID(HWND hWnd) {
    auto window = FindWindowObject(hWnd);
    return window && window->isChild() ? window->id : 0;
}

int GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    auto window = FindWindowObject(hWnd);
    if (!window || lpClassName == nullptr || nMaxCount <= 0) return 0;
    const std::u16string& name = window->windowClass->name;
    int copied = std::min(int(name.size()), nMaxCount - 1);
    std::memcpy(lpClassName, name.data(), size_t(copied) * sizeof(WCHAR));
    lpClassName[copied] = 0;
    return copied;
}

DWORD GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    auto window = FindWindowObject(hWnd);
    if (!window) return 0;
    if (lpdwProcessId) *lpdwProcessId = DWORD(getpid());
    return window->threadId;
}

LONG_PTR GetWindowLongPtrW(HWND hWnd, int nIndex) {
    auto window = FindWindowObject(hWnd);
    if (!window) return 0;
    switch (nIndex) {
    case GWLP_WNDPROC: return reinterpret_cast<LONG_PTR>(window->proc);
    case GWLP_HINSTANCE: return reinterpret_cast<LONG_PTR>(window->instance);
    case GWLP_HWNDPARENT: return reinterpret_cast<LONG_PTR>(window->parent);
    case GWLP_ID: return window->id;
    case GWL_STYLE: return LONG_PTR(LONG(window->style));
    case GWL_EXSTYLE: return LONG_PTR(LONG(window->exStyle));
    case GWLP_USERDATA: return window->userData;
    default: break;
    }
    if (window->dialog) {
        switch (nIndex) {
        case DWLP_MSGRESULT: return window->dialog->msgResult;
        case DWLP_DLGPROC: return reinterpret_cast<LONG_PTR>(window->dialog->proc);
        case DWLP_USER: return window->dialog->user;
        default: break;
        }
    }
    if (nIndex < 0 || size_t(nIndex) + sizeof(LONG_PTR) > window->extraBytes.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    LONG_PTR value;
    std::memcpy(&value, window->extraBytes.data() + nIndex, sizeof(value));
    return value;
}

LONG_PTR SetWindowLongPtrW(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    auto window = FindWindowObject(hWnd);
    if (!window) return 0;
    LONG_PTR previous = GetWindowLongPtrW(hWnd, nIndex);
    SetLastError(0);
    switch (nIndex) {
    case GWLP_WNDPROC:
        if (dwNewLong == 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return 0;
        }
        window->proc = reinterpret_cast<WNDPROC>(dwNewLong);
        return previous;
    case GWLP_HINSTANCE: window->instance = reinterpret_cast<HINSTANCE>(dwNewLong); return previous;
    case GWLP_HWNDPARENT: window->parent = reinterpret_cast<HWND>(dwNewLong); return previous;
    case GWLP_ID: window->id = int(dwNewLong); return previous;
    case GWL_STYLE: {
        DWORD old = window->style;
        window->style = DWORD(dwNewLong);
        if ((old ^ window->style) & WS_VISIBLE) Changed(*window, WindowChange::Visibility);
        if ((old ^ window->style) & WS_DISABLED) Changed(*window, WindowChange::Enabled);
        Changed(*window, WindowChange::Style);
        return previous;
    }
    case GWL_EXSTYLE: window->exStyle = DWORD(dwNewLong); Changed(*window, WindowChange::Style); return previous;
    case GWLP_USERDATA: window->userData = dwNewLong; return previous;
    default: break;
    }
    if (window->dialog) {
        switch (nIndex) {
        case DWLP_MSGRESULT: window->dialog->msgResult = dwNewLong; return previous;
        case DWLP_DLGPROC: window->dialog->proc = reinterpret_cast<DLGPROC>(dwNewLong); return previous;
        case DWLP_USER: window->dialog->user = dwNewLong; return previous;
        default: break;
        }
    }
    if (nIndex < 0 || size_t(nIndex) + sizeof(LONG_PTR) > window->extraBytes.size()) {
        SetLastError(ERROR_INVALID_INDEX);
        return 0;
    }
    std::memcpy(window->extraBytes.data() + nIndex, &dwNewLong, sizeof(dwNewLong));
    return previous;
}

LONG GetWindowLongW(HWND hWnd, int nIndex) { return LONG(GetWindowLongPtrW(hWnd, nIndex)); }
LONG SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) { return LONG(SetWindowLongPtrW(hWnd, nIndex, dwNewLong)); }

int GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
    if (lpString == nullptr || nMaxCount <= 0) return 0;
    lpString[0] = 0;
    if (!FindWindowObject(hWnd)) return 0;
    return int(SendMessageW(hWnd, WM_GETTEXT, WPARAM(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int GetWindowTextLengthW(HWND hWnd) {
    if (!FindWindowObject(hWnd)) return 0;
    return int(SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
    if (!FindWindowObject(hWnd)) return FALSE;
    return SendMessageW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

}  // extern "C"
