// IRevivo's dispatch table and type library entries are declared with the class (revivo.h).
#pragma once

#include "provider/revivo.h"
