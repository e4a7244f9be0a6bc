#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "net/HttpResponseHeader.h"
#include "platform/Sockets.h"
#include "platform/TlsChannel.h"

// Result codes of CWebClient (m_nError). 3 and 9 are not used.
enum {
  WCE_OK = 0,
  WCE_CONNECT = 1,      // name resolution or connect failed, port outside 1..65534, or
                        // (https) the TLS handshake failed for another reason than the
                        // certificate
  WCE_RECV_BODY = 2,    // the connection closed or failed while the body was read
  WCE_RECV_HEADER = 4,  // the connection closed or failed before the header block ended
  WCE_SEND = 5,         // the request could not be sent
  WCE_PROTOCOL = 6,     // unsplittable URL, oversized header block, bad status line,
                        // Download's Content-Length 0, or a reply too large to hold
  WCE_STATUS = 7,       // status not accepted (200; 200/206 for the downloads)
  WCE_FILE_OPEN = 8,    // the target file could not be opened or created
  WCE_FILE_WRITE = 10,  // writing to the target file failed
  WCE_CERTIFICATE = 11, // https: the server's certificate is not valid for its host
                        // (m_certProblem and m_strCertReason tell why)
};

// Progress of the downloads: total bytes, bytes received, user pointer.
using WebProgressProc = void (*)(int64_t total, int64_t received, void* user);
// Data callback of DownloadRange: total, received, length of the block just
// written, user pointer.
using WebDataProc = void (*)(int64_t total, int64_t received, int length, void* user);

// Size of the one receive buffer; also the limit of a reply's header block.
constexpr int WEB_BUFFER_SIZE = 16384;
// Text replies of Get, Post and InetGet larger than this are refused.
constexpr int WEB_MAX_TEXT_REPLY = 32 * 1024 * 1024;

// The system's own HTTP/1.1 client on sockets (https URLs over TLS, never
// falling back to plain HTTP): one request per connection
// (Connection: close), no redirects, no chunked coding, body length only
// from Content-Length. One object per job or per download worker; one
// thread at a time. Results are true/false with the reason in m_nError.
class CWebClient {
 public:
  CWebClient() = default;
  virtual ~CWebClient();
  CWebClient(const CWebClient&) = delete;
  CWebClient& operator=(const CWebClient&) = delete;

  // Once per process, before any client is used.
  static bool StartupSockets();

  // GET; reads only the header block into `header` (status not judged).
  bool GetHeaders(const std::string& url, CHttpResponseHeader& header);
  // GET; `reply` gets the body as text. True only for status 200.
  bool Get(const std::string& url, std::string& reply);
  // POST of a form-encoded body; `reply` gets the body. True only for 200.
  bool Post(const std::string& url, const std::string& body, std::string& reply);
  // Whole resource into `path`, resumed after the bytes the file holds.
  bool Download(const std::string& url, const std::string& path);
  // Bytes start..end (inclusive; to the end when end <= 0) written into
  // `path` at offset start, through a handle shared for writing.
  bool DownloadRange(const std::string& url, const std::string& path, int64_t start,
                     int64_t end);
  // GET through the operating system's internet library (its proxy settings
  // apply); the body is appended to `reply`. True only for status 200.
  bool InetGet(const std::string& url, std::string& reply);

  // Ends a running DownloadRange from its data callback: closes the socket
  // and sets m_bStopped, so the next receive fails with WCE_RECV_BODY.
  void StopTransfer();
  // From any thread: ends the running operation at once (a blocked receive
  // or send returns) and refuses new connections until ResumeConnections.
  void AbortFromOtherThread();
  void ResumeConnections();
  // The connection's own end, on the thread that runs the operation.
  void CloseConnection();
  // Takes a new connection's socket, or closes it when an abort came first.
  bool AdoptSocket(platform::SocketHandle socket);

  std::string m_strHost;
  int m_nPort = 0;
  std::string m_strSetCookie;  // filled by InetGet only
  std::string m_strCookie;     // filled by InetGet only
  std::string m_strSid;        // session id sent as the "sid" cookie
  WebProgressProc m_pfnProgress = nullptr;
  WebDataProc m_pfnData = nullptr;
  void* m_pUserData = nullptr;
  bool m_bStopped = false;
  int m_nConnectTimeout = 60000;  // ms, InetGet only
  int m_nSendTimeout = 60000;     // ms
  int m_nRecvTimeout = 60000;     // ms
  platform::SocketHandle m_hSocket = platform::INVALID_SOCKET_HANDLE;
  std::unique_ptr<platform::TlsChannel> m_pTls;  // over m_hSocket for an https URL
  int m_nError = WCE_OK;
  int m_nSysError = 0;
  platform::TlsCertProblem m_certProblem = platform::TlsCertProblem::None;
  std::string m_strCertReason;

 private:
  // Held while m_hSocket changes and while another thread shuts it down, so
  // a shutdown never reaches a closed handle whose number was given again.
  std::mutex m_socketLock;
  std::atomic<bool> m_bAborted{false};
};

