#include "platform/TlsChannel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <cstdlib>

namespace platform {
namespace {

// The tests' own certificate authority, trusted beside the system's roots
// only where this variable names its file.
constexpr char TEST_CA_VARIABLE[] = "VELMORA_TEST_CA";

// The channel's bytes go through the project's socket calls, which never
// raise SIGPIPE on a peer that has gone and keep LastSocketError current.
int BioWrite(BIO* bio, const char* bytes, int count) {
  BIO_clear_retry_flags(bio);
  return SendSocket((SocketHandle)BIO_get_data(bio), bytes, count);
}

int BioRead(BIO* bio, char* buffer, int size) {
  BIO_clear_retry_flags(bio);
  return RecvSocket((SocketHandle)BIO_get_data(bio), buffer, size);
}

long BioControl(BIO*, int command, long, void*) { return command == BIO_CTRL_FLUSH ? 1 : 0; }

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

const BIO_METHOD* SocketBioMethod() {
  static BIO_METHOD* method = [] {
    BIO_METHOD* created = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "velmora");
    BIO_meth_set_write(created, BioWrite);
    BIO_meth_set_read(created, BioRead);
    BIO_meth_set_ctrl(created, BioControl);
    BIO_meth_set_create(created, BioCreate);
    return created;
  }();
  return method;
}

// One context for the process: loading the trusted roots is its costly part.
SSL_CTX* ClientContext() {
  static SSL_CTX* context = [] {
    SSL_CTX* created = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_min_proto_version(created, TLS1_2_VERSION);
    SSL_CTX_set_verify(created, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_default_verify_paths(created);
    if (const char* testCa = std::getenv(TEST_CA_VARIABLE))
      SSL_CTX_load_verify_locations(created, testCa, nullptr);
    // A server that closes without a close_notify ends the body the same way
    // as over plain HTTP; lengths are checked by the client above.
    SSL_CTX_set_options(created, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return created;
  }();
  return context;
}

bool IsAddressLiteral(const std::string& host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The name the certificate must carry; SNI only for names (never for an
// address, which TLS does not allow there).
bool NameTheHost(SSL* ssl, const std::string& host) {
  X509_VERIFY_PARAM* param = SSL_get0_param(ssl);
  if (IsAddressLiteral(host)) return X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str()) == 1;
  X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return SSL_set_tlsext_host_name(ssl, host.c_str()) == 1 && SSL_set1_host(ssl, host.c_str()) == 1;
}

TlsCertProblem ProblemOf(long verdict) {
  switch (verdict) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return TlsCertProblem::Expired;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      return TlsCertProblem::WrongHost;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      return TlsCertProblem::Untrusted;
    default:
      return TlsCertProblem::Other;
  }
}

}  // namespace

struct TlsChannel::State {
  SSL* ssl = nullptr;
  ~State() {
    if (ssl) SSL_free(ssl);
  }
};

TlsChannel::TlsChannel() : m_state(std::make_unique<State>()) {}
TlsChannel::~TlsChannel() = default;

TlsHandshake TlsChannel::Handshake(SocketHandle socket, const std::string& host) {
  SSL* ssl = SSL_new(ClientContext());
  if (!ssl) return TlsHandshake::Failed;
  m_state->ssl = ssl;
  BIO* bio = BIO_new(SocketBioMethod());
  if (!bio) return TlsHandshake::Failed;
  BIO_set_data(bio, (void*)socket);
  SSL_set_bio(ssl, bio, bio);
  if (!NameTheHost(ssl, host)) return TlsHandshake::Failed;
  if (SSL_connect(ssl) == 1) return TlsHandshake::Done;
  long verdict = SSL_get_verify_result(ssl);
  ERR_clear_error();
  if (verdict == X509_V_OK) return TlsHandshake::Failed;
  m_problem = ProblemOf(verdict);
  m_strRejectReason = X509_verify_cert_error_string(verdict);
  return TlsHandshake::CertificateRejected;
}

int TlsChannel::Send(const char* bytes, int count) {
  int n = SSL_write(m_state->ssl, bytes, count);
  if (n > 0) return n;
  ERR_clear_error();
  return -1;
}

int TlsChannel::Recv(char* buffer, int size) {
  int n = SSL_read(m_state->ssl, buffer, size);
  if (n > 0) return n;
  int error = SSL_get_error(m_state->ssl, n);
  ERR_clear_error();
  return error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && n == 0) ? 0 : -1;
}

}  // namespace platform
