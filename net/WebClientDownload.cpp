#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "net/WebClient.h"
#include "net/WebClientExchange.h"
#include "platform/DownloadFile.h"

using namespace webclient;

namespace {

// The total that progress reports when the reply gives no length.
constexpr int64_t UNKNOWN_TOTAL = 4294967295LL;

bool IsDownloadStatus(int status) { return status == 200 || status == 206; }

std::string RangeLine(int64_t start, int64_t end) {
  std::string line = "Range: bytes=" + std::to_string((uint64_t)start) + "-";
  if (end > 0) line += std::to_string((uint64_t)end);
  return line + "\r\n";
}

std::string DownloadRequest(const Exchange& exchange, const std::string& rangeLine,
                            const std::string& sid) {
  return "GET " + exchange.url.strObject + " HTTP/1.1\r\n" + rangeLine + CookieLine(sid) +
         BlockC(exchange.url);
}

// First byte of a 206 reply's Content-Range ("bytes 100-199/1000"), or -1
// when the reply names none.
int64_t ContentRangeStart(const CHttpResponseHeader& header) {
  std::string value = header.FindHeader("Content-Range");
  size_t digits = value.find_first_of("0123456789");
  if (digits == std::string::npos) return -1;
  return std::strtoll(value.c_str() + digits, nullptr, 10);
}

// The resource's length from "Content-Range: bytes */1000" (or the total
// after "/" in any form), or -1.
int64_t ContentRangeTotal(const CHttpResponseHeader& header) {
  std::string value = header.FindHeader("Content-Range");
  size_t slash = value.find('/');
  if (slash == std::string::npos || value.find_first_of("0123456789", slash) != slash + 1)
    return -1;
  return std::strtoll(value.c_str() + slash + 1, nullptr, 10);
}

// The server has nothing more to send: an empty reply, or 416 to a resume
// whose range starts exactly where the resource ends.
bool SaysComplete(const CHttpResponseHeader& header, int64_t onDisk) {
  int status = header.m_nStatus;
  if (header.m_nContentLength == 0 && (IsDownloadStatus(status) || status == 416)) return true;
  return onDisk > 0 && status == 416 && ContentRangeTotal(header) == onDisk;
}

// A 206 must hold the bytes asked for: written elsewhere they would corrupt
// the file at a position that looks complete.
bool RangeMatches(const CHttpResponseHeader& header, int64_t start) {
  if (header.m_nStatus != 206) return true;
  int64_t first = ContentRangeStart(header);
  return first < 0 || first == start;
}

// Writes the body to the file: what came with the header, then receives
// until `limit` bytes (or, with limit < 0, until the server closes). Never
// writes past the limit. Progress and data callbacks after every block.
class CBodyWriter {
 public:
  CBodyWriter(CWebClient& client, Exchange& exchange, platform::DownloadFile& file,
              int64_t total, int64_t limit, bool dataCallback)
      : m_client(client), m_exchange(exchange), m_file(file), m_nTotal(total),
        m_nLimit(limit), m_bDataCallback(dataCallback) {}

  bool WriteArrived() {
    int count = m_exchange.nReceived - m_exchange.nBodyStart;
    if (count <= 0) return true;
    return Write(m_exchange.buffer + m_exchange.nBodyStart, count);
  }

  bool ReceiveRest() {
    while (m_nLimit < 0 || m_nCount < m_nLimit) {
      int want = WEB_BUFFER_SIZE;
      if (m_nLimit >= 0) want = (int)std::min<int64_t>(want, m_nLimit - m_nCount);
      int n = ReceiveSome(m_client, m_exchange.buffer, want);
      if (n <= 0) {
        Fail(m_client, m_exchange.operation, WCE_RECV_BODY,
             n < 0 ? platform::LastSocketError() : 0);
        return false;
      }
      if (!Write(m_exchange.buffer, n)) return false;
    }
    return true;
  }

 private:
  bool Write(const char* bytes, int count) {
    if (m_nLimit >= 0) count = (int)std::min<int64_t>(count, m_nLimit - m_nCount);
    if (count <= 0) return true;
    if (!m_file.Write(bytes, count)) {
      Fail(m_client, m_exchange.operation, WCE_FILE_WRITE, m_file.LastError());
      return false;
    }
    m_nCount += count;
    if (m_client.m_pfnProgress) m_client.m_pfnProgress(m_nTotal, m_nCount, m_client.m_pUserData);
    if (m_bDataCallback && m_client.m_pfnData)
      m_client.m_pfnData(m_nTotal, m_nCount, count, m_client.m_pUserData);
    return true;
  }

