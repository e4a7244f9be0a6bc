#include "net/WebClient.h"

#include <algorithm>
#include <cstring>

#include "net/WebClientExchange.h"

namespace webclient {
namespace {

// Reported as the system error of a URL that cannot be split: the internet
// library's "invalid URL" number, which its cracker gives on Windows.
constexpr int SYSERR_INVALID_URL = 12005;
constexpr int MAX_BLOCKED_SENDS = 5;

// Which failures carry the system's error number, by operation.
bool RecordsSysError(Operation operation, int code) {
  bool isRange = operation == Operation::Range;
  bool isText = operation == Operation::Headers || operation == Operation::Get ||
                operation == Operation::Post;
  switch (code) {
    case WCE_CONNECT:
    case WCE_RECV_HEADER:
    case WCE_PROTOCOL:
      return operation != Operation::Download;
    case WCE_SEND:
      return isText;
    case WCE_RECV_BODY:
    case WCE_FILE_OPEN:
    case WCE_FILE_WRITE:
      return isRange;
    default:
      return false;
  }
}

std::string HostLine(const UrlParts& url) {
  return "Host: " + url.strHost + ":" + std::to_string(url.nPort) + "\r\n\r\n";
}

const char COMMON_LINES[] =
    "Accept: */*\r\nConnection: close\r\nAccept-Language: zh-cn\r\nUser-Agent: WebClient\r\n";
const char FORM_TYPE_LINE[] = "Content-Type: application/x-www-form-urlencoded\r\n";

}  // namespace

int CHeaderEndFinder::Feed(const char* bytes, int count) {
  // Knuth-Morris-Pratt on "\r\n\r\n": after a mismatch, what is kept of the
  // match is its longest proper prefix that is also a suffix: "\r" of
  // "\r\n\r", else nothing.
  static const char PATTERN[] = "\r\n\r\n";
  static const int FALLBACK[] = {0, 0, 0, 1};
  for (int i = 0; i < count; ++i) {
    while (m_nMatched > 0 && bytes[i] != PATTERN[m_nMatched]) m_nMatched = FALLBACK[m_nMatched];
    if (bytes[i] == PATTERN[m_nMatched]) ++m_nMatched;
    if (m_nMatched == 4) return i + 1;
  }
  return -1;
}

ConnectionGuard::~ConnectionGuard() { m_client.CloseConnection(); }

void Fail(CWebClient& client, Operation operation, int code, int sysError) {
  client.m_nError = code;
  if (RecordsSysError(operation, code)) client.m_nSysError = sysError;
}

bool SplitUrl(CWebClient& client, const std::string& url, Exchange& exchange) {
  client.m_certProblem = platform::TlsCertProblem::None;
  client.m_strCertReason.clear();
  if (!CrackUrl(url, exchange.url)) {
    Fail(client, exchange.operation, WCE_PROTOCOL, SYSERR_INVALID_URL);
    return false;
  }
  client.m_strHost = exchange.url.strHost;
  client.m_nPort = exchange.url.nPort;
  return true;
}

// The TLS handshake of an https URL; a certificate refused is an outcome of
// its own, so that the user is told the server is not who it claims to be.
bool StartTls(CWebClient& client, Exchange& exchange) {
  client.m_pTls = std::make_unique<platform::TlsChannel>();
  platform::TlsHandshake result = client.m_pTls->Handshake(client.m_hSocket, exchange.url.strHost);
  if (result == platform::TlsHandshake::Done) return true;
  if (result == platform::TlsHandshake::CertificateRejected) {
    client.m_certProblem = client.m_pTls->CertProblem();
    client.m_strCertReason = client.m_pTls->RejectReason();
    Fail(client, exchange.operation, WCE_CERTIFICATE, 0);
    return false;
  }
  Fail(client, exchange.operation, WCE_CONNECT, platform::LastSocketError());
  return false;
}

bool Connect(CWebClient& client, Exchange& exchange) {
  client.CloseConnection();
  int port = exchange.url.nPort;
  if (port < 1 || port > 65534) {
    Fail(client, exchange.operation, WCE_CONNECT, 0);
    return false;
  }
  if (!client.AdoptSocket(platform::OpenTcpSocket()) ||
      !platform::SetSocketTimeouts(client.m_hSocket, client.m_nSendTimeout,
                                   client.m_nRecvTimeout) ||
      !platform::ConnectSocket(client.m_hSocket, exchange.url.strHost, (uint16_t)port)) {
    Fail(client, exchange.operation, WCE_CONNECT, platform::LastSocketError());
    return false;
  }
  return !exchange.url.bSecure || StartTls(client, exchange);
}

int SendSome(CWebClient& client, const char* bytes, int count) {
  if (client.m_pTls) return client.m_pTls->Send(bytes, count);
  return platform::SendSocket(client.m_hSocket, bytes, count);
}

int ReceiveSome(CWebClient& client, char* buffer, int size) {
  if (client.m_pTls) return client.m_pTls->Recv(buffer, size);
  return platform::RecvSocket(client.m_hSocket, buffer, size);
}

bool SendAll(CWebClient& client, const std::string& request, Exchange& exchange) {
  size_t sent = 0;
  int blocked = 0;
  while (sent < request.size()) {
    int chunk = (int)std::min<size_t>(request.size() - sent, 1 << 30);
    int n = SendSome(client, request.data() + sent, chunk);
    if (n > 0) {
      sent += n;
      continue;
    }
    if (n < 0 && platform::LastSendWouldBlock() && ++blocked <= MAX_BLOCKED_SENDS) {
      platform::YieldThread();
      continue;
    }
    Fail(client, exchange.operation, WCE_SEND, platform::LastSocketError());
    return false;
  }
  return true;
}

bool ReceiveHeader(CWebClient& client, Exchange& exchange) {
  std::memset(exchange.buffer, 0, WEB_BUFFER_SIZE);
  CHeaderEndFinder finder;
  exchange.nReceived = 0;
  for (;;) {
    if (exchange.nReceived == WEB_BUFFER_SIZE) {
      Fail(client, exchange.operation, WCE_PROTOCOL, 0);
      return false;
    }
    char* free = exchange.buffer + exchange.nReceived;
    int n = ReceiveSome(client, free, WEB_BUFFER_SIZE - exchange.nReceived);
    if (n <= 0) {
      Fail(client, exchange.operation, WCE_RECV_HEADER, n < 0 ? platform::LastSocketError() : 0);
      return false;
    }
    int end = finder.Feed(free, n);
    exchange.nReceived += n;
    if (end >= 0) {
      exchange.nBodyStart = (int)(free - exchange.buffer) + end;
      break;
    }
  }
  std::string text(exchange.buffer, exchange.nBodyStart - 4);
  if (!exchange.header->Parse(text.c_str())) {
    Fail(client, exchange.operation, WCE_PROTOCOL, 0);
    return false;
  }
  return true;
}

bool Transact(CWebClient& client, const std::string& request, Exchange& exchange) {
  return Connect(client, exchange) && SendAll(client, request, exchange) &&
         ReceiveHeader(client, exchange);
}

std::string BlockA(const UrlParts& url) {
  return std::string(COMMON_LINES) + FORM_TYPE_LINE + HostLine(url);
}

std::string BlockB(const UrlParts& url, size_t bodyLength) {
  return std::string(COMMON_LINES) + FORM_TYPE_LINE +
         "Content-Length: " + std::to_string(bodyLength) + "\r\n" + HostLine(url);
}

std::string BlockC(const UrlParts& url) { return std::string(COMMON_LINES) + HostLine(url); }

std::string WithoutControlBytes(const std::string& text) {
  std::string kept;
  for (char c : text)
    if ((unsigned char)c >= 0x20 && c != 0x7F) kept += c;
  return kept;
}

std::string CookieLine(const std::string& sid) {
  return "Cookie: sid=" + WithoutControlBytes(sid) + "\r\n";
}

}  // namespace webclient

