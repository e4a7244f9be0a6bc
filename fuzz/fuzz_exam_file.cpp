// The exam file as an experiment program leaves it: read back and scored.
#include "FuzzFiles.h"
#include "experiments/ExamFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text;
  if (ReadExamText(WriteInput("lesson.exam", data, size), text) != ExamRead::Done) return 0;
  int score = 0;
  ReadExamScore(text, score);
  return 0;
}
