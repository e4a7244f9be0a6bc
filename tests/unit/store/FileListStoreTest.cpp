#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "platform/Screen.h"
#include "store/FileListStore.h"

namespace {

class FileList : public testing::Test {
 protected:
  FileList() {
    store.SetDataDir(dir.Path());
    store.SetUserId(42);
    platform::CreateDir(dir / "00000042");
  }
  std::vector<std::string> Ids() const {
    std::vector<std::string> ids;
    for (const FileListEntry& e : store.m_entries) ids.push_back(e.m_strFileId + "=" + e.m_strHash);
    return ids;
  }
  ScratchDir dir;
  CFileListStore store;
};

TEST_F(FileList, DefaultsAndPaths) {
  EXPECT_EQ(store.m_nWindowLeft, platform::PrimaryScreenWidth() - 300);
  EXPECT_EQ(store.m_nWindowTop, 40);
  EXPECT_EQ(store.m_strResourceDir, "");
  EXPECT_TRUE(store.m_entries.empty());
  EXPECT_EQ(store.StatePath(), dir / "VelmoraURL.dat");
  EXPECT_EQ(store.ListPath(), dir / "00000042\\filelist.dat");

  EXPECT_FALSE(store.LoadState());  // first start: defaults stay
  EXPECT_FALSE(store.LoadList());
  EXPECT_EQ(store.m_nWindowLeft, platform::PrimaryScreenWidth() - 300);
  EXPECT_TRUE(store.m_entries.empty());
}

TEST(FileListWithoutDataDir, NeitherLoadsNorWritesAnything) {
  CFileListStore store;
  store.SetHash("1", "a");
  EXPECT_FALSE(store.SaveState());
  EXPECT_FALSE(store.SaveList());
  EXPECT_FALSE(store.LoadState());
  EXPECT_FALSE(platform::FileExists(store.StatePath()));
}

TEST_F(FileList, StateRoundTripsWithItsExactBytes) {
  store.m_nWindowLeft = -5;
  store.m_nWindowTop = 300;
  store.m_strResourceDir = "D:\\资源";
  store.m_strReserved = "never written";
  ASSERT_TRUE(store.SaveState());
  EXPECT_EQ(ReadFileBytes(store.StatePath()),
            Bytes({0xFB, 0xFF, 0xFF, 0xFF, 0x2C, 0x01, 0, 0, 7}) + "D:\\资源" + Bytes({0}));
  EXPECT_FALSE(platform::FileExists(store.StatePath() + "_OLD"));

  CFileListStore again;
  again.SetDataDir(dir.Path());
  ASSERT_TRUE(again.LoadState());
  EXPECT_EQ(again.m_nWindowLeft, -5);
  EXPECT_EQ(again.m_nWindowTop, 300);
  EXPECT_EQ(again.m_strResourceDir, "D:\\资源");
  EXPECT_EQ(again.m_strReserved, "");
}

TEST_F(FileList, ShortStateFileFailsAndKeepsTheDefaults) {
  for (size_t size : {0, 4, 7}) {
    WriteFileBytes(store.StatePath(), std::string(size, '\x11'));
    CFileListStore fresh;
    fresh.SetDataDir(dir.Path());
    EXPECT_FALSE(fresh.LoadState()) << size;
    EXPECT_EQ(fresh.m_nWindowTop, 40) << size;
  }
  // The position is read, the directory is damaged: position kept, false.
  WriteFileBytes(store.StatePath(), Bytes({1, 0, 0, 0, 2, 0, 0, 0, 9, 'C', ':'}));
  EXPECT_FALSE(store.LoadState());
  EXPECT_EQ(store.m_nWindowLeft, 1);
  EXPECT_EQ(store.m_nWindowTop, 2);
  EXPECT_EQ(store.m_strResourceDir, "");
}

TEST_F(FileList, FileIdsAreCaseSensitiveAndSetHashNeverDuplicates) {
  store.SetHash("abc", "h1");
  store.SetHash("AbC", "h2");
  store.SetHash("x", "h3");
  store.SetHash("abc", "h4");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"abc=h4", "AbC=h2", "x=h3"}));
  EXPECT_EQ(store.FindHash("ABC"), nullptr);
  ASSERT_NE(store.FindHash("AbC"), nullptr);
  EXPECT_EQ(store.FindHash("AbC")->m_strHash, "h2");

  ASSERT_TRUE(store.SaveList());
  std::string first = ReadFileBytes(store.ListPath());
  store.SetHash("x", "h5");
  ASSERT_TRUE(store.SaveList());
  std::string second = ReadFileBytes(store.ListPath());
  EXPECT_EQ(first.substr(0, 4), Bytes({3, 0, 0, 0}));
  EXPECT_EQ(second.substr(0, 4), Bytes({3, 0, 0, 0}));
  EXPECT_EQ(ReadFileBytes(store.ListPath() + "_OLD"), first);
}

