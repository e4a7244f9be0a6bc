// Datagrams to the CDN listener's port from any machine of the network: each
// input is a run of datagrams (a length byte and a pause byte before each),
// assembled into messages whose payloads are read as announcements.
#include <cstdint>
#include <cstring>
#include <string>

#include "app/CdnMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CCdnMessageAssembler assembler;
  size_t at = 0;
  int64_t nowMs = 0;
  while (at + 2 <= size) {
    size_t count = data[at] * 8u;
    nowMs += (data[at + 1] & 3) * 300;  // pauses below and above the wait for a message's rest
    at += 2;
    if (count > size - at) count = size - at;
    if (assembler.Add(reinterpret_cast<const char*>(data + at), (int)count, nowMs) ==
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
