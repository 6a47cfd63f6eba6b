#include "snapin/command_result.h"

#include "shared/object_list.h"
#include "win/strings.h"

namespace snapin {

CommandResult TakeCommandResult(VARIANT* result) {
    CommandResult taken;
    if (!result) return taken;
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(result);
    VariantClear(result);
    if (records.empty() || !records.front()) return taken;
    PropertySet* header = records.front();
    taken.reason = header->getText(u"RefreshReason");
    taken.alternateView = header->getText(u"AlternateView");
    taken.records.assign(records.begin() + 1, records.end());
    header->release();
    return taken;
}

bool IsReason(const CommandResult& result, const char16_t* reason) {
    return !result.reason.empty() && lstrcmpiW(result.reason.c_str(), reason) == 0;
}

}  // namespace snapin
