// Resource identifiers of RevivoProvider.so, shared by its resource source and its code.
#pragma once

// String table.
#define IDS_PROJNAME 100
#define IDS_STATUS_BACKUP 310
#define IDS_STATUS_RESTORE 311
#define IDS_STATUS_CONNECT_DC 312

// Menus.
#define IDR_MENU_ROOT 114
#define IDR_MENU_DELETED_OBJECT 202
#define IDR_MENU_DOMAIN_NODE 203

// Dialogs and their controls.
#define IDD_CONNECT_TO 201
#define IDC_CONNECT_DOMAIN 201
#define IDD_NEW_NAME 206
#define IDC_NEW_NAME 205
#define IDD_CONNECT_DC 211
#define IDC_DC_LIST 201
#define IDC_DC_CURRENT 205
#define IDC_DC_DOMAIN 307
#define IDC_BROWSE 308
#define IDD_PERFORM_BACKUP 109
#define IDC_BACKUP_OBJECT 201
#define IDC_SCHEDULE 205
#define IDD_CHOOSE_BACKUP 204
#define IDC_BACKUP_LIST 203

// Menu commands.
#define ID_CONNECT_TO 309
#define ID_GENERATE_BACKUP 310
#define ID_RESTORE 311
#define ID_CONNECT_DC 312
#define ID_REMOVE 313

// The registrar script.
#define IDR_REVIVO 101
