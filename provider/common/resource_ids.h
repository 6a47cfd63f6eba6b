// Resource identifiers of RevivoProvider.so, shared by its resource source and its code.
#pragma once

// String table.
#define IDS_PROJNAME 100
#define IDS_STATUS_BACKUP 310
#define IDS_STATUS_RESTORE 311
#define IDS_STATUS_CONNECT_DC 312
#define IDS_STATUS_RESTORE_SELECTED 321

// Menus.
#define IDR_MENU_ROOT 114
#define IDR_MENU_DELETED_OBJECT 202
#define IDR_MENU_DOMAIN_NODE 203
// Our own additions to a tombstone's menu, appended after IDR_MENU_DELETED_OBJECT's items.
#define IDR_MENU_RESTORE_EXTRAS 400

// Dialogs and their controls, which the provider's dialog tests work as well.
#include "shared/provider_dialog_ids.h"

// Menu commands.
#define ID_CONNECT_TO 309
#define ID_GENERATE_BACKUP 310
#define ID_RESTORE 311
#define ID_CONNECT_DC 312
#define ID_REMOVE 313
#define ID_RESTORE_SUBTREE_REPORT 320
#define ID_RESTORE_TO 317
#define ID_RESTORE_PLAN_DIALOG 319
#define ID_RESTORE_SELECTED 321

// The registrar script.
#define IDR_REVIVO 101
