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

CCdnMessageAssembler::Result CCdnMessageAssembler::Add(const char* bytes, int count,
                                                       int64_t nowMs) {
  // An empty datagram is no part of anything.
  if (count <= 0) return m_nFilled > 0 ? Result::Incomplete : Result::Discarded;
  if (m_nFilled > 0 && nowMs - m_nLastPartMs > CDN_PART_GAP_MS) m_nFilled = 0;
  m_nLastPartMs = nowMs;
  if (m_nFilled == 0) m_nLength = -1;  // a new message
  // Never more than the message lacks: once N is known, 4 + N <= 1024.
  int room = (m_nLength >= 0 ? 4 + m_nLength : CDN_MESSAGE_MAX) - m_nFilled;
  int take = count < room ? count : room;
  memcpy(m_buffer + m_nFilled, bytes, take);
  m_nFilled += take;
  return Check();
}

CCdnMessageAssembler::Result CCdnMessageAssembler::Check() {
  if (m_nFilled < 4) return Result::Incomplete;
  int32_t length = ReadLittleEndian32(m_buffer);
  if (length < 0 || length > CDN_MESSAGE_MAX - 4) {
    m_nFilled = 0;
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
