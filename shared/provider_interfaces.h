// The provider's three interfaces, shared by the provider, the snap-in and the control.
//
// Slot order is the ABI: IRevivo counts IUnknown's three and IDispatch's four slots before
// EnumDeletedObjects (slot 7); IProviderData and IProviderCommands follow IUnknown (slot 3
// onwards). Records, window handles and menu handles are pointer-sized on this platform,
// so every parameter that carries an address is LONG_PTR or a handle type.
#pragma once

#include "win/oleauto.h"

EXTERN_GUID(CLSID_Revivo);
EXTERN_GUID(LIBID_REVIVOPROVIDERLib);
EXTERN_GUID(IID_IRevivo);
EXTERN_GUID(IID_IProviderData);
EXTERN_GUID(IID_IProviderCommands);

// Dispatch identifiers of IRevivo.
inline constexpr DISPID kDispidEnumDeletedObjects = 1;
inline constexpr DISPID kDispidBackupObjects = 2;

struct IRevivo : IDispatch {
    // lEntry: address of a domain node record, 0 for the logged-on user's default domain.
    virtual HRESULT STDMETHODCALLTYPE EnumDeletedObjects(LONG_PTR lEntry, BSTR bstrFilter, VARIANT* pvarObjects) = 0;
    virtual HRESULT STDMETHODCALLTYPE BackupObjects(BSTR bstrPath) = 0;
};

struct IProviderData : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetColumns(LONG lViewType, VARIANT* pvarColumns, VARIANT* pvarKeys) = 0;
    virtual HRESULT STDMETHODCALLTYPE ActivateObject(HWND hwndList, LONG_PTR lRecord) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetConsole(IUnknown* pConsole) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteObjects(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedCommand(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowProperties(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDetails(VARIANT* pvarSelection, LONG* plMode, VARIANT* pvarDetails) = 0;
    virtual HRESULT STDMETHODCALLTYPE LinkClicked(HWND hwndRichEdit, VARIANT* pvarSelection, BSTR bstrLink,
                                                  VARIANT* pvarResult) = 0;
};

struct IProviderCommands : IUnknown {
    // The three numbers are ignored; callers pass 0.
    virtual HRESULT STDMETHODCALLTYPE GetNodes(LONG lReserved1, LONG lReserved2, LONG lReserved3,
                                               VARIANT* pvarNodes) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMenu(LONG lMenuType, VARIANT* pvarSelection, HMENU* phMenu,
                                              HINSTANCE* phInstance) = 0;
    virtual HRESULT STDMETHODCALLTYPE ExecuteCommand(HWND hwndParent, LONG lReserved, LONG lCommandId,
                                                     VARIANT* pvarSelection, VARIANT* pvarResult) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedCommand6(LONG lReserved1, LONG lReserved2) = 0;
    virtual HRESULT STDMETHODCALLTYPE ReservedCommand7(LONG lReserved1, LONG lReserved2, LONG lReserved3) = 0;
};

// Menu types of GetMenu and the provider's command ids.
inline constexpr LONG kMenuTypeContext = 1;
inline constexpr LONG kMenuTypeNew = 8;
inline constexpr LONG kCommandConnect = 309;
inline constexpr LONG kCommandBackup = 310;
inline constexpr LONG kCommandRestore = 311;
inline constexpr LONG kCommandChooseDomainController = 312;
inline constexpr LONG kCommandRemove = 313;

// Command 314, which no menu offers: the archives of the backup folder, for callers that
// show them (the command line). The selection is one record: "FocusedDC" names the domain
// controller whose sysvol holds the folder (the "FileLocation" policy comes first), and
// kBackupObjectKey, when set, an object (a GUID, or the DN of a live object or of its
// tombstone) each archive is checked for. The result is a header record with
// kBackupFolderKey (and kBackupSectionKey, the object's section name, once it is known), then
// one record per archive, newest first: "name" (file name), "path",
// kBackupDateKey (as recorded, UTC), kBackupOriginKey, kObjectCountKey (int, -1 when the
// archive cannot be read) and, when asked, kHoldsObjectKey (int 0 or 1). The return is S_OK,
// or the failure of listing the folder or of telling the object's GUID; the header comes
// back in every case.
inline constexpr LONG kCommandListBackups = 314;

// The HKEY_CURRENT_USER key of the stored domain nodes: one REG_SZ value per node, named
// "DomainName/guid" (or the guid alone) and holding the node's display name.
inline constexpr const char16_t* kLumivelKey = u"Software\\Tarvo Software\\Tarvo Lumivel";

// Keys of the records this provider hands to callers other than the console.
// A deleted object's deletion time (its whenChanged) in ISO 8601 UTC, "2026-12-08T13:57:53Z".
inline constexpr char16_t kDateDeletedUtcKey[] = u"DateDeletedUtc";
// Set by a backup (command 310) on every record it backed up: the stored archive's path.
inline constexpr char16_t kBackupArchiveKey[] = u"BackupArchive";
inline constexpr char16_t kBackupObjectKey[] = u"BackupObject";
inline constexpr char16_t kBackupFolderKey[] = u"BackupFolder";
inline constexpr char16_t kBackupSectionKey[] = u"BackupSection";
inline constexpr char16_t kBackupDateKey[] = u"BackupDate";
inline constexpr char16_t kBackupOriginKey[] = u"BackupOrigin";
inline constexpr char16_t kObjectCountKey[] = u"ObjectCount";
inline constexpr char16_t kHoldsObjectKey[] = u"HoldsObject";
