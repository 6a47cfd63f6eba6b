// The backend of processes without a display (script host, scheduler): message boxes go to
// stderr and the system log and answer with their default button; dialogs cannot be shown.
#include <syslog.h>

#include <cstdio>

#include "lumivel/terminal_text.h"
#include "lumivel/text.h"
#include "lumivel/thread_queue.h"
#include "ui_internal.h"

namespace lumivel::ui {
namespace {

int Priority(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND: return LOG_ERR;
    case MB_ICONEXCLAMATION: return LOG_WARNING;
    default: return LOG_NOTICE;
    }
}

class HeadlessBackend final : public Backend {
public:
    const char* name() const override { return "headless"; }
    bool canRunDialogs() const override { return false; }

    void runModalLoop(HWND, const std::function<bool()>& ended) override {
        while (!ended()) PumpThreadWorkUntil(ended, 100);
    }

    int messageBox(HWND, const std::u16string& text, const std::u16string& caption, UINT type) override {
        std::string captionUtf8 = ToUtf8(caption), textUtf8 = ToUtf8(text);
        std::fprintf(stderr, "%s: %s\n", TerminalText(captionUtf8, TerminalEscaping::ReadableLines).c_str(),
                     TerminalText(textUtf8, TerminalEscaping::ReadableLines).c_str());
        std::fflush(stderr);
        static std::once_flag opened;
        std::call_once(opened, [] { openlog("lumivel", LOG_PID, LOG_USER); });
        syslog(Priority(type), "%s: %s", captionUtf8.c_str(), textUtf8.c_str());
        return MessageBoxDefaultButton(type);
    }

    UINT trackPopupMenu(HMENU, const std::vector<MenuItemSnapshot>&, UINT, POINT, HWND) override { return 0; }
};

}  // namespace

std::shared_ptr<Backend> MakeHeadlessBackend() { return std::make_shared<HeadlessBackend>(); }

}  // namespace lumivel::ui
