// What the details pane says of one tombstone, to help decide whether and how to restore it:
// the attributes the directory kept on it, the backup archives that hold the object, and what
// the newest trusted one holds that the tombstone lost, which is what "Re-apply" in the
// Restore Plan would bring back.
#pragma once

#include <string>
#include <vector>

#include "provider/dialogs/restore_plan_dialog.h"
#include "win/types.h"

namespace revivo {

// Attributes of the tombstone shown at most (all are compared with the backup).
inline constexpr size_t kMostShownAttributes = 100;
// Archives holding the object listed at most, newest first.
inline constexpr size_t kMostShownArchives = 10;
// Lost attributes and groups named at most.
inline constexpr size_t kMostShownLost = 60;

struct KeptAttribute {
    std::u16string name;                // as the directory names it
    std::vector<std::u16string> texts;  // the values shown (at most kMostShownValues), made harmless
    size_t values = 0;                  // how many it has
};

struct HoldingArchive {
    std::u16string name, date, origin;
    std::u16string distrust;  // why it is not believed; empty when it is
};

struct TombstoneDetails {
    std::u16string name;  // the name a person knows it by
    HRESULT keptRead = S_OK;
    std::vector<KeptAttribute> kept;  // sorted by name
    HRESULT backupsRead = S_OK;
    std::u16string backupFolder;
    std::vector<HoldingArchive> archives;  // newest first
    // The newest trusted archive and command 318's plan for it, as the Restore Plan has them.
    RestorePlanView reapply;
};

// The attributes of the plan that the tombstone no longer has, with their value counts, and
// the groups it would join again: what re-applying the archive holds that the tombstone lost.
std::vector<ReapplyLine> LostAttributes(const TombstoneDetails& details);

// The text the pane shows.
std::u16string DetailsText(const TombstoneDetails& details);
// While the details are read off the console's thread.
std::u16string ReadingDetailsText(std::u16string_view name);
// Several records selected: how many, and the first few names.
std::u16string SelectionDetailsText(const std::vector<std::u16string>& names);
// The domain node itself, nothing selected.
std::u16string NodeDetailsText();

}  // namespace revivo
