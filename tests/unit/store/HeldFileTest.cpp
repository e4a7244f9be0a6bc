// A data file that another program holds for a moment (a virus scanner right
// after our save) is waited for and read for what it holds; one that stays
// held is neither replaced by its older backup nor saved over.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "StoreTestSupport.h"
#include "store/FileListStore.h"
#include "store/HeldFile.h"
#include "store/RecordStream.h"
#include "store/SettingsStore.h"

using platform::File;
using platform::FileMode;

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsSince(Clock::time_point start) {
  return (int)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Holds a file without sharing; lets go after `ms` on a thread of its own,
// or when the object ends (ms < 0).
class Holder {
 public:
  Holder(const std::string& path, int ms, FileMode mode = FileMode::Read) {
    EXPECT_TRUE(m_file.Open(path, mode)) << path;
    if (ms >= 0)
      m_thread = std::thread([this, ms] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        m_file.Close();
      });
  }
  ~Holder() {
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  File m_file;
  std::thread m_thread;
};

struct WaitCase {
  const char* what;
  std::function<void(const std::string& path)> arrange;
  int holdMs;  // 0: nobody holds it; -1: held until the case ends
  FileMode holderMode;
  HeldFileOpen expected;
  int minMs, maxMs;  // how long the open took
};

TEST(HeldFile, OnlyAHeldFileIsWaitedFor) {
  auto exists = [](const std::string& p) { WriteFileBytes(p, "x"); };
  const std::vector<WaitCase> cases = {
      {"missing", [](const std::string&) {}, 0, FileMode::Read, HeldFileOpen::Missing, 0, 300},
      {"a directory", [](const std::string& p) { platform::CreateDir(p); }, 0, FileMode::Read,
       HeldFileOpen::Missing, 0, 300},
      {"read by another at once", exists, -1, FileMode::SharedRead, HeldFileOpen::Opened, 0,
       300},
      {"held for a moment", exists, 400, FileMode::Read, HeldFileOpen::Opened, 350, 1800},
      {"written for a moment", exists, 400, FileMode::OpenAlways, HeldFileOpen::Opened, 350,
       1800},
      {"held throughout", exists, -1, FileMode::Read, HeldFileOpen::Held, 1800, 2900},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    const std::string path = dir / "data.dat";
    c.arrange(path);
    std::unique_ptr<Holder> holder;
    if (c.holdMs != 0) holder = std::make_unique<Holder>(path, c.holdMs, c.holderMode);
    File file;
    const auto start = Clock::now();
    EXPECT_EQ(OpenWaitingForHolder(path, file), c.expected);
    const int took = MillisecondsSince(start);
    EXPECT_GE(took, c.minMs);
    EXPECT_LT(took, c.maxMs);
    EXPECT_EQ(file.IsOpen(), c.expected == HeldFileOpen::Opened);
  }
}

RecordWriter Text(const std::string& text) {
  return [text](CRecordStream& out) { return out.WriteString(text); };
}

// "latest" in the file, "before" in its backup.
class HeldRecords : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SaveWithBackup(path, Text("before")));
    ASSERT_TRUE(SaveWithBackup(path, Text("latest")));
  }
  RecordLoad Load() {
    text = "<not read>";
    return LoadRecordsWithOutcome(path, [this](CRecordStream& in) { return in.ReadString(text); });
  }
  ScratchDir dir;
  std::string path = dir / "filelist.dat";
  std::string text;
};

TEST_F(HeldRecords, AMomentsHolderIsWaitedOutAndTheFileItselfIsRead) {
  Holder scanner(path, 400);
  EXPECT_EQ(Load(), RecordLoad::Whole);
  EXPECT_EQ(text, "latest");
}

TEST_F(HeldRecords, AFileHeldThroughoutIsNotReplacedByItsBackup) {
  {
    Holder scanner(path, -1);
    EXPECT_EQ(Load(), RecordLoad::Held);
    EXPECT_EQ(text, "<not read>");
  }
  EXPECT_EQ(Load(), RecordLoad::Whole);
  EXPECT_EQ(text, "latest");
}

// After a crash between the saves' moves only the backup is left: while it is
// held, the load must say so, or the next save would replace the only copy.
TEST_F(HeldRecords, AHeldBackupOfAMissingFileCountsAsHeld) {
  platform::DeleteFileAt(path);
  {
    Holder scanner(path + "_OLD", -1);
    EXPECT_EQ(Load(), RecordLoad::Held);
  }
  EXPECT_EQ(Load(), RecordLoad::Whole);
  EXPECT_EQ(text, "before");
}

