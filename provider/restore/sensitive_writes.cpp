#include "provider/restore/sensitive_writes.h"

#include "lumivel/wide_string.h"

namespace revivo {

namespace {

const std::vector<SensitiveAttribute> kSensitive = {
    // Kerberos: a name here lets whoever knows the account's key pose as that service, and
    // makes the account's tickets crackable offline.
    {u"servicePrincipalName", u"", u"makes the account a Kerberos service"},
    // Delegation: whoever controls the listed accounts may act as any user towards this one.
    {u"msDS-AllowedToActOnBehalfOfOtherIdentity", u"", u"lets other accounts impersonate users to it"},
    {u"msDS-AllowedToDelegateTo", u"", u"lets the account impersonate users to other services"},
    // A key here is a logon credential: its owner signs in as the account without a password.
    {u"msDS-KeyCredentialLink", u"", u"adds a key that signs in as the account"},
    // Certificate and Kerberos names mapped onto the account sign in as it.
    {u"altSecurityIdentities", u"", u"maps outside credentials onto the account"},
    // Enables the account, drops its password requirement, or trusts it for delegation.
    {u"userAccountControl", u"", u"enables the account or changes how it may sign in"},
    // The account's logon script and folders: programs and files its sessions load.
    {u"scriptPath", u"", u"runs a script at every logon"},
    {u"profilePath", u"", u"loads the user's profile from that path"},
    {u"homeDirectory", u"", u"maps the user's home folder from that path"},
    // Old SIDs count as the account's own in every access check.
    {u"sIDHistory", u"", u"gives the account the rights of other SIDs"},
    {u"primaryGroupID", u"", u"puts the account into a group without listing it there"},
    // Members of a group hold whatever the group is granted.
    {u"member", u"group", u"adds members to the group"},
    // Group policy: which policies apply where, and where their files (scripts among them) lie.
    {u"gPLink", u"", u"links group policies to the container"},
    {u"gPOptions", u"", u"blocks the policies linked above the container"},
    {u"gPCFileSysPath", u"", u"points the policy at other files"},
    {u"gPCMachineExtensionNames", u"", u"chooses the programs that apply the policy"},
    {u"gPCUserExtensionNames", u"", u"chooses the programs that apply the policy"},
    // Who may read a managed service account's password.
    {u"msDS-GroupMSAMembership", u"", u"lets accounts read the service account's password"},
    // Enables weak Kerberos encryption for the account's tickets.
    {u"msDS-SupportedEncryptionTypes", u"", u"changes the account's Kerberos encryption"},
    // A password written back is a logon credential, whatever the configuration restricts.
    {u"userPassword", u"", u"sets a password"},
    {u"unicodePwd", u"", u"sets a password"},
    // What Unix hosts joined to the domain run and whom they take the account for (uid 0 is root).
    {u"loginShell", u"", u"runs a program at every Unix logon"},
    {u"unixHomeDirectory", u"", u"chooses the Unix home folder"},
    {u"uidNumber", u"", u"chooses the Unix user the account is"},
    {u"gidNumber", u"", u"chooses the Unix group the account is in"},
};

constexpr uint8_t kNtAuthority = 5;
constexpr uint32_t kBuiltinDomain = 32;  // S-1-5-32
constexpr uint32_t kDomainSids = 21;     // S-1-5-21-...

// S-1-5-32-RID: Administrators, Account, Server and Print Operators, Backup Operators, Replicator.
constexpr uint32_t kBuiltinPrivileged[] = {544, 548, 549, 550, 551, 552};
// Domain SID + RID: Enterprise Read-only DCs, Domain Admins, Domain Controllers, Schema Admins,
// Enterprise Admins, Group Policy Creator Owners, Read-only DCs, Key Admins, Enterprise Key Admins.
constexpr uint32_t kDomainPrivileged[] = {498, 512, 516, 518, 519, 520, 521, 526, 527};

uint32_t subAuthority(const std::vector<uint8_t>& sid, size_t index) {
    size_t at = 8 + index * 4;
    return uint32_t(sid[at]) | uint32_t(sid[at + 1]) << 8 | uint32_t(sid[at + 2]) << 16 | uint32_t(sid[at + 3]) << 24;
}

template <size_t N>
bool listed(const uint32_t (&rids)[N], uint32_t rid) {
    for (uint32_t known : rids)
        if (known == rid) return true;
    return false;
}

}  // namespace

const std::vector<SensitiveAttribute>& SensitiveAttributes() { return kSensitive; }

std::u16string SensitiveAttributeReason(std::u16string_view attribute, const std::vector<std::u16string>& classes) {
    for (const SensitiveAttribute& entry : kSensitive) {
        if (!lumivel::EqualsNoCase(attribute, entry.name)) continue;
        if (*entry.onlyOnClass) {
            bool ofClass = false;
            for (const std::u16string& name : classes) ofClass = ofClass || lumivel::EqualsNoCase(name, entry.onlyOnClass);
            if (!ofClass) return {};
        }
        return entry.why;
    }
    return {};
}

std::u16string PrivilegedGroupReason(const std::vector<uint8_t>& sid, bool adminCountSet) {
    if (sid.size() >= 8 && sid[0] == 1 && sid.size() == 8 + size_t(sid[1]) * 4 && sid[1] >= 2 &&
        sid[2] == 0 && sid[3] == 0 && sid[4] == 0 && sid[5] == 0 && sid[6] == 0 && sid[7] == kNtAuthority) {
        uint32_t first = subAuthority(sid, 0), rid = subAuthority(sid, sid[1] - 1);
        if (first == kBuiltinDomain && sid[1] == 2 && listed(kBuiltinPrivileged, rid))
            return u"a built-in privileged group";
        if (first == kDomainSids && listed(kDomainPrivileged, rid)) return u"a built-in privileged group";
    }
    if (adminCountSet) return u"a protected group (adminCount 1)";
    return {};
}

}  // namespace revivo
