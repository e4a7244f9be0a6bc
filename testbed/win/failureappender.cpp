// Stores failed submissions in one failure list's file, as runs of one user
// do when they fail at once in processes of their own: each failure is kept
// and committed under the file's mutex. Exit code: 0 every failure is in the
// file, 1 one could not be written, 2 usage.
//
//   failureappender <examerr.data path> <tag> <count>
#include <cstdlib>
#include <string>

#include "experiments/ExamErrStore.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  CExamErrStore store;
  store.SetPath(argv[1]);
  const int count = atoi(argv[3]);
  for (int i = 0; i < count; ++i) {
    ExamErrRecord record;
    record.m_strFid = std::string(argv[2]) + "-" + std::to_string(i);
    store.Keep(record);
    store.Commit();
  }
  // What a held moment left waiting is written before the end, as the
  // program does when it ends.
  for (int tries = 0; store.HasPending() && tries < 5; ++tries) store.Commit();
  return store.HasPending() ? 1 : 0;
}
