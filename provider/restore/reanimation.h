// Reanimation helpers: the new-name dialog, the container path and the backup hand-off.
#pragma once

#include <cstddef>
#include <string>

#include "shared/property_set.h"
#include "win/winldap.h"

namespace revivo {

class Revivo;

// A name the user typed as an RDN: type and "=" kept from the old name, value escaped.
std::u16string RenamedDistinguishedName(std::u16string_view relativeType, std::u16string_view typedName,
                                        std::u16string_view parent);

// The DN a taken one becomes under a name typed for it (dialog 206 or a record's kNewNameKey):
// the relative name's type and the parent kept. False for an empty name or a DN without parent.
bool NewNameFor(std::u16string_view takenDn, std::u16string_view typedName, std::u16string* newDn);

// What dialog 206 says of an empty name, and what a record's empty kNewNameKey is refused with.
inline constexpr char16_t kValidNamePrompt[] = u"Please enter a valid name.";

// Whether an object of that DN exists anywhere in the forest (through the global catalog).
bool NameIsTaken(const std::u16string& dn);

// Dialog 206: true with the new DN when the user entered a name.
bool AskForNewName(HWND parent, std::u16string_view takenName, std::u16string* newName);

// Makes sure the parent of dn exists, creating missing containers from the top down, then
// creates dn itself as a container: 1 when that last creation was committed, else 0.
// Levels a container path may be created through; deeper names come from no real directory.
inline constexpr size_t kMaxCreatedLevels = 128;
int CreateContainerPath(std::u16string_view server, std::u16string_view dn);

// One LDAP session to a domain controller for many reanimating modifies, bound as the caller
// (the subtree restore sends thousands over one session instead of binding for each).
class ReanimationSession {
public:
    explicit ReanimationSession(std::u16string_view server);
    ~ReanimationSession();
    ReanimationSession(const ReanimationSession&) = delete;
    ReanimationSession& operator=(const ReanimationSession&) = delete;
    // Connects and binds: LDAP_SUCCESS or the first failing LDAP result.
    ULONG Open();
    // The reanimating modify of one tombstone to its new DN: its LDAP result.
    ULONG Reanimate(const std::u16string& tombstoneName, const std::u16string& newName);

private:
    PLDAP m_session = nullptr;
};

// Whether the caller may create an object of the class in the live container on the server:
// the directory's creation check (the schema's possible superiors and the container's access
// control, in one answer). S_OK yes, E_ACCESSDENIED no; otherwise why it cannot be told (the
// container cannot be bound, or the check is not there).
HRESULT CheckCreationIn(std::u16string_view server, std::u16string_view container, std::u16string_view className);

// Recreates a deleted object's former parent from its backup archive: nonzero on success.
// When it refused the archive it has said why already, in a message box over `parent` and in
// *refusal.
int RestoreParentFromBackup(Revivo* provider, HWND parent, PropertySet* record, std::u16string* refusal = nullptr);

// What a restore's progress calls the step that recreates a deleted parent from a backup,
// given the parent's (mangled) DN; a parent not known by name is "the former parent".
std::u16string RecreatedParentStepName(std::u16string_view parentDn);

}  // namespace revivo
