#include "app/CdnListener.h"

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

std::string DottedIpv4(uint32_t address) {
  char text[16];
  snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 0xFF,
           (address >> 8) & 0xFF, address & 0xFF);
  return text;
}

CCdnListener::~CCdnListener() {
  CloseSockets();
  JoinThread();
}

bool CCdnListener::Configure(uint16_t port, CdnMessageHandler handler, void* user) {
  m_nPort = port;
  m_pfnHandler = handler;
  m_pUser = user;
  m_strHostName = platform::LocalHostName();
  uint32_t address = 0;
  if (m_strHostName.empty() || !platform::ResolveIpv4(m_strHostName, address)) return false;
  m_strLocalIp = DottedIpv4(address);
  return true;
}

bool CCdnListener::FindLocalAddress() {
  std::string hostName = platform::LocalHostName();
  uint32_t address = 0;
  if (hostName.empty() || !platform::ResolveIpv4(hostName, address)) return false;
  m_sockets.hostName = hostName;
  m_sockets.localAddress = address;
  m_sockets.localIp = DottedIpv4(address);
  m_sockets.broadcastAddress = (address & 0xFFFFFF00u) | 0xFFu;
  return true;
}

bool CCdnListener::Start() {
  if (m_bRunning) {
    CloseSockets();
    JoinThread();
    m_bRunning = false;
    return true;
  }
  if (m_thread.joinable()) return true;
  if (!OpenSockets()) return false;
  m_bReceiving = true;
  try {
    m_thread = std::thread(&CCdnListener::Receive, this);
  } catch (...) {
    m_bReceiving = false;
    CloseSockets();
    return false;
  }
  m_bRunning = true;
  return true;
}

bool CCdnListener::OpenSockets() {
  if (m_sockets.localIp.empty() && FindLocalAddress()) {
    printf("LocalName = %s(%s), %s\n", m_sockets.hostName.c_str(), m_sockets.localIp.c_str(),
           DottedIpv4(m_sockets.broadcastAddress).c_str());
    fflush(stdout);
  }
  CloseSockets();
  platform::SocketHandle sender = platform::OpenUdpSocket();
  platform::SocketHandle receiver = platform::OpenUdpSocket();
  {
    std::lock_guard<std::mutex> lock(m_sendLock);
    m_sockets.sendSocket = sender;
  }
  m_sockets.recvSocket = receiver;
  if (sender == platform::INVALID_SOCKET_HANDLE || receiver == platform::INVALID_SOCKET_HANDLE) {
    CloseSockets();
    return false;
  }
  if (!platform::EnableBroadcast(sender)) {
    int error = platform::LastSocketError();
    printf("setsockopt failed : %d(0x%x)", error, error);
    CloseSockets();
    return false;
  }
  return true;
}

void CCdnListener::CloseSockets() {
  {
    std::lock_guard<std::mutex> lock(m_sendLock);
    platform::CloseSocket(m_sockets.sendSocket);
    m_sockets.sendSocket = platform::INVALID_SOCKET_HANDLE;
  }
  CloseReceiveSocket();
}

// Whoever takes the handle first closes it; the shutdown wakes a receive
// that the thread is blocked in (closing alone does not on every system).
void CCdnListener::CloseReceiveSocket() {
  platform::SocketHandle socket = m_sockets.recvSocket.exchange(platform::INVALID_SOCKET_HANDLE);
  if (socket == platform::INVALID_SOCKET_HANDLE) return;
  platform::ShutdownSocket(socket);
  platform::CloseSocket(socket);
}

void CCdnListener::Receive() {
  uint16_t bound = 0;
  platform::SocketHandle socket = m_sockets.recvSocket;
  if (socket != platform::INVALID_SOCKET_HANDLE && platform::BindUdp(socket, m_nPort, bound)) {
    m_nBoundPort = bound;
    CCdnMessageAssembler assembler;
    char datagram[CDN_MESSAGE_MAX];
    for (;;) {
      socket = m_sockets.recvSocket;
      if (socket == platform::INVALID_SOCKET_HANDLE) break;
      uint32_t sender = 0;
      uint16_t senderPort = 0;
      int got = platform::RecvFrom(socket, datagram, sizeof datagram, sender, senderPort);
      if (got < 0 || m_sockets.recvSocket == platform::INVALID_SOCKET_HANDLE) break;
      // An empty datagram is no end of anything on UDP; own broadcasts are
      // no news.
      if (got == 0 || sender == m_sockets.localAddress) continue;
      using Result = CCdnMessageAssembler::Result;
      if (assembler.Add(datagram, got, SteadyMilliseconds()) != Result::Complete) continue;
      if (m_pfnHandler && m_pfnHandler(assembler.Payload(), assembler.PayloadLength(), sender,
                                       senderPort, m_pUser) == 0)
        break;
    }
  }
  CloseReceiveSocket();
  m_bReceiving = false;
}

void CCdnListener::JoinThread() {
  if (!m_thread.joinable()) return;
  if (m_thread.get_id() == std::this_thread::get_id()) {
    m_thread.detach();  // the handler stopping its own listener
    return;
  }
  m_thread.join();
}
