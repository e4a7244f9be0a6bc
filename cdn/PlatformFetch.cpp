#include "cdn/PlatformFetch.h"

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

// How often a waiting fetch looks at its stop flag.
constexpr int STOP_CHECK_MS = 200;
constexpr size_t MAX_REPLY_HEAD = 16384;
// After the announced length, how long to listen for bytes beyond it.
constexpr int TRAILING_CHECK_MS = 1000;

std::string Lower(std::string text) {
  for (char& c : text) c = (char)std::tolower((unsigned char)c);
  return text;
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool ParseLength(const std::string& text, int64_t& value) {
  if (text.empty() || text.size() > 18) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::stoll(text);
  return true;
}

// An open connection to the platform with the fetch's timing rules.
class CPlatformLink {
 public:
  CPlatformLink(const PlatformFetchSettings& settings, const std::atomic<bool>& stop)
      : m_settings(settings), m_stop(stop) {}
  ~CPlatformLink() {
    if (m_hSocket >= 0) close(m_hSocket);
  }
  bool Connect(std::string& reason);
  bool SendAll(const std::string& data, std::string& reason);
  // Receives what is there within the silence limit; 0 at the end of the reply.
  ssize_t Receive(char* buffer, size_t size, int waitMs, std::string& reason);

 private:
  bool WaitFor(short events, int waitMs, std::string& reason);
  const PlatformFetchSettings& m_settings;
  const std::atomic<bool>& m_stop;
  int m_hSocket = -1;
};

bool CPlatformLink::WaitFor(short events, int waitMs, std::string& reason) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (m_stop) {
      reason = "stopped";
      return false;
    }
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      reason = "no data for " + std::to_string(waitMs / 1000) + " s";
      return false;
    }
    pollfd ready{m_hSocket, events, 0};
    int n = poll(&ready, 1, (int)(left < STOP_CHECK_MS ? left : STOP_CHECK_MS));
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) {
      reason = std::strerror(errno);
      return false;
    }
  }
}

bool CPlatformLink::Connect(std::string& reason) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::string port = std::to_string(m_settings.port);
  if (int failed = getaddrinfo(m_settings.host.c_str(), port.c_str(), &hints, &found)) {
    reason = std::string("cannot resolve ") + m_settings.host + ": " + gai_strerror(failed);
    return false;
  }
  bool connected = false;
  for (addrinfo* at = found; at && !connected && !m_stop; at = at->ai_next) {
    if (m_hSocket >= 0) close(m_hSocket);
    m_hSocket = socket(at->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_hSocket < 0) continue;
    if (connect(m_hSocket, at->ai_addr, at->ai_addrlen) != 0 && errno != EINPROGRESS) {
      reason = std::strerror(errno);
      continue;
    }
    int error = 0;
    socklen_t length = sizeof error;
    connected = WaitFor(POLLOUT, m_settings.timeoutSeconds * 1000, reason) &&
                getsockopt(m_hSocket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    if (error) reason = std::strerror(error);
  }
  freeaddrinfo(found);
  return connected;
}

bool CPlatformLink::SendAll(const std::string& data, std::string& reason) {
  for (size_t sent = 0; sent < data.size();) {
    if (!WaitFor(POLLOUT, m_settings.timeoutSeconds * 1000, reason)) return false;
    ssize_t n = send(m_hSocket, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
      reason = std::strerror(errno);
      return false;
    }
    if (n > 0) sent += (size_t)n;
  }
  return true;
}

ssize_t CPlatformLink::Receive(char* buffer, size_t size, int waitMs, std::string& reason) {
  for (;;) {
    if (!WaitFor(POLLIN, waitMs, reason)) return -1;
    ssize_t n = recv(m_hSocket, buffer, size, 0);
    if (n >= 0) return n;
    if (errno != EAGAIN && errno != EINTR) {
      reason = std::strerror(errno);
      return -1;
    }
  }
}

// Reads up to the end of the reply head; what came after it is in `rest`.
bool ReadReplyHead(CPlatformLink& link, int waitMs, std::string& head, std::string& rest,
                   std::string& reason) {
  // A head trickled in a byte at a time is as bad as silence.
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
  char buffer[4096];
  size_t end;
  while ((end = head.find("\r\n\r\n")) == std::string::npos) {
    if (head.size() > MAX_REPLY_HEAD || Clock::now() > deadline) {
      reason = head.size() > MAX_REPLY_HEAD ? "reply head too long" : "reply head too slow";
      return false;
    }
    ssize_t n = link.Receive(buffer, sizeof buffer, waitMs, reason);
    if (n <= 0) {
      if (n == 0) reason = "closed before the reply head";
      return false;
    }
    head.append(buffer, (size_t)n);
  }
  rest = head.substr(end + 4);
  head.resize(end + 4);
  return true;
}

// Writes the body into `fd`: exactly `length` bytes, then the end of the reply.
class CBodyReceiver {
 public:
  CBodyReceiver(CPlatformLink& link, const PlatformFetchSettings& settings, int fd, int64_t length)
      : m_link(link), m_settings(settings), m_fd(fd), m_nLength(length) {}
  bool Run(const std::string& first, std::string& reason);

 private:
  bool Store(const char* data, size_t size, std::string& reason);
  bool KeepsUp(std::string& reason);
  CPlatformLink& m_link;
  const PlatformFetchSettings& m_settings;
  int m_fd;
  int64_t m_nLength;
  int64_t m_nWritten = 0;
  Clock::time_point m_windowStart = Clock::now();
  int64_t m_nWindowStartBytes = 0;
};

