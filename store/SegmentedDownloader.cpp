#include "store/SegmentedDownloader.h"

#include <algorithm>
#include <exception>

CSegmentedDownloader::~CSegmentedDownloader() {
  StopWorkers();
  JoinWorkers();
  CloseResumeRecords();
}

std::string CSegmentedDownloader::PartPath() const { return m_strTargetPath + ".down"; }
std::string CSegmentedDownloader::RecordsPath() const { return m_strTargetPath + ".down.cfg"; }

bool CSegmentedDownloader::Start(const std::string& url, const std::string& dir, const char* name,
                                 int parts) {
  if (IsRunning()) {
    m_nError = SDE_RUNNING;
    return false;
  }
  Reset();
  if (!Probe(url)) {
    m_nError = SDE_PROBE;
    return false;
  }
  parts = EffectiveParts(parts, m_header.AcceptsByteRanges());
  const int64_t size = m_header.m_nContentLength;
  if (size == 0) {
    m_nError = SDE_EMPTY;
    return false;
  }
  m_nRetriesLeft = m_nRetryBudget;
  m_strUrl = url;
  m_strTargetPath =
      dir + "\\" + (name ? std::string(name) : DownloadFileName(url, m_strHost, m_header.m_strFileName));
  if (size < 0) {
    // Without a length there is nothing to split: the whole file, here.
    platform::DeleteFileAt(m_strTargetPath);
    CWebClient client;
    client.Download(url, m_strTargetPath);
    return true;
  }
  // A server without ranges answers a resume's request with the whole file,
  // which a range may not take: its one segment starts from the first byte.
  const bool resumed = m_header.AcceptsByteRanges() && LoadResumeRecords(size);
  if (!resumed) {
    if (!CreatePartFile(size)) {
      m_nError = SDE_PART_FILE;
      return false;
    }
    MakeSegments(SplitRanges(size, parts));
  }
  int64_t done = 0;
  for (CDownloadSegment* segment : Segments()) done += segment->m_nDone;
  m_nDone = done;
  if (m_bResumeRecords) OpenResumeRecords(!resumed);
  StartWorkers();
  return true;
}

void CSegmentedDownloader::Reset() {
  // Workers that a Finish from a notification left ending still use the segments.
  StopWorkers();
  JoinWorkers();
  CloseResumeRecords();
  m_header = CHttpResponseHeader();
  MakeSegments({});
  m_bSilenced = false;
  m_nDone = 0;
  m_nError = SDE_OK;
  m_bSpoiled = false;
  m_strUrl.clear();
  m_strTargetPath.clear();
}

// Only a reply that delivers the file counts: an error page with a length
// would otherwise be downloaded in its place.
bool CSegmentedDownloader::Probe(const std::string& url) {
  CWebClient client;
  client.m_nRecvTimeout = PROBE_RECV_TIMEOUT;
  bool received = client.GetHeaders(url, m_header);
  m_strHost = client.m_strHost;
  m_certRejection = CertificateRejectionOf(client);
  return received && (m_header.m_nStatus == 200 || m_header.m_nStatus == 206);
}

bool CSegmentedDownloader::CreatePartFile(int64_t size) {
  platform::File part;
  return part.Open(PartPath(), platform::FileMode::CreateAlways) && part.SetSize(size);
}

// The old segments are destroyed after the lock is let go: their clients
// close their sockets, which a stop on another thread must not wait for.
void CSegmentedDownloader::MakeSegments(const std::vector<SegmentRange>& ranges) {
  std::vector<std::unique_ptr<CDownloadSegment>> segments;
  for (const SegmentRange& r : ranges)
    segments.push_back(std::make_unique<CDownloadSegment>(*this, r.start, r.end, r.done));
  std::lock_guard<std::mutex> lock(m_segmentsLock);
  m_segments.swap(segments);
}

std::vector<CDownloadSegment*> CSegmentedDownloader::Segments() const {
  std::lock_guard<std::mutex> lock(m_segmentsLock);
  std::vector<CDownloadSegment*> segments;
  for (const auto& segment : m_segments) segments.push_back(segment.get());
  return segments;
}

void CSegmentedDownloader::StartWorkers() {
  std::vector<CDownloadSegment*> pending;
  for (CDownloadSegment* segment : Segments()) {
    if (segment->IsComplete()) continue;  // an empty range has nothing to fetch
    segment->m_strUrl = m_strUrl;
    segment->m_strPartPath = PartPath();
    segment->m_bGaveUp = false;
    segment->m_bStop = false;
    segment->m_client.ResumeConnections();
    pending.push_back(segment);
  }
  m_bStopAsked = false;
  {
    // All are listed before any can end, so that only the last to end,
    // whichever it is, says that none is left.
    std::lock_guard<std::mutex> lock(m_threadLock);
    m_threads = pending;
  }
  // Nothing left to fetch (a resume of finished ranges): the caller still
  // learns that no worker is running.
  if (pending.empty()) Notify(SDN_ALL_ENDED);
  for (CDownloadSegment* segment : pending) {
    bool started = false;
    {
      std::lock_guard<std::mutex> lock(m_segmentsLock);
      try {
        segment->m_thread = std::thread(&CSegmentedDownloader::WorkerMain, this, segment);
        started = true;
      } catch (const std::exception&) {
        segment->m_bGaveUp = true;
      }
    }
    if (!started) WorkerEnded(segment);
  }
}

