#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "FakeDesktop.h"
#include "app/AssistantApp.h"
#include "experiments/ExamErrStore.h"
#include "experiments/win/ExamErrListDlg.h"
#include "res/download_ids.h"
#include "res/examerr_ids.h"
#include "res/login_ids.h"
#include "store/SettingsStore.h"
#include "ui/DpiScale.h"
#include "ui/win/CdnServerDlg.h"
#include "ui/win/DownloadBarDlg.h"
#include "ui/win/DownloadProgressDlg.h"
#include "ui/win/LoginDlg.h"
#include "ui/win/ServerListDlg.h"
#include "ui/win/WindowDpi.h"
#include "unit/app/ScopedAppData.h"

// A dialog moved to a screen of another DPI is laid out as if it had opened
// there, and moved back it is exactly as it was.
namespace {

using Measures = std::map<std::string, int>;

int FontHeight(HWND window) {
  LOGFONTA font{};
  HFONT handle = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
  return handle && GetObjectA(handle, sizeof font, &font) ? font.lfHeight : 0;
}

void MeasureList(HWND list, const std::string& name, Measures& out) {
  RECT row{LVIR_BOUNDS, 0, 0, 0};
  if (SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&row)))
    out[name + " row"] = row.bottom - row.top;
  HWND header = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETHEADER, 0, 0));
  int columns = (int)SendMessageA(header, HDM_GETITEMCOUNT, 0, 0);
  for (int i = 0; i < columns; ++i)
    out[name + " column " + std::to_string(i)] = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, i, 0);
}

// Every length of the dialog's controls that the DPI decides.
Measures Measure(HWND dialog) {
  Measures out;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    std::string name = std::to_string(GetDlgCtrlID(child));
    char cls[64] = "";
    GetClassNameA(child, cls, sizeof cls);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    out[name + " left"] = r.left;
    out[name + " top"] = r.top;
    out[name + " width"] = r.right - r.left;
    // A combo box's height is its font's; checked with the font.
    if (lstrcmpiA(cls, WC_COMBOBOXA) != 0) out[name + " height"] = r.bottom - r.top;
    if (int height = FontHeight(child)) out[name + " font"] = height;
    if (lstrcmpiA(cls, WC_LISTVIEWA) == 0) MeasureList(child, name, out);
  }
  return out;
}

RECT WindowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

void SendDpi(HWND dialog, int dpi, const RECT& suggested) {
  SendMessageA(dialog, WM_DPICHANGED_MESSAGE, MAKEWPARAM(dpi, dpi),
               reinterpret_cast<LPARAM>(&suggested));
}

// Moves the open dialog to a screen of twice the DPI and back, checking
// each time what it looks like.
void CheckMoveToTwiceTheDpi(HWND dialog) {
  const int dpi = WindowDpi(dialog), twice = 2 * dpi;
  const Measures before = Measure(dialog);
  const RECT window = WindowRect(dialog);
  const HFONT template_font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
  RECT suggested = window;
  suggested.right = window.left + 2 * (window.right - window.left);
  suggested.bottom = window.top + 2 * (window.bottom - window.top);
  SendDpi(dialog, twice, suggested);

  RECT moved = WindowRect(dialog);
  EXPECT_TRUE(EqualRect(&moved, &suggested)) << "the suggested rectangle is taken";
  Measures expected;
  for (const auto& [name, length] : before) expected[name] = ScaleBetweenDpis(length, dpi, twice);
  Measures there = Measure(dialog);
  for (const auto& [name, length] : expected) EXPECT_EQ(there[name], length) << name;
  std::vector<HFONT> madeForTwice;
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(child, WM_GETFONT, 0, 0));
    if (font && font != template_font) madeForTwice.push_back(font);
  }

  SendDpi(dialog, dpi, window);
  moved = WindowRect(dialog);
  EXPECT_TRUE(EqualRect(&moved, &window));
  Measures back = Measure(dialog);
  for (const auto& [name, length] : before) EXPECT_EQ(back[name], length) << name << " drifted";
  for (HFONT font : madeForTwice) EXPECT_EQ(GetObjectType(font), 0u) << "the fonts of 2x are freed";
}

