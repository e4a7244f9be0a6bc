#include "ui/LoginRules.h"

#include <cstring>

#include "BuildConfig.h"
#include "app/CertificateNotice.h"
#include "net/MbcsText.h"
#include "net/ServerAddress.h"
#include "platform/WaitCursor.h"
#include "store/SettingsStore.h"

namespace {

constexpr char kPromptCaption[] = "提示";
constexpr int kOtherPlatformPort = 9112;

// A host goes into "http://%s:%d/..." unencoded: nothing in it may end the
// authority part or split the request line.
bool IsUrlHost(const std::string& host) {
  if (host.empty()) return false;
  for (unsigned char c : host)
    if (c <= ' ' || c == 0x7F || strchr(":/\\@?#", c)) return false;
  return true;
}

bool ParsePort(const std::string& text, int& port) {
  if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  port = std::stoi(text);
  return port >= 1 && port <= 65535;
}

}  // namespace

std::string ServerLabel(const std::string& host, int port) {
  return port == DefaultServerPort(host) ? host : host + ":" + std::to_string(port);
}

ServerText ParseServerText(const std::string& text, std::string& host, int& port) {
  const std::string entry = TrimSpaces(text);
  if (entry.empty()) return ServerText::Empty;
  const std::string server = ServerHostName(entry);
  size_t colon = server.rfind(':');
  std::string name = server.substr(0, colon);
  int number = DefaultServerPort(entry);
  if (colon != std::string::npos && !ParsePort(server.substr(colon + 1), number))
    return ServerText::Invalid;
  if (!IsUrlHost(name)) return ServerText::Invalid;
  host = IsSecureServer(entry) ? SECURE_SERVER_SCHEME + name : name;
  port = number;
  return ServerText::Valid;
}

AccountFields FieldsOfAccount(const CServerAccount& account) {
  AccountFields fields;
  fields.identity = account.m_nIdentity != 0 ? 1 : 0;
  fields.remember = account.m_bRemember != 0;
  fields.autoLogin = account.m_bAutoLogin != 0;
  fields.fillCredentials = fields.remember || fields.autoLogin;
  if (fields.fillCredentials) {
    fields.user = account.m_strUser;
    fields.password = account.m_strPassword;
  }
  return fields;
}

LoginPreset MakeLoginPreset(const CSettingsStore& settings, const CServerAccount* found,
                            const std::string& server, const std::string& defaultServer) {
  LoginPreset preset;
  for (const CServerAccount& account : settings.m_accounts) {
    if (&account == found) preset.selected = static_cast<int>(preset.items.size());
    preset.items.push_back({ServerLabel(account.m_strHost, account.m_nPort), account.m_strHost,
                            account.m_nPort});
  }
  if (found) {
    preset.fields = FieldsOfAccount(*found);
    return preset;
  }
  if (server.empty())
    preset.serverText = defaultServer;
  else if (MbcsEqualNoCase(server, VELMORA_DEFAULT_HOST) ||
           MbcsEqualNoCase(server, VELMORA_SECOND_HOST))
    preset.serverText = server;
  else
    preset.serverText = ServerLabel(server, kOtherPlatformPort);
  return preset;  // identity 0, both boxes ticked, empty account and password
}

bool FieldsOfItem(CSettingsStore& settings, const LoginServerItem& item, AccountFields& fields) {
  const CServerAccount* account = settings.FindAccount(item.host, item.port);
  if (!account) return false;
  fields = FieldsOfAccount(*account);
  return true;
}

bool SubmitLogin(const LoginInput& input, LoginTarget target, const LoginCall& call) {
  std::string host;
  int port = 0;
  switch (ParseServerText(input.serverText, host, port)) {
    case ServerText::Empty:
      target.desktop.ShowMessage("请填写服务器地址！", kPromptCaption,
                                 platform::MessageIcon::Information, false);
      return false;
    case ServerText::Invalid:
      target.desktop.ShowMessage("服务器地址填写错误！", kPromptCaption,
                                 platform::MessageIcon::Information, false);
      return false;
    case ServerText::Valid:
      break;
  }
  if (input.user.empty()) return false;

  // A failed login changes nothing: the reply is taken into a record of its
  // own and becomes the application's login only on success.
  LoginInfo info = target.login;
  int schoolId = 0, ret = 0;
  std::string schoolName;
  bool replied = false, ok = false;
  {
    platform::CWaitCursor wait;
    ok = call(host, port, input.user, input.password, info, schoolId, schoolName, replied,
              input.identity, std::string(), ret);
  }
  if (!ok) {
    CertificateRejection rejection;
    if (CPlatformApi::TakeCertificateRejection(rejection))
      TellCertificateRejected(target.desktop, rejection);
    else
      target.desktop.ShowMessage(LoginFailureMessage(replied, ret), kPromptCaption,
                                 platform::MessageIcon::Warning, false);
    return false;
  }
  target.login = info;
  target.loggedIn = true;
  // A password that the user chose not to have remembered, and that no
  // automatic login needs, is not written to the account file.
  const bool keepPassword = input.remember || input.autoLogin;
  target.settings.UpdateAccount(host, port, input.user, keepPassword ? input.password : "",
                                input.remember, input.autoLogin, input.identity, info.userId,
                                schoolId, schoolName);
  target.settings.Save();
  return true;
}
