#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuildConfig.h"
#include "StoreTestSupport.h"
#include "net/Codecs.h"
#include "store/RecordStream.h"
#include "store/SettingsStore.h"

namespace {

class Settings : public testing::Test {
 protected:
  std::vector<std::string> Hosts() const {
    std::vector<std::string> hosts;
    for (const CServerAccount& a : store.m_accounts)
      hosts.push_back(a.m_strHost + ":" + std::to_string(a.m_nPort) + ":" + a.m_strUser);
    return hosts;
  }
  void Update(const std::string& host, int port, const std::string& user,
              const std::string& password = "pw") {
    store.UpdateAccount(host, port, user, password, 1, 0, 1, 42, 7, "学校");
  }
  ScratchDir dir;
  CSettingsStore store{dir.Path()};
};

TEST_F(Settings, DefaultsAndDirectories) {
  EXPECT_EQ(store.m_strDataDir, dir / "VelmoraWeb");
  EXPECT_EQ(store.m_strToolsDir, dir / "VelmoraWeb\\Tools");
  EXPECT_TRUE(platform::IsDirectory(store.m_strDataDir));
  EXPECT_TRUE(platform::IsDirectory(store.m_strToolsDir));
  EXPECT_EQ(store.m_strLastHost, VELMORA_DEFAULT_HOST);
  EXPECT_EQ(store.m_nLastPort, 80);
  EXPECT_EQ(store.DefaultPath(), dir / "VelmoraWeb\\Velmora.data");
  EXPECT_FALSE(store.Load());
  EXPECT_TRUE(store.m_accounts.empty());
  EXPECT_EQ(store.m_strLastHost, VELMORA_DEFAULT_HOST);
}

TEST_F(Settings, BaseDirectoryFallsBackToTheShellFolderThenDriveC) {
  const std::string missing = dir / "missing";
  EXPECT_EQ(CSettingsStore::ChooseBaseDir(dir.Path(), missing), dir.Path());
  EXPECT_EQ(CSettingsStore::ChooseBaseDir(missing, dir.Path()), dir.Path());
  EXPECT_EQ(CSettingsStore::ChooseBaseDir("", dir.Path()), dir.Path());
  EXPECT_EQ(CSettingsStore::ChooseBaseDir(missing, ""), "c:");
  WriteFileBytes(dir / "plain", "x");  // a file is not a directory
  EXPECT_EQ(CSettingsStore::ChooseBaseDir(dir / "plain", missing), "c:");
}

// A new account carries empty reserved strings and zero reserved numbers,
// and its password only in scrambled form.
TEST_F(Settings, NewAccountIsStoredFieldByField) {
  EXPECT_TRUE(store.UpdateAccount("h", 8080, "u", "pw", 1, 1, 2, 42, 7, "Org"));
  ASSERT_TRUE(store.Save());
  const std::string pw = ScrambleString("pw");
  ASSERT_NE(pw, "pw");
  const std::string expected = Bytes({1, 'h', 1, 0, 0, 0}) +                 // last host, count
                               Bytes({0, 1, 'h', 0x90, 0x1F, 0, 0, 1, 'u'}) +  // fields 1-4
                               std::string(1, (char)pw.size()) + pw +          // field 5
                               Bytes({42, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0}) +
                               Bytes({0, 0, 0, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0}) +
                               Bytes({3, 'O', 'r', 'g', 0}) +                  // fields 14-15
                               Bytes({0x90, 0x1F, 0, 0});                      // last port
  EXPECT_EQ(ReadFileBytes(store.DefaultPath()), expected);
}

TEST_F(Settings, EmptyPasswordIsStoredAsTheEmptyString) {
  store.UpdateAccount("h", 1, "u", "", 0, 0, 0, 0, 0, "");
  ASSERT_TRUE(store.Save());
  std::string bytes = ReadFileBytes(store.DefaultPath());
  // last host, count, reserved, host, port, user, then the password field.
  EXPECT_EQ(bytes.substr(2 + 4 + 1 + 2 + 4 + 2, 1), Bytes({0}));
  CSettingsStore again(dir.Path());
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.m_accounts.front().m_strPassword, "");
}

TEST_F(Settings, FindAccountIgnoresLetterCaseButNotThePort) {
  Update("Edu.Example.CN", 80, "a");
  Update("学校.cn", 80, "b");
  ASSERT_NE(store.FindAccount("edu.example.cn", 80), nullptr);
  EXPECT_EQ(store.FindAccount("EDU.EXAMPLE.CN", 80)->m_strUser, "a");
  EXPECT_EQ(store.FindAccount("edu.example.cn", 81), nullptr);
  EXPECT_EQ(store.FindAccount("学校.CN", 80)->m_strUser, "b");
  EXPECT_EQ(store.FindAccount("edu.example.cn.", 80), nullptr);
}

TEST_F(Settings, UpdateOfAKnownServerChangesItInPlace) {
  Update("a.cn", 80, "first");
  Update("b.cn", 80, "second");
  Update("a.cn", 8080, "third");
  store.UpdateAccount("A.CN", 80, "changed", "new", 0, 1, 0, 99, 5, "Name");
  EXPECT_EQ(Hosts(), (std::vector<std::string>{"A.CN:80:changed", "b.cn:80:second",
                                                "a.cn:8080:third"}));
  EXPECT_EQ(store.m_strLastHost, "A.CN");
  EXPECT_EQ(store.m_nLastPort, 80);
  const CServerAccount& a = store.m_accounts.front();
  EXPECT_EQ(a.m_strPassword, "new");
  EXPECT_EQ(a.m_nUserId, 99);
  EXPECT_EQ(a.m_bAutoLogin, 1);
  EXPECT_EQ(a.m_nOrgId, 5);
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFileBytes(store.DefaultPath()).substr(5, 4), Bytes({3, 0, 0, 0}));
}

