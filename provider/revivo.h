// The provider object: COM class Revivo of RevivoProvider.so.
//
// One object answers IRevivo (dual, with IDispatch), IProviderData and IProviderCommands, and
// IDeletedObjectPages for a receiver that takes a listing a record at a time.
// It can be aggregated: the kit's inner, non-delegating IUnknown owns the reference count,
// and every interface's IUnknown goes to the controlling unknown.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "lumivel/com_object.h"
#include "lumivel/dispatch_table.h"
#include "lumivel/unique_bstr.h"
#include "provider/backup/backup_sources.h"
#include "provider/restore/tombstone_lifetime.h"
#include "shared/property_set.h"
#include "shared/provider_interfaces.h"
#include "shared/schema_cache_interface.h"
#include "win/adsi.h"
#include "win/commctrl.h"

namespace revivo {

class DetailsCache;

// A tombstone remembered from the last unfiltered listing. The provider keeps its own
// reference-counted copy of what reanimation reads, so a receiver freeing its records never
// leaves the cache dangling, and a restore in progress keeps its copy while a nested listing
// empties the cache. handedOut is the address the receiver got: never dereferenced, only
// handed back so that the console can take a restored record out of its view.
// Made from a listed record, the texts are the record's own BSTRs with one more owner each
// (lumivel::ShareBstr), not copies: a listing of many thousands then costs the cache little
// more than its pointers, and a record changed or freed later leaves the copy as it was.
class TombstoneCopy {
public:
    enum Field { DistinguishedName, LastKnownParent, Name, ClassName, FocusedDc, ExpiresUtc, Expires, kFieldCount };

    // Copies of the texts; throws std::bad_alloc when memory runs out.
    TombstoneCopy(const std::u16string_view (&fields)[kFieldCount], LONG_PTR handedOut);
    // The record's texts under the keys of the fields, shared; throws std::bad_alloc when
    // memory runs out.
    TombstoneCopy(const PropertySet& record, LONG_PTR handedOut);

    std::u16string_view field(Field which) const { return m_fields[which].view(); }
    std::u16string_view distinguishedName() const { return field(DistinguishedName); }
    std::u16string_view lastKnownParent() const { return field(LastKnownParent); }
    std::u16string_view name() const { return field(Name); }
    std::u16string_view className() const { return field(ClassName); }
    std::u16string_view focusedDc() const { return field(FocusedDc); }
    std::u16string_view expiresUtc() const { return field(ExpiresUtc); }
    std::u16string_view expires() const { return field(Expires); }
    LONG_PTR handedOut() const { return m_handedOut; }

private:
    lumivel::UniqueBstr m_fields[kFieldCount];
    LONG_PTR m_handedOut;
};
using TombstoneRef = std::shared_ptr<const TombstoneCopy>;

// One object a restore brought back: its tombstone name, which command 311 turns into the
// address to report, and the DN it got.
struct RestoredTombstone {
    std::u16string tombstone;
    std::u16string newName;
    // When a backup recreated its former parent first: the archive and the containers it made.
    std::u16string archive;
    std::vector<std::u16string> containersCreated;
};
// What one restore brought back, parents first.
using RestoredTombstones = std::vector<RestoredTombstone>;

struct PlannedStep;
struct SharedPlanStep;
struct SharedRestoreResult;
// Asked before each step of a restore of many with how many are done, how many there are and
// the step about to run; false stops the restore there (the steps left are not attempted).
using RestoreStepGate = std::function<bool(size_t done, size_t total, const PlannedStep& next)>;
// Asked before one restore reanimates an object (its deleted parents first), with how many
// came back so far and the object's name; false stops the restore there.
using ReanimationGate = std::function<bool(size_t restored, std::u16string_view name)>;
// Runs a restore's work, which asks the gate it is given before each object, on whatever
// thread the caller chooses, and returns once it has ended; false when it could not run it.
using RestoreRunner = std::function<bool(const std::function<void(const RestoreStepGate&)>& work)>;

// The tombstones of one naming context's last full listing.
struct NamingContextTombstones {
    std::u16string namingContext;
    std::vector<TombstoneRef> tombstones;
};

// How EnumDeletedObjects reaches a naming context's Deleted Objects container (null: the
// default one): the search interface on it and the naming context it lies in.
using DeletedObjectsOpener =
    std::function<HRESULT(LPCWSTR namingContext, std::u16string* usedContext, IDirectorySearch** search)>;

// The dispatch table of IRevivo, with its help strings (revivo_dispatch.cpp).
extern const lumivel::com::DispatchInterface kRevivoDispatch;
extern const lumivel::com::TypeLibraryInfo kRevivoTypeLibrary;

// The interfaces keep their slot order; IUnknown comes from the kit, IDispatch from the
// dispatch table.
class Revivo final : public lumivel::com::ComObject<Revivo, lumivel::com::DispatchFromTable<IRevivo, kRevivoDispatch>,
                                                    IProviderData, IProviderCommands, IDeletedObjectPages> {
public:
    // The COM map, in its documented order.
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<Revivo, IRevivo>(IID_IRevivo),
        lumivel::com::InterfaceOf<Revivo, IRevivo>(IID_IDispatch),
        lumivel::com::InterfaceOf<Revivo, IProviderData>(IID_IProviderData),
        lumivel::com::InterfaceOf<Revivo, IProviderCommands>(IID_IProviderCommands),
        lumivel::com::InterfaceOf<Revivo, IDeletedObjectPages>(IID_IDeletedObjectPages),
    };

