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
EXTERN_GUID(IID_IDeletedObjectSink);
EXTERN_GUID(IID_IDeletedObjectPages);

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

// Not of the console's: for a receiver that must not hold a domain's every tombstone at once
// (the command line's listing of a hundred thousand). The provider hands each record to the
// sink as its search page arrives, in the order EnumDeletedObjects would list them; the sink
// owns each record it is given, whatever it returns, and a failure it returns stops the
// listing with that failure. A listing that breaks off part-way fails after handing out the
// records before the break, so a receiver that has shown them must say that it failed. The
// provider remembers none of these records (the receiver keeps none): a whole listing so made
// forgets the naming context's tombstones, as a filtered one does.
struct IDeletedObjectSink : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE TakeDeletedObject(LONG_PTR lRecord) = 0;
};

struct IDeletedObjectPages : IUnknown {
    // lEntry and bstrFilter as for IRevivo::EnumDeletedObjects.
    virtual HRESULT STDMETHODCALLTYPE EnumDeletedObjectsTo(LONG_PTR lEntry, BSTR bstrFilter,
                                                           IDeletedObjectSink* pSink) = 0;
};

// Menu types of GetMenu and the provider's command ids. Besides the selection, a command's
// record may carry the answers its dialogs would collect (the keys after the commands below);
// the provider then shows the dialog only for an answer the record does not carry.
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
// archive cannot be read), kArchiveDistrustKey when it is not to be believed and, when asked,
// kHoldsObjectKey (int 0 or 1). Newest first is by the file's last write on the share. The return is S_OK,
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
// Result and return as command 311. Command 315 on a record that carries kRestoreTargetKey
// plans this restore: the object alone, into that container.
inline constexpr LONG kCommandRestoreTo = 317;
inline constexpr char16_t kRestoreTargetKey[] = u"RestoreTarget";

// Command 318, offered by no menu of the Parts' own: writes back onto a restored object what
// its section in the backup archive kReapplyArchiveKey names holds, for every attribute that is not
// restricted and that the directory lets the caller write (allowedAttributesEffective), in one
// modify where the directory takes it whole, else attribute by attribute; and adds the object
// to the groups its own section's memberOf names (a back link, never written itself) and to
// the groups whose sections in the same archive list it as a member, each group once. The
// record is the tombstone's, as listed before the restore ("name", "distinguishedName",
// "FocusedDC"). The result lists one new record per attribute or group: "name" (the
// attribute, or the group's DN with kReapplyMembershipKey int 1), kReapplyOutcomeKey and
// kReapplyErrorKey (why). An attribute is "Written", "Refused" or "LeftAlone"; a membership
// is "Written" (joined again), "AlreadyMember" (the object is in the group already, which
// counts as success), "Gone" (no group of that DN or GUID is left; its name is then the DN
// the backup gave, or the GUID of the group's section), "Refused" (the directory refused the
// add, or the group could not be read) or "Withheld" (below). S_OK when nothing was refused,
// S_FALSE otherwise, E_INVALIDARG for a record that names no tombstone, E_FAIL when the
// archive or the object's section or the live object cannot be read; an archive whose writer
// or date is not believed (and that kTrustArchiveKey does not name) fails with
// HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), one over the backup file's bounds with
// HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), each said as the command's failure. On any
// failure nothing is written.
// Attributes that grant access or run code (provider/restore/sensitive_writes.cpp) and groups
// that are privileged (adminCount 1, or a built-in administrators' group) are "Withheld" (why
// in kReapplyErrorKey) unless the record carries kReapplySensitiveKey int 1, the
// administrator's consent; such a record in the report carries kReapplySensitiveKey int 1
// whatever its outcome. With kReapplyPlanOnlyKey int 1 nothing is written and the object need
// not be live yet: what would be written or joined is "WouldWrite" (whether the directory lets
// the caller write it is known only once the object is back).
inline constexpr LONG kCommandReapplyBackup = 318;
inline constexpr char16_t kReapplyArchiveKey[] = u"ReapplyArchive";
inline constexpr char16_t kReapplyOutcomeKey[] = u"ReapplyOutcome";
inline constexpr char16_t kReapplyErrorKey[] = u"ReapplyError";
inline constexpr char16_t kReapplyMembershipKey[] = u"ReapplyMembership";
inline constexpr char16_t kReapplySensitiveKey[] = u"ReapplySensitive";
inline constexpr char16_t kReapplyPlanOnlyKey[] = u"ReapplyPlanOnly";
// On each attribute's record of the report (not on memberships): how many values the backup
// holds of it, an int.
inline constexpr char16_t kReapplyValueCountKey[] = u"ReapplyValueCount";

