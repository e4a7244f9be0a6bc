#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>
#include <vector>

#include "cdn/CdnCounters.h"
#include "cdn/CdnStatus.h"
#include "cdn/HttpFront.h"

namespace {

class CdnCountersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cdn-counters-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
    m_path = m_dir + "/counters";
  }
  void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }
  CCdnCounters Make() {
    return CCdnCounters(m_path, [this] { return m_now; },
                        [this](const std::string& line) { m_journal.push_back(line); });
  }
  std::string m_dir, m_path;
  time_t m_now = 1796817600;  // a weekday at noon UTC, well away from midnight
  std::vector<std::string> m_journal;
};

TEST_F(CdnCountersTest, LookUpsAndFetchesAreCountedAndSurviveARestart) {
  {
    CCdnCounters counters = Make();
    std::string error;
    ASSERT_TRUE(counters.Load(error)) << error;  // no file yet: from zero
    counters.Answered("10.0.0.2", {CDN_RET_HELD, "/files/a", 1000});
    counters.Answered("10.0.0.3", {CDN_RET_HELD, "/files/b", 500});
    counters.Answered("10.0.0.3", {CDN_RET_FETCHING, "", 0});
    counters.Answered("10.0.0.4", {CDN_RET_UNAVAILABLE, "", 0});
    counters.Answered("10.0.0.4", {CDN_RET_BAD_FID, "", 0});  // no file a cache could hold
    counters.Fetched(1500);
    ASSERT_TRUE(counters.Save(error)) << error;
  }
  struct stat info{};
  EXPECT_NE(stat((m_path + ".new").c_str(), &info), 0);
  CCdnCounters counters = Make();
  std::string error;
  ASSERT_TRUE(counters.Load(error)) << error;
  for (const CdnTally& tally : {counters.Total(), counters.Today()}) {
    EXPECT_EQ(tally.hits, 2);
    EXPECT_EQ(tally.misses, 2);
    EXPECT_EQ(tally.servedBytes, 1500);
    EXPECT_EQ(tally.fetches, 1);
    EXPECT_EQ(tally.fetchedBytes, 1500);
  }
  EXPECT_EQ(counters.Since(), LocalDate(m_now));
}

TEST_F(CdnCountersTest, AnUnreadableFileStartsTheCountingAgain) {
  for (const char* text : {"since 2026-01-01\nday 2026-01-02\ntotal_hits lots\n",
                           "since yesterday\nday 2026-01-02\n", "total_hits 5\n",
                           "since 2026-01-01\nday 2026-01-02\ncolour red\n"}) {
    std::ofstream(m_path, std::ios::binary) << text;
    CCdnCounters counters = Make();
    std::string error;
    EXPECT_FALSE(counters.Load(error)) << text;
    EXPECT_NE(error.find(m_path), std::string::npos) << text;
    EXPECT_EQ(counters.Total().hits, 0) << text;
    EXPECT_EQ(counters.Since(), LocalDate(m_now)) << text;
  }
}

TEST_F(CdnCountersTest, ANewDayWritesTheSavingToTheJournalAndStartsAgain) {
  CCdnCounters counters = Make();
  std::string error;
  ASSERT_TRUE(counters.Load(error));
  const std::string firstDay = LocalDate(m_now);
  counters.Answered("10.0.0.2", {CDN_RET_HELD, "/files/a", 3LL << 30});
  counters.Fetched(1 << 20);
  counters.Tick();
  EXPECT_TRUE(m_journal.empty());
  m_now += 86400;
  counters.Tick();
  ASSERT_EQ(m_journal.size(), 1u);
  EXPECT_EQ(m_journal[0], firstDay + ": served 3.0 GiB to 1 look-ups, fetched 1.0 MiB");
  EXPECT_EQ(counters.Today().hits, 0);
  EXPECT_EQ(counters.Total().hits, 1);
  counters.Tick();
  EXPECT_EQ(m_journal.size(), 1u);

  // A day that ended while the service was stopped is reported at the next start.
  ASSERT_TRUE(counters.Save(error));
  counters.Answered("10.0.0.2", {CDN_RET_HELD, "/files/b", 10});
  ASSERT_TRUE(counters.Save(error));
  m_now += 86400;
  CCdnCounters restarted = Make();
  ASSERT_TRUE(restarted.Load(error));
  restarted.Tick();
  ASSERT_EQ(m_journal.size(), 2u);
  EXPECT_EQ(m_journal[1], LocalDate(m_now - 86400) + ": served 10 B to 1 look-ups, fetched 0 B");
}

TEST_F(CdnCountersTest, ClientsSeenCountEachMachineOnceWithinTheHour) {
  CCdnCounters counters = Make();
  counters.Answered("10.0.0.2", {CDN_RET_FETCHING, "", 0});
  counters.Answered("10.0.0.2", {CDN_RET_HELD, "/files/a", 1});
  m_now += 1800;
  counters.Answered("10.0.0.3", {CDN_RET_BAD_FID, "", 0});
  counters.Answered("", {CDN_RET_HELD, "/files/a", 1});
  EXPECT_EQ(counters.ClientsSeen(3600), 2);
  m_now += 1800;
  EXPECT_EQ(counters.ClientsSeen(3600), 1);
}

