// Running a parsed script through COM automation (scheduler area only): CreateObject is
// CLSIDFromProgID and CoCreateInstance for IDispatch, a method call is GetIDsOfNames and
// Invoke with the string as its one argument. The first failing statement ends the run with
// VBScript's runtime error (or the method's own error and description).
#pragma once

#include <optional>

#include "script_parser.h"

namespace lumivel::scheduler {

// The caller has initialised COM on this thread.
std::optional<ScriptError> RunScript(const std::vector<ScriptStatement>& statements);

}  // namespace lumivel::scheduler
