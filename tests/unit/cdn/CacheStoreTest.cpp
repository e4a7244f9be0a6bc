#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

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
  CCacheStore store(m_dir, 1000);
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

TEST_F(CacheStoreTest, OpenFailsWhereNoDirectoryCanBe) {
  WriteFile(m_dir + "/plainfile", 1);
  CCacheStore store(m_dir + "/plainfile", 1000);
  std::string error;
  EXPECT_FALSE(store.Open(error));
  EXPECT_NE(error.find("plainfile"), std::string::npos);
}

}  // namespace
