#pragma once
#include <string>
#include <vector>

// The HTTPS tests' certificate authority made trusted for this program and
// no longer once the tests end: natively through the variable that the TLS
// channel reads, on Windows (under Wine) in the machine's "Root" store, the
// one that the system's chain check consults.
class CTestCa {
 public:
  bool Install(const std::string& pemPath);
  void Remove();
  // Reads the authority without trusting it, so that Remove takes out the one
  // that another process installed.
  bool Load(const std::string& pemPath);

 private:
  std::vector<unsigned char> m_der;  // the certificate added to the store
};
