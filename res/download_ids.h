#pragma once
// Dialog templates and controls of the download windows.
#define IDD_DOWNLOAD_PROGRESS 132
#define IDD_DOWNLOAD_BAR 210
#define IDC_DOWNLOAD_BAR 1010
#define IDC_DOWNLOAD_PERCENT 1012
#define IDC_DOWNLOAD_CANCEL 1013
#define IDC_DOWNLOAD_TIMES 1032
