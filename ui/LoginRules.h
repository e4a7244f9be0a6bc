#pragma once
#include <functional>
#include <string>
#include <vector>

#include "BuildConfig.h"
#include "net/PlatformApi.h"
#include "platform/Desktop.h"

class CServerAccount;
class CSettingsStore;

// How a saved server is shown in the lists: its host on its scheme's default
// port (80, 443 for "https://host"), else "host:port"; the dialog reads the
// label back as the same server.
std::string ServerLabel(const std::string& host, int port);

// A server text of the login dialog: blanks at both ends are ignored; "host"
// means port 80, "host:port" the port after the last colon, and either after
// "https://" (any case) a server reached over HTTPS, port 443 by default,
// kept as "https://host". A port must be 1-65535 written in digits, and the
// host must be usable in a URL as it is.
enum class ServerText { Valid, Empty, Invalid };
ServerText ParseServerText(const std::string& text, std::string& host, int& port);

// What a saved account puts into the dialog: identity, both check boxes and,
// when either box is ticked, its account and password.
struct AccountFields {
  int identity = 0;
  bool remember = true;
  bool autoLogin = true;
  bool fillCredentials = true;  // false: the account and password edits keep their text
  std::string user;
  std::string password;
};
AccountFields FieldsOfAccount(const CServerAccount& account);

// One entry of the server list: the saved account it stands for is looked up
// again by host and port when it is chosen, since the server list dialog may
// have deleted it meanwhile.
struct LoginServerItem {
  std::string label;
  std::string host;
  int port = 80;
};

// The dialog as it opens.
struct LoginPreset {
  std::vector<LoginServerItem> items;  // every saved account, in store order
  int selected = -1;                   // the found account's item; -1 when none
  std::string serverText;              // the server text when no account was found
  AccountFields fields;
};
// `found` is the saved account of the opener's server (null when none);
// `defaultServer` stands where neither names one (the built-in platform, or
// the one IT set for the machine).
LoginPreset MakeLoginPreset(const CSettingsStore& settings, const CServerAccount* found,
                            const std::string& server,
                            const std::string& defaultServer = VELMORA_DEFAULT_HOST);

// The fields of a chosen list entry; false when its account is no longer saved.
bool FieldsOfItem(CSettingsStore& settings, const LoginServerItem& item, AccountFields& fields);

// What the user has typed when pressing "登录(&L)".
struct LoginInput {
  std::string serverText;
  int identity = 0;
  std::string user;  // not trimmed
  std::string password;
  bool remember = false;
  bool autoLogin = false;
};

// CPlatformApi::Login's signature: tests put in a scripted server.
using LoginCall = std::function<bool(const std::string& host, int port, const std::string& user,
                                     const std::string& password, LoginInfo& info, int& schoolId,
                                     std::string& schoolName, bool& replied, int kind,
                                     const std::string& fid, int& ret)>;

// Where a successful login goes: the application's login state and store.
struct LoginTarget {
  CSettingsStore& settings;
  LoginInfo& login;
  bool& loggedIn;
  platform::IDesktop& desktop;
};

// Checks the input, logs in with the wait cursor and, on success, records
// the login and saves the account. Every refusal is told to the user, except
// an empty account, which does nothing. True when logged in.
bool SubmitLogin(const LoginInput& input, LoginTarget target,
                 const LoginCall& call = &CPlatformApi::Login);

// What the login dialog is opened with: where a login goes, the saved
// account of the server it opens for (null when none; read only as the
// dialog opens, since the server list it offers may remove it), that server
// (may be empty) and the one offered where neither names one.
struct LoginContext {
  LoginTarget target;
  const CServerAccount* savedAccount;
  std::string server;
  std::string defaultServer;
};
