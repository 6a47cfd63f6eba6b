#include "provider/backup/archive_trust.h"

#include <cstdio>

#include "lumivel/audit_sinks.h"
#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "lumivel/unc_file_system.h"
#include "lumivel/wide_string.h"
#include "shared/backup_job.h"
#include "shared/directory_operations.h"
#include "shared/provider_interfaces.h"
#include "shared/text_helpers.h"
#include "win/adsi.h"
#include "win/datetime.h"
#include "win/files.h"
#include "win/mstask.h"

using lumivel::ComPtr;
using lumivel::UniqueBstr;

namespace revivo {

namespace {

constexpr uint64_t kTicksPerSecond = 10000000ull;
// Clocks of the DC, the share and this machine need not agree to the second.
constexpr int64_t kClockSkewSeconds = 5 * 60;

uint64_t ticksOf(const FILETIME& time) { return uint64_t(time.dwHighDateTime) << 32 | time.dwLowDateTime; }

std::u16string folderOf(std::u16string_view path) {
    size_t cut = path.find_last_of(u"/\\");
    return std::u16string(cut == std::u16string_view::npos ? std::u16string_view(u".") : path.substr(0, cut ? cut : 1));
}

std::u16string fileNameOf(std::u16string_view path) {
    size_t cut = path.find_last_of(u"/\\");
    return std::u16string(cut == std::u16string_view::npos ? path : path.substr(cut + 1));
}

std::u16string number(uint64_t value) { return lumivel::shared::WidenText(std::to_string(value)); }

// The first row of a search: the values of each attribute asked for, as octets (binary
// values) or UTF-16 text (anything else). False when the search fails or finds nothing.
struct Row {
    std::u16string dn;
    std::vector<std::vector<uint8_t>> octets;
    std::vector<std::u16string> texts;
};
bool firstRow(const std::u16string& path, ADS_SCOPEENUM scope, const std::u16string& filter, const char16_t* attribute,
              Row* row) {
    ComPtr<IDirectorySearch> search;
    if (FAILED(lumivel::shared::BindPath(path, IID_IDirectorySearch, search.putVoid()))) return false;
    if (FAILED(lumivel::shared::SetSearchPreferences(search.get(), {{ADS_SEARCHPREF_SEARCH_SCOPE, scope},
                                                                     {ADS_SEARCHPREF_SIZE_LIMIT, 2}})))
        return false;
    LPWSTR names[] = {const_cast<LPWSTR>(attribute), const_cast<LPWSTR>(u"distinguishedName")};
    ADS_SEARCH_HANDLE handle = nullptr;
    if (FAILED(search->ExecuteSearch(const_cast<LPWSTR>(filter.c_str()), names, 2, &handle))) return false;
    bool found = false;
    if (search->GetNextRow(handle) == S_OK) {
        found = true;
        ADS_SEARCH_COLUMN column{};
        if (SUCCEEDED(search->GetColumn(handle, names[0], &column))) {
            for (DWORD i = 0; i < column.dwNumValues; ++i) {
                const ADSVALUE& value = column.pADsValues[i];
                if (value.dwType == ADSTYPE_OCTET_STRING && value.OctetString.lpValue)
                    row->octets.emplace_back(value.OctetString.lpValue,
                                             value.OctetString.lpValue + value.OctetString.dwLength);
                else if (value.CaseIgnoreString)
                    row->texts.emplace_back(value.CaseIgnoreString);
            }
            search->FreeColumn(&column);
        }
        if (SUCCEEDED(search->GetColumn(handle, names[1], &column))) {
            if (column.dwNumValues && column.pADsValues[0].DNString) row->dn = column.pADsValues[0].DNString;
            search->FreeColumn(&column);
        }
    }
    search->CloseSearchHandle(handle);
    return found;
}

std::u16string firstText(const std::u16string& path, const char16_t* attribute) {
    Row row;
    if (!firstRow(path, ADS_SCOPE_BASE, u"(objectClass=*)", attribute, &row) || row.texts.empty()) return {};
    return row.texts.front();
}

std::u16string sidOfObject(std::u16string_view server, const std::u16string& dn) {
    Row row;
    if (!firstRow(lumivel::shared::LdapPathOfDn(server, dn), ADS_SCOPE_BASE, u"(objectClass=*)", u"objectSid", &row) ||
        row.octets.empty())
        return {};
    return SidTextOfBytes(row.octets.front());
}

// "\01\05..." for a filter on a binary attribute.
std::u16string filterBytes(const std::vector<uint8_t>& bytes) {
    std::u16string out;
    for (uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "\\%02x", byte);
        out += lumivel::shared::WidenText(hex);
    }
    return out;
}

// The SID of an account named "DOMAIN\user", "user@REALM" or "user", found in the domain.
std::u16string sidOfAccount(std::u16string_view server, const std::u16string& domainDn, std::u16string account) {
    if (size_t at = account.find(u'@'); at != std::u16string::npos) account.resize(at);
    if (size_t slash = account.find(u'\\'); slash != std::u16string::npos) account = account.substr(slash + 1);
    if (account.empty()) return {};
    Row row;
    if (!firstRow(lumivel::shared::LdapPathOfDn(server, domainDn), ADS_SCOPE_SUBTREE,
                  u"(sAMAccountName=" + lumivel::ldap::EscapeFilterValue(account) + u")", u"objectSid", &row) ||
        row.octets.empty())
        return {};
    return SidTextOfBytes(row.octets.front());
}

}  // namespace

