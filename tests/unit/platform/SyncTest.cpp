#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/Sync.h"

using platform::CNamedMutex;
using platform::CSharedMemory;

TEST(NamedMutexTest, SecondCreatorLearnsThatItExisted) {
  const char* name = "velmora sync test instance";
  CNamedMutex first, second;
  bool existed = true;
  ASSERT_TRUE(first.Create(name, true, &existed));
  EXPECT_FALSE(existed);
  ASSERT_TRUE(second.Create(name, true, &existed));
  EXPECT_TRUE(existed);
  // Once the holder closes it, the next creator is a first one again.
  second.Close();
  first.Close();
  ASSERT_TRUE(first.Create(name, true, &existed));
  EXPECT_FALSE(existed);
}

// Threads with a handle each take turns: never two inside at once.
TEST(NamedMutexTest, LockExcludesOtherHandles) {
  const char* name = "velmora sync test lock";
  std::atomic<int> inside{0}, overlaps{0}, rounds{0};
  auto worker = [&] {
    CNamedMutex mutex;
    ASSERT_TRUE(mutex.Create(name, false));
    for (int i = 0; i < 20; ++i) {
      ASSERT_TRUE(mutex.Lock());
      if (++inside > 1) ++overlaps;
      std::this_thread::sleep_for(std::chrono::microseconds(300));
      --inside;
      ++rounds;
      mutex.Unlock();
    }
  };
  std::thread a(worker), b(worker), c(worker);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(0, overlaps.load());
  EXPECT_EQ(60, rounds.load());
}

TEST(SharedMemoryTest, ZeroAtFirstUseSharedWhileOpenFreshAfterwards) {
  const char* name = "velmora sync test block";
  const size_t size = 1848;
  {
    CSharedMemory one, two;
    ASSERT_TRUE(one.Open(name, size));
    const unsigned char* bytes = static_cast<const unsigned char*>(one.Data());
    size_t nonZero = 0;
    for (size_t i = 0; i < size; ++i) nonZero += bytes[i] != 0;
    EXPECT_EQ(0u, nonZero);
    std::memcpy(one.Data(), "claimed", 8);
    ASSERT_TRUE(two.Open(name, size));
    EXPECT_STREQ("claimed", static_cast<const char*>(two.Data()));
    one.Close();
    EXPECT_STREQ("claimed", static_cast<const char*>(two.Data()));
  }
  CSharedMemory later;
  ASSERT_TRUE(later.Open(name, size));
  EXPECT_EQ(0, static_cast<const char*>(later.Data())[0]);
}
