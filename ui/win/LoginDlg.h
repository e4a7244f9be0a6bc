#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "ui/LoginRules.h"

// Logs the user in to a platform server: offers the saved servers and
// accounts, checks what is typed, and on success fills the application's
// login, marks it logged in and saves the account. Ends with IDOK after a
// successful login, IDCANCEL when the user closes it.
class CLoginDlg {
 public:
  explicit CLoginDlg(const LoginContext& context);
  ~CLoginDlg();
  CLoginDlg(const CLoginDlg&) = delete;
  CLoginDlg& operator=(const CLoginDlg&) = delete;

  INT_PTR DoModal(HWND parent);

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void MakeLabelFont();
  void OnCommand(int id, int code);
  void OnServerChosen();
  void OnLogin();
  void ShowFields(const AccountFields& fields);
  std::string ItemText(int id) const;
  INT_PTR LabelColour(HDC dc, HWND control);

  LoginContext m_context;
  HWND m_hWnd = nullptr;
  std::vector<LoginServerItem> m_items;  // the server list's entries, by item data
  HFONT m_hLabelFont = nullptr;
};