bool CBodyReceiver::Store(const char* data, size_t size, std::string& reason) {
  if ((int64_t)size > m_nLength - m_nWritten) {
    reason = "body longer than its Content-Length";
    return false;
  }
  for (size_t done = 0; done < size;) {
    ssize_t n = write(m_fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      reason = std::string("cannot write the part file: ") + std::strerror(errno);
      return false;
    }
    done += (size_t)n;
  }
  m_nWritten += (int64_t)size;
  return true;
}

bool CBodyReceiver::KeepsUp(std::string& reason) {
  const Clock::time_point now = Clock::now();
  const auto window = std::chrono::seconds(m_settings.timeoutSeconds);
  if (now - m_windowStart < window) return true;
  const int64_t floor = m_settings.minBytesPerSecond * m_settings.timeoutSeconds;
  if (m_nWritten - m_nWindowStartBytes < floor) {
    reason = "slower than " + std::to_string(m_settings.minBytesPerSecond) + " bytes/s";
    return false;
  }
  m_windowStart = now;
  m_nWindowStartBytes = m_nWritten;
  return true;
}

bool CBodyReceiver::Run(const std::string& first, std::string& reason) {
  if (!Store(first.data(), first.size(), reason)) return false;
  char buffer[65536];
  const int silenceMs = m_settings.timeoutSeconds * 1000;
  while (m_nWritten < m_nLength) {
    ssize_t n = m_link.Receive(buffer, sizeof buffer, silenceMs, reason);
    if (n == 0) reason = "closed after " + std::to_string(m_nWritten) + " bytes";
    if (n <= 0 || !Store(buffer, (size_t)n, reason) || !KeepsUp(reason)) return false;
  }
  // The reply must end here: bytes beyond the announced length mean the
  // length (and so the file) is not what the platform holds.
  std::string quiet;
  ssize_t more = m_link.Receive(buffer, sizeof buffer, TRAILING_CHECK_MS, quiet);
  if (more > 0) {
    reason = "body longer than its Content-Length";
    return false;
  }
  if (quiet == "stopped") reason = quiet;
  return quiet != "stopped";
}

bool Fetch(const PlatformFetchSettings& settings, const CdnFetchRequest& request, int64_t& size,
           std::string& reason) {
  CPlatformLink link(settings, *request.stop);
  const std::string hostHeader =
      settings.host + (settings.port == 80 ? "" : ":" + std::to_string(settings.port));
  const std::string get = "GET /file/downLoad?ft=1&u=2&fid=" + request.fid +
                          " HTTP/1.1\r\nHost: " + hostHeader +
                          "\r\nAccept-Encoding: identity\r\nConnection: close\r\n\r\n";
  std::string head, rest;
  int64_t length = 0;
  if (!link.Connect(reason) || !link.SendAll(get, reason) ||
      !ReadReplyHead(link, settings.timeoutSeconds * 1000, head, rest, reason) ||
      !AcceptPlatformReplyHead(head, length, reason)) {
    return false;
  }
  if (length > request.maxBytes) {
    reason = "larger than the cache (" + std::to_string(length) + " bytes)";
    return false;
  }
  if (request.reserve && !request.reserve(length)) {
    reason = "no room for " + std::to_string(length) + " bytes";
    return false;
  }
  int fd = open(request.partPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) {
    reason = "cannot create " + request.partPath + ": " + std::strerror(errno);
    return false;
  }
  bool ok = CBodyReceiver(link, settings, fd, length).Run(rest, reason);
  ok = close(fd) == 0 && ok;
  if (ok) size = length;
  return ok;
}

}  // namespace

bool AcceptPlatformReplyHead(const std::string& head, int64_t& contentLength,
                             std::string& reason) {
  size_t lineEnd = head.find("\r\n");
  const std::string status = head.substr(0, lineEnd);
  const size_t code = status.find(' ') + 1;  // 0 without a blank
  if (status.compare(0, 5, "HTTP/") != 0 || code == 0 || status.compare(code, 3, "200") != 0 ||
      (status.size() > code + 3 && status[code + 3] != ' ')) {
    reason = "answered \"" + status.substr(0, 64) + "\"";
    return false;
  }
  int64_t length = -1;
  for (size_t at = lineEnd + 2; at < head.size();) {
    size_t end = head.find("\r\n", at);
    if (end == std::string::npos) end = head.size();
    const std::string line = head.substr(at, end - at);
    at = end + 2;
    size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    const std::string name = Lower(Trim(line.substr(0, colon)));
    const std::string value = Trim(line.substr(colon + 1));
    int64_t parsed = -1;
    if (name == "content-length" &&
        (!ParseLength(value, parsed) || (length >= 0 && parsed != length))) {
      reason = "unusable Content-Length \"" + value.substr(0, 32) + "\"";
      return false;
    }
    if (name == "content-length") length = parsed;
    if (name == "transfer-encoding" || name == "content-range" ||
        (name == "content-encoding" && Lower(value) != "identity")) {
      reason = "answered with " + name + " " + value.substr(0, 32);
      return false;
    }
  }
  if (length <= 0) {
    reason = length < 0 ? "no Content-Length" : "an empty file";
    return false;
  }
  contentLength = length;
  return true;
}

bool FetchFromPlatform(const PlatformFetchSettings& settings, const CdnFetchRequest& request,
                       int64_t& size) {
  std::string reason;
  if (Fetch(settings, request, size, reason)) return true;
  std::fprintf(stderr, "velmora-cdn: platform download of %s failed: %s\n", request.fid.c_str(),
               reason.c_str());
  return false;
}
