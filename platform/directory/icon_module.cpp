// dsicons.so holds only resources: the icons GetIconLocation names for classes whose display
// specifier has no iconPath. Modules load it to read icons, never to run code.
#include "win/types.h"
