// What `lumivel` does with the provider: the same COM calls the console makes.
#pragma once

#include <string>
#include <vector>

#include "lumivel/com_ptr.h"
#include "shared/property_set.h"
#include "shared/provider_interfaces.h"

namespace lumivel_cli {

// Records the session received; it owns and frees them.
class RecordList {
public:
    RecordList() = default;
    ~RecordList() { clear(); }
    RecordList(const RecordList&) = delete;
    RecordList& operator=(const RecordList&) = delete;
    // Takes over the records of an ObjectList and empties the VARIANT.
    void adopt(VARIANT* list);
    void add(PropertySet* record) { m_records.push_back(record); }
    void clear();
    const std::vector<PropertySet*>& records() const { return m_records; }

private:
    std::vector<PropertySet*> m_records;
};

class ProviderSession {
public:
    // Creates the provider by its CLSID; an HRESULT failure when it is not registered.
    HRESULT open();

    // GetNodes.
    HRESULT storedNodes(RecordList* nodes);
    // The stored node whose name, domain or naming context is the given text; else a node
    // record made for the domain (its DN from the DNS name), which is not stored.
    PropertySet* nodeFor(const std::u16string& domain, RecordList* keep);
    // ExecuteCommand 309; the dialog is answered by the installed answers.
    HRESULT connect(HWND owner, RecordList* added);
    // EnumDeletedObjects for the node.
    HRESULT list(PropertySet* node, const std::u16string& filter, RecordList* tombstones);
    // ExecuteCommand 311 on one record; S_OK only when it was restored. restored receives the
    // records the provider reports as brought back (records the caller already owns).
    HRESULT restore(HWND owner, PropertySet* tombstone, std::vector<PropertySet*>* restored);
    // ExecuteCommand 310 on the records (the first one's focused DC is the server); the
    // archive's path when it reached the backup folder, else empty.
    HRESULT backup(HWND owner, const std::vector<PropertySet*>& records, std::u16string* archive);

private:
    lumivel::ComPtr<IRevivo> m_revivo;
    lumivel::ComPtr<IProviderCommands> m_commands;
};

// The tombstone whose distinguished name, or GUID (after "DEL:" in its name, with or without
// braces), is the given text; null when none or several match.
PropertySet* FindTombstone(const std::vector<PropertySet*>& tombstones, const std::u16string& wanted);

// The filter prefix that a typed --filter stands for: an LDAP prefix (an attribute name or OID,
// "=" and a value, such as CN=Bob) as typed; anything else a prefix of the name, its filter
// characters escaped ("name=" and the escaped text).
std::u16string FilterPrefixFor(std::u16string_view typed);

// "DC=a,DC=b" for "a.b"; a text holding "=" is taken as a DN already.
std::u16string NamingContextOfDomain(const std::u16string& domain);

// The domain controller that answers for a domain (a DNS name), or empty.
std::u16string DomainControllerOf(const std::u16string& domain);

// The backup section an object is filed under: from a GUID (registry form, with or without
// braces, or 32 digits in storage order), a tombstone's DN, or a live object's DN (read from
// the directory through the server). Empty when it cannot be told.
std::u16string SectionOfObject(const std::u16string& object, const std::u16string& server);

}  // namespace lumivel_cli
