// ISchemaCache: the schema service of the Glossar module, as every module calls it.
//
// Dual: the fifteen methods follow IDispatch's four slots, DISPIDs 1 to 15 in this order.
// Image-list handles travel pointer-sized (LONG_PTR) on this platform.
#pragma once

#include "win/oleauto.h"

EXTERN_GUID(CLSID_SchemaCache);
EXTERN_GUID(LIBID_GLOSSARLib);
EXTERN_GUID(IID_ISchemaCache);

struct ISchemaCache : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE LookupObjectGuid(BSTR bstrObject, BSTR* pbstrGuid) = 0;
    virtual HRESULT STDMETHODCALLTYPE LookupGuidObject(BSTR bstrGuid, BSTR* pbstrObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLargeImageList(LONG_PTR* plImageList) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSmallImageList(LONG_PTR* plImageList) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIconIndex(BSTR bstrClass, LONG* plIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddIconToImageList(BSTR bstrIconName, LONG_PTR lIcon, LONG* plIconIndex) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsClassContainer(BSTR bstrClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE InitializeActiveDirectoryIcons(LONG lLoadImages) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSchemaContainers(LONG lGetStateClasses, VARIANT* pvarContainers) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImageListForNodeType(BSTR bstrNodeType, LONG lImageSize,
                                                              VARIANT* pvarImageList) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsClass(BSTR bstrObject, LONG* plIsClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE LookupFriendlyNames(BSTR bstrClass, BSTR bstrAttribute, BSTR* pbstrFriendlyClass,
                                                          BSTR* pbstrFriendlyAttribute) = 0;
    // The out-string belongs to the cache: read it, never free it.
    virtual HRESULT STDMETHODCALLTYPE LookupFriendlyClassName(BSTR bstrClass, BSTR* pbstrFriendlyClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPossibleChildren(BSTR bstrClass, BSTR bstrPath, VARIANT* pvarPossibleChildren,
                                                          VARIANT* pvarPossibleChildren_Display) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsInitialized() = 0;
};
