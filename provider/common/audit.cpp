#include "provider/common/audit.h"

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

lumivel::shared::AuditEntry AuditEntryOf(const char* command, std::u16string_view object, std::u16string_view guid,
                                         std::u16string_view dc, bool succeeded, std::u16string_view error) {
    using lumivel::shared::NarrowText;
    return lumivel::shared::AuditEntry{command, NarrowText(object), NarrowText(guid), NarrowText(dc), succeeded,
                                       NarrowText(error)};
}

}  // namespace revivo
