// What `lumivel` does with the provider: the COM calls the console makes, and the few
// directory reads through the platform's ADSI that tell the administrator where things are.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/restore_preview.h"
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

// The domain a command works on, as a node record the provider lists.
struct DomainNode {
    PropertySet* node = nullptr;  // owned by the RecordList given to ResolveDomain
    bool stored = false;
};

// One archive of the backup folder (command 314).
struct BackupArchive {
    std::u16string name, path, date, origin;
    long objects = -1;  // -1: unreadable
    std::optional<bool> holdsObject;
};

struct BackupListing {
    std::u16string folder;
    std::u16string section;  // of the object asked about, once it was told
    std::vector<BackupArchive> archives;
};

// One object of a subtree restore, as the provider reports it.
struct SubtreeObject {
    std::u16string name, className, tombstone, target, outcome, error;
};

// One attribute or group membership a re-apply from a backup handled.
struct ReappliedValue {
    std::u16string name, outcome, error;
    bool membership = false;
};

class ProviderSession {
public:
    // Creates the provider by its CLSID; an HRESULT failure when it is not registered.
    HRESULT open();

    // GetNodes.
    HRESULT storedNodes(RecordList* nodes);
    // The stored node whose name, domain or naming context is the given text; else the domain
    // bound through the directory (a DNS name, a DN or an LDAP:// path), as a node that is not
    // stored. The bind's failure when it is neither.
    HRESULT resolveDomain(const std::u16string& domain, RecordList* keep, DomainNode* found);
    // ExecuteCommand 309; the dialog is answered by the installed answers.
    HRESULT connect(HWND owner, RecordList* added);
    // EnumDeletedObjects for the node.
    HRESULT list(PropertySet* node, const std::u16string& filter, RecordList* tombstones);
    // ExecuteCommand 311 on one record; S_OK only when it was restored. restored receives the
    // records the provider reports as brought back (records the caller already owns).
    HRESULT restore(HWND owner, PropertySet* tombstone, std::vector<PropertySet*>* restored);
    // ExecuteCommand 317: the same, into the live container instead of the last known parent.
    HRESULT restoreTo(HWND owner, PropertySet* tombstone, const std::u16string& container,
                      std::vector<PropertySet*>* restored);
    // ExecuteCommand 315 on one record: what restoring it would do; nothing is changed.
    HRESULT planRestore(PropertySet* tombstone, RestorePreview* preview);
    // ExecuteCommand 316 on one deleted container: it and everything deleted below it.
    // S_OK when every object came back, S_FALSE when some did not; objects says which.
    HRESULT restoreSubtree(HWND owner, PropertySet* tombstone, bool keepGoing, std::vector<SubtreeObject>* objects);
    // ExecuteCommand 318: the archive's values for the restored object written back.
    HRESULT reapply(PropertySet* tombstone, const std::u16string& archive, std::vector<ReappliedValue>* values);
    // ExecuteCommand 310 on the records (the first one's focused DC is the server); the
    // archive's path when it reached the backup folder, else empty.
    HRESULT backup(HWND owner, const std::vector<PropertySet*>& records, std::u16string* archive);
    // ExecuteCommand 310 on one record, whose dialog the installed answers turn into a schedule.
    HRESULT schedule(HWND owner, PropertySet* record);
    // ExecuteCommand 314: the archives of the server's backup folder, and the folder.
    HRESULT listBackups(const std::u16string& server, const std::optional<std::u16string>& object,
                        BackupListing* listing);

private:
    HRESULT restoreWith(HWND owner, LONG command, PropertySet* tombstone, std::vector<PropertySet*>* restored);
    // A command on one record; the list takes the records of its answer.
    HRESULT commandOn(HWND owner, LONG command, PropertySet* record, RecordList* answer);

    lumivel::ComPtr<IRevivo> m_revivo;
    lumivel::ComPtr<IProviderCommands> m_commands;
};

// Whether the user's registry stores a domain node of that display name or domain, whether
// or not it can be bound now; and how many it stores (the provider lists only the ones it
// can bind).
bool IsStoredDomain(const std::u16string& domain);
size_t StoredDomainCount();

// The filter prefix that a typed --filter stands for: an LDAP prefix (an attribute name or OID,
// "=" and a value, such as CN=Bob) as typed; anything else a prefix of the name, its filter
// characters escaped ("name=" and the escaped text).
std::u16string FilterPrefixFor(std::u16string_view typed);

// "DC=a,DC=b" for "a.b"; a text holding "=" is taken as a DN already.
std::u16string NamingContextOfDomain(const std::u16string& domain);

// The domain controller that answers for a domain (a DNS name), or empty.
std::u16string DomainControllerOf(const std::u16string& domain);

// The GUID of a live object as ADSI gives it (32 hexadecimal digits), read through the server;
// empty when it cannot be read.
std::u16string GuidOfLiveObject(const std::u16string& dn, const std::u16string& server);

// The distinguished name of the live object with that GUID ("8-4-4-4-12"), read from the
// server (empty: any); empty when there is none.
std::u16string LiveObjectDn(const std::u16string& guid, std::u16string_view server);

// A DN's first relative name split into its type with "=" ("CN="), its value without the
// DN escaping, and the parent's DN; false when the DN has no parent.
bool SplitLeaf(const std::u16string& dn, std::u16string* type, std::u16string* value, std::u16string* parent);

}  // namespace lumivel_cli
