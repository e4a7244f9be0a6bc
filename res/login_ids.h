#pragma once
// Dialog templates and controls of the login, server list and CDN server dialogs.
#define IDD_LOGIN 129
#define IDD_SERVER_LIST 134
#define IDD_CDN_SERVER 157
#define IDC_LOGIN_USER 1000
#define IDC_LOGIN_PASSWORD 1001
#define IDC_LOGIN_REMEMBER 1002
#define IDC_LOGIN_AUTO 1003
#define IDC_LOGIN_IDENTITY 1009
#define IDC_LOGIN_SERVER 1010
#define IDC_LOGIN_SERVER_LABEL 1013
#define IDC_SERVER_LIST 1012
#define IDC_SERVER_DELETE 1013
#define IDC_SERVER_CLEAR 1014
#define IDC_CDN_SERVER 1016
