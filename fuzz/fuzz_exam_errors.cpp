// examerr.data, the failed submissions of an account.
#include "FuzzFiles.h"
#include "experiments/ExamErrStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CExamErrStore store;
  store.SetPath(WriteInput("examerr.data", data, size));
  store.Load();
  return 0;
}
