#pragma once
#include <windows.h>

#include <vector>

#include "platform/Desktop.h"

class CServerAccount;
class CSettingsStore;

// The saved platform servers, one owner-drawn row per remembered account;
// "删除" removes the selected rows, "清空" all. The settings store is edited
// and saved at once.
class CServerListDlg {
 public:
  CServerListDlg(CSettingsStore& settings, platform::IDesktop& desktop);
  CServerListDlg(const CServerListDlg&) = delete;
  CServerListDlg& operator=(const CServerListDlg&) = delete;

  INT_PTR DoModal(HWND parent);

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  void OnDelete();
  void OnClear();
  void UpdateButtons();
  void DrawRow(const DRAWITEMSTRUCT& item);
  std::vector<int> SelectedRows() const;
  const CServerAccount* AccountOfRow(int row) const;

  CSettingsStore& m_settings;
  platform::IDesktop& m_desktop;
  HWND m_hWnd = nullptr;
  HWND m_hList = nullptr;
};
