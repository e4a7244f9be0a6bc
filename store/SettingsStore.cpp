#include "store/SettingsStore.h"

#include "BuildConfig.h"
#include "net/Codecs.h"
#include "net/MbcsText.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "store/RecordStream.h"

namespace {

const char kDataDirName[] = "VelmoraWeb";
const char kToolsDirName[] = "Tools";
const char kAccountFileName[] = "Velmora.data";
const char kLastResortDir[] = "c:";

void EnsureDirectory(const std::string& path) {
  if (!platform::IsDirectory(path)) platform::CreateDir(path);
}

}  // namespace

CServerAccount::CServerAccount() : m_strHost(VELMORA_DEFAULT_HOST) {}

bool CServerAccount::Store(CRecordStream& out) const {
  return out.WriteString(m_strReserved1) && out.WriteString(m_strHost) &&
         out.WriteInt32(m_nPort) && out.WriteString(m_strUser) &&
         out.WriteString(ScrambleString(m_strPassword)) && out.WriteInt32(m_nUserId) &&
         out.WriteInt32(m_bRemember) && out.WriteInt32(m_bAutoLogin) &&
         out.WriteInt32(m_nIdentity) && out.WriteInt32(m_nReserved1) &&
         out.WriteInt32(m_nReserved2) && out.WriteInt32(m_nOrgId) &&
         out.WriteInt32(m_nReserved3) && out.WriteString(m_strOrgName) &&
         out.WriteString(m_strReserved2);
}

bool CServerAccount::Load(CRecordStream& in) {
  std::string scrambled;
  if (!(in.ReadString(m_strReserved1) && in.ReadString(m_strHost) && in.ReadInt32(m_nPort) &&
        in.ReadString(m_strUser) && in.ReadString(scrambled) && in.ReadInt32(m_nUserId) &&
        in.ReadInt32(m_bRemember) && in.ReadInt32(m_bAutoLogin) && in.ReadInt32(m_nIdentity) &&
        in.ReadInt32(m_nReserved1) && in.ReadInt32(m_nReserved2) && in.ReadInt32(m_nOrgId) &&
        in.ReadInt32(m_nReserved3) && in.ReadString(m_strOrgName) &&
        in.ReadString(m_strReserved2)))
    return false;
  m_strPassword = UnscrambleString(scrambled);
  return true;
}

CSettingsStore::CSettingsStore()
    : CSettingsStore(ChooseBaseDir(platform::GetEnvironmentValue("APPDATA"),
                                   platform::UserAppDataFolder())) {}

CSettingsStore::CSettingsStore(const std::string& baseDir)
    : m_strDataDir(baseDir + "\\" + kDataDirName),
      m_strToolsDir(m_strDataDir + "\\" + kToolsDirName),
      m_strLastHost(VELMORA_DEFAULT_HOST) {
  EnsureDirectory(m_strDataDir);
  EnsureDirectory(m_strToolsDir);
}

std::string CSettingsStore::ChooseBaseDir(const std::string& appData,
                                          const std::string& shellFolder) {
  if (!appData.empty() && platform::IsDirectory(appData)) return appData;
  if (!shellFolder.empty() && platform::IsDirectory(shellFolder)) return shellFolder;
  return kLastResortDir;
}

std::string CSettingsStore::DefaultPath() const {
  return m_strDataDir + "\\" + kAccountFileName;
}

// The last host comes first and the last port last, so a damaged file may
// leave a new host with the previous port. An account is added only when
// read whole; a count of 0 or less means none.
bool CSettingsStore::Load(const std::string& path) {
  m_accounts.clear();
  const std::string file = path.empty() ? DefaultPath() : path;
  const RecordLoad loaded = LoadRecordsWithOutcome(file, [this](CRecordStream& in) {
    m_accounts.clear();
    int32_t count = 0;
    if (!in.ReadString(m_strLastHost) || !in.ReadInt32(count)) return false;
    for (int32_t i = 0; i < count; ++i) {
      CServerAccount account;
      if (!account.Load(in)) return false;
      m_accounts.push_back(std::move(account));
    }
    return in.ReadInt32(m_nLastPort);
  });
  m_heldFiles.NoteLoad(file, loaded == RecordLoad::Held);
  return loaded == RecordLoad::Whole;
}

bool CSettingsStore::Save(const std::string& path) const {
  const std::string file = path.empty() ? DefaultPath() : path;
  if (!m_heldFiles.MaySaveOver(file)) return false;
  return SaveWithBackup(file, [this](CRecordStream& out) {
    if (!out.WriteString(m_strLastHost) || !out.WriteInt32((int32_t)m_accounts.size()))
      return false;
    for (const CServerAccount& account : m_accounts)
      if (!account.Store(out)) return false;
    return out.WriteInt32(m_nLastPort);
  });
}

CServerAccount* CSettingsStore::FindAccount(const std::string& host, int32_t port) {
  for (CServerAccount& account : m_accounts)
    if (account.m_nPort == port && MbcsEqualNoCase(account.m_strHost, host)) return &account;
  return nullptr;
}

bool CSettingsStore::UpdateAccount(const std::string& host, int32_t port, const std::string& user,
                                   const std::string& password, int32_t remember,
                                   int32_t autoLogin, int32_t identity, int32_t userId,
                                   int32_t orgId, const std::string& orgName) {
  m_strLastHost = host;
  m_nLastPort = port;
  CServerAccount* account = FindAccount(host, port);
  if (!account) {
    m_accounts.emplace_back();
    account = &m_accounts.back();
  }
  account->m_strHost = host;
  account->m_nPort = port;
  account->m_strUser = user;
  account->m_strPassword = password;
  account->m_nUserId = userId;
  account->m_bRemember = remember;
  account->m_bAutoLogin = autoLogin;
  account->m_nIdentity = identity;
  account->m_nOrgId = orgId;
  account->m_strOrgName = orgName;
  return true;
}

bool CSettingsStore::RemoveAccount(const CServerAccount* account) {
  for (auto it = m_accounts.begin(); it != m_accounts.end(); ++it) {
    if (&*it == account) {
      m_accounts.erase(it);
      return true;
    }
  }
  return false;
}
