// The failure list's file shared by processes of one user and held for a
// while by another program (a virus scanner), with the system's own sharing
// rules and named mutexes.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "FakeDesktop.h"
#include "experiments/ExamErrList.h"
#include "experiments/ExamErrStore.h"
#include "unit/experiments/FakePlatform.h"
#include "win/app/WinHelpers.h"

namespace {

class HeldFailureFile : public testing::Test {
 protected:
  void SetUp() override {
    char buffer[MAX_PATH];
    GetTempPathA(MAX_PATH, buffer);
    m_dir = std::string(buffer) + "velmora-examerr-" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(m_dir.c_str(), nullptr);
    m_path = m_dir + "\\examerr.data";
  }
  void TearDown() override {
    for (const char* suffix : {"", "_OLD", "_NEW"}) DeleteFileA((m_path + suffix).c_str());
    RemoveDirectoryA(m_dir.c_str());
  }

  ExamErrRecord Record(int operationId, int port) const {
    ExamErrRecord r;
    r.m_strServer = "127.0.0.1";
    r.m_nPort = port;
    r.m_nUserId = 1001;
    r.m_nCourseId = 201;
    r.m_nExperId = 303;
    r.m_nOperationId = operationId;
    r.m_strCourseName = r.m_strResourceName = "c";
    r.m_strData = "d" + std::to_string(operationId);
    return r;
  }
  void OnDisk(const std::vector<ExamErrRecord>& records) {
    CExamErrStore writer;
    writer.SetPath(m_path);
    for (const ExamErrRecord& r : records) writer.Records().push_back(r);
    ASSERT_TRUE(writer.Save());
  }
  std::vector<std::string> FidsOnDisk() {
    CExamErrStore saved;
    saved.SetPath(m_path);
    EXPECT_TRUE(saved.Load());
    std::vector<std::string> fids;
    for (const ExamErrRecord& r : saved.Records()) fids.push_back(r.m_strFid);
    return fids;
  }
  std::vector<int> OperationIdsOnDisk() {
    CExamErrStore saved;
    saved.SetPath(m_path);
    EXPECT_TRUE(saved.Load());
    std::vector<int> ids;
    for (const ExamErrRecord& r : saved.Records()) ids.push_back(r.m_nOperationId);
    return ids;
  }

  std::string m_dir, m_path;
};

// Runs of one user fail at once in four processes: every failure is in the
// file exactly once.
TEST_F(HeldFailureFile, ProcessesStoringAtOnceKeepEveryFailureOnce) {
  constexpr int PROCESSES = 4, COUNT = 20;
  std::vector<ChildProcess> children(PROCESSES);
  std::vector<std::string> expected;
  for (int p = 0; p < PROCESSES; ++p) {
    const std::string tag = "p" + std::to_string(p);
    for (int i = 0; i < COUNT; ++i) expected.push_back(tag + "-" + std::to_string(i));
    ASSERT_TRUE(children[p].Start("\"" + BuildPath("testbed\\failureappender.exe") + "\" \"" +
                                      m_path + "\" " + tag + " " + std::to_string(COUNT),
                                  nullptr));
  }
  for (ChildProcess& child : children) EXPECT_EQ(child.Wait(120000), 0);
  std::vector<std::string> fids = FidsOnDisk();
  std::sort(fids.begin(), fids.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(fids, expected);
}

// A scanner holds the file while a failure is kept and a record is sent
// again from the list: nothing is written over the file meanwhile, the user
// is not told "提交成功", and once the scanner lets go the kept failure is in
// the file and the sent record is gone from it for good.
TEST_F(HeldFailureFile, ScannerHoldingTheFileDelaysButNeverLosesAChange) {
  FakePlatform platform;
  FakeDesktop desktop;
  OnDisk({Record(7, platform.Port()), Record(8, platform.Port())});
  CExamErrStore store;
  store.SetPath(m_path);
  CExamErrList list(store, desktop);
  list.Fill();
  ASSERT_EQ(list.RowCount(), 2u);
  std::string before;
  ASSERT_TRUE(ReadFileBytes(m_path, before));

  ChildProcess holder;
  ASSERT_TRUE(HoldFile(holder, m_path, 10000));
  ExamErrRecord kept = Record(9, platform.Port());
  kept.m_strFid = "kept";
  store.Keep(kept);
  EXPECT_FALSE(store.Commit());
  EXPECT_TRUE(list.Resubmit(0));
  ASSERT_EQ(desktop.messages.size(), 1u);
  EXPECT_EQ(desktop.messages[0].find("提交成功"), std::string::npos) << desktop.messages[0];
  EXPECT_TRUE(store.HasPending());
  std::string during;
  ASSERT_TRUE(ReadFileBytes(m_path, during));
  EXPECT_EQ(during, before);
  EXPECT_EQ(holder.Wait(30000), 0);

  list.Fill();  // the list opened again
  EXPECT_FALSE(store.HasPending());
  EXPECT_EQ(OperationIdsOnDisk(), (std::vector<int>{8, 9}));
  std::vector<int> shown;
  for (size_t i = 0; i < list.RowCount(); ++i) shown.push_back(list.Row(i).m_nOperationId);
  EXPECT_EQ(shown, (std::vector<int>{8, 9}));
  const std::vector<std::string> paths = platform.Paths();
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/experiment/dataAdd.yks"), 1);
}

}  // namespace