using namespace webclient;

namespace {

// Appends received bytes as text: a zero byte ends what is taken of them.
void AppendText(std::string& reply, const char* bytes, int count) {
  reply.append(bytes, strnlen(bytes, count));
}

// Body of a Get or Post: what came with the header, then receives while the
// count stays below Content-Length (as 32-bit numbers; absent reads nothing).
bool ReceiveText(CWebClient& client, Exchange& exchange, std::string& reply) {
  int32_t length = (int32_t)exchange.header->m_nContentLength;
  if (length > WEB_MAX_TEXT_REPLY) {
    Fail(client, exchange.operation, WCE_PROTOCOL, 0);
    return false;
  }
  int received = exchange.nReceived - exchange.nBodyStart;
  if (length >= 0) received = std::min(received, (int)length);
  AppendText(reply, exchange.buffer + exchange.nBodyStart, received);
  while (received < length) {
    std::memset(exchange.buffer, 0, WEB_BUFFER_SIZE);
    int want = std::min(WEB_BUFFER_SIZE - 1, length - received);
    int n = ReceiveSome(client, exchange.buffer, want);
    if (n <= 0) {
      Fail(client, exchange.operation, WCE_RECV_BODY, n < 0 ? platform::LastSocketError() : 0);
      return false;
    }
    AppendText(reply, exchange.buffer, n);
    received += n;
  }
  return true;
}

bool RunTextRequest(CWebClient& client, Operation operation, const std::string& url,
                    const std::string& method, const std::string* body, std::string& reply) {
  reply.clear();
  char buffer[WEB_BUFFER_SIZE];
  CHttpResponseHeader header;
  Exchange exchange{operation, {}, buffer};
  exchange.header = &header;
  if (!SplitUrl(client, url, exchange)) return false;
  ConnectionGuard guard(client);
  std::string request = method + " " + exchange.url.strObject + " HTTP/1.1\r\n";
  if (!client.m_strSid.empty()) request += CookieLine(client.m_strSid);
  request += body ? BlockB(exchange.url, body->size()) + *body : BlockA(exchange.url);
  if (!Transact(client, request, exchange) || !ReceiveText(client, exchange, reply)) return false;
  if (header.m_nStatus != 200) {
    Fail(client, operation, WCE_STATUS, 0);
    return false;
  }
  return true;
}

}  // namespace

