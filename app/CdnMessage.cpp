#include "app/CdnMessage.h"

#include <cstdlib>
#include <cstring>

#include "app/SharedState.h"
#include "net/Json.h"

namespace {

int32_t ReadLittleEndian32(const char* bytes) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes);
  return (int32_t)((uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 |
                   (uint32_t)b[3] << 24);
}

}  // namespace

// A continuation comes from the same sender and brings no more than the
// message still lacks (up to the whole buffer while N is not known yet).
bool CCdnMessageAssembler::CanContinue(int count, uint32_t senderAddress,
                                       uint16_t senderPort) const {
  if (senderAddress != m_nSender || senderPort != m_nSenderPort) return false;
  int whole = m_nLength >= 0 ? 4 + m_nLength : CDN_MESSAGE_MAX;
  return count <= whole - m_nFilled;
}

CCdnMessageAssembler::Result CCdnMessageAssembler::Add(const char* bytes, int count,
                                                       uint32_t senderAddress,
                                                       uint16_t senderPort) {
  if (count <= 0) return m_nFilled > 0 ? Result::Incomplete : Result::Discarded;
  if (m_nFilled > 0 && !CanContinue(count, senderAddress, senderPort)) m_nFilled = 0;
  if (m_nFilled == 0) {
    m_nLength = -1;
    m_nSender = senderAddress;
    m_nSenderPort = senderPort;
  }
  int take = count < CDN_MESSAGE_MAX - m_nFilled ? count : CDN_MESSAGE_MAX - m_nFilled;
  memcpy(m_buffer + m_nFilled, bytes, take);
  m_nFilled += take;
  return Check();
}

CCdnMessageAssembler::Result CCdnMessageAssembler::Check() {
  if (m_nFilled < 4) return Result::Incomplete;
  int32_t length = ReadLittleEndian32(m_buffer);
  if (length < 0 || length > CDN_MESSAGE_MAX - 4) {
    m_nFilled = 0;
    m_nLength = -1;
    return Result::Discarded;
  }
  m_nLength = length;
  if (m_nFilled < 4 + length) return Result::Incomplete;
  m_nFilled = 0;  // the next datagram starts a new message
  return Result::Complete;
}

bool ReadCdnAnnouncement(const char* payload, int length, std::string& server) {
  if (!payload || length < 0) return false;
  CJsonDocument json;
  if (!json.Parse(std::string(payload, length))) return false;
  if (atoi(json.GetString("msgid").c_str()) != 0) return false;
  server = json.GetString("server");
  return IsCdnServerAddress(server);
}
