#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "net/WebClient.h"

class CSegmentedDownloader;

// Results of a segment's worker.
enum { SEG_FAILED = -1, SEG_STOPPED = 0, SEG_DONE = 1 };

// One byte range of a segmented download with its own client and worker
// thread. m_nDone changes only on the worker's thread and under the
// downloader's progress lock, which is where the resume records read it.
class CDownloadSegment {
 public:
  CDownloadSegment(CSegmentedDownloader& owner, int64_t start, int64_t end, int64_t done);
  CDownloadSegment(const CDownloadSegment&) = delete;
  CDownloadSegment& operator=(const CDownloadSegment&) = delete;

  int64_t Length() const { return m_nEnd - m_nStart + 1; }
  bool IsComplete() const { return m_nDone == Length(); }

  // The worker: fetches the rest of the range, retrying against the
  // download's shared budget. SEG_DONE, SEG_STOPPED or SEG_FAILED.
  int Run();
  // Data callback of the segment's client, after a block was written.
  void OnBlock(int64_t total, int length);
  // Ends the worker's transfer at once; the worker takes no further retry.
  void RequestStop();

  int64_t m_nStart;
  int64_t m_nEnd;  // inclusive; m_nStart - 1 for an empty range
  int64_t m_nDone = 0;
  std::string m_strUrl;
  std::string m_strPartPath;
  CWebClient m_client;
  std::thread m_thread;
  std::atomic<bool> m_bGaveUp{false};
  std::atomic<bool> m_bStop{false};

 private:
  void Attempt();
  bool ReplyIsOurRange(int64_t total) const;
  static void DataProc(int64_t total, int64_t received, int length, void* user);

  CSegmentedDownloader& m_owner;
  int64_t m_nAskedFrom = 0;     // first byte the current request asked for
  bool m_bFirstBlock = true;    // no block of the current request seen yet
  bool m_bForeignReply = false; // the reply was not the range asked for
};
