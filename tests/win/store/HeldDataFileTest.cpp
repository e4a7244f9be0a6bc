// A data file that another process (a virus scanner right after our save)
// holds without sharing is waited for and read for what it holds, never for
// its older backup; a file that cannot be had for other reasons is not waited
// for.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "store/RecordStream.h"
#include "win/app/WinHelpers.h"

namespace {

bool SaveText(const std::string& path, const std::string& text) {
  return SaveWithBackup(path, [&](CRecordStream& out) { return out.WriteString(text); });
}

struct HeldCase {
  const char* name;
  int holdMs;           // by another process that shares nothing
  RecordLoad outcome;
  const char* expected;  // what the load gives
  DWORD minMs, maxMs;    // how long the load took
};

class DataFileWithBackup : public ::testing::Test {
 protected:
  void SetUp() override {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    m_dir = std::string(buffer) + "velmora-held-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(m_dir.c_str(), nullptr);
    m_path = m_dir + "\\Velmora.data";
    ASSERT_TRUE(SaveText(m_path, "before"));
    ASSERT_TRUE(SaveText(m_path, "latest"));  // "before" is now the backup
  }
  void TearDown() override {
    for (const char* name : {"\\Velmora.data", "\\Velmora.data_OLD"})
      DeleteFileA((m_dir + name).c_str());
    RemoveDirectoryA(m_dir.c_str());
  }
  RecordLoad Load(std::string& text) {
    text = "<not read>";
    return LoadRecordsWithOutcome(m_path, [&](CRecordStream& in) { return in.ReadString(text); });
  }
  std::string m_dir, m_path;
};

class HeldDataFile : public DataFileWithBackup, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(HeldDataFile, IsWaitedForAndNeverReplacedByItsBackup) {
  const HeldCase& c = GetParam();
  ChildProcess holder;
  ASSERT_TRUE(HoldFile(holder, m_path, c.holdMs, true));
  std::string text;
  DWORD start = GetTickCount();
  EXPECT_EQ(Load(text), c.outcome);
  DWORD took = GetTickCount() - start;
  EXPECT_EQ(text, c.expected);
  EXPECT_GE(took, c.minMs);
  EXPECT_LT(took, c.maxMs);
  EXPECT_EQ(holder.Wait(10000), 0);
  EXPECT_EQ(Load(text), RecordLoad::Whole);
  EXPECT_EQ(text, "latest") << "the file itself is untouched";
}

INSTANTIATE_TEST_SUITE_P(Holders, HeldDataFile,
                         ::testing::Values(HeldCase{"AMoment", 1000, RecordLoad::Whole, "latest",
                                                    500, 1900},
                                           HeldCase{"Throughout", 3500, RecordLoad::Held,
                                                    "<not read>", 1500, 3400}),
                         [](const auto& info) { return std::string(info.param.name); });

// Another process reading it (the assistant's own second process) does not
// delay a load.
TEST_F(DataFileWithBackup, AReaderThatSharesIsNotWaitedFor) {
  ChildProcess holder;
  ASSERT_TRUE(HoldFile(holder, m_path, 1500, false));
  std::string text;
  DWORD start = GetTickCount();
  EXPECT_EQ(Load(text), RecordLoad::Whole);
  EXPECT_LT(GetTickCount() - start, 500u);
  EXPECT_EQ(text, "latest");
  EXPECT_EQ(holder.Wait(10000), 0);
}

}  // namespace
