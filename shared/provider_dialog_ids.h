// The provider's dialogs and the controls in them that a caller fills in or presses: the
// console's user works them, the command line answers them from its arguments (through the
// UI hook), and the provider's resource source builds them from these numbers.
#pragma once

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

