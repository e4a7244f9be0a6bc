#pragma once
#include <cstdint>
#include <string>

// The port that CDN servers of the local network announce themselves on.
inline constexpr uint16_t CDN_BROADCAST_PORT = 20214;
inline constexpr int CDN_MESSAGE_MAX = 1024;  // length field and payload
// The parts of one message are sent back to back; a part that comes later
// than this after the previous one starts a message of its own.
inline constexpr int64_t CDN_PART_GAP_MS = 500;

// Collects one broadcast message (a 4-byte little-endian signed length N,
// then N bytes of payload) from consecutive datagrams, whoever sent them, up
// to 1024 bytes in all. A datagram that brings more than the message lacks
// completes it with its first bytes; the rest of it is dropped. A length that
// cannot fit the 1024 bytes discards the message, and so does a pause of
// more than CDN_PART_GAP_MS: a stray part must not swallow the announcements
// that follow it.
class CCdnMessageAssembler {
 public:
  enum class Result { Incomplete, Complete, Discarded };

  // `nowMs`: the datagram's arrival on a steady clock, in milliseconds.
  Result Add(const char* bytes, int count, int64_t nowMs);
  // The payload of the message that Add reported Complete; valid until the
  // next Add.
  const char* Payload() const { return m_buffer + 4; }
  int PayloadLength() const { return m_nLength; }

 private:
  Result Check();

  char m_buffer[CDN_MESSAGE_MAX] = {};
  int m_nFilled = 0;
  int m_nLength = -1;  // N once the first four bytes are there
  int64_t m_nLastPartMs = 0;
};

// The CDN server that an announcement's payload names: true for msgid 0
// with a "server" that can be stored and put into URLs as host:port. Any
// machine on the network can send one: everything else is ignored.
bool ReadCdnAnnouncement(const char* payload, int length, std::string& server);
