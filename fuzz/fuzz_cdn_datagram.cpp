// Datagrams to the CDN listener's port from any machine of the network: each
// input is a run of datagrams (a length byte and a sender byte before each),
// assembled into messages whose payloads are read as announcements.
#include <cstdint>
#include <cstring>
#include <string>

#include "app/CdnMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CCdnMessageAssembler assembler;
  size_t at = 0;
  while (at + 2 <= size) {
    size_t count = data[at] * 8u;
    uint32_t sender = 0x0A000001u + (data[at + 1] & 3);
    at += 2;
    if (count > size - at) count = size - at;
    if (assembler.Add(reinterpret_cast<const char*>(data + at), (int)count, sender, 20214) ==
        CCdnMessageAssembler::Result::Complete) {
      std::string server;
      if (ReadCdnAnnouncement(assembler.Payload(), assembler.PayloadLength(), server) &&
          (server.empty() || server.find('/') != std::string::npos))
        __builtin_trap();  // an announcement that would redirect the downloads
    }
    at += count;
  }
  return 0;
}
