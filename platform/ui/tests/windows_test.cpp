// Windows: the messages creation, resizing and destruction send, in Windows' order; posted
// and cross-thread messages; painting a control surface; capture and cursors.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "lumivel/thread_queue.h"
#include "lumivel/ui_backend.h"
#include "lumivel/ui_input.h"
#include "message_log.h"
#include "win/errors.h"
#include "win/gdi.h"
#include "win/threads.h"
#include "win/user.h"

namespace {

struct Logged {
    test::MessageLog log;
    std::string name;
};
std::vector<std::pair<std::string, std::string>> g_order;  // (window, message) across windows

LRESULT LoggingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* logged = reinterpret_cast<Logged*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (message == WM_NCCREATE) {
        logged = static_cast<Logged*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(logged));
    }
    if (logged) {
        logged->log.add(message, wParam, lParam);
        std::string name = test::MessageName(message, wParam, lParam);
        if (!name.empty()) g_order.emplace_back(logged->name, name);
    }
    if (message == WM_APP + 1) return LRESULT(GetCurrentThreadId());
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class Windows : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        lumivel::ui::SetBackend(lumivel::ui::MakeHeadlessBackend());
        WNDCLASSW wc{};
        wc.lpfnWndProc = LoggingProc;
        wc.lpszClassName = u"LoggingWindow";
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        ASSERT_NE(RegisterClassW(&wc), 0);
    }
    void SetUp() override { g_order.clear(); }

    HWND Create(Logged& logged, DWORD style, HWND parent, int id = 0, DWORD exStyle = 0) {
        return CreateWindowExW(exStyle, u"LoggingWindow", u"", style, 10, 20, 200, 100, parent,
                               reinterpret_cast<HMENU>(LONG_PTR(id)), nullptr, &logged);
    }
};

TEST_F(Windows, CreationAndDestructionSendWindowsOrder) {
    Logged top{{}, "top"}, child{{}, "child"}, quiet{{}, "quiet"};
    HWND topWindow = Create(top, WS_OVERLAPPEDWINDOW, nullptr);
    ASSERT_NE(topWindow, nullptr);
    EXPECT_EQ(top.log.entries, (std::vector<std::string>{"WM_NCCREATE", "WM_CREATE", "WM_SIZE", "WM_MOVE"}));
    HWND childWindow = Create(child, WS_CHILD | WS_VISIBLE, topWindow, 100);
    HWND quietWindow = Create(quiet, WS_CHILD, topWindow, 101, WS_EX_NOPARENTNOTIFY);
    EXPECT_EQ(top.log.entries.back(), "WM_PARENTNOTIFY(create)") << "only the child without WS_EX_NOPARENTNOTIFY tells";
    EXPECT_EQ(std::count(top.log.entries.begin(), top.log.entries.end(), "WM_PARENTNOTIFY(create)"), 1);
    EXPECT_EQ(GetDlgCtrlID(childWindow), 100);
    EXPECT_EQ(GetParent(childWindow), topWindow);
    EXPECT_EQ(GetWindow(topWindow, GW_CHILD), childWindow);
    EXPECT_EQ(GetWindow(childWindow, GW_HWNDNEXT), quietWindow);

    g_order.clear();
    ASSERT_TRUE(DestroyWindow(topWindow));
    std::vector<std::pair<std::string, std::string>> expected = {
        {"top", "WM_DESTROY"}, {"child", "WM_DESTROY"}, {"child", "WM_NCDESTROY"},
        {"quiet", "WM_DESTROY"}, {"quiet", "WM_NCDESTROY"}, {"top", "WM_NCDESTROY"}};
    EXPECT_EQ(g_order, expected);
    EXPECT_FALSE(IsWindow(childWindow));
    SetLastError(0);
    EXPECT_EQ(SendMessageW(childWindow, WM_APP + 1, 0, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_FALSE(DestroyWindow(topWindow));
}

TEST_F(Windows, CreationFailures) {
    SetLastError(0);
    EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CANNOT_FIND_WND_CLASS));
    Logged orphan{{}, "orphan"};
    EXPECT_EQ(Create(orphan, WS_CHILD, nullptr), nullptr) << "a child needs a parent";
    EXPECT_EQ(GetLastError(), 1406u);
    WNDCLASSW wc{};
    wc.lpfnWndProc = LoggingProc;
    wc.lpszClassName = u"loggingwindow";
    EXPECT_EQ(RegisterClassW(&wc), 0) << "class names compare without regard to case";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CLASS_ALREADY_EXISTS));
}

