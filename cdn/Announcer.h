#pragma once
#include <atomic>
#include <string>

// The datagram that tells assistants on the LAN where the cache is: a 32-bit
// little-endian payload length, then {"msgid":0,"cmdid":1,"server":"host:port"}.
std::string BuildAnnouncement(const std::string& server);

// The directed broadcast address of `address` in a network with `netmask`
// (dotted text both); empty for a malformed pair and for /0, /31 and /32,
// where no broadcast reaches the students.
std::string DirectedBroadcast(const std::string& address, const std::string& netmask);
// The directed broadcast of the local interface that holds `address`, from
// that interface's own netmask; empty when no interface holds it.
std::string InterfaceBroadcast(const std::string& address);

// Broadcasts the announcement from the address students reach, so its
// source is that address and it leaves through that interface.
class CAnnouncer {
 public:
  ~CAnnouncer();
  bool Open(const std::string& fromAddress, const std::string& broadcastAddress, int port,
            std::string& error);
  bool Send(const std::string& datagram);
  // Sends at once and then every `intervalSeconds` until `stop` is set.
  void Run(const std::string& datagram, int intervalSeconds, const std::atomic<bool>& stop);

 private:
  int m_hSocket = -1;
  std::string m_strTarget;
  int m_nPort = 0;
};
