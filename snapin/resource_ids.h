// Resource identifiers of RevivoSnapin.so, shared by its resource source and its code.
#pragma once

// String table.
#define IDS_SNAPIN_NAME 1
#define IDS_ROOT_NODE_TYPE 2
#define IDS_ABOUT_DESCRIPTION 3
#define IDS_ABOUT_PROVIDER 4
#define IDS_ABOUT_VERSION 5
#define IDS_FOREIGN_ROOT_NAME 6
#define IDS_NODE_ICON_NAME 7
#define IDS_HELP_FILE 1038
#define IDS_REGISTRY_BASE 32770
#define IDS_DEFAULT_PROVIDER 32771
#define IDS_DOMAIN_CLASS 32772
#define IDS_DOMAIN_PLACEHOLDER 32773
#define IDS_DOMAIN_NODE_TYPE 32774

// Pictures.
#define IDI_SNAPIN 101
#define IDB_STATIC_FOLDER_SMALL 102
#define IDB_STATIC_FOLDER_LARGE 103
#define IDI_FILLER 107
// The mark a domain's icon gets while its listing failed.
#define IDI_LISTING_FAILED 108
