// Resource ids of the uninstaller RM_KOV.EXE: its confirmation dialog and its strings.
#pragma once

#define IDD_RM_CONFIRM     100
#define IDC_RM_TEXT        101
#define IDC_RM_REMOVE_DATA 102

#define IDS_RM_CAPTION   200
#define IDS_RM_NO_RECORD 201
#define IDS_RM_DAMAGED   202
#define IDS_RM_DONE      203
#define IDS_RM_DONE_KEPT 204
#define IDS_RM_SOME_LEFT 205
#define IDS_RM_RESTART   206
