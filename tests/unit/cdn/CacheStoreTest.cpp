#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "cdn/CacheStore.h"

namespace {

class CacheStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/cdn-store-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    m_dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + m_dir).c_str()); }

  static void WriteFile(const std::string& path, size_t size) {
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
  }
  // A fetched file, as a fetch leaves it in tmp/, moved into place.
  static bool Fetch(CCacheStore& store, const std::string& fid, size_t size) {
    WriteFile(store.PartPath(fid), size);
    return store.Admit(fid, (int64_t)size);
  }
  static bool Exists(const std::string& path) {
    struct stat info{};
    return stat(path.c_str(), &info) == 0;
  }
  std::string m_dir;
};

TEST_F(CacheStoreTest, AdmitsOnlyAPartFileOfTheAnnouncedSize) {
  CCacheStore store(m_dir, 1000);
  std::string error;
  ASSERT_TRUE(store.Open(error)) << error;
  const struct { const char* fid; size_t written; int64_t announced; bool admitted; } cases[] = {
      {"whole", 100, 100, true},
      {"short", 99, 100, false},   // the platform closed early
      {"long", 101, 100, false},
      {"empty", 0, 0, false},
      {"overcap", 1001, 1001, false},  // could never fit
  };
  for (const auto& c : cases) {
    WriteFile(store.PartPath(c.fid), c.written);
    EXPECT_EQ(store.Admit(c.fid, c.announced), c.admitted) << c.fid;
    EXPECT_FALSE(Exists(store.PartPath(c.fid))) << c.fid;
    EXPECT_EQ(Exists(store.FilePath(c.fid)), c.admitted) << c.fid;
    int64_t size = 0;
    EXPECT_EQ(store.Lookup(c.fid, size), c.admitted) << c.fid;
  }
  EXPECT_EQ(store.UsedBytes(), 100);
  EXPECT_FALSE(store.Admit("never-fetched", 10));
}

TEST_F(CacheStoreTest, EvictsTheLeastRecentlyUsedToStayWithinTheCap) {
  CCacheStore store(m_dir, 1000, 0, 0);
  std::string error;
  ASSERT_TRUE(store.Open(error));
  ASSERT_TRUE(Fetch(store, "a", 400));
  ASSERT_TRUE(Fetch(store, "b", 400));
  int64_t size = 0;
  ASSERT_TRUE(store.Lookup("a", size));  // a is now more recent than b
  ASSERT_TRUE(Fetch(store, "c", 400));
  EXPECT_TRUE(Exists(store.FilePath("a")));
  EXPECT_FALSE(Exists(store.FilePath("b")));
  EXPECT_FALSE(store.Lookup("b", size));
  EXPECT_EQ(store.UsedBytes(), 800);
  // One file as large as the cap leaves room for nothing else.
  ASSERT_TRUE(Fetch(store, "d", 1000));
  EXPECT_EQ(store.Count(), 1u);
  EXPECT_EQ(store.UsedBytes(), 1000);
}

TEST_F(CacheStoreTest, RestartKeepsWholeFilesAndTheirOrderAndDropsParts) {
  {
    CCacheStore store(m_dir, 1000);
    std::string error;
    ASSERT_TRUE(store.Open(error));
    ASSERT_TRUE(Fetch(store, "old", 300));
    ASSERT_TRUE(Fetch(store, "new", 300));
    int64_t size = 0;
    ASSERT_TRUE(store.Lookup("old", size));  // now "new" is the least recent
    WriteFile(store.PartPath("killed"), 123);  // a fetch cut off by a kill
    WriteFile(m_dir + "/files/.not-ours", 50);
  }
  CCacheStore store(m_dir, 1000);
  std::string error;
  ASSERT_TRUE(store.Open(error));
  EXPECT_FALSE(Exists(store.PartPath("killed")));
  EXPECT_EQ(store.Count(), 2u);
  EXPECT_EQ(store.UsedBytes(), 600);
  ASSERT_TRUE(Fetch(store, "third", 401));
  EXPECT_FALSE(Exists(store.FilePath("new")));
  EXPECT_TRUE(Exists(store.FilePath("old")));
}