// Runs a modal dialog; `whileOpen` gets its window, once shown, on another
// thread; then the dialog is closed.
void RunModal(const char* caption, const std::function<INT_PTR()>& doModal,
              const std::function<void(HWND)>& whileOpen) {
  std::atomic<bool> ended{false};
  std::atomic<bool> seen{false};
  std::thread watcher([&] {
    HWND window = nullptr;
    for (int i = 0; i < 1000 && !window && !ended; ++i) {
      window = FindWindowA("#32770", caption);
      if (window && !IsWindowVisible(window)) window = nullptr;
      Sleep(10);
    }
    if (!window) return;
    seen = true;
    whileOpen(window);
    if (!ended) PostMessageA(window, WM_CLOSE, 0, 0);
  });
  doModal();
  ended = true;
  watcher.join();
  EXPECT_TRUE(seen) << caption;
}

struct TooltipSearch {
  HWND owner, found;
};

BOOL CALLBACK FindTooltip(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<TooltipSearch*>(param);
  char cls[64] = "";
  GetClassNameA(window, cls, sizeof cls);
  if (lstrcmpiA(cls, TOOLTIPS_CLASSA) != 0 || GetWindow(window, GW_OWNER) != search->owner)
    return TRUE;
  search->found = window;
  return FALSE;
}

