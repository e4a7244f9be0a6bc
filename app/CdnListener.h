#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "app/CdnMessage.h"
#include "platform/Sockets.h"

// Handler of a received message: payload, its length, the sender's IPv4
// address (host order) and port, the user pointer; 0 ends the listening.
using CdnMessageHandler = int (*)(const char* payload, int length, uint32_t senderAddress,
                                  uint16_t senderPort, void* user);

// Listens for CDN server announcements on a UDP port in a thread of its own.
class CCdnListener {
 public:
  CCdnListener() = default;
  ~CCdnListener();
  CCdnListener(const CCdnListener&) = delete;
  CCdnListener& operator=(const CCdnListener&) = delete;

  // Keeps the port (0: any free one) and handler, and finds this machine's
  // name and first IPv4 address; false when the name does not resolve.
  bool Configure(uint16_t port, CdnMessageHandler handler, void* user);
  // One toggle: stops a running listener (waiting for its thread), else
  // opens the sockets and starts the receive thread. False when that fails.
  bool Start();
  bool Stop() { return Start(); }
  // Closes both sockets; the receive thread then ends. Safe from the handler.
  void CloseSockets();

  bool IsRunning() const { return m_bRunning; }
  // The thread is still receiving.
  bool IsReceiving() const { return m_bReceiving; }
  // The port actually bound, once the thread has bound it (0 before).
  uint16_t BoundPort() const { return m_nBoundPort; }
  const std::string& LocalIp() const { return m_strLocalIp; }

 private:
  // The socket pair: the send socket is prepared for broadcasting, the
  // receive socket is bound by the thread.
  struct SocketPair {
    std::string hostName;
    std::string localIp;
    uint32_t localAddress = 0;
    uint32_t broadcastAddress = 0;
    platform::SocketHandle sendSocket = platform::INVALID_SOCKET_HANDLE;
    std::atomic<platform::SocketHandle> recvSocket{platform::INVALID_SOCKET_HANDLE};
  };

  bool FindLocalAddress();
  bool OpenSockets();
  void CloseReceiveSocket();
  void Receive();
  void JoinThread();

  CdnMessageHandler m_pfnHandler = nullptr;
  void* m_pUser = nullptr;
  SocketPair m_sockets;
  std::mutex m_sendLock;  // the send socket, closed from either thread
  std::thread m_thread;
  std::atomic<bool> m_bReceiving{false};
  bool m_bRunning = false;
  uint16_t m_nPort = CDN_BROADCAST_PORT;
  std::atomic<uint16_t> m_nBoundPort{0};
  std::string m_strHostName;
  std::string m_strLocalIp;
};

// An IPv4 address (host order) as dotted text.
std::string DottedIpv4(uint32_t address);
