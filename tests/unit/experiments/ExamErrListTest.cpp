#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "FakePlatform.h"
#include <algorithm>
#include <filesystem>

#include "experiments/ExamErrList.h"
#include "net/MbcsText.h"
#include "platform/Files.h"
#include "unit/store/StoreTestSupport.h"

namespace {

using testing::ElementsAre;

struct FailureList : testing::Test {
  ScratchDir dir;
  FakePlatform platform;
  FakeDesktop desktop;
  CExamErrStore store;
  CExamErrList list{store, desktop};

  void SetUp() override { store.SetPath(dir / "examerr.data"); }

  ExamErrRecord Record(int operationId, const std::string& data, const std::string& course = "") {
    ExamErrRecord r;
    r.m_strServer = "127.0.0.1";
    r.m_nPort = platform.Port();
    r.m_nUserId = 1001;
    r.m_nCourseId = 201;
    r.m_nExperId = 303;
    r.m_nOperationId = operationId;
    r.m_nScore = 87;
    r.m_tFailed = 1796000000;
    r.m_strCourseName = course;
    r.m_strResourceName = course;
    r.m_strData = data;
    return r;
  }
  // Writes the records to the file, as an earlier run left them.
  void OnDisk(std::vector<ExamErrRecord> records) {
    CExamErrStore earlier;
    earlier.SetPath(store.GetPath());
    for (auto& r : records) earlier.Records().push_back(r);
    ASSERT_TRUE(earlier.Save());
  }
  std::list<ExamErrRecord> OnDiskNow() {
    CExamErrStore saved;
    saved.SetPath(store.GetPath());
    saved.Load();
    return saved.Records();
  }
  size_t RecordsOnDisk() {
    CExamErrStore saved;
    saved.SetPath(store.GetPath());
    saved.Load();
    return saved.Records().size();
  }
};

TEST_F(FailureList, FillShowsTheFileAndFetchesMissingNames) {
  OnDisk({Record(0, "a"), Record(7, "b", "已知课程")});
  store.Records().push_back(Record(9, "only in memory"));
  list.Fill();
  ASSERT_EQ(list.RowCount(), 2u);
  EXPECT_EQ(CExamErrList::CellText(list.Row(0), EXAMERR_COL_COURSE), "大学物理");
  EXPECT_EQ(CExamErrList::CellText(list.Row(0), EXAMERR_COL_RESOURCE), "自由落体");
  EXPECT_EQ(CExamErrList::CellText(list.Row(0), EXAMERR_COL_SCORE), "87");
  EXPECT_EQ(CExamErrList::CellText(list.Row(1), EXAMERR_COL_COURSE), "已知课程");
  // Only the first row lacked names.
  EXPECT_EQ(platform.Paths(), (std::vector<std::string>{"/course/detail.yks", "/source/detail.yks"}));
}

TEST_F(FailureList, FailureTimeIsLocalTime) {
  ExamErrRecord r;
  r.m_tFailed = 1796000000;
  const std::string text = CExamErrList::CellText(r, EXAMERR_COL_TIME);
  ASSERT_EQ(text.size(), 19u) << text;
  EXPECT_EQ(text.substr(0, 5), "2026-");
  EXPECT_EQ(text[4], '-');
  EXPECT_EQ(text[10], ' ');
  EXPECT_EQ(text[13], ':');
}

// A record without a start record gets one of its own first.
TEST_F(FailureList, ResubmitWithoutOperationIdOpensARunFirst) {
  OnDisk({Record(0, "whole output {\"score\":87}"), Record(7, "{\"score\":1}", "c")});
  list.Fill();
  EXPECT_TRUE(list.Resubmit(0));
  EXPECT_THAT(platform.Calls(),
              ElementsAre("/course/detail.yks|id=201", "/source/detail.yks|id=303",
                          "/experimentRecord/add.yks|userId=1001&experId=303&couId=201&type=1",
                          "/experiment/dataAdd.yks|id=5001&data=whole output {\"score\":87}",
                          "/experimentRecord/add.yks|id=5001&type=2"));
  EXPECT_THAT(desktop.messages, ElementsAre("提示|仿真实验数据提交成功！"));
  ASSERT_EQ(list.RowCount(), 1u);
  EXPECT_EQ(list.Row(0).m_nOperationId, 7);
  EXPECT_EQ(RecordsOnDisk(), 1u);
}

TEST_F(FailureList, ResubmitWithOperationIdSendsTheStoredData) {
  OnDisk({Record(7, "{\"score\":87}", "c")});
  list.Fill();
  EXPECT_TRUE(list.Resubmit(0));
  EXPECT_THAT(platform.Calls(), ElementsAre("/experiment/dataAdd.yks|id=7&data={\"score\":87}",
                                            "/experimentRecord/add.yks|id=7&type=2"));
  EXPECT_EQ(list.RowCount(), 0u);
  EXPECT_EQ(RecordsOnDisk(), 0u);
}

TEST_F(FailureList, FailedResubmitKeepsTheRow) {
  struct Case { const char* failing; size_t calls; int operationId; } cases[] = {
      {"/experimentRecord/add.yks", 1, 0},
      {"/experiment/dataAdd.yks", 2, 5001},  // the new id stays with the record
  };
  for (const Case& c : cases) {
    FakePlatform fresh;
    fresh.failing = {c.failing};
    FakeDesktop d;
    CExamErrList rows(store, d);
    ExamErrRecord r = Record(0, "x", "c");
    r.m_nPort = fresh.Port();
    OnDisk({r});
    rows.Fill();
    EXPECT_FALSE(rows.Resubmit(0)) << c.failing;
    EXPECT_THAT(d.messages, ElementsAre("提示|提交仿真实验数据失败！"));
    EXPECT_EQ(fresh.Calls().size(), c.calls);
    ASSERT_EQ(rows.RowCount(), 1u);
    EXPECT_EQ(rows.Row(0).m_nOperationId, c.operationId);
    EXPECT_EQ(RecordsOnDisk(), 1u);
  }
}

TEST_F(FailureList, ClearAsksAndEmptiesTheFile) {
  OnDisk({Record(7, "a", "c"), Record(8, "b", "c")});
  list.Fill();
  desktop.answers = {false};
  EXPECT_FALSE(list.ClearAll());
  EXPECT_EQ(list.RowCount(), 2u);
  EXPECT_EQ(RecordsOnDisk(), 2u);

  desktop.answers = {true};
  EXPECT_TRUE(list.ClearAll());
  EXPECT_THAT(desktop.questions,
              ElementsAre("提示|清空数据后将无法恢复实验数据，确定要清空么",
                          "提示|清空数据后将无法恢复实验数据，确定要清空么"));
  EXPECT_EQ(list.RowCount(), 0u);
  EXPECT_EQ(ReadFileBytes(store.GetPath()), Bytes({0, 0, 0, 0}));
  EXPECT_FALSE(list.CanClear());
  EXPECT_FALSE(list.ClearAll());  // an empty list is not asked about
  EXPECT_EQ(desktop.questions.size(), 2u);
}

// While the list is open an experiment of another process fails and
// appends its record: neither a resubmit nor a clear saves over it.
TEST_F(FailureList, SavesKeepFailuresStoredMeanwhile) {
  for (bool clear : {false, true}) {
    SCOPED_TRACE(clear);
    OnDisk({Record(7, "a", "c"), Record(8, "b", "c")});
    list.Fill();
    OnDisk({Record(7, "a", "c"), Record(8, "b", "c"), Record(9, "new", "c")});
    desktop.answers = {true};
    EXPECT_TRUE(clear ? list.ClearAll() : list.Resubmit(0));
    std::vector<int> rows;
    for (size_t i = 0; i < list.RowCount(); ++i) rows.push_back(list.Row(i).m_nOperationId);
    const std::vector<int> expected = clear ? std::vector<int>{9} : std::vector<int>{8, 9};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(RecordsOnDisk(), rows.size());
  }
}

// What a save keeps is decided by each record's stored fields: a record that
// another process stored stays, one that this list resubmitted or cleared
// never comes back, and a failed save takes nothing in twice. Records are
// named by their operation ids.
TEST_F(FailureList, SavesJoinOthersByIdentityNotPosition) {
  struct Case {
    const char* name;
    std::vector<int> atFill, meanwhile;
    std::string steps;  // R: resubmit the first row, C: clear all
    bool firstSaveFails;
    std::vector<int> rows, disk;
  } cases[] = {
      {"appended meanwhile, resubmit", {7, 8}, {7, 8, 9}, "R", false, {8, 9}, {8, 9}},
      {"appended meanwhile, clear", {7, 8}, {7, 8, 9}, "C", false, {9}, {9}},
      {"shifted by another save", {7, 8}, {8, 9}, "R", false, {8, 9}, {8, 9}},
      {"failed save, then a good one", {7, 8}, {7, 8, 9}, "RR", true, {9}, {9}},
      {"failed clear, then the joined one resubmitted", {7, 8}, {7, 8, 9}, "CR", true, {}, {}},
      {"two equal records, one resubmitted", {7, 7}, {7, 7}, "R", false, {7}, {7}},
      {"nothing new", {7, 8}, {7, 8}, "R", false, {8}, {8}},
  };
  auto records = [this](const std::vector<int>& ids) {
    std::vector<ExamErrRecord> made;
    for (int id : ids) made.push_back(Record(id, "d" + std::to_string(id), "c"));
    return made;
  };
  auto ids = [](const std::list<ExamErrRecord>& from) {
    std::vector<int> made;
    for (const ExamErrRecord& r : from) made.push_back(r.m_nOperationId);
    return made;
  };
  // A directory where the save writes its new content makes the save fail.
  std::string blocker = store.GetPath() + "_NEW";
  const std::string blockerPath = MbcsReplaceChar(blocker, '\\', '/');
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CExamErrStore own;
    own.SetPath(store.GetPath());
    CExamErrList rows(own, desktop);
    OnDisk(records(c.atFill));
    rows.Fill();
    OnDisk(records(c.meanwhile));
    if (c.firstSaveFails) platform::CreateDir(blocker);
    for (size_t step = 0; step < c.steps.size(); ++step) {
      desktop.answers = {true};
      if (c.steps[step] == 'R') rows.Resubmit(0);
      else rows.ClearAll();
      if (c.firstSaveFails && step == 0) {
        EXPECT_EQ(ids(OnDiskNow()), c.meanwhile);
      }
      std::filesystem::remove(blockerPath);
    }
    std::vector<int> shown;
    for (size_t i = 0; i < rows.RowCount(); ++i) shown.push_back(rows.Row(i).m_nOperationId);
    EXPECT_EQ(shown, c.rows);
    EXPECT_EQ(ids(own.Records()), c.rows);
    EXPECT_EQ(ids(OnDiskNow()), c.disk);
  }
}

