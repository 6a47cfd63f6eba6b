// Shared pieces of the UI area's implementation (not for other areas).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lumivel/resource_templates.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_test_hook.h"
#include "lumivel/ui_window.h"
#include "lumivel/wide_string.h"
#include "win/commctrl.h"

namespace lumivel::ui {

struct PropertySheetState;

struct DialogState {
    DLGPROC proc = nullptr;
    LONG_PTR msgResult = 0;   // DWLP_MSGRESULT
    LONG_PTR user = 0;        // DWLP_USER
    bool modal = false;
    bool ended = false;
    INT_PTR result = 0;
    POINT baseUnits{kDefaultBaseUnitX, kDefaultBaseUnitY};
    DialogFontSpec font;
    int resourceId = 0;
    HWND disabledOwner = nullptr;  // re-enabled when a modal dialog ends
    std::unique_ptr<PropertySheetState> sheet;
    DialogState();
    ~DialogState();
};

// Windows' internal class name of dialogs.
inline constexpr const char16_t* kDialogClassName = u"#32770";
inline constexpr const char16_t* kPropertySheetClassName = u"#32770 Property Sheet";

void RegisterSystemClasses();
std::shared_ptr<WindowClass> FindWindowClass(LPCWSTR name, HINSTANCE instance);

// CreateWindowExW with the class already looked up; `dialogState` is attached before
// WM_NCCREATE so that dialog procedures see their first messages.
HWND CreateWindowWithClass(std::shared_ptr<WindowClass> windowClass, DWORD exStyle, LPCWSTR name, DWORD style, int x,
                           int y, int width, int height, HWND parent, HMENU menuOrId, HINSTANCE instance, LPVOID param,
                           std::unique_ptr<DialogState> dialogState = nullptr);

// The non-client edges a window of these styles has (caption, borders).
RECT NonClientFrame(DWORD style, DWORD exStyle);

// The backend notified of a change, when the window is known to it.
void Changed(HWND hwnd, WindowChange change);
void Changed(const Window& window, WindowChange change);

// Calls the window procedure directly on this thread.
LRESULT CallProcedure(const std::shared_ptr<Window>& window, UINT message, WPARAM wParam, LPARAM lParam);

// Dialogs.
HWND CreateDialogFromTemplate(HINSTANCE instance, const DialogTemplate& dialog, HWND parent, DLGPROC proc,
                              LPARAM initParam, bool modal, int resourceId, bool asPage = false);
// Runs a modal surface until it ends: the test hook first (in rounds), else the backend's loop.
void RunModalSurface(HWND window, SurfaceKind kind);
LRESULT DialogWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
POINT BaseUnitsFor(HWND dialog);
// The id of the default push button of a dialog (DM_GETDEFID), IDOK when there is none.
int DefaultButtonId(HWND dialog);

// Built-in control procedures.
LRESULT ButtonProc(HWND, UINT, WPARAM, LPARAM);
LRESULT StaticProc(HWND, UINT, WPARAM, LPARAM);
LRESULT EditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT ComboBoxProc(HWND, UINT, WPARAM, LPARAM);
LRESULT ListViewProc(HWND, UINT, WPARAM, LPARAM);
LRESULT RichEditProc(HWND, UINT, WPARAM, LPARAM);
LRESULT DateTimeProc(HWND, UINT, WPARAM, LPARAM);
LRESULT UpDownProc(HWND, UINT, WPARAM, LPARAM);
LRESULT PropertySheetProc(HWND, UINT, WPARAM, LPARAM);

// Case-insensitive prefix test, Unicode simple folding, as list and combo searches compare.
inline bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
    return text.size() >= prefix.size() && CompareNoCase(text.substr(0, prefix.size()), prefix) == 0;
}

// Cuts text to at most `limit` UTF-16 units without splitting a surrogate pair: a character
// outside the BMP that does not fit is dropped whole, never left as half a pair.
inline void CutToLimit(std::u16string& text, size_t limit) {
    if (text.size() <= limit) return;
    if (limit > 0 && text[limit - 1] >= 0xD800 && text[limit - 1] <= 0xDBFF) --limit;
    text.resize(limit);
}

// The test hook, when one is installed: calls it and returns its answer.
std::optional<INT_PTR> CallTestHook(const Surface& surface);

// Sends WM_SETTEXT-style text changes of built-in controls through the window text.
void SetWindowTextInternal(const std::shared_ptr<Window>& window, std::u16string text);

// Remembers an input message as the thread's current one (GetMessagePos, GetKeyState).
void RecordInputMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, POINT screen);

// A backend resized a window's client area: new rectangle, WM_SIZE.
void ApplyBackendClientSize(HWND hwnd, int width, int height);

// The screen position of a window's client area origin.
POINT ClientOrigin(const Window& window);

// The messages a modal loop should see flow: runs posted work until nothing is left.
void DrainPendingWork();

// Where a call for a window ran: here (the window is this thread's, or none), on the thread
// that owns the window while this one waited, or nowhere, since the window or its thread has
// gone: the caller then fails as over an invalid window, which its callers take as cancelled.
enum class WindowThreadCall { Here, Ran, Gone };

// Runs `call` on the thread that owns the window, this thread waiting and serving what is
// sent to it meanwhile; a window of this thread's (or none) leaves the call to the caller.
WindowThreadCall CallOnWindowThread(HWND window, const std::function<void()>& call);

}  // namespace lumivel::ui
