#pragma once
#include <cstdint>
#include <string>

// A GET through the operating system's internet library (WinINet on
// Windows), which brings the system's proxy settings with it.
namespace platform {

struct InetRequest {
  bool bSecure = false;   // https: TLS with the library's certificate checks, never relaxed
  std::string strHost;
  uint16_t nPort = 80;
  std::string strObject;  // path and query
  std::string strSid;     // sent as "Cookie: sid=..." when not empty
  int nConnectTimeout = 60000;  // ms, one attempt and one retry
  int nSendTimeout = 60000;
  int nRecvTimeout = 60000;
};

struct InetResult {
  bool bSent = false;     // the request went out and a status came back
  int nStatus = 0;
  std::string strSetCookie;
  std::string strCookie;
};

// Performs the request; the body, read whatever the status, is appended to
// `reply` as text (a zero byte ends a block) up to `maxReply` bytes. False
// when the library reports a failure; `reply` keeps what arrived before it.
bool InetFetch(const InetRequest& request, std::string& reply, InetResult& result,
               size_t maxReply);

}  // namespace platform
