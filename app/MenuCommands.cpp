#include "app/MenuCommands.h"

#include <cctype>
#include <cstdio>

#include "BuildConfig.h"
#include "app/AppLog.h"
#include "app/AppToolCommands.h"
#include "app/AssistantApp.h"
#include "net/MbcsText.h"
#include "net/ServerAddress.h"
#include "platform/Files.h"
#include "platform/FolderPicker.h"
#include "platform/WaitCursor.h"
#include "store/WritableDir.h"
#include "tools/MainMenuLayout.h"
#include "ui/ResourceFiles.h"

namespace {

const char kCaption[] = "提示";

bool IsPlainHostName(const std::string& host) {
  if (host.empty()) return false;
  for (unsigned char c : host)
    if (!(isalnum(c) || c == '.' || c == '-' || c == '_')) return false;
  return true;
}

// The token travels in the query: anything but the unreserved characters
// is escaped so that it cannot end the query or the address.
std::string QueryEscaped(const std::string& text) {
  std::string escaped;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      escaped += static_cast<char>(c);
    } else {
      char hex[4];
      snprintf(hex, sizeof hex, "%%%02X", c);
      escaped += hex;
    }
  }
  return escaped;
}

void Inform(CAssistantApp& app, const std::string& text) {
  app.Desktop().ShowMessage(text, kCaption, platform::MessageIcon::Information, true);
}

std::string LogoDir(CAssistantApp& app) {
  return app.m_pSettings->m_strDataDir + "\\" + app.GetAccountDirName() + "\\LOGO";
}

// One trailing "\" removed. A double-byte character may end in the byte of
// "\" (0x5C): that is part of the folder's name and stays.
std::string WithoutTrailingBackslash(std::string path) {
  bool endsInBackslash = false;
  for (size_t i = 0; i < path.size(); ++i) {
    endsInBackslash = path[i] == '\\';
    if (IsGbkLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      endsInBackslash = false;
      ++i;
    }
  }
  if (endsInBackslash) path.pop_back();
  return path;
}


// Puts back what a login changed in the store, and saves it: the server
// used last and the account remembered for the server that it used.
void UndoLogin(CSettingsStore& settings, CSettingsStore& before) {
  const std::string host = settings.m_strLastHost;
  const int port = settings.m_nLastPort;
  CServerAccount* used = settings.FindAccount(host, port);
  const CServerAccount* previous = before.FindAccount(host, port);
  if (used && previous)
    *used = *previous;
  else if (used)
    settings.RemoveAccount(used);
  settings.m_strLastHost = before.m_strLastHost;
  settings.m_nLastPort = before.m_nLastPort;
  settings.Save();
}

}  // namespace

std::string HomePageUrl(const std::string& host, int port, const std::string& token) {
  const std::string name = ServerHostName(host);
  if (!IsPlainHostName(name)) return std::string();
  const std::string origin = ServerOrigin(host);
  if (MbcsEqualNoCase(name, VELMORA_DEFAULT_HOST))
    return origin + "/index.html?token=" + QueryEscaped(token);
  if (MbcsEqualNoCase(name, VELMORA_SECOND_HOST)) return origin + ":8050/";
  return origin + ":" + std::to_string(port) + "/";
}

void OpenHomePage(CAssistantApp& app) {
  const CSettingsStore& settings = *app.m_pSettings;
  const std::string url = HomePageUrl(settings.m_strLastHost, settings.m_nLastPort, app.m_login.token);
  if (url.empty()) {
    WriteLog(GetLogPath(), "[%s]:平台地址无效，未打开主页：%s\r\n", FormatNow().c_str(),
             settings.m_strLastHost.c_str());
    return;
  }
  app.Desktop().ShellOpen(url);
}

