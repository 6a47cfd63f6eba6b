// Reanimation of one tombstone: deleted parents first, a free name, then one LDAP modify on
// the focused domain controller with the critical show-deleted control.
#include "provider/restore/reanimation.h"

#include <optional>
#include <vector>

#include "lumivel/com_ptr.h"
#include "lumivel/ldap_escape.h"
#include "lumivel/unique_bstr.h"
#include "lumivel/variant_holder.h"
#include "provider/backup/backup_choice_dialog.h"
#include "provider/common/command_report.h"
#include "provider/deleted_objects.h"
#include "provider/restore/restore_many.h"
#include "provider/revivo.h"
#include "shared/directory_operations.h"
#include "shared/object_list.h"
#include "shared/text_helpers.h"
#include "shared/text_list.h"
#include "win/dsadmin.h"
#include "win/dsapi.h"
#include "win/user.h"
#include "win/winldap.h"

using lumivel::ComPtr;
using lumivel::UniqueBstr;
using lumivel::VariantHolder;

namespace revivo {

// Deleted parents restored ahead of one object: a chain this long is taken for hostile data,
// as a cycle is.
constexpr size_t kDeepestParentChain = 64;

struct Revivo::RestoreState {
    RestoredTombstones* restored;
    // The DC the whole restore goes to, deleted parents included: the selected record's. A
    // parent brought back on another DC could still be deleted where the child is restored.
    std::u16string focusedDc;
    // The tombstones whose restore is under way, outermost first.
    std::vector<std::u16string> underWay;
    // The record's answer to dialog 206: it renames the first object whose name is taken.
    std::optional<std::u16string> newName;
    bool newNameUsed = false;
    ReanimationGate gate;
    // Objects brought back and parents recreated from a backup so far: the steps the gate counts.
    size_t stepsDone = 0;
    std::vector<std::u16string>* recreated = nullptr;

    // A backup recreated the record's former parent: one step done, its containers noted.
    void noteRecreated(const PropertySet* record) {
        ++stepsDone;
        if (!recreated) return;
        for (std::u16string& dn : lumivel::shared::TextListOf(record, kRecoveredContainersKey))
            recreated->push_back(std::move(dn));
    }

