#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AllocationProbe.h"
#include "StoreTestSupport.h"
#include "store/RecordStream.h"

namespace {

std::string StoredBytes(const ScratchDir& dir, const RecordWriter& write) {
  EXPECT_TRUE(SaveRecords(dir / "out.dat", write));
  return ReadFileBytes(dir / "out.dat");
}

struct PrefixCase {
  size_t length;
  std::string prefix;
};

TEST(RecordStream, StringPrefixFormsByLength) {
  ScratchDir dir;
  const std::vector<PrefixCase> cases = {
      {0, Bytes({0x00})},
      {1, Bytes({0x01})},
      {254, Bytes({0xFE})},
      {255, Bytes({0xFF, 0xFF, 0x00})},
      {65533, Bytes({0xFF, 0xFD, 0xFF})},
      {65534, Bytes({0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00})},
      {70000, Bytes({0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00})},
  };
  for (const PrefixCase& c : cases) {
    SCOPED_TRACE(c.length);
    std::string text(c.length, 'x');
    for (size_t i = 0; i < text.size(); ++i) text[i] = (char)('a' + i % 26);
    std::string bytes = StoredBytes(dir, [&](CRecordStream& out) { return out.WriteString(text); });
    EXPECT_EQ(bytes, c.prefix + text);

    std::string back = "previous";
    EXPECT_TRUE(LoadRecords(dir / "out.dat", [&](CRecordStream& in) { return in.ReadString(back); }));
    EXPECT_EQ(back, text);
  }
}

TEST(RecordStream, NumbersAreLittleEndianAndSigned) {
  ScratchDir dir;
  std::string bytes = StoredBytes(dir, [](CRecordStream& out) {
    return out.WriteInt32(0x12345678) && out.WriteInt32(-2) && out.WriteBytes("AB", 2);
  });
  EXPECT_EQ(bytes, Bytes({0x78, 0x56, 0x34, 0x12, 0xFE, 0xFF, 0xFF, 0xFF, 'A', 'B'}));
  int32_t a = 0, b = 0;
  EXPECT_TRUE(LoadRecords(dir / "out.dat",
                          [&](CRecordStream& in) { return in.ReadInt32(a) && in.ReadInt32(b); }));
  EXPECT_EQ(a, 0x12345678);
  EXPECT_EQ(b, -2);
}

TEST(RecordStream, Utf16FormIsConvertedToTheCodePage) {
  ScratchDir dir;
  // FF FE FF, then 3 characters: "中a文" in UTF-16LE.
  WriteFileBytes(dir / "w.dat", Bytes({0xFF, 0xFE, 0xFF, 0x03, 0x2D, 0x4E, 'a', 0x00, 0x87, 0x65,
                                       0x05, 'n', 'e', 'x', 't', '!'}));
  std::string wide, next;
  EXPECT_TRUE(LoadRecords(dir / "w.dat", [&](CRecordStream& in) {
    return in.ReadString(wide) && in.ReadString(next);
  }));
  EXPECT_EQ(wide, "中a文");
  EXPECT_EQ(next, "next!");
}

// Lengths and counts come from the file: a claim beyond the bytes that are
// left is damage, found before any memory is taken for it.
TEST(RecordStream, DamagedLengthsFailWithoutTakingTheClaimedMemory) {
  ScratchDir dir;
  const std::vector<std::string> damaged = {
      Bytes({0x05, 'a', 'b'}),                                    // short one-byte form
      Bytes({0xFF, 0x00, 0x01, 'a'}),                             // 256 claimed
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 'a'}),     // 2 GiB claimed
      Bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),          // 4 GiB claimed
      Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),  // 8 GiB of UTF-16
      Bytes({0xFF, 0xFE, 0xFF, 0xFF, 0xFE, 0xFF, 0x01, 'a', 0}),  // UTF-16 mark as count
      Bytes({0xFF, 0xFE, 0xFF, 0x02, 'a', 0x00, 'b'}),            // odd UTF-16 bytes
      Bytes({0xFF, 0xFF}),                                        // prefix cut
      Bytes({}),
  };
  for (const std::string& bytes : damaged) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    WriteFileBytes(dir / "bad.dat", bytes);
    std::string text = "kept";
    ResetLargestAllocation();
    EXPECT_FALSE(LoadRecords(dir / "bad.dat", [&](CRecordStream& in) { return in.ReadString(text); }));
    EXPECT_LT(LargestAllocation(), 64u * 1024);
    EXPECT_EQ(text, "kept");
  }
}

