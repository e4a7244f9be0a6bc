#pragma once
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Sockets.h"

// A small HTTP file server on 127.0.0.1 (any free port) for the segmented
// downloader's tests: it serves one file, honours "Range: bytes=a-b" and
// "a-", and can be told to misbehave. One request per connection.
class RangeServer {
 public:
  explicit RangeServer(std::string content);
  ~RangeServer();

  std::string Url(const std::string& path = "/dir/tool.bin") const;
  uint16_t Port() const { return m_nPort; }
  // The Range header values received, in arrival order ("" for none).
  std::vector<std::string> RangeLines();

  std::atomic<bool> acceptRanges{true};
  std::atomic<int> probeStatus{200};
  std::atomic<bool> failRanges{false};   // range replies end after their header
  std::atomic<bool> holdRanges{false};   // range replies wait until released
  std::atomic<int> trickleAfter{-1};     // after this many body bytes, send slowly
  std::atomic<bool> overlongRanges{false};  // one byte more than asked, no Content-Range
  std::atomic<bool> noLength{false};     // no Content-Length: the body ends with the connection
  std::string disposition;               // Content-Disposition of every reply
  std::atomic<bool> holdProbe{false};    // replies without a range wait until released
  // Connections still to be taken, -1 without limit: at 0 new ones fill the
  // listen queue, and once it is full they stay in their connect.
  std::atomic<int> acceptsLeft{-1};

 private:
  void AcceptLoop();
  void Serve(platform::SocketHandle connection);
  void SendAll(platform::SocketHandle connection, const char* bytes, size_t count);
  void SendBody(platform::SocketHandle connection, const std::string& body);

  std::string m_content;
  platform::SocketHandle m_listener = platform::INVALID_SOCKET_HANDLE;
  uint16_t m_nPort = 0;
  std::atomic<bool> m_bStopping{false};
  std::thread m_acceptThread;
  std::mutex m_lock;
  std::vector<std::thread> m_connections;
  std::vector<std::string> m_rangeLines;
};
