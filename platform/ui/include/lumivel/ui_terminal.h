// The terminal backend's answer source: answers given ahead (from a command line) fill
// dialogs and message boxes before anything is asked on the terminal.
//
// An answer is written "DIALOG:CONTROL=VALUE", "DIALOG:press=BUTTON" or "msgbox=BUTTON":
//   DIALOG   a dialog template number, or * for any dialog;
//   CONTROL  a control id; the VALUE is an edit's text, "yes"/"no" for a check box or radio
//            button, an item's text or 1-based number for a drop-down list or list view,
//            "YYYY-MM-DD" or "HH:MM" for a date-time picker;
//   BUTTON   a button id (1 OK, 2 Cancel ...) or its caption without "&" ("Retry").
// Answers are used in the order given, each once.
#pragma once

#include <cstdio>
#include <string>

#include "win/types.h"

namespace lumivel::ui {

// False (and nothing stored) when the text is not an answer of the forms above.
LUMIVEL_EXPORT bool AddTerminalAnswer(const std::string& answer);
LUMIVEL_EXPORT void ClearTerminalAnswers();
// Where the terminal backend reads and writes; by default the controlling terminal, else
// standard input and output.
LUMIVEL_EXPORT void SetTerminalStreams(FILE* input, FILE* output);

}  // namespace lumivel::ui
