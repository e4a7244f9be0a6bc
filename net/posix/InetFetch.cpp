// Without the internet library: the same request on the project's own
// sockets code. The proxy settings here are the usual environment variables.
#include "platform/InetFetch.h"

#include <cstdlib>
#include <cstring>

#include "net/HttpResponseHeader.h"
#include "text/MbcsText.h"
#include "net/Url.h"
#include "net/WebClient.h"
#include "net/WebClientExchange.h"
#include "platform/Sockets.h"

namespace platform {
namespace {

constexpr int CONNECT_ATTEMPTS = 2;  // one attempt and one retry

struct Route {
  std::string strHost;
  uint16_t nPort;
  bool bProxy;
};

bool BypassesProxy(const std::string& host) {
  if (host == "localhost" || host.rfind("127.", 0) == 0) return true;
  const char* list = std::getenv("no_proxy");
  if (!list) list = std::getenv("NO_PROXY");
  std::string rest = list ? list : "";
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string entry = TrimSpaces(rest.substr(0, comma));
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    if (entry == "*") return true;
    if (entry.empty() || entry.size() > host.size()) continue;
    if (MbcsEqualNoCase(host.substr(host.size() - entry.size()), entry)) return true;
  }
  return false;
}

Route ChooseRoute(const InetRequest& request) {
  const char* proxy = std::getenv("http_proxy");
  if (!proxy) proxy = std::getenv("HTTP_PROXY");
  UrlParts parts;
  if (proxy && *proxy && !BypassesProxy(request.strHost) && CrackUrl(proxy, parts))
    return {parts.strHost, (uint16_t)parts.nPort, true};
  return {request.strHost, request.nPort, false};
}

std::string BuildRequest(const InetRequest& request, bool viaProxy) {
  std::string hostPort = request.strHost + ":" + std::to_string(request.nPort);
  std::string target = viaProxy ? "http://" + hostPort + request.strObject : request.strObject;
  std::string text = "GET " + target + " HTTP/1.1\r\nHost: " + hostPort +
                     "\r\nAccept:*/*\r\nAccept-Language:zh-cn\r\nUser-Agent: VelmoraURL\r\n";
  if (!request.strSid.empty()) text += "Cookie: sid=" + request.strSid + "\r\n";
  return text + "Connection: close\r\n\r\n";
}

SocketHandle ConnectRoute(const Route& route, const InetRequest& request) {
  for (int attempt = 0; attempt < CONNECT_ATTEMPTS; ++attempt) {
    SocketHandle socket = OpenTcpSocket();
    if (socket == INVALID_SOCKET_HANDLE) return socket;
    if (SetSocketTimeouts(socket, request.nSendTimeout, request.nRecvTimeout) &&
        ConnectSocket(socket, route.strHost, route.nPort, request.nConnectTimeout))
      return socket;
    CloseSocket(socket);
  }
  return INVALID_SOCKET_HANDLE;
}

bool SendText(SocketHandle socket, const std::string& text) {
  for (size_t sent = 0; sent < text.size();) {
    int n = SendSocket(socket, text.data() + sent, (int)(text.size() - sent));
    if (n <= 0) return false;
    sent += n;
  }
  return true;
}

// Header block into `buffer`; returns the offset of the first body byte.
int ReceiveHeader(SocketHandle socket, char* buffer, int& received) {
  webclient::CHeaderEndFinder finder;
  while (received < WEB_BUFFER_SIZE) {
    int n = RecvSocket(socket, buffer + received, WEB_BUFFER_SIZE - received);
    if (n <= 0) return -1;
    int end = finder.Feed(buffer + received, n);
    received += n;
    if (end >= 0) return received - n + end;
  }
  return -1;
}

// The body up to Content-Length, or to the close without one.
bool ReceiveBody(SocketHandle socket, const CHttpResponseHeader& header, const char* first,
                 int firstCount, std::string& reply, size_t maxReply) {
  int64_t length = header.m_nContentLength;
  if (length > (int64_t)maxReply) return false;
  int64_t taken = length >= 0 && firstCount > length ? length : firstCount;
  reply.append(first, strnlen(first, (size_t)taken));
  char block[WEB_BUFFER_SIZE];
  while (length < 0 || taken < length) {
    int n = RecvSocket(socket, block, sizeof block);
    if (n == 0 && length < 0) return true;
    if (n <= 0) return false;
    if (length >= 0 && taken + n > length) n = (int)(length - taken);
    taken += n;
    if (taken > (int64_t)maxReply) return false;
    reply.append(block, strnlen(block, n));
  }
  return true;
}

}  // namespace

bool InetFetch(const InetRequest& request, std::string& reply, InetResult& result,
               size_t maxReply) {
  // The stand-in speaks no TLS: a secure request fails rather than going out
  // in the clear.
  if (request.bSecure) return false;
  Route route = ChooseRoute(request);
  SocketHandle socket = ConnectRoute(route, request);
  if (socket == INVALID_SOCKET_HANDLE) return false;
  char buffer[WEB_BUFFER_SIZE + 1] = {};
  int received = 0, bodyStart = -1;
  bool ok = SendText(socket, BuildRequest(request, route.bProxy)) &&
            (bodyStart = ReceiveHeader(socket, buffer, received)) >= 0;
  CHttpResponseHeader header;
  if (ok) {
    std::string text(buffer, bodyStart - 4);
    ok = header.Parse(text.c_str());
  }
  if (ok) {
    result.bSent = true;
    result.nStatus = header.m_nStatus;
    result.strSetCookie = header.FindHeader("Set-Cookie");
    result.strCookie = header.FindHeader("Cookie");
    ok = ReceiveBody(socket, header, buffer + bodyStart, received - bodyStart, reply, maxReply);
  }
  CloseSocket(socket);
  return ok;
}

}  // namespace platform
