// Directory object creation service. Initialize answers S_OK exactly when the class may be
// created in the container for the calling user (the container's allowedChildClassesEffective).
#pragma once

#include "win/adsi.h"

ADS_GUID(CLSID_DsAdminCreateObj);
ADS_GUID(IID_IDsAdminCreateObj);

struct IDsAdminCreateObj : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE Initialize(IADsContainer* pADsContainerObj, IADs* pADsCopySource,
                                                 LPCWSTR lpszClassName) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateModal(HWND hwndParent, IADs** ppADsObj) = 0;
};
