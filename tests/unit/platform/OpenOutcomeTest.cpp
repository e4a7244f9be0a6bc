// Why an open failed decides whether a load waits: only a file that another
// open excludes for now is worth waiting for.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "unit/store/StoreTestSupport.h"

using platform::File;
using platform::FileMode;
using platform::OpenOutcome;

namespace {

struct OutcomeCase {
  const char* what;
  std::function<void(const ScratchDir&, File& holder)> arrange;  // on "data.dat"
  const char* path;                                              // opened, in the directory
  FileMode mode;
  OpenOutcome expected;
};

void Exists(const ScratchDir& dir, File&) { WriteFileBytes(dir / "data.dat", "x"); }

auto HeldWith(FileMode holderMode) {
  return [holderMode](const ScratchDir& dir, File& holder) {
    WriteFileBytes(dir / "data.dat", "x");
    ASSERT_TRUE(holder.Open(dir / "data.dat", holderMode));
  };
}

TEST(OpenOutcome, TellsHeldFromMissingAndFromWhatWaitingCannotMend) {
  const std::vector<OutcomeCase> cases = {
      {"a file", Exists, "data.dat", FileMode::SharedRead, OpenOutcome::Opened},
      {"no file", [](const ScratchDir&, File&) {}, "data.dat", FileMode::SharedRead,
       OpenOutcome::Missing},
      {"no folder on the way", Exists, "none\\data.dat", FileMode::SharedRead,
       OpenOutcome::Missing},
      {"a directory", [](const ScratchDir& d, File&) { platform::CreateDir(d / "data.dat"); },
       "data.dat", FileMode::SharedRead, OpenOutcome::Refused},
      {"a directory to write", [](const ScratchDir& d, File&) { platform::CreateDir(d / "data.dat"); },
       "data.dat", FileMode::OpenAlways, OpenOutcome::Refused},
      {"held without sharing", HeldWith(FileMode::Read), "data.dat", FileMode::SharedRead,
       OpenOutcome::Held},
      {"held by a writer", HeldWith(FileMode::OpenAlways), "data.dat", FileMode::SharedRead,
       OpenOutcome::Held},
      {"read by another", HeldWith(FileMode::SharedRead), "data.dat", FileMode::SharedRead,
       OpenOutcome::Opened},
      {"writing while another reads", HeldWith(FileMode::SharedRead), "data.dat",
       FileMode::CreateAlways, OpenOutcome::Held},
  };
  for (const OutcomeCase& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    File holder, file;
    c.arrange(dir, holder);
    EXPECT_EQ(file.TryOpen(dir / c.path, c.mode), c.expected);
    EXPECT_EQ(file.IsOpen(), c.expected == OpenOutcome::Opened);
  }
}

// A writer that waited for readers must not have emptied the file it could
// not have: the readers still read the whole content.
TEST(OpenOutcome, AHeldWriterLeavesTheFileAsItWas) {
  ScratchDir dir;
  WriteFileBytes(dir / "data.dat", "content");
  File reader, writer;
  ASSERT_TRUE(reader.Open(dir / "data.dat", FileMode::SharedRead));
  EXPECT_EQ(writer.TryOpen(dir / "data.dat", FileMode::CreateAlways), OpenOutcome::Held);
  reader.Close();
  EXPECT_EQ(ReadFileBytes(dir / "data.dat"), "content");
}

}  // namespace
