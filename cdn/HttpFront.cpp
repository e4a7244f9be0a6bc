#include "cdn/HttpFront.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>
#include <thread>

#include "cdn/CdnService.h"
#include "net/Codecs.h"

namespace {

const char* StatusText(int status) {
  switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    default: return "Error";
  }
}

void SendAll(int connection, const std::string& data) {
  size_t sent = 0;
  while (sent < data.size()) {
    ssize_t n = send(connection, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += (size_t)n;
  }
}

// False when the peer went away, was too slow or the head outgrew
// HTTP_MAX_REQUEST_HEAD.
bool ReadRequestHead(int connection, std::string& head) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(HTTP_REQUEST_HEAD_MS);
  char buffer[2048];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (head.size() >= HTTP_MAX_REQUEST_HEAD) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd readable{connection, POLLIN, 0};
    if (left <= 0 || poll(&readable, 1, (int)left) <= 0) return false;
    ssize_t n = recv(connection, buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    head.append(buffer, (size_t)n);
  }
  return true;
}

// The value of the first header `lowerName` (compared without case), trimmed.
std::string HeaderValue(const std::string& head, const std::string& lowerName) {
  for (size_t at = head.find("\r\n"); at != std::string::npos && at + 2 < head.size();) {
    size_t end = head.find("\r\n", at + 2);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(at + 2, end - at - 2);
    at = end;
    size_t colon = line.find(':');
    if (colon != lowerName.size()) continue;
    std::string name = line.substr(0, colon);
    for (char& c : name) c = (char)std::tolower((unsigned char)c);
    if (name != lowerName) continue;
    size_t first = line.find_first_not_of(" \t", colon + 1);
    size_t last = line.find_last_not_of(" \t");
    return first == std::string::npos ? "" : line.substr(first, last - first + 1);
  }
  return "";
}

std::string PeerAddress(int connection) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  char text[INET6_ADDRSTRLEN] = {};
  if (getpeername(connection, (sockaddr*)&peer, &length) != 0) return "";
  if (peer.ss_family == AF_INET) {
    inet_ntop(AF_INET, &((sockaddr_in*)&peer)->sin_addr, text, sizeof text);
  } else if (peer.ss_family == AF_INET6) {
    inet_ntop(AF_INET6, &((sockaddr_in6*)&peer)->sin6_addr, text, sizeof text);
  }
  return text;
}

}  // namespace

bool ParseRequestHead(const std::string& head, HttpRequestHead& request) {
  std::string line = head.substr(0, head.find("\r\n"));
  size_t first = line.find(' ');
  size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
  if (first == 0 || second == std::string::npos ||
      line.compare(second + 1, 5, "HTTP/") != 0) {
    return false;
  }
  std::string target = line.substr(first + 1, second - first - 1);
  if (target.empty() || target[0] != '/') return false;
  size_t mark = target.find('?');
  request.method = line.substr(0, first);
  request.path = target.substr(0, mark);
  request.query = mark == std::string::npos ? "" : target.substr(mark + 1);
  request.client = HeaderValue(head, "x-real-ip");
  // Only an address names a client; anything else is the peer's business.
  unsigned char parsed[sizeof(in6_addr)];
  if (inet_pton(AF_INET, request.client.c_str(), parsed) != 1 &&
      inet_pton(AF_INET6, request.client.c_str(), parsed) != 1) {
    request.client.clear();
  }
  return true;
}

std::string QueryValue(const std::string& query, const std::string& name) {
  size_t start = 0;
  while (start <= query.size()) {
    size_t end = query.find('&', start);
    if (end == std::string::npos) end = query.size();
    std::string pair = query.substr(start, end - start);
    if (pair.compare(0, name.size() + 1, name + "=") == 0) {
      return PercentDecode(pair.substr(name.size() + 1));
    }
    start = end + 1;
  }
  return "";
}

HttpReply RouteRequest(CCdnService& service, const HttpRequestHead& request, bool waitForFetch,
                       const MetricsSource& metrics) {
  const bool isMetrics = request.path == "/command/metrics" && metrics;
  bool known = request.path == "/command/check.do" || request.path == "/command/find.do" ||
               isMetrics;
  if (!known) return {404, "{\"ret\":404}"};
  if (request.method != "GET" && request.method != "HEAD") return {405, "{\"ret\":405}"};
  if (request.path == "/command/check.do") return {200, "{\"ret\":0}"};
  if (isMetrics) return {200, metrics(), METRICS_CONTENT_TYPE};
  return {200, FormatFindReply(
                   service.Find(QueryValue(request.query, "fid"), waitForFetch, request.client))};
}

std::string FormatReply(const HttpReply& reply, bool withBody) {
  std::string text = "HTTP/1.1 " + std::to_string(reply.status) + " " + StatusText(reply.status) +
                     "\r\nContent-Type: " + reply.contentType + "\r\nCache-Control: no-store\r\n"
                     "Content-Length: " + std::to_string(reply.body.size()) +
                     "\r\nConnection: close\r\n\r\n";
  return withBody ? text + reply.body : text;
}

CHttpFront::CHttpFront(MetricsSource metrics, ThreadStarter startThread)
    : m_metrics(std::move(metrics)), m_startThread(std::move(startThread)) {
  if (!m_startThread) {
    m_startThread = [](std::function<void()> body) { return std::thread(std::move(body)); };
  }
}

CHttpFront::~CHttpFront() {
  if (m_hListen >= 0) close(m_hListen);
}

bool CHttpFront::Listen(const std::string& address, int port, std::string& error) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons((uint16_t)port);
  m_hListen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int yes = 1;
  if (m_hListen < 0 || inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
      setsockopt(m_hListen, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes) != 0 ||
      bind(m_hListen, (sockaddr*)&local, sizeof local) != 0 || listen(m_hListen, 128) != 0) {
    error =
        "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
    return false;
  }
  socklen_t length = sizeof local;
  getsockname(m_hListen, (sockaddr*)&local, &length);
  m_nPort = ntohs(local.sin_port);
  return true;
}

void CHttpFront::Serve(CCdnService& service, const std::atomic<bool>& stop) {
  while (!stop) {
    pollfd waiting{m_hListen, POLLIN, 0};
    if (poll(&waiting, 1, 500) <= 0) continue;
    int connection = accept4(m_hListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    if (m_nThreads >= HTTP_MAX_CONNECTION_THREADS) {
      ServeConnection(service, connection, false);
      continue;
    }
    ++m_nThreads;
    try {
      m_startThread([this, &service, connection] {
        ServeConnection(service, connection, true);
        --m_nThreads;
      }).detach();
    } catch (const std::system_error&) {
      // Out of threads: answered here, at once and without waiting for a fetch.
      --m_nThreads;
      ServeConnection(service, connection, false);
    }
  }
  // A waiting look-up ends at the latest when the service is told to stop.
  service.RequestStop();
  while (m_nThreads > 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void CHttpFront::ServeConnection(CCdnService& service, int connection, bool mayWait) const {
  // A client that does not take its reply holds its thread for at most this long.
  timeval timeout{2, 0};
  setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
  std::string head;
  HttpRequestHead request;
  if (!ReadRequestHead(connection, head) || !ParseRequestHead(head, request)) {
    if (!head.empty()) SendAll(connection, FormatReply({400, "{\"ret\":400}"}, true));
  } else {
    if (request.client.empty()) request.client = PeerAddress(connection);
    SendAll(connection, FormatReply(RouteRequest(service, request, mayWait, m_metrics),
                                    request.method != "HEAD"));
  }
  close(connection);
}
