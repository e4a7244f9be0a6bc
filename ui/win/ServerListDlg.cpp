#include "ui/win/ServerListDlg.h"

#include <commctrl.h>

#include "res/login_ids.h"
#include "store/SettingsStore.h"
#include "ui/LoginRules.h"
#include "ui/ServerRules.h"
#include "ui/DpiScale.h"
#include "ui/win/DialogRouting.h"

namespace {
constexpr int ROW_HEIGHT = 22;
constexpr int COLUMN_WIDTH = 260;
constexpr int TEXT_INSET = 5;
}  // namespace

CServerListDlg::CServerListDlg(CSettingsStore& settings, platform::IDesktop& desktop)
    : m_settings(settings), m_desktop(desktop) {}

INT_PTR CServerListDlg::DoModal(HWND parent) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&controls);
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SERVER_LIST), parent,
                         &RouteDialogMessage<CServerListDlg>, reinterpret_cast<LPARAM>(this));
}

INT_PTR CServerListDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MEASUREITEM: {
      auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure->CtlType != ODT_LISTVIEW) return FALSE;
      measure->itemHeight = ScaleToDpi(ROW_HEIGHT, DialogDpi(m_hWnd));
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* item = reinterpret_cast<DRAWITEMSTRUCT*>(lParam);
      if (item->CtlID != IDC_SERVER_LIST) return FALSE;
      DrawRow(*item);
      return TRUE;
    }
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lParam);
      if (header->idFrom == IDC_SERVER_LIST && header->code == LVN_ITEMCHANGED) UpdateButtons();
      return FALSE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDC_SERVER_DELETE: OnDelete(); break;
        case IDC_SERVER_CLEAR: OnClear(); break;
        case IDOK:
        case IDCANCEL: EndDialog(m_hWnd, LOWORD(wParam)); break;
        default: break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

void CServerListDlg::OnInitDialog() {
  m_hList = GetDlgItem(m_hWnd, IDC_SERVER_LIST);
  SendMessageA(m_hList, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  // The list asked for its row height while the dialog was being built,
  // before this object received its messages; a size change asks again.
  RECT bounds;
  GetWindowRect(m_hList, &bounds);
  WINDOWPOS position = {};
  position.hwnd = m_hList;
  position.cx = bounds.right - bounds.left;
  position.cy = bounds.bottom - bounds.top;
  position.flags = SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOOWNERZORDER | SWP_NOZORDER;
  SendMessageA(m_hList, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));

  LVCOLUMNA column = {};
  column.mask = LVCF_TEXT | LVCF_WIDTH;
  column.cx = ScaleToDpi(COLUMN_WIDTH, DialogDpi(m_hWnd));
  column.pszText = const_cast<char*>("服务器");
  SendMessageA(m_hList, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));

  int row = 0;
  for (CServerAccount& account : m_settings.m_accounts) {
    std::string label = ServerLabel(account.m_strHost, account.m_nPort);
    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row++;
    item.pszText = label.data();
    item.lParam = reinterpret_cast<LPARAM>(&account);
    SendMessageA(m_hList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  UpdateButtons();
}

std::vector<int> CServerListDlg::SelectedRows() const {
  std::vector<int> rows;
  for (int row = -1;
       (row = (int)SendMessageA(m_hList, LVM_GETNEXTITEM, row, LVNI_SELECTED)) != -1;)
    rows.push_back(row);
  return rows;
}

const CServerAccount* CServerListDlg::AccountOfRow(int row) const {
  LVITEMA item = {};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageA(m_hList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return reinterpret_cast<const CServerAccount*>(item.lParam);
}

void CServerListDlg::UpdateButtons() {
  int rows = (int)SendMessageA(m_hList, LVM_GETITEMCOUNT, 0, 0);
  int selected = (int)SendMessageA(m_hList, LVM_GETSELECTEDCOUNT, 0, 0);
  ServerListButtons buttons = ServerListButtonState(rows, selected);
  EnableWindow(GetDlgItem(m_hWnd, IDC_SERVER_DELETE), buttons.deleteEnabled);
  EnableWindow(GetDlgItem(m_hWnd, IDC_SERVER_CLEAR), buttons.clearEnabled);
}

void CServerListDlg::OnDelete() {
  std::vector<int> rows = SelectedRows();
  std::vector<const CServerAccount*> accounts;
  for (int row : rows) accounts.push_back(AccountOfRow(row));
  if (!DeleteServers(m_settings, m_desktop, accounts)) return;
  // From the last row up, so that the indexes still name the same rows.
  for (auto row = rows.rbegin(); row != rows.rend(); ++row)
    SendMessageA(m_hList, LVM_DELETEITEM, *row, 0);
  UpdateButtons();
}

void CServerListDlg::OnClear() {
  int count = (int)SendMessageA(m_hList, LVM_GETITEMCOUNT, 0, 0);
  std::vector<const CServerAccount*> accounts;
  for (int row = 0; row < count; ++row) accounts.push_back(AccountOfRow(row));
  if (!ClearServers(m_settings, m_desktop, accounts)) return;
  SendMessageA(m_hList, LVM_DELETEALLITEMS, 0, 0);
  UpdateButtons();
}

void CServerListDlg::DrawRow(const DRAWITEMSTRUCT& item) {
  bool selected = (item.itemState & ODS_SELECTED) != 0;
  HBRUSH background = GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW);
  FillRect(item.hDC, &item.rcItem, background);
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  SetBkMode(item.hDC, TRANSPARENT);

  char text[512] = "";
  LVITEMA cell = {};
  cell.iSubItem = 0;
  cell.pszText = text;
  cell.cchTextMax = sizeof text;
  SendMessageA(m_hList, LVM_GETITEMTEXTA, item.itemID, reinterpret_cast<LPARAM>(&cell));
  RECT bounds = item.rcItem;
  bounds.right = bounds.left + (int)SendMessageA(m_hList, LVM_GETCOLUMNWIDTH, 0, 0);
  int inset = ScaleToDpi(TEXT_INSET, DialogDpi(m_hWnd));
  bounds.left += inset;
  bounds.right -= inset;
  DrawTextA(item.hDC, text, -1, &bounds, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
}
