#pragma once
#include <atomic>
#include <functional>
#include <string>
#include <thread>

class CCdnService;

struct HttpRequestHead {
  std::string method;
  std::string path;
  std::string query;
  // The asking machine: nginx's X-Real-IP, else (filled in by the caller)
  // the connection's peer.
  std::string client;
};

struct HttpReply {
  int status = 200;
  std::string body;
  std::string contentType = "application/json";
};

// The body of /command/metrics; none: the page is not offered.
using MetricsSource = std::function<std::string()>;
constexpr const char* METRICS_CONTENT_TYPE = "text/plain; version=0.0.4";

// Longest request head the look-up service reads; nginx sends far less.
constexpr size_t HTTP_MAX_REQUEST_HEAD = 8192;
// Time in which the whole head must arrive: a client that trickles its head
// a byte at a time must not hold a thread (or, with every thread taken, the
// accepting loop) for long.
constexpr int HTTP_REQUEST_HEAD_MS = 3000;

// The request line of a head ("GET /command/find.do?fid=1 HTTP/1.0\r\n...")
// and the client address that nginx passes along.
bool ParseRequestHead(const std::string& head, HttpRequestHead& request);
// The percent-decoded value of the first `name=` in a query; empty when absent.
std::string QueryValue(const std::string& query, const std::string& name);
// The pages of the look-up service; everything else is 404 or 405.
// `waitForFetch` lets a look-up wait for a running fetch of its file.
HttpReply RouteRequest(CCdnService& service, const HttpRequestHead& request,
                       bool waitForFetch = false, const MetricsSource& metrics = {});
// Status line, headers (JSON, length, close) and, unless for HEAD, the body.
std::string FormatReply(const HttpReply& reply, bool withBody);

// Connections served at once; beyond that a look-up is answered without
// waiting for a fetch, so a crowd cannot pile up threads.
constexpr int HTTP_MAX_CONNECTION_THREADS = 64;

// The look-up service's listening socket; one request per connection, each
// on a thread of its own (a look-up may wait for a fetch).
class CHttpFront {
 public:
  using ThreadStarter = std::function<std::thread(std::function<void()>)>;
  explicit CHttpFront(MetricsSource metrics = {}, ThreadStarter startThread = {});
  ~CHttpFront();
  bool Listen(const std::string& address, int port, std::string& error);
  // Serves until `stop` becomes true (checked twice a second), then waits
  // for the connections in progress.
  void Serve(CCdnService& service, const std::atomic<bool>& stop);
  int Port() const { return m_nPort; }

 private:
  void ServeConnection(CCdnService& service, int connection, bool mayWait) const;
  MetricsSource m_metrics;
  ThreadStarter m_startThread;
  int m_hListen = -1;
  int m_nPort = 0;
  std::atomic<int> m_nThreads{0};
};