std::u16string LocalWriterDistrust(const lumivel::FileWriterInfo& file, const lumivel::FileWriterInfo& folder,
                                   uint32_t callerUid) {
    auto owner = [&](const lumivel::FileWriterInfo& info, const char16_t* what) -> std::u16string {
        if (info.isLink) return std::u16string(what) + u" is a symbolic link";
        if (info.ownerUid != 0 && info.ownerUid != callerUid)
            return std::u16string(what) + u" belongs to user " + number(info.ownerUid) + u", neither root nor you";
        if (info.otherWritable) return std::u16string(what) + u" may be written by every user";
        if (info.groupWritable) return std::u16string(what) + u" may be written by its group";
        return {};
    };
    std::u16string why = owner(file, u"the archive");
    return why.empty() ? owner(folder, u"its folder") : why;
}

std::u16string BackupDateDistrust(std::u16string_view dateTime, const FILETIME& lastWrite, const FILETIME& now) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    char rest = 0;
    std::string text = lumivel::shared::NarrowText(dateTime);
    SYSTEMTIME recorded{};
    FILETIME recordedTime{};
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &year, &month, &day, &hour, &minute, &second, &rest) != 6)
        return u"its recorded time \"" + std::u16string(dateTime) + u"\" is no time";
    recorded.wYear = WORD(year), recorded.wMonth = WORD(month), recorded.wDay = WORD(day);
    recorded.wHour = WORD(hour), recorded.wMinute = WORD(minute), recorded.wSecond = WORD(second);
    if (!SystemTimeToFileTime(&recorded, &recordedTime))
        return u"its recorded time \"" + std::u16string(dateTime) + u"\" is no time";
    const int64_t at = int64_t(ticksOf(recordedTime) / kTicksPerSecond);
    if (at > int64_t(ticksOf(now) / kTicksPerSecond) + kClockSkewSeconds)
        return u"its recorded time " + std::u16string(dateTime) + u" UTC lies in the future";
    const int64_t written = int64_t(ticksOf(lastWrite) / kTicksPerSecond);
    if (at > written + kClockSkewSeconds || written - at > kMostDateSkewSeconds)
        return u"its recorded time " + std::u16string(dateTime) + u" UTC is far from when the file was written";
    return {};
}

