#include "app/AssistantApp.h"

#include <cstdio>

#include "BuildConfig.h"
#include "app/AppExperiments.h"
#include "app/AppLog.h"
#include "app/CommandLine.h"
#include "app/Registration.h"
#include "experiments/ResultSubmission.h"
#include "net/MbcsText.h"
#include "platform/Files.h"
#include "platform/SocketCleanup.h"
#include "platform/Sockets.h"
#include "platform/WaitCursor.h"

namespace {

const char kAppCaption[] = "Velmora助手";
const char kPromptCaption[] = "提示";

bool EnsureDir(const std::string& path) {
  return platform::IsDirectory(path) || platform::CreateDir(path);
}

// Each missing level of an absolute directory is made in turn; prefixes that
// are no directory of their own (a drive, a share) simply fail.
bool EnsureDirWithParents(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
    EnsureDir(path.substr(0, at));
  return EnsureDir(path);
}

void LogLine(const std::string& text) {
  WriteLog(GetLogPath(), "[%s]:%s\r\n", FormatNow().c_str(), text.c_str());
}

}  // namespace

// The stores come first (file list, then settings, which fixes the data and
// tools directories and creates them); the listener and the add-in dialog
// join when their parts exist.
CAssistantApp::CAssistantApp(platform::IDesktop& desktop, const AppServices& services)
    : m_desktop(desktop), m_services(services), m_sharedBlock(services.sharedBlockName) {
  m_pFileList = std::make_unique<CFileListStore>();
  m_pSettings = std::make_unique<CSettingsStore>();
  m_pExamErrors = std::make_unique<CExamErrStore>();
  m_pFileList->SetDataDir(m_pSettings->m_strDataDir);
  std::vector<std::string> rejected;
  m_policy = ReadMachinePolicy(*services.policy, rejected);
  for (const std::string& value : rejected) LogLine("管理员策略的设置无效，已忽略：" + value);
}

// The listener's thread writes into the shared block: it ends first.
CAssistantApp::~CAssistantApp() { m_pCdnListener.reset(); }

int CAssistantApp::Run(const std::string& commandLine) {
  m_strCommandLine = commandLine;
  InitInstance();
  return ExitInstance();
}

bool CAssistantApp::InitInstance() {
  // No window of the program hosts ActiveX controls, so only the socket
  // library needs starting.
  m_bSocketsStarted = platform::StartupSocketLibrary();
  ApplyCdnPolicy();
  SetUpToolPaths();
  OpenSlotMutex();
  m_bAlreadyRunning = IsAlreadyRunning();
  if (!m_bAlreadyRunning && m_policy.updateCheck && !CheckForUpdate()) return false;
  CreateAddinInstallWindow();
  LoadStores();

  std::vector<std::string> tokens;
  if (!SplitCommandLine(m_strCommandLine, tokens)) {
    // Cut to the buffer, the line could name another URL: none is run.
    LogLine("命令行超过" + std::to_string(COMMAND_LINE_LIMIT) + "字节，未执行");
    return false;
  }
  if (tokens.empty()) return false;
  // The program registers its own file as the system knows it: a first token
  // typed relative, or without quotes, names nothing the browser could start.
  const std::string& programPath =
      m_services.programPath.empty() ? tokens[0] : m_services.programPath;
  if (!RegisterProgram(programPath)) return false;
  EnsureDir(m_pSettings->m_strDataDir);

  if (tokens.size() >= 2) {
    RunCommandLineUrl(tokens[1]);
  } else {
    if (m_bAlreadyRunning) return false;  // a second copy without a URL has nothing to do
    if (!ShowLoginDialog(std::string(), 0)) return false;
    PrepareUserDirs();
  }
  if (!m_bAlreadyRunning) RunMainWindow();
  return false;
}

int CAssistantApp::ExitInstance() {
  // A failed submission kept only in memory is written before the process
  // ends, or the user is told that it cannot be.
  CommitKeptFailures(MakeExperimentContext(*this));
  WaitForNetworkWorkers();
  if (m_bSocketsStarted) platform::CleanupSocketLibrary();
  m_bSocketsStarted = false;
  // Saved only once loaded: an early end must not put the defaults over the
  // user's window position and resource directory.
  if (m_bStateLoaded) m_pFileList->SaveState();
  m_slotMutex.Close();
  return 0;
}

void CAssistantApp::SetUpToolPaths() {
  m_toolPaths.windowsDir = platform::WindowsDirectory();
  m_toolPaths.tempDir = platform::TempDirectory();
  // The settings store already chose this directory with its fall-backs, so
  // a missing APPDATA never puts it at the root of a drive.
  m_toolPaths.webDir = m_pSettings->m_strDataDir;
  EnsureDir(m_toolPaths.webDir);
}

void CAssistantApp::LoadStores() {
  m_pFileList->LoadState();
  m_bStateLoaded = true;
  m_pSettings->Load();
}

bool CAssistantApp::OpenSlotMutex() {
  return m_slotMutex.IsOpen() || m_slotMutex.Create(m_services.slotMutexName, false);
}

