// Resource numbers of Panorel.so.
#pragma once

#define IDS_PROJNAME 100
#define IDR_PANOREL 101
