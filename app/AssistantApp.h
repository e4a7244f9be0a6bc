#pragma once
#include <memory>
#include <string>
#include <vector>

#include "app/CdnListener.h"
#include "app/DownloadProgress.h"
#include "app/MachinePolicy.h"
#include "app/SharedState.h"
#include "app/UrlCommand.h"
#include "experiments/ExamErrStore.h"
#include "net/PlatformApi.h"
#include "platform/Desktop.h"
#include "platform/Registry.h"
#include "platform/ShellLink.h"
#include "platform/Sync.h"
#include "platform/SystemDirs.h"
#include "store/FileListStore.h"
#include "store/SettingsStore.h"
#include "tools/ToolInfo.h"
#include "ui/LoginRules.h"

// The system objects that start-up works on. The program takes the defaults;
// a test puts in fakes and object names of its own.
class IToolFetcher;

struct AppServices {
  platform::IRegistry* registry = &platform::SystemRegistry();
  platform::IPolicyStore* policy = &platform::MachinePolicyStore();
  platform::IShortcutShell* shell = &platform::SystemShortcutShell();
  std::string programPath = platform::ProgramPath();  // empty: the command line's first token
  std::string instanceMutexName = INSTANCE_MUTEX_NAME;
  std::string slotMutexName = SLOT_MUTEX_NAME;
  std::string sharedBlockName = SHARED_BLOCK_NAME;
  uint16_t cdnPort = CDN_BROADCAST_PORT;  // 0: any free port
  IToolFetcher* toolFetcher = nullptr;    // the tool server's files; null: the system's HTTP client
};

// Directories of the companion tools, set up at start-up.
struct ToolPaths {
  std::string windowsDir;  // ends in "\"
  std::string tempDir;     // ends in "\"
  std::string webDir;      // the data directory, APPDATA\VelmoraWeb
};

// The application object: one per process, built before start-up. Every
// start of the program is a process of its own; the first one (holding the
// single-instance mutex) also runs the main window.
class CAssistantApp {
 public:
  explicit CAssistantApp(platform::IDesktop& desktop = platform::SystemDesktop(),
                         const AppServices& services = AppServices());
  virtual ~CAssistantApp();
  CAssistantApp(const CAssistantApp&) = delete;
  CAssistantApp& operator=(const CAssistantApp&) = delete;

  // What fetches the tool server's files (AppServices::toolFetcher).
  IToolFetcher& ToolFetcher();

  // The process's whole life from its command line; the exit code.
  int Run(const std::string& commandLine);
  // Start-up; always false: the process ends when it returns.
  bool InitInstance();
  int ExitInstance();

  // Creates the single-instance mutex: true when another process holds it.
  bool IsAlreadyRunning();
  // Download slots of the shared block, under the slot mutex.
  bool ClaimDownload(const std::string& fid);
  void ReleaseDownload(const std::string& fid);
  // The logged-in user's directories (account, FILE, LOGO) and file list.
  bool PrepareUserDirs();
  // The same for a login that replaces another user's: the stores change
  // only once every directory is there. False, told with the caption
  // "提示", when they cannot be made; nothing has changed then.
  bool SwitchUserDirs();
  // The account directory's name: the user id as "%08d".
  std::string GetAccountDirName() const;
  SharedState& Shared() { return m_sharedBlock.State(); }
  platform::IDesktop& Desktop() { return m_desktop; }

  // Carries out one velmoraurl:// URL; the result is not looked at by callers.
  int DispatchUrl(const std::string& url);
  // The resource form: login, permission, download slot, then open or download.
  int RunResourceCommand(CUrlCommand& command);
  // The remembered account of a server (an empty host: the server used
  // last); null when none is remembered.
  CServerAccount* FindSavedAccount(const std::string& host, int port);
  // What the login dialog opens with for a server (an empty host: the one
  // used last), a login there going to this application.
  LoginContext LoginContextFor(const std::string& host, int port);
  // A resource's file on disk: an experiment is run and its result
  // submitted, anything else is opened by the shell. 0 when an experiment
  // cannot be started.
  int OpenResourceFile(const std::string& path, CUrlCommand& command);
  // The application's title: the program file's name without its extension.
  std::string GetAppTitle() const;
  // The listener's handler (the application is its user pointer): an
  // announcement with msgid 0 and a usable "server" sets the CDN server of
  // every process and ends the listening. Always 1.
  static int OnCdnBroadcast(const char* payload, int length, uint32_t senderAddress,
                            uint16_t senderPort, void* user);
  // A video streamed in the companion viewer, which is installed first
  // when missing (on the user's Yes).
  void PlayOnlineVideo(CUrlCommand& command);
  // The companion tools from the tool server with the download bar: the
  // viewer's installer, run hidden and waited for; the micro-course tool.
  bool DownloadVideoViewer();
  bool DownloadCourseTool();

