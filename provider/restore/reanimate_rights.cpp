#include "provider/restore/reanimate_rights.h"

#include <algorithm>
#include <cstring>

#include "lumivel/com_ptr.h"
#include "shared/directory_operations.h"

using lumivel::ComPtr;

namespace revivo {

const GUID kReanimateTombstonesRight = {0x45EC5156, 0xDB7E, 0x47BB, {0xB5, 0x3F, 0xDB, 0xEB, 0x2D, 0x03, 0xC4, 0x0F}};

namespace {

constexpr uint8_t kAccessAllowed = 0x00;
constexpr uint8_t kAccessDenied = 0x01;
constexpr uint8_t kAccessAllowedObject = 0x05;
constexpr uint8_t kAccessDeniedObject = 0x06;
constexpr uint8_t kInheritOnly = 0x08;
constexpr uint32_t kControlAccess = 0x100;
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kObjectTypePresent = 0x1;
constexpr uint32_t kInheritedObjectTypePresent = 0x2;
constexpr uint16_t kDaclPresent = 0x0004;
constexpr DWORD kDaclSecurityInformation = 0x4;

uint16_t word(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}
uint32_t dword(const std::vector<uint8_t>& bytes, size_t at) {
    return static_cast<uint32_t>(bytes[at]) | (static_cast<uint32_t>(bytes[at + 1]) << 8) |
           (static_cast<uint32_t>(bytes[at + 2]) << 16) | (static_cast<uint32_t>(bytes[at + 3]) << 24);
}

// The length of the SID at `at` that fits before `end`, or 0.
size_t sidLength(const std::vector<uint8_t>& bytes, size_t at, size_t end) {
    if (at + 8 > end) return 0;
    size_t length = 8 + 4 * static_cast<size_t>(bytes[at + 1]);
    return at + length <= end ? length : 0;
}

bool inToken(const std::vector<uint8_t>& bytes, size_t at, size_t length, const std::vector<SidBytes>& token) {
    return std::any_of(token.begin(), token.end(), [&](const SidBytes& sid) {
        return sid.size() == length && std::equal(sid.begin(), sid.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
    });
}

GUID guidAt(const std::vector<uint8_t>& bytes, size_t at) {
    GUID guid{};
    guid.Data1 = dword(bytes, at);
    guid.Data2 = word(bytes, at + 4);
    guid.Data3 = word(bytes, at + 6);
    std::memcpy(guid.Data4, bytes.data() + at + 8, 8);
    return guid;
}

}  // namespace

AccessVerdict ControlAccessOf(const std::vector<uint8_t>& sd, const std::vector<SidBytes>& token, const GUID& right) {
    if (sd.size() < 20) return AccessVerdict::NotGranted;
    uint16_t control = word(sd, 2);
    uint32_t daclOffset = dword(sd, 16);
    if (!(control & kDaclPresent) || daclOffset == 0) return AccessVerdict::Granted;  // a null DACL
    if (daclOffset + 8 > sd.size()) return AccessVerdict::NotGranted;
    size_t aclEnd = std::min<size_t>(sd.size(), daclOffset + word(sd, daclOffset + 2));
    uint16_t count = word(sd, daclOffset + 4);
    size_t at = daclOffset + 8;
    for (uint16_t i = 0; i < count; ++i) {
        if (at + 4 > aclEnd) return AccessVerdict::NotGranted;
        uint8_t type = sd[at];
        uint8_t flags = sd[at + 1];
        size_t size = word(sd, at + 2);
        if (size < 8 || at + size > aclEnd) return AccessVerdict::NotGranted;
        size_t end = at + size;
        size_t next = at + size;
        if (!(flags & kInheritOnly)) {
            uint32_t mask = dword(sd, at + 4);
            bool granting = mask & (kControlAccess | kGenericAll);
            size_t sidAt = at + 8;
            bool applies = granting;
            if (type == kAccessAllowedObject || type == kAccessDeniedObject) {
                if (at + 12 > end) return AccessVerdict::NotGranted;
                uint32_t objectFlags = dword(sd, at + 8);
                sidAt = at + 12;
                if (objectFlags & kObjectTypePresent) {
                    if (sidAt + 16 > end) return AccessVerdict::NotGranted;
                    // An object ACE for another right, or a property set, says nothing here.
                    applies = applies && IsEqualGUID(guidAt(sd, sidAt), right);
                    sidAt += 16;
                }
                if (objectFlags & kInheritedObjectTypePresent) {
                    // It applies to objects of one class below: not to the domain head itself.
                    applies = false;
                    sidAt += 16;
                }
            } else if (type != kAccessAllowed && type != kAccessDenied) {
                applies = false;  // audit, callback and other ACEs grant nothing
            }
            size_t length = applies ? sidLength(sd, sidAt, end) : 0;
            if (applies && length && inToken(sd, sidAt, length, token))
                return (type == kAccessAllowed || type == kAccessAllowedObject) ? AccessVerdict::Granted
                                                                                 : AccessVerdict::Denied;
        }
        at = next;
    }
    return AccessVerdict::NotGranted;
}

namespace {

// The octet-string values of one attribute of a base search; false when the search failed.
bool readOctets(const std::u16string& path, const char16_t* attribute, DWORD securityMask,
                std::vector<std::vector<uint8_t>>* values) {
    ComPtr<IDirectorySearch> search;
    if (FAILED(lumivel::shared::BindPath(path, IID_IDirectorySearch, search.putVoid()))) return false;
    using lumivel::shared::SetSearchPreferences;
    HRESULT set = securityMask ? SetSearchPreferences(search.get(), {{ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_BASE},
                                                                     {ADS_SEARCHPREF_SECURITY_MASK, securityMask}})
                               : SetSearchPreferences(search.get(), {{ADS_SEARCHPREF_SEARCH_SCOPE, ADS_SCOPE_BASE}});
    if (FAILED(set)) return false;
    LPWSTR names[] = {const_cast<LPWSTR>(attribute)};
    ADS_SEARCH_HANDLE handle = nullptr;
    if (FAILED(search->ExecuteSearch(const_cast<LPWSTR>(u"(objectClass=*)"), names, 1, &handle))) return false;
    bool found = false;
    if (search->GetNextRow(handle) == S_OK) {
        ADS_SEARCH_COLUMN column{};
        if (SUCCEEDED(search->GetColumn(handle, names[0], &column))) {
            for (DWORD i = 0; i < column.dwNumValues; ++i) {
                const ADSVALUE& value = column.pADsValues[i];
                const ADS_OCTET_STRING& octets =
                    value.dwType == ADSTYPE_NT_SECURITY_DESCRIPTOR ? value.SecurityDescriptor : value.OctetString;
                if (octets.lpValue) values->emplace_back(octets.lpValue, octets.lpValue + octets.dwLength);
            }
            search->FreeColumn(&column);
            found = true;
        }
    }
    search->CloseSearchHandle(handle);
    return found;
}

}  // namespace

ReanimateRights CheckReanimateRights(std::u16string_view server, std::u16string_view namingContext) {
    std::vector<SidBytes> token;
    if (!readOctets(lumivel::shared::LdapPathOfRootDse(server), u"tokenGroups", 0, &token) || token.empty())
        return {std::nullopt, u"the directory does not tell which groups the caller is in"};
    std::vector<std::vector<uint8_t>> descriptor;
    if (!readOctets(lumivel::shared::LdapPathOfDn(server, namingContext), u"nTSecurityDescriptor",
                    kDaclSecurityInformation, &descriptor) ||
        descriptor.empty())
        return {std::nullopt, u"the domain's access control list cannot be read"};
    switch (ControlAccessOf(descriptor.front(), token, kReanimateTombstonesRight)) {
        case AccessVerdict::Granted: return {true, u"the domain grants the caller the right to reanimate tombstones"};
        case AccessVerdict::Denied: return {false, u"the domain denies the caller the right to reanimate tombstones"};
        case AccessVerdict::NotGranted: break;
    }
    return {false, u"the domain does not grant the caller the right to reanimate tombstones"};
}

}  // namespace revivo
