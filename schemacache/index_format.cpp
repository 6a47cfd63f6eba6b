#include "schemacache/index_format.h"

#include <initializer_list>

namespace glossar {
namespace {

bool FitsInField(std::u16string_view text) { return text.find_first_of(u"|\r\n") == std::u16string_view::npos; }

std::optional<std::u16string> Join(std::initializer_list<std::u16string_view> fields) {
    std::u16string record;
    bool first = true;
    for (std::u16string_view field : fields) {
        if (!FitsInField(field)) return std::nullopt;
        if (!first) record.push_back(kFieldSeparator);
        record += field;
        first = false;
    }
    return record;
}

std::u16string Decimal(unsigned long long value) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + value % 10));
        value /= 10;
    } while (value);
    return digits;
}

}  // namespace

std::optional<std::u16string> FormatClassRecord(const ClassRecord& record) {
    const bool hasIcon = record.iconId != 0;
    const unsigned long long magnitude =
        record.iconId < 0 ? 0ULL - static_cast<unsigned long long>(record.iconId) : static_cast<unsigned long long>(record.iconId);
    const std::u16string number = hasIcon ? Decimal(magnitude) : std::u16string();
    return Join({record.relativeName, record.ldapDisplayName, record.friendlyName, record.guid,
                 record.container ? u"1" : u"0", hasIcon ? std::u16string_view(record.iconModule) : u"", number});
}

std::optional<std::u16string> FormatAttributeRecord(std::u16string_view relativeName, std::u16string_view name,
                                                    std::u16string_view guid) {
    return Join({relativeName, name, guid});
}

}  // namespace glossar
