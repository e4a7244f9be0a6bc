#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "FakeDesktop.h"
#include "FakePlatform.h"
#include "experiments/ExamErrList.h"
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
