// The snap-in's registration, written by hand: its COM class under HKCR\CLSID and its
// stand-alone entry under HKLM\Software\Microsoft\MMC\Snapins.
#pragma once

#include "win/types.h"

namespace snapin {

// A key or value that cannot be written makes registration fail with its error (what was
// written stays; unregistering removes it). S_FALSE and nothing written when the snap-in's
// name string is missing.
HRESULT RegisterSnapin();
// Removes both trees whatever "RefCount" holds; E_UNEXPECTED when the class key was not there.
HRESULT UnregisterSnapin();

}  // namespace snapin
