#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "SegmentedDownloaderTestServer.h"
#include "StoreTestSupport.h"
#include "store/RecordStream.h"
#include "store/SegmentedDownloader.h"

namespace {

std::string Content(size_t size) {
  std::string bytes(size, '\0');
  uint32_t x = 12345;
  for (char& c : bytes) {
    x = x * 1103515245 + 12345;
    c = (char)(x >> 16);
  }
  return bytes;
}

// Counts the downloader's notifications.
struct Notifications {
  std::atomic<int> progress{0};
  std::atomic<int> ended{0};
  static void Proc(int64_t, int64_t, int kind, void* user) {
    auto* self = static_cast<Notifications*>(user);
    (kind == SDN_PROGRESS ? self->progress : self->ended)++;
  }
  void Attach(CSegmentedDownloader& downloader) {
    downloader.m_pfnNotify = &Proc;
    downloader.m_pUser = this;
  }
};

void WriteRecords(const std::string& path, int32_t count,
                  const std::vector<std::vector<std::string>>& segments) {
  ASSERT_TRUE(SaveRecords(path, [&](CRecordStream& s) {
    s.WriteInt32(count);
    for (const auto& fields : segments)
      for (const auto& field : fields) s.WriteString(field);
    return true;
  }));
}

std::vector<std::string> RangeRequests(RangeServer& server) {
  std::vector<std::string> lines = server.RangeLines();
  lines.erase(lines.begin());  // the probe
  std::sort(lines.begin(), lines.end());
  return lines;
}

// Compares without printing megabytes of bytes on a mismatch.
void ExpectFileHolds(const std::string& path, const std::string& content) {
  std::string bytes = ReadFileBytes(path);
  EXPECT_EQ(bytes.size(), content.size()) << path;
  size_t differ = std::mismatch(bytes.begin(), bytes.end(), content.begin(), content.end()).first -
                  bytes.begin();
  EXPECT_TRUE(bytes == content) << path << " differs first at byte " << differ;
}

void WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 2000 && !condition(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

}  // namespace

TEST(SegmentedDownloaderServer, TenRangesAndARemainderMakeTheTarget) {
  ScratchDir dir;
  const std::string content = Content(100005);
  RangeServer server(content);
  WriteFileBytes(dir / "tool.bin", "an older copy");
  CSegmentedDownloader downloader;
  Notifications notes;
  notes.Attach(downloader);
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
  EXPECT_EQ(downloader.GetTargetPath(), dir / "tool.bin");
  EXPECT_EQ(downloader.GetSegments().size(), 11u);
  WaitFor([&] { return !downloader.IsRunning(); });
  EXPECT_EQ(notes.ended, 1);
  EXPECT_GT(notes.progress, 0);
  EXPECT_EQ(downloader.GetDone(), 100005);
  // Without waiting: the total is there, the part file replaces the older target.
  EXPECT_TRUE(downloader.Finish(false, 0));
  ExpectFileHolds(dir / "tool.bin", content);
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin.down"));
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin.down.cfg"));
  std::vector<std::string> ranges = RangeRequests(server);
  ASSERT_EQ(ranges.size(), 11u);
  EXPECT_EQ(ranges[0], "bytes=0-9999");
  EXPECT_EQ(ranges[1], "bytes=10000-19999");
  EXPECT_EQ(ranges[2], "bytes=100000-100004");
}

TEST(SegmentedDownloaderServer, ThreeByteFileIsFetchedByItsOneNonEmptyRange) {
  ScratchDir dir;
  RangeServer server("abc");
  CSegmentedDownloader downloader;
  Notifications notes;
  notes.Attach(downloader);
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), "three.txt", 10));
  ASSERT_TRUE(downloader.Finish(true, -1));
  EXPECT_EQ(ReadFileBytes(dir / "three.txt"), "abc");
  EXPECT_EQ(downloader.GetSegments().size(), 11u);
  // The ten empty ranges are complete from the start and fetch nothing.
  EXPECT_EQ(RangeRequests(server), std::vector<std::string>{"bytes=0-2"});
  EXPECT_EQ(notes.ended, 1);
}

