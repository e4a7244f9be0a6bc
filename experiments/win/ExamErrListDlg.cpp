#include "experiments/win/ExamErrListDlg.h"

#include <commctrl.h>

#include "res/examerr_ids.h"
#include "ui/DpiScale.h"
#include "ui/win/DialogRouting.h"

namespace {

constexpr int ROW_HEIGHT = 22;
constexpr int CELL_INSET = 5;

struct Column {
  const char* title;
  int width;
};
constexpr Column kColumns[EXAMERR_COL_COUNT] = {
    {"课程名称", 250}, {"仿真资源", 250}, {"分数", 80}, {"异常时间", 130}};

// The list asks for its row height when it gets its font, before the dialog
// is initialised and knows its object.
INT_PTR CALLBACK ListDialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_MEASUREITEM) {
    auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    if (measure->CtlType != ODT_LISTVIEW) return FALSE;
    measure->itemHeight = ScaleToDpi(ROW_HEIGHT, DialogDpi(hWnd));
    return TRUE;
  }
  return RouteDialogMessage<CExamErrListDlg>(hWnd, message, wParam, lParam);
}

}  // namespace

INT_PTR CExamErrListDlg::DoModal(HWND parent) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_EXAMERR_LIST), parent,
                         &ListDialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CExamErrListDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item->CtlID != IDC_EXAMERR_LIST) return FALSE;
      DrawRow(*item);
      return TRUE;
    }
    case WM_NOTIFY:
      return OnNotify(*reinterpret_cast<const NMHDR*>(lParam));
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) EndDialog(m_hWnd, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

void CExamErrListDlg::OnInitDialog() {
  m_hList = GetDlgItem(m_hWnd, IDC_EXAMERR_LIST);
  ListView_SetExtendedListViewStyle(m_hList, LVS_EX_FULLROWSELECT);
  for (int i = 0; i < EXAMERR_COL_COUNT; ++i) {
    LVCOLUMNA column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = i == EXAMERR_COL_SCORE ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = ScaleToDpi(kColumns[i].width, DialogDpi(m_hWnd));
    column.pszText = const_cast<char*>(kColumns[i].title);
    SendMessageA(m_hList, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
  }
  FillRows();
}

bool CExamErrListDlg::OnNotify(const NMHDR& header) {
  if (header.idFrom != IDC_EXAMERR_LIST) return false;
  switch (header.code) {
    case NM_DBLCLK:
      ResubmitSelected();
      return true;
    case NM_RCLICK:
      ShowContextMenu();
      return true;
    case LVN_KEYDOWN:
      if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_F5) FillRows();
      return true;
    default:
      return false;
  }
}

void CExamErrListDlg::FillRows() {
  m_list.Fill();
  ShowRows();
}

void CExamErrListDlg::ShowRows() {
  ListView_DeleteAllItems(m_hList);
  for (size_t row = 0; row < m_list.RowCount(); ++row) {
    const ExamErrRecord& record = m_list.Row(row);
    std::string texts[EXAMERR_COL_COUNT];
    for (int i = 0; i < EXAMERR_COL_COUNT; ++i) texts[i] = CExamErrList::CellText(record, i);
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = (int)row;
    item.pszText = texts[0].data();
    item.lParam = reinterpret_cast<LPARAM>(&record);
    int at = (int)SendMessageA(m_hList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    for (int i = 1; i < EXAMERR_COL_COUNT; ++i) {
      LVITEMA cell{};
      cell.iSubItem = i;
      cell.pszText = texts[i].data();
      SendMessageA(m_hList, LVM_SETITEMTEXTA, at, reinterpret_cast<LPARAM>(&cell));
    }
  }
}

int CExamErrListDlg::SelectedRow() const {
  return ListView_GetNextItem(m_hList, -1, LVNI_SELECTED);
}

// The rows are the store's again after a change: a sent record is gone and
// failures stored meanwhile by other processes have joined.
void CExamErrListDlg::ResubmitSelected() {
  if (m_list.Resubmit(SelectedRow())) ShowRows();
}

void CExamErrListDlg::ClearAll() {
  if (m_list.ClearAll()) ShowRows();
}

void CExamErrListDlg::ShowContextMenu() {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING | (m_list.CanResubmit(SelectedRow()) ? 0 : MF_GRAYED),
              ID_EXAMERR_RESUBMIT, "重新提交实验数据");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | (m_list.CanClear() ? 0 : MF_GRAYED), ID_EXAMERR_CLEAR,
              "清空所有记录");
  POINT at;
  GetCursorPos(&at);
  int command = TrackPopupMenu(menu, TPM_RIGHTBUTTON | TPM_RETURNCMD, at.x, at.y, 0, m_hWnd,
                               nullptr);
  DestroyMenu(menu);
  if (command == ID_EXAMERR_RESUBMIT) ResubmitSelected();
  if (command == ID_EXAMERR_CLEAR) ClearAll();
}

// Each cell's text sits in its column, 5 pixels (at 96 DPI) in from both sides, on one
// line with an ellipsis when cut; the score is right-aligned.
void CExamErrListDlg::DrawRow(const DRAWITEMSTRUCT& item) {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  HDC dc = item.hDC;
  FillRect(dc, &item.rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  const int inset = ScaleToDpi(CELL_INSET, DialogDpi(m_hWnd));
  RECT cell = item.rcItem;
  for (int i = 0; i < EXAMERR_COL_COUNT; ++i) {
    const int width = ListView_GetColumnWidth(m_hList, i);
    cell.right = cell.left + width;
    char text[512] = "";
    ListView_GetItemText(m_hList, item.itemID, i, text, sizeof text);
    RECT inner = {cell.left + inset, cell.top, cell.right - inset, cell.bottom};
    UINT format = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX |
                  (i == EXAMERR_COL_SCORE ? DT_RIGHT : DT_LEFT);
    DrawTextA(dc, text, -1, &inner, format);
    cell.left = cell.right;
  }
}