TEST(RecordStream, FailureIsStickyAndReadBytesStopsAtTheEnd) {
  ScratchDir dir;
  WriteFileBytes(dir / "f.dat", Bytes({1, 0, 0, 0, 9, 9}));
  platform::File file;
  ASSERT_TRUE(file.Open(dir / "f.dat", platform::FileMode::Read));
  CRecordStream in(file, CRecordStream::LOAD);
  int32_t value = 0;
  EXPECT_TRUE(in.ReadInt32(value));
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(in.ReadInt32(value));  // only two bytes left
  EXPECT_TRUE(in.Failed());
  char buffer[4];
  EXPECT_EQ(in.ReadBytes(buffer, 4), 0u);  // nothing after a failure
  EXPECT_TRUE(in.Rewind());
  EXPECT_EQ(in.ReadBytes(buffer, 4), 4u);
  EXPECT_EQ(in.ReadBytes(buffer, 4), 2u);  // the end is no failure
  EXPECT_FALSE(in.Failed());
}

// Values that straddle the 4096-byte buffer, and a string larger than it.
TEST(RecordStream, ValuesAcrossBufferBoundariesRoundTrip) {
  ScratchDir dir;
  const std::string big(10000, 'q');
  std::vector<std::string> texts;
  for (int i = 0; i < 700; ++i) texts.push_back(std::string(i % 13, (char)('a' + i % 26)));
  ASSERT_TRUE(SaveRecords(dir / "big.dat", [&](CRecordStream& out) {
    for (size_t i = 0; i < texts.size(); ++i)
      if (!out.WriteInt32((int32_t)i) || !out.WriteString(texts[i])) return false;
    return out.WriteString(big);
  }));
  std::vector<std::string> back;
  std::string bigBack;
  EXPECT_TRUE(LoadRecords(dir / "big.dat", [&](CRecordStream& in) {
    for (size_t i = 0; i < texts.size(); ++i) {
      int32_t n = -1;
      std::string text;
      if (!in.ReadInt32(n) || n != (int32_t)i || !in.ReadString(text)) return false;
      back.push_back(text);
    }
    return in.ReadString(bigBack);
  }));
  EXPECT_EQ(back, texts);
  EXPECT_EQ(bigBack, big);
}

// A record kept on one open handle is rewritten from its first byte without
// emptying the file: what follows the new record is left over, and a reader
// of the record never reaches it.
TEST(RecordStream, RewindRewritesAnOpenFileInPlace) {
  ScratchDir dir;
  platform::File file;
  ASSERT_TRUE(file.Open(dir / "resume.cfg", platform::FileMode::OpenAlways));
  CRecordStream out(file, CRecordStream::STORE);
  ASSERT_TRUE(out.WriteInt32(2) && out.WriteString("100") && out.WriteString("200") && out.Flush());
  ASSERT_TRUE(out.Rewind());
  ASSERT_TRUE(out.WriteInt32(1) && out.WriteString("7") && out.Flush());
  EXPECT_EQ(file.Size(), 12);  // never truncated
  file.Close();

  EXPECT_EQ(ReadFileBytes(dir / "resume.cfg"),
            Bytes({1, 0, 0, 0, 1, '7', '0', '0', 3, '2', '0', '0'}));
}

TEST(RecordStream, WrittenBytesReachTheFileWhenTheBufferIsFullOrFlushed) {
  ScratchDir dir;
  platform::File file;
  ASSERT_TRUE(file.Open(dir / "buffer.dat", platform::FileMode::CreateAlways));
  CRecordStream out(file, CRecordStream::STORE);
  const std::string block(CRecordStream::BUFFER_SIZE - 1, 'b');
  ASSERT_TRUE(out.WriteBytes(block.data(), block.size()));
  EXPECT_EQ(file.Size(), 0);
  ASSERT_TRUE(out.WriteBytes("cd", 2));
  EXPECT_EQ(file.Size(), 4096);
  ASSERT_TRUE(out.Flush());
  EXPECT_EQ(file.Size(), 4097);
}