TEST_F(Windows, GeometryAndSizeMessages) {
    Logged top{{}, "top"};
    HWND hwnd = Create(top, WS_CHILD, CreateWindowExW(0, u"LoggingWindow", u"", WS_POPUP, 0, 0, 500, 500, nullptr,
                                                     nullptr, nullptr, &top));
    HWND parent = GetParent(hwnd);
    top.log.clear();
    ASSERT_TRUE(MoveWindow(hwnd, 0, 120, 300, 220, TRUE));
    EXPECT_EQ(top.log.entries, (std::vector<std::string>{"WM_SIZE", "WM_MOVE"}));
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, 300);
    EXPECT_EQ(client.bottom, 220);
    top.log.clear();
    MoveWindow(hwnd, 0, 120, 300, 220, TRUE);
    EXPECT_TRUE(top.log.entries.empty()) << "an unchanged rectangle sends nothing";
    EXPECT_EQ(ChildWindowFromPoint(parent, POINT{10, 130}), hwnd) << "hidden children count";
    EXPECT_EQ(ChildWindowFromPointEx(parent, POINT{10, 130}, CWP_SKIPINVISIBLE), parent);
    EXPECT_EQ(ChildWindowFromPoint(parent, POINT{10, 10}), parent);
    EXPECT_EQ(ChildWindowFromPoint(parent, POINT{-1, 10}), nullptr);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    ShowWindow(parent, SW_SHOW);
    ShowWindow(hwnd, SW_SHOW);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(EnableWindow(hwnd, FALSE) == FALSE);
    EXPECT_TRUE(EnableWindow(hwnd, TRUE)) << "it was disabled";
    DestroyWindow(parent);
}

// A message sent from another thread runs on the window's thread, which serves it while it
// pumps; a posted message waits for the owner's loop and keeps its order.
TEST_F(Windows, CrossThreadSendAndPostedOrder) {
    Logged top{{}, "top"};
    HWND hwnd = Create(top, WS_POPUP, nullptr);
    DWORD owner = GetCurrentThreadId();
    std::atomic<LRESULT> answer{0};
    std::atomic<bool> finished{false};
    top.log.clear();
    std::thread worker([&] {
        answer = SendMessageW(hwnd, WM_APP + 1, 0, 0);
        PostMessageW(hwnd, WM_APP + 2, 0, 0);
        PostMessageW(hwnd, WM_APP + 3, 0, 0);
        finished = true;
        lumivel::WakeThreadQueue(*lumivel::FindThreadQueue(owner));
    });
    ASSERT_TRUE(lumivel::PumpThreadWorkUntil([&] { return finished.load(); }, 10000));
    worker.join();
    EXPECT_EQ(DWORD(answer.load()), owner) << "the handler ran on the owner thread";
    PostMessageW(hwnd, WM_APP + 4, 0, 0);
    PostQuitMessage(0);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
    EXPECT_EQ(top.log.entries, (std::vector<std::string>{"WM_APP+1", "WM_APP+2", "WM_APP+3", "WM_APP+4"}));
    DestroyWindow(hwnd);
}

// A worker's window is destroyed as the worker ends, after the thread's own state began to go;
// its procedure may still post, peek and read keys then.
std::atomic<bool> g_endingDestroyed{false};
std::atomic<SHORT> g_endingKeyState{1};

