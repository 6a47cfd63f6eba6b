// Command 317: a tombstone brought back into a live container of the administrator's choice,
// for when its old parent is gone for good.
#include "provider/common/command_report.h"
#include "provider/dialogs/container_chooser.h"
#include "provider/restore/reanimation.h"
#include "provider/revivo.h"

namespace revivo {

HRESULT Revivo::RestoreTo(HWND parent, PropertySet* record, std::u16string_view container,
                          RestoredTombstones* restored) {
    std::u16string className(record->getText(u"class"));
    if (container.empty() || className.empty()) return E_INVALIDARG;
    std::u16string server(record->getText(u"FocusedDC"));
    // Whether it can be bound at all, and then whether it takes the class, each said apart.
    HRESULT allowed = CheckCreationIn(server, container, className);
    if (allowed != S_OK) {
        m_lastRestoreError = CreationVerdictText(container, className, allowed);
        ShowFailure(parent, allowed == S_FALSE ? E_FAIL : allowed, m_lastRestoreError, u"Restore Object",
                    MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    // The caller's record keeps its last known parent; the restore works on a copy.
    PropertySet* moved = record->clone();
    if (!moved) return E_OUTOFMEMORY;
    moved->setText(u"lastKnownParent", container);
    HRESULT result = Restore(parent, moved, restored);
    moved->release();
    return result;
}

}  // namespace revivo