void ChooseResourceDir(CAssistantApp& app, platform::IFolderPicker& picker) {
  CFileListStore& list = *app.m_pFileList;
  const std::string current = list.m_strResourceDir;
  const std::string preset = current != app.m_strFileDir ? current : std::string();
  std::optional<std::string> picked = picker.PickFolder("请选择资源存放的目录：", preset);
  if (!picked) return;
  const std::string chosen = WithoutTrailingBackslash(*picked);
  if (chosen.empty() || MbcsEqualNoCase(chosen, current)) return;
  // Otherwise nothing would move, later downloads would fail there, and the
  // user would still be told that the resources were moved.
  if (!CanCreateFilesIn(chosen)) {
    app.Desktop().ShowMessage("无法在所选目录中保存资源，资源存放目录未更改！", kCaption,
                              platform::MessageIcon::Warning, true);
    return;
  }
  // The directory is saved first: were it not, the next start would look
  // for the moved files where they no longer are.
  list.m_strResourceDir = chosen;
  if (!list.SaveState()) {
    list.m_strResourceDir = current;
    app.Desktop().ShowMessage("设置无法保存（数据文件正被其他程序使用或无法写入），资源存放目录未更改！",
                              kCaption, platform::MessageIcon::Warning, true);
    return;
  }
  platform::CWaitCursor wait;
  MoveListedFiles(list, current, chosen);
  Inform(app, "设置成功，已下载的资源已转移到新目录中！");
}

// Where IT manages updates or the cache server, the menu says so instead of
// offering what the machine's policy decides.
void CheckForUpdateUnlessManaged(CAssistantApp& app) {
  if (app.m_policy.updateCheck) CheckForUpdateFromMenu(app);
  else Inform(app, "本机的软件更新由管理员统一管理，请联系管理员。");
}

void ShowCdnServerUnlessManaged(CAssistantApp& app) {
  if (app.m_policy.cdnServer.empty()) app.ShowCdnServerDialog();
  else Inform(app, "CDN服务器已由管理员设置为：" + app.m_policy.cdnServer);
}

void ClearCachedResources(CAssistantApp& app) {
  if (!app.Desktop().AskYesNo("清空缓存资源后，打开资源需要重新下载，确定要清空么？", kCaption))
    return;
  const CFileListStore& list = *app.m_pFileList;
  DeleteListedFiles(list, list.m_strResourceDir);
  DeleteListedFiles(list, LogoDir(app));
  Inform(app, "清空完毕！");
}

void SwitchAccount(CAssistantApp& app) {
  CSettingsStore& settings = *app.m_pSettings;
  settings.Load();
  CSettingsStore settingsBefore = settings;
  const LoginInfo loginBefore = app.m_login;
  const bool wasLoggedIn = app.m_bLoggedIn;
  const bool loggedIn = app.ShowLoginDialog(settings.m_strLastHost, settings.m_nLastPort);
  // Another account brings its own directories, file list and failed
  // submissions; keeping the previous account's would make the cache
  // commands work on files that are not the current user's. When the new
  // account's directories cannot be made, the previous login stays in force
  // whole, down to the server and account remembered as the last ones.
  const bool otherUser = !wasLoggedIn || app.m_login.userId != loginBefore.userId;
  if (loggedIn && otherUser && !app.SwitchUserDirs()) {
    app.m_login = loginBefore;
    app.m_bLoggedIn = wasLoggedIn;
    UndoLogin(settings, settingsBefore);
  }
  app.UpdateMainWindowTooltip();
}

bool RunMenuCommand(CAssistantApp& app, platform::IFolderPicker& picker, int id) {
  switch (id) {
    case IDM_HOME_PAGE: OpenHomePage(app); return true;
    case IDM_MAKER_SITE: app.Desktop().ShellOpen(MAKER_SITE_URL); return true;
    case IDM_CHECK_UPDATE: CheckForUpdateUnlessManaged(app); return true;
    case IDM_RESOURCE_DIR: ChooseResourceDir(app, picker); return true;
    case IDM_CLEAR_CACHE: ClearCachedResources(app); return true;
    case IDM_CDN_SERVER: ShowCdnServerUnlessManaged(app); return true;
    case IDM_EXAM_ERRORS: app.ShowExamErrorList(); return true;
    case IDM_SWITCH_ACCOUNT: SwitchAccount(app); return true;
    case IDM_SCREEN_CAPTURE: app.StartScreenCapture(); return true;
    default: return RunToolCommand(app, id);
  }
}

MainMenuState MainMenuStateOf(const CAssistantApp& app, bool inTray) {
  MainMenuState state;
  state.loggedIn = app.m_bLoggedIn;
  state.inTray = inTray;
  state.lastHost = app.m_pSettings->m_strLastHost;
  return state;
}
