#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "FakeDesktop.h"
#include "res/download_ids.h"
#include "ui/win/DownloadBarDlg.h"
#include "ui/win/DownloadProgressDlg.h"
// The loopback file server of the downloader's own tests.
#include "unit/store/SegmentedDownloaderTestServer.cpp"

namespace {

std::string ControlText(HWND dialog, int id) {
  char text[512] = "";
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

class DownloadWindows : public testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    m_parent = CreateWindowExA(0, "STATIC", "parent", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
    m_dir = std::string("ui_tmp_") + testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(m_dir);
    std::filesystem::create_directory(m_dir);
  }
  void TearDown() override {
    DestroyWindow(m_parent);
    std::error_code ignored;
    std::filesystem::remove_all(m_dir, ignored);
  }

  // Runs the bar modally; `whileOpen` gets its window, then it is left
  // with Escape. Without `whileOpen` the bar has 30 s to end on its own.
  INT_PTR RunBar(CDownloadBarDlg& bar, const std::function<void(HWND)>& whileOpen) {
    std::atomic<bool> ended{false};
    std::thread watcher([&] {
      HWND window = nullptr;
      for (int i = 0; i < 1000 && !window && !ended; ++i) {
        window = FindWindowA(nullptr, "下载");
        Sleep(10);
      }
      if (!window) return;
      if (whileOpen) whileOpen(window);
      for (int i = 0; i < 3000 && !whileOpen && !ended; ++i) Sleep(10);
      if (!ended) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    });
    INT_PTR result = bar.DoModal(nullptr);
    ended = true;
    watcher.join();
    return result;
  }

  HWND m_parent = nullptr;
  std::string m_dir;
};

}  // namespace

TEST_F(DownloadWindows, ProgressDialogShowsPercentAndTicks) {
  CDownloadProgressDlg dialog;
  EXPECT_FALSE(dialog.Create(nullptr));  // only below a window
  ASSERT_TRUE(dialog.Create(m_parent));
  HWND hWnd = dialog.GetSafeHwnd();
  EXPECT_TRUE(GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST);
  dialog.StartTimer();
  // 3 GiB in KiB: more than the 16-bit range of a progress bar.
  dialog.SetRange(0, 3145728);
  dialog.SetRange(0, 10);  // once per download
  dialog.SetPos(1572864);
  EXPECT_EQ(ControlText(hWnd, IDC_DOWNLOAD_PERCENT), "下载进度：50%");
  EXPECT_EQ(SendDlgItemMessageA(hWnd, IDC_DOWNLOAD_BAR, PBM_GETPOS, 0, 0), 1572864);
  EXPECT_EQ(SendDlgItemMessageA(hWnd, IDC_DOWNLOAD_BAR, PBM_GETRANGE, FALSE, 0), 3145728);
  SendMessageA(hWnd, WM_TIMER, 1, 0);
  EXPECT_EQ(ControlText(hWnd, IDC_DOWNLOAD_TIMES), "速度：0 KB/s  耗时：00:00:01  剩时：00:00:00");
  dialog.SetPos(1572864 + 2048);
  SendMessageA(hWnd, WM_TIMER, 1, 0);
  EXPECT_EQ(ControlText(hWnd, IDC_DOWNLOAD_TIMES), "速度：2.0 MB/s  耗时：00:00:02  剩时：00:12:47");
  dialog.StopTimer();
}

TEST_F(DownloadWindows, ProgressDialogCancelHidesAndClosingOnlyFlags) {
  CDownloadProgressDlg dialog;
  ASSERT_TRUE(dialog.Create(m_parent));
  HWND hWnd = dialog.GetSafeHwnd();
  ShowWindow(hWnd, SW_SHOW);
  dialog.StartTimer();
  SendMessageA(hWnd, WM_CLOSE, 0, 0);
  EXPECT_TRUE(dialog.IsCancelled());
  EXPECT_TRUE(IsWindowVisible(hWnd));
  dialog.StartTimer();  // the next download starts uncancelled
  EXPECT_FALSE(dialog.IsCancelled());
  SendMessageA(hWnd, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD_CANCEL, BN_CLICKED),
               (LPARAM)GetDlgItem(hWnd, IDC_DOWNLOAD_CANCEL));
  EXPECT_TRUE(dialog.IsCancelled());
  EXPECT_FALSE(IsWindowVisible(hWnd));
}

TEST_F(DownloadWindows, BarEndsWithOkWhenTheFileIsComplete) {
  std::string content(300000, 'v');
  for (size_t i = 0; i < content.size(); ++i) content[i] = (char)(i * 7);
  RangeServer server(content);
  CDownloadBarDlg bar;
  bar.m_strUrl = server.Url("/VelmoraTool/player.exe");
  bar.m_strPath = m_dir;
  bar.m_strLabel = "正在下载视频插件";
  EXPECT_EQ(RunBar(bar, nullptr), IDOK);
  EXPECT_EQ(bar.GetText(), "下载完成");
  EXPECT_EQ(std::filesystem::file_size(m_dir + "/player.exe"), content.size());
  EXPECT_EQ(server.RangeLines().size(), 11u);  // the probe and ten ranges
}

TEST_F(DownloadWindows, BarThatCannotStartShowsFailure) {
  CDownloadBarDlg bar;
  bar.m_strUrl = "http://127.0.0.1:1/VelmoraTool/player.exe";
  bar.m_strPath = m_dir;
  EXPECT_EQ(RunBar(bar, [&](HWND) { Sleep(200); }), IDCANCEL);
  EXPECT_EQ(bar.GetText(), "下载失败");
}

TEST_F(DownloadWindows, BarAsksBeforeOverwritingAndStaysEmptyOnNo) {
  RangeServer server("new content");
  FILE* old = fopen((m_dir + "/player.exe").c_str(), "wb");
  fputs("old", old);
  fclose(old);
  FakeDesktop desktop;
  desktop.answers = {false};
  CDownloadBarDlg bar(desktop);
  bar.m_strUrl = server.Url("/VelmoraTool/player.exe");
  bar.m_strPath = m_dir;
  EXPECT_EQ(RunBar(bar, [&](HWND) { Sleep(200); }), IDCANCEL);
  ASSERT_EQ(desktop.questions.size(), 1u);
  EXPECT_EQ(desktop.questions[0], "提示|文件“" + m_dir + "\\player.exe”已存在，是否重新下载？");
  EXPECT_EQ(bar.GetText(), "");
  EXPECT_TRUE(server.RangeLines().empty());
  EXPECT_EQ(std::filesystem::file_size(m_dir + "/player.exe"), 3u);
}