// Shortcuts first: they look at the registration that was there before.
bool CAssistantApp::RegisterProgram(const std::string& programPath) {
  EnsureShortcuts(*m_services.registry, *m_services.shell, programPath);
  if (RegisterUrlProtocol(*m_services.registry, programPath)) return true;
  LogLine("注册协议失败！");
  m_desktop.ShowMessage("注册Velmora助手失败！\n请右键点击程序“以管理员身份运行”。", kAppCaption,
                        platform::MessageIcon::Stop, true);
  return false;
}

void CAssistantApp::RunCommandLineUrl(const std::string& url) {
  LogLine(url);
  platform::CWaitCursor wait;
  DispatchUrl(url);
}

bool CAssistantApp::IsAlreadyRunning() {
  bool existed = false;
  if (!m_instanceMutex.Create(m_services.instanceMutexName, true, &existed)) return false;
  if (existed) m_instanceMutex.Close();
  return existed;
}

bool CAssistantApp::ClaimDownload(const std::string& fid) {
  if (!OpenSlotMutex() || !m_slotMutex.Lock()) return false;
  bool claimed = ClaimSlot(Shared(), fid);
  m_slotMutex.Unlock();
  return claimed;
}

void CAssistantApp::ReleaseDownload(const std::string& fid) {
  if (!OpenSlotMutex() || !m_slotMutex.Lock()) return;
  ReleaseSlot(Shared(), fid);
  m_slotMutex.Unlock();
}

std::string CAssistantApp::GetAccountDirName() const {
  char name[16];
  snprintf(name, sizeof name, "%08d", (int)m_login.userId);
  return name;
}

void CAssistantApp::ReportDirFailure(const char* caption) {
  m_desktop.ShowMessage("创建Account目录失败！", caption, platform::MessageIcon::Stop, true);
}

bool CAssistantApp::PrepareUserDirs() {
  const std::string& dataDir = m_pSettings->m_strDataDir;
  const std::string accountDir = dataDir + "\\" + GetAccountDirName();
  if (!EnsureDir(accountDir)) {
    ReportDirFailure(kAppCaption);
    return false;
  }
  LoadExamErrors(accountDir + "\\examerr.data");
  m_strFileDir = accountDir + "\\FILE";
  if (!EnsureDir(m_strFileDir)) {
    ReportDirFailure(kAppCaption);
    return false;
  }
  EnsureDir(accountDir + "\\LOGO");
  std::string& resourceDir = m_pFileList->m_strResourceDir;
  // The policy's directory holds a folder per account: another account's
  // (or the shared one of an earlier version) gives way to this account's.
  if (!platform::IsDirectory(resourceDir) ||
      (IsPolicyResourceDir(resourceDir, m_policy.resourceDir) &&
       resourceDir != PolicyAccountResourceDir(m_policy.resourceDir, GetAccountDirName()))) {
    resourceDir = ResourceDirWithoutStoredOne();
    m_pFileList->SaveState();
  }
  m_pFileList->SetUserId(m_login.userId);
  m_pFileList->LoadList();
  return true;
}

bool CAssistantApp::SwitchUserDirs() { return MakeUserDirs(kPromptCaption) && PrepareUserDirs(); }

bool CAssistantApp::MakeUserDirs(const char* failureCaption) {
  const std::string accountDir = m_pSettings->m_strDataDir + "\\" + GetAccountDirName();
  if (!EnsureDir(accountDir) || !EnsureDir(accountDir + "\\FILE")) {
    ReportDirFailure(failureCaption);
    return false;
  }
  EnsureDir(accountDir + "\\LOGO");
  return true;
}

// A cache server set by IT is the one every process uses; otherwise one is
// learnt from announcements unless IT turned that off.
void CAssistantApp::ApplyCdnPolicy() {
  if (!m_policy.cdnServer.empty()) {
    StoreCdnServer(Shared(), m_policy.cdnServer);
    return;
  }
  if (m_policy.cdnAnnouncements && ReadCdnServer(Shared()).empty()) StartCdnListener();
}

// The account's folder in the machine's directory from policy (labs that
// restore the system drive at every start keep downloads elsewhere), else the
// user's FILE directory.
std::string CAssistantApp::ResourceDirWithoutStoredOne() {
  if (m_policy.resourceDir.empty()) return m_strFileDir;
  const std::string dir = PolicyAccountResourceDir(m_policy.resourceDir, GetAccountDirName());
  if (EnsureDirWithParents(dir)) return dir;
  LogLine("管理员策略的资源目录无法创建，使用默认目录：" + dir);
  return m_strFileDir;
}

CServerAccount* CAssistantApp::FindSavedAccount(const std::string& host, int port) {
  CSettingsStore& settings = *m_pSettings;
  if (host.empty()) return settings.FindAccount(settings.m_strLastHost, settings.m_nLastPort);
  // The second built-in platform is known on two ports, whatever the link says.
  if (MbcsEqualNoCase(host, VELMORA_SECOND_HOST)) {
    CServerAccount* account = settings.FindAccount(host, 80);
    return account ? account : settings.FindAccount(host, 8050);
  }
  return settings.FindAccount(host, port);
}

LoginContext CAssistantApp::LoginContextFor(const std::string& host, int port) {
  return LoginContext{LoginTarget{*m_pSettings, m_login, m_bLoggedIn, Desktop()},
                      FindSavedAccount(host, port), host,
                      m_policy.server.empty() ? VELMORA_DEFAULT_HOST : m_policy.server};
}