// The console's forms of the commands above, offered on a single tombstone's context menu after
// "&Restore" (commands 319, 317 and 320 in that order). 319, "Restore &Plan...", shows command
// 315's plan in a dialog from which the administrator may restore (optionally re-applying
// the latest backup, as 318); a record that carries kReapplyKey carries the dialog's answer,
// and is restored (and re-applied) without it. 317, "Restore &To...", asks for the container
// in a chooser when the record carries no kRestoreTargetKey. 320, "Restore &Subtree...", asks
// before it runs command 316 and shows its report (without dialogs it restores nothing).
// 319 and 320 answer as command 311 does: an "ObjectsDeleted" header followed by the records
// that are no longer tombstones.
inline constexpr LONG kCommandShowRestorePlan = 319;
inline constexpr LONG kCommandRestoreSubtreeReport = 320;
// Command 321, "Restore &Selected (N)...", offered on a selection of several tombstones: one
// plan for all of them (a deleted parent several need comes back once, before them) shown in
// a dialog; then they are restored in its order off the console's thread, with a progress
// dialog whose Cancel stops after the object under way, and one report of every object's
// outcome. It answers as command 311 does: an "ObjectsDeleted" header followed by the records
// that are no longer tombstones (S_OK when every planned object came back, else S_FALSE). A
// caller that asks no person gets S_FALSE: it restores the objects one by one (command 311).
inline constexpr LONG kCommandRestoreSelected = 321;

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
// On each archive of command 314: why its writer or its recorded time is not believed (see
// provider/backup/archive_trust.h); absent when the archive may be used. Such an archive is
// not "the latest", and a restore (kRestoreFromFileKey) or re-apply (kReapplyArchiveKey)
// refuses it unless kTrustArchiveKey on the record names it.
inline constexpr char16_t kArchiveDistrustKey[] = u"ArchiveDistrust";
// The archive the administrator trusts despite the check: its path, file name, or file name
// without ".zip" (the command line's --trust-archive, the console's confirmation).
inline constexpr char16_t kTrustArchiveKey[] = u"TrustArchive";

// ---- The answers a command's record may carry, one per dialog question ----
// Dialog 206 "Name" of a restore (commands 311, 316, 317, 319): the new name, as a person types
// it (not DN-escaped), for the first object of the restore whose name the global catalog holds
// already; the relative name's type ("CN=", "OU=") and the parent stay. It answers once: a new
// name that is taken as well is asked for again. Empty is no name (dialog 206 refuses it too).
inline constexpr char16_t kNewNameKey[] = u"NewName";
// Dialog 204 "Restore" of a restore: the full path of the backup archive that recreates a deleted
// parent no longer listed. Present but empty, it answers "none" (the dialog's Cancel): the
// restore goes on without the parent and fails as the Parts say.
inline constexpr char16_t kRestoreFromFileKey[] = u"RestoreFromFile";
// Set by the provider on the record once a parent was recreated from that archive: the
// containers it created, top down (an array of strings).
inline constexpr char16_t kRecoveredContainersKey[] = u"RecoveredContainers";
// Dialog 201 "Connect to" of command 309: the domain, as typed there (a DNS name, a DN or an
// "LDAP://" path). The selection of 309 is then one record carrying it.
inline constexpr char16_t kConnectDomainKey[] = u"ConnectDomain";
// Dialog 211 "Connect to Domain Controller" of command 312: the chosen controller's DNS name.
// It must answer a bind, as a row chosen in the dialog must.
inline constexpr char16_t kDomainControllerKey[] = u"DomainController";
// Dialog 109 "Perform Backup" of command 310, on its first record: kPerformBackupNow (its OK:
// the selection is backed up at once) or kPerformBackupSchedule (its "&Schedule": the schedule
// form's answers are the keys below, checked as the form checks them). On this record path the
// command returns S_OK when the archive was stored or the job was made, else S_FALSE; the
// dialog's own path keeps its Part's return (S_OK after OK, S_FALSE after Cancel or "&Schedule").
inline constexpr char16_t kPerformBackupKey[] = u"PerformBackup";
inline constexpr char16_t kPerformBackupNow[] = u"Now";
inline constexpr char16_t kPerformBackupSchedule[] = u"Schedule";
// The schedule form's answers, as the form stores them in the schedule settings.
// int: 0 daily, 1 weekly, 2 monthly, 3 once.
inline constexpr char16_t kScheduleKey[] = u"Schedule";
// int: daily every N days (1-365); weekly every N weeks (1-52); monthly by day the day (1-31);
// monthly by weekday the week (0 first ... 4 last).
inline constexpr char16_t kTimeSliceKey[] = u"TimeSlice";
// int: weekly the days (bit 0 Monday ... bit 6 Sunday); monthly the months (bit 0 January ...
// bit 11 December). Once: the run date (VT_DATE).
inline constexpr char16_t kDaysOrMonthsKey[] = u"DaysOrMonths";
// int, monthly by weekday only (its absence means by day): 0 Monday ... 6 Sunday.
inline constexpr char16_t kCycleOfWeekKey[] = u"CycleOfWeek";
// VT_DATE: the time of day the job starts; its date is the schedule's first day.
inline constexpr char16_t kStartTimeKey[] = u"StartTime";
// The account the job runs as, and its password. The password is checked against the domain
// when the job is made, never written to the audit log or a message, and the provider wipes it
// from the record once the job is made or refused; a caller wipes its own copies as well.
inline constexpr char16_t kAccountKey[] = u"Account";
inline constexpr char16_t kPasswordKey[] = u"Password";
// Dialog 401 "Restore Plan" of command 319: int 1 restores and then re-applies (as command 318)
// from kReapplyArchiveKey, else from the newest archive that holds the object; int 0 restores
// only. kReapplySensitiveKey int 1 beside it answers the dialog's second check box.
inline constexpr char16_t kReapplyKey[] = u"Reapply";

