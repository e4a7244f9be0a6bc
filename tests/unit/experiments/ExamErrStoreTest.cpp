// examerr.data is shared by both builds: the sample under tests/data was
// written natively; it is read and written again byte for byte natively and
// under Wine. VELMORA_REGENERATE_SAMPLES=1 rewrites it instead.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "FakePlatform.h"
#include "experiments/ExamErrStore.h"
#include "experiments/ExamFile.h"
#include "platform/Files.h"
#include "unit/store/StoreTestSupport.h"

namespace {

const std::string kSample = "tests/data/experiments/examerr.data";

std::vector<ExamErrRecord> SampleRecords() {
  ExamErrRecord first;
  first.m_strServer = "www.velmora.cn";
  first.m_nPort = 9112;
  first.m_nUserId = 1001;
  first.m_nCourseId = 201;
  first.m_nExperId = 303;
  first.m_nOperationId = 0;
  first.m_tFailed = 1796000000;
  first.m_nScore = 0;
  first.m_strCourseName = "大学物理：运动学";
  first.m_strResourceName = "自由落体仿真实验";
  first.m_strFid = "100003";
  first.m_strData = "steps=12\r\n{\"score\":87}";
  ExamErrRecord second;
  second.m_strServer = "10.0.0.5";
  second.m_nPort = -1;
  second.m_nUserId = 7;
  second.m_nCourseId = 2;
  second.m_nExperId = 3;
  second.m_nOperationId = 5001;
  second.m_tFailed = 86400;
  second.m_nScore = -5;
  second.m_strFid = "中文编号";
  second.m_strData = "{\"score\":-5}";
  second.m_strReserved1 = "r1";
  second.m_nReserved2 = 9;
  return {first, second};
}

std::string Text(const ExamErrRecord& r) {
  return r.m_strServer + "|" + std::to_string(r.m_nPort) + "|" + std::to_string(r.m_nUserId) +
         "|" + std::to_string(r.m_nCourseId) + "|" + std::to_string(r.m_nExperId) + "|" +
         std::to_string(r.m_nOperationId) + "|" + std::to_string(r.m_tFailed) + "|" +
         std::to_string(r.m_nScore) + "|" + r.m_strCourseName + "|" + r.m_strResourceName + "|" +
         r.m_strFid + "|" + r.m_strData + "|" + r.m_strReserved1 + "|" + r.m_strReserved2 + "|" +
         std::to_string(r.m_nReserved1) + "|" + std::to_string(r.m_nReserved2);
}

std::vector<std::string> Texts(const std::list<ExamErrRecord>& records) {
  std::vector<std::string> texts;
  for (const ExamErrRecord& r : records) texts.push_back(Text(r));
  return texts;
}

std::vector<std::string> Texts(const std::vector<ExamErrRecord>& records, size_t count) {
  return Texts(std::list<ExamErrRecord>(records.begin(), records.begin() + count));
}

struct ExamErrFile : testing::Test {
  ScratchDir dir;
  std::string path = dir / "examerr.data";
  CExamErrStore Store() {
    CExamErrStore store;
    store.SetPath(path);
    return store;
  }
};

TEST_F(ExamErrFile, SampleReadsAndIsWrittenAgainByteForByte) {
  CExamErrStore written = Store();
  for (const ExamErrRecord& r : SampleRecords()) written.Records().push_back(r);
  ASSERT_TRUE(written.Save());
  const std::string sample = SourceFile(kSample);
  const char* regenerate = std::getenv("VELMORA_REGENERATE_SAMPLES");
  if (regenerate && std::string(regenerate) == "1") WriteFileBytes(sample, ReadFileBytes(path));
  EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(sample));

  WriteFileBytes(path, ReadFileBytes(sample));
  CExamErrStore read = Store();
  ASSERT_TRUE(read.Load());
  EXPECT_EQ(Texts(read.Records()), Texts(SampleRecords(), 2));
}

// The failure time is stored before the operation id.
TEST_F(ExamErrFile, TimeComesBeforeTheOperationId) {
  CExamErrStore store = Store();
  ExamErrRecord r;
  r.m_strServer = "h";
  r.m_tFailed = 0x11111111;
  r.m_nOperationId = 0x22222222;
  store.Records().push_back(r);
  ASSERT_TRUE(store.Save());
  const std::string bytes = ReadFileBytes(path);
  // count, "h" (length byte + 1), port, user, course, experiment
  const size_t at = 4 + 2 + 4 * 4;
  EXPECT_EQ(bytes.substr(at, 8), Bytes({0x11, 0x11, 0x11, 0x11, 0x22, 0x22, 0x22, 0x22}));
}

