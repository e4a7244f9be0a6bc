#pragma once
// The platform's experiment calls on loopback: each request is answered by
// its path and recorded as "<path>|<body or query>" in the order it came.
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "net/Codecs.h"
#include "unit/net/LoopbackServer.h"

class FakePlatform {
 public:
  int nextRecordId = 5001;
  std::set<std::string> failing;  // paths answered with ret 1
  std::string courseName = "大学物理";
  std::string sourceName = "自由落体";
  int replyDelayMs = 0;  // a slow platform: each reply waits this long

  FakePlatform() {
    m_server = std::make_unique<CLoopbackServer>(
        [this](CLoopbackPeer& peer) { Answer(peer); }, 64);
  }
  int Port() const { return m_server->Port(); }
  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
  }
  // The calls' paths only, in order.
  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (const std::string& call : Calls()) paths.push_back(call.substr(0, call.find('|')));
    return paths;
  }

 private:
  void Answer(CLoopbackPeer& peer) {
    std::string request = m_server->Requests().back();
    size_t target = request.find(' ') + 1;
    std::string uri = request.substr(target, request.find(' ', target) - target);
    std::string path = uri.substr(0, uri.find('?'));
    std::string args = uri.find('?') == std::string::npos ? "" : uri.substr(uri.find('?') + 1);
    size_t body = request.find("\r\n\r\n");
    if (body != std::string::npos && body + 4 < request.size()) args = request.substr(body + 4);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_calls.push_back(path + "|" + args);
    }
    std::string json = AnsiToUtf8(Reply(path, args));
    peer.Pause(replyDelayMs);
    peer.Send("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: close\r\n"
              "Content-Length: " + std::to_string(json.size()) + "\r\n\r\n" + json);
  }
  std::string Reply(const std::string& path, const std::string& args) {
    if (failing.count(path)) return "{\"ret\":1}";
    if (path == "/experimentRecord/add.yks" && args.find("type=1") != std::string::npos)
      return "{\"ret\":0,\"list\":[{\"id\":" + std::to_string(nextRecordId++) + "}]}";
    if (path == "/course/detail.yks") return "{\"ret\":0,\"list\":[{\"name\":\"" + courseName + "\"}]}";
    if (path == "/source/detail.yks") return "{\"ret\":0,\"list\":[{\"name\":\"" + sourceName + "\"}]}";
    return "{\"ret\":0}";
  }

  std::unique_ptr<CLoopbackServer> m_server;
  std::mutex m_mutex;
  std::vector<std::string> m_calls;
};

// A loopback port where nothing listens: every call fails at once.
inline int UnreachablePort() {
  CWebClient::StartupSockets();
  uint16_t port = 0;
  platform::SocketHandle s = platform::ListenTcp("127.0.0.1", 0, port);
  platform::CloseSocket(s);
  return port;
}
