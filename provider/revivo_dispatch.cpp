// IRevivo for scripts: EnumDeletedObjects and BackupObjects by name, with their help strings,
// and the type library entries that describe the coclass's dual interface.
#include "provider/revivo.h"

namespace revivo {

namespace {

using lumivel::com::DispatchInterface;
using lumivel::com::DispatchMember;
using lumivel::com::DispatchParam;

// A script's lEntry arrives as a plain number (0 for the default domain); it travels
// pointer-sized.
constexpr DispatchParam kEnumParams[] = {{u"lEntry", VT_I8}, {u"bstrFilter", VT_BSTR, true}};
constexpr DispatchParam kBackupParams[] = {{u"bstrPath", VT_BSTR}};

HRESULT invokeEnumDeletedObjects(void* self, VARIANT* args, VARIANT* result) {
    BSTR filter = args[1].vt == VT_BSTR ? args[1].bstrVal : nullptr;
    return static_cast<IRevivo*>(self)->EnumDeletedObjects(static_cast<LONG_PTR>(args[0].llVal), filter, result);
}

HRESULT invokeBackupObjects(void* self, VARIANT* args, VARIANT*) {
    return static_cast<IRevivo*>(self)->BackupObjects(args[0].bstrVal);
}

constexpr DispatchMember kMembers[] = {
    {u"EnumDeletedObjects", kDispidEnumDeletedObjects, DISPATCH_METHOD, kEnumParams, 2, VT_VARIANT,
     invokeEnumDeletedObjects, u"method EnumDeletedObjects"},
    {u"BackupObjects", kDispidBackupObjects, DISPATCH_METHOD, kBackupParams, 1, VT_EMPTY, invokeBackupObjects,
     u"method BackupObjects"},
};

}  // namespace

const DispatchInterface kRevivoDispatch = {&IID_IRevivo, u"IRevivo", u"IRevivo Interface", kMembers, 2};

namespace {
const DispatchInterface* const kDescribed[] = {&kRevivoDispatch};
}  // namespace

// The custom interfaces are not in the library: it describes the coclass and IRevivo only.
const lumivel::com::TypeLibraryInfo kRevivoTypeLibrary = {
    &LIBID_REVIVOPROVIDERLib, 1, 0, u"REVIVOPROVIDERLib", u"RevivoProvider 1.0 Type Library", kDescribed, 1};

}  // namespace revivo
