#include "platform/InetFetch.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>

namespace platform {
namespace {

constexpr DWORD_PTR CONTEXT = 1;
constexpr DWORD MAX_READ = 65536;
constexpr DWORD MAX_HEADER = 16384;

// Receive time-outs count only on the connect and request handles, so
// every handle gets all of them.
void SetTimeouts(HINTERNET handle, const InetRequest& request) {
  DWORD connect = request.nConnectTimeout, send = request.nSendTimeout,
        recv = request.nRecvTimeout, retries = 1;
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connect, sizeof connect);
  InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
  InternetSetOptionA(handle, INTERNET_OPTION_DATA_SEND_TIMEOUT, &send, sizeof send);
  InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &recv, sizeof recv);
  InternetSetOptionA(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, &recv, sizeof recv);
  InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof retries);
}

// One reply header as text; empty when the reply has none.
std::string QueryHeader(HINTERNET request, DWORD which) {
  char value[MAX_HEADER];
  DWORD length = sizeof value - 1;
  if (!HttpQueryInfoA(request, which, value, &length, nullptr)) return {};
  return std::string(value, strnlen(value, length));
}

bool AddHeaders(HINTERNET request, const std::string& sid) {
  const char basics[] = "Accept:*/*\r\nAccept-Language:zh-cn";
  HttpAddRequestHeadersA(request, basics, (DWORD)-1, HTTP_ADDREQ_FLAG_ADD_IF_NEW);
  if (sid.empty()) return true;
  std::string cookie = "Cookie: sid=" + sid;
  return HttpAddRequestHeadersA(request, cookie.c_str(), (DWORD)-1,
                                HTTP_ADDREQ_FLAG_ADD | HTTP_ADDREQ_FLAG_REPLACE) != FALSE;
}

// Reads while the library says bytes are available; false on a failed read
// or a reply beyond `maxReply`.
bool ReadBody(HINTERNET request, std::string& reply, size_t maxReply) {
  std::string block;
  DWORD available = 0;
  size_t taken = 0;
  for (;;) {
    if (!InternetQueryDataAvailable(request, &available, 0, 0)) return false;
    if (available == 0) return true;
    DWORD want = available < MAX_READ ? available : MAX_READ, got = 0;
    block.assign(want, '\0');
    if (!InternetReadFile(request, block.data(), want, &got)) return false;
    if (got == 0) return true;
    taken += got;
    if (taken > maxReply) return false;
    reply.append(block.data(), strnlen(block.data(), got));
  }
}

}  // namespace

bool InetFetch(const InetRequest& request, std::string& reply, InetResult& result,
               size_t maxReply) {
  HINTERNET session = InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  if (!session) return false;
  SetTimeouts(session, request);
  bool ok = false;
  HINTERNET connection = InternetConnectA(session, request.strHost.c_str(), request.nPort,
                                          nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, CONTEXT);
  if (connection) {
    SetTimeouts(connection, request);
    // A CDN check must see the server as it is now, never a cached answer.
    DWORD flags = INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_RELOAD |
                  INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_PRAGMA_NOCACHE;
    // The library checks the certificate itself; no flag here ever lets it
    // accept an invalid one.
    if (request.bSecure) flags |= INTERNET_FLAG_SECURE;
    HINTERNET http = HttpOpenRequestA(connection, "GET", request.strObject.c_str(), nullptr,
                                      nullptr, nullptr, flags, CONTEXT);
    if (http) {
      SetTimeouts(http, request);
      if (AddHeaders(http, request.strSid) && HttpSendRequestA(http, nullptr, 0, nullptr, 0)) {
        DWORD status = 0, length = sizeof status;
        HttpQueryInfoA(http, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &length,
                       nullptr);
        result.bSent = true;
        result.nStatus = (int)status;
        result.strSetCookie = QueryHeader(http, HTTP_QUERY_SET_COOKIE);
        result.strCookie = QueryHeader(http, HTTP_QUERY_COOKIE);
        ok = ReadBody(http, reply, maxReply);
      }
      InternetCloseHandle(http);
    }
    InternetCloseHandle(connection);
  }
  InternetCloseHandle(session);
  return ok;
}

}  // namespace platform