namespace {

// Whether the DN is the context or lies below it (compared without regard to case).
bool withinContext(std::u16string_view dn, std::u16string_view context) {
    return !context.empty() && dn.size() >= context.size() &&
           lumivel::EqualsNoCase(dn.substr(dn.size() - context.size()), context) &&
           (dn.size() == context.size() || dn[dn.size() - context.size() - 1] == u',');
}

}  // namespace

std::u16string ParentOutsideNamingContext(std::u16string_view tombstoneDn, std::u16string_view parentDn,
                                          const std::vector<std::u16string>& namingContexts) {
    std::u16string context = lumivel::shared::NamingContextOfTombstone(tombstoneDn);
    const std::u16string refused = u"The backup's parent path " + std::u16string(parentDn) +
                                   u" lies outside the naming context of the deleted object";
    if (context.empty()) return refused + u".";
    bool inside = withinContext(parentDn, context);
    // The Deleted Objects container is no place to recreate a live parent in.
    if (inside && lumivel::FoldCase(parentDn).find(u"cn=deleted objects,") != std::u16string::npos) inside = false;
    if (!inside) return refused + u", " + context + u": it is not used.";
    // A name below the domain's may belong to another context all the same.
    for (const std::u16string& other : namingContexts)
        if (other.size() > context.size() && withinContext(other, context) && withinContext(parentDn, other))
            return refused + u", " + context + u", but in " + other + u": it is not used.";
    return {};
}

std::vector<std::u16string> NamingContextsOf(std::u16string_view server) {
    Row row;
    if (!firstRow(lumivel::shared::LdapPathOfRootDse(server), ADS_SCOPE_BASE, u"(objectClass=*)", u"namingContexts", &row))
        return {};
    return row.texts;
}

bool TrustNamedArchive(const PropertySet* record, std::u16string_view archivePath) {
    std::u16string_view named = record->getText(kTrustArchiveKey);
    if (named.empty()) return false;
    std::u16string file = fileNameOf(archivePath);
    std::u16string stem = file.size() > 4 && lumivel::EqualsNoCase(std::u16string_view(file).substr(file.size() - 4), u".zip")
                              ? file.substr(0, file.size() - 4)
                              : file;
    return named == archivePath || lumivel::EqualsNoCase(named, file) || lumivel::EqualsNoCase(named, stem);
}

std::vector<uint8_t> SidBytesOfText(std::u16string_view text) {
    std::string narrow = lumivel::shared::NarrowText(text);
    if (narrow.compare(0, 2, "S-") != 0) return {};
    std::vector<uint64_t> parts;
    size_t at = 2;
    while (at <= narrow.size()) {
        size_t dash = narrow.find('-', at);
        std::string part = narrow.substr(at, dash == std::string::npos ? std::string::npos : dash - at);
        if (part.empty() || part.size() > 15 || part.find_first_not_of("0123456789") != std::string::npos) return {};
        parts.push_back(std::stoull(part));
        if (dash == std::string::npos) break;
        at = dash + 1;
    }
    if (parts.size() < 2 || parts.size() > 17 || parts[0] != 1 || parts[1] >= (1ull << 48)) return {};
    std::vector<uint8_t> bytes = {1, uint8_t(parts.size() - 2)};
    for (int shift = 40; shift >= 0; shift -= 8) bytes.push_back(uint8_t(parts[1] >> shift));
    for (size_t i = 2; i < parts.size(); ++i) {
        if (parts[i] > 0xFFFFFFFFull) return {};
        for (int shift = 0; shift < 32; shift += 8) bytes.push_back(uint8_t(parts[i] >> shift));
    }
    return bytes;
}

std::u16string SidTextOfBytes(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 8 || bytes[0] != 1 || bytes.size() != 8 + size_t(bytes[1]) * 4) return {};
    uint64_t authority = 0;
    for (int i = 2; i < 8; ++i) authority = authority << 8 | bytes[i];
    std::string text = "S-1-" + std::to_string(authority);
    for (size_t i = 0; i < bytes[1]; ++i) {
        size_t at = 8 + i * 4;
        uint32_t sub = uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                       uint32_t(bytes[at + 3]) << 24;
        text += "-" + std::to_string(sub);
    }
    return lumivel::shared::WidenText(text);
}