TEST_F(CacheStoreTest, ALoweredCapEvictsAtStart) {
  {
    CCacheStore store(m_dir, 1000);
    std::string error;
    ASSERT_TRUE(store.Open(error));
    ASSERT_TRUE(Fetch(store, "a", 400));
    ASSERT_TRUE(Fetch(store, "b", 400));
  }
  CCacheStore store(m_dir, 500);
  std::string error;
  ASSERT_TRUE(store.Open(error));
  EXPECT_EQ(store.Count(), 1u);
  EXPECT_TRUE(Exists(store.FilePath("b")));
}

TEST_F(CacheStoreTest, AFileRemovedBehindItsBackIsNoLongerOffered) {
  CCacheStore store(m_dir, 1000);
  std::string error;
  ASSERT_TRUE(store.Open(error));
  ASSERT_TRUE(Fetch(store, "gone", 100));
  unlink(store.FilePath("gone").c_str());
  int64_t size = 0;
  EXPECT_FALSE(store.Lookup("gone", size));
  EXPECT_EQ(store.UsedBytes(), 0);
}

TEST_F(CacheStoreTest, AFileOlderThanTheMaximumAgeIsFetchedAgain) {
  CCacheStore store(m_dir, 1000, 3600);
  std::string error;
  ASSERT_TRUE(store.Open(error));
  ASSERT_TRUE(Fetch(store, "aged", 100));
  int64_t size = 0;
  ASSERT_TRUE(store.Lookup("aged", size));
  timespec times[2] = {{0, UTIME_OMIT}, {time(nullptr) - 3601, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, store.FilePath("aged").c_str(), times, 0), 0);
  EXPECT_FALSE(store.Lookup("aged", size));
  EXPECT_EQ(store.UsedBytes(), 100);  // still there until its fresh copy arrives
  ASSERT_TRUE(Fetch(store, "aged", 150));
  EXPECT_TRUE(store.Lookup("aged", size));
  EXPECT_EQ(size, 150);
  EXPECT_EQ(store.UsedBytes(), 150);
}

TEST_F(CacheStoreTest, OnlyAnEmptyOrMarkedDirectoryIsTakenAsTheCache) {
  const std::string marker = std::string("/") + CCacheStore::MARKER_NAME;
  const struct {
    const char* name;
    std::function<void(const std::string&)> prepare;
    bool opens;
  } cases[] = {
      {"missing", [](const std::string&) {}, true},
      {"empty", [](const std::string& dir) { mkdir(dir.c_str(), 0755); }, true},
      {"marked, with files",
       [&](const std::string& dir) {
         mkdir(dir.c_str(), 0755);
         WriteFile(dir + marker, 0);
         mkdir((dir + "/tmp").c_str(), 0755);
         WriteFile(dir + "/tmp/x.part", 10);
       },
       true},
      {"someone else's",
       [](const std::string& dir) {
         mkdir(dir.c_str(), 0755);
         mkdir((dir + "/tmp").c_str(), 0755);
         WriteFile(dir + "/tmp/x.part", 10);
         WriteFile(dir + "/notes.txt", 10);
       },
       false},
      {"only a hidden file", [](const std::string& dir) {
         mkdir(dir.c_str(), 0755);
         WriteFile(dir + "/.profile", 10);
       },
       false},
  };
  for (const auto& c : cases) {
    const std::string dir = m_dir + "/" + c.name;
    c.prepare(dir);
    CCacheStore store(dir, 1000);
    std::string error;
    EXPECT_EQ(store.Open(error), c.opens) << c.name;
    EXPECT_EQ(Exists(dir + marker), c.opens) << c.name;
    if (c.opens) {
      EXPECT_FALSE(Exists(dir + "/tmp/x.part")) << c.name;
      continue;
    }
    EXPECT_NE(error.find(dir), std::string::npos) << c.name << ": " << error;
    EXPECT_FALSE(Exists(dir + "/files")) << c.name;
    if (std::string(c.name) == "someone else's") {
      EXPECT_TRUE(Exists(dir + "/tmp/x.part"));
      EXPECT_TRUE(Exists(dir + "/notes.txt"));
    }
  }
}

