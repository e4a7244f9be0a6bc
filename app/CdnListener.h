#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Sockets.h"

// The port that CDN servers of the local network announce themselves on.
inline constexpr uint16_t CDN_BROADCAST_PORT = 20214;
inline constexpr int CDN_MESSAGE_MAX = 1024;  // length field and payload

// Collects one broadcast message (a 4-byte little-endian signed length N,
// then N bytes of payload) from consecutive datagrams of one sender. A
// length that cannot fit the 1024 bytes discards the message; a pending
// message is dropped when a datagram cannot belong to it (another sender, or
// more bytes than it still lacks), and that datagram starts a new one.
class CCdnMessageAssembler {
 public:
  enum class Result { Incomplete, Complete, Discarded };

  Result Add(const char* bytes, int count, uint32_t senderAddress, uint16_t senderPort);
  // The payload of the message that Add reported Complete; valid until the
  // next Add.
  const char* Payload() const { return m_buffer + 4; }
  int PayloadLength() const { return m_nLength; }

 private:
  bool CanContinue(int count, uint32_t senderAddress, uint16_t senderPort) const;
  Result Check();

  char m_buffer[CDN_MESSAGE_MAX] = {};
  int m_nFilled = 0;
  int m_nLength = -1;  // N once the first four bytes are there
  uint32_t m_nSender = 0;
  uint16_t m_nSenderPort = 0;
};

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