TEST_F(Settings, AccountsRoundTripAndEmptyPathMeansTheDefaultFile) {
  Update("a.cn", 80, "用户", "密码 with spaces");
  Update("b.cn", 81, "u2");
  store.m_accounts.back().m_strReserved1 = "r1";
  store.m_accounts.back().m_nReserved3 = -3;
  ASSERT_TRUE(store.Save(""));
  for (const std::string& path : {std::string(), store.DefaultPath()}) {
    CSettingsStore again(dir.Path());
    ASSERT_TRUE(again.Load(path)) << path;
    EXPECT_EQ(again.m_strLastHost, "b.cn");
    EXPECT_EQ(again.m_nLastPort, 81);
    ASSERT_EQ(again.m_accounts.size(), 2u);
    EXPECT_EQ(again.m_accounts.front().m_strUser, "用户");
    EXPECT_EQ(again.m_accounts.front().m_strPassword, "密码 with spaces");
    EXPECT_EQ(again.m_accounts.back().m_strReserved1, "r1");
    EXPECT_EQ(again.m_accounts.back().m_nReserved3, -3);
  }
  const std::string other = dir / "other.data";
  ASSERT_TRUE(store.Save(other));
  EXPECT_TRUE(platform::FileExists(other));
}

// Accounts read whole before the damage stay; the last host is already read
// while the port keeps the value it had.
TEST_F(Settings, DamagedFileKeepsWholeAccountsAndThePreviousPort) {
  Update("a.cn", 80, "one");
  Update("b.cn", 90, "two");
  ASSERT_TRUE(store.Save());
  std::string bytes = ReadFileBytes(store.DefaultPath());
  WriteFileBytes(store.DefaultPath(), bytes.substr(0, bytes.size() - 10));
  CSettingsStore again(dir.Path());
  again.m_nLastPort = 1234;
  EXPECT_FALSE(again.Load());
  EXPECT_EQ(again.m_strLastHost, "b.cn");
  EXPECT_EQ(again.m_nLastPort, 1234);
  ASSERT_EQ(again.m_accounts.size(), 1u);
  EXPECT_EQ(again.m_accounts.front().m_strUser, "one");
}

// With a backup beside it, a cut or missing account file gives the previous
// save whole: the accounts are not added to those of the cut file.
TEST_F(Settings, CutOrMissingFileLoadsThePreviousSave) {
  Update("a.cn", 80, "one");
  ASSERT_TRUE(store.Save());
  Update("b.cn", 90, "two");
  ASSERT_TRUE(store.Save());
  std::string bytes = ReadFileBytes(store.DefaultPath());
  for (bool missing : {false, true}) {
    if (missing)
      platform::DeleteFileAt(store.DefaultPath());
    else
      WriteFileBytes(store.DefaultPath(), bytes.substr(0, bytes.size() - 10));
    CSettingsStore again(dir.Path());
    EXPECT_TRUE(again.Load()) << missing;
    EXPECT_EQ(again.m_nLastPort, 80) << missing;
    ASSERT_EQ(again.m_accounts.size(), 1u) << missing;
    EXPECT_EQ(again.m_accounts.front().m_strUser, "one");
  }
}

TEST_F(Settings, NegativeOrHugeAccountCounts) {
  WriteFileBytes(store.DefaultPath(), Bytes({1, 'h', 0xFF, 0xFF, 0xFF, 0xFF, 0x50, 0, 0, 0}));
  EXPECT_TRUE(store.Load());
  EXPECT_TRUE(store.m_accounts.empty());
  EXPECT_EQ(store.m_nLastPort, 0x50);
  WriteFileBytes(store.DefaultPath(), Bytes({1, 'h', 0xFF, 0xFF, 0xFF, 0x7F, 0, 1, 'x'}));
  EXPECT_FALSE(store.Load());
  EXPECT_TRUE(store.m_accounts.empty());
}

TEST_F(Settings, PasswordThatIsNotScrambledTextLoadsAsWhatUnscrambleMakesOfIt) {
  WriteFileBytes(store.DefaultPath(),
                 Bytes({1, 'h', 1, 0, 0, 0, 0, 1, 'h', 80, 0, 0, 0, 1, 'u', 3, '!', '!', '!'}) +
                     std::string(8 * 4 + 2, '\0') + Bytes({80, 0, 0, 0}));
  EXPECT_TRUE(store.Load());
  EXPECT_EQ(store.m_nLastPort, 80);
  ASSERT_EQ(store.m_accounts.size(), 1u);
  EXPECT_EQ(store.m_accounts.front().m_strPassword, UnscrambleString("!!!"));
}

TEST_F(Settings, RemoveAccountUnlinksOnlyThatAccount) {
  Update("a.cn", 80, "one");
  Update("b.cn", 80, "two");
  CServerAccount* first = store.FindAccount("a.cn", 80);
  EXPECT_TRUE(store.RemoveAccount(first));
  EXPECT_EQ(Hosts(), (std::vector<std::string>{"b.cn:80:two"}));
  CServerAccount stranger;
  EXPECT_FALSE(store.RemoveAccount(&stranger));
  EXPECT_EQ(store.m_accounts.size(), 1u);
}

}  // namespace
