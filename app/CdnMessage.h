#pragma once
#include <cstdint>
#include <string>

// The port that CDN servers of the local network announce themselves on.
inline constexpr uint16_t CDN_BROADCAST_PORT = 20214;
inline constexpr int CDN_MESSAGE_MAX = 1024;  // length field and payload

// Collects one broadcast message (a 4-byte little-endian signed length N,
// then N bytes of payload) from consecutive datagrams of one sender. A
// length that cannot fit the 1024 bytes discards the message; a pending
// message is dropped when a datagram cannot belong to it (another sender, or
// more bytes than it still lacks), and that datagram starts a new one.
class CCdnMessageAssembler {
 public:
  enum class Result { Incomplete, Complete, Discarded };

  Result Add(const char* bytes, int count, uint32_t senderAddress, uint16_t senderPort);
  // The payload of the message that Add reported Complete; valid until the
  // next Add.
  const char* Payload() const { return m_buffer + 4; }
  int PayloadLength() const { return m_nLength; }

 private:
  bool CanContinue(int count, uint32_t senderAddress, uint16_t senderPort) const;
  Result Check();

  char m_buffer[CDN_MESSAGE_MAX] = {};
  int m_nFilled = 0;
  int m_nLength = -1;  // N once the first four bytes are there
  uint32_t m_nSender = 0;
  uint16_t m_nSenderPort = 0;
};

// The CDN server that an announcement's payload names: true for msgid 0
// with a "server" that can be stored and put into URLs as host:port. Any
// machine on the network can send one: everything else is ignored.
bool ReadCdnAnnouncement(const char* payload, int length, std::string& server);
