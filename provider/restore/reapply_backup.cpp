// Command 318: a reanimated object keeps only what its tombstone kept; its backup holds the
// rest. Written back where the directory lets the caller write it, and reported either way.
#include <cstring>
#include <optional>
#include <set>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/backup/archive_trust.h"
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_sections.h"
#include "provider/common/system_error_text.h"
#include "provider/backup/section_name.h"
#include "provider/backup/text_hex.h"
#include "provider/common/command_report.h"
#include "provider/restore/reanimation.h"
#include "provider/restore/sensitive_writes.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

namespace revivo {

namespace {

// Written by the reanimation itself, or only through a rename, or kept by the directory from
// the class (some directories list sAMAccountType as writable and then refuse it), or too
// sensitive to put back blindly: an old security descriptor would undo whatever the
// administrators changed since.
constexpr const char16_t* kLeftAlone[] = {u"path",        u"cn",          u"ou",
                                          u"name",        u"distinguishedName", u"objectClass",
                                          u"sAMAccountType", u"nTSecurityDescriptor"};

struct Report {
    std::u16string name, outcome, error;
    bool membership = false;
    bool sensitive = false;  // needs the administrator's consent
    size_t values = 0;       // of an attribute: how many the backup holds
};

// "8-4-4-4-12" from a section name (the first three groups' byte pairs reversed back).
std::u16string guidTextOfSection(std::u16string_view section) {
    auto reversed = [&](size_t at, size_t length) {
        std::u16string out;
        for (size_t i = at + length; i > at; i -= 2) out += section.substr(i - 2, 2);
        return out;
    };
    return reversed(0, 8) + u"-" + reversed(8, 4) + u"-" + reversed(12, 4) + u"-" + std::u16string(section.substr(16, 4)) +
           u"-" + std::u16string(section.substr(20, 12));
}

HRESULT bindByGuid(std::u16string_view server, const std::u16string& guid, ComPtr<IADs>* object) {
    return lumivel::shared::BindByGuid(server, guid, IID_IADs, object->putVoid());
}

// Nothing when the directory would not say: that is not the same as "none may be written".
std::optional<std::set<std::u16string>> writableAttributes(IADs* object) {
    std::set<std::u16string> names;
    UniqueBstr name(u"allowedAttributesEffective");
    VARIANT wanted;
    VariantInit(&wanted);
    wanted.vt = VT_BSTR;
    wanted.bstrVal = name.get();
    VariantHolder values;
    if (FAILED(object->GetInfoEx(wanted, 0))) return std::nullopt;
    HRESULT read = object->GetEx(name.get(), values.get());
    if (read == E_ADS_PROPERTY_NOT_FOUND) return names;
    if (FAILED(read)) return std::nullopt;
    if (values->vt == (VT_ARRAY | VT_VARIANT) && values->parray) {
        auto* elements = static_cast<VARIANT*>(values->parray->pvData);
        for (ULONG i = 0; i < values->parray->rgsabound[0].cElements; ++i)
            if (elements[i].vt == VT_BSTR) names.insert(lumivel::FoldCase(lumivel::shared::ViewOf(elements[i].bstrVal)));
    }
    return names;
}

// The text values of an attribute of a bound object; empty when it has none.
std::vector<std::u16string> textValues(IADs* object, const char16_t* attribute) {
    std::vector<std::u16string> texts;
    UniqueBstr name(attribute);
    VariantHolder values;
    if (FAILED(object->GetEx(name.get(), values.get()))) return texts;
    if (values->vt == (VT_ARRAY | VT_VARIANT) && values->parray) {
        auto* elements = static_cast<VARIANT*>(values->parray->pvData);
        for (ULONG i = 0; i < values->parray->rgsabound[0].cElements; ++i)
            if (elements[i].vt == VT_BSTR) texts.emplace_back(lumivel::shared::ViewOf(elements[i].bstrVal));
    } else if (values->vt == VT_BSTR) {
        texts.emplace_back(lumivel::shared::ViewOf(values->bstrVal));
    }
    return texts;
}

// Why joining the group needs consent; a group whose SID cannot be read is taken for a
// privileged one, since nothing then shows that it is not.
std::u16string groupPrivilege(IADs* group) {
    UniqueBstr sidName(u"objectSid"), countName(u"adminCount");
    VariantHolder sid, count;
    std::vector<uint8_t> sidBytes;
    if (SUCCEEDED(group->Get(sidName.get(), sid.get())) && sid->vt == (VT_ARRAY | VT_UI1) && sid->parray) {
        auto* bytes = static_cast<const uint8_t*>(sid->parray->pvData);
        sidBytes.assign(bytes, bytes + sid->parray->rgsabound[0].cElements);
    }
    if (sidBytes.empty()) return u"a group whose SID cannot be read";
    bool adminCount = SUCCEEDED(group->Get(countName.get(), count.get())) &&
                      ((count->vt == VT_I4 && count->lVal != 0) ||
                       (count->vt == VT_BSTR && lumivel::shared::ViewOf(count->bstrVal) != u"0"));
    return PrivilegedGroupReason(sidBytes, adminCount);
}

// The values as a VARIANT ADSI writes: a string, a byte array, or an array of either.
HRESULT valuesVariant(const std::vector<DecodedValue>& values, VARIANT* out) {
    VariantInit(out);
    auto one = [](const DecodedValue& value, VARIANT* element) -> HRESULT {
        if (!value.binary) {
            element->vt = VT_BSTR;
            element->bstrVal = SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
            return element->bstrVal ? S_OK : E_OUTOFMEMORY;
        }
        SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(value.bytes.size()));
        if (!bytes) return E_OUTOFMEMORY;
        if (!value.bytes.empty()) std::memcpy(bytes->pvData, value.bytes.data(), value.bytes.size());
        element->vt = VT_ARRAY | VT_UI1;
        element->parray = bytes;
        return S_OK;
    };
    if (values.size() == 1) return one(values.front(), out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(values.size()));
    if (!array) return E_OUTOFMEMORY;
    auto* elements = static_cast<VARIANT*>(array->pvData);
    for (size_t i = 0; i < values.size(); ++i) {
        VariantInit(&elements[i]);
        HRESULT result = one(values[i], &elements[i]);
        if (FAILED(result)) {
            SafeArrayDestroy(array);
            return result;
        }
    }
    out->vt = VT_ARRAY | VT_VARIANT;
    out->parray = array;
    return S_OK;
}

struct Pending {
    std::u16string name;
    std::vector<DecodedValue> values;
};

HRESULT writeAll(std::u16string_view server, const std::u16string& guid, const std::vector<Pending>& pending,
                 ADS_PROPERTY_OPERATION_ENUM operation) {
    ComPtr<IADs> object;
    HRESULT result = bindByGuid(server, guid, &object);
    if (FAILED(result)) return result;
    for (const Pending& attribute : pending) {
        VARIANT value;
        result = valuesVariant(attribute.values, &value);
        if (FAILED(result)) return result;
        UniqueBstr name(attribute.name.c_str());
        result = object->PutEx(operation, name.get(), value);
        VariantClear(&value);
        if (FAILED(result)) return result;
    }
    return object->SetInfo();
}

// Re-joined ("Written"), already a member again (another restore put it back), or refused.
// Samba answers a member that is there already with "entry already exists" rather than
// "value exists"; the group itself was just bound, so either means the membership is there.
Report membershipReport(const std::u16string& groupDn, HRESULT added, bool sensitive) {
    if (SUCCEEDED(added)) return {groupDn, u"Written", {}, true, sensitive};
    if (added == HRESULT_FROM_WIN32(ERROR_DS_ATTRIBUTE_OR_VALUE_EXISTS) ||
        added == HRESULT_FROM_WIN32(ERROR_OBJECT_ALREADY_EXISTS))
        return {groupDn, u"AlreadyMember", {}, true, sensitive};
    return {groupDn, u"Refused", SystemErrorText(static_cast<DWORD>(added)), true, sensitive};
}

HRESULT addMember(std::u16string_view server, const std::u16string& groupDn, const std::u16string& memberDn) {
    ComPtr<IADs> group;
    HRESULT result = lumivel::shared::BindByDn(server, groupDn, IID_IADs, group.putVoid());
    if (SUCCEEDED(result)) {
        VARIANT value;
        result = valuesVariant({DecodedValue{memberDn, {}, false}}, &value);
        if (SUCCEEDED(result)) {
            UniqueBstr name(u"member");
            result = group->PutEx(ADS_PROPERTY_APPEND, name.get(), value);
            VariantClear(&value);
        }
        if (SUCCEEDED(result)) result = group->SetInfo();
    }
    return result;
}

bool IsNoSuchObject(HRESULT bound) {
    return bound == HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT) || bound == E_ADS_UNKNOWN_OBJECT ||
           bound == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
}

}  // namespace

