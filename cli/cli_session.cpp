#include "cli/cli_session.h"

#include <algorithm>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/backup/backup_writer.h"
#include "provider/backup/section_name.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "win/adsi.h"
#include "win/com.h"

using lumivel::EqualsNoCase;

namespace lumivel_cli {

void RecordList::adopt(VARIANT* list) {
    for (PropertySet* record : lumivel::shared::ReadObjectList(list, lumivel::shared::ListForm::AnyArray))
        if (record) m_records.push_back(record);
    VariantClear(list);
    VariantInit(list);
}

void RecordList::clear() {
    for (PropertySet* record : m_records) record->release();
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
    if (domain.find(u'=') != std::u16string::npos) return domain;
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

PropertySet* ProviderSession::nodeFor(const std::u16string& domain, RecordList* keep) {
    RecordList nodes;
    storedNodes(&nodes);
    PropertySet* found = nullptr;
    for (PropertySet* node : nodes.records()) {
        if (EqualsNoCase(node->getText(u"name"), domain) || EqualsNoCase(node->getText(u"DomainName"), domain) ||
            EqualsNoCase(node->getText(u"NamingContext"), domain)) {
            found = node;
            break;
        }
    }
    if (found) {
        found->addRef();
        keep->add(found);
        return found;
    }
    PropertySet* node = PropertySet::create();
    if (!node) return nullptr;
    node->IsNode = 1;
    node->setText(u"name", domain);
    node->setText(u"NamingContext", NamingContextOfDomain(domain));
    node->setInt(u"FromRevivoProvider", 1);
    keep->add(node);
    return node;
}

HRESULT ProviderSession::connect(HWND owner, RecordList* added) {
    VARIANT result;
    VariantInit(&result);
    HRESULT status = m_commands->ExecuteCommand(owner, 1, kCommandConnect, nullptr, &result);
    added->adopt(&result);
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

HRESULT ProviderSession::restore(HWND owner, PropertySet* tombstone, std::vector<PropertySet*>* restored) {
    VARIANT selection;
    VariantInit(&selection);
    lumivel::shared::RecordToVariant(tombstone, &selection);
    VARIANT answer;
    VariantInit(&answer);
    HRESULT status = m_commands->ExecuteCommand(owner, 1, kCommandRestore, &selection, &answer);
    // The answer names a new header and then records the caller already holds.
    std::vector<PropertySet*> records = lumivel::shared::ReadObjectList(&answer);
    if (!records.empty()) {
        if (records[0]) records[0]->release();
        restored->assign(records.begin() + 1, records.end());
    }
    VariantClear(&answer);
    return status;
}

HRESULT ProviderSession::backup(HWND owner, const std::vector<PropertySet*>& records, std::u16string* archive) {
    archive->clear();
    VARIANT selection;
    VariantInit(&selection);
    HRESULT status = lumivel::shared::BuildObjectList(records, &selection);
    if (FAILED(status)) return status;
    VARIANT answer;
    VariantInit(&answer);
    status = m_commands->ExecuteCommand(owner, 1, kCommandBackup, &selection, &answer);
    VariantClear(&selection);
    VariantClear(&answer);
    if (!records.empty()) *archive = records.front()->getText(revivo::kBackupArchiveKey);
    return status;
}

std::u16string DomainControllerOf(const std::u16string& domain) {
    lumivel::ComPtr<IADs> object;
    lumivel::ComPtr<IADsObjectOptions> options;
    lumivel::VariantHolder name;
    if (FAILED(ADsGetObject((u"LDAP://" + domain).c_str(), IID_IADs, object.putVoid())) ||
        FAILED(object.queryInterface(IID_IADsObjectOptions, &options)) ||
        FAILED(options->GetOption(ADS_OPTION_SERVERNAME, name.get())) || name->vt != VT_BSTR)
        return {};
    return std::u16string(name->bstrVal, SysStringLen(name->bstrVal));
}

std::u16string SectionOfObject(const std::u16string& object, const std::u16string& server) {
    if (revivo::IsSectionName(object)) return object;
    std::u16string section = revivo::SectionNameOfGuidText(object);
    if (section.empty()) section = revivo::SectionNameOfTombstone(object);
    if (!section.empty() || object.find(u'=') == std::u16string::npos) return section;
    std::u16string path = server.empty() ? std::u16string(u"LDAP://") : u"LDAP://" + server + u"/";
    lumivel::ComPtr<IADs> live;
    lumivel::UniqueBstr guid;
    if (FAILED(ADsGetObject((path + lumivel::ldap::AdsPathDn(object)).c_str(), IID_IADs, live.putVoid())) ||
        FAILED(live->get_GUID(guid.put())))
        return {};
    return std::u16string(guid.view());
}

PropertySet* FindTombstone(const std::vector<PropertySet*>& tombstones, const std::u16string& wanted) {
    std::u16string guid = wanted;
    if (guid.size() >= 2 && guid.front() == u'{' && guid.back() == u'}') guid = guid.substr(1, guid.size() - 2);
    PropertySet* match = nullptr;
    for (PropertySet* record : tombstones) {
        std::u16string_view name = record->getText(u"name");
        std::u16string_view recordGuid = lumivel::shared::MangledGuidText(name);
        bool same = EqualsNoCase(record->getText(u"distinguishedName"), wanted) ||
                    (!recordGuid.empty() && EqualsNoCase(recordGuid, guid));
        if (!same) continue;
        if (match) return nullptr;
        match = record;
    }
    return match;
}

}  // namespace lumivel_cli
