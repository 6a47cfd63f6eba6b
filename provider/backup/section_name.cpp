#include "provider/backup/section_name.h"

#include "shared/text_helpers.h"

namespace revivo {

namespace {

bool isHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

bool allHex(std::u16string_view text) {
    for (char16_t c : text)
        if (!isHex(c)) return false;
    return true;
}

// The first relative name of a DN, escape pairs stepped over whole.
std::u16string_view firstRelativeName(std::u16string_view dn) {
    for (size_t i = 0; i < dn.size(); ++i) {
        if (dn[i] == u'\\') {
            ++i;
            continue;
        }
        if (dn[i] == u',') return dn.substr(0, i);
    }
    return dn;
}

bool holdsEscapedLineFeed(std::u16string_view rdn) {
    for (size_t i = 0; i + 2 < rdn.size(); ++i) {
        if (rdn[i] != u'\\') continue;
        if (rdn[i + 1] == u'0' && (rdn[i + 2] == u'A' || rdn[i + 2] == u'a')) return true;
        ++i;
    }
    return false;
}

}  // namespace

bool IsSectionName(std::u16string_view text) { return text.size() == 32 && allHex(text); }

std::u16string SectionNameOfGuidText(std::u16string_view guid) {
    if (guid.size() == 38 && guid.front() == u'{' && guid.back() == u'}') guid = guid.substr(1, 36);
    if (guid.size() != 36 || guid[8] != u'-' || guid[13] != u'-' || guid[18] != u'-' || guid[23] != u'-') return {};
    const std::u16string_view groups[] = {guid.substr(0, 8), guid.substr(9, 4), guid.substr(14, 4), guid.substr(19, 4),
                                          guid.substr(24, 12)};
    std::u16string section;
    section.reserve(32);
    for (int g = 0; g < 5; ++g) {
        if (!allHex(groups[g])) return {};
        if (g >= 3) {
            section += groups[g];
            continue;
        }
        for (size_t pair = groups[g].size(); pair >= 2; pair -= 2) section += groups[g].substr(pair - 2, 2);
    }
    return section;
}

std::u16string SectionNameOfTombstone(std::u16string_view distinguishedName) {
    std::u16string_view rdn = firstRelativeName(distinguishedName);
    if (!holdsEscapedLineFeed(rdn)) return {};
    return SectionNameOfGuidText(lumivel::shared::MangledGuidText(rdn));
}

}  // namespace revivo
