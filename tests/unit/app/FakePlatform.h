#pragma once
// The platform's peers for the resource command, on loopback: the interface
// (login, file size), a CDN server's find.do and files, and the download
// service, which the command always reaches on port 8112 of the platform's
// host. They listen on 127.0.0.2, so a reference platform on 127.0.0.1 does
// not collide, and wait for 8112 while another test holds it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/WebClient.h"
#include "platform/Sockets.h"

class CFakePlatform {
 public:
  static constexpr const char* HOST = "127.0.0.2";

  std::map<std::string, std::string> resources;  // fid -> bytes
  std::map<std::string, std::string> cdnPaths;   // fid -> path that find.do names
  std::string loginReply =
      R"({"ret":0,"ss":1,"list":[{"id":42,"access":1,"fsize":0,"token":"t"}]})";
  std::string sizeReply;  // empty: the size of the resource asked for
  int dropAfter = -1;     // a download ends after this many bytes (-1: never)
  std::string findReply;  // empty: find.do answers from cdnPaths
  int cdnHoldsFromCall = 1;  // find.do knows the files from this call on
  // How the CDN server delivers a file that find.do named.
  enum class CdnDelivery { Whole, NotFound, CutShort, NoReply };
  CdnDelivery cdnDelivery = CdnDelivery::Whole;
  size_t cdnCutAfter = 0;  // body bytes sent before a CutShort delivery ends
  std::map<std::string, std::string> cdnCopies;  // fid -> the CDN server's own (older) bytes

  CFakePlatform() {
    CWebClient::StartupSockets();
    m_api = Listen(0, m_nApiPort);
    for (auto deadline = Clock::now() + std::chrono::seconds(60); Clock::now() < deadline;) {
      m_download = Listen(8112, m_nDownloadPort);
      if (m_download != platform::INVALID_SOCKET_HANDLE) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    m_threads.emplace_back([this] { Serve(m_api); });
    if (m_download != platform::INVALID_SOCKET_HANDLE)
      m_threads.emplace_back([this] { Serve(m_download); });
  }
  ~CFakePlatform() {
    m_bStopping = true;
    for (uint16_t port : {m_nApiPort, m_nDownloadPort}) Wake(port);
    for (auto& t : m_threads) t.join();
    {
      // A reply that its client abandoned may still wait in a send.
      std::lock_guard<std::mutex> lock(m_mutex);
      for (platform::SocketHandle s : m_open) platform::ShutdownSocket(s);
    }
    for (auto& t : m_connections) t.join();
    platform::CloseSocket(m_api);
    platform::CloseSocket(m_download);
  }
  bool Ready() const { return m_download != platform::INVALID_SOCKET_HANDLE; }
  int ApiPort() const { return m_nApiPort; }
  std::string CdnServer() const { return std::string(HOST) + ":" + std::to_string(m_nApiPort); }

  // Requests as "<first line>\n<Range header or nothing>", in arrival order.
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
  }
  std::vector<std::string> RequestsFor(const std::string& path) {
    std::vector<std::string> found;
    for (const auto& r : Requests())
      if (r.find(" " + path) != std::string::npos) found.push_back(r);
    return found;
  }

 private:
  using Clock = std::chrono::steady_clock;

  static platform::SocketHandle Listen(uint16_t port, uint16_t& bound) {
    return platform::ListenTcp(HOST, port, bound);
  }
  static void Wake(uint16_t port) {
    if (port == 0) return;
    platform::SocketHandle s = platform::OpenTcpSocket();
    platform::ConnectSocket(s, HOST, port);
    platform::CloseSocket(s);
  }
  static std::string Header(const std::string& request, const std::string& name) {
    size_t at = request.find("\r\n" + name + ": ");
    if (at == std::string::npos) return {};
    at += name.size() + 4;
    return request.substr(at, request.find("\r\n", at) - at);
  }
  static std::string Query(const std::string& target, const std::string& key) {
    size_t at = target.find(key + "=");
    if (at == std::string::npos) return {};
    at += key.size() + 1;
    return target.substr(at, target.find_first_of("& ", at) - at);
  }
  // Each reply ends its connection and says so: a client library that kept
  // the connection for the next request would otherwise find it closed.
  static std::string Ok(const std::string& body, const std::string& extra = "",
                        const char* status = "200 OK") {
    return std::string("HTTP/1.1 ") + status + "\r\nConnection: close\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n" + extra + "\r\n" + body;
  }