// A scanner holds the file while a record is resubmitted or the list is
// cleared: the record is sent once and never listed again (neither on F5
// while the file is held nor when the list is opened later), and the user
// is not told "提交成功" while the file still holds it.
TEST_F(FailureList, SentRecordsNeverComeBackWhileTheFileIsHeld) {
  struct Case {
    const char* name;
    bool clear;
    std::vector<int> rowsAfter, disk;
    size_t sends;
  } cases[] = {
      {"resubmit", false, {8}, {8}, 1},
      {"clear", true, {}, {}, 0},
  };
  auto ids = [](CExamErrList& rows) {
    std::vector<int> shown;
    for (size_t i = 0; i < rows.RowCount(); ++i) shown.push_back(rows.Row(i).m_nOperationId);
    return shown;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePlatform fresh;
    FakeDesktop d;
    CExamErrStore own;
    own.SetPath(store.GetPath());
    CExamErrList rows(own, d);
    ExamErrRecord first = Record(7, "d7", "c"), second = Record(8, "d8", "c");
    first.m_nPort = second.m_nPort = fresh.Port();
    OnDisk({first, second});
    rows.Fill();
    {
      platform::File holder;
      ASSERT_TRUE(holder.Open(store.GetPath(), platform::FileMode::OpenAlways));
      d.answers = {true};
      EXPECT_TRUE(c.clear ? rows.ClearAll() : rows.Resubmit(0));
      EXPECT_EQ(ids(rows), c.rowsAfter);
      rows.Fill();  // F5 while the file is still held
      EXPECT_EQ(ids(rows), std::vector<int>{});
    }
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(d.messages[0].find("提交成功"), std::string::npos) << d.messages[0];
    rows.Fill();  // opened again once the file is free
    EXPECT_EQ(ids(rows), c.disk);
    std::vector<int> disk;
    for (const ExamErrRecord& r : OnDiskNow()) disk.push_back(r.m_nOperationId);
    EXPECT_EQ(disk, c.disk);
    const std::vector<std::string> paths = fresh.Paths();
    EXPECT_EQ((size_t)std::count(paths.begin(), paths.end(), "/experiment/dataAdd.yks"), c.sends);
  }
}

