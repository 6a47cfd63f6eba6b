#include "provider/backup/minimum_restrictions.h"

#include <iterator>
#include <string>
#include <vector>

#include "provider/backup/attribute_lists.h"

namespace revivo {

namespace {

constexpr const char16_t* kAlwaysRestricted[] = {
    // Secrets.
    u"unicodePwd", u"dBCSPwd", u"ntPwdHistory", u"lmPwdHistory", u"supplementalCredentials",
    u"ms-Mcs-AdmPwd", u"msLAPS-Password", u"msLAPS-EncryptedPassword", u"msLAPS-EncryptedPasswordHistory",
    u"msLAPS-EncryptedDSRMPassword", u"msLAPS-EncryptedDSRMPasswordHistory", u"msFVE-RecoveryPassword",
    u"msFVE-KeyPackage", u"msTPM-OwnerInformation", u"msTPM-OwnerInformationTemp", u"msDS-ManagedPassword",
    u"msPKIAccountCredentials", u"msPKIDPAPIMasterKeys", u"userPassword", u"unixUserPassword", u"msSFU30Password",
    u"msDS-ExecuteScriptPassword", u"currentValue", u"priorValue", u"initialAuthIncoming",
    u"initialAuthOutgoing", u"trustAuthIncoming", u"trustAuthOutgoing",
    // Computed on every read.
    u"aNR", u"canonicalName", u"distinguishedName", u"structuralObjectClass", u"subSchemaSubEntry",
    u"primaryGroupToken", u"allowedAttributes", u"allowedAttributesEffective", u"allowedChildClasses",
    u"allowedChildClassesEffective", u"attributeTypes", u"dITContentRules", u"entryTTL", u"extendedAttributeInfo",
    u"extendedClassInfo", u"fromEntry", u"objectClasses", u"parentGUID", u"possibleInferiors",
    u"sDRightsEffective", u"tokenGroups", u"tokenGroupsGlobalAndUniversal", u"tokenGroupsNoGCAcceptable",
    u"msDS-Approx-Immed-Subordinates", u"msDS-Auxiliary-Classes", u"msDS-IsUserCachableAtRodc", u"msDS-isGC",
    u"msDS-isRODC", u"msDS-KeyVersionNumber", u"msDS-LocalEffectiveDeletionTime",
    u"msDS-LocalEffectiveRecycleTime", u"msDS-memberOfTransitive", u"msDS-memberTransitive",
    u"msDS-NCReplCursors", u"msDS-NCReplInboundNeighbors", u"msDS-NCReplOutboundNeighbors",
    u"msDS-parentdistname", u"msDS-PrincipalName", u"msDS-QuotaEffective", u"msDS-QuotaUsed",
    u"msDS-ReplValueMetaDataExt", u"msDS-ResultantPSO", u"msDS-RevealedList", u"msDS-RevealedListBL",
    u"msDS-SiteName", u"msDS-TopQuotaUsage", u"msDS-User-Account-Control-Computed",
    u"msDS-UserPasswordExpiryTimeComputed",
};

}  // namespace

bool IsAlwaysRestricted(std::u16string_view attribute) {
    // Asked for every attribute of every object: bisected like the configured list.
    static const AttributeNameList names = [] {
        AttributeNameList list;
        list.Assign(std::vector<std::u16string>(std::begin(kAlwaysRestricted), std::end(kAlwaysRestricted)));
        return list;
    }();
    return names.Contains(attribute);
}

}  // namespace revivo
