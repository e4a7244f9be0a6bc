#include <gtest/gtest.h>

#include <new>

#include "AllocationLimit.h"
#include "experiments/ExamFile.h"
#include "platform/Files.h"
#include "unit/store/StoreTestSupport.h"

namespace {

// The no-output rule compares these times: a file that cannot be read for
// them must not pass for an unchanged one.
TEST(ExamFileTimes, ReadOnlyFromAFileNobodyElseHolds) {
  ScratchDir dir;
  const std::string exam = dir / "1.exam";
  WriteFileBytes(exam, "[velmora]\r\n");
  platform::FileTimes times;
  ASSERT_TRUE(platform::ReadFileTimes(exam, times));
  EXPECT_NE(times.written, 0u);
  EXPECT_NE(times.created, 0u);

  platform::FileTimes untouched;
  untouched.written = 7;
  EXPECT_FALSE(platform::ReadFileTimes(dir / "missing.exam", untouched));
  EXPECT_FALSE(platform::ReadFileTimes(dir.Path(), untouched));
  {
    platform::File held;
    ASSERT_TRUE(held.Open(exam, platform::FileMode::OpenAlways));
    EXPECT_FALSE(platform::ReadFileTimes(exam, untouched));
  }
  EXPECT_EQ(untouched.written, 7u);

  WriteFileBytes(exam, "{\"score\":1}");
  platform::FileTimes later;
  ASSERT_TRUE(platform::ReadFileTimes(exam, later));
  EXPECT_NE(later.written, times.written);
}

TEST(ExamFileText, ReadUpToItsFirstZeroByteAndBounded) {
  ScratchDir dir;
  const std::string exam = dir / "1.exam";
  struct Case { std::string bytes; ExamRead result; std::string text; } cases[] = {
      {"{\"score\":5}", ExamRead::Done, "{\"score\":5}"},
      {std::string("{\"score\":5}\0tail", 16), ExamRead::Done, "{\"score\":5}"},
      {"", ExamRead::Done, ""},
      {std::string(EXAM_TEXT_MAX, '{'), ExamRead::Done, std::string(EXAM_TEXT_MAX, '{')},
      {std::string(EXAM_TEXT_MAX + 1, '{'), ExamRead::TooLarge, ""},
  };
  for (const Case& c : cases) {
    WriteFileBytes(exam, c.bytes);
    std::string text = "stale";
    EXPECT_EQ(ReadExamText(exam, text), c.result) << c.bytes.size();
    EXPECT_EQ(text, c.text);
  }
  std::string text;
  EXPECT_EQ(ReadExamText(dir / "missing.exam", text), ExamRead::Unreadable);
}

// An output below the limit that the memory cannot hold is too large, as
// one beyond the limit is; it never ends the program.
TEST(ExamFileText, OutputThatMemoryCannotHoldIsTooLarge) {
  ScratchDir dir;
  const std::string exam = dir / "1.exam";
  WriteFileBytes(exam, "{\"score\":5}" + std::string(1 << 20, ' '));
  std::string text = "stale";
  ExamRead read = ExamRead::Done;
  SetAllocationLimit(256 * 1024);
  try {
    read = ReadExamText(exam, text, EXAM_OUTPUT_MAX);
  } catch (const std::bad_alloc&) {
    ADD_FAILURE() << "the failed allocation escaped";
  }
  SetAllocationLimit(0);
  EXPECT_EQ(read, ExamRead::TooLarge);
  EXPECT_EQ(text, "");
  EXPECT_EQ(ReadExamText(exam, text, EXAM_OUTPUT_MAX), ExamRead::Done);
}

TEST(ExamFileText, ScoreReadsLikeAtoi) {
  struct Case { const char* text; bool object; int score; } cases[] = {
      {"{\"score\":87}", true, 87},         {"x {\"score\": -12 }", true, -12},
      {"{\"score\":\" 42abc\"}", true, 42}, {"{\"score\":\"abc\"}", true, 0},
      {"{\"result\":1}", true, 0},          {"no object", false, 0},
      {"{\"a\":{\"score\":5}}", true, 0},
  };
  for (const Case& c : cases) {
    int score = -1;
    EXPECT_EQ(ReadExamScore(c.text, score), c.object) << c.text;
    EXPECT_EQ(score, c.score) << c.text;
  }
}

}  // namespace