// A failure kept only in memory and sent from the list before its file could
// take it never reaches the file.
TEST_F(FailureList, KeptFailureSentBeforeItWasWrittenNeverReachesTheFile) {
  OnDisk({Record(7, "d7", "c")});
  list.Fill();
  {
    platform::File holder;
    ASSERT_TRUE(holder.Open(store.GetPath(), platform::FileMode::OpenAlways));
    store.Keep(Record(9, "d9", "c"));
    list.Fill();
    ASSERT_EQ(list.RowCount(), 1u);
    EXPECT_TRUE(list.Resubmit(0));
  }
  EXPECT_FALSE(store.HasPending());
  list.Fill();
  EXPECT_EQ(list.RowCount(), 1u);
  EXPECT_EQ(list.Row(0).m_nOperationId, 7);
  EXPECT_EQ(RecordsOnDisk(), 1u);
}

// A failure that this process keeps while the list is open reloads the
// store's records: the rows shown stay what they were, and a resubmission
// sends the row the user chose.
TEST_F(FailureList, AFailureKeptWhileTheListIsOpenLeavesItsRowsIntact) {
  OnDisk({Record(7, "d7", "c"), Record(8, "d8", "c")});
  list.Fill();
  store.Keep(Record(9, "d9", "c"));
  ASSERT_TRUE(store.Commit());
  ASSERT_EQ(list.RowCount(), 2u);
  EXPECT_EQ(list.Row(1).m_strData, "d8");
  EXPECT_TRUE(list.Resubmit(1));
  EXPECT_THAT(platform.Calls(), ElementsAre("/experiment/dataAdd.yks|id=8&data=d8",
                                            "/experimentRecord/add.yks|id=8&type=2"));
  ASSERT_EQ(list.RowCount(), 2u);
  EXPECT_EQ(list.Row(0).m_strData, "d7");
  EXPECT_EQ(list.Row(1).m_strData, "d9");
  EXPECT_EQ(RecordsOnDisk(), 2u);
}

TEST_F(FailureList, MenuEntriesFollowSelectionAndRows) {
  list.Fill();
  EXPECT_FALSE(list.CanClear());
  EXPECT_FALSE(list.CanResubmit(0));
  OnDisk({Record(7, "a", "c")});
  list.Fill();  // F5: what the file holds now
  EXPECT_TRUE(list.CanClear());
  EXPECT_FALSE(list.CanResubmit(-1));
  EXPECT_TRUE(list.CanResubmit(0));
  EXPECT_FALSE(list.CanResubmit(1));
  EXPECT_FALSE(list.Resubmit(1));
  EXPECT_TRUE(platform.Calls().empty());
}

}  // namespace
