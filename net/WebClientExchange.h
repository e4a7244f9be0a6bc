#pragma once
// The steps that every socket operation of CWebClient shares: split the URL,
// connect, send the request, receive the header block. Internal to net/.
#include <string>

#include "net/Url.h"
#include "net/WebClient.h"

namespace webclient {

// Which operation runs: the operations differ in which failures record the
// system's error number.
enum class Operation { Headers, Get, Post, Download, Range };

// "\r\n\r\n" found in linear time over bytes that arrive in pieces.
class CHeaderEndFinder {
 public:
  // Feeds the next bytes; returns the offset in them just past the match,
  // or -1 while there is none yet.
  int Feed(const char* bytes, int count);

 private:
  int m_nMatched = 0;
};

// One request and its reply header; the receive buffer is the caller's.
struct Exchange {
  Operation operation;
  UrlParts url;
  char* buffer;          // WEB_BUFFER_SIZE bytes
  int nReceived = 0;     // bytes in the buffer
  int nBodyStart = 0;    // first body byte in the buffer
  CHttpResponseHeader* header = nullptr;
};

// Closes the client's connection when an operation leaves, on every path.
class ConnectionGuard {
 public:
  explicit ConnectionGuard(CWebClient& client) : m_client(client) {}
  ~ConnectionGuard();

 private:
  CWebClient& m_client;
};

// Each returns false after recording the failure in the client.
bool SplitUrl(CWebClient& client, const std::string& url, Exchange& exchange);
bool Connect(CWebClient& client, Exchange& exchange);
// One send or receive on the connection, through TLS when it has it; as
// platform::SendSocket and RecvSocket.
int SendSome(CWebClient& client, const char* bytes, int count);
int ReceiveSome(CWebClient& client, char* buffer, int size);
bool SendAll(CWebClient& client, const std::string& request, Exchange& exchange);
bool ReceiveHeader(CWebClient& client, Exchange& exchange);
// Connect, send and receive the header: steps 3 to 7.
bool Transact(CWebClient& client, const std::string& request, Exchange& exchange);

void Fail(CWebClient& client, Operation operation, int code, int sysError);
// The sid comes from a server's reply: its control bytes are left out so
// that it can never end the cookie line and add headers of its own.
std::string WithoutControlBytes(const std::string& text);
// "Cookie: sid=...\r\n".
std::string CookieLine(const std::string& sid);
// The request's header block: "Host: host:port" after the given lines.
std::string BlockA(const UrlParts& url);
std::string BlockB(const UrlParts& url, size_t bodyLength);
std::string BlockC(const UrlParts& url);

}  // namespace webclient