TEST_F(Windows, ProcedureOfAWindowEndingWithItsThreadStillHasItsMessages) {
    struct Ending {
        static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_DESTROY) {
                PostMessageW(hwnd, WM_APP + 7, 0, 0);
                MSG msg;
                while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                }
                g_endingKeyState = GetKeyState(VK_SHIFT);
                g_endingDestroyed = true;
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    };
    WNDCLASSW wc{};
    wc.lpfnWndProc = Ending::Proc;
    wc.lpszClassName = u"EndingWithItsThread";
    ASSERT_NE(RegisterClassW(&wc), 0);
    std::thread worker([] {
        HWND hwnd = CreateWindowExW(0, u"EndingWithItsThread", u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        // The message store of the thread is first used only now, after the window exists.
        PostMessageW(hwnd, WM_APP, 0, 0);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    });
    worker.join();
    EXPECT_TRUE(g_endingDestroyed);
    EXPECT_EQ(g_endingKeyState, 0);
}

TEST_F(Windows, PaintingFillsTheSurface) {
    struct Painter {
        static LRESULT Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
            if (message == WM_PAINT) {
                PAINTSTRUCT ps;
                HDC dc = BeginPaint(hwnd, &ps);
                RECT r;
                GetClientRect(hwnd, &r);
                SelectObject(dc, GetSysColorBrush(COLOR_BTNFACE));
                SelectObject(dc, GetStockObject(NULL_PEN));
                Rectangle(dc, r.left, r.top, r.right + 1, r.bottom + 1);
                EndPaint(hwnd, &ps);
                return 0;
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
    };
    WNDCLASSW wc{};
    wc.lpfnWndProc = Painter::Proc;
    wc.lpszClassName = u"PaintingWindow";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND hwnd = CreateWindowExW(0, u"PaintingWindow", u"", WS_POPUP, 0, 0, 30, 20, nullptr, nullptr, nullptr, nullptr);
    auto surface = lumivel::ui::PaintedSurface(hwnd);
    ASSERT_TRUE(surface.has_value());
    EXPECT_EQ(surface->width, 30);
    EXPECT_EQ(lumivel::gfx::ToColorRef(surface->at(29, 19)), GetSysColor(COLOR_BTNFACE));
    DestroyWindow(hwnd);
}

TEST_F(Windows, CaptureAndCursorFollowTheMouse) {
    Logged top{{}, "top"};
    HWND hwnd = Create(top, WS_POPUP | WS_VISIBLE, nullptr);
    top.log.clear();
    lumivel::ui::UserMouse(hwnd, WM_MOUSEMOVE, 0, POINT{5, 5});
    EXPECT_EQ(top.log.entries, (std::vector<std::string>{"WM_SETCURSOR", "WM_MOUSEMOVE"}));
    EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_ARROW)) << "the class cursor";
    EXPECT_EQ(SetCapture(hwnd), nullptr);
    EXPECT_EQ(GetCapture(), hwnd);
    top.log.clear();
    ReleaseCapture();
    EXPECT_EQ(top.log.entries, (std::vector<std::string>{"WM_CAPTURECHANGED"}));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_NE(LoadCursorW(nullptr, IDC_SIZENS), LoadCursorW(nullptr, IDC_ARROW));
    DestroyWindow(hwnd);
}

TEST_F(Windows, ClipboardFormatsAreNamedOnce) {
    UINT a = RegisterClipboardFormatW(u"CCF_DISPLAY_NAME");
    EXPECT_GE(a, 0xC000u);
    EXPECT_EQ(RegisterClipboardFormatW(u"ccf_display_name"), a);
    EXPECT_NE(RegisterClipboardFormatW(u"CCF_NODETYPE"), a);
    EXPECT_EQ(RegisterClipboardFormatW(u""), 0u);
}

}  // namespace
