#include "provider/common/audit.h"

#include "lumivel/com_ptr.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/backup/archive_digest.h"
#include "shared/directory_operations.h"

#include "provider/common/command_report.h"
#include "shared/text_helpers.h"

namespace revivo {

void AuditAction(HWND owner, const lumivel::shared::AuditEntry& entry) {
    std::string problem = lumivel::shared::WriteAudit(entry);
    if (problem.empty()) return;
    std::u16string text = u"The audit log could not be written: " + lumivel::shared::WidenText(problem) + u".";
    ShowMessage(owner, text, u"Audit Log", MB_OK | MB_ICONWARNING);
}

void AuditActions(HWND owner, const std::vector<lumivel::shared::AuditEntry>& entries) {
    size_t failed = 0;
    std::string first;
    for (const std::string& problem : lumivel::shared::WriteAudits(entries)) {
        if (problem.empty()) continue;
        if (failed++ == 0) first = problem;
    }
    if (failed == 0) return;
    std::u16string text = lumivel::shared::WidenText(std::to_string(failed)) + u" of " +
                          lumivel::shared::WidenText(std::to_string(entries.size())) +
                          u" entries of the audit log could not be written: " + lumivel::shared::WidenText(first) + u".";
    ShowMessage(owner, text, u"Audit Log", MB_OK | MB_ICONWARNING);
}

void DescribeArchive(std::u16string_view archivePath, lumivel::shared::AuditEntry* entry) {
    if (archivePath.empty()) return;
    entry->archive = lumivel::shared::NarrowText(archivePath);
    entry->archiveSha256 = FileSha256(std::u16string(archivePath));
}

std::u16string LiveDnOfGuid(std::u16string_view server, std::u16string_view guid) {
    lumivel::ComPtr<IADs> object;
    lumivel::UniqueBstr name(u"distinguishedName");
    lumivel::VariantHolder value;
    if (guid.empty() || FAILED(lumivel::shared::BindByGuid(server, guid, IID_IADs, object.putVoid())) ||
        FAILED(object->Get(name.get(), value.get())) || value->vt != VT_BSTR)
        return {};
    return std::u16string(lumivel::shared::ViewOf(value->bstrVal));
}

lumivel::shared::AuditEntry AuditEntryOf(const char* command, std::u16string_view object, std::u16string_view guid,
                                         std::u16string_view dc, bool succeeded, std::u16string_view error) {
    using lumivel::shared::NarrowText;
    return lumivel::shared::AuditEntry{command, NarrowText(object), NarrowText(guid), NarrowText(dc), succeeded,
                                       NarrowText(error)};
}

}  // namespace revivo
