// Shows the download windows against a server, for the tests and for a look.
//   dlwindows bar <url> <dir> [label]     the tool download bar; exit 1 (IDOK) or 2 (IDCANCEL)
//   dlwindows progress <url> <path>       the progress dialog over a whole-file download;
//                                         exit 0 done, 3 cancelled, 4 failed
// The progress dialog's caption is "下载资源"; the bar's title is "下载".
// One line of UTF-8 on stdout tells the outcome.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "net/Codecs.h"
#include "net/WebClient.h"
#include "ui/win/DownloadBarDlg.h"
#include "ui/win/DownloadProgressDlg.h"

namespace {

void Print(const std::string& ansi) {
  std::string utf8 = AnsiToUtf8(ansi) + "\n";
  fwrite(utf8.data(), 1, utf8.size(), stdout);
  fflush(stdout);
}

int RunBar(const std::string& url, const std::string& dir, const std::string& label) {
  CDownloadBarDlg bar;
  bar.m_strUrl = url;
  bar.m_strPath = dir;
  bar.m_strLabel = label;
  INT_PTR result = bar.DoModal(nullptr);
  Print(std::string("bar ") + (result == IDOK ? "ok " : "cancel ") + bar.GetText());
  return result == IDOK ? 1 : 2;
}

// What the resource command feeds the dialog from the client's progress.
struct ProgressContext {
  CDownloadProgressDlg* dialog;
  CWebClient* client;
};

void OnProgress(int64_t total, int64_t received, void* user) {
  auto* context = static_cast<ProgressContext*>(user);
  context->dialog->SetRange(0, static_cast<int>(total / 1024));
  context->dialog->SetPos(static_cast<int>(received / 1024));
  if (context->dialog->IsCancelled() && !context->client->m_bStopped)
    context->client->StopTransfer();
}

int RunProgress(const std::string& url, const std::string& path) {
  CDownloadProgressDlg dialog;
  if (!dialog.Create(GetDesktopWindow())) {
    Print("progress no dialog " + std::to_string(GetLastError()));
    return 4;
  }
  SetWindowTextA(dialog.GetSafeHwnd(), "下载资源");
  ShowWindow(dialog.GetSafeHwnd(), SW_SHOW);
  CWebClient client;
  ProgressContext context{&dialog, &client};
  client.m_pfnProgress = &OnProgress;
  client.m_pUserData = &context;
  dialog.StartTimer();
  bool done = client.Download(url, path);
  dialog.StopTimer();
  if (dialog.IsCancelled()) {
    Print("progress cancelled");
    return 3;
  }
  Print(done ? "progress done" : "progress failed " + std::to_string(client.m_nError));
  return done ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  CWebClient::StartupSockets();
  std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "bar" && argc >= 4) return RunBar(argv[2], argv[3], argc > 4 ? argv[4] : "正在下载视频插件");
  if (verb == "progress" && argc >= 4) return RunProgress(argv[2], argv[3]);
  Print("usage: dlwindows bar <url> <dir> [label] | progress <url> <path>");
  return 64;
}
