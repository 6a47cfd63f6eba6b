// The sections of one entry of a backup's object list: the object itself, or the object and
// everything below it when it is a container.
#pragma once

#include <string>
#include <vector>

#include "provider/backup/backup_sources.h"
#include "win/adsi.h"

namespace revivo {

class BackupInfFile;

// How a container's subtree is read. PerObject binds every object and loads its attributes
// on its own (three requests per object). Batched reads the classes of the subtree with one
// paged search and then every object's attributes with a second one; it writes the same
// sections in the same order, and is what a backup uses.
enum class SubtreeReading { Batched, PerObject };

struct SectionReport {
    // The first failure that cost an object its section (binding, class, GUID).
    HRESULT skipped = S_OK;
    // A failure that ended the reading of a subtree part way: the backup is incomplete.
    HRESULT incomplete = S_OK;
};

// Writes the sections for one object path (an ADsPath or a distinguished name) and returns
// the number of directory objects considered.
LONG WriteObjectSections(const BackupSources& sources, BackupInfFile& file, std::u16string_view server,
                         std::u16string_view objectPath, SubtreeReading reading, SectionReport* report);

// The distinguished names of a container and of every object below it, in server order;
// *ended tells whether the listing got to the end.
std::vector<std::u16string> ListSubtree(IADsContainer* container, HRESULT* ended = nullptr);

// The "path" line of a section: the parent's DN from a parent ADsPath, with "LDAP://" and
// the server (when given) taken off.
std::u16string ParentPathLine(std::u16string_view parentPath, std::u16string_view server);

}  // namespace revivo
