// IPanorel for scripts and containers: the dispatch table, the type library entries and the
// coclass that IProvideClassInfo describes.
#include "resultpane/panorel.h"

namespace panorel {

namespace {

using lumivel::com::DispatchInterface;
using lumivel::com::DispatchMember;
using lumivel::com::DispatchParam;

IPanorel* Control(void* self) { return static_cast<IPanorel*>(self); }

constexpr DispatchParam kInterfacesParams[] = {
    {u"ipProvider", VT_UNKNOWN}, {u"ipIconCache", VT_UNKNOWN}, {u"ipConsole", VT_UNKNOWN}, {u"ipConsoleNamespace", VT_UNKNOWN}};
constexpr DispatchParam kObjectsParams[] = {{u"lPane", VT_I4}, {u"pvarObjects", VT_VARIANT}};
// Addresses are pointer-sized; a script's plain number is widened.
constexpr DispatchParam kAddressParams[] = {{u"newVal", VT_I8}};
constexpr DispatchParam kMenuParams[] = {{u"pvarInterfaces", VT_VARIANT}};
constexpr DispatchParam kModeParams[] = {{u"lMode", VT_I4}};

template <typename Getter>
HRESULT AddressResult(Getter get, VARIANT* result) {
    LONG_PTR value = 0;
    const HRESULT hr = get(&value);
    if (SUCCEEDED(hr) && result) {
        result->vt = VT_I8;
        result->llVal = value;
    }
    return hr;
}

constexpr DispatchMember kMembers[] = {
    {u"SetInterfaces", DISPID_PANOREL_SETINTERFACES, DISPATCH_METHOD, kInterfacesParams, 4, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) {
         return Control(self)->SetInterfaces(args[0].punkVal, args[1].punkVal, args[2].punkVal, args[3].punkVal);
     },
     u"method SetInterfaces"},
    {u"ReleaseInterfaces", DISPID_PANOREL_RELEASEINTERFACES, DISPATCH_METHOD, nullptr, 0, VT_EMPTY,
     [](void* self, VARIANT*, VARIANT*) { return Control(self)->ReleaseInterfaces(); }, u"method ReleaseInterfaces"},
    {u"SetObjects", DISPID_PANOREL_SETOBJECTS, DISPATCH_METHOD, kObjectsParams, 2, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) {
         VARIANT* objects = args[1].vt == (VT_BYREF | VT_VARIANT) ? args[1].pvarVal : &args[1];
         return Control(self)->SetObjects(args[0].lVal, objects->vt == VT_EMPTY ? nullptr : objects);
     },
     u"method SetObjects"},
    {u"SelectedNode", DISPID_PANOREL_SELECTEDNODE, DISPATCH_PROPERTYGET, nullptr, 0, VT_I8,
     [](void* self, VARIANT*, VARIANT* result) {
         return AddressResult([self](LONG_PTR* value) { return Control(self)->get_SelectedNode(value); }, result);
     },
     u"property SelectedNode"},
    {u"SelectedNode", DISPID_PANOREL_SELECTEDNODE, DISPATCH_PROPERTYPUT, kAddressParams, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return Control(self)->put_SelectedNode(LONG_PTR(args[0].llVal)); },
     u"property SelectedNode"},
    {u"SetMenuInterfaces", DISPID_PANOREL_SETMENUINTERFACES, DISPATCH_METHOD, kMenuParams, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return Control(self)->SetMenuInterfaces(&args[0]); },
     u"method SetMenuInterfaces"},
    {u"SetMode", DISPID_PANOREL_SETMODE, DISPATCH_METHOD, kModeParams, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return Control(self)->SetMode(args[0].lVal); }, u"method SetMode"},
    {u"HSCOPEITEM", DISPID_PANOREL_HSCOPEITEM, DISPATCH_PROPERTYGET, nullptr, 0, VT_I8,
     [](void* self, VARIANT*, VARIANT* result) {
         return AddressResult([self](LONG_PTR* value) { return Control(self)->get_HSCOPEITEM(value); }, result);
     },
     u"property HSCOPEITEM"},
    {u"HSCOPEITEM", DISPID_PANOREL_HSCOPEITEM, DISPATCH_PROPERTYPUT, kAddressParams, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return Control(self)->put_HSCOPEITEM(LONG_PTR(args[0].llVal)); },
     u"property HSCOPEITEM"},
};

}  // namespace

const DispatchInterface kPanorelDispatch = {&IID_IPanorel, u"IPanorel", u"IPanorel Interface", kMembers,
                                            std::size(kMembers)};

namespace {
const DispatchInterface* const kDescribed[] = {&kPanorelDispatch};
}  // namespace

const lumivel::com::TypeLibraryInfo kPanorelTypeLibrary = {
    &LIBID_PANORELLib, 1, 0, u"PANORELLib", u"Panorel 1.0 Type Library", kDescribed, 1};

const lumivel::com::CoclassDescription kPanorelCoclass = {&CLSID_Panorel, u"Panorel", u"Panorel Class", kDescribed, 1};

}  // namespace panorel
