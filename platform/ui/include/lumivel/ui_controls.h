// State of the built-in controls, read by backends to show them. Fields change only through
// the controls' messages (and the user actions of ui_input.h), on the window's thread.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lumivel/ui_window.h"
#include "win/commctrl.h"
#include "win/richedit.h"

namespace lumivel::ui {

struct LUMIVEL_EXPORT ButtonState : ControlState {
    UINT check = BST_UNCHECKED;
    bool pushed = false;
};

struct LUMIVEL_EXPORT StaticState : ControlState {
    HICON icon = nullptr;
};

struct LUMIVEL_EXPORT EditState : ControlState {
    size_t limit = 0x7FFFFFFE;  // characters; EM_LIMITTEXT(0) restores this
    bool modified = false;
    DWORD selStart = 0, selEnd = 0;
    WCHAR passwordChar = u'*';
};

struct ComboItem {
    std::u16string text;
    LPARAM data = 0;
};

struct LUMIVEL_EXPORT ComboBoxState : ControlState {
    std::vector<ComboItem> items;
    int selection = -1;
    bool dropped = false;
    size_t limit = 0x7FFFFFFE;
};

struct ListColumn {
    std::u16string text;
    int width = 0;
    int format = LVCFMT_LEFT;
    int subItem = 0;
    int image = -1;
    int order = 0;
};

struct ListItem {
    std::vector<std::u16string> texts;  // by subitem; LPSTR_TEXTCALLBACKW marked in callbackText
    std::vector<bool> callbackText;
    int image = 0;
    bool callbackImage = false;
    LPARAM param = 0;
    UINT state = 0;
};

struct LUMIVEL_EXPORT ListViewState : ControlState {
    std::vector<ListColumn> columns;
    // Plain lists keep their items; owner-data lists keep only the count and the states.
    std::vector<ListItem> items;
    int ownerDataCount = 0;
    std::set<int> ownerDataSelected;
    int ownerDataFocused = -1;
    HIMAGELIST smallImages = nullptr;
    HIMAGELIST normalImages = nullptr;
    HIMAGELIST stateImages = nullptr;
    DWORD extendedStyle = 0;
    int selectionMark = -1;
    int topIndex = 0;
    COLORREF background = 0x00FFFFFF;
    bool redrawSuspended = false;
    // Counts of LVN_GETDISPINFOW sent, for the tests that prove only visible rows are asked.
    size_t dispInfoRequests = 0;

    bool ownerData(const Window& w) const { return (w.style & LVS_OWNERDATA) != 0; }
};

struct LinkRange {
    LONG start;
    LONG end;
};

struct LUMIVEL_EXPORT RichEditState : ControlState {
    size_t limit = 32767;
    DWORD eventMask = 0;
    bool autoUrlDetect = false;
    std::vector<LinkRange> links;  // recomputed when the text or detection changes
    CHARRANGE selection{0, 0};
    COLORREF background = 0x00FFFFFF;
};

struct LUMIVEL_EXPORT DateTimeState : ControlState {
    SYSTEMTIME value{};
    bool valid = true;  // false: "no date" (DTS_SHOWNONE unchecked)
    std::u16string format;
    std::optional<SYSTEMTIME> minimum;  // DTM_SETRANGE limits, inclusive
    std::optional<SYSTEMTIME> maximum;
};

struct LUMIVEL_EXPORT UpDownState : ControlState {
    int lower = 100;  // the Windows default range runs from 100 down to 0
    int upper = 0;
    int position = 0;
    HWND buddy = nullptr;
};

// Rich-edit link detection: the ranges of URLs in a text, as EM_AUTOURLDETECT finds them.
LUMIVEL_EXPORT std::vector<LinkRange> DetectLinks(const std::u16string& text);

}  // namespace lumivel::ui
