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
#include "provider/backup/attribute_lists.h"
#include "provider/backup/backup_sections.h"
#include "provider/common/system_error_text.h"
#include "provider/backup/section_name.h"
#include "provider/backup/text_hex.h"
#include "provider/restore/reanimation.h"
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
Report membershipReport(const std::u16string& groupDn, HRESULT added) {
    if (SUCCEEDED(added)) return {groupDn, u"Written", {}, true};
    if (added == HRESULT_FROM_WIN32(ERROR_DS_ATTRIBUTE_OR_VALUE_EXISTS)) return {groupDn, u"AlreadyMember", {}, true};
    return {groupDn, u"Refused", SystemErrorText(static_cast<DWORD>(added)), true};
}

Report joinGroup(std::u16string_view server, const std::u16string& groupDn, const std::u16string& memberDn) {
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
    return membershipReport(groupDn, result);
}

}  // namespace

HRESULT Revivo::ReapplyBackup(PropertySet* record, VARIANT* result) {
    std::u16string tombstone(record->getText(u"distinguishedName"));
    std::u16string section = SectionNameOfTombstone(tombstone);
    if (section.empty()) return E_INVALIDARG;
    std::u16string guid = guidTextOfSection(section);
    std::u16string server(record->getText(u"FocusedDC"));
    std::unique_ptr<BackupSections> archive = BackupSections::Open(record->getText(kReapplyArchiveKey));
    if (!archive) return E_FAIL;
    std::vector<BackupAttribute> attributes = archive->Attributes(section);
    if (attributes.empty()) return E_FAIL;
    ComPtr<IADs> live;
    if (FAILED(bindByGuid(server, guid, &live))) return E_FAIL;
    lumivel::VariantHolder liveName;
    UniqueBstr dnName(u"distinguishedName");
    if (FAILED(live->Get(dnName.get(), liveName.get())) || liveName->vt != VT_BSTR) return E_FAIL;
    std::u16string liveDn(lumivel::shared::ViewOf(liveName->bstrVal));
    std::optional<std::set<std::u16string>> allowed = writableAttributes(live.get());
    live.reset();
    if (!allowed) return E_FAIL;
    const std::set<std::u16string>& writable = *allowed;
    LoadAttributeLists(attributeLists());

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
        if (leftAlone || IsRestrictedAttribute(attributeLists(), attribute.name.c_str())) {
            reports.push_back({attribute.name, u"LeftAlone", u"restricted, or set by the restore itself"});
            continue;
        }
        if (!writable.count(lumivel::FoldCase(attribute.name))) {
            reports.push_back({attribute.name, u"LeftAlone", u"the directory does not let the caller write it"});
            continue;
        }
        Pending values{attribute.name, {}};
        for (const std::u16string& text : attribute.texts)
            if (std::optional<DecodedValue> value = DecodeBackupValue(attribute.type, text)) values.values.push_back(*value);
        if (values.values.size() != attribute.texts.size()) {
            reports.push_back({attribute.name, u"Refused", u"the backup's value cannot be written back"});
            continue;
        }
        pending.push_back(std::move(values));
    }

    // One modify for the whole object; when the directory refuses it, each attribute alone,
    // so that the report says which one it was.
    if (!pending.empty() && SUCCEEDED(writeAll(server, guid, pending, ADS_PROPERTY_UPDATE))) {
        for (const Pending& attribute : pending) reports.push_back({attribute.name, u"Written", {}});
    } else {
        for (const Pending& attribute : pending) {
            HRESULT written = writeAll(server, guid, {attribute}, ADS_PROPERTY_UPDATE);
            reports.push_back({attribute.name, SUCCEEDED(written) ? u"Written" : u"Refused",
                               SUCCEEDED(written) ? std::u16string() : SystemErrorText(static_cast<DWORD>(written))});
        }
    }

    // Its memberships: the groups its own section names, then the groups of the same backup
    // whose member lists held its old name; each group once.
    std::set<std::u16string> joined;
    for (const std::u16string& groupDn : formerGroups) {
        if (!joined.insert(lumivel::FoldCase(groupDn)).second) continue;
        ComPtr<IADs> group;
        HRESULT bound = lumivel::shared::BindByDn(server, groupDn, IID_IADs, group.putVoid());
        group.reset();
        if (FAILED(bound)) {
            bool gone = bound == HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT) || bound == E_ADS_UNKNOWN_OBJECT ||
                        bound == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
            reports.push_back({groupDn, gone ? u"Gone" : u"Refused", SystemErrorText(static_cast<DWORD>(bound)), true});
            continue;
        }
        reports.push_back(joinGroup(server, groupDn, liveDn));
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
                if (SUCCEEDED(bindByGuid(server, groupGuid, &group)) &&
                    SUCCEEDED(group->Get(dnName.get(), groupName.get())) && groupName->vt == VT_BSTR)
                    groupDn = lumivel::shared::ViewOf(groupName->bstrVal);
                group.reset();
                if (!joined.insert(lumivel::FoldCase(groupDn)).second) continue;
                HRESULT added = writeAll(server, groupGuid, {Pending{u"member", {DecodedValue{liveDn, {}, false}}}},
                                         ADS_PROPERTY_APPEND);
                reports.push_back(membershipReport(groupDn, added));
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