// A rewritten record must not stay failed because one write failed.
TEST(RecordStream, RewindStartsAFailedStoreStreamAfresh) {
  ScratchDir dir;
  WriteFileBytes(dir / "ro.dat", "");
  platform::File file;
  ASSERT_TRUE(file.Open(dir / "ro.dat", platform::FileMode::Read));
  CRecordStream out(file, CRecordStream::STORE);
  EXPECT_TRUE(out.WriteInt32(1));  // still in the buffer
  EXPECT_FALSE(out.Flush());       // the file refuses writing
  EXPECT_TRUE(out.Failed());
  EXPECT_FALSE(out.WriteInt32(2));
  EXPECT_TRUE(out.Rewind());
  EXPECT_FALSE(out.Failed());
  EXPECT_TRUE(out.WriteInt32(3));
}

TEST(RecordStream, LoadFrameFailsForAMissingFileOrDirectory) {
  ScratchDir dir;
  bool called = false;
  auto read = [&](CRecordStream&) { return called = true; };
  EXPECT_FALSE(LoadRecords(dir / "absent.dat", read));
  EXPECT_FALSE(LoadRecords(dir.Path(), read));
  EXPECT_FALSE(called);
}

class SafeSave : public testing::Test {
 protected:
  static RecordWriter Text(const std::string& text) {
    return [text](CRecordStream& out) { return out.WriteString(text); };
  }
  ScratchDir dir;
  std::string path = dir / "filelist.dat";
  std::string backup = dir / "filelist.dat_OLD";
};

TEST_F(SafeSave, FirstSaveLeavesNoBackupAndLaterSavesKeepThePreviousVersion) {
  ASSERT_TRUE(SaveWithBackup(path, Text("one")));
  EXPECT_EQ(ReadFileBytes(path), "\3one");
  EXPECT_FALSE(platform::FileExists(backup));

  ASSERT_TRUE(SaveWithBackup(path, Text("two")));
  EXPECT_EQ(ReadFileBytes(path), "\3two");
  EXPECT_EQ(ReadFileBytes(backup), "\3one");

  ASSERT_TRUE(SaveWithBackup(path, Text("three")));
  EXPECT_EQ(ReadFileBytes(path), "\5three");
  EXPECT_EQ(ReadFileBytes(backup), "\3two");
}

TEST_F(SafeSave, FailedWriteRestoresThePreviousFile) {
  ASSERT_TRUE(SaveWithBackup(path, Text("good")));
  bool wrote = false;
  EXPECT_FALSE(SaveWithBackup(path, [&](CRecordStream& out) {
    wrote = out.WriteString("half");
    return false;
  }));
  EXPECT_TRUE(wrote);
  EXPECT_EQ(ReadFileBytes(path), "\4good");
  EXPECT_FALSE(platform::FileExists(backup));
}

// A file held open by another without sharing cannot be moved aside on
// Windows; the save fails and the held file keeps its content.
TEST_F(SafeSave, HeldFileIsNeitherMovedNorOverwritten) {
#ifndef _WIN32
  GTEST_SKIP() << "open files are not protected from renaming here";
#endif
  ASSERT_TRUE(SaveWithBackup(path, Text("good")));
  platform::File holder;
  ASSERT_TRUE(holder.Open(path, platform::FileMode::SharedWrite));
  EXPECT_FALSE(SaveWithBackup(path, Text("new")));
  holder.Close();
  EXPECT_EQ(ReadFileBytes(path), "\4good");
}

// When the previous file cannot become the backup, nothing is written over it.
TEST_F(SafeSave, BackupThatCannotBeMadeLeavesTheOnlyCopyAlone) {
  ASSERT_TRUE(SaveWithBackup(path, Text("only copy")));
  ASSERT_TRUE(platform::CreateDir(backup));
  WriteFileBytes(backup + "\\blocker", "x");
  EXPECT_FALSE(SaveWithBackup(path, Text("new")));
  EXPECT_EQ(ReadFileBytes(path), "\11only copy");
  EXPECT_TRUE(platform::IsDirectory(backup));
  EXPECT_FALSE(platform::FileExists(path + "_NEW"));
}

