#pragma once
// Dialog templates and controls of the companion tools.
#define IDD_ADDIN_INSTALL 130
#define IDC_ADDIN_INSTALL_TEXT 1301
