#pragma once
#include <cstdint>
#include <string>

// TCP over the operating system's sockets (Winsock 2.2 on Windows, BSD
// sockets elsewhere). Calls report failure by their result; the system's
// error number of the last failed call comes from LastSocketError().
namespace platform {

using SocketHandle = intptr_t;
constexpr SocketHandle INVALID_SOCKET_HANDLE = -1;

// Starts the socket library asking for version 2.2; false unless exactly 2.2
// is granted (always true where there is nothing to start).
bool StartupSocketLibrary();

// A new IPv4 stream socket, or INVALID_SOCKET_HANDLE.
SocketHandle OpenTcpSocket();
// Send and receive time-outs in milliseconds (0: none).
bool SetSocketTimeouts(SocketHandle socket, int sendMs, int recvMs);
// Resolves the host by name, takes the first IPv4 address and connects.
// With connectMs > 0 the attempt is abandoned after that many milliseconds.
bool ConnectSocket(SocketHandle socket, const std::string& host, uint16_t port,
                   int connectMs = 0);
// Bytes sent or received, or -1 on failure; a receive of 0 is an orderly close.
int SendSocket(SocketHandle socket, const char* bytes, int count);
int RecvSocket(SocketHandle socket, char* buffer, int size);
void CloseSocket(SocketHandle socket);
int LastSocketError();
// The failure of the last send was only "the call would block".
bool LastSendWouldBlock();
// Gives up the rest of this thread's time slice.
void YieldThread();

// Listening side, for local servers: binds `address` (a dotted IPv4 text) and
// `port` (0: any free port), reports the bound port and listens.
SocketHandle ListenTcp(const std::string& address, uint16_t port, uint16_t& boundPort);
SocketHandle AcceptSocket(SocketHandle listener);

// UDP, for broadcasts on the local network. IPv4 addresses are in host order.
SocketHandle OpenUdpSocket();
bool EnableBroadcast(SocketHandle socket);
// Binds `port` (0: any free port) on one local address (0: all of them) and
// reports the port bound.
bool BindUdp(SocketHandle socket, uint16_t port, uint16_t& boundPort, uint32_t address = 0);
// One datagram with its sender; bytes received or -1.
int RecvFrom(SocketHandle socket, char* buffer, int size, uint32_t& senderAddress,
             uint16_t& senderPort);
int SendTo(SocketHandle socket, const char* bytes, int count, uint32_t address, uint16_t port);
// Ends a receive that another thread is blocked in (the socket stays open).
void ShutdownSocket(SocketHandle socket);
// This machine's name, empty when it cannot be read.
std::string LocalHostName();
// The first IPv4 address that `host` resolves to.
bool ResolveIpv4(const std::string& host, uint32_t& address);

}  // namespace platform