// A kill in the middle of a save leaves at most a cut "_NEW" beside the file:
// the file keeps its content, and the next save writes over the leftover.
TEST_F(SafeSave, LeftoverOfAKilledSaveChangesNothing) {
  ASSERT_TRUE(SaveWithBackup(path, Text("one")));
  WriteFileBytes(path + "_NEW", Bytes({0x09, 'c', 'u'}));
  std::string back;
  EXPECT_TRUE(LoadRecords(path, [&](CRecordStream& in) { return in.ReadString(back); }));
  EXPECT_EQ(back, "one");
  ASSERT_TRUE(SaveWithBackup(path, Text("two")));
  EXPECT_EQ(ReadFileBytes(path), "\3two");
  EXPECT_EQ(ReadFileBytes(backup), "\3one");
  EXPECT_FALSE(platform::FileExists(path + "_NEW"));
}

struct FallbackCase {
  const char* what;
  const char* file;    // nullptr: missing
  const char* backup;  // nullptr: missing
  bool loaded;
  std::vector<std::string> strings;  // what the store holds afterwards
};

// The reader below starts from an empty list on every run, as the stores do.
TEST_F(SafeSave, LoadFallsBackToTheBackupOnlyWhenTheFileIsNotWhole) {
  const std::vector<FallbackCase> cases = {
      {"whole file", "\2\1a\1b", "\1\1z", true, {"a", "b"}},
      {"missing file", nullptr, "\1\1z", true, {"z"}},
      {"cut file", "\2\1a\1", "\1\1z", true, {"z"}},
      {"cut file, cut backup", "\2\1a\1", "\2\1z", false, {"a"}},
      {"cut file, no backup", "\2\1a\1", nullptr, false, {"a"}},
      {"missing file, cut backup", nullptr, "\2\1z", false, {"z"}},
      {"neither", nullptr, nullptr, false, {}},
  };
  for (const FallbackCase& c : cases) {
    platform::DeleteFileAt(path);
    platform::DeleteFileAt(backup);
    if (c.file) WriteFileBytes(path, c.file);
    if (c.backup) WriteFileBytes(backup, c.backup);
    std::vector<std::string> strings;
    bool loaded = LoadRecords(path, [&](CRecordStream& in) {
      strings.clear();
      unsigned char count = 0;
      if (in.ReadBytes(&count, 1) != 1) return false;
      for (int i = 0; i < count; ++i) {
        std::string text;
        if (!in.ReadString(text)) return false;
        strings.push_back(text);
      }
      return true;
    });
    EXPECT_EQ(loaded, c.loaded) << c.what;
    EXPECT_EQ(strings, c.strings) << c.what;
  }
}

// A data file larger than any the system writes is refused before reading.
TEST_F(SafeSave, OversizedFileIsDamagedAndItsBackupServes) {
  {
    platform::File big;
    ASSERT_TRUE(big.Open(path, platform::FileMode::CreateAlways));
    ASSERT_TRUE(big.Write("\3big", 4));
    ASSERT_TRUE(big.SetSize(64 * 1024 * 1024 + 1));
  }
  auto read = [](std::string& into) {
    return [&into](CRecordStream& in) { return in.ReadString(into); };
  };
  std::string back;
  EXPECT_FALSE(LoadRecords(path, read(back)));
  EXPECT_EQ(back, "");
  WriteFileBytes(backup, "\3old");
  EXPECT_TRUE(LoadRecords(path, read(back)));
  EXPECT_EQ(back, "old");
}

TEST_F(SafeSave, SaveWithoutBackupEmptiesTheFileFirst) {
  WriteFileBytes(path, std::string(100, 'z'));
  ASSERT_TRUE(SaveRecords(path, Text("ab")));
  EXPECT_EQ(ReadFileBytes(path), "\2ab");
  EXPECT_FALSE(SaveRecords(dir / "no such dir\\x.dat", Text("ab")));
}

}  // namespace
