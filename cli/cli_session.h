// What `lumivel` does with the provider: the COM calls the console makes, and the few
// directory reads through the platform's ADSI that tell the administrator where things are.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cli/restore_preview.h"
#include "cli/terminal_questions.h"
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
    // The records themselves, for a caller that replaces some (and frees what it drops).
    std::vector<PropertySet*>& owned() { return m_records; }

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
    std::u16string distrust;  // why its writer or date is not believed; empty when it is
};

struct BackupListing {
    std::u16string folder;
    std::u16string section;  // of the object asked about, once it was told
    std::vector<BackupArchive> archives;
};

// What a command told the command line in its result header: the command line asks the
// provider for no dialogs, so its messages, its failure and its questions all come back here.
struct CommandOutcome {
    HRESULT result = S_OK;
    std::u16string errorCaption, errorText;
    std::vector<std::u16string> messages;  // "Caption: text", in the order they were said
    // The answer key the command needed (kNewNameKey ...), and what goes with its question.
    std::u16string question;
    std::u16string takenName;  // kNewNameKey: the DN that is taken (after a success: the one renamed)
    std::vector<ArchiveChoice> archives;  // kRestoreFromFileKey
    std::vector<std::u16string> restoredAs;  // the DN each restored record got

    bool asks(const char16_t* key) const;
    // The failure as its message box reads ("Caption: text"); empty when no box says it.
    std::string failureLine() const;
};

// The answers a restore's dialogs would collect.
struct RestoreAnswers {
    std::optional<std::u16string> newName;
    std::optional<std::u16string> restoreFromFile;  // present and empty: none
    std::optional<std::u16string> trustArchive;      // --trust-archive
};

// One object of a subtree restore, as the provider reports it.
struct SubtreeObject {
    std::u16string name, className, tombstone, target, outcome, error;
};

// One attribute or group membership a re-apply from a backup handled.
struct ReappliedValue {
    std::u16string name, outcome, error;
    bool membership = false;
    bool sensitive = false;  // grants access or runs code, or a privileged group
};

// Whether a re-apply writes, and whether it may write what needs the administrator's consent.
enum class ReapplyRun { Write, PlanOnly };
enum class SensitiveWrites { Withheld, Consented };

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
    // ExecuteCommand 309 on the domain as typed; added receives the new node.
    HRESULT connect(const std::u16string& domain, RecordList* added, CommandOutcome* outcome);
    // EnumDeletedObjects for the node.
    HRESULT list(PropertySet* node, const std::u16string& filter, RecordList* tombstones);
    // The same listing a record at a time, as the provider's search pages arrive: take owns
    // each record it is given, and a failure it returns stops the listing with that failure.
    HRESULT listEach(PropertySet* node, const std::u16string& filter,
                     const std::function<HRESULT(PropertySet* record)>& take);
    // ExecuteCommand 322 on the node (carrying its sync point): the header, then the changes.
    HRESULT listChanges(PropertySet* node, RecordList* answer);
    // ExecuteCommand 311 on one record; S_OK only when it was restored. restored receives the
    // records the provider reports as brought back (records the caller already owns), also
    // those that came back before a failure.
    HRESULT restore(PropertySet* tombstone, const RestoreAnswers& answers, std::vector<PropertySet*>* restored,
                    CommandOutcome* outcome);
    // ExecuteCommand 317: the same, into the live container instead of the last known parent.
    HRESULT restoreTo(PropertySet* tombstone, const std::u16string& container, const RestoreAnswers& answers,
                      std::vector<PropertySet*>* restored, CommandOutcome* outcome);
    // ExecuteCommand 315 on one record: what restoring it would do (with a container, restoring
    // it there); nothing is changed.
    HRESULT planRestore(PropertySet* tombstone, RestorePreview* preview,
                        const std::optional<std::u16string>& container = std::nullopt);
    // ExecuteCommand 316 on one deleted container: it and everything deleted below it.
    // S_OK when every object came back, S_FALSE when some did not; objects says which.
    HRESULT restoreSubtree(PropertySet* tombstone, bool keepGoing, const RestoreAnswers& answers,
                           std::vector<SubtreeObject>* objects, CommandOutcome* outcome);
    // ExecuteCommand 318: the archive's values for the restored object written back.
    HRESULT reapply(PropertySet* tombstone, const std::u16string& archive, ReapplyRun run, SensitiveWrites sensitive,
                    std::vector<ReappliedValue>* values, CommandOutcome* outcome);
    // ExecuteCommand 310 on the records, backed up now (the first one's focused DC is the
    // server); the archive's path when it reached the backup folder, else empty.
    HRESULT backup(const std::vector<PropertySet*>& records, std::u16string* archive, CommandOutcome* outcome);
    // ExecuteCommand 310 on one record that carries the schedule form's answers.
    HRESULT schedule(PropertySet* record, CommandOutcome* outcome);
    // ExecuteCommand 314: the archives of the server's backup folder, and the folder.
    HRESULT listBackups(const std::u16string& server, const std::optional<std::u16string>& object,
                        BackupListing* listing);

private:
    HRESULT restoreWith(LONG command, PropertySet* tombstone, const RestoreAnswers& answers,
                        std::vector<PropertySet*>* restored, CommandOutcome* outcome);
    // A command on the records, asked for no dialogs: its header read into the outcome, and the
    // records after the header into answer (the caller's own records, which it must not free,
    // or new ones, which it must).
    HRESULT command(LONG id, const std::vector<PropertySet*>& records, std::vector<PropertySet*>* answer,
                    CommandOutcome* outcome);
    // The same for a command whose records after the header are new: the list takes them.
    HRESULT commandOn(LONG id, PropertySet* record, RecordList* answer, CommandOutcome* outcome);

    lumivel::ComPtr<IRevivo> m_revivo;
    lumivel::ComPtr<IProviderCommands> m_commands;
};

// Whether the user's registry stores a domain node of that display name or domain, whether
// or not it can be bound now; and how many it stores (the provider lists only the ones it
// can bind).
bool IsStoredDomain(const std::u16string& domain);
size_t StoredDomainCount();
// The names of the stored domains (each once, in the order stored), as a user types them.
std::vector<std::string> StoredDomainNames();

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
