// ISchemaCache for scripts and the type library entries of the Glossar module.
#include <functional>

#include "schemacache/schema_cache.h"

namespace glossar {
namespace {

using lumivel::com::DispatchInterface;
using lumivel::com::DispatchMember;
using lumivel::com::DispatchParam;

ISchemaCache* Cache(void* self) { return static_cast<ISchemaCache*>(self); }

// Results that travel as [out, retval] start out empty, so a miss hands back an empty value.
HRESULT BstrResult(VARIANT* result, const std::function<HRESULT(BSTR*)>& call) {
    result->vt = VT_BSTR;
    result->bstrVal = nullptr;
    return call(&result->bstrVal);
}

constexpr DispatchParam kName[] = {{u"bstrObject", VT_BSTR}};
constexpr DispatchParam kGuid[] = {{u"bstrGuid", VT_BSTR}};
constexpr DispatchParam kIconIndex[] = {{u"bstrClass", VT_BSTR}, {u"plIndex", VT_BYREF | VT_I4}};
constexpr DispatchParam kAddIcon[] = {{u"bstrIconName", VT_BSTR}, {u"lIcon", VT_I8}};
constexpr DispatchParam kClass[] = {{u"bstrClass", VT_BSTR}};
constexpr DispatchParam kLoadImages[] = {{u"lLoadImages", VT_I4}};
constexpr DispatchParam kContainers[] = {{u"lGetStateClasses", VT_I4}, {u"pvarContainers", VT_BYREF | VT_VARIANT}};
constexpr DispatchParam kNodeType[] = {
    {u"bstrNodeType", VT_BSTR}, {u"lImageSize", VT_I4}, {u"pvarImageList", VT_BYREF | VT_VARIANT}};
constexpr DispatchParam kFriendlyNames[] = {{u"bstrClass", VT_BSTR},
                                            {u"bstrAttribute", VT_BSTR},
                                            {u"pbstrFriendlyClass", VT_BYREF | VT_BSTR},
                                            {u"pbstrFriendlyAttribute", VT_BYREF | VT_BSTR}};
constexpr DispatchParam kFriendlyClass[] = {{u"bstrClass", VT_BSTR}, {u"pbstrFriendlyClass", VT_BYREF | VT_BSTR}};
constexpr DispatchParam kChildren[] = {{u"bstrClass", VT_BSTR},
                                       {u"bstrPath", VT_BSTR},
                                       {u"pvarPossibleChildren", VT_BYREF | VT_VARIANT},
                                       {u"pvarPossibleChildren_Display", VT_BYREF | VT_VARIANT}};

const DispatchMember kMembers[] = {
    {u"LookupObjectGuid", 1, DISPATCH_METHOD, kName, 1, VT_BSTR,
     [](void* self, VARIANT* args, VARIANT* result) {
         return BstrResult(result, [&](BSTR* out) { return Cache(self)->LookupObjectGuid(args[0].bstrVal, out); });
     },
     u"method LookupObjectGuid"},
    {u"LookupGuidObject", 2, DISPATCH_METHOD, kGuid, 1, VT_BSTR,
     [](void* self, VARIANT* args, VARIANT* result) {
         return BstrResult(result, [&](BSTR* out) { return Cache(self)->LookupGuidObject(args[0].bstrVal, out); });
     },
     u"method LookupGuidObject"},
    {u"GetLargeImageList", 3, DISPATCH_METHOD, nullptr, 0, VT_I8,
     [](void* self, VARIANT*, VARIANT* result) {
         result->vt = VT_I8;
         return Cache(self)->GetLargeImageList(reinterpret_cast<LONG_PTR*>(&result->llVal));
     },
     u"method GetLargeImageList"},
    {u"GetSmallImageList", 4, DISPATCH_METHOD, nullptr, 0, VT_I8,
     [](void* self, VARIANT*, VARIANT* result) {
         result->vt = VT_I8;
         return Cache(self)->GetSmallImageList(reinterpret_cast<LONG_PTR*>(&result->llVal));
     },
     u"method GetSmallImageList"},
    {u"GetIconIndex", 5, DISPATCH_METHOD, kIconIndex, 2, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return Cache(self)->GetIconIndex(args[0].bstrVal, args[1].plVal); },
     u"method GetIconIndex"},
    {u"AddIconToImageList", 6, DISPATCH_METHOD, kAddIcon, 2, VT_I4,
     [](void* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_I4;
         result->lVal = -1;
         return Cache(self)->AddIconToImageList(args[0].bstrVal, static_cast<LONG_PTR>(args[1].llVal), &result->lVal);
     },
     u"method AddIconToImageList"},
    {u"IsClassContainer", 7, DISPATCH_METHOD, kClass, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return Cache(self)->IsClassContainer(args[0].bstrVal); },
     u"method IsClassContainer"},
    {u"InitializeActiveDirectoryIcons", 8, DISPATCH_METHOD, kLoadImages, 1, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) { return Cache(self)->InitializeActiveDirectoryIcons(args[0].lVal); },
     u"method InitializeActiveDirectoryIcons"},
    {u"GetSchemaContainers", 9, DISPATCH_METHOD, kContainers, 2, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) {
         VariantClear(args[1].pvarVal);
         return Cache(self)->GetSchemaContainers(args[0].lVal, args[1].pvarVal);
     },
     u"method GetSchemaContainers"},
    {u"GetImageListForNodeType", 10, DISPATCH_METHOD, kNodeType, 3, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) {
         VariantClear(args[2].pvarVal);
         return Cache(self)->GetImageListForNodeType(args[0].bstrVal, args[1].lVal, args[2].pvarVal);
     },
     u"method GetImageListForNodeType"},
    {u"IsClass", 11, DISPATCH_METHOD, kName, 1, VT_I4,
     [](void* self, VARIANT* args, VARIANT* result) {
         result->vt = VT_I4;
         return Cache(self)->IsClass(args[0].bstrVal, &result->lVal);
     },
     u"method IsClass"},
    {u"LookupFriendlyNames", 12, DISPATCH_METHOD, kFriendlyNames, 4, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) {
         for (VARIANT* out : {&args[2], &args[3]}) {
             SysFreeString(*out->pbstrVal);
             *out->pbstrVal = nullptr;
         }
         return Cache(self)->LookupFriendlyNames(args[0].bstrVal, args[1].bstrVal, args[2].pbstrVal, args[3].pbstrVal);
     },
     u"method LookupFriendlyNames"},
    // The cache's own string is copied: a script frees what it is handed.
    {u"LookupFriendlyClassName", 13, DISPATCH_METHOD, kFriendlyClass, 2, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) {
         BSTR own = nullptr;
         const HRESULT result = Cache(self)->LookupFriendlyClassName(args[0].bstrVal, &own);
         SysFreeString(*args[1].pbstrVal);
         *args[1].pbstrVal = own ? SysAllocStringLen(own, SysStringLen(own)) : nullptr;
         return result;
     },
     u"method LookupFriendlyClassName"},
    {u"GetPossibleChildren", 14, DISPATCH_METHOD, kChildren, 4, VT_EMPTY,
     [](void* self, VARIANT* args, VARIANT*) {
         VariantClear(args[2].pvarVal);
         VariantClear(args[3].pvarVal);
         return Cache(self)->GetPossibleChildren(args[0].bstrVal, args[1].bstrVal, args[2].pvarVal, args[3].pvarVal);
     },
     u"method GetPossibleChildren"},
    {u"IsInitialized", 15, DISPATCH_METHOD, nullptr, 0, VT_EMPTY,
     [](void* self, VARIANT*, VARIANT*) { return Cache(self)->IsInitialized(); }, u"method IsInitialized"},
};

const DispatchInterface* const kDescribed[] = {&kSchemaCacheDispatch};

}  // namespace

const DispatchInterface kSchemaCacheDispatch = {&IID_ISchemaCache, u"ISchemaCache", u"ISchemaCache Interface", kMembers,
                                                std::size(kMembers)};

const lumivel::com::TypeLibraryInfo kGlossarTypeLibrary = {
    &LIBID_GLOSSARLib, 1, 0, u"GLOSSARLib", u"Glossar 1.0 Type Library", kDescribed, 1};

}  // namespace glossar