// A cut inside a record drops it and keeps the records before it.
TEST_F(ExamErrFile, DamagedFileKeepsTheWholeRecordsBeforeTheDamage) {
  const std::string sample = ReadFileBytes(SourceFile(kSample));
  CExamErrStore one = Store();
  one.Records().push_back(SampleRecords()[0]);
  ASSERT_TRUE(one.Save());
  const size_t firstEnd = ReadFileBytes(path).size();
  for (size_t cut = 0; cut < sample.size(); ++cut) {
    SCOPED_TRACE(cut);
    WriteFileBytes(path, sample.substr(0, cut));
    CExamErrStore store = Store();
    store.Records().push_back(SampleRecords()[1]);  // replaced by the load
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(Texts(store.Records()), Texts(SampleRecords(), cut >= firstEnd ? 1 : 0));
  }
}

TEST_F(ExamErrFile, HostileFilesLoadNothingHarmful) {
  CExamErrStore big = Store();
  ExamErrRecord planted;
  planted.m_strData = std::string(EXAM_TEXT_MAX + 1, 'x');
  big.Records().push_back(SampleRecords()[0]);
  big.Records().push_back(planted);
  ASSERT_TRUE(big.Save());
  const std::string oversized = ReadFileBytes(path);

  struct Case { const char* name; std::string bytes; bool loaded; size_t records; } cases[] = {
      {"count without records", Bytes({0xff, 0xff, 0xff, 0x7f}), false, 0},
      {"negative count", Bytes({0xff, 0xff, 0xff, 0xff}), true, 0},
      {"zero count", Bytes({0, 0, 0, 0}), true, 0},
      {"string longer than the file", Bytes({1, 0, 0, 0, 0xff, 0xfe, 0xff, 0xff, 0xff, 0x7f}), false, 0},
      {"data beyond any exam file", oversized, false, 1},
      {"empty", "", false, 0},
  };
  for (const Case& c : cases) {
    WriteFileBytes(path, c.bytes);
    CExamErrStore store = Store();
    EXPECT_EQ(store.Load(), c.loaded) << c.name;
    EXPECT_EQ(store.Records().size(), c.records) << c.name;
  }
  CExamErrStore missing;
  missing.SetPath(dir / "none.data");
  EXPECT_FALSE(missing.Load());
}

// The backup stands in for a file that is missing or damaged, and then
// alone: the list never holds the records of both, nor saves them twice.
TEST_F(ExamErrFile, BackupReplacesAMissingOrDamagedFileOnce) {
  const std::vector<ExamErrRecord> sample = SampleRecords();
  CExamErrStore both = Store();
  for (const ExamErrRecord& r : sample) both.Records().push_back(r);
  ASSERT_TRUE(both.Save());
  const std::string whole = ReadFileBytes(path);
  const std::string cut = whole.substr(0, whole.size() - 3);  // inside the second record

  struct Case { const char* name; std::string file, backup; bool loaded; size_t records; } cases[] = {
      {"file whole, backup cut", whole, cut, true, 2},
      {"file cut, backup whole", cut, whole, true, 2},
      {"file empty, backup whole", "", whole, true, 2},
      {"file missing, backup whole", "<missing>", whole, true, 2},
      {"both cut: the file's first record", cut, cut, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::DeleteFileAt(path);
    if (c.file != "<missing>") WriteFileBytes(path, c.file);
    WriteFileBytes(path + "_OLD", c.backup);
    CExamErrStore store = Store();
    EXPECT_EQ(store.Load(), c.loaded);
    EXPECT_EQ(Texts(store.Records()), Texts(sample, c.records));
    ASSERT_TRUE(store.Save());
    CExamErrStore saved = Store();
    EXPECT_TRUE(saved.Load());
    EXPECT_EQ(saved.Records().size(), c.records);
  }
}

// Another program holds the file for a moment (a scanner, another process's
// save): the load waits for it instead of taking the older backup, and gives
// up after about two seconds without saving over it.
TEST_F(ExamErrFile, HeldFileIsWaitedForAndNeverSavedOver) {
  using namespace std::chrono;
  const std::vector<ExamErrRecord> sample = SampleRecords();
  CExamErrStore older = Store();
  older.Records().push_back(sample[1]);
  ASSERT_TRUE(older.Save());
  CExamErrStore newer = Store();
  for (const ExamErrRecord& r : sample) newer.Records().push_back(r);
  ASSERT_TRUE(newer.Save());  // the backup now holds only the older record
  const std::string onDisk = ReadFileBytes(path);

  CExamErrStore store = Store();
  {
    platform::File holder;
    ASSERT_TRUE(holder.Open(path, platform::FileMode::OpenAlways));
    const auto start = steady_clock::now();
    EXPECT_FALSE(store.Load());
    EXPECT_GE(steady_clock::now() - start, milliseconds(1500));
    EXPECT_TRUE(store.Records().empty());
    store.Records().push_back(sample[0]);
    EXPECT_FALSE(store.Save());
  }
  EXPECT_EQ(ReadFileBytes(path), onDisk);

  platform::File holder;
  ASSERT_TRUE(holder.Open(path, platform::FileMode::OpenAlways));
  std::thread release([&holder] {
    std::this_thread::sleep_for(milliseconds(300));
    holder.Close();
  });
  const bool loaded = store.Load();
  release.join();
  EXPECT_TRUE(loaded);
  EXPECT_EQ(Texts(store.Records()), Texts(sample, 2));
  EXPECT_TRUE(store.Save());  // a load that got through lifts the refusal
}

// While the file is held, a failure kept here and a record sent from here
// wait in memory: a load meanwhile lists only the failure that waits, and
// the first load or commit that gets through writes both changes, keeping
// what the file holds besides.
TEST_F(ExamErrFile, ChangesWaitForAHeldFileAndTheNextReadWritesThem) {
  const std::vector<ExamErrRecord> sample = SampleRecords();
  ExamErrRecord kept = sample[0];
  kept.m_strFid = "kept";
  kept.m_strData = "{\"score\":3}";
  for (bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "commit" : "load");
    CExamErrStore writer = Store();
    for (const ExamErrRecord& r : sample) writer.Records().push_back(r);
    ASSERT_TRUE(writer.Save());
    const std::string onDisk = ReadFileBytes(path);
    CExamErrStore store = Store();
    ASSERT_TRUE(store.Load());
    {
      platform::File holder;
      ASSERT_TRUE(holder.Open(path, platform::FileMode::OpenAlways));
      store.Remove(&store.Records().front());
      store.Keep(kept);
      EXPECT_FALSE(store.Commit());
      EXPECT_FALSE(store.Load());
      EXPECT_EQ(Texts(store.Records()), std::vector<std::string>{Text(kept)});
      EXPECT_FALSE(store.Save());
      EXPECT_TRUE(store.HasPendingFailures());
    }
    EXPECT_EQ(ReadFileBytes(path), onDisk);
    EXPECT_TRUE(commit ? store.Commit() : store.Load());
    EXPECT_FALSE(store.HasPending());
    CExamErrStore saved = Store();
    ASSERT_TRUE(saved.Load());
    EXPECT_EQ(Texts(saved.Records()), (std::vector<std::string>{Text(sample[1]), Text(kept)}));
  }
}

