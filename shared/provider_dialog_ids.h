// The provider's dialogs and the controls in them: the provider's resource source builds them
// from these numbers and its dialog tests work them. A caller that shows no dialogs answers
// their questions with the record keys of shared/provider_interfaces.h instead.
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

// The schedule form: page 1014 and the panels of its four schedules.
#define IDD_SCHEDULE 1014
#define IDD_SCHEDULE_DAILY 1015
#define IDD_SCHEDULE_MONTHLY 1017
#define IDD_SCHEDULE_ONCE 1018
#define IDD_SCHEDULE_WEEKLY 1019
#define IDC_SCHEDULE_LIST 219
#define IDC_START_TIME 1763
#define IDC_ACCOUNT 211
#define IDC_PASSWORD 213
#define IDC_CONFIRM_PASSWORD 215
#define IDC_DAILY_EVERY 252
#define IDC_DAILY_SPIN 234
#define IDC_WEEKLY_EVERY 231
#define IDC_WEEKLY_SPIN 270
#define IDC_WEEKLY_MONDAY 235
#define IDC_WEEKLY_SUNDAY 241
#define IDC_MONTHLY_DAY 268
#define IDC_MONTHLY_DAY_NUMBER 1733
#define IDC_MONTHLY_THE 269
#define IDC_MONTHLY_WEEK 1737
#define IDC_MONTHLY_WEEKDAY 1738
#define IDC_MONTHLY_JANUARY 254
#define IDC_MONTHLY_DECEMBER 265
#define IDC_ONCE_DATE 253
// The schedule list's items, in this order; the item is also the schedule's "Schedule" value.
#define SCHEDULE_ITEM_DAILY 0
#define SCHEDULE_ITEM_WEEKLY 1
#define SCHEDULE_ITEM_MONTHLY 2
#define SCHEDULE_ITEM_ONCE 3

// "Restore Plan" (command 319) and the "Restore Subtree" report (command 320).
#define IDD_RESTORE_PLAN 401
#define IDC_PLAN_RIGHTS 4010
#define IDC_PLAN_LIST 4011
#define IDC_PLAN_NOTE 4012
#define IDC_PLAN_REAPPLY 4013
#define IDC_PLAN_ARCHIVE 4014
#define IDC_PLAN_RESTORE 4015
#define IDC_PLAN_REAPPLY_SENSITIVE 4016
#define IDC_PLAN_SENSITIVE 4017
#define IDD_SUBTREE_REPORT 402
#define IDC_SUBTREE_SUMMARY 4020
#define IDC_SUBTREE_LIST 4021

// "Restore Selected" (command 321): the one plan for several tombstones, and the progress of
// a long restore (command 321, and command 320 of a large subtree).
#define IDD_RESTORE_SELECTED 403
#define IDC_SELECTED_SUMMARY 4030
#define IDC_SELECTED_LIST 4031
#define IDC_SELECTED_NOTE 4032
#define IDC_SELECTED_RESTORE 4033
#define IDD_RESTORE_PROGRESS 404
#define IDC_PROGRESS_COUNT 4040
#define IDC_PROGRESS_CURRENT 4041

// "Restore To": the live container a tombstone is restored into, browsed or typed.
#define IDD_RESTORE_TO 410
#define IDC_RESTORE_TO_CONTAINER 4100
#define IDC_RESTORE_TO_LIST 4101
#define IDC_RESTORE_TO_UP 4102
#define IDC_RESTORE_TO_OPEN 4103
#define IDC_RESTORE_TO_STATUS 4104
#define IDC_RESTORE_TO_OBJECT 4105
#define IDC_RESTORE_TO_LOCATION 4106