  // Each connection on a thread of its own, as a real server does: a
  // cancelled download whose reply still waits in a send must not keep the
  // next request (its resumption) from being answered.
  void Serve(platform::SocketHandle listener) {
    while (!m_bStopping) {
      platform::SocketHandle s = platform::AcceptSocket(listener);
      if (s == platform::INVALID_SOCKET_HANDLE || m_bStopping) {
        platform::CloseSocket(s);
        return;
      }
      std::lock_guard<std::mutex> lock(m_mutex);
      m_open.push_back(s);
      m_connections.emplace_back([this, s] { Answer(s); });
    }
  }

  void Answer(platform::SocketHandle s) {
    std::string request = ReadRequest(s);
    std::string reply = Route(request);
    for (size_t sent = 0; sent < reply.size();) {
      int n = platform::SendSocket(s, reply.data() + sent, (int)(reply.size() - sent));
      if (n <= 0) break;
      sent += n;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open.erase(std::find(m_open.begin(), m_open.end(), s));
    platform::CloseSocket(s);
  }

  static std::string ReadRequest(platform::SocketHandle s) {
    std::string request;
    char block[4096];
    size_t end;
    while ((end = request.find("\r\n\r\n")) == std::string::npos) {
      int n = platform::RecvSocket(s, block, sizeof block);
      if (n <= 0) return request;
      request.append(block, n);
    }
    std::string length = Header(request, "Content-Length");
    size_t body = length.empty() ? 0 : std::stoul(length);
    while (request.size() < end + 4 + body) {
      int n = platform::RecvSocket(s, block, sizeof block);
      if (n <= 0) break;
      request.append(block, n);
    }
    return request;
  }

  std::string Route(const std::string& request) {
    const std::string line = request.substr(0, request.find("\r\n"));
    const std::string range = Header(request, "Range");
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_requests.push_back(line + "\n" + range);
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    if (line.find(" /user/loginPhone.yks") != std::string::npos) return Ok(loginReply);
    if (line.find(" /file/size.action") != std::string::npos) {
      std::string fid = Query(request.substr(request.find("\r\n\r\n")), "fileId");
      return Ok(!sizeReply.empty() ? sizeReply
                                   : R"({"size":)" + std::to_string(resources[fid].size()) + "}");
    }
    if (line.find(" /command/find.do") != std::string::npos) {
      std::string fid = Query(line, "fid");
      if (!findReply.empty()) return Ok(findReply);
      if (!cdnPaths.count(fid) || ++m_nFindCalls < cdnHoldsFromCall) return Ok(R"({"ret":1})");
      return Ok(R"({"ret":0,"path":")" + cdnPaths[fid] + R"(","size":")" +
                std::to_string(resources[fid].size()) + "\"}");
    }
    std::string fid = line.find(" /file/downLoad") != std::string::npos ? Query(line, "fid") : "";
    for (const auto& [id, path] : cdnPaths)
      if (line.find(" " + path + " ") != std::string::npos) return CdnFile(id, range);
    if (!resources.count(fid)) return Ok("missing", "", "404 Not Found");
    return Bytes(resources[fid], range);
  }

  std::string CdnFile(const std::string& fid, const std::string& range) {
    if (!resources.count(fid) || cdnDelivery == CdnDelivery::NotFound)
      return Ok("evicted", "", "404 Not Found");
    if (cdnDelivery == CdnDelivery::NoReply) return {};
    std::string reply = Bytes(cdnCopies.count(fid) ? cdnCopies[fid] : resources[fid], range);
    if (cdnDelivery == CdnDelivery::CutShort)
      reply.resize(reply.find("\r\n\r\n") + 4 + cdnCutAfter);
    return reply;
  }

  std::string Bytes(const std::string& data, const std::string& range) {
    size_t start = range.rfind("bytes=", 0) == 0 ? std::stoul(range.substr(6)) : 0;
    std::string body = data.substr(std::min(start, data.size()));
    std::string head = start ? "Content-Range: bytes " + std::to_string(start) + "-" +
                                   std::to_string(data.size() - 1) + "/" +
                                   std::to_string(data.size()) + "\r\n"
                             : "";
    std::string reply = Ok(body, head, start ? "206 Partial Content" : "200 OK");
    if (dropAfter >= 0) reply.resize(reply.size() - body.size() + std::min<size_t>(dropAfter, body.size()));
    return reply;
  }

  platform::SocketHandle m_api = platform::INVALID_SOCKET_HANDLE;
  platform::SocketHandle m_download = platform::INVALID_SOCKET_HANDLE;
  uint16_t m_nApiPort = 0, m_nDownloadPort = 0;
  std::vector<std::thread> m_threads;      // the two listeners
  std::vector<std::thread> m_connections;  // one per accepted connection
  std::vector<platform::SocketHandle> m_open;  // connections not yet answered
  std::mutex m_mutex;
  std::vector<std::string> m_requests;
  std::atomic<bool> m_bStopping{false};
  int m_nFindCalls = 0;
};
