#pragma once
#include <cstdint>
#include <list>
#include <string>

#include "store/HeldFile.h"

class CRecordStream;

// One remembered login, one per server. Members are in the order in which
// they are stored in Velmora.data.
class CServerAccount {
 public:
  CServerAccount();

  bool Store(CRecordStream& stream) const;  // the password goes scrambled
  bool Load(CRecordStream& stream);

  std::string m_strReserved1;
  std::string m_strHost;
  int32_t m_nPort = 80;
  std::string m_strUser;
  std::string m_strPassword;
  int32_t m_nUserId = 0;
  int32_t m_bRemember = 0;
  int32_t m_bAutoLogin = 0;
  int32_t m_nIdentity = 0;
  int32_t m_nReserved1 = 0;
  int32_t m_nReserved2 = 0;
  int32_t m_nOrgId = 0;
  int32_t m_nReserved3 = 0;
  std::string m_strOrgName;
  std::string m_strReserved2;
};

// The program's directories, the server used last and the remembered
// accounts (Velmora.data in the data directory).
class CSettingsStore {
 public:
  // Directories below the APPDATA directory (or the shell's application-data
  // folder, or "c:"), created when missing.
  CSettingsStore();
  // Directories below the given base directory, created when missing.
  explicit CSettingsStore(const std::string& baseDir);

  // The first existing directory of: the APPDATA value, the shell's folder, "c:".
  static std::string ChooseBaseDir(const std::string& appData, const std::string& shellFolder);

  std::string DefaultPath() const;  // data directory\Velmora.data
  // An empty path means the default one. A file that stayed held through
  // its load leaves no account and is not saved over until a later load of
  // it gets through (the save returns false).
  bool Load(const std::string& path = std::string());
  bool Save(const std::string& path = std::string()) const;

  // First account of that host (letter case ignored) and port; null when none.
  CServerAccount* FindAccount(const std::string& host, int32_t port);
  // Remembers a login as the last server and in its account (appended when
  // new). Not saved.
  bool UpdateAccount(const std::string& host, int32_t port, const std::string& user,
                     const std::string& password, int32_t remember, int32_t autoLogin,
                     int32_t identity, int32_t userId, int32_t orgId,
                     const std::string& orgName);
  // Takes the account out of the list and frees it; false when not listed.
  bool RemoveAccount(const CServerAccount* account);

  std::string m_strDataDir;
  std::string m_strToolsDir;
  std::string m_strLastHost;
  int32_t m_nLastPort = 80;
  std::list<CServerAccount> m_accounts;

 private:
  CHeldFiles m_heldFiles;
};
