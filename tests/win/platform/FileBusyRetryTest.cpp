// Renames and replaces of a file that another process holds open for a
// moment (a virus scanner right after the write) wait for it, for a bounded time.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>

#include "platform/Files.h"
#include "win/app/WinHelpers.h"

namespace {

std::string TempDir() {
  char buffer[MAX_PATH];
  GetTempPathA(MAX_PATH, buffer);
  std::string dir = std::string(buffer) + "velmora-busy-" + std::to_string(GetCurrentProcessId());
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

struct BusyCase {
  const char* name;
  const char* heldFile;  // "new" (the file just written) or "old" (the one it replaces)
  std::function<bool(const std::string& written, const std::string& target)> step;
};

class FileBusyRetryTest : public ::testing::TestWithParam<BusyCase> {
 protected:
  void SetUp() override {
    m_dir = TempDir();
    m_written = m_dir + "\\list.data.tmp";
    m_target = m_dir + "\\list.data";
    ASSERT_TRUE(WriteFileBytes(m_written, "new"));
    ASSERT_TRUE(WriteFileBytes(m_target, "old"));
  }
  void TearDown() override {
    for (const char* name : {"\\list.data.tmp", "\\list.data", "\\list.data_OLD"})
      DeleteFileA((m_dir + name).c_str());
    RemoveDirectoryA(m_dir.c_str());
  }
  std::string Held() const {
    return std::string(GetParam().heldFile) == "new" ? m_written : m_target;
  }
  std::string m_dir, m_written, m_target;
};

TEST_P(FileBusyRetryTest, WaitsForAHolderOfASecond) {
  ChildProcess holder;
  ASSERT_TRUE(HoldFile(holder, Held(), 1000));
  DWORD start = GetTickCount();
  EXPECT_TRUE(GetParam().step(m_written, m_target));
  DWORD took = GetTickCount() - start;
  EXPECT_EQ(holder.Wait(5000), 0);
  EXPECT_GE(took, 500u) << "the holder had the file: the first try must have failed";
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(m_target, bytes));
  EXPECT_EQ(bytes, "new");
}

TEST_P(FileBusyRetryTest, GivesUpOnAHolderThatStays) {
  ChildProcess holder;
  ASSERT_TRUE(HoldFile(holder, Held(), 6000));
  DWORD start = GetTickCount();
  EXPECT_FALSE(GetParam().step(m_written, m_target));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 1500u);
  EXPECT_LT(took, 5500u);
  EXPECT_EQ(holder.Wait(10000), 0);
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(m_written, bytes)) << "a failed move keeps what was written";
  EXPECT_EQ(bytes, "new");
  if (ReadFileBytes(m_target, bytes)) {
    EXPECT_EQ(bytes, "old");
  }
}

const BusyCase kCases[] = {
    {"RenameOfTheNewFile", "new",
     [](const std::string& w, const std::string& t) {
       DeleteFileA(t.c_str());  // a rename needs a free name: the download's case
       return platform::RenameFile(w, t);
     }},
    {"MoveReplacingTheNewFile", "new", platform::MoveFileReplacing},
    {"MoveReplacingTheOldFile", "old", platform::MoveFileReplacing},
    {"ReplaceKeepingBackupOfTheOldFile", "old",
     [](const std::string& w, const std::string& t) {
       return platform::ReplaceFileKeepingBackup(w, t, t + "_OLD");
     }},
    {"CopyOverTheOldFile", "old", platform::CopyFileReplacing},
};

INSTANTIATE_TEST_SUITE_P(Busy, FileBusyRetryTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