// A file missing while its backup is held may be all that is left of the
// list: it reads as held, and nothing is saved over it.
TEST_F(ExamErrFile, MissingFileWithAHeldBackupIsNotSavedOver) {
  const std::vector<ExamErrRecord> sample = SampleRecords();
  CExamErrStore writer = Store();
  writer.Records().push_back(sample[0]);
  ASSERT_TRUE(writer.Save());
  ASSERT_TRUE(writer.Save());  // the backup holds the record too
  ASSERT_TRUE(platform::DeleteFileAt(path));
  const std::string backup = ReadFileBytes(path + "_OLD");
  CExamErrStore store = Store();
  {
    platform::File holder;
    ASSERT_TRUE(holder.Open(path + "_OLD", platform::FileMode::OpenAlways));
    std::list<ExamErrRecord> read;
    EXPECT_EQ(store.ReadFile(read), ExamErrRead::Held);
    store.Keep(sample[1]);
    EXPECT_FALSE(store.Commit());
  }
  EXPECT_FALSE(platform::FileExists(path));
  EXPECT_EQ(ReadFileBytes(path + "_OLD"), backup);
  EXPECT_TRUE(store.Commit());  // from the backup, with the failure kept meanwhile
  EXPECT_EQ(Texts(store.Records()), Texts(sample, 2));
}

TEST_F(ExamErrFile, AddFetchesBothNamesRemoveAndClearFree) {
  FakePlatform platform;
  CExamErrStore store = Store();
  ExamErrRecord r;
  r.m_strServer = "127.0.0.1";
  r.m_nPort = platform.Port();
  r.m_nCourseId = 201;
  r.m_nExperId = 303;
  ExamErrRecord& added = store.Add(r);
  EXPECT_EQ(added.m_strCourseName, "大学物理");
  EXPECT_EQ(added.m_strResourceName, "自由落体");
  EXPECT_EQ(platform.Calls(), (std::vector<std::string>{"/course/detail.yks|id=201",
                                                        "/source/detail.yks|id=303"}));
  EXPECT_EQ(ReadFileBytes(path), "<missing>");  // Add does not save

  platform.failing = {"/course/detail.yks"};
  r.m_nPort = platform.Port();
  ExamErrRecord& second = store.Add(r);
  EXPECT_EQ(second.m_strCourseName, "");
  EXPECT_EQ(second.m_strResourceName, "自由落体");

  store.Remove(&added);
  ASSERT_EQ(store.Records().size(), 1u);
  EXPECT_EQ(&store.Records().front(), &second);
  store.Clear();
  ASSERT_TRUE(store.Save());
  EXPECT_EQ(ReadFileBytes(path), Bytes({0, 0, 0, 0}));
}

TEST_F(ExamErrFile, NewRecordFailedNow) {
  const int32_t before = (int32_t)std::time(nullptr);
  ExamErrRecord r;
  EXPECT_GE(r.m_tFailed, before);
  EXPECT_LE(r.m_tFailed, before + 5);
}

}  // namespace
