#include "provider/backup/section_name.h"

#include "shared/directory_operations.h"

namespace revivo {

namespace {

bool isHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

bool allHex(std::u16string_view text) {
    for (char16_t c : text)
        if (!isHex(c)) return false;
    return true;
}

}  // namespace

bool IsSectionName(std::u16string_view text) { return text.size() == 32 && allHex(text); }

std::u16string SectionNameOfGuidText(std::u16string_view guid) {
    if (guid.size() == 38 && guid.front() == u'{' && guid.back() == u'}') guid = guid.substr(1, 36);
    if (!lumivel::shared::IsGuidText(guid)) return {};
    const std::u16string_view groups[] = {guid.substr(0, 8), guid.substr(9, 4), guid.substr(14, 4), guid.substr(19, 4),
                                          guid.substr(24, 12)};
    std::u16string section;
    section.reserve(32);
    for (int g = 0; g < 5; ++g) {
        if (g >= 3) {
            section += groups[g];
            continue;
        }
        for (size_t pair = groups[g].size(); pair >= 2; pair -= 2) section += groups[g].substr(pair - 2, 2);
    }
    return section;
}

std::u16string SectionNameOfTombstone(std::u16string_view distinguishedName) {
    return SectionNameOfGuidText(lumivel::shared::TombstoneGuidOfDn(distinguishedName));
}

}  // namespace revivo
