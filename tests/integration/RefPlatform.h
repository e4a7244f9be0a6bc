#pragma once
#include <map>
#include <string>
#include <vector>

// The reference platform that the integration tests talk to. The test
// fixture starts it on free loopback ports and writes its ports into a ready
// file; this class reads that file, rewrites the platform's faults file and
// reads back the requests it recorded.
class RefPlatform {
 public:
  static const RefPlatform& Get();
  // The second instance, in the HTTPS mode ("refplatform_tls" fixture): its
  // download ports also include "download_wronghost", "download_expired"
  // and "download_untrusted".
  static const RefPlatform& Tls();

  bool IsReady() const { return !m_ports.empty(); }
  std::string Host() const { return "127.0.0.1"; }
  // "api", "download", "tool", "cdn" or "control"; 0 when unknown.
  int Port(const std::string& server) const;

  // Replaces the fault switches with a JSON list (system code page text,
  // stored as UTF-8); the platform rereads them before the next request.
  void SetFaults(const std::string& json) const;
  void ClearFaults() const { SetFaults("[]"); }

  // Number of requests recorded so far (all servers).
  int RequestCount() const;
  // The HTTPS mode's test authority (a PEM file), as this program opens it.
  const std::string& TlsCa() const { return m_strTlsCa; }
  // Raw bytes of the newest request that `server` received; empty if none.
  std::string LastRequest(const std::string& server) const;

 private:
  explicit RefPlatform(const std::string& stateDir);
  // A path of the fixture (a Linux path) as this program must open it.
  static std::string HostPath(const std::string& path);
  std::vector<std::vector<std::string>> ReadIndex() const;

  std::map<std::string, int> m_ports;
  std::string m_strRecordDir;
  std::string m_strFaultsFile;
  std::string m_strTlsCa;
};
