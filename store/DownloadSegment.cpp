#include "store/DownloadSegment.h"

#include "platform/SocketTimeout.h"
#include "store/SegmentedDownloader.h"

namespace {
// Added to both socket time-outs of a segment after a receive timed out.
constexpr int TIMEOUT_RAISE = 60000;
}  // namespace

CDownloadSegment::CDownloadSegment(CSegmentedDownloader& owner, int64_t start, int64_t end,
                                   int64_t done)
    : m_nStart(start), m_nEnd(end), m_nDone(done), m_owner(owner) {
  m_client.m_pfnData = &CDownloadSegment::DataProc;
  m_client.m_pUserData = this;
}

// The client's socket is shut down too: a worker waiting on a stalled
// server returns now instead of at its receive time-out.
void CDownloadSegment::RequestStop() {
  m_bStop = true;
  m_client.AbortFromOtherThread();
}

int CDownloadSegment::Run() {
  for (;;) {
    if (m_bStop) return SEG_STOPPED;
    Attempt();
    // A reply that ended without filling the range is retried like a failure.
    if (IsComplete()) return SEG_DONE;
    if (m_bForeignReply) {
      // The server answers with something else than the range: retrying
      // cannot help, and its bytes must never be counted.
      m_bGaveUp = true;
      return SEG_FAILED;
    }
    // A stop ends the attempt as a failure would: it must not use a retry.
    if (m_client.m_bStopped || m_bStop) return SEG_STOPPED;
    if (!m_owner.TakeRetry()) {
      m_bGaveUp = true;
      return SEG_FAILED;
    }
    if (m_client.m_nError == WCE_RECV_BODY && platform::IsSocketTimeoutError(m_client.m_nSysError)) {
      m_client.m_nSendTimeout += TIMEOUT_RAISE;
      m_client.m_nRecvTimeout += TIMEOUT_RAISE;
    } else if (m_client.m_nError == WCE_STATUS) {
      return SEG_FAILED;
    }
  }
}

void CDownloadSegment::Attempt() {
  m_nAskedFrom = m_nStart + m_nDone;
  m_bFirstBlock = true;
  m_bForeignReply = false;
  m_client.DownloadRange(m_strUrl, m_strPartPath, m_nAskedFrom, m_nEnd);
}

// A range request is answered by exactly the bytes asked for; a request from
// the first byte may also get the whole file (a server that ignores ranges),
// whose first bytes are the right ones.
bool CDownloadSegment::ReplyIsOurRange(int64_t total) const {
  int64_t fileSize = m_owner.GetTotal();
  int64_t asked = m_nEnd > 0 ? m_nEnd - m_nAskedFrom + 1 : fileSize - m_nAskedFrom;
  return total == asked || (m_nAskedFrom == 0 && total == fileSize);
}

void CDownloadSegment::OnBlock(int64_t total, int length) {
  if (m_bFirstBlock) {
    m_bFirstBlock = false;
    if (!ReplyIsOurRange(total)) {
      m_bForeignReply = true;
      // The client has already written this block; past our own range it
      // overwrote bytes that other ranges count as done.
      if (m_nAskedFrom + length > m_nEnd + 1) m_owner.MarkPartFileSpoiled();
      m_client.StopTransfer();
      return;
    }
  }
  int64_t rest = Length() - m_nDone;
  int64_t counted = length;
  if (counted > rest) {
    counted = rest;
    m_client.StopTransfer();  // the range is complete: end as a requested stop
  }
  if (counted > 0) m_owner.AddDone(*this, counted);
  if (m_bStop && !m_client.m_bStopped) m_client.StopTransfer();
}

void CDownloadSegment::DataProc(int64_t total, int64_t, int length, void* user) {
  static_cast<CDownloadSegment*>(user)->OnBlock(total, length);
}