TEST(SegmentedDownloaderServer, ServerWithoutRangesGivesOneSegment) {
  ScratchDir dir;
  const std::string content = Content(50000);
  RangeServer server(content);
  server.acceptRanges = false;
  CSegmentedDownloader downloader;
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 25));
  ASSERT_EQ(downloader.GetSegments().size(), 1u);
  ASSERT_TRUE(downloader.Finish(true, -1));
  ExpectFileHolds(dir / "tool.bin", content);
}

TEST(SegmentedDownloaderServer, ResumesOnlyTheIncompleteRanges) {
  ScratchDir dir;
  const std::string content = Content(100000);
  RangeServer server(content);
  server.trickleAfter = 4000;
  int64_t stoppedAt = 0;
  {
    CSegmentedDownloader first;
    ASSERT_TRUE(first.Start(server.Url(), dir.Path(), nullptr, 10));
    WaitFor([&] { return first.GetDone() >= 40000; });
    first.StopAll();
    EXPECT_FALSE(first.Finish(true, -1));
    EXPECT_FALSE(first.AnySegmentGaveUp());
    stoppedAt = first.GetDone();
  }
  ASSERT_GT(stoppedAt, 0);
  ASSERT_LT(stoppedAt, 100000);
  EXPECT_TRUE(platform::FileExists(dir / "tool.bin.down"));
  EXPECT_TRUE(platform::FileExists(dir / "tool.bin.down.cfg"));

  // Make one range complete on disk, so that it must not be fetched again.
  std::vector<std::vector<std::string>> records;
  int64_t sum = 0;
  ASSERT_TRUE(LoadRecords(dir / "tool.bin.down.cfg", [&](CRecordStream& s) {
    int32_t count = 0;
    s.ReadInt32(count);
    for (int i = 0; i < count; ++i) {
      std::string a, b, c;
      s.ReadString(a), s.ReadString(b), s.ReadString(c);
      records.push_back({a, b, c});
    }
    return !s.Failed();
  }));
  ASSERT_EQ(records.size(), 10u);
  int64_t recorded = 0;  // the newest counts reached the file, not an earlier text
  for (const auto& r : records) recorded += ParseDecimal64(r[2]);
  EXPECT_EQ(recorded, stoppedAt);
  records[3][2] = "10000";
  {
    platform::File part;
    ASSERT_TRUE(part.Open(dir / "tool.bin.down", platform::FileMode::SharedWrite));
    ASSERT_TRUE(part.Seek(30000));
    ASSERT_TRUE(part.Write(content.data() + 30000, 10000));
  }
  WriteRecords(dir / "tool.bin.down.cfg", 10, records);
  for (const auto& r : records) sum += ParseDecimal64(r[2]);

  server.holdRanges = true;
  server.trickleAfter = -1;
  CSegmentedDownloader second;
  ASSERT_TRUE(second.Start(server.Url(), dir.Path(), nullptr, 10));
  EXPECT_EQ(second.GetDone(), sum);  // before any new byte arrives
  server.holdRanges = false;
  ASSERT_TRUE(second.Finish(true, -1));
  ExpectFileHolds(dir / "tool.bin", content);

  // The second run asked each incomplete range for its rest only.
  std::vector<std::string> lines = server.RangeLines();
  std::vector<std::string> secondRun(lines.end() - 9, lines.end());
  std::sort(secondRun.begin(), secondRun.end());
  std::vector<std::string> expected;
  for (int i = 0; i < 10; ++i) {
    if (i == 3) continue;
    expected.push_back("bytes=" + std::to_string(i * 10000 + ParseDecimal64(records[i][2])) + "-" +
                       std::to_string(i * 10000 + 9999));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(secondRun, expected);
  EXPECT_EQ(lines.size(), 1 + 10 + 1 + 9 + (lines.size() - 21));  // no request for range 3
}

TEST(SegmentedDownloaderServer, HostileOrForeignRecordsStartFresh) {
  const std::string content = Content(1000);
  const struct { const char* what; int64_t partSize; int32_t count;
                 std::vector<std::vector<std::string>> segments; } cases[] = {
      {"part file of another size", 999, 1, {{"0", "999", "500"}}},
      {"huge count", 1000, 0x7FFFFFFF, {{"0", "999", "500"}}},
      {"negative count", 1000, -4, {}},
      {"negative done", 1000, 1, {{"0", "999", "-5"}}},
      {"range outside the file", 1000, 2, {{"0", "499", "0"}, {"500", "5000", "0"}}},
      {"overlapping ranges", 1000, 2, {{"0", "599", "600"}, {"500", "999", "0"}}},
      {"truncated records", 1000, 3, {{"0", "999", "500"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    RangeServer server(content);
    WriteFileBytes(dir / "tool.bin.down", std::string((size_t)c.partSize, 'x'));
    WriteRecords(dir / "tool.bin.down.cfg", c.count, c.segments);
    CSegmentedDownloader downloader;
    ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
    EXPECT_EQ(downloader.GetSegments().size(), 10u);
    ASSERT_TRUE(downloader.Finish(true, -1));
    ExpectFileHolds(dir / "tool.bin", content);
    EXPECT_EQ(RangeRequests(server).size(), 10u);
    EXPECT_EQ(RangeRequests(server)[0], "bytes=0-99");
  }
}

TEST(SegmentedDownloaderServer, RetryBudgetEndsSegmentsAgainstAFailingServer) {
  ScratchDir dir;
  RangeServer server(Content(10000));
  server.failRanges = true;
  CSegmentedDownloader downloader;
  Notifications notes;
  notes.Attach(downloader);
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
  EXPECT_FALSE(downloader.Finish(true, -1));
  EXPECT_TRUE(downloader.AnySegmentGaveUp());
  EXPECT_EQ(downloader.GetDone(), 0);
  EXPECT_EQ(notes.ended, 1);
  // 100 failures use up the budget; each other segment fails once more at most.
  size_t attempts = RangeRequests(server).size();
  EXPECT_GE(attempts, 100u);
  EXPECT_LE(attempts, 109u);
  // The part file and records stay for a later try.
  EXPECT_TRUE(platform::FileExists(dir / "tool.bin.down"));
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin"));
}

TEST(SegmentedDownloaderServer, StartFailures) {
  ScratchDir dir;
  {
    RangeServer server("error page");
    server.probeStatus = 404;  // an error page is not the file
    CSegmentedDownloader downloader;
    EXPECT_FALSE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
    EXPECT_EQ(downloader.m_nError, SDE_PROBE);
    EXPECT_FALSE(platform::FileExists(dir / "tool.bin.down"));
  }
  {
    RangeServer server("");
    CSegmentedDownloader downloader;
    EXPECT_FALSE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
    EXPECT_EQ(downloader.m_nError, SDE_EMPTY);
  }
  {
    CSegmentedDownloader downloader;
    EXPECT_FALSE(downloader.Start("http://127.0.0.1:1/x", dir.Path(), nullptr, 10));
    EXPECT_EQ(downloader.m_nError, SDE_PROBE);
  }
  {
    RangeServer server(Content(1000));
    server.holdRanges = true;
    CSegmentedDownloader downloader;
    ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
    EXPECT_FALSE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
    EXPECT_EQ(downloader.m_nError, SDE_RUNNING);
    EXPECT_TRUE(downloader.IsRunning());
    server.holdRanges = false;
    EXPECT_TRUE(downloader.Finish(true, -1));
  }
  {
    RangeServer server(Content(1000));
    CSegmentedDownloader downloader;
    EXPECT_FALSE(downloader.Start(server.Url(), dir / "missing", nullptr, 10));
    EXPECT_EQ(downloader.m_nError, SDE_PART_FILE);
  }
}

TEST(SegmentedDownloaderServer, DispositionNameStaysInTheDirectory) {
  ScratchDir dir;
  RangeServer server(Content(2000));
  server.disposition = "attachment; filename=\"..\\..\\escaped.exe\"";
  CSegmentedDownloader downloader;
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
  ASSERT_TRUE(downloader.Finish(true, -1));
  EXPECT_EQ(downloader.GetTargetPath(), dir / "escaped.exe");
  EXPECT_TRUE(platform::FileExists(dir / "escaped.exe"));
}

TEST(SegmentedDownloaderServer, ReplyThatIsNotTheRangeIsNeverCounted) {
  ScratchDir dir;
  RangeServer server(Content(10000));
  server.overlongRanges = true;
  CSegmentedDownloader downloader;
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
  EXPECT_FALSE(downloader.Finish(true, -1));
  EXPECT_TRUE(downloader.AnySegmentGaveUp());
  // Only the last range was answered exactly (the file has no byte more).
  EXPECT_EQ(downloader.GetDone(), 1000);
  EXPECT_EQ(RangeRequests(server).size(), 10u);  // no retry can help
  // Its bytes reached neighbouring ranges: the records must not be believed.
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin.down.cfg"));
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin"));
}

TEST(SegmentedDownloaderServer, ReplyWithoutLengthIsFetchedWholeOnTheCallingThread) {
  ScratchDir dir;
  const std::string content = Content(70000);
  RangeServer server(content);
  server.noLength = true;
  server.acceptRanges = false;
  WriteFileBytes(dir / "tool.bin", "stale bytes that must not be resumed after");
  CSegmentedDownloader downloader;
  Notifications notes;
  notes.Attach(downloader);
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
  ExpectFileHolds(dir / "tool.bin", content);
  EXPECT_TRUE(downloader.GetSegments().empty());
  EXPECT_FALSE(downloader.IsRunning());
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin.down"));
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin.down.cfg"));
  EXPECT_EQ(notes.progress + notes.ended, 0);
}

// Workers waiting on a server that has stopped answering end as soon as the
// download is stopped, and the stop does not use up the retry budget.
TEST(SegmentedDownloaderServer, StopEndsWorkersStalledOnTheServerAtOnce) {
  ScratchDir dir;
  RangeServer server(Content(100000));
  server.holdRanges = true;
  CSegmentedDownloader downloader;
  downloader.m_nRetryBudget = 1;
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 10));
  WaitFor([&] { return RangeRequests(server).size() == 10u; });
  ASSERT_EQ(RangeRequests(server).size(), 10u);
  const auto stopped = std::chrono::steady_clock::now();
  downloader.StopAll();
  EXPECT_FALSE(downloader.Finish(true, -1));
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, std::chrono::seconds(1));
  EXPECT_FALSE(downloader.AnySegmentGaveUp());
  EXPECT_FALSE(downloader.IsRunning());
  EXPECT_TRUE(platform::FileExists(dir / "tool.bin.down.cfg"));
}

// A server without ranges answers a resume with the whole file: the resume
// starts the one segment from its first byte instead of failing every time.
TEST(SegmentedDownloaderServer, ResumeFromAServerWithoutRangesStartsFromTheFirstByte) {
  ScratchDir dir;
  const std::string content = Content(60000);
  RangeServer server(content);
  server.acceptRanges = false;
  server.trickleAfter = 5000;
  {
    CSegmentedDownloader first;
    ASSERT_TRUE(first.Start(server.Url(), dir.Path(), nullptr, 10));
    WaitFor([&] { return first.GetDone() >= 6000; });
    first.StopAll();
    EXPECT_FALSE(first.Finish(true, -1));
    ASSERT_GT(first.GetDone(), 0);
  }
  ASSERT_TRUE(platform::FileExists(dir / "tool.bin.down.cfg"));
  server.trickleAfter = -1;
  for (int start = 0; start < 2; ++start) {  // a second start finds the file done
    CSegmentedDownloader again;
    ASSERT_TRUE(again.Start(server.Url(), dir.Path(), nullptr, 10));
    EXPECT_TRUE(again.Finish(true, -1));
    ExpectFileHolds(dir / "tool.bin", content);
  }
  EXPECT_FALSE(platform::FileExists(dir / "tool.bin.down.cfg"));
}

// The records are emptied when the spill happens, not only at Finish: a
// crash before Finish cannot resume over the overwritten bytes.
TEST(SegmentedDownloaderServer, SpilledReplyEmptiesTheRecordsAtOnce) {
  ScratchDir dir;
  RangeServer server(Content(10000));
  server.overlongRanges = true;
  WriteFileBytes(dir / "tool.bin.down", std::string(10000, '\0'));
  WriteRecords(dir / "tool.bin.down.cfg", 2, {{"0", "4999", "0"}, {"5000", "9999", "0"}});
  CSegmentedDownloader downloader;
  ASSERT_TRUE(downloader.Start(server.Url(), dir.Path(), nullptr, 2));
  WaitFor([&] { return !downloader.IsRunning(); });
  ASSERT_FALSE(downloader.IsRunning());
  EXPECT_EQ(platform::FileSizeAt(dir / "tool.bin.down.cfg"), 0);
  EXPECT_FALSE(downloader.Finish(true, -1));
}
