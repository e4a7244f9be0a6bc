// A data file that a virus scanner holds for a moment right after our save
// is read for what it holds, not for its older backup.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "store/RecordStream.h"
#include "win/app/WinHelpers.h"

namespace {

bool SaveText(const std::string& path, const std::string& text) {
  return SaveWithBackup(path, [&](CRecordStream& out) { return out.WriteString(text); });
}

std::string LoadText(const std::string& path) {
  std::string text;
  LoadRecords(path, [&](CRecordStream& in) {
    text.clear();
    return in.ReadString(text);
  });
  return text;
}

struct HeldCase {
  const char* name;
  int holdMs;
  const char* expected;  // what the load gives
  DWORD minMs, maxMs;    // how long the load took
};

class HeldDataFile : public ::testing::TestWithParam<HeldCase> {
 protected:
  void SetUp() override {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    m_dir = std::string(buffer) + "velmora-held-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(m_dir.c_str(), nullptr);
    m_path = m_dir + "\\filelist.dat";
    ASSERT_TRUE(SaveText(m_path, "before"));
    ASSERT_TRUE(SaveText(m_path, "latest"));  // "before" is now the backup
  }
  void TearDown() override {
    for (const char* name : {"\\filelist.dat", "\\filelist.dat_OLD"})
      DeleteFileA((m_dir + name).c_str());
    RemoveDirectoryA(m_dir.c_str());
  }
  std::string m_dir, m_path;
};

TEST_P(HeldDataFile, IsWaitedForBeforeItsBackupServes) {
  const HeldCase& c = GetParam();
  ChildProcess holder;
  ASSERT_TRUE(HoldFile(holder, m_path, c.holdMs));
  DWORD start = GetTickCount();
  EXPECT_EQ(LoadText(m_path), c.expected);
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, c.minMs);
  EXPECT_LT(took, c.maxMs);
  EXPECT_EQ(holder.Wait(10000), 0);
  EXPECT_EQ(LoadText(m_path), "latest") << "the file itself is untouched";
}

// A scanner's moment is waited out; a holder that stays leaves the backup,
// as a file that cannot be read at all does.
INSTANTIATE_TEST_SUITE_P(Holders, HeldDataFile,
                         ::testing::Values(HeldCase{"AMoment", 1000, "latest", 500, 1900},
                                           HeldCase{"ForLong", 6000, "before", 1500, 5500}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