// Two of the assistant's processes start at once: neither load waits for the
// other, and both read the file itself.
TEST_F(HeldRecords, ReadersDoNotWaitForEachOther) {
  File otherReader;
  ASSERT_TRUE(otherReader.Open(path, FileMode::SharedRead));
  const auto start = Clock::now();
  EXPECT_EQ(Load(), RecordLoad::Whole);
  EXPECT_LT(MillisecondsSince(start), 300);
  EXPECT_EQ(text, "latest");
}

// A directory or a damaged file under the name is answered at once, with the
// backup, as before.
TEST_F(HeldRecords, WhatWaitingCannotMendFallsBackAtOnce) {
  for (const char* what : {"damaged", "directory"}) {
    SCOPED_TRACE(what);
    platform::DeleteFileAt(path);
    if (std::string(what) == "damaged") WriteFileBytes(path, "\x09cut");
    else ASSERT_TRUE(platform::CreateDir(path));
    const auto start = Clock::now();
    EXPECT_EQ(Load(), RecordLoad::Whole);
    EXPECT_LT(MillisecondsSince(start), 300);
    EXPECT_EQ(text, "before");
  }
}

// Each store: a load that found its file held leaves the file alone until a
// later load gets through.
struct StoreCase {
  const char* what;
  std::string file;                                         // below the data directory
  std::function<void(CSettingsStore&, CFileListStore&)> fill;  // what the store would save
  std::function<bool(CSettingsStore&, CFileListStore&)> load, save;
};

TEST(HeldStoreFiles, AreNotSavedOverUntilALaterLoadGetsThrough) {
  const std::vector<StoreCase> cases = {
      {"accounts", "Velmora.data",
       [](CSettingsStore& s, CFileListStore&) {
         s.UpdateAccount("h", 80, "student-b", "pw", 1, 1, 0, 2, 0, "");
       },
       [](CSettingsStore& s, CFileListStore&) { return s.Load(); },
       [](CSettingsStore& s, CFileListStore&) { return s.Save(); }},
      {"file list", "00000001\\filelist.dat",
       [](CSettingsStore&, CFileListStore& l) { l.SetHash("1001", "h2"); },
       [](CSettingsStore&, CFileListStore& l) { return l.LoadList(); },
       [](CSettingsStore&, CFileListStore& l) { return l.SaveList(); }},
      {"window state", "VelmoraURL.dat",
       [](CSettingsStore&, CFileListStore& l) { l.m_strResourceDir = "d:\\res"; },
       [](CSettingsStore&, CFileListStore& l) { return l.LoadState(); },
       [](CSettingsStore&, CFileListStore& l) { return l.SaveState(); }},
  };
  for (const StoreCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    CSettingsStore settings(dir.Path());
    CFileListStore list;
    list.SetDataDir(settings.m_strDataDir);
    list.SetUserId(1);
    platform::CreateDir(settings.m_strDataDir + "\\00000001");
    c.fill(settings, list);
    ASSERT_TRUE(c.save(settings, list));
    const std::string path = settings.m_strDataDir + "\\" + c.file;
    const std::string saved = ReadFileBytes(path);
    {
      Holder scanner(path, -1);
      EXPECT_FALSE(c.load(settings, list));
    }
    EXPECT_FALSE(c.save(settings, list));
    EXPECT_EQ(ReadFileBytes(path), saved);
    ASSERT_TRUE(c.load(settings, list));
    EXPECT_TRUE(c.save(settings, list));
    EXPECT_EQ(ReadFileBytes(path), saved) << "the store holds what the file held";
  }
}

// The account remembered last stands for the one logged in: a held file must
// not give back the account of the student before.
TEST(HeldStoreFiles, AHeldAccountFileGivesNoAccountRatherThanThePreviousOne) {
  ScratchDir dir;
  CSettingsStore settings(dir.Path());
  settings.UpdateAccount("h", 80, "student-a", "pw", 1, 1, 0, 1, 0, "");
  ASSERT_TRUE(settings.Save());
  settings.UpdateAccount("h", 80, "student-b", "pw", 1, 1, 0, 2, 0, "");
  ASSERT_TRUE(settings.Save());  // the backup holds student-a

  CSettingsStore linkProcess(dir.Path());
  {
    Holder scanner(settings.DefaultPath(), -1);
    EXPECT_FALSE(linkProcess.Load());
  }
  EXPECT_EQ(linkProcess.FindAccount("h", 80), nullptr);
  Holder scanner(settings.DefaultPath(), 400);
  ASSERT_TRUE(linkProcess.Load());
  ASSERT_NE(linkProcess.FindAccount("h", 80), nullptr);
  EXPECT_EQ(linkProcess.FindAccount("h", 80)->m_strUser, "student-b");
}

}  // namespace
