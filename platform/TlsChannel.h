#pragma once
#include <memory>
#include <string>

#include "platform/Sockets.h"

// TLS over a connected socket through the operating system (Schannel on
// Windows, OpenSSL elsewhere). The server's certificate must chain to a root
// the system trusts and name the host the connection was made for; the host
// name is sent for SNI. Nothing is ever sent in the clear after a failed
// handshake: the caller ends the connection.
namespace platform {

enum class TlsHandshake {
  Done,
  Failed,               // the connection broke or the peer spoke no TLS
  CertificateRejected,  // the peer's certificate is not valid for the host
};

// What is wrong with a rejected certificate, for the user's message.
enum class TlsCertProblem { None, Expired, WrongHost, Untrusted, Other };

class TlsChannel {
 public:
  TlsChannel();
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // Runs the handshake on `socket` (which stays the caller's: the channel
  // never closes it, so a shutdown from another thread still ends a blocked
  // call) for `host`.
  TlsHandshake Handshake(SocketHandle socket, const std::string& host);
  // What is wrong with a rejected certificate, and the system's finding in
  // detail for the log.
  TlsCertProblem CertProblem() const { return m_problem; }
  const std::string& RejectReason() const { return m_strRejectReason; }
  // As SendSocket and RecvSocket: bytes, 0 at the peer's orderly close, -1 on
  // failure (the system's error number then in LastSocketError where there
  // is one).
  int Send(const char* bytes, int count);
  int Recv(char* buffer, int size);

 private:
  struct State;
  std::unique_ptr<State> m_state;
  TlsCertProblem m_problem = TlsCertProblem::None;
  std::string m_strRejectReason;
};

}  // namespace platform
