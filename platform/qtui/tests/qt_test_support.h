// Shared pieces of the Qt backend tests: the backend under QT_QPA_PLATFORM=offscreen, message
// logs, and where screenshots for a person go.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "lumivel/qt_ui.h"
#include "lumivel/thread_queue.h"
#include "win/commctrl.h"
#include "win/richedit.h"
#include "win/user.h"

namespace qttest {

inline void UseQtBackend() {
    static std::shared_ptr<lumivel::ui::Backend> backend = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        return lumivel::qtui::MakeQtBackend();
    }();
    lumivel::ui::SetBackend(backend);
}

// Lets Qt lay out and paint, and the posted work run.
inline void Settle(int rounds = 5) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        lumivel::RunPendingThreadWork();
    }
}

// Screenshots land in the build folder, beside bin/, for a person to look at.
inline std::string ScreenshotPath(const std::string& name) {
    const char* bin = std::getenv("LUMIVEL_BIN_DIR");
    std::filesystem::path dir = bin ? std::filesystem::path(bin).parent_path() / "screenshots"
                                    : std::filesystem::temp_directory_path() / "lumivel-screenshots";
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

inline std::string Notification(LPARAM lParam) {
    auto* header = reinterpret_cast<const NMHDR*>(lParam);
    switch (header->code) {
    case LVN_ITEMCHANGED: return "LVN_ITEMCHANGED";
    case LVN_COLUMNCLICK: return "LVN_COLUMNCLICK";
    case LVN_KEYDOWN: return "LVN_KEYDOWN";
    case LVN_ODFINDITEMW: return "LVN_ODFINDITEMW";
    case NM_CLICK: return "NM_CLICK";
    case NM_DBLCLK: return "NM_DBLCLK";
    case NM_RCLICK: return "NM_RCLICK";
    case EN_LINK: return "EN_LINK";
    default: return "";
    }
}

}  // namespace qttest
