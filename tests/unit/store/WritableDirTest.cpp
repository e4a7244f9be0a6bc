#include <gtest/gtest.h>

#include "StoreTestSupport.h"
#include "platform/DirFiles.h"
#include "store/WritableDir.h"

// A probe file that a scanner holds, or that another user's run left behind,
// must not make the directory look read-only; and the probe never stays.
TEST(WritableDir, AProbeHeldElsewhereDoesNotDecide) {
  ScratchDir dir;
  const std::string held = dir / ".velmora-write-test";
  WriteFileBytes(held, "left by another user");
  platform::File holder;
  ASSERT_TRUE(holder.Open(held, platform::FileMode::Read));  // no sharing, as a scanner
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(CanCreateFilesIn(dir.Path())) << i;
  EXPECT_EQ(platform::ListFileNames(dir.Path()), std::vector<std::string>{".velmora-write-test"});
}

TEST(WritableDir, WhatIsNoDirectoryIsNotWritable) {
  ScratchDir dir;
  WriteFileBytes(dir / "file", "x");
  EXPECT_FALSE(CanCreateFilesIn(dir / "missing"));
  EXPECT_FALSE(CanCreateFilesIn(dir / "file"));
  EXPECT_TRUE(CanCreateFilesIn(dir.Path()));
  EXPECT_EQ(platform::ListFileNames(dir.Path()), std::vector<std::string>{"file"});
}