    // The class factory's creation; outer is the controlling unknown when aggregated.
    static HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object);

    Revivo();
    ~Revivo() override;

    // IRevivo
    STDMETHODIMP EnumDeletedObjects(LONG_PTR lEntry, BSTR bstrFilter, VARIANT* pvarObjects) override;
    STDMETHODIMP BackupObjects(BSTR bstrPath) override;

    // IProviderData
    STDMETHODIMP GetColumns(LONG lViewType, VARIANT* pvarColumns, VARIANT* pvarKeys) override;
    STDMETHODIMP ActivateObject(HWND hwndList, LONG_PTR lRecord) override;
    STDMETHODIMP SetConsole(IUnknown* pConsole) override;
    STDMETHODIMP DeleteObjects(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) override;
    STDMETHODIMP ReservedCommand(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) override;
    STDMETHODIMP ShowProperties(HWND hwndOwner, VARIANT* pvarSelection, VARIANT* pvarResult) override;
    STDMETHODIMP GetDetails(VARIANT* pvarSelection, LONG* plMode, VARIANT* pvarDetails) override;
    STDMETHODIMP LinkClicked(HWND hwndRichEdit, VARIANT* pvarSelection, BSTR bstrLink, VARIANT* pvarResult) override;

    // IProviderCommands
    STDMETHODIMP GetNodes(LONG lReserved1, LONG lReserved2, LONG lReserved3, VARIANT* pvarNodes) override;
    STDMETHODIMP GetMenu(LONG lMenuType, VARIANT* pvarSelection, HMENU* phMenu, HINSTANCE* phInstance) override;
    STDMETHODIMP ExecuteCommand(HWND hwndParent, LONG lReserved, LONG lCommandId, VARIANT* pvarSelection,
                                VARIANT* pvarResult) override;
    STDMETHODIMP ReservedCommand6(LONG lReserved1, LONG lReserved2) override;
    STDMETHODIMP ReservedCommand7(LONG lReserved1, LONG lReserved2, LONG lReserved3) override;

    // IDeletedObjectPages
    STDMETHODIMP EnumDeletedObjectsTo(LONG_PTR lEntry, BSTR bstrFilter, IDeletedObjectSink* pSink) override;

    // Internal operations reached through the commands.
    // Connect to a domain: S_OK with a new node record, S_FALSE when cancelled, else the
    // binding's HRESULT. The domain is the request's kConnectDomainKey, else asked in dialog 201.
    HRESULT ConnectToDomain(HWND parent, PropertySet** node, const PropertySet* request = nullptr);
    // Remove a stored node: 0 when its registry value was deleted, 1 otherwise.
    LONG RemoveStoredNode(const PropertySet* node);
    // The Deleted Objects container of a naming context (null: the default one), serverless;
    // usedContext receives the naming context it belongs to.
    HRESULT OpenDeletedObjectsContainer(LPCWSTR namingContext, IADsContainer** container,
                                        std::u16string* usedContext = nullptr);
    // Gives a record without "FocusedDC" the server that answers a binding of its path.
    void FillInFocusedDC(PropertySet* record);
    // The "Connect to Domain Controller" dialog: true with the chosen DNS name when one was
    // chosen and confirmed. A node record that carries kDomainControllerKey answers it.
    bool ChooseDomainController(HWND parent, const PropertySet* node, std::u16string* chosen);
    // Reanimates one tombstone, a deleted parent first; appends the tombstone names of what
    // was restored, also when a later step fails. The gate, when given, is asked before each.
    // Containers a backup recreated go to *recreated, also when the object then stays deleted.
    HRESULT Restore(HWND parent, PropertySet* record, RestoredTombstones* restored, const ReanimationGate& gate = {},
                    std::vector<std::u16string>* recreated = nullptr);
    // Command 315: what Restore would do for the record, as a result list; nothing changes.
    HRESULT PlanRestore(PropertySet* record, VARIANT* result);
    // Command 316: the deleted container and its listed descendants, parents first. When
    // asked, *forgotten receives the cache's copies of what came back, with the addresses the
    // listing handed them out at. The container comes back on this thread; the runner, when
    // given, runs the descendants' part (which asks no one), else it runs here.
    HRESULT RestoreSubtree(HWND parent, PropertySet* record, VARIANT* result,
                           std::vector<TombstoneRef>* forgotten = nullptr, const RestoreRunner& runner = {});
    // How many tombstones command 316 would take on for the record: it and its listed
    // descendants.
    size_t ListedSubtreeSize(const PropertySet* record) const;
    // Command 317: into another live container; S_OK with what was restored, else S_FALSE.
    HRESULT RestoreTo(HWND parent, PropertySet* record, std::u16string_view container, RestoredTombstones* restored);
    // Command 317's container when the record names none: S_OK with it, S_FALSE when cancelled.
    HRESULT ChooseRestoreTarget(HWND parent, const PropertySet* record, std::u16string* container);
    // Command 318: the backup's values written back onto the restored object.
    HRESULT ReapplyBackup(PropertySet* record, VARIANT* result);
    // The same with attribute lists of the caller's own: a plan (kReapplyPlanOnlyKey) worked out
    // off the provider's thread, which keeps the provider's lists to itself.
    static HRESULT ReapplyBackupWith(AttributeLists& lists, PropertySet* record, VARIANT* result);
    // Command 322: the tombstones changed since the node record's sync point, or all of them.
    HRESULT ListTombstoneChanges(PropertySet* node, VARIANT* result);

    // Commands 311 and 317 as a menu runs them: the restore, its audit lines and message box,
    // and the "ObjectsDeleted" result. Command 311 given the number of objects it brings back
    // (`planned`, its plan's) runs off this thread under the progress dialog.
    HRESULT RunRestoreCommand(HWND parent, LONG commandId, PropertySet* record, VARIANT* result, size_t planned = 0);
    // Command 318 with its audit line.
    HRESULT RunReapplyCommand(HWND parent, PropertySet* record, VARIANT* result);
    // Command 319: the plan in a dialog, from which the administrator may restore.
    HRESULT ShowRestorePlan(HWND parent, PropertySet* record, VARIANT* result);
    // Command 320: command 316 after a confirmation, then its report in a dialog.
    HRESULT RestoreSubtreeWithReport(HWND parent, PropertySet* record, VARIANT* result);
    // Command 321's restore: the shared plan's steps in order, each as command 311 restores
    // one, asking no one (safe off the console's thread); `objects` are what its asked steps
    // name, and the gate is asked before each step.
    SharedRestoreResult RestoreSharedPlan(const std::vector<SharedPlanStep>& plan,
                                          const std::vector<PropertySet*>& objects, const RestoreStepGate& gate);
    // Command 321: one plan for the selected tombstones in a dialog, then their restore off the
    // console's thread with a progress dialog that can stop it, and one report.
    HRESULT RestoreSelected(HWND parent, const std::vector<PropertySet*>& selection, VARIANT* result);
    // An "ObjectsDeleted" header followed by the records, as the console takes them.
    static void HandOutObjectsDeleted(const std::vector<LONG_PTR>& records, VARIANT* result);

    // The text of the last failure a restore showed, for the audit log.
    const std::u16string& lastRestoreError() const { return m_lastRestoreError; }

    ISchemaCache* schemaCache() const { return m_schemaCache; }
    AttributeLists& attributeLists() { return m_attributeLists; }
    ClassAttributeCache& classAttributes() { return m_classAttributes; }
    BackupSources backupSources() { return {&m_attributeLists, &m_classAttributes}; }
    // How many tombstones the last unfiltered listings left for reanimation to consult, of all
    // naming contexts or of one.
    size_t deletedObjectCacheSize() const;
    size_t deletedObjectCacheSize(std::u16string_view namingContext) const;
    // Listings reach the directory through this instead (a scripted directory in tests).
    void setDeletedObjectsOpener(DeletedObjectsOpener opener) { m_openDeletedObjects = std::move(opener); }

