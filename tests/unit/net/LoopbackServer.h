#pragma once
// A scripted HTTP peer on 127.0.0.1 for the transport tests: each accepted
// connection has its request read and recorded byte for byte, then runs the
// test's script (send bytes, pause, close).
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/WebClient.h"
#include "platform/Sockets.h"

class CLoopbackPeer {
 public:
  explicit CLoopbackPeer(platform::SocketHandle socket) : m_socket(socket) {}
  void Send(const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
      int n = platform::SendSocket(m_socket, bytes.data() + sent, (int)(bytes.size() - sent));
      if (n <= 0) return;
      sent += n;
    }
  }
  void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  // Reads the request: the header block and a body of its Content-Length.
  std::string ReadRequest() {
    std::string request;
    char block[4096];
    size_t end;
    while ((end = request.find("\r\n\r\n")) == std::string::npos) {
      int n = platform::RecvSocket(m_socket, block, sizeof block);
      if (n <= 0) return request;
      request.append(block, n);
    }
    size_t body = 0, at = request.find("Content-Length: ");
    if (at != std::string::npos && at < end) body = std::stoul(request.substr(at + 16));
    while (request.size() < end + 4 + body) {
      int n = platform::RecvSocket(m_socket, block, sizeof block);
      if (n <= 0) break;
      request.append(block, n);
    }
    return request;
  }

 private:
  platform::SocketHandle m_socket;
};

class CLoopbackServer {
 public:
  using Script = std::function<void(CLoopbackPeer&)>;

  // Serves `connections` connections, each with the same script.
  explicit CLoopbackServer(Script script, int connections = 1) : m_script(std::move(script)) {
    CWebClient::StartupSockets();
    m_nExpected = connections;
    m_listener = platform::ListenTcp("127.0.0.1", 0, m_nPort);
    m_thread = std::thread([this, connections] { Serve(connections); });
  }
  ~CLoopbackServer() {
    m_bStopping = true;
    if (m_nAccepted < m_nExpected) WakeAcceptor();
    m_thread.join();
    platform::CloseSocket(m_listener);
  }
  std::string Url(const std::string& object = "/file") const {
    return "http://127.0.0.1:" + std::to_string(m_nPort) + object;
  }
  uint16_t Port() const { return m_nPort; }
  // The recorded requests, once the connections have ended.
  std::vector<std::string> Requests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_arrRequests;
  }
  int Accepted() const { return m_nAccepted; }

 private:
  void Serve(int connections) {
    for (int i = 0; i < connections && !m_bStopping; ++i) {
      platform::SocketHandle socket = platform::AcceptSocket(m_listener);
      if (socket == platform::INVALID_SOCKET_HANDLE || m_bStopping) {
        platform::CloseSocket(socket);
        return;
      }
      ++m_nAccepted;
      CLoopbackPeer peer(socket);
      std::string request = peer.ReadRequest();
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_arrRequests.push_back(request);
      }
      m_script(peer);
      platform::CloseSocket(socket);
    }
  }
  void WakeAcceptor() {
    platform::SocketHandle s = platform::OpenTcpSocket();
    platform::ConnectSocket(s, "127.0.0.1", m_nPort);
    platform::CloseSocket(s);
  }

  Script m_script;
  platform::SocketHandle m_listener;
  uint16_t m_nPort = 0;
  std::thread m_thread;
  std::mutex m_mutex;
  std::vector<std::string> m_arrRequests;
  std::atomic<bool> m_bStopping{false};
  std::atomic<int> m_nAccepted{0};
  std::atomic<int> m_nExpected{0};
};

// A reply with status, extra header lines and a body (Content-Length given
// by the caller, so tests can lie about it).
inline std::string Reply(const std::string& status, const std::string& headers,
                         const std::string& body) {
  return "HTTP/1.1 " + status + "\r\n" + headers + "\r\n" + body;
}
