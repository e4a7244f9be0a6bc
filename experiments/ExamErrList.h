#pragma once
#include <string>
#include <vector>

#include "experiments/ExamErrStore.h"
#include "platform/Desktop.h"

// Columns of the failure list, left to right.
enum { EXAMERR_COL_COURSE, EXAMERR_COL_RESOURCE, EXAMERR_COL_SCORE, EXAMERR_COL_TIME,
       EXAMERR_COL_COUNT };

// What the failure list shows and does, without its window: the rows are
// copies of the store's records in order (a failure kept by this process
// while the list is open reloads the store's records, which rows must
// outlive); the dialog draws them and forwards the user's commands here.
class CExamErrList {
 public:
  CExamErrList(CExamErrStore& store, platform::IDesktop& desktop)
      : m_store(store), m_desktop(desktop) {}

  // Reloads the store from its file and fetches names that are still empty.
  void Fill();
  size_t RowCount() const { return m_rows.size(); }
  const ExamErrRecord& Row(size_t row) const { return m_rows[row]; }
  static std::string CellText(const ExamErrRecord& record, int column);

  bool CanResubmit(int selected) const { return selected >= 0 && (size_t)selected < m_rows.size(); }
  bool CanClear() const { return !m_rows.empty(); }
  // Submits the row's data again (with a start record of its own when it has
  // none); once sent, the record leaves the list and the file (the file as
  // soon as it can be written, so it is never listed or sent again). True
  // when the rows changed: they are the store's again, with the failures
  // that other processes stored meanwhile.
  bool Resubmit(int row);
  // Asks first; true when every row was removed.
  bool ClearAll();

 private:
  // Writes the list's change into the file; false when the file is held or
  // refused the write and the change waits in the store.
  bool CommitAndShow();
  void ShowStoredRows();

  CExamErrStore& m_store;
  platform::IDesktop& m_desktop;
  std::vector<ExamErrRecord> m_rows;
};

// A failure time in local time as "%04d-%02d-%02d %02d:%02d:%02d".
std::string FormatFailedTime(int32_t seconds);
