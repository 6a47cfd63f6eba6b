// InitCommonControlsEx: every common control class exists from the start on this platform,
// so initialising only checks the caller's structure.
#include "ui_internal.h"
#include "win/errors.h"

extern "C" {

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
    if (picce == nullptr || picce->dwSize != sizeof(INITCOMMONCONTROLSEX)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lumivel::ui::RegisterSystemClasses();
    return TRUE;
}

void InitCommonControls() { lumivel::ui::RegisterSystemClasses(); }

}  // extern "C"
