// IProviderCommands::ExecuteCommand and IRevivo::BackupObjects.
#include <algorithm>
#include <iterator>
#include <vector>

#include "lumivel/com_ptr.h"
#include "provider/common/audit.h"
#include "provider/backup/backup_listing.h"
#include "provider/backup/backup_writer.h"
#include "provider/backup/perform_backup_dialog.h"
#include "provider/common/command_report.h"
#include "provider/common/system_error_text.h"
#include "provider/dialogs/restore_progress_dialog.h"
#include "provider/revivo.h"
#include "shared/listing_changes.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "shared/text_list.h"

using lumivel::ComPtr;

namespace revivo {

namespace {

// A command result's header record.
PropertySet* resultHeader(LPCWSTR reason) {
    PropertySet* header = PropertySet::create();
    if (header) header->setString(u"RefreshReason", reason);
    return header;
}

void handOut(PropertySet* header, const std::vector<LONG_PTR>& records, VARIANT* result) {
    if (!header) return;
    if (!result) {
        header->release();
        return;
    }
    std::vector<LONG_PTR> list{reinterpret_cast<LONG_PTR>(header)};
    list.insert(list.end(), records.begin(), records.end());
    if (FAILED(lumivel::shared::BuildAddressList(list, result))) header->release();
}

// Commands whose result list starts with a header record of their own whenever they hand one out.
constexpr LONG kCommandsWithHeaders[] = {kCommandRestore,     kCommandChooseDomainController, kCommandRemove,
                                         kCommandListBackups, kCommandPlanRestore,            kCommandRestoreTo,
                                         kCommandShowRestorePlan, kCommandRestoreSubtreeReport,
                                         kCommandRestoreSelected, kCommandListChanges};

bool headsItsResult(LONG command) {
    return std::find(std::begin(kCommandsWithHeaders), std::end(kCommandsWithHeaders), command) !=
           std::end(kCommandsWithHeaders);
}

}  // namespace

STDMETHODIMP Revivo::ExecuteCommand(HWND hwndParent, LONG, LONG lCommandId, VARIANT* pvarSelection,
                                    VARIANT* pvarResult) {
    std::vector<PropertySet*> selection = lumivel::shared::ReadObjectList(pvarSelection, lumivel::shared::ListForm::VariantArrayOnly);
    const PropertySet* first = selection.empty() ? nullptr : selection.front();
    if (!first || first->getRaw(kNoDialogsKey) == 0) return runCommand(hwndParent, lCommandId, selection, pvarResult);
    CommandReport report;
    HRESULT status = runCommand(hwndParent, lCommandId, selection, pvarResult);
    report.handOut(headsItsResult(lCommandId), status, pvarResult);
    return status;
}

HRESULT Revivo::runCommand(HWND hwndParent, LONG lCommandId, const std::vector<PropertySet*>& selection,
                           VARIANT* pvarResult) {
    PropertySet* single = selection.size() == 1 ? selection.front() : nullptr;
    if (single && !single->has(u"FocusedDC")) FillInFocusedDC(single);

    switch (lCommandId) {
        case kCommandConnect: {
            PropertySet* node = nullptr;
            HRESULT connected = ConnectToDomain(hwndParent, &node, single);
            if (connected == S_OK && node)
                AuditAction(hwndParent, AuditEntryOf("connect-domain", node->getText(u"NamingContext"),
                                                     node->getText(u"guid"), node->getText(u"FocusedDC"), true));
            else if (FAILED(connected))
                AuditAction(hwndParent, AuditEntryOf("connect-domain", {}, {}, {}, false,
                                                     SystemErrorText(static_cast<DWORD>(connected))));
            if (connected == S_OK && node) {
                if (pvarResult)
                    lumivel::shared::RecordToVariant(node, pvarResult);
                else
                    node->release();
            }
            return S_OK;
        }
        case kCommandBackup: {
            // The dialog shows the first record and backs up the whole selection; with several
            // records the first one's focused DC is the one to back up from.
            PropertySet* first = selection.empty() ? nullptr : selection.front();
            if (!first) return S_FALSE;
            if (!single && !first->has(u"FocusedDC")) FillInFocusedDC(first);
            PerformBackupInput input{backupSources(), std::u16string(first->getText(u"FocusedDC")), first, {}};
            for (PropertySet* record : selection)
                if (record) input.selection.push_back(record);
            if (input.server.empty()) return S_FALSE;
            return PerformBackup(hwndParent, input);
        }
        case kCommandRestore:
        case kCommandRestoreTo:
            if (!single) return S_FALSE;
            return RunRestoreCommand(hwndParent, lCommandId, single, pvarResult);
        case kCommandChooseDomainController: {
            if (!single) return S_OK;
            std::u16string chosen;
            if (ChooseDomainController(hwndParent, single, &chosen)) {
                single->setText(u"FocusedDC", chosen);
                AuditAction(hwndParent, AuditEntryOf("change-domain-controller", single->getText(u"NamingContext"),
                                                     single->getText(u"guid"), chosen, true));
                PropertySet* header = resultHeader(u"ChangeFocusedDC");
                if (header) header->setText(u"FocusedDC", chosen);
                handOut(header, {}, pvarResult);
            }
            return S_OK;
        }
        case kCommandRemove: {
            if (!single) return S_FALSE;
            bool removed = RemoveStoredNode(single) == 0;
            AuditAction(hwndParent, AuditEntryOf("remove-domain", single->getText(u"NamingContext"),
                                                 single->getText(u"guid"), single->getText(u"FocusedDC"), removed,
                                                 removed ? u"" : u"the stored domain node could not be removed"));
            if (!removed) return S_FALSE;
            handOut(resultHeader(u"ObjectsDeleted"), {reinterpret_cast<LONG_PTR>(single)}, pvarResult);
            return S_OK;
        }
        case kCommandListBackups: {
            if (!single) return S_FALSE;
            return ListBackups(single, pvarResult);
        }
        case kCommandPlanRestore: {
            if (!single) return S_FALSE;
            return PlanRestore(single, pvarResult);
        }
        case kCommandReapplyBackup:
            if (!single) return S_FALSE;
            return RunReapplyCommand(hwndParent, single, pvarResult);
        case kCommandRestoreSubtree: {
            if (!single) return S_FALSE;
            return RestoreSubtree(hwndParent, single, pvarResult);
        }
        case kCommandListChanges:
            if (!single) return S_FALSE;
            return ListTombstoneChanges(single, pvarResult);
        case kCommandShowRestorePlan:
            if (!single) return S_FALSE;
            return ShowRestorePlan(hwndParent, single, pvarResult);
        case kCommandRestoreSubtreeReport:
            if (!single) return S_FALSE;
            return RestoreSubtreeWithReport(hwndParent, single, pvarResult);
        case kCommandRestoreSelected:
            if (selection.empty()) return S_FALSE;
            return RestoreSelected(hwndParent, selection, pvarResult);
        default:
            return S_FALSE;
    }
}

STDMETHODIMP Revivo::BackupObjects(BSTR bstrPath) {
    std::u16string dn = bstrPath ? std::u16string(bstrPath, SysStringLen(bstrPath)) : std::u16string();
    PropertySet* record = PropertySet::create();
    if (!record) return S_OK;
    std::u16string path = lumivel::shared::LdapPathOfDn(u"", dn);
    record->setText(u"path", path);
    std::u16string server;
    ComPtr<IADs> object;
    if (SUCCEEDED(lumivel::shared::BindPath(path, IID_IADs, object.putVoid())))
        server = lumivel::shared::ServerOfBinding(object.get());
    object.reset();
    // A script has no window: the writer reports its failures to stderr and the system log.
    RunBackup(backupSources(), nullptr, server, {record});
    record->release();
    return S_OK;
}

HRESULT Revivo::RunRestoreCommand(HWND hwndParent, LONG commandId, PropertySet* single, VARIANT* pvarResult,
                                  size_t planned) {
    // The console names no container: a choice cancelled restores, and audits, nothing.
    std::u16string target(commandId == kCommandRestoreTo ? single->getText(kRestoreTargetKey) : u"");
    if (commandId == kCommandRestoreTo && target.empty()) {
        if (!MayAskInDialogs()) {
            AskCaller(kRestoreTargetKey);
            NoteFailure(HRESULT_FROM_WIN32(ERROR_CANCELLED), u"Restore To",
                        u"No container was named to restore the object into.");
            return S_FALSE;
        }
        if (ChooseRestoreTarget(hwndParent, single, &target) != S_OK) return S_FALSE;
    }
    RestoredTombstones restored;
    std::vector<std::u16string> recreated;
    m_lastRestoreError.clear();
    HRESULT result;
    bool stopped = false;
    std::u16string stoppedBefore;
    if (commandId == kCommandRestoreTo) {
        result = RestoreTo(hwndParent, single, target, &restored);
    } else if (planned == 0) {
        result = Restore(hwndParent, single, &restored, {}, &recreated);
    } else {
        // The directory work runs off this thread; what it asks (a taken name, a backup to
        // recover a lost parent from) and its boxes are shown over the progress dialog. Each
        // object restored and each parent recreated from a backup is one step.
        result = E_OUTOFMEMORY;
        bool ran = RunWithProgress(hwndParent, [&](RestoreProgress& progress) {
            auto gate = [&](size_t done, std::u16string_view name) {
                std::u16string plain = lumivel::shared::PlainTombstoneName(name);
                stopped = !progress.next(done, std::max(planned, done + 1), plain);
                if (stopped) stoppedBefore = plain;
                return !stopped;
            };
            result = Restore(progress.window(), single, &restored, gate, &recreated);
        });
        if (!ran) {
            ShowFailure(hwndParent, E_OUTOFMEMORY, u"The restore could not be started: nothing was restored.",
                        u"Restore Object", MB_OK | MB_ICONSTOP);
            return S_FALSE;
        }
    }
    const char* command = commandId == kCommandRestoreTo ? "restore-to" : "restore";
    std::u16string_view server = single->getText(u"FocusedDC");
    for (const RestoredTombstone& object : restored) {
        lumivel::shared::AuditEntry entry =
            AuditEntryOf(command, object.tombstone, lumivel::shared::TombstoneGuidOfDn(object.tombstone), server, true);
        entry.newDn = lumivel::shared::NarrowText(object.newName);
        // The object whose former parent a backup recreated (the selected one or a deleted
        // parent of it) names that backup.
        if (!object.archive.empty()) DescribeArchive(object.archive, &entry);
        for (const std::u16string& dn : object.containersCreated)
            entry.containersCreated.push_back(lumivel::shared::NarrowText(dn));
        AuditAction(hwndParent, entry);
    }
    if (result != S_OK) {
        std::u16string_view tombstone = single->getText(u"distinguishedName");
        lumivel::shared::AuditEntry entry =
            AuditEntryOf(command, tombstone, lumivel::shared::TombstoneGuidOfDn(tombstone), server, false,
                         m_lastRestoreError.empty() ? u"not restored" : m_lastRestoreError);
        // Containers a backup recreated before the restore stopped stay, and the log says so.
        size_t named = 0;
        for (const RestoredTombstone& object : restored) named += object.containersCreated.size();
        for (size_t i = named; i < recreated.size(); ++i)
            entry.containersCreated.push_back(lumivel::shared::NarrowText(recreated[i]));
        AuditAction(hwndParent, entry);
    }
    // What came back is no longer a tombstone, also when a later step failed.
    std::vector<LONG_PTR> records;
    std::vector<std::u16string> restoredAs;
    std::u16string selectedName(single->getText(u"distinguishedName"));
    for (const RestoredTombstone& object : restored) {
        LONG_PTR listed = forgetTombstone(object.tombstone);
        // The selection is the caller's own record; a parent is reported at the address
        // the latest listing of its naming context handed out, which the receiver still
        // holds, and not at all when that listing no longer has it.
        LONG_PTR reported = lumivel::EqualsNoCase(object.tombstone, selectedName) ? reinterpret_cast<LONG_PTR>(single)
                                                                                : listed;
        if (!reported) continue;
        records.push_back(reported);
        restoredAs.push_back(object.newName);
    }
    if (CommandReport* report = CommandReport::Active())
        if (report->details()) lumivel::shared::SetTextList(report->details(), kRestoredAsKey, restoredAs);
    if (stopped)
        ShowMessage(hwndParent, StoppedRestoreText(stoppedBefore, restored.size(), recreated), u"Restore Object",
                    MB_OK | MB_ICONINFORMATION);
    if (result != S_OK) {
        NoteFailureUnlessNoted(result);
        // A caller that asks again needs to know what came back before the question; the
        // console's list loses the deleted parents that came back before the failure or stop.
        if (CommandReport::Active())
            handOut(PropertySet::create(), records, pvarResult);
        else if (!records.empty())
            HandOutObjectsDeleted(records, pvarResult);
        return S_FALSE;
    }
    HandOutObjectsDeleted(records, pvarResult);
    ShowMessage(hwndParent, u"The object was successfully restored.", u"Success", MB_OK | MB_ICONINFORMATION);
    return S_OK;
}

HRESULT Revivo::RunReapplyCommand(HWND hwndParent, PropertySet* record, VARIANT* pvarResult) {
    HRESULT reapplied = ReapplyBackup(record, pvarResult);
    if (record->getRaw(kReapplyPlanOnlyKey)) return reapplied;  // a plan changes nothing, so it is not audited
    std::u16string_view tombstone = record->getText(u"distinguishedName");
    std::u16string guid = lumivel::shared::TombstoneGuidOfDn(tombstone);
    lumivel::shared::AuditEntry entry =
        AuditEntryOf("reapply-backup", tombstone, guid, record->getText(u"FocusedDC"), reapplied == S_OK,
                     reapplied == S_OK    ? u""
                     : reapplied == S_FALSE ? u"some values were refused"
                                            : u"the backup or the object could not be read");
    DescribeArchive(record->getText(kReapplyArchiveKey), &entry);
    using lumivel::shared::NarrowText;
    if (SUCCEEDED(reapplied) && pvarResult)
        for (PropertySet* item : lumivel::shared::ReadObjectList(pvarResult, lumivel::shared::ListForm::AnyArray)) {
            if (!item) continue;
            std::u16string_view outcome = item->getText(kReapplyOutcomeKey);
            std::string name = NarrowText(item->getText(u"name"));
            bool membership = item->getRaw(kReapplyMembershipKey) != 0;
            if (outcome == u"Written")
                (membership ? entry.groupsJoined : entry.attributesWritten).push_back(name);
            else if (outcome == u"Refused" || outcome == u"Withheld")
                entry.attributesRefused.push_back((membership ? "member of " : "") + name + " (" +
                                                  NarrowText(outcome) + ")");
        }
    entry.newDn = NarrowText(LiveDnOfGuid(record->getText(u"FocusedDC"), guid));
    AuditAction(hwndParent, entry);
    return reapplied;
}

void Revivo::HandOutObjectsDeleted(const std::vector<LONG_PTR>& records, VARIANT* result) {
    handOut(resultHeader(u"ObjectsDeleted"), records, result);
}

}  // namespace revivo
