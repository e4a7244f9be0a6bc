#include "SegmentedDownloaderTestServer.h"

#include <cstdlib>
#include <cstring>

#include "net/WebClient.h"

namespace {

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string HeaderValue(const std::string& head, const std::string& name) {
  size_t at = head.find("\r\n" + name + ":");
  if (at == std::string::npos) return "";
  size_t begin = head.find_first_not_of(' ', at + name.size() + 3);
  return head.substr(begin, head.find("\r\n", begin) - begin);
}

}  // namespace

RangeServer::RangeServer(std::string content) : m_content(std::move(content)) {
  CWebClient::StartupSockets();
  m_listener = platform::ListenTcp("127.0.0.1", 0, m_nPort);
  m_acceptThread = std::thread(&RangeServer::AcceptLoop, this);
}

RangeServer::~RangeServer() {
  m_bStopping = true;
  holdRanges = false;
  acceptsLeft = -1;
  // Wake the accept loop with one last connection.
  platform::SocketHandle waker = platform::OpenTcpSocket();
  platform::ConnectSocket(waker, "127.0.0.1", m_nPort);
  platform::CloseSocket(waker);
  m_acceptThread.join();
  platform::CloseSocket(m_listener);
  // Joined without the lock: a connection still reading its head takes the
  // lock to record its range.
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(m_lock);
    connections.swap(m_connections);
  }
  for (std::thread& connection : connections) connection.join();
}

std::string RangeServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
}

std::vector<std::string> RangeServer::RangeLines() {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_rangeLines;
}

void RangeServer::AcceptLoop() {
  while (!m_bStopping) {
    while (acceptsLeft == 0 && !m_bStopping) Pause(5);
    platform::SocketHandle connection = platform::AcceptSocket(m_listener);
    if (acceptsLeft > 0) --acceptsLeft;
    if (connection == platform::INVALID_SOCKET_HANDLE) continue;
    if (m_bStopping) {
      platform::CloseSocket(connection);
      break;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_connections.emplace_back(&RangeServer::Serve, this, connection);
  }
}

void RangeServer::SendAll(platform::SocketHandle connection, const char* bytes, size_t count) {
  while (count > 0) {
    int sent = platform::SendSocket(connection, bytes, (int)count);
    if (sent <= 0) return;
    bytes += sent;
    count -= (size_t)sent;
  }
}

void RangeServer::SendBody(platform::SocketHandle connection, const std::string& body) {
  size_t fast = trickleAfter < 0 ? body.size() : std::min(body.size(), (size_t)trickleAfter);
  SendAll(connection, body.data(), fast);
  for (size_t at = fast; at < body.size() && !m_bStopping; at += 64) {
    Pause(10);
    SendAll(connection, body.data() + at, std::min<size_t>(64, body.size() - at));
  }
}

void RangeServer::Serve(platform::SocketHandle connection) {
  platform::SetSocketTimeouts(connection, 10000, 10000);
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    int got = platform::RecvSocket(connection, buffer, sizeof buffer);
    if (got <= 0) break;
    head.append(buffer, (size_t)got);
  }
  std::string range = HeaderValue(head, "Range");
  {
    std::lock_guard<std::mutex> lock(m_lock);
    if (!m_bStopping && head.size() > 0) m_rangeLines.push_back(range);
  }
  int64_t size = (int64_t)m_content.size();
  int64_t first = 0, last = size - 1;
  bool partial = !range.empty() && acceptRanges;
  if (partial) {
    const char* numbers = range.c_str() + std::strlen("bytes=");
    char* dash = nullptr;
    first = std::strtoll(numbers, &dash, 10);
    if (dash && dash[1] >= '0' && dash[1] <= '9') 
      last = std::min<int64_t>(last, std::strtoll(dash + 1, nullptr, 10));
    while (holdRanges && !m_bStopping) Pause(5);
  }
  while (range.empty() && holdProbe && !m_bStopping) Pause(5);
  int status = range.empty() ? probeStatus.load() : (partial ? 206 : 200);
  if (partial && overlongRanges) ++last;
  std::string body = m_content.substr((size_t)first, (size_t)(last - first + 1));
  std::string reply = "HTTP/1.1 " + std::to_string(status) + " X\r\n";
  if (!noLength) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  if (acceptRanges) reply += "Accept-Ranges: bytes\r\n";
  if (partial && !overlongRanges)
    reply += "Content-Range: bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
             std::to_string(size) + "\r\n";
  if (!disposition.empty()) reply += "Content-Disposition: " + disposition + "\r\n";
  reply += "\r\n";
  SendAll(connection, reply.data(), reply.size());
  if (!(partial && failRanges)) SendBody(connection, body);
  platform::CloseSocket(connection);
}
