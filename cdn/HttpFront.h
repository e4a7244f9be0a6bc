#pragma once
#include <atomic>
#include <string>

class CCdnService;

struct HttpRequestHead {
  std::string method;
  std::string path;
  std::string query;
};

struct HttpReply {
  int status = 200;
  std::string body;
};

// Longest request head the look-up service reads; nginx sends far less.
constexpr size_t HTTP_MAX_REQUEST_HEAD = 8192;

// The request line of a head ("GET /command/find.do?fid=1 HTTP/1.0\r\n...").
bool ParseRequestHead(const std::string& head, HttpRequestHead& request);
// The percent-decoded value of the first `name=` in a query; empty when absent.
std::string QueryValue(const std::string& query, const std::string& name);
// The two pages of the look-up service; everything else is 404 or 405.
HttpReply RouteRequest(CCdnService& service, const HttpRequestHead& request);
// Status line, headers (JSON, length, close) and, unless for HEAD, the body.
std::string FormatReply(const HttpReply& reply, bool withBody);

// The look-up service's listening socket; one request per connection, served
// in turn (nginx in front holds the students' connections).
class CHttpFront {
 public:
  ~CHttpFront();
  bool Listen(const std::string& address, int port, std::string& error);
  // Serves until `stop` becomes true (checked twice a second).
  void Serve(CCdnService& service, const std::atomic<bool>& stop);
  int Port() const { return m_nPort; }

 private:
  void ServeConnection(CCdnService& service, int connection);
  int m_hListen = -1;
  int m_nPort = 0;
};
