// The data files are shared by both builds of the program: the samples under
// tests/data/store were written by the native build; this suite reads them
// and writes them again, byte for byte, natively and under Wine.
// VELMORA_REGENERATE_SAMPLES=1 rewrites the samples instead of comparing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "BuildConfig.h"
#include "StoreTestSupport.h"
#include "store/FileListStore.h"
#include "store/SettingsStore.h"

namespace {

const std::string kSampleDir = "tests/data/store/";

bool Regenerating() {
  const char* value = std::getenv("VELMORA_REGENERATE_SAMPLES");
  return value && std::string(value) == "1";
}

// ---- the sample contents ----

void FillState(CFileListStore& store) {
  store.m_nWindowLeft = 1000;
  store.m_nWindowTop = -20;
  store.m_strResourceDir = "D:\\资源\\课件";
}

std::vector<FileListEntry> SampleEntries() {
  return {{"1001", "9f8e7d"},
          {"AbC", "哈希-1"},
          {"1001", "duplicate"},
          {"中文编号", std::string(300, 'h')}};
}

std::vector<CServerAccount> SampleAccounts() {
  CServerAccount first;
  first.m_strHost = "www.velmora.cn";
  first.m_strUser = "张三";
  first.m_strPassword = "secret密码";
  first.m_nUserId = 42;
  first.m_bRemember = 1;
  first.m_bAutoLogin = 1;
  first.m_nOrgId = 1001;
  first.m_strOrgName = "实验中学";
  CServerAccount second;
  second.m_strReserved1 = "r";
  second.m_strHost = "10.0.0.5";
  second.m_nPort = 8080;
  second.m_strUser = "teacher";
  second.m_nUserId = 7;
  second.m_nIdentity = 1;
  second.m_nOrgId = 3;
  second.m_nReserved2 = -1;
  second.m_strReserved2 = "保留";
  return {first, second};
}

void FillSettings(CSettingsStore& store, size_t accounts) {
  store.m_strLastHost = "edu.velmora.cn";
  store.m_nLastPort = 8080;
  store.m_accounts.clear();
  std::vector<CServerAccount> all = SampleAccounts();
  for (size_t i = 0; i < accounts; ++i) store.m_accounts.push_back(all[i]);
}

// ---- comparisons ----

std::vector<std::string> EntryTexts(const std::list<FileListEntry>& entries) {
  std::vector<std::string> texts;
  for (const FileListEntry& e : entries) texts.push_back(e.m_strFileId + "=" + e.m_strHash);
  return texts;
}

std::vector<std::string> AccountTexts(const std::list<CServerAccount>& accounts) {
  std::vector<std::string> texts;
  for (const CServerAccount& a : accounts)
    texts.push_back(a.m_strReserved1 + "|" + a.m_strHost + "|" + std::to_string(a.m_nPort) + "|" +
                    a.m_strUser + "|" + a.m_strPassword + "|" + std::to_string(a.m_nUserId) + "|" +
                    std::to_string(a.m_bRemember) + std::to_string(a.m_bAutoLogin) + "|" +
                    std::to_string(a.m_nIdentity) + "|" + std::to_string(a.m_nReserved1) + "|" +
                    std::to_string(a.m_nReserved2) + "|" + std::to_string(a.m_nOrgId) + "|" +
                    std::to_string(a.m_nReserved3) + "|" + a.m_strOrgName + "|" +
                    a.m_strReserved2);
  return texts;
}

template <class Range>
Range FirstOf(const Range& all, size_t count) {
  return Range(all.begin(), all.begin() + count);
}

// Compares what this build wrote with the checked-in sample (or replaces it).
void ExpectSample(const std::string& written, const std::string& name) {
  const std::string sample = SourceFile(kSampleDir + name);
  if (Regenerating()) {
    WriteFileBytes(sample, ReadFileBytes(written));
    return;
  }
  EXPECT_EQ(ReadFileBytes(written), ReadFileBytes(sample)) << name;
}

class SampleFiles : public testing::Test {
 protected:
  // A scratch copy of the first `size` bytes of a sample.
  void CopySample(const std::string& name, const std::string& to, size_t size = std::string::npos) {
    WriteFileBytes(to, ReadFileBytes(SourceFile(kSampleDir + name)).substr(0, size));
  }
  size_t SampleSize(const std::string& name) {
    return ReadFileBytes(SourceFile(kSampleDir + name)).size();
  }
  CFileListStore ListStore() {
    CFileListStore store;
    store.SetDataDir(dir.Path());
    store.SetUserId(42);
    return store;
  }
  ScratchDir dir;
};

// ---- VelmoraURL.dat ----

TEST_F(SampleFiles, StateFileReadsAndIsWrittenAgainByteForByte) {
  CFileListStore written = ListStore();
  FillState(written);
  ASSERT_TRUE(written.SaveState());
  ExpectSample(written.StatePath(), "VelmoraURL.dat");

  CopySample("VelmoraURL.dat", written.StatePath());
  CFileListStore read = ListStore();
  ASSERT_TRUE(read.LoadState());
  EXPECT_EQ(read.m_nWindowLeft, 1000);
  EXPECT_EQ(read.m_nWindowTop, -20);
  EXPECT_EQ(read.m_strResourceDir, "D:\\资源\\课件");
}

TEST_F(SampleFiles, StateFileCutAtEveryByte) {
  const size_t size = SampleSize("VelmoraURL.dat");
  const size_t directoryEnd = 8 + 1 + std::string("D:\\资源\\课件").size();
  for (size_t cut = 0; cut < size; ++cut) {
    SCOPED_TRACE(cut);
    CFileListStore store = ListStore();
    CopySample("VelmoraURL.dat", store.StatePath(), cut);
    EXPECT_FALSE(store.LoadState());
    EXPECT_EQ(store.m_nWindowTop, cut >= 8 ? -20 : 40);
    EXPECT_EQ(store.m_strResourceDir, cut >= directoryEnd ? "D:\\资源\\课件" : "");
  }
}

// ---- filelist.dat ----

TEST_F(SampleFiles, FileListReadsAndIsWrittenAgainByteForByte) {
  platform::CreateDir(dir / "00000042");
  CFileListStore written = ListStore();
  for (const FileListEntry& e : SampleEntries()) written.m_entries.push_back(e);
  ASSERT_TRUE(written.SaveList());
  ExpectSample(written.ListPath(), "filelist.dat");

  CopySample("filelist.dat", written.ListPath());
  CFileListStore read = ListStore();
  ASSERT_TRUE(read.LoadList());
  const std::vector<FileListEntry> all = SampleEntries();
  EXPECT_EQ(EntryTexts(read.m_entries), EntryTexts({all.begin(), all.end()}));
  EXPECT_EQ(read.FindHash("1001")->m_strHash, "9f8e7d");
}

// A cut inside an entry drops that entry and keeps the ones before it. The
// end of each entry is measured by saving the list up to it.
TEST_F(SampleFiles, FileListCutAtEveryByte) {
  platform::CreateDir(dir / "00000042");
  const std::vector<FileListEntry> all = SampleEntries();
  std::vector<size_t> entryEnds;
  for (size_t k = 1; k <= all.size(); ++k) {
    CFileListStore partial = ListStore();
    for (size_t i = 0; i < k; ++i) partial.m_entries.push_back(all[i]);
    ASSERT_TRUE(partial.SaveList());
    entryEnds.push_back(ReadFileBytes(partial.ListPath()).size());
  }
  const size_t size = SampleSize("filelist.dat");
  ASSERT_EQ(entryEnds.back(), size);
  platform::DeleteFileAt(ListStore().ListPath() + "_OLD");  // a cut file without a backup
  for (size_t cut = 0; cut < size; ++cut) {
    SCOPED_TRACE(cut);
    CFileListStore store = ListStore();
    store.SetHash("stale", "entry");
    CopySample("filelist.dat", store.ListPath(), cut);
    EXPECT_FALSE(store.LoadList());
    size_t whole = 0;
    while (whole < entryEnds.size() && entryEnds[whole] <= cut) ++whole;
    std::vector<FileListEntry> expected = FirstOf(all, whole);
    EXPECT_EQ(EntryTexts(store.m_entries), EntryTexts({expected.begin(), expected.end()}));
  }
}

// ---- Velmora.data ----

TEST_F(SampleFiles, AccountFileReadsAndIsWrittenAgainByteForByte) {
  CSettingsStore written(dir.Path());
  FillSettings(written, 2);
  ASSERT_TRUE(written.Save());
  ExpectSample(written.DefaultPath(), "Velmora.data");

  CopySample("Velmora.data", written.DefaultPath());
  CSettingsStore read(dir.Path());
  ASSERT_TRUE(read.Load());
  EXPECT_EQ(read.m_strLastHost, "edu.velmora.cn");
  EXPECT_EQ(read.m_nLastPort, 8080);
  std::vector<CServerAccount> all = SampleAccounts();
  EXPECT_EQ(AccountTexts(read.m_accounts), AccountTexts({all.begin(), all.end()}));
  EXPECT_EQ(ReadFileBytes(written.DefaultPath()).find("secret"), std::string::npos);
}

TEST_F(SampleFiles, AccountFileCutAtEveryByte) {
  const std::vector<CServerAccount> all = SampleAccounts();
  std::vector<size_t> accountEnds;  // a whole file holds the last port after them
  for (size_t k = 0; k <= all.size(); ++k) {
    CSettingsStore partial(dir.Path());
    FillSettings(partial, k);
    ASSERT_TRUE(partial.Save());
    accountEnds.push_back(ReadFileBytes(partial.DefaultPath()).size() - 4);
  }
  platform::DeleteFileAt(CSettingsStore(dir.Path()).DefaultPath() + "_OLD");
  const size_t hostEnd = 1 + std::string("edu.velmora.cn").size();
  const size_t size = SampleSize("Velmora.data");
  for (size_t cut = 0; cut < size; ++cut) {
    SCOPED_TRACE(cut);
    CSettingsStore store(dir.Path());
    CopySample("Velmora.data", store.DefaultPath(), cut);
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(store.m_strLastHost, cut >= hostEnd ? "edu.velmora.cn" : VELMORA_DEFAULT_HOST);
    EXPECT_EQ(store.m_nLastPort, 80);
    size_t whole = 0;
    while (whole + 1 < accountEnds.size() && accountEnds[whole + 1] <= cut) ++whole;
    std::vector<CServerAccount> expected = FirstOf(all, whole);
    EXPECT_EQ(AccountTexts(store.m_accounts), AccountTexts({expected.begin(), expected.end()}));
  }
}

}  // namespace
