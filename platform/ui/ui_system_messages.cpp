// The Windows texts of the window manager's error codes, for FormatMessageW.
#include <iterator>

#include "lumivel/system_messages.h"
#include "ui_errors.h"

namespace {

const lumivel::SystemMessage kWindowManagerMessages[] = {
    {ERROR_INVALID_WINDOW_HANDLE, u"Invalid window handle.\r\n"},
    {ERROR_INVALID_MENU_HANDLE, u"Invalid menu handle.\r\n"},
    {ERROR_INVALID_CURSOR_HANDLE, u"Invalid cursor handle.\r\n"},
    {ERROR_TLW_WITH_WSCHILD, u"Cannot create a top-level child window.\r\n"},
    {ERROR_CANNOT_FIND_WND_CLASS, u"Cannot find window class.\r\n"},
    {ERROR_WINDOW_OF_OTHER_THREAD, u"Invalid window; it belongs to other thread.\r\n"},
    {ERROR_CLASS_ALREADY_EXISTS, u"Class already exists.\r\n"},
    {ERROR_CLASS_DOES_NOT_EXIST, u"Class does not exist.\r\n"},
    {ERROR_CLASS_HAS_WINDOWS, u"Class still has open windows.\r\n"},
    {ERROR_INVALID_INDEX, u"Invalid index.\r\n"},
    {ERROR_WINDOW_NOT_DIALOG, u"The window is not a valid dialog window.\r\n"},
    {ERROR_CONTROL_ID_NOT_FOUND, u"Control ID not found.\r\n"},
    {ERROR_MENU_ITEM_NOT_FOUND, u"A menu item was not found.\r\n"},
    {ERROR_REQUIRES_INTERACTIVE_WINDOWSTATION, u"This operation requires an interactive window station.\r\n"},
    {ERROR_RESOURCE_DATA_NOT_FOUND, u"The specified image file did not contain a resource section.\r\n"},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, u"The specified resource type cannot be found in the image file.\r\n"},
    {ERROR_RESOURCE_NAME_NOT_FOUND, u"The specified resource name cannot be found in the image file.\r\n"},
};

struct Registration {
    Registration() { lumivel::RegisterSystemMessages(kWindowManagerMessages, std::size(kWindowManagerMessages)); }
} g_registration;

}  // namespace
