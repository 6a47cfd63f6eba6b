#include "resultpane/readable_text.h"

#include "shared/directory_operations.h"

namespace panorel {

std::u16string ReadableName(std::u16string_view name) { return lumivel::shared::PlainTombstoneName(name); }

std::u16string ReadablePlace(std::u16string_view dn) {
    if (lumivel::shared::TombstoneGuidOfDn(dn).empty()) return std::u16string(dn);
    // The relative name it would get back, as reanimation gives it under any parent.
    static constexpr std::u16string_view kAnyParent = u"DC=x";
    std::u16string relative = lumivel::shared::ReanimatedDn(dn, kAnyParent);
    if (relative.size() <= kAnyParent.size() + 1) return std::u16string(dn);
    relative.resize(relative.size() - kAnyParent.size() - 1);
    return relative + u" (deleted)";
}

}  // namespace panorel
