#include "platform/Sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace platform {
namespace {

thread_local int t_lastError = 0;
thread_local bool t_sendWouldBlock = false;

bool Failed() {
  t_lastError = errno;
  return false;
}

timeval ToTimeval(int ms) {
  timeval tv{};
  if (ms > 0) {
    tv.tv_sec = ms / 1000;
    tv.tv_usec = (ms % 1000) * 1000;
  }
  return tv;
}

bool ResolveFirstIpv4(const std::string& host, uint16_t port, sockaddr_in& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found) {
    t_lastError = rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
    return false;
  }
  std::memcpy(&address, found->ai_addr, sizeof address);
  address.sin_port = htons(port);
  freeaddrinfo(found);
  return true;
}

// Connect with an upper bound on the wait: non-blocking connect, poll.
bool ConnectWithin(int fd, const sockaddr_in& address, int connectMs) {
  int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int rc = connect(fd, (const sockaddr*)&address, sizeof address);
  if (rc != 0 && errno != EINPROGRESS) return Failed();
  if (rc != 0) {
    pollfd wait{fd, POLLOUT, 0};
    int ready = poll(&wait, 1, connectMs);
    if (ready == 0) errno = ETIMEDOUT;
    if (ready <= 0) return Failed();
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error != 0) {
      errno = error;
      return Failed();
    }
  }
  fcntl(fd, F_SETFL, flags);
  return true;
}

}  // namespace

bool StartupSocketLibrary() { return true; }

SocketHandle OpenTcpSocket() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) Failed();
  return fd < 0 ? INVALID_SOCKET_HANDLE : fd;
}

bool SetSocketTimeouts(SocketHandle socket, int sendMs, int recvMs) {
  timeval send = ToTimeval(sendMs), recv = ToTimeval(recvMs);
  if (setsockopt((int)socket, SOL_SOCKET, SO_SNDTIMEO, &send, sizeof send) != 0) return Failed();
  if (setsockopt((int)socket, SOL_SOCKET, SO_RCVTIMEO, &recv, sizeof recv) != 0) return Failed();
  return true;
}

bool ConnectSocket(SocketHandle socket, const std::string& host, uint16_t port, int connectMs) {
  sockaddr_in address{};
  if (!ResolveFirstIpv4(host, port, address)) return false;
  if (connectMs > 0) return ConnectWithin((int)socket, address, connectMs);
  if (connect((int)socket, (const sockaddr*)&address, sizeof address) != 0) return Failed();
  return true;
}

int SendSocket(SocketHandle socket, const char* bytes, int count) {
  // MSG_NOSIGNAL: a peer that has gone must give an error, not end the process.
  ssize_t sent = send((int)socket, bytes, count, MSG_NOSIGNAL);
  t_sendWouldBlock = sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  if (sent < 0) Failed();
  return sent < 0 ? -1 : (int)sent;
}

int RecvSocket(SocketHandle socket, char* buffer, int size) {
  ssize_t got;
  do {
    got = recv((int)socket, buffer, size, 0);
  } while (got < 0 && errno == EINTR);
  if (got < 0) Failed();
  return got < 0 ? -1 : (int)got;
}

void CloseSocket(SocketHandle socket) {
  if (socket != INVALID_SOCKET_HANDLE) close((int)socket);
}

int LastSocketError() { return t_lastError; }
bool LastSendWouldBlock() { return t_sendWouldBlock; }
void YieldThread() { sched_yield(); }

SocketHandle ListenTcp(const std::string& address, uint16_t port, uint16_t& boundPort) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return Failed(), INVALID_SOCKET_HANDLE;
  int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  socklen_t length = sizeof local;
  if (inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 ||
      bind(fd, (sockaddr*)&local, sizeof local) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, (sockaddr*)&local, &length) != 0) {
    Failed();
    close(fd);
    return INVALID_SOCKET_HANDLE;
  }
  boundPort = ntohs(local.sin_port);
  return fd;
}

SocketHandle AcceptSocket(SocketHandle listener) {
  int fd = accept4((int)listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) Failed();
  return fd < 0 ? INVALID_SOCKET_HANDLE : fd;
}

}  // namespace platform

namespace platform {

SocketHandle OpenUdpSocket() {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  if (fd < 0) Failed();
  return fd < 0 ? INVALID_SOCKET_HANDLE : fd;
}

bool EnableBroadcast(SocketHandle socket) {
  int yes = 1;
  if (setsockopt((int)socket, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes) != 0) return Failed();
  return true;
}

bool BindUdp(SocketHandle socket, uint16_t port, uint16_t& boundPort, uint32_t address) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  local.sin_addr.s_addr = htonl(address);
  socklen_t length = sizeof local;
  if (bind((int)socket, (sockaddr*)&local, sizeof local) != 0 ||
      getsockname((int)socket, (sockaddr*)&local, &length) != 0)
    return Failed();
  boundPort = ntohs(local.sin_port);
  return true;
}

int RecvFrom(SocketHandle socket, char* buffer, int size, uint32_t& senderAddress,
             uint16_t& senderPort) {
  sockaddr_in from{};
  socklen_t length = sizeof from;
  ssize_t got;
  do {
    got = recvfrom((int)socket, buffer, size, 0, (sockaddr*)&from, &length);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return Failed(), -1;
  senderAddress = ntohl(from.sin_addr.s_addr);
  senderPort = ntohs(from.sin_port);
  return (int)got;
}

int SendTo(SocketHandle socket, const char* bytes, int count, uint32_t address, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  to.sin_addr.s_addr = htonl(address);
  ssize_t sent = sendto((int)socket, bytes, count, MSG_NOSIGNAL, (sockaddr*)&to, sizeof to);
  if (sent < 0) return Failed(), -1;
  return (int)sent;
}

void ShutdownSocket(SocketHandle socket) {
  if (socket != INVALID_SOCKET_HANDLE) shutdown((int)socket, SHUT_RDWR);
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
