#include "store/SegmentedDownloader.h"

#include <charconv>

// The resume records: "<target>.down.cfg", written after every block while
// the workers run and read back by the next start.

bool CSegmentedDownloader::LoadResumeRecords(int64_t size) {
  {
    platform::File part;
    if (!part.Open(PartPath(), platform::FileMode::Read)) {
      platform::DeleteFileAt(RecordsPath());
      return false;
    }
    if (part.Size() != size) {
      part.Close();
      platform::DeleteFileAt(PartPath());
      platform::DeleteFileAt(RecordsPath());
      return false;
    }
  }
  std::vector<SegmentRange> ranges;
  if (!ReadResumeRecords(RecordsPath(), ranges) || !ResumableRanges(ranges, size)) return false;
  MakeSegments(ranges);
  return true;
}

bool ReadResumeRecords(const std::string& path, std::vector<SegmentRange>& ranges) {
  return LoadRecords(path, [&ranges](CRecordStream& stream) {
    ranges.clear();
    int32_t count = 0;
    // The count is only believed up to what a download can have.
    const int32_t most = CSegmentedDownloader::MAX_PARTS + 1;
    if (!stream.ReadInt32(count) || count < 1 || count > most) return false;
    for (int32_t i = 0; i < count; ++i) {
      std::string start, end, done;
      if (!stream.ReadString(start) || !stream.ReadString(end) || !stream.ReadString(done))
        return false;
      ranges.push_back({ParseDecimal64(start), ParseDecimal64(end), ParseDecimal64(done)});
    }
    return true;
  });
}

// The records stay open for the whole download and are written again from
// their first byte after every block: opening the file per block would cost
// more than the block itself.
void CSegmentedDownloader::OpenResumeRecords(bool fresh) {
  std::lock_guard<std::mutex> lock(m_recordsLock);
  auto mode = fresh ? platform::FileMode::CreateAlways : platform::FileMode::OpenAlways;
  m_recordsFile.Open(RecordsPath(), mode);
  m_nRecordsFormatted = 0;
  m_nRecordsWritten = 0;
}

void CSegmentedDownloader::CloseResumeRecords() {
  std::lock_guard<std::mutex> lock(m_recordsLock);
  m_recordsFile.Close();
}

// The records' bytes as a record stream stores them: the count, then start,
// end and done of each range as unsigned decimal text. Such texts are
// shorter than 255 bytes, so each has the one-byte length prefix. Made after
// every block under the progress lock, into the same buffer each time.
void CSegmentedDownloader::FormatResumeRecords(std::string& bytes) const {
  bytes.clear();
  const uint32_t count = static_cast<uint32_t>(m_segments.size());
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>(count >> (8 * i));
  auto add = [&bytes](int64_t value) {
    char text[24];
    char* end = std::to_chars(text, text + sizeof text, static_cast<uint64_t>(value)).ptr;
    bytes += static_cast<char>(end - text);
    bytes.append(text, end);
  };
  for (const auto& segment : m_segments) {
    add(segment->m_nStart);
    add(segment->m_nEnd);
    add(segment->m_nDone);
  }
}

// The records text that the progress lock saw last goes to the file in one
// positioned write. One worker writes at a time; the others leave their text
// to it instead of waiting, and it writes again while a newer text is there
// (counts only grow, so a text on disk is never ahead of the part file).
// Bytes left behind a shorter text are never read: the count comes first.
void CSegmentedDownloader::WritePendingRecords() {
  while (m_nRecordsWritten.load() != m_nRecordsFormatted.load()) {
    std::unique_lock<std::mutex> writing(m_recordsLock, std::try_to_lock);
    if (!writing.owns_lock()) return;  // its holder checks again after letting go
    for (;;) {
      uint64_t formatted;
      {
        std::lock_guard<std::mutex> lock(m_progressLock);
        formatted = m_nRecordsFormatted;
        if (formatted == m_nRecordsWritten) break;
        m_strRecordsWriting.assign(m_strRecords);
      }
      if (m_recordsFile.IsOpen() && !m_bSpoiled)
        m_recordsFile.WriteAt(0, m_strRecordsWriting.data(), m_strRecordsWriting.size());
      m_nRecordsWritten = formatted;
    }
  }
}

// Bytes of a foreign reply have landed in other ranges: records that count
// them as done must not survive even a crash before Finish.
void CSegmentedDownloader::MarkPartFileSpoiled() {
  std::lock_guard<std::mutex> lock(m_recordsLock);
  m_bSpoiled = true;
  if (m_recordsFile.IsOpen()) m_recordsFile.SetSize(0);
}