TEST(CdnSaving, AmountsReadAsAPersonSaysThem) {
  const struct { int64_t bytes; const char* text;
  } cases[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {1024, "1.0 KiB"},
      {1536, "1.5 KiB"},
      {(int64_t)(41.2 * (1LL << 30)), "41.2 GiB"},
      {5LL << 40, "5.0 TiB"},
      {5000LL << 40, "5000.0 TiB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatByteAmount(c.bytes), c.text) << c.bytes;
  CdnTally day;
  day.hits = 612;
  day.servedBytes = (int64_t)(41.2 * (1LL << 30));
  day.fetchedBytes = (int64_t)(1.3 * (1LL << 30));
  EXPECT_EQ(FormatDaySaving(day), "served 41.2 GiB to 612 look-ups, fetched 1.3 GiB");
}

TEST(CdnMetrics, TheScrapedTextCarriesEveryCounterAndReadsBack) {
  CdnSnapshot snapshot;
  snapshot.files = 12;
  snapshot.heldBytes = 3LL << 30;
  snapshot.capBytes = 20LL << 30;
  snapshot.reservedBytes = 4096;
  snapshot.runningFetches = 2;
  snapshot.clientsLastHour = 37;
  snapshot.total = {700, 50, 5LL << 30, 40, 2LL << 30};
  snapshot.today = {612, 40, 4LL << 30, 30, 1LL << 30};
  snapshot.since = "2026-11-01";
  const std::string text = FormatMetrics(snapshot);
  for (const char* line :
       {"velmora_cdn_files 12\n", "velmora_cdn_hits_total 700\n", "velmora_cdn_today_hits 612\n",
        "# TYPE velmora_cdn_hits_total counter\n", "velmora_cdn_running_fetches 2\n",
        "velmora_cdn_clients_last_hour 37\n", "velmora_cdn_info{since=\"2026-11-01\"} 1\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    const std::string line = text.substr(at, end - at);
    EXPECT_TRUE(line.compare(0, 12, "velmora_cdn_") == 0 || line[0] == '#') << line;
    at = end + 1;
  }
  CdnSnapshot back;
  ASSERT_TRUE(ParseMetrics(text, back));
  EXPECT_EQ(FormatStatus(back), FormatStatus(snapshot));
  EXPECT_EQ(back.today.fetchedBytes, 1LL << 30);
  EXPECT_FALSE(ParseMetrics("velmora_cdn_files 12\n", back));
}

// What `velmora-cdn status` prints, from a running service and from its directory alone.
TEST_F(CdnCountersTest, StatusAsksTheRunningServiceAndElseReadsTheDirectory) {
  CdnConfig config;
  config.cacheDir = m_dir;
  config.cacheCap = 1 << 20;
  CHttpFront front([] {
    CdnSnapshot live;
    live.files = 3;
    live.runningFetches = 2;
    live.since = "2026-11-01";
    return FormatMetrics(live);
  });
  std::string error;
  ASSERT_TRUE(front.Listen("127.0.0.1", 0, error)) << error;
  CCacheStore store(m_dir + "/unused", 1000);
  ASSERT_TRUE(store.Open(error));
  CCdnService service(store, [](const CdnFetchRequest&, int64_t&) { return false; }, {});
  std::atomic<bool> stop{false};
  std::thread serving([&] { front.Serve(service, stop); });
  config.listenPort = front.Port();
  testing::internal::CaptureStdout();
  const int running = RunStatusCommand(config);
  std::fflush(stdout);
  const std::string live = testing::internal::GetCapturedStdout();
  stop = true;
  serving.join();
  EXPECT_EQ(running, 0);
  EXPECT_NE(live.find("is running"), std::string::npos) << live;
  EXPECT_NE(live.find("files held:         3\n"), std::string::npos) << live;
  EXPECT_NE(live.find("running fetches:    2\n"), std::string::npos) << live;

  // Stopped: the directory's files and the saved counters.
  mkdir((m_dir + "/files").c_str(), 0755);
  std::ofstream(m_dir + "/files/100001", std::ios::binary) << std::string(2048, 'x');
  std::ofstream(m_dir + "/files/.hidden", std::ios::binary) << "x";
  CCdnCounters saved(m_dir + "/" + CDN_COUNTERS_FILE);
  ASSERT_TRUE(saved.Load(error));
  saved.Answered("10.0.0.2", {CDN_RET_HELD, "/files/100001", 2048});
  ASSERT_TRUE(saved.Save(error));
  testing::internal::CaptureStdout();
  const int stopped = RunStatusCommand(config);
  std::fflush(stdout);
  const std::string offline = testing::internal::GetCapturedStdout();
  EXPECT_EQ(stopped, 1);
  EXPECT_NE(offline.find("is not running"), std::string::npos) << offline;
  EXPECT_NE(offline.find("files held:         1\n"), std::string::npos) << offline;
  EXPECT_NE(offline.find("bytes held:         2.0 KiB of 1.0 MiB"), std::string::npos) << offline;
  EXPECT_NE(offline.find("1 hits, 0 misses; served 2.0 KiB"), std::string::npos) << offline;
}

}  // namespace