// ---- A caller that asks no person through the provider ----
// int 1 on the selection's first record: the caller asks its questions and shows its messages
// itself (the command line). The provider then shows no dialog and no message box for the
// command. Every message box it would show comes back in the result header's
// kCommandMessagesKey; an answer the record does not carry ends the command as the dialog's
// Cancel would, with kQuestionKey naming the key that would answer it and what the caller needs
// to ask it (so that it can ask and run the command again with the answer). The result is then
// always a list headed by a header record with kCommandResultKey (commands 309, 310, 316 and
// 318, whose results have no header of their own, get one in front of what they hand out, and a
// failure gets one where the Parts hand out nothing); after a failed restore the header is
// followed by the records that came back all the same (deleted parents). Without this key the
// results stay as the Parts and the commands above describe them.
inline constexpr char16_t kNoDialogsKey[] = u"NoDialogs";
// int: S_OK when the command did what it was asked; otherwise the HRESULT of the failure (the
// directory's error for a refused modify, the bind's for a domain that cannot be bound,
// E_ADS_OBJECT_EXISTS for a name that is taken, HRESULT_FROM_WIN32(ERROR_CANCELLED) for another
// question left open), or S_FALSE when nothing was done for no error of its own (a selection
// the command does not take).
inline constexpr char16_t kCommandResultKey[] = u"CommandResult";
// The failure in the provider's own words: the text and caption of the message box that says it
// (a question's text when no box would), or the system's text for the HRESULT and no caption.
inline constexpr char16_t kCommandErrorKey[] = u"CommandError";
inline constexpr char16_t kCommandErrorCaptionKey[] = u"CommandErrorCaption";
// Every message box the command would have shown, in order, as "Caption: text": an array of
// strings (VT_ARRAY|VT_VARIANT of VT_BSTR), absent when there was none.
inline constexpr char16_t kCommandMessagesKey[] = u"CommandMessages";
// The answer the command needed: one of the answer keys above (kNewNameKey,
// kRestoreFromFileKey, kRestoreTargetKey, kConnectDomainKey, kDomainControllerKey,
// kPerformBackupKey, kReapplyKey).
inline constexpr char16_t kQuestionKey[] = u"Question";
// With kNewNameKey: the DN that is taken (a new name given on the record that is taken too
// names that DN). In the header of a restore that succeeded: the DN that was taken and that the
// record's kNewNameKey replaced; absent when no name was taken.
inline constexpr char16_t kTakenNameKey[] = u"TakenName";
// With kRestoreFromFileKey: the archives of the backup folder that hold the object, newest
// first, as dialog 204 lists them: full paths, and in the same order their backup dates and
// origins (arrays of strings). Absent when no archive holds it (the dialog would not open).
inline constexpr char16_t kArchivesKey[] = u"Archives";
inline constexpr char16_t kArchiveDatesKey[] = u"ArchiveDates";
inline constexpr char16_t kArchiveOriginsKey[] = u"ArchiveOrigins";
// In the same order: why each is not believed (empty for one that is), as kArchiveDistrustKey.
inline constexpr char16_t kArchiveDistrustsKey[] = u"ArchiveDistrusts";
// In the header of a restore that succeeded, for such a caller: the DN each record after the
// header got, in their order (an array of strings).
inline constexpr char16_t kRestoredAsKey[] = u"RestoredAs";
