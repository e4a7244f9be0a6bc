#include "platform/Sockets.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

namespace platform {
namespace {

thread_local int t_lastError = 0;
thread_local bool t_sendWouldBlock = false;

bool Failed() {
  t_lastError = WSAGetLastError();
  return false;
}

SOCKET ToSocket(SocketHandle socket) { return (SOCKET)socket; }

bool ResolveFirstIpv4(const std::string& host, uint16_t port, sockaddr_in& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return Failed();
  memcpy(&address, found->ai_addr, sizeof address);
  address.sin_port = htons(port);
  freeaddrinfo(found);
  return true;
}

bool ConnectWithin(SOCKET s, const sockaddr_in& address, int connectMs) {
  u_long nonBlocking = 1;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  if (connect(s, (const sockaddr*)&address, sizeof address) != 0) {
    if (WSAGetLastError() != WSAEWOULDBLOCK) return Failed();
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait{connectMs / 1000, (connectMs % 1000) * 1000};
    int ready = select(0, nullptr, &writable, &failed, &wait);
    if (ready == 0) WSASetLastError(WSAETIMEDOUT);
    if (ready <= 0) return Failed();
    if (FD_ISSET(s, &failed)) {
      int error = 0, length = sizeof error;
      getsockopt(s, SOL_SOCKET, SO_ERROR, (char*)&error, &length);
      WSASetLastError(error ? error : WSAECONNREFUSED);
      return Failed();
    }
  }
  nonBlocking = 0;
  ioctlsocket(s, FIONBIO, &nonBlocking);
  return true;
}

}  // namespace

bool StartupSocketLibrary() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  if (LOBYTE(data.wVersion) != 2 || HIBYTE(data.wVersion) != 2) {
    WSACleanup();
    return false;
  }
  return true;
}

SocketHandle OpenTcpSocket() {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) Failed();
  return s == INVALID_SOCKET ? INVALID_SOCKET_HANDLE : (SocketHandle)s;
}

bool SetSocketTimeouts(SocketHandle socket, int sendMs, int recvMs) {
  DWORD send = sendMs > 0 ? sendMs : 0, recv = recvMs > 0 ? recvMs : 0;
  if (setsockopt(ToSocket(socket), SOL_SOCKET, SO_SNDTIMEO, (const char*)&send, sizeof send) != 0)
    return Failed();
  if (setsockopt(ToSocket(socket), SOL_SOCKET, SO_RCVTIMEO, (const char*)&recv, sizeof recv) != 0)
    return Failed();
  return true;
}

bool ConnectSocket(SocketHandle socket, const std::string& host, uint16_t port, int connectMs) {
  sockaddr_in address{};
  if (!ResolveFirstIpv4(host, port, address)) return false;
  if (connectMs > 0) return ConnectWithin(ToSocket(socket), address, connectMs);
  if (connect(ToSocket(socket), (const sockaddr*)&address, sizeof address) != 0) return Failed();
  return true;
}

int SendSocket(SocketHandle socket, const char* bytes, int count) {
  int sent = send(ToSocket(socket), bytes, count, 0);
  t_sendWouldBlock = sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK;
  if (sent == SOCKET_ERROR) Failed();
  return sent == SOCKET_ERROR ? -1 : sent;
}

int RecvSocket(SocketHandle socket, char* buffer, int size) {
  int got = recv(ToSocket(socket), buffer, size, 0);
  if (got == SOCKET_ERROR) Failed();
  return got == SOCKET_ERROR ? -1 : got;
}

void CloseSocket(SocketHandle socket) {
  if (socket != INVALID_SOCKET_HANDLE) closesocket(ToSocket(socket));
}

int LastSocketError() { return t_lastError; }
bool LastSendWouldBlock() { return t_sendWouldBlock; }
void YieldThread() { Sleep(0); }

SocketHandle ListenTcp(const std::string& address, uint16_t port, uint16_t& boundPort) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return Failed(), INVALID_SOCKET_HANDLE;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  int length = sizeof local;
  if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
      bind(s, (sockaddr*)&local, sizeof local) != 0 || listen(s, 16) != 0 ||
      getsockname(s, (sockaddr*)&local, &length) != 0) {
    Failed();
    closesocket(s);
    return INVALID_SOCKET_HANDLE;
  }
  boundPort = ntohs(local.sin_port);
  return (SocketHandle)s;
}

SocketHandle AcceptSocket(SocketHandle listener) {
  SOCKET s = accept(ToSocket(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) Failed();
  return s == INVALID_SOCKET ? INVALID_SOCKET_HANDLE : (SocketHandle)s;
}

}  // namespace platform

namespace platform {

SocketHandle OpenUdpSocket() {
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) Failed();
  return s == INVALID_SOCKET ? INVALID_SOCKET_HANDLE : (SocketHandle)s;
}

bool EnableBroadcast(SocketHandle socket) {
  BOOL yes = TRUE;
  if (setsockopt(ToSocket(socket), SOL_SOCKET, SO_BROADCAST, (const char*)&yes, sizeof yes) != 0)
    return Failed();
  return true;
}

bool BindUdp(SocketHandle socket, uint16_t port, uint16_t& boundPort, uint32_t address) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(address);
  int length = sizeof local;
  if (bind(ToSocket(socket), (sockaddr*)&local, sizeof local) != 0 ||
      getsockname(ToSocket(socket), (sockaddr*)&local, &length) != 0)
    return Failed();
  boundPort = ntohs(local.sin_port);
  return true;
}

int RecvFrom(SocketHandle socket, char* buffer, int size, uint32_t& senderAddress,
             uint16_t& senderPort) {
  sockaddr_in from{};
  int length = sizeof from;
  int got = recvfrom(ToSocket(socket), buffer, size, 0, (sockaddr*)&from, &length);
  // A datagram longer than the buffer arrives cut, as on other systems; it
  // is no reason to stop receiving.
  if (got == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE) got = size;
  if (got == SOCKET_ERROR) return Failed(), -1;
  senderAddress = ntohl(from.sin_addr.s_addr);
  senderPort = ntohs(from.sin_port);
  return got;
}

int SendTo(SocketHandle socket, const char* bytes, int count, uint32_t address, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(address);
  int sent = sendto(ToSocket(socket), bytes, count, 0, (sockaddr*)&to, sizeof to);
  if (sent == SOCKET_ERROR) return Failed(), -1;
  return sent;
}

void ShutdownSocket(SocketHandle socket) {
  if (socket != INVALID_SOCKET_HANDLE) shutdown(ToSocket(socket), SD_BOTH);
}

std::string LocalHostName() {
  char name[260] = {};
  if (gethostname(name, sizeof name - 1) != 0) return Failed(), std::string();
  return name;
}

bool ResolveIpv4(const std::string& host, uint32_t& address) {
  sockaddr_in found{};
  if (!ResolveFirstIpv4(host, 0, found)) return false;
  address = ntohl(found.sin_addr.s_addr);
  return true;
}

}  // namespace platform
