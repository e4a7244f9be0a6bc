// The socket seam of the fuzz build: no system sockets, one scripted reply.
#include "ScriptedSockets.h"

#include <algorithm>
#include <cstring>

#include "platform/Sockets.h"

namespace {

std::string g_reply;
std::string g_pieces;
size_t g_at = 0;
size_t g_piece = 0;
constexpr platform::SocketHandle kScriptedSocket = 3;

}  // namespace

namespace scripted {

void SetReply(const std::string& reply, const std::string& pieces) {
  g_reply = reply;
  g_pieces = pieces.empty() ? std::string(1, '\xff') : pieces;
  g_at = 0;
  g_piece = 0;
}

}  // namespace scripted

namespace platform {

bool StartupSocketLibrary() { return true; }
SocketHandle OpenTcpSocket() { return kScriptedSocket; }
bool SetSocketTimeouts(SocketHandle, int, int) { return true; }
bool ConnectSocket(SocketHandle, const std::string&, uint16_t, int) { return true; }
int SendSocket(SocketHandle, const char*, int count) { return count; }

int RecvSocket(SocketHandle, char* buffer, int size) {
  if (size <= 0) return -1;
  size_t piece = (unsigned char)g_pieces[g_piece++ % g_pieces.size()];
  piece = std::max<size_t>(piece * 64, 1);
  size_t count = std::min({piece, (size_t)size, g_reply.size() - g_at});
  std::memcpy(buffer, g_reply.data() + g_at, count);
  g_at += count;
  return (int)count;
}

void CloseSocket(SocketHandle) {}
void ShutdownSocket(SocketHandle) {}
int LastSocketError() { return 0; }
bool LastSendWouldBlock() { return false; }
void YieldThread() {}
SocketHandle ListenTcp(const std::string&, uint16_t, uint16_t&) { return INVALID_SOCKET_HANDLE; }
SocketHandle AcceptSocket(SocketHandle) { return INVALID_SOCKET_HANDLE; }

}  // namespace platform