    // Whether the step may start; once it may not, the restore stops there.
    bool mayStart(std::u16string_view name) const { return !gate || gate(stepsDone, name); }
};

namespace {

// An LDAP session that is always closed.
class LdapSession {
public:
    explicit LdapSession(PLDAP session) : m_session(session) {}
    ~LdapSession() {
        if (m_session) ldap_unbind(m_session);
    }
    LdapSession(const LdapSession&) = delete;
    LdapSession& operator=(const LdapSession&) = delete;
    PLDAP get() const { return m_session; }

private:
    PLDAP m_session;
};

// Opens, configures and binds the session; the first failing LDAP result, or LDAP_SUCCESS.
ULONG connectAndBind(PLDAP session) {
    ULONG version = LDAP_VERSION3;
    ULONG result = ldap_set_option(session, LDAP_OPT_PROTOCOL_VERSION, &version);
    if (result != LDAP_SUCCESS) return result;
    result = ldap_connect(session, nullptr);
    if (result != LDAP_SUCCESS) return result;
    return ldap_bind_s(session, nullptr, nullptr, LDAP_AUTH_NEGOTIATE);
}

ULONG reanimate(PLDAP session, const std::u16string& tombstoneName, const std::u16string& newName) {
    std::u16string isDeleted = u"isDeleted";
    std::u16string distinguishedNameAttribute = u"distinguishedName";
    std::u16string value = newName;
    PWSTR values[] = {value.data(), nullptr};
    LDAPModW removeDeletedFlag{};
    removeDeletedFlag.mod_op = LDAP_MOD_DELETE;
    removeDeletedFlag.mod_type = isDeleted.data();
    removeDeletedFlag.mod_vals.modv_strvals = nullptr;
    LDAPModW rename{};
    rename.mod_op = LDAP_MOD_REPLACE;
    rename.mod_type = distinguishedNameAttribute.data();
    rename.mod_vals.modv_strvals = values;
    LDAPModW* modifications[] = {&removeDeletedFlag, &rename, nullptr};

    std::u16string oid = LDAP_SERVER_SHOW_DELETED_OID_W;
    LDAPControlW showDeleted{};
    showDeleted.ldctl_oid = oid.data();
    showDeleted.ldctl_value.bv_len = 0;
    showDeleted.ldctl_value.bv_val = nullptr;
    showDeleted.ldctl_iscritical = TRUE;
    PLDAPControlW serverControls[] = {&showDeleted, nullptr};
    return ldap_modify_ext_s(session, tombstoneName.c_str(), modifications, serverControls, nullptr);
}

// Shows the LDAP error and gives its text back, for the audit log.
std::u16string showLdapError(HWND parent, ULONG ldapResult) {
    const WCHAR* text = ldap_err2string(ldapResult);
    std::u16string shown = text ? text : u"";
    ShowFailure(parent, HRESULT_FROM_WIN32(LdapMapErrorToWin32(ldapResult)), shown, u"Restore Object",
                MB_OK | MB_ICONSTOP);
    return shown;
}

// A tombstone of the cache as a record reanimation can work on.
PropertySet* recordFromCopy(const TombstoneCopy& copy) {
    PropertySet* record = PropertySet::create();
    if (!record) return nullptr;
    record->setText(u"distinguishedName", copy.distinguishedName());
    record->setText(u"path", copy.distinguishedName());
    record->setText(u"lastKnownParent", copy.lastKnownParent());
    record->setText(u"Parent", copy.lastKnownParent());
    record->setText(u"name", copy.name());
    record->setText(u"class", copy.className());
    record->setText(u"FocusedDC", copy.focusedDc());
    return record;
}

// The one row of a base search on a show-deleted search interface: a DN attribute's text.
std::u16string readDnAttribute(IDirectorySearch* search, LPCWSTR attribute) {
    if (lumivel::shared::SetShowDeletedSearch(search, ADS_SCOPE_BASE, 0) != S_OK) return {};
    LPWSTR attributes[] = {const_cast<LPWSTR>(attribute)};
    ADS_SEARCH_HANDLE handle = nullptr;
    if (FAILED(search->ExecuteSearch(const_cast<LPWSTR>(u"(objectClass=*)"), attributes, 1, &handle))) return {};
    std::u16string text;
    ADS_SEARCH_COLUMN column{};
    if (search->GetNextRow(handle) == S_OK &&
        SUCCEEDED(search->GetColumn(handle, const_cast<LPWSTR>(attribute), &column))) {
        if (column.dwNumValues > 0 && column.pADsValues && column.pADsValues[0].dwType == ADSTYPE_DN_STRING)
            text = lumivel::shared::ViewOf(column.pADsValues[0].DNString);
        search->FreeColumn(&column);
    }
    search->CloseSearchHandle(handle);
    return text;
}

}  // namespace

bool NameIsTaken(const std::u16string& dn) {
    ComPtr<IADs> existing;
    return SUCCEEDED(
        lumivel::shared::BindPath(lumivel::shared::GlobalCatalogPathOfDn(dn), IID_IADs, existing.putVoid()));
}

std::u16string RenamedDistinguishedName(std::u16string_view relativeType, std::u16string_view typedName,
                                        std::u16string_view parent) {
    return std::u16string(relativeType) + lumivel::ldap::EscapeDnValue(typedName) + u"," + std::u16string(parent);
}

std::u16string RecreatedParentStepName(std::u16string_view parentDn) {
    std::u16string_view relative = lumivel::shared::FirstRelativeName(parentDn);
    size_t equals = relative.find(u'=');
    std::u16string name;
    if (!parentDn.empty() && equals != std::u16string_view::npos) {
        std::u16string_view value = relative.substr(equals + 1);
        name = lumivel::shared::PlainTombstoneName(lumivel::ldap::UnescapeDnValue(value).value_or(std::u16string(value)));
    }
    return (name.empty() ? std::u16string(u"the former parent") : name) + u" (from a backup)";
}

bool NewNameFor(std::u16string_view takenDn, std::u16string_view typedName, std::u16string* newDn) {
    std::u16string relativeName, parentName;
    if (typedName.empty() || !lumivel::shared::SplitDistinguishedName(takenDn, &relativeName, &parentName))
        return false;
    size_t equals = relativeName.find(u'=');
    if (equals == std::u16string::npos) return false;
    *newDn = RenamedDistinguishedName(std::u16string_view(relativeName).substr(0, equals + 1), typedName, parentName);
    return true;
}

HRESULT Revivo::Restore(HWND parent, PropertySet* record, RestoredTombstones* restored, const ReanimationGate& gate,
                        std::vector<std::u16string>* recreated) {
    RestoreState state{restored, std::u16string(record->getText(u"FocusedDC")), {}, record->copyString(kNewNameKey), false,
                       gate, 0, recreated};
    return restoreTombstone(parent, record, &state);
}

HRESULT Revivo::renameTakenName(HWND parent, RestoreState* state, std::u16string* newName) {
    if (state->newName && !state->newNameUsed) {
        state->newNameUsed = true;
        std::u16string taken = *newName;
        if (!NewNameFor(taken, *state->newName, newName)) {
            m_lastRestoreError = kValidNamePrompt;
            ShowFailure(parent, E_INVALIDARG, m_lastRestoreError, u"Error", MB_OK | MB_ICONSTOP);
            return E_FAIL;
        }
        if (CommandReport* report = CommandReport::Active())
            if (report->details()) report->details()->setText(kTakenNameKey, taken);
        return S_OK;
    }
    if (!MayAskInDialogs()) {
        m_lastRestoreError = u"An object named " + *newName + u" exists already: the restored object needs another name.";
        if (PropertySet* question = AskCaller(kNewNameKey)) question->setText(kTakenNameKey, *newName);
        NoteFailure(E_ADS_OBJECT_EXISTS, u"Name", m_lastRestoreError);
        return E_FAIL;
    }
    return AskForNewName(parent, *newName, newName) ? S_OK : E_FAIL;
}

HRESULT Revivo::recoverUnknownParent(HWND parent, PropertySet* record, RestoreState* state) {
    // The directory may have learnt the parent since the record was listed.
    std::u16string current = rereadLastKnownParent(record);
    if (!current.empty() && !DsIsMangledDnW(current.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION)) {
        record->setText(u"lastKnownParent", current);
        return S_OK;
    }
    if (!state->mayStart(RecreatedParentStepName({}))) {
        m_lastRestoreError = kStoppedBeforeIt;
        return S_FALSE;
    }
    // A caller that asked for no dialogs gets the archives that hold the object as a question.
    if (!record->has(kRestoreFromFileKey)) ChooseBackupArchive(parent, record);
    std::u16string refusal;
    if (record->has(kRestoreFromFileKey) && RestoreParentFromBackup(this, parent, record, &refusal)) {
        state->noteRecreated(record);
        return S_OK;
    }
    if (!refusal.empty()) {
        // Its reason is shown already; a second box saying the archive lacks the object would be wrong.
        m_lastRestoreError = refusal;
        return S_FALSE;
    }
    std::u16string tombstone(record->getText(u"distinguishedName"));
    std::u16string guid = lumivel::shared::TombstoneGuidOfDn(tombstone);
    if (record->has(kRestoreFromFileKey))
        m_lastRestoreError = u"The former parent of this object is unknown, and the backup archive " +
                             std::u16string(record->getText(kRestoreFromFileKey)) +
                             u" does not hold it or its container could not be created.";
    else
        m_lastRestoreError = u"The former parent of this object is unknown. The backups that hold the object can "
                             u"tell it: lumivel backups " + lumivel::shared::DnsNameOfDn(tombstone) + u" --object " +
                             guid;
    ShowFailure(parent, HRESULT_FROM_WIN32(ERROR_DS_NO_SUCH_OBJECT), m_lastRestoreError, u"Error", MB_OK);
    return S_FALSE;
}

std::u16string Revivo::rereadLastKnownParent(const PropertySet* record) {
    // By the GUID of the tombstone's name: no DN to escape, and only that one object matches.
    std::u16string guid = lumivel::shared::TombstoneGuid(record->getText(u"name"));
    if (guid.empty()) return {};
    // The DC that restored the parent: another one may not have the parent back yet.
    std::u16string server(record->getText(u"FocusedDC"));
    if (server.empty()) server = lumivel::shared::DnsNameOfDn(record->getText(u"distinguishedName"));
    ComPtr<IDirectorySearch> search;
    if (FAILED(lumivel::shared::BindByGuid(server, guid, IID_IDirectorySearch, search.putVoid(),
                                           lumivel::shared::BindSpeed::Fast)) ||
        !search)
        return {};
    return readDnAttribute(search.get(), u"lastKnownParent");
}

HRESULT Revivo::restoreTombstone(HWND parent, PropertySet* record, RestoreState* state) {
    BSTR tombstoneValue = record->getString(u"distinguishedName");
    if (!tombstoneValue) return E_POINTER;
    std::u16string tombstoneName(lumivel::shared::ViewOf(tombstoneValue));
    // Without one when the parent's tombstone is gone for good (some directories drop the
    // reference then): only a backup can still tell where the object lived.
    std::u16string lastKnownParent(record->getText(u"lastKnownParent"));

    // Last known parents that lead back to a tombstone already being restored, or a chain of
    // deleted parents beyond all reason, come from a damaged or hostile directory.
    bool looped = state->underWay.size() >= kDeepestParentChain;
    for (const std::u16string& underWay : state->underWay) looped = looped || lumivel::EqualsNoCase(underWay, tombstoneName);
    if (looped) {
        m_lastRestoreError = showLdapError(parent, LDAP_LOOP_DETECT);
        return S_FALSE;
    }
    state->underWay.push_back(tombstoneName);
    struct Leave {
        RestoreState* state;
        ~Leave() { state->underWay.pop_back(); }
    } leave{state};

    bool recreatedHere = false;
    if (lastKnownParent.empty()) {
        const size_t stepsBefore = state->stepsDone;
        HRESULT recovered = recoverUnknownParent(parent, record, state);
        if (recovered != S_OK) return recovered;
        lastKnownParent = record->getText(u"lastKnownParent");
        recreatedHere = state->stepsDone > stepsBefore;
    } else if (DsIsMangledDnW(lastKnownParent.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION)) {
        // A snapshot: a listing on another thread may replace the cache meanwhile.
        std::vector<TombstoneRef> cache = deletedObjectCacheSnapshot();
        bool foundParent = false;
        const std::u16string parentGuid = lumivel::shared::TombstoneGuidOfDn(lastKnownParent);
        for (const TombstoneRef& candidate : cache) {
            if (parentGuid.empty() ||
                !lumivel::EqualsNoCase(lumivel::shared::TombstoneGuid(candidate->name()), parentGuid))
                continue;
            foundParent = true;
            PropertySet* parentRecord = recordFromCopy(*candidate);
            if (!parentRecord || !parentRecord->setText(u"FocusedDC", state->focusedDc)) {
                if (parentRecord) parentRecord->release();
                return E_OUTOFMEMORY;
            }
            HRESULT parentResult = restoreTombstone(parent, parentRecord, state);
            parentRecord->release();
            // The user has been told why; this object stays deleted rather than half restored.
            if (parentResult != S_OK) return parentResult;
            // The parent's restore moved this tombstone's last known parent: read it again.
            std::u16string moved = rereadLastKnownParent(record);
            if (!moved.empty()) {
                record->setText(u"lastKnownParent", moved);
                lastKnownParent = moved;
            }
            break;
        }
        if (!foundParent) {
            // A parent brought back earlier is no longer listed; the directory then names it live.
            std::u16string current = rereadLastKnownParent(record);
            if (!current.empty() && !DsIsMangledDnW(current.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION)) {
                record->setText(u"lastKnownParent", current);
                lastKnownParent = current;
            } else {
                // Recreating the parent is a step of its own, counted as a restored one is.
                if (!state->mayStart(RecreatedParentStepName(lastKnownParent))) {
                    m_lastRestoreError = kStoppedBeforeIt;
                    return S_FALSE;
                }
                // Without an archive named for it, the user picks one that holds this object.
                if (!record->has(kRestoreFromFileKey)) ChooseBackupArchive(parent, record);
                if (RestoreParentFromBackup(this, parent, record)) {
                    lastKnownParent = record->getText(u"lastKnownParent");
                    state->noteRecreated(record);
                    recreatedHere = true;
                } else {
                    m_lastRestoreError = u"Could not create the container for this object.";
                    ShowMessage(parent, m_lastRestoreError, u"Error", MB_OK);
                }
            }
        }
    }

    std::u16string newName = lumivel::shared::ReanimatedDn(tombstoneName, lastKnownParent);
    if (newName.empty()) return E_INVALIDARG;

    // Some directories accept an object brought back under a parent that is still deleted and
    // leave it live inside Deleted Objects; refuse as a directory that checks the parent does.
    if (DsIsMangledDnW(lastKnownParent.c_str(), DS_MANGLE_OBJECT_NAME_FOR_DELETION)) {
        m_lastRestoreError = showLdapError(parent, LDAP_NO_SUCH_OBJECT);
        return S_FALSE;
    }

    if (!state->mayStart(record->getText(u"name"))) {
        m_lastRestoreError = kStoppedBeforeIt;
        return S_FALSE;
    }

    std::u16string server(record->getText(u"FocusedDC"));
    LdapSession session(ldap_init(server.empty() ? nullptr : server.c_str(), LDAP_PORT));
    if (!session.get()) return E_FAIL;
    ULONG ldapResult = connectAndBind(session.get());
    if (ldapResult == LDAP_SUCCESS) {
        while (NameIsTaken(newName)) {
            HRESULT renamed = renameTakenName(parent, state, &newName);
            if (renamed != S_OK) return renamed;
        }
        ldapResult = reanimate(session.get(), tombstoneName, newName);
    }
    if (ldapResult != LDAP_SUCCESS) {
        m_lastRestoreError = showLdapError(parent, ldapResult);
        return S_FALSE;
    }
    RestoredTombstone done{tombstoneName, newName, {}, {}};
    if (recreatedHere) {
        done.archive = record->getText(kRestoreFromFileKey);
        done.containersCreated = lumivel::shared::TextListOf(record, kRecoveredContainersKey);
    }
    state->restored->push_back(std::move(done));
    ++state->stepsDone;
    return S_OK;
}

ReanimationSession::ReanimationSession(std::u16string_view server) {
    std::u16string name(server);
    m_session = ldap_init(name.empty() ? nullptr : name.c_str(), LDAP_PORT);
}

ReanimationSession::~ReanimationSession() {
    if (m_session) ldap_unbind(m_session);
}

ULONG ReanimationSession::Open() { return m_session ? connectAndBind(m_session) : LDAP_LOCAL_ERROR; }

ULONG ReanimationSession::Reanimate(const std::u16string& tombstoneName, const std::u16string& newName) {
    return m_session ? reanimate(m_session, tombstoneName, newName) : LDAP_LOCAL_ERROR;
}

HRESULT CheckCreationIn(std::u16string_view server, std::u16string_view container, std::u16string_view className) {
    ComPtr<IADsContainer> target;
    HRESULT result = lumivel::shared::BindByDn(server, container, IID_IADsContainer, target.putVoid());
    if (FAILED(result)) return result;
    ComPtr<IDsAdminCreateObj> check;
    result = CoCreateInstance(CLSID_DsAdminCreateObj, nullptr, CLSCTX_INPROC_SERVER, IID_IDsAdminCreateObj,
                              check.putVoid());
    if (FAILED(result)) return result;
    std::u16string name(className);
    return check->Initialize(target.get(), nullptr, name.c_str());
}

namespace {

// Creates one container below an existing parent: 1 when the commit succeeded.
int createContainer(std::u16string_view server, const std::u16string& relativeName, const std::u16string& parentName) {
    ComPtr<IADsContainer> container;
    if (FAILED(lumivel::shared::BindByDn(server, parentName, IID_IADsContainer, container.putVoid()))) return 0;
    bool organizationalUnit = lumivel::shared::StartsWithNoCase(relativeName, u"ou");
    UniqueBstr className(organizationalUnit ? u"organizationalUnit" : u"container");
    UniqueBstr relative(lumivel::ldap::AdsPathDn(relativeName).c_str());
    ComPtr<IDispatch> created;
    if (FAILED(container->Create(className.get(), relative.get(), created.put())) || !created) return 0;
    ComPtr<IADs> object;
    if (FAILED(created->QueryInterface(IID_IADs, object.putVoid())) || !object) return 0;
    return SUCCEEDED(object->SetInfo()) ? 1 : 0;
}

}  // namespace

int CreateContainerPath(std::u16string_view server, std::u16string_view dn) {
    // The missing levels are found from the bottom up and created from the top down; a loop
    // rather than a recursion, as the name may come from a backup file.
    struct Level {
        std::u16string relativeName, parentName;
    };
    std::vector<Level> missing;
    std::u16string current(dn);
    for (;;) {
        Level level;
        if (!lumivel::shared::SplitDistinguishedName(current, &level.relativeName, &level.parentName)) {
            if (missing.empty()) return 0;
            break;
        }
        missing.push_back(level);
        ComPtr<IADsContainer> parent;
        if (SUCCEEDED(lumivel::shared::BindByDn(server, level.parentName, IID_IADsContainer, parent.putVoid())) ||
            missing.size() >= kMaxCreatedLevels)
            break;
        current = level.parentName;
    }
    int created = 0;
    for (auto level = missing.rbegin(); level != missing.rend(); ++level)
        created = createContainer(server, level->relativeName, level->parentName);
    return created;
}

}  // namespace revivo
