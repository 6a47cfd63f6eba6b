// Everything of the base, files, process and registry families in one include.
#pragma once

#include "win/datetime.h"
#include "win/errors.h"
#include "win/eventlog.h"
#include "win/files.h"
#include "win/guid.h"
#include "win/memory.h"
#include "win/processes.h"
#include "win/strings.h"
#include "win/threads.h"
#include "win/wformat.h"
#include "win/winerror.h"
#include "win/winreg.h"