private:
    // On the console's thread: the details asked for last have been read; the control showing
    // them is told to ask again.
    void detailsReady();
    struct RestoreState;
    // ExecuteCommand's work, for every caller alike; ExecuteCommand adds the report of a caller
    // that asked for no dialogs.
    HRESULT runCommand(HWND parent, LONG commandId, const std::vector<PropertySet*>& selection, VARIANT* result);
    HRESULT restoreTombstone(HWND parent, PropertySet* record, RestoreState* state);
    // A name taken in the forest renamed: by the record's answer, in dialog 206, or (for a caller
    // that asked for no dialogs) handed back as the question. S_OK with the new DN, else E_FAIL.
    HRESULT renameTakenName(HWND parent, RestoreState* state, std::u16string* newName);
    // The tombstone's last known parent as the focused DC now holds it; empty when it cannot
    // be read there.
    std::u16string rereadLastKnownParent(const PropertySet* record);
    // The parent of a tombstone without lastKnownParent, from the object's own backup section:
    // S_OK with lastKnownParent set on the record, else S_FALSE with the user told why.
    HRESULT recoverUnknownParent(HWND parent, PropertySet* record, RestoreState* state);

    HRESULT openDeletedObjects(LPCWSTR namingContext, std::u16string* usedContext, IDirectorySearch** search);
    // The lifetime in days a listing of the naming context gives its records' purge times (0: none).
    LONG listingLifetime(const std::optional<std::u16string>& namingContext, std::u16string_view usedContext);

    void clearDeletedObjectCache();
    void rememberTombstones(const std::u16string& namingContext, const std::vector<PropertySet*>* records);
    // An incremental listing applied to the naming context's remembered list, when there is
    // one: the records read again replace or join it, the GUIDs that left leave it.
    void updateTombstones(const std::u16string& namingContext, const std::vector<PropertySet*>& records,
                          const std::vector<std::u16string>& leftGuids);
    // Drops the tombstone from the cache; the address its record was handed out at, 0 when it
    // is not in the cache (any more).
    LONG_PTR forgetTombstone(std::u16string_view tombstoneName);
    // Many at once, in one pass over the cache; the copies dropped.
    std::vector<TombstoneRef> forgetTombstones(const std::vector<std::u16string>& tombstoneNames);
    std::vector<TombstoneRef> deletedObjectCacheSnapshot() const;

    // The object's state, in its documented order. The reference count, first of it, is the
    // kit's (ComObjectRoot, the first base); the fields below follow it.
    IUnknown* m_secondInterface = nullptr;  // never set by the provider itself
    ISchemaCache* m_schemaCache = nullptr;
    std::vector<LVCOLUMNW*> m_columns;
    // The backup writer's attribute lists per class, with the classes visited while one is built.
    ClassAttributeCache m_classAttributes;
    // The restricted and the second ("Post") attribute sets of the configuration file.
    AttributeLists m_attributeLists;
    std::vector<std::u16string> m_visitedClasses;
    // One list per naming context: workers of two domain nodes list on one provider object at
    // once, and neither may throw away the other's parents. A list is swapped whole under the
    // lock, so of two listings of one naming context the last to finish is remembered.
    std::vector<NamingContextTombstones> m_deletedObjectCache;
    mutable std::mutex m_deletedObjectCacheLock;
    DeletedObjectsOpener m_openDeletedObjects;
    std::u16string m_lastRestoreError;
    TombstoneLifetimes m_lifetimes;
    // The details pane's answers, read off the console's thread; the console that shows them
    // (SetConsole) is how the control learns that they came.
    std::unique_ptr<DetailsCache> m_details;
    lumivel::ComPtr<IUnknown> m_console;
};


}  // namespace revivo
