// The DsAdminCreateObj class (IDsAdminCreateObj): may a class be created in a container?
#pragma once

#include "win/dsadmin.h"

namespace lumivel::directory {
HRESULT CreateAdminCreateObjectInstance(IUnknown* outer, REFIID riid, void** object);
}
