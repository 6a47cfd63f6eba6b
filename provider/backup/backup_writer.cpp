#include "provider/backup/backup_writer.h"

#include "lumivel/temporary_file.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_folder.h"
#include "provider/backup/backup_inf_file.h"
#include "provider/common/audit.h"
#include "provider/common/command_report.h"
#include "provider/common/system_error_text.h"
#include "win/datetime.h"
#include "win/dserror.h"
#include "win/errors.h"
#include "win/eventlog.h"
#include "win/files.h"
#include "win/guid.h"
#include "win/strings.h"
#include "win/user.h"

namespace revivo {

namespace {

std::u16string newGuidText() {
    GUID guid{};
    WCHAR text[40] = {};
    if (FAILED(CoCreateGuid(&guid)) || StringFromGUID2(guid, text, ARRAYSIZE(text)) == 0) return {};
    return text;
}

// What a run without a window says about a failure: nobody may be there to press OK.
void reportWindowless(LPCWSTR caption, std::u16string_view text) {
    std::u16string message = std::u16string(caption) + u": " + std::u16string(text) + u"\n";
    int size = WideCharToMultiByte(CP_ACP, 0, message.data(), static_cast<int>(message.size()), nullptr, 0, nullptr,
                                   nullptr);
    if (size > 0) {
        std::string bytes(static_cast<size_t>(size), '\0');
        WideCharToMultiByte(CP_ACP, 0, message.data(), static_cast<int>(message.size()), bytes.data(), size, nullptr,
                            nullptr);
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    if (HANDLE log = RegisterEventSourceW(nullptr, u"Tarvo Lumivel")) {
        std::u16string line = std::u16string(caption) + u": " + std::u16string(text);
        LPCWSTR strings[] = {line.c_str()};
        ReportEventW(log, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
        DeregisterEventSource(log);
    }
}

BackupRun failed(BackupRun run, BackupRun::Outcome outcome, DWORD error) {
    run.outcome = outcome;
    run.error = error;
    return run;
}

}  // namespace

LPCWSTR BackupFailureCaption(BackupRun::Outcome outcome) {
    switch (outcome) {
        case BackupRun::Outcome::FolderNotCreated: return u"Error Creating Revivo Directory";
        case BackupRun::Outcome::NotMoved: return u"Error Moving File";
        default: return u"Error";
    }
}

void ReportBackupMessage(HWND window, bool windowless, LPCWSTR caption, std::u16string_view text, UINT style) {
    if (windowless) {
        reportWindowless(caption, text);
        return;
    }
    ShowMessage(window, text, caption, style);
}

namespace {

BackupRun runBackup(const BackupSources& sources, HWND owner, std::u16string_view server, const std::vector<PropertySet*>& objects,
                    SubtreeReading reading);

}  // namespace

BackupRun RunBackup(const BackupSources& sources, HWND owner, std::u16string_view server, const std::vector<PropertySet*>& objects,
                    SubtreeReading reading) {
    BackupRun run = runBackup(sources, owner, server, objects, reading);
    if (run.outcome == BackupRun::Outcome::NothingToBackUp) return run;
    bool stored = run.outcome == BackupRun::Outcome::Stored;
    std::vector<lumivel::shared::AuditEntry> audit;
    for (const PropertySet* object : objects) {
        std::u16string error = stored ? u"" : SystemErrorText(run.error);
        audit.push_back(AuditEntryOf("backup", object->getText(u"path"), object->getText(u"guid"), server, stored,
                                     stored ? u"archive " + run.archivePath : error));
    }
    AuditActions(owner, audit);
    return run;
}

namespace {

BackupRun runBackup(const BackupSources& sources, HWND owner, std::u16string_view server, const std::vector<PropertySet*>& objects,
                    SubtreeReading reading) {
    BackupRun run;
    if (objects.empty()) return run;
    // A caller that reads the command's messages itself gets them all, as a window would.
    const bool windowless = owner == nullptr && !CommandReport::Active();

    // Everything is made in a folder of this run's own and goes with it, whatever happens.
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<lumivel::PrivateTempDirectory> temporary = lumivel::PrivateTempDirectory::Create(u"lumivel-backup", &error);
    std::u16string guid = newGuidText();
    if (!temporary || guid.empty()) {
        run = failed(run, BackupRun::Outcome::Failed, temporary ? static_cast<DWORD>(E_FAIL) : error);
        ReportBackupMessage(owner, windowless, BackupFailureCaption(run.outcome), SystemErrorText(run.error),
                            MB_OK | MB_ICONSTOP);
        return run;
    }
    // A configuration that is there but cannot be read may restrict what we would write.
    if (DWORD unreadable = LoadAttributeLists(*sources.attributeLists)) {
        run = failed(run, BackupRun::Outcome::Failed, unreadable);
        ReportBackupMessage(owner, windowless, BackupFailureCaption(run.outcome), SystemErrorText(run.error),
                            MB_OK | MB_ICONSTOP);
        return run;
    }
    std::u16string zipPath = temporary->PathOf(guid + u".zip");

    // The backup file is deflated into its archive while the directory is still being read,
    // so that no file of it is ever written whole and read back.
    BackupInfFile file;
    SectionReport report;
    if (file.CreatePacked(zipPath, guid + u".inf")) {
        SYSTEMTIME now{};
        GetSystemTime(&now);
        file.WriteHeader(now, objects.front()->getText(u"path"));
        for (PropertySet* object : objects)
            WriteObjectSections(sources, file, server, object->getText(u"path"), reading, &report);
    }
    run.sections = file.SectionCount();
    // A backup that lacks objects it should hold is no backup: its archive is never completed.
    const bool whole = file.Error() == ERROR_SUCCESS && SUCCEEDED(report.incomplete) && run.sections > 0;
    bool written = whole ? file.Close() : file.Error() == ERROR_SUCCESS;
    if (!whole) file.Discard();
    if (!written)
        run = failed(run, BackupRun::Outcome::Failed, file.Error());
    else if (FAILED(report.incomplete))
        run = failed(run, BackupRun::Outcome::Failed, static_cast<DWORD>(report.incomplete));
    else if (run.sections == 0)
        run = failed(run, BackupRun::Outcome::Failed,
                     static_cast<DWORD>(FAILED(report.skipped) ? report.skipped : E_ADS_PROPERTY_NOT_FOUND));
    if (run.outcome == BackupRun::Outcome::Failed) {
        ReportBackupMessage(owner, windowless, BackupFailureCaption(run.outcome), SystemErrorText(run.error),
                            MB_OK | MB_ICONSTOP);
        return run;
    }

    BackupFolder folder = BackupFolderFor(server);
    run.archivePath = ArchivePath(folder, guid);
    if (folder.onSysvol && !CreateDirectoryW(folder.path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        run = failed(run, BackupRun::Outcome::FolderNotCreated, GetLastError());
        ReportBackupMessage(nullptr, windowless, BackupFailureCaption(run.outcome), SystemErrorText(run.error), MB_OK);
        return run;
    }
    if (!MoveFileExW(zipPath.c_str(), run.archivePath.c_str(), MOVEFILE_COPY_ALLOWED)) {
        run = failed(run, BackupRun::Outcome::NotMoved, GetLastError());
        ReportBackupMessage(nullptr, windowless, BackupFailureCaption(run.outcome), SystemErrorText(run.error), MB_OK);
        return run;
    }
    run.outcome = BackupRun::Outcome::Stored;
    for (PropertySet* object : objects) object->setText(kBackupArchiveKey, run.archivePath);
    if (!windowless)
        ShowMessage(owner, u"Backup completed successfully", u"Success", MB_OK | MB_ICONINFORMATION);
    return run;
}

}  // namespace

int BackupToArchive(const BackupSources& sources, HWND owner, std::u16string_view server, const std::vector<PropertySet*>& objects) {
    return RunBackup(sources, owner, server, objects).outcome == BackupRun::Outcome::FolderNotCreated ? 1 : 0;
}

}  // namespace revivo
