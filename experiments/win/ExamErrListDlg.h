#pragma once
#include <windows.h>

#include "experiments/ExamErrList.h"

// The failure list "实验记录提交失败列表": a modal dialog over the
// application's failed submissions, filled from their file when it opens
// and on F5; a row is submitted again by double click or its context menu.
class CExamErrListDlg {
 public:
  CExamErrListDlg(CExamErrStore& store, platform::IDesktop& desktop) : m_list(store, desktop) {}
  CExamErrListDlg(const CExamErrListDlg&) = delete;
  CExamErrListDlg& operator=(const CExamErrListDlg&) = delete;

  INT_PTR DoModal(HWND parent);

 private:
  template <typename Dialog>
  friend INT_PTR CALLBACK RouteDialogMessage(HWND, UINT, WPARAM, LPARAM);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInitDialog();
  bool OnNotify(const NMHDR& header);
  void FillRows();
  void ShowRows();
  int SelectedRow() const;
  void ResubmitSelected();
  void ClearAll();
  void ShowContextMenu();
  void DrawRow(const DRAWITEMSTRUCT& item);

  CExamErrList m_list;
  HWND m_hWnd = nullptr;
  HWND m_hList = nullptr;
};