  LoginInfo m_login;
  bool m_bLoggedIn = false;
  bool m_bAlreadyRunning = false;
  std::unique_ptr<CSettingsStore> m_pSettings;
  std::unique_ptr<CFileListStore> m_pFileList;
  std::unique_ptr<CExamErrStore> m_pExamErrors;  // the logged-in user's failed submissions
  std::unique_ptr<CCdnListener> m_pCdnListener;  // made when start-up starts it
  std::string m_strFileDir;
  ToolPaths m_toolPaths;
  ToolInfo m_toolInfo;  // the tool server's description, fetched at start-up
  MachinePolicy m_policy;  // what IT set for the machine, read once at start-up

 protected:
  // Where later parts of the program join start-up. Until they exist each
  // does nothing, and the login reports "not logged in", so a first start
  // without a URL ends.
  virtual void StartCdnListener();          // learns CDN servers from broadcasts
  virtual bool CheckForUpdate() { return true; }  // false: a mandatory update was declined
  virtual void CreateAddinInstallWindow() {}      // hidden until an add-in is installed
  virtual void RunMainWindow() {}           // returns when the user quits
  virtual void LoadExamErrors(const std::string& path);  // failed submissions
  // Blocks until the program's own threads that may still fetch from the
  // network have ended; the socket library stops after it.
  virtual void WaitForNetworkWorkers() {}

 public:
  // The windows that commands open. The portable program has none; the
  // Windows program puts in the real ones, tests put in stand-ins.
  // The login dialog, preset with a server (empty: none) and its port; true
  // when the user logged in.
  virtual bool ShowLoginDialog(const std::string& server, int port) {
    (void)server, (void)port;
    return false;
  }
  virtual void ShowCdnServerDialog() {}    // the CDN server typed in by the user
  virtual void ShowExamErrorList() {}      // the failed submissions ("异常中心")
  virtual void StartScreenCapture() {}     // a region of the screen to the clipboard
  virtual void UpdateMainWindowTooltip() {}  // after a change of account
  // The status window of a plug-in installation (dialog 130); any thread.
  virtual void ShowAddinInstallWindow(bool shown) { (void)shown; }
  // The download bar fetching `url` into `dir`\`name` under `label`, modal,
  // the desktop as parent; true when the file arrived whole.
  virtual bool RunDownloadBar(const std::string& url, const std::string& dir,
                              const std::string& name, const std::string& label) {
    (void)url, (void)dir, (void)name, (void)label;
    return false;
  }
  // The progress window of one resource download, hidden until it starts.
  virtual std::unique_ptr<IDownloadProgress> CreateDownloadProgress();

 private:
  bool LogInForResource(const CUrlCommand& command);
  int OpenLocalFile(const CUrlCommand& command);
  int StartLocalProgram(const CUrlCommand& command);

  void SetUpToolPaths();
  void LoadStores();
  bool OpenSlotMutex();
  bool RegisterProgram(const std::string& programPath);
  void RunCommandLineUrl(const std::string& url);
  void ReportDirFailure(const char* caption);
  bool MakeUserDirs(const char* failureCaption);
  void ApplyCdnPolicy();
  std::string ResourceDirWithoutStoredOne();

  platform::IDesktop& m_desktop;
  AppServices m_services;
  CSharedBlock m_sharedBlock;
  platform::CNamedMutex m_instanceMutex;
  platform::CNamedMutex m_slotMutex;
  std::string m_strCommandLine;
  bool m_bSocketsStarted = false;
  bool m_bStateLoaded = false;
};
