// The two schema index files that the generator writes and the schema cache reads.
//
// Both are UTF-16LE with the byte-order mark FF FE, one record per line, CR LF between
// records and none after the last, fields separated by "|" without quoting, records in the
// order the directory returned the objects. ClassIndex.txt holds seven fields per class:
// relative name, LDAP display name, friendly name, schema GUID, container flag ("1" or "0"),
// icon module and icon resource number (both empty when the class has no icon).
// AttributeIndex.txt holds three per extended right or attribute: relative name, display
// name, GUID.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace glossar {

inline constexpr char16_t kClassIndexFile[] = u"ClassIndex.txt";
inline constexpr char16_t kAttributeIndexFile[] = u"AttributeIndex.txt";
inline constexpr size_t kClassFieldCount = 7;
inline constexpr size_t kAttributeFieldCount = 3;
inline constexpr char16_t kFieldSeparator = u'|';

struct ClassRecord {
    std::u16string relativeName;
    std::u16string ldapDisplayName;
    std::u16string friendlyName;
    std::u16string guid;
    bool container = false;
    std::u16string iconModule;
    // As the display-specifier service gives it; 0 means no icon, the sign is dropped.
    long long iconId = 0;
};

// A record's text without its line end, or none when a field holds a separator or a line
// break: such a record could not be read back as written, and a line break would let text
// from the directory forge records of its own.
std::optional<std::u16string> FormatClassRecord(const ClassRecord& record);
std::optional<std::u16string> FormatAttributeRecord(std::u16string_view relativeName, std::u16string_view name,
                                                    std::u16string_view guid);

}  // namespace glossar
