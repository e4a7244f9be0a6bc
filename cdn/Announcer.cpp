#include "cdn/Announcer.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
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

namespace {

bool ParseIpv4(const std::string& text, uint32_t& value) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  value = ntohl(parsed.s_addr);
  return true;
}

std::string FormatIpv4(uint32_t value) {
  in_addr address{};
  address.s_addr = htonl(value);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

}  // namespace

std::string DirectedBroadcast(const std::string& address, const std::string& netmask) {
  uint32_t host = 0, mask = 0;
  if (!ParseIpv4(address, host) || !ParseIpv4(netmask, mask)) return "";
  const uint32_t hostBits = ~mask;
  // A mask is ones then zeros; /0 would be every network, /31 and /32 have
  // no broadcast at all.
  if ((hostBits & (hostBits + 1)) != 0 || mask == 0 || hostBits < 3) return "";
  return FormatIpv4(host | hostBits);
}

std::string InterfaceBroadcast(const std::string& address) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return "";
  std::string broadcast;
  for (ifaddrs* item = list; item && broadcast.empty(); item = item->ifa_next) {
    if (!item->ifa_addr || !item->ifa_netmask || item->ifa_addr->sa_family != AF_INET) continue;
    char own[INET_ADDRSTRLEN] = {}, mask[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &((sockaddr_in*)item->ifa_addr)->sin_addr, own, sizeof own);
    inet_ntop(AF_INET, &((sockaddr_in*)item->ifa_netmask)->sin_addr, mask, sizeof mask);
    if (address == own) broadcast = DirectedBroadcast(own, mask);
  }
  freeifaddrs(list);
  return broadcast;
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