TEST_F(FileList, DuplicatesInTheFileLoadUnchangedAndTheFirstIsFound) {
  WriteFileBytes(store.ListPath(),
                 Bytes({3, 0, 0, 0, 1, '7', 1, 'a', 1, '8', 1, 'b', 1, '7', 1, 'c'}));
  ASSERT_TRUE(store.LoadList());
  EXPECT_EQ(Ids(), (std::vector<std::string>{"7=a", "8=b", "7=c"}));
  EXPECT_EQ(store.FindHash("7")->m_strHash, "a");
  store.SetHash("7", "z");
  EXPECT_EQ(Ids(), (std::vector<std::string>{"7=z", "8=b", "7=c"}));
}

TEST_F(FileList, CountsOfZeroOrLessGiveAnEmptyList) {
  for (int32_t count : {0, -1, INT32_MIN}) {
    store.SetHash("old", "entry");
    unsigned char c[4];
    for (int i = 0; i < 4; ++i) c[i] = (unsigned char)((uint32_t)count >> (8 * i));
    WriteFileBytes(store.ListPath(), Bytes({c[0], c[1], c[2], c[3], 1, 'x', 1, 'y'}));
    EXPECT_TRUE(store.LoadList()) << count;
    EXPECT_TRUE(store.m_entries.empty()) << count;
  }
}

// A count larger than the file: the entries that are there stay, the load
// ends at the end of the data, and the half-read entry is dropped.
TEST_F(FileList, HugeCountEndsAtTheDataAndDropsTheHalfEntry) {
  WriteFileBytes(store.ListPath(), Bytes({0xFF, 0xFF, 0xFF, 0x7F, 1, '1', 1, 'a', 1, '2'}));
  EXPECT_FALSE(store.LoadList());
  EXPECT_EQ(Ids(), (std::vector<std::string>{"1=a"}));
}

TEST_F(FileList, LoadListReplacesTheEntriesOfTheAccountBefore) {
  store.SetHash("1", "a");
  ASSERT_TRUE(store.SaveList());
  store.SetUserId(7);
  platform::CreateDir(dir / "00000007");
  store.SetHash("2", "b");
  EXPECT_FALSE(store.LoadList());  // the new account has no list yet
  EXPECT_TRUE(store.m_entries.empty());
  store.SetUserId(42);
  EXPECT_TRUE(store.LoadList());
  EXPECT_EQ(Ids(), (std::vector<std::string>{"1=a"}));
}

// A list cut by a crash of an older version is replaced by its backup whole,
// never by the backup added to the cut list's first entries.
TEST_F(FileList, CutListIsReplacedByItsBackupWithoutDuplicates) {
  store.SetHash("1", "a");
  ASSERT_TRUE(store.SaveList());
  store.SetHash("2", "b");
  ASSERT_TRUE(store.SaveList());
  WriteFileBytes(store.ListPath(), Bytes({2, 0, 0, 0, 1, '1', 1, 'a', 1}));
  EXPECT_TRUE(store.LoadList());
  EXPECT_EQ(Ids(), (std::vector<std::string>{"1=a"}));
}

struct NameCase {
  std::string name;
  std::optional<std::string> fileId;
};

TEST(FileListNames, FileIdOfName) {
  const std::vector<NameCase> cases = {
      {"abc.def.pdf", "abc"}, {".pdf", std::nullopt}, {"readme", std::nullopt},
      {"12345.ppt", "12345"}, {"中文.doc", "中文"},   {"a.", "a"},
      {"", std::nullopt},
  };
  for (const NameCase& c : cases)
    EXPECT_EQ(CFileListStore::FileIdOfName(c.name), c.fileId) << c.name;
}

TEST(FileListNames, FileIdOfPath) {
  const std::vector<NameCase> cases = {
      {"C:\\res\\abc.def.pdf", "abc"},
      {"abc.pdf", std::nullopt},        // no "\"
      {"\\abc.pdf", std::nullopt},      // the only "\" is the first character
      {"C:\\res\\.pdf", std::nullopt},
      {"C:\\res\\readme", std::nullopt},
      {"C:\\a.b\\readme", std::nullopt},  // the dot of a directory does not count
      // 0x5C is also the trail byte of "表": not a separator.
      {"C:\\res\\表1.pdf", "表1"},
      {"C:\\表.pdf", "表"},
  };
  for (const NameCase& c : cases)
    EXPECT_EQ(CFileListStore::FileIdOfPath(c.name), c.fileId) << c.name;
}

TEST_F(FileList, ListedNamesAreThoseWhoseFileIdIsFound) {
  store.SetHash("1001", "h");
  EXPECT_TRUE(store.IsListedName("1001.pdf"));
  EXPECT_TRUE(store.IsListedName("1001.pdf.tmp"));
  EXPECT_FALSE(store.IsListedName("1001"));
  EXPECT_FALSE(store.IsListedName("10011.pdf"));
  EXPECT_FALSE(store.IsListedName(".1001"));
}

}  // namespace