HRESULT Revivo::ReapplyBackup(PropertySet* record, VARIANT* result) {
    return ReapplyBackupWith(attributeLists(), record, result);
}

HRESULT Revivo::ReapplyBackupWith(AttributeLists& lists, PropertySet* record, VARIANT* result) {
    std::u16string tombstone(record->getText(u"distinguishedName"));
    std::u16string section = SectionNameOfTombstone(tombstone);
    if (section.empty()) return E_INVALIDARG;
    std::u16string guid = guidTextOfSection(section);
    std::u16string server(record->getText(u"FocusedDC"));
    const bool planOnly = record->getRaw(kReapplyPlanOnlyKey) != 0;
    const bool consent = record->getRaw(kReapplySensitiveKey) != 0;
    std::u16string archivePath(record->getText(kReapplyArchiveKey));
    if (!archivePath.empty() && !TrustNamedArchive(record, archivePath)) {
        ArchiveTrust trust(server);
        if (std::u16string why = trust.DistrustOfPath(archivePath); !why.empty()) {
            NoteFailure(HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), u"Re-apply Attributes",
                        u"The backup archive " + archivePath + u" is not used: " + why + u".");
            return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
        }
    }
    std::u16string tooLarge;
    std::unique_ptr<BackupSections> archive = BackupSections::Open(archivePath, &tooLarge);
    if (!archive && !tooLarge.empty()) {
        NoteFailure(HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE), u"Re-apply Attributes", tooLarge);
        return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);
    }
    if (!archive) return E_FAIL;
    std::vector<BackupAttribute> attributes = archive->Attributes(section);
    if (attributes.empty()) return E_FAIL;
    UniqueBstr dnName(u"distinguishedName");

    // Which classes the object is of decides whether "member" grants anything. The live
    // object's word counts; the archive's and the listing's can only add classes, never
    // take the group away.
    std::vector<std::u16string> classes;
    if (record->has(u"class")) classes.emplace_back(record->getText(u"class"));
    for (const BackupAttribute& attribute : attributes)
        if (lumivel::EqualsNoCase(attribute.name, u"objectClass"))
            for (const std::u16string& text : attribute.texts)
                if (std::optional<DecodedValue> value = DecodeBackupValue(attribute.type, text))
                    if (!value->binary) classes.push_back(value->text);

    std::u16string liveDn;
    std::optional<std::set<std::u16string>> allowed;
    if (!planOnly) {
        ComPtr<IADs> live;
        if (FAILED(bindByGuid(server, guid, &live))) return E_FAIL;
        lumivel::VariantHolder liveName;
        if (FAILED(live->Get(dnName.get(), liveName.get())) || liveName->vt != VT_BSTR) return E_FAIL;
        liveDn = lumivel::shared::ViewOf(liveName->bstrVal);
        for (std::u16string& name : textValues(live.get(), u"objectClass")) classes.push_back(std::move(name));
        allowed = writableAttributes(live.get());
        if (!allowed) return E_FAIL;
    }
    LoadAttributeLists(lists);

    std::vector<Report> reports;
    std::vector<Pending> pending;
    std::u16string backupParent;
    // A back link: the directory keeps it from the groups' member lists, so it says which
    // groups to rejoin and is never written itself.
    std::vector<std::u16string> formerGroups;
    for (const BackupAttribute& attribute : attributes) {
        if (lumivel::EqualsNoCase(attribute.name, u"path")) {
            if (!attribute.texts.empty()) DecodeTextHex(attribute.texts.back(), &backupParent, nullptr);
            continue;
        }
        if (lumivel::EqualsNoCase(attribute.name, u"memberOf")) {
            for (const std::u16string& text : attribute.texts)
                if (std::optional<DecodedValue> group = DecodeBackupValue(attribute.type, text))
                    if (!group->binary && !group->text.empty()) formerGroups.push_back(group->text);
            continue;
        }
        bool leftAlone = false;
        for (const char16_t* name : kLeftAlone) leftAlone = leftAlone || lumivel::EqualsNoCase(attribute.name, name);
        if (leftAlone || IsRestrictedAttribute(lists, attribute.name.c_str())) {
            reports.push_back({attribute.name, u"LeftAlone", u"restricted, or set by the restore itself", false, false,
                               attribute.texts.size()});
            continue;
        }
        std::u16string sensitive = SensitiveAttributeReason(attribute.name, classes);
        if (!sensitive.empty() && !consent) {
            reports.push_back({attribute.name, u"Withheld", sensitive, false, true, attribute.texts.size()});
            continue;
        }
        if (allowed && !allowed->count(lumivel::FoldCase(attribute.name))) {
            reports.push_back({attribute.name, u"LeftAlone", u"the directory does not let the caller write it", false,
                               false, attribute.texts.size()});
            continue;
        }
        Pending values{attribute.name, {}};
        for (const std::u16string& text : attribute.texts)
            if (std::optional<DecodedValue> value = DecodeBackupValue(attribute.type, text)) values.values.push_back(*value);
        if (values.values.size() != attribute.texts.size()) {
            reports.push_back({attribute.name, u"Refused", u"the backup's value cannot be written back", false, false,
                               attribute.texts.size()});
            continue;
        }
        if (planOnly) {
            reports.push_back({attribute.name, u"WouldWrite", sensitive, false, !sensitive.empty(), attribute.texts.size()});
            continue;
        }
        pending.push_back(std::move(values));
    }

    // One modify for the whole object; when the directory refuses it, each attribute alone,
    // so that the report says which one it was.
    auto sensitiveOf = [&](const Pending& attribute) { return !SensitiveAttributeReason(attribute.name, classes).empty(); };
    if (!pending.empty() && SUCCEEDED(writeAll(server, guid, pending, ADS_PROPERTY_UPDATE))) {
        for (const Pending& attribute : pending)
            reports.push_back({attribute.name, u"Written", {}, false, sensitiveOf(attribute), attribute.values.size()});
    } else {
        for (const Pending& attribute : pending) {
            HRESULT written = writeAll(server, guid, {attribute}, ADS_PROPERTY_UPDATE);
            reports.push_back({attribute.name, SUCCEEDED(written) ? u"Written" : u"Refused",
                               SUCCEEDED(written) ? std::u16string() : SystemErrorText(static_cast<DWORD>(written)),
                               false, sensitiveOf(attribute), attribute.values.size()});
        }
    }

    // Its memberships: the groups its own section names, then the groups of the same backup
    // whose member lists held its old name; each group once.
    std::set<std::u16string> joined;
    auto unreachable = [&](const std::u16string& groupDn, HRESULT bound) {
        reports.push_back({groupDn, IsNoSuchObject(bound) ? u"Gone" : u"Refused",
                           IsNoSuchObject(bound) ? std::u16string(u"the group is gone")
                                                 : SystemErrorText(static_cast<DWORD>(bound)),
                           true});
    };
    // A privileged group only with consent; a plan only says what would be joined.
    auto join = [&](const std::u16string& groupDn, const std::u16string& privilege, auto add) {
        if (!privilege.empty() && !consent)
            reports.push_back({groupDn, u"Withheld", privilege, true, true});
        else if (planOnly)
            reports.push_back({groupDn, u"WouldWrite", privilege, true, !privilege.empty()});
        else
            reports.push_back(membershipReport(groupDn, add(), !privilege.empty()));
    };
    for (const std::u16string& groupDn : formerGroups) {
        if (!joined.insert(lumivel::FoldCase(groupDn)).second) continue;
        ComPtr<IADs> group;
        if (HRESULT bound = lumivel::shared::BindByDn(server, groupDn, IID_IADs, group.putVoid()); FAILED(bound)) {
            unreachable(groupDn, bound);
            continue;
        }
        const std::u16string privilege = groupPrivilege(group.get());
        group.reset();
        join(groupDn, privilege, [&] { return addMember(server, groupDn, liveDn); });
    }
    std::u16string backupDn =
        backupParent.empty() ? std::u16string() : lumivel::shared::ReanimatedDn(tombstone, backupParent);
    if (!backupDn.empty()) {
        for (const std::u16string& other : archive->SectionNames()) {
            if (lumivel::EqualsNoCase(other, section)) continue;
            for (const BackupAttribute& attribute : archive->Attributes(other)) {
                if (!lumivel::EqualsNoCase(attribute.name, u"member")) continue;
                bool listed = false;
                for (const std::u16string& text : attribute.texts) {
                    std::optional<DecodedValue> member = DecodeBackupValue(attribute.type, text);
                    listed = listed || (member && !member->binary && lumivel::EqualsNoCase(member->text, backupDn));
                }
                if (!listed) continue;
                std::u16string groupGuid = guidTextOfSection(other);
                ComPtr<IADs> group;
                lumivel::VariantHolder groupName;
                std::u16string groupDn = groupGuid;
                if (HRESULT bound = bindByGuid(server, groupGuid, &group); FAILED(bound)) {
                    if (joined.insert(lumivel::FoldCase(groupDn)).second) unreachable(groupDn, bound);
                    continue;
                }
                if (SUCCEEDED(group->Get(dnName.get(), groupName.get())) && groupName->vt == VT_BSTR)
                    groupDn = lumivel::shared::ViewOf(groupName->bstrVal);
                const std::u16string privilege = groupPrivilege(group.get());
                group.reset();
                if (!joined.insert(lumivel::FoldCase(groupDn)).second) continue;
                join(groupDn, privilege, [&] {
                    return writeAll(server, groupGuid, {Pending{u"member", {DecodedValue{liveDn, {}, false}}}},
                                    ADS_PROPERTY_APPEND);
                });
            }
        }
    }

    std::vector<PropertySet*> records;
    bool refused = false;
    for (const Report& report : reports) {
        PropertySet* item = PropertySet::create();
        if (!item) {
            for (PropertySet* made : records) made->release();
            return E_OUTOFMEMORY;
        }
        records.push_back(item);
        item->setText(u"name", report.name);
        item->setText(kReapplyOutcomeKey, report.outcome);
        item->setText(kReapplyErrorKey, report.error);
        if (report.membership) item->setInt(kReapplyMembershipKey, 1);
        if (report.sensitive) item->setInt(kReapplySensitiveKey, 1);
        if (!report.membership) item->setInt(kReapplyValueCountKey, static_cast<LONG>(report.values));
        refused = refused || report.outcome == u"Refused";
    }
    // A report that cannot be handed over is a failure, not an empty report.
    HRESULT built = records.empty() || !result ? S_OK : lumivel::shared::BuildObjectList(records, result);
    if (records.empty() || !result || FAILED(built))
        for (PropertySet* made : records) made->release();
    if (FAILED(built)) return built;
    return refused ? S_FALSE : S_OK;
}

}  // namespace revivo
