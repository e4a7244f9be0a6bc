#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "net/HttpResponseHeader.h"
#include "net/PlatformApi.h"
#include "platform/Files.h"
#include "store/DownloadSegment.h"
#include "store/SegmentRules.h"
#include "store/RecordStream.h"

// Why the last Start failed (m_nError).
enum {
  SDE_OK = 0,
  SDE_PROBE = 1,      // the probe failed or the server refused the file
  SDE_PART_FILE = 2,  // the part file cannot be created or sized
  SDE_EMPTY = 3,      // the file has no bytes
  SDE_RUNNING = 4,    // a download is still running
};

// Kinds of notification.
enum { SDN_PROGRESS = 1, SDN_ALL_ENDED = 2 };

// Notification: total size, bytes done, kind, user pointer. Runs on a
// worker thread (or on the thread of Start when no worker was needed).
using SegmentNotifyProc = void (*)(int64_t total, int64_t done, int kind, void* user);

// Fetches one file in up to 10 byte ranges at once, one worker thread per
// range, into "<target>.down", and keeps resume records in
// "<target>.down.cfg" so that a stop or a restart of the program continues
// where the ranges were. When the whole size is there, Finish gives the part
// file the target's name and deletes the records.
class CSegmentedDownloader {
 public:
  static constexpr int MAX_PARTS = SEGMENT_PARTS_MAX;
  static constexpr int PROBE_RECV_TIMEOUT = 180000;
  static constexpr int RETRY_BUDGET = 100;
  static constexpr int STOP_REPEAT_MS = 100;

  CSegmentedDownloader() = default;
  ~CSegmentedDownloader();  // stops the workers and waits for them
  CSegmentedDownloader(const CSegmentedDownloader&) = delete;
  CSegmentedDownloader& operator=(const CSegmentedDownloader&) = delete;

  // `name` may be null: the name then comes from the reply or the URL.
  // Returns once the workers run; a reply without a length is fetched whole
  // on this thread before it returns.
  bool Start(const std::string& url, const std::string& dir, const char* name, int parts);
  bool IsRunning();
  void StopAll();
  // Waits (when asked, up to timeoutMs, -1 without limit, and only until a
  // stop is asked for) for the workers, stops those still running and waits
  // for them to end, then completes the target when every byte is there.
  // Once it returns no worker runs and no notification comes until the next
  // Start. Called from a notification it
  // cannot wait for its own thread: it stops the workers and silences them.
  bool Finish(bool wait, int timeoutMs);
  bool AnySegmentGaveUp() const;
  int64_t GetDone() const { return m_nDone.load(); }
  int64_t GetTotal() const { return m_header.m_nContentLength; }
  const std::string& GetTargetPath() const { return m_strTargetPath; }
  const std::vector<std::unique_ptr<CDownloadSegment>>& GetSegments() const { return m_segments; }

  std::string m_strHost;
  std::string m_strUrl;
  std::string m_strTargetPath;
  CHttpResponseHeader m_header;
  CertificateRejection m_certRejection;  // the probe's, when the server's certificate was refused
  int m_nRetryBudget = RETRY_BUDGET;
  bool m_bResumeRecords = true;  // off only to measure what the records cost
  int m_nError = SDE_OK;
  SegmentNotifyProc m_pfnNotify = nullptr;
  void* m_pUser = nullptr;

 private:
  friend class CDownloadSegment;

  void Reset();
  std::vector<CDownloadSegment*> Segments() const;
  void JoinWorkers();
  bool OnWorkerThread() const;
  bool WaitForWorkers(int timeoutMs);  // whether none is left
  void WaitUnlessStopped(int timeoutMs);
  void StopWorkers();
  bool Probe(const std::string& url);
  bool LoadResumeRecords(int64_t size);
  bool CreatePartFile(int64_t size);
  void MakeSegments(const std::vector<SegmentRange>& ranges);
  void OpenResumeRecords(bool fresh);
  void FormatResumeRecords(std::string& bytes) const;
  void WritePendingRecords();
  void CloseResumeRecords();
  void StartWorkers();
  void WorkerMain(CDownloadSegment* segment);
  void WorkerEnded(CDownloadSegment* segment);
  bool CompleteTarget();
  std::string PartPath() const;
  std::string RecordsPath() const;

  // Called by the segments.
  bool TakeRetry();
  void AddDone(CDownloadSegment& segment, int64_t bytes);
  void MarkPartFileSpoiled();
  void Notify(int kind);

  // Rebuilt by Start only while no worker runs; other threads (a stop, a
  // question) walk it under m_segmentsLock.
  std::vector<std::unique_ptr<CDownloadSegment>> m_segments;
  mutable std::mutex m_segmentsLock;
  std::vector<CDownloadSegment*> m_threads;  // segments whose worker has not ended
  std::atomic<bool> m_bSilenced{false};      // Finish has returned: no more notifications
  std::atomic<bool> m_bStopAsked{false};     // StopAll since the workers started
  std::atomic<int64_t> m_nDone{0};
  std::atomic<int> m_nRetriesLeft{0};
  std::atomic<bool> m_bSpoiled{false};
  std::mutex m_progressLock;  // m_nDone's additions, segments' m_nDone, m_strRecords
  std::mutex m_recordsLock;   // writing the records file
  std::mutex m_threadLock;    // m_threads
  std::condition_variable m_threadsEnded;
  platform::File m_recordsFile;
  std::string m_strRecords;         // the records' bytes after the last block
  std::string m_strRecordsWriting;  // the copy being written, under the records lock
  std::atomic<uint64_t> m_nRecordsFormatted{0};  // texts made so far (changed under the progress lock)
  std::atomic<uint64_t> m_nRecordsWritten{0};    // the last of them that reached the file
};

// The ranges of a resume records file, as written (not yet judged).
bool ReadResumeRecords(const std::string& path, std::vector<SegmentRange>& ranges);