CWebClient::~CWebClient() { CloseConnection(); }

void CWebClient::CloseConnection() {
  std::lock_guard<std::mutex> lock(m_socketLock);
  m_pTls.reset();
  platform::CloseSocket(m_hSocket);
  m_hSocket = platform::INVALID_SOCKET_HANDLE;
}

bool CWebClient::AdoptSocket(platform::SocketHandle socket) {
  std::lock_guard<std::mutex> lock(m_socketLock);
  if (m_bAborted) {
    platform::CloseSocket(socket);
    m_hSocket = platform::INVALID_SOCKET_HANDLE;
    return false;
  }
  m_hSocket = socket;
  return socket != platform::INVALID_SOCKET_HANDLE;
}

void CWebClient::AbortFromOtherThread() {
  std::lock_guard<std::mutex> lock(m_socketLock);
  m_bAborted = true;
  platform::ShutdownSocket(m_hSocket);
}

void CWebClient::ResumeConnections() { m_bAborted = false; }

bool CWebClient::StartupSockets() { return platform::StartupSocketLibrary(); }

void CWebClient::StopTransfer() {
  CloseConnection();
  m_bStopped = true;
}

bool CWebClient::GetHeaders(const std::string& url, CHttpResponseHeader& header) {
  char buffer[WEB_BUFFER_SIZE];
  Exchange exchange{Operation::Headers, {}, buffer};
  exchange.header = &header;
  if (!SplitUrl(*this, url, exchange)) return false;
  ConnectionGuard guard(*this);
  std::string request = "GET " + exchange.url.strObject + " HTTP/1.1\r\n" + BlockA(exchange.url);
  return Transact(*this, request, exchange);
}

bool CWebClient::Get(const std::string& url, std::string& reply) {
  return RunTextRequest(*this, Operation::Get, url, "GET", nullptr, reply);
}

bool CWebClient::Post(const std::string& url, const std::string& body, std::string& reply) {
  return RunTextRequest(*this, Operation::Post, url, "POST", &body, reply);
}
