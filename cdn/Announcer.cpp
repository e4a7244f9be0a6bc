#include "cdn/Announcer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

std::string BuildAnnouncement(const std::string& server) {
  std::string payload = "{\"msgid\":0,\"cmdid\":1,\"server\":\"" + server + "\"}";
  uint32_t length = (uint32_t)payload.size();
  std::string datagram(4, '\0');
  for (int i = 0; i < 4; ++i) datagram[i] = (char)((length >> (8 * i)) & 0xff);
  return datagram + payload;
}

CAnnouncer::~CAnnouncer() {
  if (m_hSocket >= 0) close(m_hSocket);
}

bool CAnnouncer::Open(const std::string& fromAddress, const std::string& broadcastAddress,
                      int port, std::string& error) {
  sockaddr_in local{};
  local.sin_family = AF_INET;
  int yes = 1;
  m_hSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (m_hSocket < 0 || inet_pton(AF_INET, fromAddress.c_str(), &local.sin_addr) != 1 ||
      setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &yes, sizeof yes) != 0 ||
      bind(m_hSocket, (sockaddr*)&local, sizeof local) != 0) {
    error = "cannot announce from " + fromAddress + ": " + std::strerror(errno);
    return false;
  }
  m_strTarget = broadcastAddress;
  m_nPort = port;
  return true;
}

bool CAnnouncer::Send(const std::string& datagram) {
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons((uint16_t)m_nPort);
  inet_pton(AF_INET, m_strTarget.c_str(), &target.sin_addr);
  return sendto(m_hSocket, datagram.data(), datagram.size(), 0, (sockaddr*)&target,
                sizeof target) == (ssize_t)datagram.size();
}

void CAnnouncer::Run(const std::string& datagram, int intervalSeconds,
                     const std::atomic<bool>& stop) {
  bool reported = false;
  while (!stop) {
    // A LAN link that is down now may be up at the next interval.
    if (!Send(datagram) && !reported) {
      std::fprintf(stderr, "velmora-cdn: announcement to %s:%d failed: %s\n", m_strTarget.c_str(),
                   m_nPort, std::strerror(errno));
      reported = true;
    }
    if (intervalSeconds <= 0) return;
    for (int tick = 0; tick < intervalSeconds * 5 && !stop; ++tick) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
}
