#include "platform/TlsChannel.h"

#include <winsock2.h>
#include <windows.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace platform {
namespace {

// Schannel is asked not to judge the certificate itself: the chain and the
// host name are checked below with the SSL policy, so that the outcome never
// depends on the system's defaults for a client.
constexpr DWORD CONTEXT_FLAGS = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                                ISC_REQ_CONFIDENTIALITY | ISC_REQ_ALLOCATE_MEMORY |
                                ISC_REQ_STREAM | ISC_REQ_MANUAL_CRED_VALIDATION;
constexpr int RECEIVE_BLOCK = 16384 + 512;

bool IsSuccess(SECURITY_STATUS status) { return status >= 0; }

std::wstring Wide(const std::string& text) {
  int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(length > 0 ? length : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(wcslen(wide.c_str()));
  return wide;
}

TlsCertProblem ProblemOf(DWORD error) {
  switch (error) {
    case (DWORD)CERT_E_EXPIRED:
      return TlsCertProblem::Expired;
    case (DWORD)CERT_E_CN_NO_MATCH:
      return TlsCertProblem::WrongHost;
    case (DWORD)CERT_E_UNTRUSTEDROOT:
    case (DWORD)CERT_E_CHAINING:
      return TlsCertProblem::Untrusted;
    default:
      return TlsCertProblem::Other;
  }
}

std::string ErrorText(DWORD error) {
  char text[32];
  snprintf(text, sizeof text, "0x%08lX", (unsigned long)error);
  return text;
}

// What the chain's own trust status says, where the SSL policy let it pass:
// some systems' policy (Wine's among them) accepts a chain that ends at no
// root at all. Revocation that could not be checked is not an error: a
// school's network is often offline.
DWORD ChainError(DWORD errors) {
  errors &= ~(DWORD)(CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION);
  if (errors == 0) return 0;
  if (errors & CERT_TRUST_IS_NOT_TIME_VALID) return (DWORD)CERT_E_EXPIRED;
  if (errors & CERT_TRUST_IS_UNTRUSTED_ROOT) return (DWORD)CERT_E_UNTRUSTEDROOT;
  if (errors & CERT_TRUST_IS_PARTIAL_CHAIN) return (DWORD)CERT_E_CHAINING;
  return (DWORD)TRUST_E_FAIL;
}

// The SSL policy on the peer's chain, for a server named `host`: 0 when the
// chain ends at a trusted root, is in its validity period and names the host.
DWORD VerifyServerChain(PCCERT_CONTEXT certificate, const std::string& host) {
  static LPSTR serverUsages[] = {(LPSTR)szOID_PKIX_KP_SERVER_AUTH};
  CERT_CHAIN_PARA chainPara{};
  chainPara.cbSize = sizeof chainPara;
  chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
  chainPara.RequestedUsage.Usage.cUsageIdentifier = 1;
  chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = serverUsages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore,
                               &chainPara, 0, nullptr, &chain))
    return GetLastError();
  std::wstring serverName = Wide(host);
  HTTPSPolicyCallbackData https{};
  https.cbStruct = sizeof https;
  https.dwAuthType = AUTHTYPE_SERVER;
  https.pwszServerName = serverName.data();
  CERT_CHAIN_POLICY_PARA policyPara{};
  policyPara.cbSize = sizeof policyPara;
  policyPara.pvExtraPolicyPara = &https;
  CERT_CHAIN_POLICY_STATUS status{};
  status.cbSize = sizeof status;
  BOOL checked = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policyPara,
                                                  &status);
  DWORD chainErrors = chain->TrustStatus.dwErrorStatus;
  CertFreeCertificateChain(chain);
  if (!checked) return GetLastError();
  return status.dwError != 0 ? status.dwError : ChainError(chainErrors);
}

}  // namespace

struct TlsChannel::State {
  CredHandle credentials{};
  CtxtHandle context{};
  bool hasCredentials = false;
  bool hasContext = false;
  SocketHandle socket = INVALID_SOCKET_HANDLE;
  SecPkgContext_StreamSizes sizes{};
  std::vector<char> incoming;  // received records not yet decrypted
  size_t incomingUsed = 0;
  std::vector<char> plain;     // decrypted bytes not yet handed out
  size_t plainTaken = 0;

  ~State() {
    if (hasContext) DeleteSecurityContext(&context);
    if (hasCredentials) FreeCredentialsHandle(&credentials);
  }

  bool AcquireCredentials() {
    SCHANNEL_CRED schannel{};
    schannel.dwVersion = SCHANNEL_CRED_VERSION;
    // TLS 1.2: every supported system speaks it (Windows 7 only when asked).
    schannel.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    schannel.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
    hasCredentials = AcquireCredentialsHandleA(nullptr, (SEC_CHAR*)UNISP_NAME_A,
                                               SECPKG_CRED_OUTBOUND, nullptr, &schannel,
                                               nullptr, nullptr, &credentials,
                                               nullptr) == SEC_E_OK;
    return hasCredentials;
  }

  bool SendAll(const char* bytes, size_t count) {
    while (count > 0) {
      int n = SendSocket(socket, bytes, (int)count);
      if (n <= 0) return false;
      bytes += n;
      count -= n;
    }
    return true;
  }

  // More bytes from the socket after those held; what RecvSocket returned.
  int ReceiveMore() {
    if (incoming.size() < incomingUsed + RECEIVE_BLOCK) incoming.resize(incomingUsed + RECEIVE_BLOCK);
    int n = RecvSocket(socket, incoming.data() + incomingUsed, RECEIVE_BLOCK);
    if (n > 0) incomingUsed += n;
    return n;
  }

