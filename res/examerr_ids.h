#pragma once
// The failure list dialog ("异常中心") and its context menu.
#define IDD_EXAMERR_LIST 155
#define IDC_EXAMERR_LIST 1015
#define ID_EXAMERR_RESUBMIT 32811
#define ID_EXAMERR_CLEAR 32812
