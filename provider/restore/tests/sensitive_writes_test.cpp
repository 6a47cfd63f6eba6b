// What re-applying a backup withholds without consent: attributes by name and class, groups by
// SID and adminCount.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "provider/restore/sensitive_writes.h"

namespace {

using revivo::PrivilegedGroupReason;
using revivo::SensitiveAttributeReason;

const std::vector<std::u16string> kUser = {u"top", u"person", u"organizationalPerson", u"user"};
const std::vector<std::u16string> kGroup = {u"top", u"group"};

TEST(SensitiveWrites, EveryAttributeThatGrantsAccessIsWithheldInAnyCase) {
    for (const char16_t* name :
         {u"servicePrincipalName", u"msDS-AllowedToActOnBehalfOfOtherIdentity", u"msDS-AllowedToDelegateTo",
          u"msDS-KeyCredentialLink", u"altSecurityIdentities", u"userAccountControl", u"scriptPath", u"profilePath",
          u"homeDirectory", u"sIDHistory", u"primaryGroupID", u"gPLink", u"gPCFileSysPath", u"SERVICEPRINCIPALNAME",
          u"scriptpath", u"uidNumber", u"loginShell"})
        EXPECT_FALSE(SensitiveAttributeReason(name, kUser).empty()) << std::string(name, name + 1);
    for (const char16_t* name : {u"description", u"telephoneNumber", u"displayName", u"mail", u"servicePrincipal",
                                 u"scriptPathX", u""})
        EXPECT_TRUE(SensitiveAttributeReason(name, kUser).empty());
}

TEST(SensitiveWrites, MemberCountsOnlyOnAGroup) {
    EXPECT_FALSE(SensitiveAttributeReason(u"member", kGroup).empty());
    EXPECT_FALSE(SensitiveAttributeReason(u"Member", {u"Top", u"GROUP"}).empty());
    EXPECT_TRUE(SensitiveAttributeReason(u"member", kUser).empty());
    EXPECT_TRUE(SensitiveAttributeReason(u"member", {}).empty());
    // A class list that merely contains "group" as part of a name is not a group.
    EXPECT_TRUE(SensitiveAttributeReason(u"member", {u"groupOfNames"}).empty());
}

TEST(SensitiveWrites, TheTableNamesEachEntryOnceWithAReason) {
    const auto& table = revivo::SensitiveAttributes();
    for (size_t i = 0; i < table.size(); ++i) {
        EXPECT_NE(std::u16string_view(table[i].why), u"");
        for (size_t j = i + 1; j < table.size(); ++j)
            EXPECT_NE(std::u16string_view(table[i].name), std::u16string_view(table[j].name));
    }
}

std::vector<uint8_t> sid(std::vector<uint32_t> subAuthorities) {
    std::vector<uint8_t> bytes = {1, static_cast<uint8_t>(subAuthorities.size()), 0, 0, 0, 0, 0, 5};
    for (uint32_t sub : subAuthorities)
        bytes.insert(bytes.end(), {uint8_t(sub), uint8_t(sub >> 8), uint8_t(sub >> 16), uint8_t(sub >> 24)});
    return bytes;
}

std::vector<uint8_t> domainSid(uint32_t rid) { return sid({21, 1004336348, 1177238915, 682003330, rid}); }

TEST(SensitiveWrites, PrivilegedGroupsBySidAndAdminCount) {
    struct Row {
        std::vector<uint8_t> sid;
        bool adminCount;
        bool privileged;
    } rows[] = {
        {domainSid(512), false, true},   // Domain Admins
        {domainSid(519), false, true},   // Enterprise Admins
        {domainSid(518), false, true},   // Schema Admins
        {sid({32, 544}), false, true},   // Administrators
        {sid({32, 551}), false, true},   // Backup Operators
        {domainSid(1105), false, false}, // an ordinary group
        {domainSid(1105), true, true},   // ... that the directory protects
        {domainSid(544), false, false},  // RID 544 of a domain is no built-in group
        {sid({32, 545}), false, false},  // Users
        {sid({32}), false, false},       // too short to carry a RID
    };
    for (const Row& row : rows)
        EXPECT_EQ(!PrivilegedGroupReason(row.sid, row.adminCount).empty(), row.privileged)
            << "RID " << int(row.sid.back()) << " sub-authorities " << int(row.sid[1]);
}

TEST(SensitiveWrites, MalformedSidsAreNotReadPastTheirEnd) {
    std::vector<uint8_t> truncated = domainSid(512);
    truncated.resize(truncated.size() - 2);
    EXPECT_TRUE(PrivilegedGroupReason(truncated, false).empty());
    std::vector<uint8_t> claimsMore = domainSid(512);
    claimsMore[1] = 200;
    EXPECT_TRUE(PrivilegedGroupReason(claimsMore, false).empty());
    EXPECT_TRUE(PrivilegedGroupReason({}, false).empty());
    // What adminCount says still counts for a SID that does not parse.
    EXPECT_FALSE(PrivilegedGroupReason(truncated, true).empty());
}

}  // namespace
