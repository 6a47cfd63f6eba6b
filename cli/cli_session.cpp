#include "cli/cli_session.h"

#include <algorithm>

#include "cli/tombstone_index.h"

#include "lumivel/com_object.h"
#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/registry_key.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "shared/directory_operations.h"
#include "shared/listing_changes.h"
#include "shared/object_list.h"
#include "shared/text_list.h"
#include "shared/text_helpers.h"
#include "win/adsi.h"
#include "win/com.h"

using lumivel::EqualsNoCase;

namespace lumivel_cli {

namespace {

std::u16string stringOf(const VARIANT& value) {
    return value.vt == VT_BSTR && value.bstrVal ? std::u16string(value.bstrVal, SysStringLen(value.bstrVal))
                                                : std::u16string();
}

std::u16string distinguishedNameOf(IADs* object) {
    lumivel::UniqueBstr attribute(u"distinguishedName");
    lumivel::VariantHolder value;
    if (FAILED(object->Get(attribute.get(), value.get()))) return {};
    return stringOf(*value.get());
}

}  // namespace

void RecordList::adopt(VARIANT* list) {
    for (PropertySet* record : lumivel::shared::ReadObjectList(list, lumivel::shared::ListForm::AnyArray))
        if (record) m_records.push_back(record);
    VariantClear(list);
    VariantInit(list);
}

void RecordList::clear() {
    // A caller that frees records as it goes leaves nulls behind.
    for (PropertySet* record : m_records)
        if (record) record->release();
    m_records.clear();
}

HRESULT ProviderSession::open() {
    HRESULT result = CoCreateInstance(CLSID_Revivo, nullptr, CLSCTX_INPROC_SERVER, IID_IRevivo, m_revivo.putVoid());
    if (FAILED(result)) return result;
    return m_revivo.queryInterface(IID_IProviderCommands, &m_commands);
}

HRESULT ProviderSession::storedNodes(RecordList* nodes) {
    VARIANT list;
    VariantInit(&list);
    HRESULT result = m_commands->GetNodes(0, 0, 0, &list);
    nodes->adopt(&list);
    // The snap-in marks the nodes it got as this provider's.
    for (PropertySet* node : nodes->records()) node->setInt(u"FromRevivoProvider", 1);
    return result;
}

namespace {

bool isLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// An attribute description before "=": a name (letter, then letters, digits, "-") or an OID.
bool startsWithAttributeAssertion(std::u16string_view text) {
    size_t equals = text.find(u'=');
    if (equals == std::u16string_view::npos || equals == 0) return false;
    std::u16string_view attribute = text.substr(0, equals);
    if (isLetter(attribute.front())) {
        return std::all_of(attribute.begin(), attribute.end(),
                           [](char16_t c) { return isLetter(c) || isDigit(c) || c == u'-'; });
    }
    bool lastWasDot = true;
    for (char16_t c : attribute) {
        if (c == u'.') {
            if (lastWasDot) return false;
            lastWasDot = true;
        } else if (isDigit(c)) {
            lastWasDot = false;
        } else {
            return false;
        }
    }
    return !lastWasDot;
}

}  // namespace

std::u16string FilterPrefixFor(std::u16string_view typed) {
    if (typed.empty() || startsWithAttributeAssertion(typed)) return std::u16string(typed);
    // The relative name of every tombstone, whichever attribute names its class.
    return u"name=" + lumivel::ldap::EscapeFilterValue(typed);
}

std::u16string NamingContextOfDomain(const std::u16string& domain) {
    // An LDAP path keeps the server it names; the provider binds through it.
    if (domain.find(u'=') != std::u16string::npos || lumivel::shared::StartsWithNoCase(domain, u"LDAP://")) return domain;
    std::u16string dn;
    size_t start = 0;
    while (start <= domain.size()) {
        size_t dot = domain.find(u'.', start);
        std::u16string label = domain.substr(start, dot == std::u16string::npos ? std::u16string::npos : dot - start);
        if (!label.empty()) dn += (dn.empty() ? u"DC=" : u",DC=") + label;
        if (dot == std::u16string::npos) break;
        start = dot + 1;
    }
    return dn;
}

HRESULT ProviderSession::resolveDomain(const std::u16string& domain, RecordList* keep, DomainNode* found) {
    *found = DomainNode{};
    RecordList nodes;
    storedNodes(&nodes);
    for (PropertySet* node : nodes.records()) {
        if (EqualsNoCase(node->getText(u"name"), domain) || EqualsNoCase(node->getText(u"DomainName"), domain) ||
            EqualsNoCase(node->getText(u"NamingContext"), domain)) {
            node->addRef();
            keep->add(node);
            *found = DomainNode{node, true};
            return S_OK;
        }
    }
    // Not stored (or not answering): the directory must know the domain, or the listing would
    // look like an empty Deleted Objects container. A DNS name is bound as a server name, so
    // that a domain nobody answers for fails as such rather than on whichever DC serves the
    // default domain.
    bool isPath = lumivel::shared::ContainsText(domain, u"LDAP://");
    lumivel::ComPtr<IADs> object;
    HRESULT result = lumivel::shared::BindPath(lumivel::shared::LdapPathOfDomain(domain), IID_IADs, object.putVoid());
    if (FAILED(result)) return result;
    std::u16string dn = distinguishedNameOf(object.get());
    PropertySet* node = PropertySet::create();
    if (!node) return E_OUTOFMEMORY;
    keep->add(node);
    node->IsNode = 1;
    node->setText(u"name", domain);
    // An LDAP path keeps the server it names.
    node->setText(u"NamingContext", isPath ? domain : !dn.empty() ? dn : NamingContextOfDomain(domain));
    node->setText(u"FocusedDC", lumivel::shared::ServerOfBinding(object.get()));
    node->setInt(u"FromRevivoProvider", 1);
    *found = DomainNode{node, false};
    return S_OK;
}

bool IsStoredDomain(const std::u16string& domain) {
    lumivel::RegistryKey store;
    if (store.open(HKEY_CURRENT_USER, kLumivelKey, KEY_READ) != ERROR_SUCCESS) return false;
    for (const std::u16string& name : store.valueNames()) {
        size_t slash = name.find(u'/');
        std::optional<std::u16string> shownName = store.readString(name.c_str());
        if ((slash != std::u16string::npos && EqualsNoCase(std::u16string_view(name).substr(0, slash), domain)) ||
            (shownName && EqualsNoCase(*shownName, domain)))
            return true;
    }
    return false;
}

size_t StoredDomainCount() {
    lumivel::RegistryKey store;
    if (store.open(HKEY_CURRENT_USER, kLumivelKey, KEY_READ) != ERROR_SUCCESS) return 0;
    size_t count = 0;
    for (const std::u16string& name : store.valueNames())
        count += store.readString(name.c_str()).has_value() ? 1 : 0;
    return count;
}

std::vector<std::string> StoredDomainNames() {
    std::vector<std::string> names;
    lumivel::RegistryKey store;
    if (store.open(HKEY_CURRENT_USER, kLumivelKey, KEY_READ) != ERROR_SUCCESS) return names;
    for (const std::u16string& value : store.valueNames()) {
        const size_t slash = value.find(u'/');
        std::optional<std::u16string> shownName = store.readString(value.c_str());
        if (!shownName) continue;
        const std::string name = lumivel::shared::NarrowText(slash != std::u16string::npos ? value.substr(0, slash) : *shownName);
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    return names;
}

HRESULT ProviderSession::connect(const std::u16string& domain, RecordList* added, CommandOutcome* outcome) {
    PropertySet* request = PropertySet::create();
    if (!request) return E_OUTOFMEMORY;
    RecordList keep;
    keep.add(request);
    request->setText(kConnectDomainKey, domain);
    std::vector<PropertySet*> node;
    HRESULT status = command(kCommandConnect, {request}, &node, outcome);
    // The new node record is the command line's now.
    for (PropertySet* record : node) added->add(record);
    return status;
}

HRESULT ProviderSession::list(PropertySet* node, const std::u16string& filter, RecordList* tombstones) {
    VARIANT list;
    VariantInit(&list);
    lumivel::UniqueBstr filterText(filter.empty() ? nullptr : filter.c_str());
    HRESULT result = m_revivo->EnumDeletedObjects(reinterpret_cast<LONG_PTR>(node), filterText.get(), &list);
    tombstones->adopt(&list);
    for (PropertySet* record : tombstones->records()) record->setInt(u"FromRevivoProvider", 1);
    return result;
}

namespace {

// Where the provider hands a listing's records, one at a time.
class RecordTaker final : public lumivel::com::ComObject<RecordTaker, IDeletedObjectSink> {
public:
    static constexpr lumivel::com::InterfaceEntry kInterfaces[] = {
        lumivel::com::InterfaceOf<RecordTaker, IDeletedObjectSink>(IID_IDeletedObjectSink),
    };
    explicit RecordTaker(const std::function<HRESULT(PropertySet*)>& take) : m_take(take) {}

    STDMETHODIMP TakeDeletedObject(LONG_PTR lRecord) override {
        auto* record = reinterpret_cast<PropertySet*>(lRecord);
        if (!record) return E_POINTER;
        record->setInt(u"FromRevivoProvider", 1);
        return m_take(record);
    }

private:
    const std::function<HRESULT(PropertySet*)>& m_take;
};

}  // namespace

HRESULT ProviderSession::listEach(PropertySet* node, const std::u16string& filter,
                                  const std::function<HRESULT(PropertySet* record)>& take) {
    lumivel::ComPtr<IDeletedObjectPages> pages;
    HRESULT result = m_revivo.queryInterface(IID_IDeletedObjectPages, &pages);
    if (FAILED(result)) return result;
    lumivel::ComPtr<RecordTaker> taker = lumivel::com::NewComObject<RecordTaker>(take);
    if (!taker) return E_OUTOFMEMORY;
    lumivel::UniqueBstr filterText(filter.empty() ? nullptr : filter.c_str());
    return pages->EnumDeletedObjectsTo(reinterpret_cast<LONG_PTR>(node), filterText.get(), taker.get());
}

HRESULT ProviderSession::restoreTo(PropertySet* tombstone, const std::u16string& container,
                                   const RestoreAnswers& answers, std::vector<PropertySet*>* restored,
                                   CommandOutcome* outcome) {
    tombstone->setText(kRestoreTargetKey, container);
    return restoreWith(kCommandRestoreTo, tombstone, answers, restored, outcome);
}

HRESULT ProviderSession::restore(PropertySet* tombstone, const RestoreAnswers& answers,
                                 std::vector<PropertySet*>* restored, CommandOutcome* outcome) {
    return restoreWith(kCommandRestore, tombstone, answers, restored, outcome);
}

namespace {

// The answers of the dialogs a restore may ask, put on the record (or taken off it, when an
// earlier run left one the command line no longer gives).
void putAnswers(PropertySet* record, const RestoreAnswers& answers) {
    record->removeValue(kNewNameKey);
    record->removeValue(kRestoreFromFileKey);
    record->removeValue(kTrustArchiveKey);
    if (answers.trustArchive) record->setText(kTrustArchiveKey, *answers.trustArchive);
    if (answers.newName) record->setText(kNewNameKey, *answers.newName);
    if (answers.restoreFromFile) record->setText(kRestoreFromFileKey, *answers.restoreFromFile);
}

std::vector<std::u16string> texts(const PropertySet* header, LPCWSTR key) {
    return lumivel::shared::TextListOf(header, key);
}

void readOutcome(const PropertySet* header, CommandOutcome* outcome) {
    *outcome = CommandOutcome{};
    if (!header) {
        outcome->result = E_UNEXPECTED;
        return;
    }
    VARIANT result;
    if (header->getValue(kCommandResultKey, &result) && result.vt == VT_I4) outcome->result = result.lVal;
    outcome->errorCaption = header->getText(kCommandErrorCaptionKey);
    outcome->errorText = header->getText(kCommandErrorKey);
    outcome->messages = texts(header, kCommandMessagesKey);
    outcome->question = header->getText(kQuestionKey);
    outcome->takenName = header->getText(kTakenNameKey);
    outcome->restoredAs = texts(header, kRestoredAsKey);
    std::vector<std::u16string> paths = texts(header, kArchivesKey), dates = texts(header, kArchiveDatesKey),
                                origins = texts(header, kArchiveOriginsKey),
                                distrusts = texts(header, kArchiveDistrustsKey);
    for (size_t i = 0; i < paths.size(); ++i)
        outcome->archives.push_back(ArchiveChoice{paths[i], i < dates.size() ? dates[i] : std::u16string(),
                                                  i < origins.size() ? origins[i] : std::u16string(),
                                                  i < distrusts.size() ? distrusts[i] : std::u16string()});
}

}  // namespace

bool CommandOutcome::asks(const char16_t* key) const { return lumivel::EqualsNoCase(question, key); }

std::string CommandOutcome::failureLine() const {
    if (errorCaption.empty()) return {};
    return lumivel::shared::NarrowText(errorCaption) + ": " + lumivel::shared::NarrowText(errorText);
}

HRESULT ProviderSession::command(LONG id, const std::vector<PropertySet*>& records, std::vector<PropertySet*>* answer,
                                 CommandOutcome* outcome) {
    answer->clear();
    if (!records.empty() && records.front()) records.front()->setInt(kNoDialogsKey, 1);
    VARIANT selection;
    VariantInit(&selection);
    HRESULT status = lumivel::shared::BuildObjectList(records, &selection);
    if (FAILED(status)) return status;
    VARIANT result;
    VariantInit(&result);
    status = m_commands->ExecuteCommand(nullptr, 1, id, &selection, &result);
    VariantClear(&selection);
    std::vector<PropertySet*> listed = lumivel::shared::ReadObjectList(&result, lumivel::shared::ListForm::AnyArray);
    VariantClear(&result);
    PropertySet* header = listed.empty() ? nullptr : listed.front();
    readOutcome(header, outcome);
    if (header) header->release();
    for (size_t i = 1; i < listed.size(); ++i)
        if (listed[i]) answer->push_back(listed[i]);
    return status;
}

HRESULT ProviderSession::restoreWith(LONG id, PropertySet* tombstone, const RestoreAnswers& answers,
                                     std::vector<PropertySet*>* restored, CommandOutcome* outcome) {
    putAnswers(tombstone, answers);
    // The records after the header are ones the caller holds already.
    return command(id, {tombstone}, restored, outcome);
}

HRESULT ProviderSession::commandOn(LONG id, PropertySet* record, RecordList* answer, CommandOutcome* outcome) {
    std::vector<PropertySet*> made;
    HRESULT status = command(id, {record}, &made, outcome);
    for (PropertySet* each : made) answer->add(each);
    return status;
}

HRESULT ProviderSession::listChanges(PropertySet* node, RecordList* answer) {
    VARIANT selection;
    VariantInit(&selection);
    HRESULT status = lumivel::shared::BuildObjectList({node}, &selection);
    if (FAILED(status)) return status;
    VARIANT result;
    VariantInit(&result);
    status = m_commands->ExecuteCommand(nullptr, 1, kCommandListChanges, &selection, &result);
    VariantClear(&selection);
    answer->adopt(&result);
    VariantClear(&result);
    if (SUCCEEDED(status) && answer->records().empty()) return E_UNEXPECTED;
    return status;
}

HRESULT ProviderSession::planRestore(PropertySet* tombstone, RestorePreview* preview,
                                     const std::optional<std::u16string>& container) {
    // The plan's header is the command's, as are the steps after it: the list frees them all.
    if (container)
        tombstone->setText(kRestoreTargetKey, *container);
    else
        tombstone->removeValue(kRestoreTargetKey);
    VARIANT selection;
    VariantInit(&selection);
    lumivel::shared::RecordToVariant(tombstone, &selection);
    VARIANT answer;
    VariantInit(&answer);
    HRESULT status = m_commands->ExecuteCommand(nullptr, 1, kCommandPlanRestore, &selection, &answer);
    RecordList result;
    result.adopt(&answer);
    if (status != S_OK) return FAILED(status) ? status : E_FAIL;
    if (result.records().empty()) return E_FAIL;
    using lumivel::shared::NarrowText;
    const PropertySet* header = result.records().front();
    preview->found = true;
    if (header->has(kPlanMayReanimateKey)) preview->mayReanimate = header->getRaw(kPlanMayReanimateKey) != 0;
    preview->rights = NarrowText(header->getText(kPlanRightsKey));
    preview->missingParent = NarrowText(header->getText(kPlanMissingParentKey));
    for (size_t i = 1; i < result.records().size(); ++i) {
        const PropertySet* record = result.records()[i];
        PreviewObject object;
        object.name = NarrowText(lumivel::shared::PlainTombstoneName(record->getText(u"name")));
        object.className = NarrowText(record->getText(u"class"));
        object.tombstone = NarrowText(record->getText(u"distinguishedName"));
        object.target = NarrowText(record->getText(kPlanTargetKey));
        object.expires = NarrowText(record->getText(kExpiresKey));
        object.expiresUtc = NarrowText(record->getText(kExpiresUtcKey));
        object.nameTaken = record->getRaw(kPlanNameTakenKey) != 0;
        if (record->has(kPlanMayCreateKey)) object.mayCreate = record->getRaw(kPlanMayCreateKey) != 0;
        preview->objects.push_back(std::move(object));
    }
    return S_OK;
}

HRESULT ProviderSession::restoreSubtree(PropertySet* tombstone, bool keepGoing, const RestoreAnswers& answers,
                                        std::vector<SubtreeObject>* objects, CommandOutcome* outcome) {
    tombstone->setInt(kKeepGoingKey, keepGoing ? 1 : 0);
    putAnswers(tombstone, answers);
    RecordList result;
    HRESULT status = commandOn(kCommandRestoreSubtree, tombstone, &result, outcome);
    for (const PropertySet* record : result.records())
        objects->push_back(SubtreeObject{std::u16string(record->getText(u"name")), std::u16string(record->getText(u"class")),
                                         std::u16string(record->getText(u"distinguishedName")),
                                         std::u16string(record->getText(kPlanTargetKey)),
                                         std::u16string(record->getText(kSubtreeOutcomeKey)),
                                         std::u16string(record->getText(kSubtreeErrorKey))});
    return status;
}

HRESULT ProviderSession::reapply(PropertySet* tombstone, const std::u16string& archive, ReapplyRun run,
                                 SensitiveWrites sensitive, std::vector<ReappliedValue>* values,
                                 CommandOutcome* outcome) {
    tombstone->setText(kReapplyArchiveKey, archive);
    tombstone->setInt(kReapplyPlanOnlyKey, run == ReapplyRun::PlanOnly ? 1 : 0);
    tombstone->setInt(kReapplySensitiveKey, sensitive == SensitiveWrites::Consented ? 1 : 0);
    RecordList result;
    HRESULT status = commandOn(kCommandReapplyBackup, tombstone, &result, outcome);
    // The record goes on to restores of its own; the plan's mode must not stay with it.
    tombstone->setInt(kReapplyPlanOnlyKey, 0);
    for (const PropertySet* record : result.records())
        values->push_back(ReappliedValue{std::u16string(record->getText(u"name")),
                                         std::u16string(record->getText(kReapplyOutcomeKey)),
                                         std::u16string(record->getText(kReapplyErrorKey)),
                                         record->getRaw(kReapplyMembershipKey) != 0,
                                         record->getRaw(kReapplySensitiveKey) != 0});
    return status;
}

HRESULT ProviderSession::backup(const std::vector<PropertySet*>& records, std::u16string* archive,
                                CommandOutcome* outcome) {
    archive->clear();
    if (records.empty()) return S_FALSE;
    records.front()->setText(kPerformBackupKey, kPerformBackupNow);
    std::vector<PropertySet*> none;
    HRESULT status = command(kCommandBackup, records, &none, outcome);
    *archive = records.front()->getText(kBackupArchiveKey);
    return status;
}

HRESULT ProviderSession::listBackups(const std::u16string& server, const std::optional<std::u16string>& object,
                                     BackupListing* listing) {
    RecordList request;
    PropertySet* record = PropertySet::create();
    if (!record) return E_OUTOFMEMORY;
    request.add(record);
    record->setText(u"FocusedDC", server);
    if (object) record->setText(kBackupObjectKey, *object);
    VARIANT selection;
    VariantInit(&selection);
    HRESULT status = lumivel::shared::BuildObjectList(request.records(), &selection);
    if (FAILED(status)) return status;
    VARIANT answer;
    VariantInit(&answer);
    status = m_commands->ExecuteCommand(nullptr, 1, kCommandListBackups, &selection, &answer);
    VariantClear(&selection);
    RecordList result;
    result.adopt(&answer);
    if (!result.records().empty()) {
        listing->folder = result.records().front()->getText(kBackupFolderKey);
        listing->section = result.records().front()->getText(kBackupSectionKey);
    }
    for (size_t i = 1; i < result.records().size(); ++i) {
        const PropertySet* entry = result.records()[i];
        std::optional<bool> holdsObject;
        if (entry->has(kHoldsObjectKey)) holdsObject = entry->getRaw(kHoldsObjectKey) != 0;
        listing->archives.push_back(BackupArchive{std::u16string(entry->getText(u"name")),
                                                  std::u16string(entry->getText(u"path")),
                                                  std::u16string(entry->getText(kBackupDateKey)),
                                                  std::u16string(entry->getText(kBackupOriginKey)),
                                                  static_cast<long>(entry->getRaw(kObjectCountKey)), holdsObject,
                                                  std::u16string(entry->getText(kArchiveDistrustKey))});
    }
    return status;
}

HRESULT ProviderSession::schedule(PropertySet* record, CommandOutcome* outcome) {
    record->setText(kPerformBackupKey, kPerformBackupSchedule);
    std::vector<PropertySet*> none;
    return command(kCommandBackup, {record}, &none, outcome);
}

std::u16string DomainControllerOf(const std::u16string& domain) {
    lumivel::ComPtr<IADs> object;
    if (FAILED(lumivel::shared::BindPath(lumivel::shared::LdapPathOfDomain(domain), IID_IADs, object.putVoid())))
        return {};
    return lumivel::shared::ServerOfBinding(object.get());
}

std::u16string LiveObjectDn(const std::u16string& guid, std::u16string_view server) {
    if (!lumivel::shared::IsGuidText(guid)) return {};
    lumivel::ComPtr<IADs> object;
    if (FAILED(lumivel::shared::BindByGuid(server, guid, IID_IADs, object.putVoid()))) return {};
    return distinguishedNameOf(object.get());
}

std::u16string GuidOfLiveObject(const std::u16string& dn, const std::u16string& server) {
    lumivel::ComPtr<IADs> live;
    lumivel::UniqueBstr guid;
    if (FAILED(lumivel::shared::BindByDn(server, dn, IID_IADs, live.putVoid())) || FAILED(live->get_GUID(guid.put())))
        return {};
    return std::u16string(guid.view());
}

bool SplitLeaf(const std::u16string& dn, std::u16string* type, std::u16string* value, std::u16string* parent) {
    std::u16string relative, rest;
    if (!lumivel::shared::SplitDistinguishedName(dn, &relative, &rest)) return false;
    size_t equals = relative.find(u'=');
    if (equals == std::u16string::npos) return false;
    *type = relative.substr(0, equals + 1);
    std::u16string escaped = relative.substr(equals + 1);
    *value = lumivel::ldap::UnescapeDnValue(escaped).value_or(escaped);
    *parent = rest;
    return true;
}

}  // namespace lumivel_cli