void CSegmentedDownloader::WorkerMain(CDownloadSegment* segment) {
  try {
    segment->Run();
  } catch (const std::exception&) {
    segment->m_bGaveUp = true;
  }
  WorkerEnded(segment);
}

void CSegmentedDownloader::WorkerEnded(CDownloadSegment* segment) {
  size_t remaining;
  {
    std::lock_guard<std::mutex> lock(m_threadLock);
    auto it = std::find(m_threads.begin(), m_threads.end(), segment);
    if (it == m_threads.end()) return;
    m_threads.erase(it);
    remaining = m_threads.size();
  }
  m_threadsEnded.notify_all();
  if (remaining == 0) Notify(SDN_ALL_ENDED);
}

// Only ever on the thread that starts and finishes the download.
void CSegmentedDownloader::JoinWorkers() {
  for (CDownloadSegment* segment : Segments()) {
    std::thread& thread = segment->m_thread;
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
  }
}

bool CSegmentedDownloader::OnWorkerThread() const {
  std::lock_guard<std::mutex> lock(m_segmentsLock);
  for (const auto& segment : m_segments)
    if (segment->m_thread.get_id() == std::this_thread::get_id()) return true;
  return false;
}

bool CSegmentedDownloader::IsRunning() {
  std::lock_guard<std::mutex> lock(m_threadLock);
  return !m_threads.empty();
}

void CSegmentedDownloader::StopAll() {
  m_bStopAsked = true;
  std::lock_guard<std::mutex> lock(m_segmentsLock);
  for (const auto& segment : m_segments) segment->RequestStop();
}

bool CSegmentedDownloader::AnySegmentGaveUp() const {
  std::lock_guard<std::mutex> lock(m_segmentsLock);
  for (const auto& segment : m_segments)
    if (segment->m_bGaveUp) return true;
  return false;
}

bool CSegmentedDownloader::WaitForWorkers(int timeoutMs) {
  std::unique_lock<std::mutex> lock(m_threadLock);
  auto none = [this] { return m_threads.empty(); };
  if (timeoutMs >= 0) return m_threadsEnded.wait_for(lock, std::chrono::milliseconds(timeoutMs), none);
  m_threadsEnded.wait(lock, none);
  return true;
}

// Waits up to timeoutMs (-1 without limit) for the workers to end on their
// own. A stop asked for before or meanwhile (a pause) ends the wait: only the
// repeated stop ends a worker that was still connecting when it came.
void CSegmentedDownloader::WaitUnlessStopped(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!m_bStopAsked) {
    int slice = STOP_REPEAT_MS;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return;
      slice = (int)std::min<int64_t>(slice, left.count());
    }
    if (WaitForWorkers(slice)) return;
  }
}

// A stop cannot shut down the socket of a worker that is still connecting
// (there is no connection yet), and that worker would then wait for its
// receive time-out: the stop is repeated until every worker has ended.
void CSegmentedDownloader::StopWorkers() {
  do {
    StopAll();
  } while (!WaitForWorkers(STOP_REPEAT_MS));
}

// The caller may free what its notification uses as soon as this returns, so
// workers still running are stopped (their sockets closed, so they end at
// once instead of at a receive time-out) and waited for; the last of them
// still says that all ended, before this returns.
bool CSegmentedDownloader::Finish(bool wait, int timeoutMs) {
  const bool onWorker = OnWorkerThread();
  if (wait && !onWorker) WaitUnlessStopped(timeoutMs);
  if (onWorker) {
    StopAll();
  } else {
    StopWorkers();
    JoinWorkers();
    CloseResumeRecords();
  }
  m_bSilenced = true;
  if (m_bSpoiled) {
    // Bytes of a foreign reply landed in ranges counted as done: the next
    // start must not believe the records.
    if (!onWorker) platform::DeleteFileAt(RecordsPath());
    return false;
  }
  if (GetTotal() <= 0 || GetDone() != GetTotal()) return false;
  return CompleteTarget();
}

bool CSegmentedDownloader::CompleteTarget() {
  const std::string part = PartPath();
  if (platform::FileExists(m_strTargetPath) && platform::FileExists(part))
    platform::DeleteFileAt(m_strTargetPath);
  if (platform::FileExists(part) && !platform::RenameFile(part, m_strTargetPath)) return false;
  platform::DeleteFileAt(RecordsPath());
  return true;
}

// ---- called by the segments ----

bool CSegmentedDownloader::TakeRetry() {
  int left = m_nRetriesLeft.load();
  while (left > 0 && !m_nRetriesLeft.compare_exchange_weak(left, left - 1)) {
  }
  return left - 1 > 0;
}

void CSegmentedDownloader::AddDone(CDownloadSegment& segment, int64_t bytes) {
  {
    std::lock_guard<std::mutex> lock(m_progressLock);
    segment.m_nDone += bytes;
    m_nDone += bytes;
    if (m_bResumeRecords) {
      FormatResumeRecords(m_strRecords);
      ++m_nRecordsFormatted;
    }
  }
  if (m_bResumeRecords) WritePendingRecords();
  Notify(SDN_PROGRESS);
}

void CSegmentedDownloader::Notify(int kind) {
  if (m_pfnNotify && !m_bSilenced) m_pfnNotify(GetTotal(), m_nDone.load(), kind, m_pUser);
}
