#include "schemacache/generator_status_window.h"

#include <mutex>

namespace glossar {
namespace {

constexpr int kWidth = 380;
constexpr int kHeight = 110;
constexpr int kMargin = 16;

void RegisterWindowClass() {
    static std::once_flag once;
    std::call_once(once, [] {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.hCursor = LoadCursorW(nullptr, IDC_WAIT);
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = kGeneratorStatusWindowClass;
        RegisterClassExW(&windowClass);
    });
}

}  // namespace

void GeneratorStatusWindow::Started() {
    if (m_window) return;
    RegisterWindowClass();
    const int x = (GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2;
    m_window = CreateWindowExW(WS_EX_TOPMOST, kGeneratorStatusWindowClass, m_caption.c_str(), WS_POPUP | WS_CAPTION | WS_VISIBLE,
                               x > 0 ? x : 0, y > 0 ? y : 0, kWidth, kHeight, nullptr, nullptr, nullptr, nullptr);
    if (!m_window) return;
    RECT client{};
    GetClientRect(m_window, &client);
    CreateWindowExW(0, u"Static", m_text.c_str(), WS_CHILD | WS_VISIBLE | SS_CENTER, kMargin, kMargin,
                    client.right - 2 * kMargin, client.bottom - 2 * kMargin, m_window, nullptr, nullptr, nullptr);
    UpdateWindow(m_window);
    PumpThreadMessages();
}

void GeneratorStatusWindow::close() {
    if (!m_window) return;
    DestroyWindow(m_window);
    m_window = nullptr;
    PumpThreadMessages();
}

}  // namespace glossar
