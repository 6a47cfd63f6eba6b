// What re-applying a backup may not write without the administrator's explicit consent: the
// attributes that grant access or run code, and the groups whose members hold the domain.
// An archive is data from outside; whoever could write one could otherwise hand themselves
// a delegation, a logon script or a seat in Domain Admins through the next restore.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace revivo {

struct SensitiveAttribute {
    const char16_t* name;
    // Only on objects of this class (empty: any object).
    const char16_t* onlyOnClass;
    const char16_t* why;
};

// The whole table, in one place so that a reviewer sees every entry and its reason.
const std::vector<SensitiveAttribute>& SensitiveAttributes();

// Why writing the attribute onto an object of those classes (its objectClass values) needs
// consent; empty when it does not.
std::u16string SensitiveAttributeReason(std::u16string_view attribute, const std::vector<std::u16string>& classes);

// Why joining the group needs consent, from its objectSid (binary) and adminCount; empty
// when it does not. adminCount is the directory's own mark of protected groups; the
// well-known SIDs cover a directory that has not run its protection pass yet.
std::u16string PrivilegedGroupReason(const std::vector<uint8_t>& objectSid, bool adminCountSet);

}  // namespace revivo