ArchiveTrust::ArchiveTrust(std::u16string server) : m_server(std::move(server)) {}

std::u16string ArchiveTrust::Distrust(const ArchiveSummary& archive) {
    std::u16string why;
    if (lumivel::IsUncPath(archive.path)) {
        why = shareDistrust(archive);
    } else {
        lumivel::FileWriterInfo file, folder;
        DWORD fileRead = lumivel::GetFileWriter(archive.path, &file);
        DWORD folderRead = lumivel::GetFileWriter(folderOf(archive.path), &folder);
        if (fileRead != ERROR_SUCCESS || folderRead != ERROR_SUCCESS)
            why = u"who wrote it cannot be read";
        else
            why = LocalWriterDistrust(file, folder, lumivel::CurrentUserId());
    }
    if (!why.empty() || !archive.readable) return why;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    return BackupDateDistrust(archive.dateTime, archive.lastWrite, now);
}

std::u16string ArchiveTrust::DistrustOfPath(const std::u16string& archivePath) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(archivePath.c_str(), GetFileExInfoStandard, &data)) return u"the archive cannot be read";
    ArchiveSummary summary;
    summary.path = archivePath;
    summary.fileName = fileNameOf(archivePath);
    summary.size = uint64_t(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    summary.lastWrite = data.ftLastWriteTime;
    ReadArchiveSummary(archivePath, &summary);
    return Distrust(summary);
}

void ArchiveTrust::learnDirectory() {
    if (m_learned) return;
    m_learned = true;
    std::u16string rootDse = lumivel::shared::LdapPathOfRootDse(m_server);
    std::u16string domain = firstText(rootDse, u"defaultNamingContext");
    std::u16string forest = firstText(rootDse, u"rootDomainNamingContext");
    m_adminSids.push_back(u"S-1-5-32-544");
    if (std::u16string sid = sidOfObject(m_server, domain); !sid.empty()) m_adminSids.push_back(sid + u"-512");
    if (std::u16string sid = sidOfObject(m_server, forest.empty() ? domain : forest); !sid.empty())
        m_adminSids.push_back(sid + u"-519");
    m_callerSid = sidOfAccount(m_server, domain, lumivel::shared::WidenText(lumivel::CurrentPrincipalName()));
}

bool ArchiveTrust::ownerIsAdministrator(const std::u16string& ownerSid) {
    if (auto seen = m_ownersSeen.find(ownerSid); seen != m_ownersSeen.end()) return seen->second;
    bool administrator = false;
    for (const std::u16string& admin : m_adminSids) administrator = administrator || lumivel::EqualsNoCase(admin, ownerSid);
    if (!administrator) {
        std::u16string domain = firstText(lumivel::shared::LdapPathOfRootDse(m_server), u"defaultNamingContext");
        Row owner;
        if (firstRow(lumivel::shared::LdapPathOfDn(m_server, domain), ADS_SCOPE_SUBTREE,
                     u"(objectSid=" + filterBytes(SidBytesOfText(ownerSid)) + u")", u"objectSid", &owner) &&
            !owner.dn.empty()) {
            // tokenGroups holds every group the owner is in, nested ones too.
            Row groups;
            if (firstRow(lumivel::shared::LdapPathOfDn(m_server, owner.dn), ADS_SCOPE_BASE, u"(objectClass=*)",
                         u"tokenGroups", &groups))
                for (const std::vector<uint8_t>& group : groups.octets)
                    for (const std::u16string& admin : m_adminSids)
                        administrator = administrator || lumivel::EqualsNoCase(SidTextOfBytes(group), admin);
        }
    }
    m_ownersSeen[ownerSid] = administrator;
    return administrator;
}

