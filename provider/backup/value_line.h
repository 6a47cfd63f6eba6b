// The attribute lines of a backup section: name, "=", the VARIANT type number, a TAB and the
// value text between double quotes, ended by CR LF. Several values of one attribute take one
// line each, named with "_" and their number counted from 1.
#pragma once

#include <string>
#include <string_view>

#include "win/oleauto.h"

namespace revivo {

// The line or lines for one attribute value as the directory interface returned it; empty
// when the value has no encoding (nothing is written for it then).
std::u16string FormatValueLine(std::u16string_view name, const VARIANT& value);

}  // namespace revivo