TEST_F(CacheStoreTest, FetchesReserveTheirSizeSoFilesAndPartsStayWithinTheCap) {
  CCacheStore store(m_dir, 1000, 0, 0);
  std::string error;
  ASSERT_TRUE(store.Open(error));
  EXPECT_TRUE(store.Reserve("a", 600));
  EXPECT_FALSE(store.Reserve("a", 600));   // one fetch per file
  EXPECT_FALSE(store.Reserve("b", 600));   // nothing to evict: refused, not overfilled
  EXPECT_FALSE(store.Reserve("c", 1001));
  EXPECT_FALSE(store.Reserve("c", 0));
  ASSERT_TRUE(Fetch(store, "c", 300));     // 300 held + 600 reserved
  EXPECT_EQ(store.UsedBytes() + store.ReservedBytes(), 900);
  EXPECT_TRUE(store.Reserve("d", 200));    // evicts c
  EXPECT_FALSE(Exists(store.FilePath("c")));
  EXPECT_EQ(store.UsedBytes() + store.ReservedBytes(), 800);
  ASSERT_TRUE(Fetch(store, "a", 600));     // the reservation becomes the file
  EXPECT_EQ(store.UsedBytes(), 600);
  EXPECT_EQ(store.ReservedBytes(), 200);
  store.Release("d");
  EXPECT_EQ(store.ReservedBytes(), 0);
  EXPECT_TRUE(store.Reserve("e", 400));
}

TEST_F(CacheStoreTest, AFileEvictedJustAfterItsAnswerStaysForItsDownload) {
  for (int64_t hold : {1, 0}) {
    const std::string dir = m_dir + "/hold" + std::to_string(hold);
    CCacheStore store(dir, 1000, 0, hold);
    std::string error;
    ASSERT_TRUE(store.Open(error));
    ASSERT_TRUE(Fetch(store, "answered", 600));
    ASSERT_TRUE(Fetch(store, "idle", 300));
    int64_t size = 0;
    ASSERT_TRUE(store.Lookup("answered", size));  // a student is told to download it
    ASSERT_TRUE(Fetch(store, "again", 100));
    ASSERT_TRUE(store.Lookup("again", size));
    EXPECT_TRUE(store.Reserve("next", 1000)) << hold;  // evicts all three
    EXPECT_FALSE(Exists(store.FilePath("idle"))) << hold;  // never answered: gone at once
    EXPECT_EQ(Exists(store.FilePath("answered")), hold > 0) << hold;
    EXPECT_FALSE(store.Lookup("answered", size)) << hold;  // no longer offered
    EXPECT_EQ(store.UsedBytes(), 0) << hold;  // nor counted
    store.Release("next");
    ASSERT_TRUE(Fetch(store, "again", 100));  // fetched anew: the name is the new copy's
    if (hold == 0) continue;
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    store.UnlinkEvicted();
    EXPECT_FALSE(Exists(store.FilePath("answered")));
    EXPECT_TRUE(Exists(store.FilePath("again")));
    EXPECT_TRUE(store.Lookup("again", size));
  }
}

TEST_F(CacheStoreTest, OpenFailsWhereNoDirectoryCanBe) {
  WriteFile(m_dir + "/plainfile", 1);
  CCacheStore store(m_dir + "/plainfile", 1000);
  std::string error;
  EXPECT_FALSE(store.Open(error));
  EXPECT_NE(error.find("plainfile"), std::string::npos);
}

}  // namespace