  // Keeps only the last `extra` bytes of those held (the start of the next
  // record), or none.
  void KeepExtra(const SecBuffer& buffer) {
    size_t extra = buffer.BufferType == SECBUFFER_EXTRA ? buffer.cbBuffer : 0;
    if (extra > 0) memmove(incoming.data(), incoming.data() + incomingUsed - extra, extra);
    incomingUsed = extra;
  }

  bool SendToken(SecBuffer& token) {
    bool sent = token.cbBuffer == 0 || SendAll((const char*)token.pvBuffer, token.cbBuffer);
    if (token.pvBuffer) FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
    return sent;
  }

  SECURITY_STATUS Step(const std::string& host) {
    SecBuffer outToken{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &outToken};
    SecBuffer inBuffers[2] = {{(unsigned long)incomingUsed, SECBUFFER_TOKEN, incoming.data()},
                              {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc inDesc{SECBUFFER_VERSION, 2, inBuffers};
    ULONG attributes = 0;
    SECURITY_STATUS status = InitializeSecurityContextA(
        &credentials, hasContext ? &context : nullptr, (SEC_CHAR*)host.c_str(), CONTEXT_FLAGS,
        0, 0, hasContext ? &inDesc : nullptr, 0, &context, &outDesc, &attributes, nullptr);
    hasContext = hasContext || IsSuccess(status);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return status;
    if (!SendToken(outToken)) return SEC_E_INTERNAL_ERROR;
    if (IsSuccess(status)) KeepExtra(inBuffers[1]);
    return status;
  }

  bool Negotiate(const std::string& host) {
    SECURITY_STATUS status = Step(host);
    while (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_INCOMPLETE_MESSAGE ||
           status == SEC_I_INCOMPLETE_CREDENTIALS) {
      bool needBytes = status == SEC_E_INCOMPLETE_MESSAGE ||
                       (status == SEC_I_CONTINUE_NEEDED && incomingUsed == 0);
      if (needBytes && ReceiveMore() <= 0) return false;
      status = Step(host);
    }
    return status == SEC_E_OK &&
           QueryContextAttributesA(&context, SECPKG_ATTR_STREAM_SIZES, &sizes) == SEC_E_OK;
  }

  // Decrypts the records held into `plain`: 1 with bytes, 0 at the peer's
  // close_notify, -1 on a failure, -2 when a whole record has not arrived.
  int DecryptHeld() {
    SecBuffer buffers[4] = {{(unsigned long)incomingUsed, SECBUFFER_DATA, incoming.data()},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr},
                            {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
    SECURITY_STATUS status = DecryptMessage(&context, &desc, 0, nullptr);
    if (status == SEC_E_INCOMPLETE_MESSAGE) return -2;
    if (status == SEC_I_CONTEXT_EXPIRED) return 0;
    if (status != SEC_E_OK) return -1;
    plain.clear();
    plainTaken = 0;
    SecBuffer empty{0, SECBUFFER_EMPTY, nullptr};
    const SecBuffer* extra = &empty;
    for (const SecBuffer& buffer : buffers) {
      if (buffer.BufferType == SECBUFFER_DATA)
        plain.insert(plain.end(), (char*)buffer.pvBuffer, (char*)buffer.pvBuffer + buffer.cbBuffer);
      if (buffer.BufferType == SECBUFFER_EXTRA) extra = &buffer;
    }
    KeepExtra(*extra);
    return 1;
  }
};

TlsChannel::TlsChannel() : m_state(std::make_unique<State>()) {}
TlsChannel::~TlsChannel() = default;

TlsHandshake TlsChannel::Handshake(SocketHandle socket, const std::string& host) {
  m_state->socket = socket;
  if (!m_state->AcquireCredentials() || !m_state->Negotiate(host)) return TlsHandshake::Failed;
  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesA(&m_state->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
          SEC_E_OK ||
      !certificate) {
    m_problem = TlsCertProblem::Other;
    m_strRejectReason = "the server sent no certificate";
    return TlsHandshake::CertificateRejected;
  }
  DWORD error = VerifyServerChain(certificate, host);
  CertFreeCertificateContext(certificate);
  if (error == 0) return TlsHandshake::Done;
  m_problem = ProblemOf(error);
  m_strRejectReason = ErrorText(error);
  return TlsHandshake::CertificateRejected;
}

int TlsChannel::Send(const char* bytes, int count) {
  State& state = *m_state;
  int chunk = (int)std::min<unsigned long>((unsigned long)count, state.sizes.cbMaximumMessage);
  std::vector<char> record(state.sizes.cbHeader + chunk + state.sizes.cbTrailer);
  memcpy(record.data() + state.sizes.cbHeader, bytes, chunk);
  SecBuffer buffers[4] = {
      {state.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
      {(unsigned long)chunk, SECBUFFER_DATA, record.data() + state.sizes.cbHeader},
      {state.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER,
       record.data() + state.sizes.cbHeader + chunk},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
  if (EncryptMessage(&state.context, 0, &desc, 0) != SEC_E_OK) return -1;
  size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
  return state.SendAll(record.data(), total) ? chunk : -1;
}

int TlsChannel::Recv(char* buffer, int size) {
  State& state = *m_state;
  while (state.plainTaken == state.plain.size()) {
    int decrypted = state.incomingUsed > 0 ? state.DecryptHeld() : -2;
    if (decrypted == 0 || decrypted == -1) return decrypted;
    if (decrypted == -2) {
      int n = state.ReceiveMore();
      // A close without close_notify ends the stream as over plain HTTP; the
      // client above checks the lengths.
      if (n <= 0) return n;
    }
  }
  int count = (int)std::min<size_t>(size, state.plain.size() - state.plainTaken);
  memcpy(buffer, state.plain.data() + state.plainTaken, count);
  state.plainTaken += count;
  return count;
}

}  // namespace platform
