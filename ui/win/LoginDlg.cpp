#include "ui/win/LoginDlg.h"

#include "res/login_ids.h"
#include "res/resource.h"
#include "ui/win/DialogRouting.h"
#include "ui/win/ServerListDlg.h"

namespace {
constexpr COLORREF LINK_TEXT = RGB(0, 102, 204);
}  // namespace

CLoginDlg::CLoginDlg(const LoginContext& context) : m_context(context) {}

CLoginDlg::~CLoginDlg() {
  if (m_hLabelFont) DeleteObject(m_hLabelFont);
}

INT_PTR CLoginDlg::DoModal(HWND parent) {
  return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_LOGIN), parent,
                         &RouteDialogMessage<CLoginDlg>, reinterpret_cast<LPARAM>(this));
}

INT_PTR CLoginDlg::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CTLCOLORSTATIC:
      return LabelColour(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
    case WM_SETCURSOR:
      // The "服务器" label is a link to the server list.
      if (reinterpret_cast<HWND>(wParam) == GetDlgItem(m_hWnd, IDC_LOGIN_SERVER_LABEL)) {
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_DPICHANGED_MESSAGE:
      MakeLabelFont();
      return TRUE;
    default:
      return FALSE;
  }
}

void CLoginDlg::OnInitDialog() {
  HINSTANCE module = GetModuleHandleA(nullptr);
  HICON big = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(IDR_MAINFRAME), IMAGE_ICON,
                                            GetSystemMetrics(SM_CXICON),
                                            GetSystemMetrics(SM_CYICON), LR_SHARED));
  HICON small = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(IDR_MAINFRAME),
                                              IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                              GetSystemMetrics(SM_CYSMICON), LR_SHARED));
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

  MakeLabelFont();

  HWND identity = GetDlgItem(m_hWnd, IDC_LOGIN_IDENTITY);
  SendMessageA(identity, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("普通用户"));
  SendMessageA(identity, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("管理员"));

  LoginPreset preset = MakeLoginPreset(m_context.target.settings, m_context.savedAccount,
                                       m_context.server, m_context.defaultServer);
  m_items = preset.items;
  HWND server = GetDlgItem(m_hWnd, IDC_LOGIN_SERVER);
  for (size_t i = 0; i < m_items.size(); ++i) {
    LRESULT at = SendMessageA(server, CB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>(m_items[i].label.c_str()));
    SendMessageA(server, CB_SETITEMDATA, at, static_cast<LPARAM>(i));
  }
  if (preset.selected >= 0)
    SendMessageA(server, CB_SETCURSEL, preset.selected, 0);
  else
    SetWindowTextA(server, preset.serverText.c_str());
  ShowFields(preset.fields);

  SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetForegroundWindow(m_hWnd);
}

// The "服务器" link: the dialog's font, underlined, at the dialog's DPI.
void CLoginDlg::MakeLabelFont() {
  LOGFONTA font = {};
  if (!GetObjectA(DialogFont(m_hWnd), sizeof font, &font)) return;
  font.lfUnderline = TRUE;
  HFONT made = CreateFontIndirectA(&font);
  if (!made) return;
  HWND label = GetDlgItem(m_hWnd, IDC_LOGIN_SERVER_LABEL);
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
  if (m_hLabelFont) DeleteObject(m_hLabelFont);
  m_hLabelFont = made;
}

void CLoginDlg::ShowFields(const AccountFields& fields) {
  SendDlgItemMessageA(m_hWnd, IDC_LOGIN_IDENTITY, CB_SETCURSEL, fields.identity, 0);
  CheckDlgButton(m_hWnd, IDC_LOGIN_REMEMBER, fields.remember ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(m_hWnd, IDC_LOGIN_AUTO, fields.autoLogin ? BST_CHECKED : BST_UNCHECKED);
  if (!fields.fillCredentials) return;
  SetDlgItemTextA(m_hWnd, IDC_LOGIN_USER, fields.user.c_str());
  SetDlgItemTextA(m_hWnd, IDC_LOGIN_PASSWORD, fields.password.c_str());
}

void CLoginDlg::OnCommand(int id, int code) {
  switch (id) {
    case IDOK:  // the login button, and Enter anywhere in the dialog
      OnLogin();
      break;
    case IDCANCEL:
      EndDialog(m_hWnd, IDCANCEL);
      break;
    case IDC_LOGIN_SERVER:
      if (code == CBN_SELCHANGE) OnServerChosen();
      break;
    case IDC_LOGIN_SERVER_LABEL:
      if (code == STN_CLICKED) {
        CServerListDlg list(m_context.target.settings, m_context.target.desktop);
        list.DoModal(m_hWnd);
      }
      break;
    default:
      break;
  }
}

void CLoginDlg::OnServerChosen() {
  LRESULT at = SendDlgItemMessageA(m_hWnd, IDC_LOGIN_SERVER, CB_GETCURSEL, 0, 0);
  if (at == CB_ERR) return;
  LRESULT index = SendDlgItemMessageA(m_hWnd, IDC_LOGIN_SERVER, CB_GETITEMDATA, at, 0);
  if (index < 0 || static_cast<size_t>(index) >= m_items.size()) return;
  AccountFields fields;
  if (FieldsOfItem(m_context.target.settings, m_items[index], fields)) ShowFields(fields);
}

void CLoginDlg::OnLogin() {
  LoginInput input;
  input.serverText = ItemText(IDC_LOGIN_SERVER);
  LRESULT identity = SendDlgItemMessageA(m_hWnd, IDC_LOGIN_IDENTITY, CB_GETCURSEL, 0, 0);
  input.identity = identity == CB_ERR ? 0 : static_cast<int>(identity);
  input.user = ItemText(IDC_LOGIN_USER);
  input.password = ItemText(IDC_LOGIN_PASSWORD);
  input.remember = IsDlgButtonChecked(m_hWnd, IDC_LOGIN_REMEMBER) == BST_CHECKED;
  input.autoLogin = IsDlgButtonChecked(m_hWnd, IDC_LOGIN_AUTO) == BST_CHECKED;
  if (SubmitLogin(input, m_context.target)) EndDialog(m_hWnd, IDOK);
}

std::string CLoginDlg::ItemText(int id) const {
  HWND control = GetDlgItem(m_hWnd, id);
  std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
  text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), (int)text.size())));
  return text;
}

INT_PTR CLoginDlg::LabelColour(HDC dc, HWND control) {
  if (control != GetDlgItem(m_hWnd, IDC_LOGIN_SERVER_LABEL)) return FALSE;
  SetTextColor(dc, LINK_TEXT);
  SetBkMode(dc, TRANSPARENT);
  return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
}
