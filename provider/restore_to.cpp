// Command 317: a tombstone brought back into a live container of the administrator's choice,
// for when its old parent is gone for good.
#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "provider/backup/backup_writer.h"
#include "provider/revivo.h"
#include "win/dsadmin.h"

using lumivel::ComPtr;

namespace revivo {

HRESULT Revivo::RestoreTo(HWND parent, PropertySet* record, std::vector<RestoredObject>* restored) {
    std::u16string container(record->getText(kRestoreTargetKey));
    std::u16string className(record->getText(u"class"));
    if (container.empty() || className.empty()) return E_INVALIDARG;
    std::u16string server(record->getText(u"FocusedDC"));
    std::u16string path = (server.empty() ? std::u16string(u"LDAP://") : u"LDAP://" + server + u"/") +
                          lumivel::ldap::AdsPathDn(container);
    ComPtr<IADsContainer> target;
    HRESULT bound = ADsGetObject(path.c_str(), IID_IADsContainer, target.putVoid());
    if (FAILED(bound)) {
        std::u16string text = u"The container " + container + u" cannot be used: " +
                              SystemErrorText(static_cast<DWORD>(bound));
        MessageBoxW(parent, text.c_str(), u"Restore Object", MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    // The directory's own creation check: the schema's possible superiors and the container's
    // access control for the caller, in one answer.
    ComPtr<IDsAdminCreateObj> check;
    HRESULT allowed = CoCreateInstance(CLSID_DsAdminCreateObj, nullptr, CLSCTX_INPROC_SERVER, IID_IDsAdminCreateObj,
                                       check.putVoid());
    if (SUCCEEDED(allowed)) allowed = check->Initialize(target.get(), nullptr, className.c_str());
    if (allowed != S_OK) {
        std::u16string text = allowed == E_ACCESSDENIED
                                  ? u"The container " + container + u" does not accept an object of class " +
                                        className + u"."
                                  : u"Whether the container " + container + u" accepts an object of class " +
                                        className + u" cannot be told: " + SystemErrorText(static_cast<DWORD>(allowed));
        MessageBoxW(parent, text.c_str(), u"Restore Object", MB_OK | MB_ICONSTOP);
        return S_FALSE;
    }
    // The caller's record keeps its last known parent; the restore works on a copy.
    PropertySet* moved = record->clone();
    if (!moved) return E_OUTOFMEMORY;
    moved->setText(u"lastKnownParent", container);
    HRESULT result = Restore(parent, moved, reinterpret_cast<LONG_PTR>(record), restored);
    moved->release();
    return result;
}

}  // namespace revivo
