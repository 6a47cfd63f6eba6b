// The directory synchronisation search (ADS_SEARCHPREF_DIRSYNC and _DIRSYNC_FLAG): the name of
// the column that holds the cookie after the last row, and the control's flags. Apart from
// adsi.h, which nearly every module includes, for the two callers that synchronise.
#pragma once

#define ADS_DIRSYNC_COOKIE u"fc8cb04d-311d-406c-8cb9-1ae8b843b418"
#define LDAP_DIRSYNC_OBJECT_SECURITY 0x00000001
#define LDAP_DIRSYNC_ANCESTORS_FIRST_ORDER 0x00000800
#define LDAP_DIRSYNC_PUBLIC_DATA_ONLY 0x00002000
#define LDAP_DIRSYNC_INCREMENTAL_VALUES 0x80000000
