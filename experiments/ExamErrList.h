#pragma once
#include <string>
#include <vector>

#include "experiments/ExamErrStore.h"
#include "platform/Desktop.h"

// Columns of the failure list, left to right.
enum { EXAMERR_COL_COURSE, EXAMERR_COL_RESOURCE, EXAMERR_COL_SCORE, EXAMERR_COL_TIME,
       EXAMERR_COL_COUNT };

// What the failure list shows and does, without its window: the rows are the
// store's records in order; the dialog draws them and forwards the user's
// commands here.
class CExamErrList {
 public:
  CExamErrList(CExamErrStore& store, platform::IDesktop& desktop)
      : m_store(store), m_desktop(desktop) {}

  // Reloads the store from its file and fetches names that are still empty.
  void Fill();
  size_t RowCount() const { return m_rows.size(); }
  ExamErrRecord& Row(size_t row) { return *m_rows[row]; }
  static std::string CellText(const ExamErrRecord& record, int column);

  bool CanResubmit(int selected) const { return selected >= 0 && (size_t)selected < m_rows.size(); }
  bool CanClear() const { return !m_rows.empty(); }
  // Submits the row's data again (with a start record of its own when it has
  // none); on success the row is removed and the store saved. True when the
  // row is gone. Rows may be appended by either (see SaveJoiningOthers).
  bool Resubmit(int row);
  // Asks first; true when every row was removed and the store saved.
  bool ClearAll();

 private:
  // Saves the store after appending (as rows too) the failures that other
  // processes stored in the file since this list knew it, so none is lost
  // and none that this list removed comes back.
  void SaveJoiningOthers();
  // Takes out of `onDisk` the records this list has already seen; what is
  // left was stored by others.
  void DropKnown(std::list<ExamErrRecord>& onDisk) const;
  void RememberStored();

  CExamErrStore& m_store;
  platform::IDesktop& m_desktop;
  std::vector<ExamErrRecord*> m_rows;
  // Every record as the file held it when this list last read or wrote it,
  // and those joined since: a record the list removed or cleared stays here
  // until a save has taken it out of the file, so it never comes back.
  std::list<ExamErrRecord> m_known;
};

// A failure time in local time as "%04d-%02d-%02d %02d:%02d:%02d".
std::string FormatFailedTime(int32_t seconds);