namespace {

// The account the work item runs as, found in the domain.
std::u16string accountSidOfTask(std::u16string_view server, ITask* task) {
    LPWSTR account = nullptr;
    std::u16string sid;
    if (SUCCEEDED(task->GetAccountInformation(&account)) && account) {
        std::u16string domain = firstText(lumivel::shared::LdapPathOfRootDse(server), u"defaultNamingContext");
        sid = sidOfAccount(server, domain, account);
    }
    if (account) CoTaskMemFree(account);
    return sid;
}

// The job whose script backs up the DN. A job backs its object up by DN, but is named after
// the GUID the object had when it was scheduled: a deleted unit's own job wrote the backups
// that recreate it, and no live object has that GUID now.
std::u16string accountSidOfJobFor(std::u16string_view server, ITaskScheduler* scheduler, const std::u16string& dn) {
    ComPtr<IEnumWorkItems> items;
    if (FAILED(scheduler->Enum(items.put()))) return {};
    std::u16string prefix = lumivel::shared::BackupTaskName(u"");
    prefix.pop_back();  // "BackupObjects ("
    std::u16string sid;
    for (bool more = true; more && sid.empty();) {
        LPWSTR* names = nullptr;
        ULONG fetched = 0;
        more = items->Next(16, &names, &fetched) == S_OK;
        for (ULONG i = 0; i < fetched; ++i) {
            std::u16string name = names[i] ? names[i] : u"";
            CoTaskMemFree(names[i]);
            ComPtr<ITask> task;
            if (!sid.empty() || name.rfind(prefix, 0) != 0 ||
                FAILED(scheduler->Activate(name.c_str(), IID_ITask, reinterpret_cast<IUnknown**>(task.put()))))
                continue;
            std::optional<std::u16string> object = lumivel::shared::ObjectOfBackupTask(task.get());
            if (object && lumivel::EqualsNoCase(*object, dn)) sid = accountSidOfTask(server, task.get());
        }
        CoTaskMemFree(names);
    }
    return sid;
}

}  // namespace

std::u16string ArchiveTrust::jobAccountSid(const std::u16string& originDn) {
    std::u16string key = lumivel::FoldCase(originDn);
    if (auto known = m_jobAccounts.find(key); known != m_jobAccounts.end()) return known->second;
    std::u16string sid;
    ComPtr<ITaskScheduler> scheduler;
    if (!originDn.empty() && SUCCEEDED(CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                                         IID_ITaskScheduler, scheduler.putVoid()))) {
        ComPtr<IADs> origin;
        UniqueBstr guid;
        ComPtr<ITask> task;
        if (SUCCEEDED(lumivel::shared::BindByDn(m_server, originDn, IID_IADs, origin.putVoid())) &&
            SUCCEEDED(origin->get_GUID(guid.put())) &&
            SUCCEEDED(scheduler->Activate(lumivel::shared::BackupTaskName(guid.view()).c_str(), IID_ITask,
                                          reinterpret_cast<IUnknown**>(task.put()))))
            sid = accountSidOfTask(m_server, task.get());
        if (sid.empty()) sid = accountSidOfJobFor(m_server, scheduler.get(), originDn);
    }
    m_jobAccounts[key] = sid;
    return sid;
}

std::u16string ArchiveTrust::shareDistrust(const ArchiveSummary& archive) {
    lumivel::FileWriterInfo file;
    if (DWORD read = lumivel::GetFileWriter(archive.path, &file); read != ERROR_SUCCESS || file.ownerSid.empty())
        return u"its owner cannot be read from the share";
    learnDirectory();
    if (!m_callerSid.empty() && lumivel::EqualsNoCase(file.ownerSid, m_callerSid)) return {};
    if (ownerIsAdministrator(file.ownerSid)) return {};
    std::u16string job = jobAccountSid(archive.origin);
    if (!job.empty() && lumivel::EqualsNoCase(file.ownerSid, job)) return {};
    return u"it was written by " + file.ownerSid +
           u", who is neither you, nor an administrator of the domain, nor the account of the object's backup job";
}

}  // namespace revivo