// The tooltip window that `owner` made for itself.
HWND TooltipOf(HWND owner) {
  TooltipSearch search{owner, nullptr};
  EnumThreadWindows(GetWindowThreadProcessId(owner, nullptr), FindTooltip,
                    reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void AddRow(HWND dialog, int listId, const char* text) {
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.pszText = const_cast<char*>(text);
  SendDlgItemMessageA(dialog, listId, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

class DialogDpi : public testing::Test {
 protected:
  DialogDpi() : appData("ui-dpi") {
    services.sharedBlockName = "velmora ui dpi test block";
    app = std::make_unique<CAssistantApp>(desktop, services);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
  }
  ScopedAppData appData;
  FakeDesktop desktop;
  AppServices services;
  std::unique_ptr<CAssistantApp> app;
};

}  // namespace

TEST_F(DialogDpi, LoginDialogAndItsUnderlinedServerLink) {
  CLoginDlg login(app->LoginContextFor("", 0));
  RunModal("登录Velmora平台", [&] { return login.DoModal(nullptr); }, [&](HWND h) {
    HWND label = GetDlgItem(h, IDC_LOGIN_SERVER_LABEL);
    RECT opened{};
    SendDlgItemMessageA(h, IDC_LOGIN_SERVER, CB_GETDROPPEDCONTROLRECT, 0,
                        reinterpret_cast<LPARAM>(&opened));
    const int droppedBefore = opened.bottom - opened.top;
    CheckMoveToTwiceTheDpi(h);
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(label, WM_GETFONT, 0, 0)), sizeof font, &font);
    EXPECT_TRUE(font.lfUnderline);
    // Moved there and back, the combo box drops down as long a list as before.
    HWND server = GetDlgItem(h, IDC_LOGIN_SERVER);
    RECT dropped{};
    SendMessageA(server, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    EXPECT_EQ(dropped.bottom - dropped.top, droppedBefore);
  });
}

TEST_F(DialogDpi, ListsKeepTheirRowsAndColumnsInProportion) {
  CSettingsStore& settings = *app->m_pSettings;
  settings.UpdateAccount("a.cn", 80, "u-a", "p-a", 1, 0, 0, 1, 2, "s");
  CServerListDlg servers(settings, desktop);
  RunModal("服务器列表", [&] { return servers.DoModal(nullptr); }, CheckMoveToTwiceTheDpi);

  CExamErrStore store;
  CExamErrListDlg failures(store, desktop);
  RunModal("实验记录提交失败列表", [&] { return failures.DoModal(nullptr); }, [&](HWND h) {
    AddRow(h, IDC_EXAMERR_LIST, "自由落体");
    CheckMoveToTwiceTheDpi(h);
  });
}

TEST_F(DialogDpi, ServerListRowsAndColumnOpenForTheScreensDpi) {
  CSettingsStore& settings = *app->m_pSettings;
  settings.UpdateAccount("a.cn", 80, "u-a", "p-a", 1, 0, 0, 1, 2, "s");
  CServerListDlg servers(settings, desktop);
  RunModal("服务器列表", [&] { return servers.DoModal(nullptr); }, [&](HWND h) {
    const int dpi = WindowDpi(h);
    Measures opened = Measure(h);
    EXPECT_EQ(opened[std::to_string(IDC_SERVER_LIST) + " row"], ScaleToDpi(22, dpi));
    EXPECT_EQ(opened[std::to_string(IDC_SERVER_LIST) + " column 0"], ScaleToDpi(260, dpi));
  });
}

TEST_F(DialogDpi, SmallDialogsFollowToo) {
  SharedState state{};
  CCdnServerDlg cdn(state, desktop);
  RunModal("CDN服务器", [&] { return cdn.DoModal(nullptr); }, CheckMoveToTwiceTheDpi);

  HWND parent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  HFONT madeForTwice = nullptr;
  {
    CDownloadProgressDlg progress;
    ASSERT_TRUE(progress.Create(parent));
    HWND h = progress.GetSafeHwnd();
    CheckMoveToTwiceTheDpi(h);
    // Closed while on the other screen: the font made for it goes too.
    SendDpi(h, 2 * WindowDpi(h), WindowRect(h));
    madeForTwice = reinterpret_cast<HFONT>(SendDlgItemMessageA(h, IDC_DOWNLOAD_CANCEL, WM_GETFONT, 0, 0));
    EXPECT_NE(GetObjectType(madeForTwice), 0u);
  }
  EXPECT_EQ(GetObjectType(madeForTwice), 0u);
  DestroyWindow(parent);
}

// The download bar draws its text and sizes its tip itself: moved to a
// screen of twice the DPI it takes the system's rectangle and its tip
// twice the width, and moved back both are as they were.
TEST_F(DialogDpi, DownloadBarFollowsToo) {
  CDownloadBarDlg bar(desktop);
  bar.m_strUrl = "http://127.0.0.1:1/VelmoraTool/player.exe";  // fails at once, the bar stays
  bar.m_strPath = "dpi-bar-none";
  RunModal("下载", [&] { return bar.DoModal(nullptr); }, [&](HWND h) {
    HWND tip = TooltipOf(h);
    ASSERT_NE(tip, nullptr);
    const int dpi = WindowDpi(h);
    EXPECT_EQ(SendMessageA(tip, TTM_GETMAXTIPWIDTH, 0, 0), ScaleToDpi(360, dpi));
    const RECT window = WindowRect(h);
    RECT suggested = window;
    suggested.right = window.left + 2 * (window.right - window.left);
    suggested.bottom = window.top + 2 * (window.bottom - window.top);
    SendDpi(h, 2 * dpi, suggested);
    RECT moved = WindowRect(h);
    EXPECT_TRUE(EqualRect(&moved, &suggested));
    EXPECT_EQ(SendMessageA(tip, TTM_GETMAXTIPWIDTH, 0, 0), ScaleToDpi(360, 2 * dpi));
    SendDpi(h, dpi, window);
    moved = WindowRect(h);
    EXPECT_TRUE(EqualRect(&moved, &window));
    EXPECT_EQ(SendMessageA(tip, TTM_GETMAXTIPWIDTH, 0, 0), ScaleToDpi(360, dpi));
  });
  EXPECT_EQ(bar.GetText(), "下载失败");
}
