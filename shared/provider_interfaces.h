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

// Command 315, offered by no menu of the Parts' own: what restoring one listed tombstone
// (command 311 on the same record, after the same full listing) would do, changing nothing.
// The result is a header record with kPlanMayReanimateKey (int 0 or 1; absent when the
// directory would not tell), kPlanRightsKey (why, in words) and, when a deleted parent is no
// longer listed, kPlanMissingParentKey (its DN: it would be recreated from a backup); then one
// new record per object in the order it would come back, deleted parents first: "name",
// "class", "distinguishedName" (the tombstone), "lastKnownParent", kPlanTargetKey (the DN it
// would get; empty below a parent recreated from a backup), kPlanNameTakenKey (int 1 when the
// global catalog holds that DN already), kPlanMayCreateKey (int 0 or 1, for the first object
// whose parent is live: whether the caller may create its class there) and kExpiresKey /
// kExpiresUtcKey. S_OK with that list; S_FALSE without exactly one record; E_INVALIDARG for a
// record that names no tombstone.
inline constexpr LONG kCommandPlanRestore = 315;
inline constexpr char16_t kPlanMayReanimateKey[] = u"PlanMayReanimate";
inline constexpr char16_t kPlanRightsKey[] = u"PlanRights";
inline constexpr char16_t kPlanMissingParentKey[] = u"PlanMissingParent";
inline constexpr char16_t kPlanTargetKey[] = u"PlanTarget";
inline constexpr char16_t kPlanNameTakenKey[] = u"PlanNameTaken";
inline constexpr char16_t kPlanMayCreateKey[] = u"PlanMayCreate";

// Command 316, offered by no menu of the Parts' own: restores one listed deleted container
// and every listed tombstone whose chain of last known parents leads to it, parents first,
// after a full listing. The container itself comes back as command 311 brings it back (its
// deleted parents first, message boxes and all); its descendants follow over one session.
// With kKeepGoingKey (int 1) on the record a failed object does not stop the others (only
// its own descendants). The result lists one new record per object in the order it was
// handled: "name", "class", "distinguishedName" (the tombstone), kPlanTargetKey (the DN it
// got or was to get), kSubtreeOutcomeKey ("Restored", "Failed" or "NotAttempted") and
// kSubtreeErrorKey (why not). S_OK when every one was restored, S_FALSE otherwise (the list
// comes back in both cases); E_INVALIDARG for a record that names no tombstone.
inline constexpr LONG kCommandRestoreSubtree = 316;
inline constexpr char16_t kKeepGoingKey[] = u"KeepGoing";
inline constexpr char16_t kSubtreeOutcomeKey[] = u"SubtreeOutcome";
inline constexpr char16_t kSubtreeErrorKey[] = u"SubtreeError";

// Command 317, offered by no menu of the Parts' own: restores one listed tombstone into the
// live container kRestoreTargetKey on the record names instead of its last known parent. The
// container must exist and the caller must be able to create the object's class in it (the
// directory's creation check); otherwise a message box says which, and nothing changes.
// Without kRestoreTargetKey the container is asked for in dialog IDD_RESTORE_TO; a cancelled
// choice returns S_FALSE and changes, audits and sets nothing on the record.
// Result and return as command 311.
inline constexpr LONG kCommandRestoreTo = 317;
inline constexpr char16_t kRestoreTargetKey[] = u"RestoreTarget";

// Command 318, offered by no menu of the Parts' own: writes back onto a restored object what
// its section in the backup archive kReapplyArchiveKey names holds, for every attribute that is not
// restricted and that the directory lets the caller write (allowedAttributesEffective), in one
// modify where the directory takes it whole, else attribute by attribute; and adds the object
// to the live groups whose sections in the same archive list it as a member. The record is
// the tombstone's, as listed before the restore ("name", "distinguishedName", "FocusedDC").
// The result lists one new record per attribute or group: "name" (the attribute, or the
// group's DN with kReapplyMembershipKey int 1), kReapplyOutcomeKey ("Written", "Refused" or
// "LeftAlone") and kReapplyErrorKey (why). S_OK when nothing was refused, S_FALSE otherwise,
// E_INVALIDARG for a record that names no tombstone, E_FAIL when the archive or the object's
// section or the live object cannot be read (nothing is written then).
inline constexpr LONG kCommandReapplyBackup = 318;
inline constexpr char16_t kReapplyArchiveKey[] = u"ReapplyArchive";
inline constexpr char16_t kReapplyOutcomeKey[] = u"ReapplyOutcome";
inline constexpr char16_t kReapplyErrorKey[] = u"ReapplyError";
inline constexpr char16_t kReapplyMembershipKey[] = u"ReapplyMembership";

// The console's forms of the commands above, offered on a single tombstone's context menu after
// "&Restore" (commands 319, 317 and 320 in that order). 319, "Restore &Plan...", shows command
// 315's plan in a dialog from which the administrator may restore (optionally re-applying
// the latest backup, as 318). 317, "Restore &To...", asks for the container in a chooser when
// the record carries no kRestoreTargetKey. 320, "Restore &Subtree...", runs command 316 and
// shows its report. 319 and 320 answer as command 311 does: an "ObjectsDeleted" header
// followed by the records that are no longer tombstones.
inline constexpr LONG kCommandShowRestorePlan = 319;
inline constexpr LONG kCommandRestoreSubtreeReport = 320;

// The HKEY_CURRENT_USER key of the stored domain nodes: one REG_SZ value per node, named
// "DomainName/guid" (or the guid alone) and holding the node's display name.
inline constexpr const char16_t* kLumivelKey = u"Software\\Tarvo Software\\Tarvo Lumivel";

// Keys of the records this provider hands to callers other than the console.
// A deleted object's deletion time (its whenChanged) in ISO 8601 UTC, "2026-12-08T13:57:53Z".
inline constexpr char16_t kDateDeletedUtcKey[] = u"DateDeletedUtc";
// When the directory purges a listed tombstone: as the "Date Deleted" column shows times, and
// as ISO 8601 UTC: the deletion time plus the forest's lifetime of deleted objects.
inline constexpr char16_t kExpiresKey[] = u"Expires";
inline constexpr char16_t kExpiresUtcKey[] = u"ExpiresUtc";

// GetColumns view type 3: the result list's four columns (the very records view type 1 hands
// out, so a width written into one counts for both) followed by "Expires" (key kExpiresKey,
// width from the value "Expires" of kResultColumnsKey, default 100). A caller that shows it
// on request keeps the request per user as the DWORD kExpiresShownValue (1 shown) beside the
// widths. A provider that leaves both outputs empty has no such column.
inline constexpr LONG kViewTypeResultWithExpires = 3;
inline constexpr const char16_t* kResultColumnsKey = u"Software\\Tarvo Software\\Tarvo Lumivel\\Columns\\Top";
inline constexpr char16_t kExpiresShownValue[] = u"ExpiresShown";
// Set by a backup (command 310) on every record it backed up: the stored archive's path.
inline constexpr char16_t kBackupArchiveKey[] = u"BackupArchive";
inline constexpr char16_t kBackupObjectKey[] = u"BackupObject";
inline constexpr char16_t kBackupFolderKey[] = u"BackupFolder";
inline constexpr char16_t kBackupSectionKey[] = u"BackupSection";
inline constexpr char16_t kBackupDateKey[] = u"BackupDate";
inline constexpr char16_t kBackupOriginKey[] = u"BackupOrigin";
inline constexpr char16_t kObjectCountKey[] = u"ObjectCount";
inline constexpr char16_t kHoldsObjectKey[] = u"HoldsObject";
