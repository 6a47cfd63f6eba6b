// A long restore runs on a thread of its own while dialog IDD_RESTORE_PROGRESS shows how far it
// is; the console's thread keeps serving its windows meanwhile.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "provider/revivo.h"
#include "win/types.h"

namespace revivo {

// What the work reports through, from its own thread.
class RestoreProgress {
public:
    struct State;
    explicit RestoreProgress(State* state) : m_state(state) {}
    // Before each object: how many are done, how many there are and the one under way. False
    // once Cancel was pressed: the work stops before the next object.
    bool next(size_t done, size_t total, std::u16string_view current);
    // The progress dialog, which what the work asks (a box, a question) is shown over: it is
    // shown on the dialog's thread while the work waits for the answer.
    HWND window() const;

private:
    State* m_state;
};

// "Restoring 3 of 10 objects..." as the dialog says it.
std::u16string ProgressCountText(size_t done, size_t total);

// What a restore stopped before the step named says of what stays done: the objects that came
// back and the containers a backup recreated.
std::u16string StoppedRestoreText(std::u16string_view stoppedBefore, size_t restored,
                                  const std::vector<std::u16string>& recreated);

// Runs the work (with COM initialised for its thread) while the dialog is up, and returns once
// the work has ended: also when the dialog was closed some other way, after telling the work
// to stop. False when the dialog or the thread could not be made: then nothing ran.
bool RunWithProgress(HWND parent, const std::function<void(RestoreProgress&)>& work);

// A runner for the restore operations that runs their work with the dialog up, each object
// shown by its plain name as the gate hears of it, and Cancel as the gate's no.
RestoreRunner ProgressRunner(HWND parent);

}  // namespace revivo
