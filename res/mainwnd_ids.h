#pragma once
// The floating window, its About box and the screen capture.
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_ASSISTANT 102
#define IDB_FACE_NORMAL 148
#define IDB_FACE_HOVER 149
#define IDD_CAPTURE_PREVIEW 154
#define IDD_CAPTURE 209
#define IDC_CAPTURE_CURSOR 404
#define IDC_ABOUT_ICON 1001
#define IDC_ABOUT_VERSION 1002
#define IDC_ABOUT_COPYRIGHT 1003
