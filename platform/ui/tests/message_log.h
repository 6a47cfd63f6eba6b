// Recording the messages a window or dialog procedure receives, for message-sequence tests.
#pragma once

#include <string>
#include <vector>

#include "win/commctrl.h"
#include "win/richedit.h"
#include "win/user.h"

namespace test {

inline std::string MessageName(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_CREATE: return "WM_CREATE";
    case WM_SIZE: return "WM_SIZE";
    case WM_MOVE: return "WM_MOVE";
    case WM_SHOWWINDOW: return wParam ? "WM_SHOWWINDOW(show)" : "WM_SHOWWINDOW(hide)";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_PARENTNOTIFY: return LOWORD(wParam) == WM_CREATE ? "WM_PARENTNOTIFY(create)" : "WM_PARENTNOTIFY(destroy)";
    case WM_SETFONT: return "WM_SETFONT";
    case WM_INITDIALOG: return "WM_INITDIALOG";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_SYSCOMMAND: return "WM_SYSCOMMAND";
    case WM_SETCURSOR: return "WM_SETCURSOR";
    case WM_MOUSEMOVE: return "WM_MOUSEMOVE";
    case WM_LBUTTONDOWN: return "WM_LBUTTONDOWN";
    case WM_LBUTTONUP: return "WM_LBUTTONUP";
    case WM_CAPTURECHANGED: return "WM_CAPTURECHANGED";
    case WM_PAINT: return "WM_PAINT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_ENABLE: return "WM_ENABLE";
    case WM_VSCROLL: return "WM_VSCROLL";
    case WM_COMMAND: {
        std::string id = std::to_string(LOWORD(wParam));
        switch (HIWORD(wParam)) {
        case BN_CLICKED: return "WM_COMMAND(" + id + ",BN_CLICKED)";
        case EN_CHANGE: return "WM_COMMAND(" + id + ",EN_CHANGE)";
        case EN_UPDATE: return "WM_COMMAND(" + id + ",EN_UPDATE)";
        case CBN_SELCHANGE: return "WM_COMMAND(" + id + ",CBN_SELCHANGE)";
        case CBN_SELENDOK: return "WM_COMMAND(" + id + ",CBN_SELENDOK)";
        default: return "WM_COMMAND(" + id + "," + std::to_string(HIWORD(wParam)) + ")";
        }
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<const NMHDR*>(lParam);
        std::string id = std::to_string(header->idFrom);
        switch (header->code) {
        case LVN_ITEMCHANGED: {
            auto* info = reinterpret_cast<const NMLISTVIEW*>(lParam);
            return "LVN_ITEMCHANGED(" + id + "," + std::to_string(info->iItem) + ")";
        }
        case LVN_ITEMCHANGING: return "LVN_ITEMCHANGING(" + id + ")";
        case LVN_ODSTATECHANGED: {
            auto* range = reinterpret_cast<const NMLVODSTATECHANGE*>(lParam);
            return "LVN_ODSTATECHANGED(" + id + "," + std::to_string(range->iFrom) + "-" + std::to_string(range->iTo) + ")";
        }
        case LVN_GETDISPINFOW: return "LVN_GETDISPINFOW(" + id + ")";
        case LVN_COLUMNCLICK: return "LVN_COLUMNCLICK(" + id + ")";
        case LVN_KEYDOWN: return "LVN_KEYDOWN(" + id + ")";
        case LVN_ODFINDITEMW: return "LVN_ODFINDITEMW(" + id + ")";
        case LVN_INSERTITEM: return "LVN_INSERTITEM(" + id + ")";
        case NM_CLICK: return "NM_CLICK(" + id + ")";
        case NM_DBLCLK: return "NM_DBLCLK(" + id + ")";
        case NM_RCLICK: return "NM_RCLICK(" + id + ")";
        case NM_SETFOCUS: return "NM_SETFOCUS(" + id + ")";
        case NM_KILLFOCUS: return "NM_KILLFOCUS(" + id + ")";
        case EN_LINK: return "EN_LINK(" + id + ")";
        case DTN_DATETIMECHANGE: return "DTN_DATETIMECHANGE(" + id + ")";
        case UDN_DELTAPOS: return "UDN_DELTAPOS(" + id + ")";
        case PSN_SETACTIVE: return "PSN_SETACTIVE";
        case PSN_KILLACTIVE: return "PSN_KILLACTIVE";
        case PSN_APPLY: return "PSN_APPLY";
        case PSN_QUERYCANCEL: return "PSN_QUERYCANCEL";
        case PSN_RESET: return "PSN_RESET";
        default: return "WM_NOTIFY(" + id + "," + std::to_string(int(header->code)) + ")";
        }
    }
    default:
        if (message >= WM_APP) return "WM_APP+" + std::to_string(message - WM_APP);
        return "";
    }
}

// Messages worth comparing; the others (focus, key codes ...) are left out of sequences.
struct MessageLog {
    std::vector<std::string> entries;
    void add(UINT message, WPARAM wParam, LPARAM lParam) {
        std::string name = MessageName(message, wParam, lParam);
        if (!name.empty()) entries.push_back(name);
    }
    void clear() { entries.clear(); }
};

}  // namespace test