  CWebClient& m_client;
  Exchange& m_exchange;
  platform::DownloadFile& m_file;
  int64_t m_nTotal;
  int64_t m_nLimit;
  bool m_bDataCallback;
  int64_t m_nCount = 0;
};

// Resumed: the bytes on disk stay and the reply continues them. A 200 to a
// range request is the whole resource, so the file starts over from byte 0.
bool PrepareResume(CWebClient& client, Exchange& exchange, platform::DownloadFile& file,
                   int64_t onDisk) {
  const CHttpResponseHeader& header = *exchange.header;
  if (onDisk > 0 && header.m_nStatus == 200 && !file.Truncate()) {
    Fail(client, exchange.operation, WCE_FILE_WRITE, file.LastError());
    return false;
  }
  if (onDisk > 0 && !RangeMatches(header, onDisk)) {
    Fail(client, exchange.operation, WCE_STATUS, 0);
    return false;
  }
  return true;
}

}  // namespace

bool CWebClient::Download(const std::string& url, const std::string& path) {
  m_nError = WCE_OK;
  m_bStopped = false;
  char buffer[WEB_BUFFER_SIZE];
  CHttpResponseHeader header;
  Exchange exchange{Operation::Download, {}, buffer};
  exchange.header = &header;
  if (!SplitUrl(*this, url, exchange)) return false;
  platform::DownloadFile file;
  if (!file.Open(path, false)) {
    Fail(*this, exchange.operation, WCE_FILE_OPEN, file.LastError());
    return false;
  }
  int64_t onDisk = std::max<int64_t>(file.Size(), 0);
  if (onDisk > 0 && !file.Seek(onDisk)) {
    Fail(*this, exchange.operation, WCE_FILE_WRITE, file.LastError());
    return false;
  }
  ConnectionGuard guard(*this);
  std::string rangeLine = onDisk > 0 ? RangeLine(onDisk, 0) : "";
  if (!Transact(*this, DownloadRequest(exchange, rangeLine, m_strSid), exchange)) return false;
  int status = header.m_nStatus;
  // Nothing more to send: the file held the whole resource already.
  if (SaysComplete(header, onDisk)) {
    Fail(*this, exchange.operation, WCE_PROTOCOL, 0);
    return onDisk > 0;
  }
  // An error page never reaches the file, so a later call resumes cleanly.
  if (!IsDownloadStatus(status)) {
    Fail(*this, exchange.operation, WCE_STATUS, 0);
    return false;
  }
  if (!PrepareResume(*this, exchange, file, onDisk)) return false;
  int64_t length = header.m_nContentLength;
  CBodyWriter writer(*this, exchange, file, length < 0 ? UNKNOWN_TOTAL : length, length, false);
  return writer.WriteArrived() && writer.ReceiveRest();
}

bool CWebClient::DownloadRange(const std::string& url, const std::string& path, int64_t start,
                               int64_t end) {
  m_nError = WCE_OK;
  m_nSysError = 0;
  m_bStopped = false;
  char buffer[WEB_BUFFER_SIZE];
  CHttpResponseHeader header;
  Exchange exchange{Operation::Range, {}, buffer};
  exchange.header = &header;
  if (!SplitUrl(*this, url, exchange)) return false;
  platform::DownloadFile file;
  if (!file.Open(path, true)) {
    Fail(*this, exchange.operation, WCE_FILE_OPEN, file.LastError());
    return false;
  }
  start = std::max<int64_t>(start, 0);
  if (!file.Seek(start)) {
    Fail(*this, exchange.operation, WCE_FILE_WRITE, file.LastError());
    return false;
  }
  ConnectionGuard guard(*this);
  if (!Transact(*this, DownloadRequest(exchange, RangeLine(start, end), m_strSid), exchange))
    return false;
  // Only the asked-for bytes go into the shared file: an error page, or a
  // whole resource (200) where a later range was asked for, would land on
  // other segments' bytes.
  int status = header.m_nStatus;
  if (!IsDownloadStatus(status) || (status == 200 && start > 0) || !RangeMatches(header, start)) {
    Fail(*this, exchange.operation, WCE_STATUS, 0);
    return false;
  }
  int64_t length = header.m_nContentLength;
  if (length == 0) return true;
  // Without a length only what came with the header is written.
  CBodyWriter writer(*this, exchange, file, length, length, true);
  if (!writer.WriteArrived()) return false;
  return length < 0 || writer.ReceiveRest();
}
